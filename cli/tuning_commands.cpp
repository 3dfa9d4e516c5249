#include "cli/tuning_commands.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "touchstone/touchstone.h"
#include "tuning/check.h"
#include "tuning/group_delay.h"
#include "tuning/stage_inputs.h"
#include "tuning/stage_model.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view delayHelp =
    "  varnel-calc delay FILE [--param Sij] [--aperture A] [--edelay NS] [--at MHZ]\n"
    "      The group delay of a Touchstone file (.s1p to .s4p, versions 1.1 and\n"
    "      2.x) as CSV f_mhz,delay_ns, or with --at its delay in ns at one\n"
    "      frequency (linear between trace points). --param picks the parameter\n"
    "      (S11, the default, S21, S12, S22, ...). --aperture is a number of\n"
    "      frequency steps (default 2, the central difference), a percentage of\n"
    "      the span (5%) or a width in MHz (1.5MHz); each delay belongs to the\n"
    "      mid-frequency of the two points used. --edelay removes an electrical\n"
    "      delay of NS nanoseconds first, as an analyser's setting does.\n";

constexpr std::string_view curveHelp =
    "  varnel-calc curve --stage K --f0 MHZ [--qu Q] [--span MHZ] [--points N] [--s1p]\n"
    "                    [ORDER [BANDWIDTH [RIPPLE]]]\n"
    "      The target curve of stage K (resonators 1..K tuned, the rest detuned)\n"
    "      around the band centre f0: CSV f_mhz,delay_ns,s11_db, or with --s1p a\n"
    "      Touchstone file (# MHz S RI R 50) to load into an analyser as a\n"
    "      reference trace. --qu gives the resonators' unloaded Q (lossless\n"
    "      without it). Default span 3 x BANDWIDTH, 801 points.\n";

constexpr std::string_view checkHelp =
    "  varnel-calc check --stage K --f0 MHZ FILE [--qu Q] [--param Sij] [--aperture A]\n"
    "                    [--edelay NS] [--tol PCT] [--json | --csv]\n"
    "                    [ORDER [BANDWIDTH [RIPPLE]]]\n"
    "      Holds a measured stage sweep against its target, the model put through\n"
    "      the same aperture, and says what to turn: the delay at f0 measured and\n"
    "      target, the deviation in %, PASS within the tolerance (default 2 %),\n"
    "      the lobes, |S11| at f0, for stage 1 the Qe and Qu the sweep shows, and\n"
    "      the likely cause when outside: the coupling into resonator K (centre\n"
    "      delay off) or its frequency (lobes lopsided, peak off f0). --json\n"
    "      prints one object, --csv the comparison f_mhz,delay_measured_ns,\n"
    "      delay_target_ns,s11_db_measured,s11_db_target. Exit status 0 within\n"
    "      tolerance, 3 outside it, 1 for an unreadable file or a run-time\n"
    "      error, 2 for a usage error.\n";

constexpr int ExitOutsideTolerance = 3;
constexpr long long maxCurvePoints = 1'000'000;

// Writes `text` when it has grown past a block, so that memory stays bounded
// and a failed write stops the run early.
bool flushBlock(CommandIo &io, std::string &text) {
    if (text.size() < (1u << 20))
        return true;
    io.out << text;
    text.clear();
    return !writeFailed(io);
}

// The option each input field is given with, for messages.
constexpr std::pair<InputField, const char *> optionNames[] = {
    {InputField::F0, "--f0"},
    {InputField::Qu, "--qu"},
    {InputField::Stage, "--stage"},
    {InputField::Parameter, "--param"},
    {InputField::Aperture, "--aperture"},
    {InputField::ElectricalDelay, "--edelay"},
    {InputField::Tolerance, "--tol"},
};

// The texts of the options given, the defaults for the rest.
StageInputTexts inputTexts(const ParsedOptions &options) {
    StageInputTexts texts;
    const std::pair<const char *, std::string *> fields[] = {{"--f0", &texts.f0},
                                                             {"--stage", &texts.stage},
                                                             {"--param", &texts.parameter},
                                                             {"--aperture", &texts.aperture},
                                                             {"--edelay", &texts.electricalDelay},
                                                             {"--tol", &texts.tolerance}};
    for (const auto &[name, text] : fields)
        if (const auto value = options.value(name))
            *text = std::string(*value);
    if (const auto qu = options.value("--qu"))
        texts.qu = std::string(*qu);
    return texts;
}

