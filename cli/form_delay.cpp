#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "tuning/check.h"
#include "tuning/group_delay.h"

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view delayHelp =
    "      The group delay of a Touchstone file (.s1p to .s4p, versions 1.1 and\n"
    "      2.x) as CSV f_mhz,delay_ns, or with --at its delay in ns at one\n"
    "      frequency (linear between trace points). --param picks the parameter\n"
    "      (S11, the default, S21, S12, S22, ...). --aperture is a number of\n"
    "      frequency steps (default 2, the central difference), a percentage of\n"
    "      the span (5%) or a width in MHz (1.5MHz); each delay belongs to the\n"
    "      mid-frequency of the two points used. --edelay removes an electrical\n"
    "      delay of NS nanoseconds first, as an analyser's setting does.\n";

int runDelay(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 1)
        return usageError(io, "delay needs one Touchstone file");
    CheckSettings sweep;
    if (const auto problems = readSweepSettings(inputTexts(options), sweep); !problems.empty())
        return reportProblem(io, problems.front());
    std::optional<double> at;
    if (options.has("--at") && !(at = numberOption(io, options, "--at")))
        return ExitUsage;
    const std::string_view path = options.positional[0];
    int status = ExitOk;
    const auto network = readSweep(io, path, sweep.parameter, status, options);
    if (!network)
        return status;
    const auto steps = apertureSteps(sweep.aperture, network->frequencyMHz);
    if (const auto *why = std::get_if<ApertureRefusal>(&steps))
        return failure(io, sourceName(path) + ": " + apertureRefusalText(*why),
                       why->kind == ApertureRefusal::TooWide ? ExitUsage : ExitRunTimeError);
    if (const auto tooLarge =
            electricalDelayRefusal(sweep.electricalDelayNs, network->frequencyMHz))
        return failure(io, sourceName(path) + ": " + electricalDelayRefusalText(*tooLarge),
                       ExitUsage);
    const DelayTrace trace = groupDelay(network->frequencyMHz, network->values,
                                        std::get<std::size_t>(steps), sweep.electricalDelayNs);
    // An infinite delay (frequencies closer than the double resolves) is
    // an error before anything is written; an undefined one (|S| = 0) is
    // left out.
    auto notFinite = [&](double f) {
        return failure(io,
                       sourceName(path) + ": the delay at " + formatShortest(f) +
                           " MHz is not a finite number: the frequencies around it are too close "
                           "together",
                       ExitRunTimeError);
    };
    if (at) {
        const auto delay = interpolate(trace.fMHz, trace.delayNs, *at);
        if (!delay)
            return failure(io,
                           sourceName(path) + ": " + formatShortest(*at) +
                               " MHz is outside the delay trace (" +
                               formatShortest(trace.fMHz.front()) + " to " +
                               formatShortest(trace.fMHz.back()) + " MHz)",
                           ExitRunTimeError);
        if (std::isnan(*delay))
            return failure(io,
                           sourceName(path) + ": the delay at " + formatShortest(*at) +
                               " MHz is undefined: |" + sweep.parameter.name() +
                               "| is 0 at an end of its aperture",
                           ExitRunTimeError);
        if (!std::isfinite(*delay))
            return notFinite(*at);
        io.out << formatShortest(*delay) << '\n';
        return ExitOk;
    }
    for (std::size_t i = 0; i < trace.fMHz.size(); ++i)
        if (std::isinf(trace.delayNs[i]))
            return notFinite(trace.fMHz[i]);
    if (trace.undefined == trace.fMHz.size())
        return failure(io,
                       sourceName(path) + ": no delay is defined: |" + sweep.parameter.name() +
                           "| is 0 at every point",
                       ExitRunTimeError);
    std::string text = "f_mhz,delay_ns\n";
    for (std::size_t i = 0; i < trace.fMHz.size(); ++i) {
        if (std::isnan(trace.delayNs[i]))
            continue;
        appendCsvRow(text, {trace.fMHz[i], trace.delayNs[i]});
        if (!flushBlock(io, text))
            return ExitRunTimeError;
    }
    io.out << text;
    if (trace.undefined > 0)
        failure(io,
                sourceName(path) + ": " + std::to_string(trace.undefined) + " of " +
                    std::to_string(trace.fMHz.size()) +
                    " delay points left out: the phase is undefined where |" +
                    sweep.parameter.name() + "| is 0",
                ExitOk);
    return ExitOk;
}

constexpr OptionRow delayOptions[] = {{"--param", "Sij"},
                                      {"--aperture", "A"},
                                      {"--edelay", "NS"},
                                      {"--at", "MHZ"},
                                      timeoutRow,
                                      portsRow,
                                      {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form delayForm{"delay", "SOURCE", "", delayHelp, delayOptions, runDelay};

} // namespace varnel
