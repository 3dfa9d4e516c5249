#include "cli/sweep_options.h"

#include "analyser_link/analyser.h"
#include "analyser_link/source_address.h"
#include "cli/fd_stream.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"

#include <cmath>
#include <istream>
#include <ostream>

namespace varnel {

namespace {

// The option each input field is given with, and the text it fills (Qu's
// is optional, read apart).
struct FieldOption {
    InputField field;
    const char *option;
    std::string StageInputTexts::*text;
};
constexpr FieldOption fieldOptions[] = {
    {InputField::F0, "--f0", &StageInputTexts::f0},
    {InputField::Qu, "--qu", nullptr},
    {InputField::Stage, "--stage", &StageInputTexts::stage},
    {InputField::Parameter, "--param", &StageInputTexts::parameter},
    {InputField::Aperture, "--aperture", &StageInputTexts::aperture},
    {InputField::ElectricalDelay, "--edelay", &StageInputTexts::electricalDelay},
    {InputField::Tolerance, "--tol", &StageInputTexts::tolerance},
    {InputField::ToleranceFrequency, "--tol-freq", &StageInputTexts::toleranceFrequency},
    {InputField::Resonator, "--resonator", &StageInputTexts::resonator},
    {InputField::Output, "--output", &StageInputTexts::output},
    {InputField::CouplingSlope, "--coupling-slope", &StageInputTexts::couplingSlope},
    {InputField::QeSlope, "--qe-slope", &StageInputTexts::qeSlope},
    {InputField::Cutoff, "--cutoff", &StageInputTexts::cutoff},
};

} // namespace

std::string cutoffText(ResonatorKind kind, double cutoffMHz,
                       const std::optional<CutoffRange> &fitted) {
    if (kind != ResonatorKind::Waveguide)
        return {};
    std::string text = ", cut-off " + formatFixed(cutoffMHz, 1) + " MHz (";
    if (!fitted)
        return text + "given)";
    text += "fitted";
    if (fitted->highMHz > fitted->lowMHz)
        text += "; " + formatFixed(fitted->lowMHz, 1) + " to " + formatFixed(fitted->highMHz, 1) +
                " MHz fit as well";
    return text + ")";
}

bool flushBlock(CommandIo &io, std::string &text) {
    if (text.size() < (1u << 20))
        return true;
    io.out << text;
    text.clear();
    return !writeFailed(io);
}

StageInputTexts inputTexts(const ParsedOptions &options, StageInputTexts defaults) {
    StageInputTexts texts = std::move(defaults);
    for (const FieldOption &row : fieldOptions)
        if (const auto value = options.value(row.option); value && row.text)
            texts.*row.text = std::string(*value);
    if (const auto qu = options.value("--qu"))
        texts.qu = std::string(*qu);
    return texts;
}

int reportProblem(CommandIo &io, const InputProblem &problem) {
    std::string name; // empty for the fields ORDER BANDWIDTH RIPPLE
    for (const FieldOption &row : fieldOptions)
        if (row.field == problem.field)
            name = row.option;
    if (problem.kind == InputProblem::RunTime) {
        io.err << problemText(problem, name) << '\n';
        return ExitRunTimeError;
    }
    if (problem.kind == InputProblem::TableRefused)
        return failure(io, problemText(problem, ""), ExitUsage);
    return usageError(io, problemText(problem, name));
}

std::string sourceName(std::string_view path) {
    return path == standardInputPath ? std::string("standard input") : quotedName(path);
}

std::optional<Network> keptFromSweep(CommandIo &io, std::string_view path, Network network,
                                     std::optional<SParameter> parameter, int &status) {
    if (!parameter)
        return network;
    if (!network.keepOnly(*parameter)) {
        status = usageError(io, sourceName(path) + " has no " + parameter->name() + ": it gives " +
                                    (network.ports == 1    ? "S11 alone"
                                     : network.forwardOnly ? "S11 and S21 only"
                                                           : "S11 to S22"));
        return std::nullopt;
    }
    return network;
}

namespace {

void interruptHandler(int) {
    interruptLinks();
}

} // namespace

LinkInterruption::LinkInterruption() {
    struct sigaction action {};
    action.sa_handler = interruptHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND; // a second SIGINT ends the program
    ::sigaction(SIGINT, &action, &m_previous);
}

LinkInterruption::~LinkInterruption() {
    ::sigaction(SIGINT, &m_previous, nullptr);
}

std::optional<Network> analyserSweep(CommandIo &io, std::string_view path,
                                     const SourceAddress &source,
                                     std::optional<SParameter> parameter, int &status) {
    const LinkInterruption interruption;
    auto connected = connectAnalyser(source);
    if (auto *error = std::get_if<LinkError>(&connected)) {
        status = failure(io, sourceName(path) + ": " + linkErrorText(*error), ExitRunTimeError);
        return std::nullopt;
    }
    auto sweep = std::get<std::unique_ptr<Analyser>>(connected)->sweep();
    if (auto *error = std::get_if<LinkError>(&sweep)) {
        status =
            error->kind == LinkError::Interrupted
                ? ExitInterrupted
                : failure(io, sourceName(path) + ": " + linkErrorText(*error), ExitRunTimeError);
        return std::nullopt;
    }
    return keptFromSweep(io, path, std::move(std::get<Network>(sweep)), parameter, status);
}

namespace {

// All of standard input; nullopt after a message naming it.
std::optional<std::string> standardInput(CommandIo &io, int &status) {
    std::string text;
    char block[1 << 16];
    while (io.in.read(block, sizeof block) || io.in.gcount() > 0)
        text.append(block, std::size_t(io.in.gcount()));
    if (const std::string why = streamFailure(io.in, true); !why.empty()) {
        status = failure(io, "cannot read standard input: " + why, ExitRunTimeError);
        return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<Network> readSweep(CommandIo &io, std::string_view path,
                                 std::optional<SParameter> parameter, int &status,
                                 std::string_view timeout, int ports) {
    ReadOptions read{parameter};
    read.ports = ports;
    std::variant<Network, TouchstoneError> result;
    if (path == standardInputPath) {
        const auto text = standardInput(io, status);
        if (!text)
            return std::nullopt;
        if (!read.ports)
            read.ports = portsFromData(*text);
        result = readTouchstoneText("standard input", *text, read);
    } else {
        const auto address = sourceAddress(io, path, timeout, status);
        if (!address)
            return std::nullopt;
        if (address->kind != SourceAddress::File)
            return analyserSweep(io, path, *address, parameter, status);
        result = readTouchstoneFile(std::string(path), read);
    }
    if (auto *network = std::get_if<Network>(&result))
        return std::move(*network);
    const TouchstoneError &error = std::get<TouchstoneError>(result);
    status = failure(io, error.message(),
                     error.kind == TouchstoneError::NoSuchParameter ? ExitUsage : ExitRunTimeError);
    return std::nullopt;
}

std::optional<Network> readSweep(CommandIo &io, std::string_view path,
                                 std::optional<SParameter> parameter, int &status,
                                 const ParsedOptions &options) {
    long long ports = 0;
    if (options.has("--ports")) {
        const auto given = wholeOption(io, options, "--ports", 1, 4);
        if (!given) {
            status = ExitUsage;
            return std::nullopt;
        }
        ports = *given;
    }
    return readSweep(io, path, parameter, status, options.value("--timeout").value_or(""),
                     int(ports));
}

std::optional<SourceAddress> sourceAddress(CommandIo &io, std::string_view path,
                                           std::string_view timeout, int &status) {
    auto address = parseSourceAddress(path);
    if (const auto *why = std::get_if<std::string>(&address)) {
        status = usageError(io, *why);
        return std::nullopt;
    }
    SourceAddress &source = std::get<SourceAddress>(address);
    if (!timeout.empty()) {
        auto timeouts = readTimeouts(timeout);
        if (const auto *why = std::get_if<std::string>(&timeouts)) {
            status = usageError(io, "--timeout: " + *why);
            return std::nullopt;
        }
        source.timeouts = std::get<AnalyserTimeouts>(timeouts);
    }
    return std::move(source);
}

std::optional<StageInputs> stageInputs(CommandIo &io, const ParsedOptions &options,
                                       std::span<const std::string_view> fields, int &status,
                                       const StageInputTexts &defaults, bool needsStage) {
    status = ExitUsage;
    for (const std::string_view required : {"--stage", "--f0"})
        if (!options.has(required) && (needsStage || required != "--stage")) {
            usageError(io, "needs " + std::string(required));
            return std::nullopt;
        }
    const auto texts = fieldTexts(io, fields);
    if (!texts)
        return std::nullopt;
    StageInputTexts inputs = inputTexts(options, defaults);
    inputs.order = std::string((*texts)[0]);
    inputs.bandwidth = std::string((*texts)[1]);
    inputs.ripple = std::string((*texts)[2]);
    StageInputsResult read = readStageInputs(inputs);
    if (!read.problems.empty()) {
        status = reportProblem(io, read.problems.front());
        return std::nullopt;
    }
    status = ExitOk;
    return std::move(read.inputs);
}

const char *verdictWord(Verdict::Outcome outcome) {
    switch (outcome) {
    case Verdict::Pass:
        return "PASS";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::Uncertain:
        break;
    }
    return "UNCERTAIN";
}

int verdictStatus(Verdict::Outcome outcome) {
    switch (outcome) {
    case Verdict::Pass:
        return ExitOk;
    case Verdict::Fail:
        return ExitOutsideTolerance;
    case Verdict::Uncertain:
        break;
    }
    return ExitUndecided;
}

std::string signedFixed(double value, int decimals) {
    if (!std::isfinite(value))
        return "undefined";
    std::string text = formatFixed(value, decimals);
    if (text.front() != '-')
        text.insert(0, 1, '+');
    return text;
}

} // namespace varnel