// Reports the first problem as varnel-calc does: a run-time error as
// "error N: ..." (status 1), a table refusal as a failure (status 2), any
// other as a usage error naming the option (status 2).
int reportProblem(CommandIo &io, const InputProblem &problem) {
    if (problem.kind == InputProblem::RunTime) {
        io.err << problemText(problem, "") << '\n';
        return ExitRunTimeError;
    }
    if (problem.kind == InputProblem::TableRefused)
        return failure(io, problemText(problem, ""), ExitUsage);
    std::string name;
    for (const auto &[field, option] : optionNames)
        if (field == problem.field)
            name = option;
    return usageError(io, problemText(problem, name));
}

// Reads the file keeping one parameter; nullopt after the message, with the
// status: 2 when the parameter is not in the file, 1 otherwise.
std::optional<Network> readSweep(CommandIo &io, std::string_view path, SParameter parameter,
                                 int &status) {
    auto read = readTouchstoneFile(std::string(path), ReadOptions{parameter});
    if (auto *network = std::get_if<Network>(&read))
        return std::move(*network);
    const TouchstoneError &error = std::get<TouchstoneError>(read);
    status = failure(io, error.message(),
                     error.kind == TouchstoneError::NoSuchParameter ? ExitUsage : ExitRunTimeError);
    return std::nullopt;
}

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
    const auto network = readSweep(io, path, sweep.parameter, status);
    if (!network)
        return status;
    const auto steps = apertureSteps(sweep.aperture, network->frequencyMHz);
    if (const auto *why = std::get_if<ApertureRefusal>(&steps))
        return failure(io, std::string(path) + ": " + apertureRefusalText(*why), ExitRunTimeError);
    const DelayTrace trace = groupDelay(network->frequencyMHz, network->values,
                                        std::get<std::size_t>(steps), sweep.electricalDelayNs);
    if (at) {
        const auto delay = interpolate(trace.fMHz, trace.delayNs, *at);
        if (!delay)
            return failure(io,
                           std::string(path) + ": " + formatShortest(*at) +
                               " MHz is outside the delay trace (" +
                               formatShortest(trace.fMHz.front()) + " to " +
                               formatShortest(trace.fMHz.back()) + " MHz)",
                           ExitRunTimeError);
        io.out << formatShortest(*delay) << '\n';
        return ExitOk;
    }
    std::string text = "f_mhz,delay_ns\n";
    for (std::size_t i = 0; i < trace.fMHz.size(); ++i) {
        appendCsvRow(text, {trace.fMHz[i], trace.delayNs[i]});
        if (!flushBlock(io, text))
            return ExitRunTimeError;
    }
    io.out << text;
    return ExitOk;
}

