#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "tuning/check.h"
#include "tuning/group_delay.h"
#include "tuning/time_domain.h"

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr long long maxTimePoints = 100'000;

constexpr std::string_view timeDomainHelp =
    "      The band-pass time-domain response of a sweep's reflection (--param,\n"
    "      default S11), as analysers show it for tuning: each resonator of a\n"
    "      tuned filter shows as a dip, and is tuned by nulling it. The sweep must\n"
    "      be evenly spaced. --window kaiser[:BETA] (default, beta 6), hann or\n"
    "      rectangle; --start and --stop in ns (default -2 and 20 resolution\n"
    "      cells, 1 / span each), --points (default 1001); --edelay removes an\n"
    "      electrical delay first. Prints the dips deeper than 3 dB, or with --csv\n"
    "      t_ns,db,re,im at every time.\n";

// The settings from the options; nullopt after a usage message.
std::optional<TimeDomainSettings> timeSettings(CommandIo &io, const ParsedOptions &options) {
    TimeDomainSettings settings;
    if (const auto window = options.value("--window")) {
        const auto read = parseTimeWindow(*window);
        if (!read) {
            usageError(io, "--window " + quotedToken(*window) +
                               " is not kaiser, kaiser:BETA (0 to 30), hann or rectangle");
            return std::nullopt;
        }
        settings.window = *read;
    }
    for (auto [name, field] : {std::pair{"--start", &TimeDomainSettings::startNs},
                               std::pair{"--stop", &TimeDomainSettings::stopNs}})
        if (options.has(name) && !(settings.*field = numberOption(io, options, name, std::nullopt)))
            return std::nullopt;
    if (options.has("--points")) {
        const auto points = wholeOption(io, options, "--points", 2, maxTimePoints);
        if (!points)
            return std::nullopt;
        settings.points = static_cast<std::size_t>(*points);
    }
    return settings;
}

void printDips(CommandIo &io, std::string_view path, const SParameter &parameter,
               const TimeResponse &response) {
    io.out << "Time domain of " << sourceName(path) << ": " << parameter.name() << ", window "
           << timeWindowText(response.window) << ", " << response.tNs.size() << " times from "
           << formatFixed(response.tNs.front(), 1) << " to " << formatFixed(response.tNs.back(), 1)
           << " ns\n";
    const std::vector<TimeDip> dips = timeDips(response);
    if (dips.empty())
        io.out << "no dip deeper than 3 dB\n";
    // Columns: the dip's number, then time and depth right-aligned.
    auto padded = [](std::string text, std::size_t width, bool right) {
        const std::string pad(text.size() < width ? width - text.size() : 0, ' ');
        return right ? pad + text : text + pad;
    };
    for (std::size_t d = 0; d < dips.size(); ++d)
        io.out << padded("dip " + std::to_string(d + 1), 7, false)
               << padded(formatFixed(dips[d].tNs, 1), 9, true) << " ns"
               << padded(formatFixed(dips[d].db, 1), 9, true) << " dB\n";
}

int runTimeDomain(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 1)
        return usageError(io, "timedomain needs one Touchstone file or analyser");
    CheckSettings sweep;
    if (const auto problems = readSweepSettings(inputTexts(options), sweep); !problems.empty())
        return reportProblem(io, problems.front());
    const auto settings = timeSettings(io, options);
    if (!settings)
        return ExitUsage;
    const std::string_view path = options.positional[0];
    int status = ExitOk;
    const auto network = readSweep(io, path, sweep.parameter, status, options);
    if (!network)
        return status;
    if (const auto tooLarge =
            electricalDelayRefusal(sweep.electricalDelayNs, network->frequencyMHz))
        return failure(io, sourceName(path) + ": " + electricalDelayRefusalText(*tooLarge),
                       ExitUsage);
    const std::vector<std::complex<double>> values = withoutElectricalDelay(
        network->frequencyMHz, network->parameter(sweep.parameter), sweep.electricalDelayNs);
    const auto result = timeResponse(network->frequencyMHz, values, *settings);
    if (const auto *refusal = std::get_if<TimeDomainRefusal>(&result))
        return failure(io, sourceName(path) + ": " + timeDomainRefusalText(*refusal),
                       refusal->kind == TimeDomainRefusal::BadRange ? ExitUsage : ExitRunTimeError);
    const TimeResponse &response = std::get<TimeResponse>(result);
    if (!options.has("--csv")) {
        printDips(io, path, sweep.parameter, response);
        return ExitOk;
    }
    std::string text = "t_ns,db,re,im\n";
    for (std::size_t i = 0; i < response.tNs.size(); ++i) {
        appendCsvRow(text,
                     {response.tNs[i], response.db[i], response.h[i].real(), response.h[i].imag()});
        if (!flushBlock(io, text))
            return ExitRunTimeError;
    }
    io.out << text;
    return ExitOk;
}

constexpr OptionRow timeDomainOptions[] = {{"--param", "Sij"},
                                           {"--edelay", "NS"},
                                           {"--window", "kaiser[:BETA]|hann|rectangle"},
                                           {"--start", "NS"},
                                           {"--stop", "NS"},
                                           {"--points", "N"},
                                           {"--csv", ""},
                                           timeoutRow,
                                           portsRow,
                                           {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form timeDomainForm{"timedomain",   "SOURCE",          "",
                          timeDomainHelp, timeDomainOptions, runTimeDomain};

} // namespace varnel