// What curve and check share: the table, the stage, f0 and Qu, and the
// sweep settings; nullopt after reporting the first problem (status set).
std::optional<StageInputs> stageInputs(CommandIo &io, const ParsedOptions &options,
                                       std::span<const std::string_view> fields, int &status) {
    status = ExitUsage;
    for (const std::string_view required : {"--stage", "--f0"})
        if (!options.has(required)) {
            usageError(io, "needs " + std::string(required));
            return std::nullopt;
        }
    const auto texts = fieldTexts(io, fields);
    if (!texts)
        return std::nullopt;
    StageInputTexts inputs = inputTexts(options);
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

int runCurve(const ParsedOptions &options, CommandIo &io) {
    int status = ExitOk;
    const auto inputs = stageInputs(io, options, options.positional, status);
    if (!inputs)
        return status;
    double span = defaultSpan(inputs->table.first.bandwidth, inputs->f0);
    if (options.has("--span")) {
        const auto value = numberOption(io, options, "--span");
        if (!value)
            return ExitUsage;
        span = *value;
    }
    if (!(inputs->f0 - span / 2 > 0))
        return usageError(io, "the span " + formatShortest(span) +
                                  " MHz reaches 0 MHz below f0; make it narrower than 2 x f0");
    long long points = 801;
    if (options.has("--points")) {
        const auto value = wholeOption(io, options, "--points", 2, maxCurvePoints);
        if (!value)
            return ExitUsage;
        points = *value;
    }
    const StageModel model = stageModel(inputs->table, inputs->stage, inputs->f0, inputs->qu);
    const TargetCurve curve = targetCurve(model, span, static_cast<std::size_t>(points));
    if (options.has("--s1p")) {
        io.out << targetS1p(inputs->table, model, curve);
        return ExitOk;
    }
    std::string text = "f_mhz,delay_ns,s11_db\n";
    for (std::size_t i = 0; i < curve.fMHz.size(); ++i) {
        appendCsvRow(text, {curve.fMHz[i], curve.delayNs[i], curve.s11Db[i]});
        if (!flushBlock(io, text))
            return ExitRunTimeError;
    }
    io.out << text;
    return ExitOk;
}

// JSON text of a document built with the library, two blanks an indent
// level; numbers in their shortest exact form (48.14890203471687, 1000),
// non-finite ones as null. Strings, names and the rest as the library
// writes them.
void dumpJson(const nlohmann::ordered_json &j, std::string &out, int depth) {
    const std::string indent(static_cast<std::size_t>(2 * depth + 2), ' ');
    const std::string closing(static_cast<std::size_t>(2 * depth), ' ');
    if (j.is_number_float()) {
        const double value = j.get<double>();
        out += std::isfinite(value) ? formatShortest(value) : "null";
    } else if (j.is_object() && !j.empty()) {
        out += "{\n";
        bool first = true;
        for (const auto &[name, value] : j.items()) {
            out += (first ? "" : ",\n") + indent + nlohmann::ordered_json(name).dump() + ": ";
            dumpJson(value, out, depth + 1);
            first = false;
        }
        out += "\n" + closing + "}";
    } else if (j.is_array() && !j.empty()) {
        out += "[\n";
        bool first = true;
        for (const auto &value : j) {
            out += (first ? "" : ",\n") + indent;
            dumpJson(value, out, depth + 1);
            first = false;
        }
        out += "\n" + closing + "]";
    } else {
        out += j.dump();
    }
}

nlohmann::ordered_json checkJson(const CheckReport &r, const StageInputs &in) {
    nlohmann::ordered_json j;
    auto optional = [](const std::optional<double> &v) {
        return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
    };
    j["stage"] = r.settings.stage;
    j["order"] = in.table.stages.size();
    j["f0_mhz"] = r.settings.f0;
    j["bandwidth_mhz"] = in.table.first.bandwidth;
    j["ripple_db"] = in.table.first.ripple;
    j["model_qu"] = optional(r.settings.qu);
    j["parameter"] = r.settings.parameter.name();
    j["aperture_steps"] = r.apertureSteps;
    j["table_delay_ns"] = r.tableDelayNs;
    j["target_delay_ns"] = r.targetDelayNs;
    j["measured_delay_ns"] = r.measuredDelayNs;
    j["deviation_percent"] = r.deviationPercent;
    j["tolerance_percent"] = r.settings.tolerancePercent;
    j["pass"] = r.pass;
    j["s11_db_measured"] = r.s11DbMeasured;
    j["s11_db_target"] = r.s11DbTarget;
    j["lobes"] = nlohmann::ordered_json::array();
    for (const Lobe &lobe : r.lobes)
        j["lobes"].push_back({{"f_mhz", lobe.fMHz},
                              {"delay_ns", lobe.delayNs},
                              {"target_f_mhz", lobe.targetFMHz},
                              {"target_delay_ns", lobe.targetDelayNs}});
    if (r.settings.stage == 1) {
        j["qe"] = optional(r.qe);
        j["qu"] = optional(r.qu);
    }
    j["cause"] = r.cause == CheckReport::Cause::None       ? "none"
                 : r.cause == CheckReport::Cause::Coupling ? "coupling"
                                                           : "frequency";
    j["advice"] = adviceText(r);
    return j;
}

std::string checkText(const CheckReport &r, const StageInputs &in, std::string_view path) {
    auto ns = [](double v) { return formatFixed(v, 3) + " ns"; };
    auto mhz = [](double v) { return formatFixed(v, 3) + " MHz"; };
    auto db = [](double v) { return formatFixed(v, 2) + " dB"; };
    std::string out = "Check of " + std::string(path) + ": " +
                      describeStage(in.table, stageModel(in.table, in.stage, in.f0, in.qu)) + "\n";
    out += r.settings.parameter.name() + ", aperture " + std::to_string(r.apertureSteps) +
           (r.apertureSteps == 1 ? " step" : " steps");
    if (r.settings.electricalDelayNs != 0)
        out += ", electrical delay " + formatShortest(r.settings.electricalDelayNs) + " ns";
    out += "\n\n";
    out += "delay at f0   measured " + ns(r.measuredDelayNs) + ", target " + ns(r.targetDelayNs) +
           " (table " + ns(r.tableDelayNs) + ")\n";
    out += "deviation     " + std::string(r.deviationPercent >= 0 ? "+" : "") +
           formatFixed(r.deviationPercent, 2) + " %, tolerance " +
           formatShortest(r.settings.tolerancePercent) + " %\n";
    out += "S11 at f0     measured " + db(r.s11DbMeasured) + ", target " + db(r.s11DbTarget) + "\n";
    for (std::size_t l = 0; l < r.lobes.size(); ++l) {
        const Lobe &lobe = r.lobes[l];
        out += "lobe " + std::to_string(l + 1) + "        measured " + ns(lobe.delayNs) + " at " +
               mhz(lobe.fMHz) + ", target " + ns(lobe.targetDelayNs) + " at " +
               mhz(lobe.targetFMHz) + "\n";
    }
    if (r.qe)
        out += "stage 1       Qe " + formatFixed(*r.qe, 2) + ", Qu " +
               (r.qu ? formatFixed(*r.qu, 1) : std::string("not measurable (|S11| = 1)")) + "\n";
    out += std::string("\n") + (r.pass ? "PASS" : "FAIL") + ": " + adviceText(r) + "\n";
    return out;
}

int runCheck(const ParsedOptions &options, CommandIo &io) {
    if (options.has("--json") && options.has("--csv"))
        return usageError(io, "--json and --csv exclude each other");
    if (options.positional.empty())
        return usageError(io, "check needs a Touchstone file");
    int status = ExitOk;
    const auto inputs = stageInputs(io, options, std::span(options.positional).subspan(1), status);
    if (!inputs)
        return status;
    const CheckSettings &settings = inputs->check;
    const std::string_view path = options.positional[0];
    const auto network = readSweep(io, path, settings.parameter, status);
    if (!network)
        return status;
    const auto checked = checkStage(inputs->table, *network, settings);
    if (const auto *why = std::get_if<CheckRefusal>(&checked))
        return failure(io, std::string(path) + ": " + checkRefusalText(*why), ExitRunTimeError);
    const CheckReport &report = std::get<CheckReport>(checked);
    if (options.has("--json")) {
        std::string text;
        dumpJson(checkJson(report, *inputs), text, 0);
        io.out << text << '\n';
    } else if (options.has("--csv")) {
        io.out << comparisonCsv(report);
    } else {
        io.out << checkText(report, *inputs, path);
    }
    return report.pass ? ExitOk : ExitOutsideTolerance;
}

constexpr OptionRow delayOptions[] = {{"--param", "Sij"},
                                      {"--aperture", "A"},
                                      {"--edelay", "NS"},
                                      {"--at", "MHZ"},
                                      {"--help", "", "-h"}};
constexpr OptionRow curveOptions[] = {{"--stage", "K"},    {"--f0", "MHZ"},   {"--qu", "Q"},
                                      {"--span", "MHZ"},   {"--points", "N"}, {"--s1p", ""},
                                      {"--help", "", "-h"}};
constexpr OptionRow checkOptions[] = {
    {"--stage", "K"},   {"--f0", "MHZ"},  {"--qu", "Q"},  {"--param", "Sij"}, {"--aperture", "A"},
    {"--edelay", "NS"}, {"--tol", "PCT"}, {"--json", ""}, {"--csv", ""},      {"--help", "", "-h"}};

} // namespace

const Form delayForm{"delay",
                     "varnel-calc delay FILE [--param Sij] [--aperture A] [--edelay NS] [--at MHZ]",
                     delayHelp, delayOptions, runDelay};
const Form curveForm{"curve",
                     "varnel-calc curve --stage K --f0 MHZ [--qu Q] [--span MHZ] [--points N] "
                     "[--s1p] [ORDER [BANDWIDTH [RIPPLE]]]",
                     curveHelp, curveOptions, runCurve};
const Form checkForm{"check",
                     "varnel-calc check --stage K --f0 MHZ FILE [--qu Q] [--param Sij] "
                     "[--aperture A] [--edelay NS] [--tol PCT] [--json | --csv] "
                     "[ORDER [BANDWIDTH [RIPPLE]]]",
                     checkHelp, checkOptions, runCheck};

} // namespace varnel
