#include "cli/design_options.h"
#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "tuning/stage_inputs.h"
#include "tuning/stage_model.h"

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr long long maxCurvePoints = 1'000'000;

constexpr std::string_view curveHelp =
    "      The target curve of stage K (resonators 1..K tuned, the rest detuned)\n"
    "      around the band centre f0: CSV f_mhz,delay_ns,s11_db, or with --s1p a\n"
    "      Touchstone file (# MHz S RI R 50) to load into an analyser as a\n"
    "      reference trace. --qu gives the resonators' unloaded Q (lossless\n"
    "      without it). Default span 3 x BANDWIDTH, 801 points. --resonator\n"
    "      coaxial maps quarter-wave TEM resonators instead of lumped ones,\n"
    "      --resonator waveguide half-wave cavities in a guide cut off at\n"
    "      --cutoff MHZ (required); each model is narrow-band, f0 the band centre\n"
    "      sqrt(f1 f2) of its edges.\n"
    "      --output loaded draws the last stage with its output loaded: the whole\n"
    "      filter's reflection.\n";

int runCurve(const ParsedOptions &options, CommandIo &io) {
    if (const int refused = refuseCrossCoupled(io, options); refused != ExitOk)
        return refused;
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
    // A curve has no sweep to choose the resonators' kind by.
    if (inputs->check.resonatorAuto)
        return usageError(io, "--resonator auto needs a sweep; give lumped, coaxial or waveguide");
    if (inputs->check.resonator == ResonatorKind::Waveguide && !inputs->check.cutoff)
        return usageError(io, "--resonator waveguide needs --cutoff for a curve: there is no sweep "
                              "to fit it to");
    long long points = 801;
    if (options.has("--points")) {
        const auto value = wholeOption(io, options, "--points", 2, maxCurvePoints);
        if (!value)
            return ExitUsage;
        points = *value;
    }
    const StageModel model = stageModel(
        inputs->table, inputs->stage, inputs->f0, inputs->qu, inputs->check.resonator,
        inputs->check.output.value_or(StageOutput::Open), inputs->check.cutoff.value_or(0));
    const TargetCurve curve = targetCurve(model, span, static_cast<std::size_t>(points));
    // Points that a double cannot tell apart (a span far below f0's
    // resolution) would give a curve of one frequency.
    for (std::size_t i = 1; i < curve.fMHz.size(); ++i)
        if (!(curve.fMHz[i] > curve.fMHz[i - 1]))
            return usageError(io, "the span " + formatShortest(span) + " MHz in " +
                                      std::to_string(points - 1) +
                                      " steps is too fine to resolve at f0 " +
                                      formatShortest(inputs->f0) + " MHz");
    // The model stays in range for every input the rules let through; a
    // value that is not a number all the same is an error, never a row.
    for (std::size_t i = 0; i < curve.fMHz.size(); ++i)
        if (!std::isfinite(curve.fMHz[i]) || !std::isfinite(curve.delayNs[i]) ||
            !std::isfinite(curve.s11Db[i]))
            return failure(io,
                           "the stage model gives no finite value at " +
                               formatShortest(curve.fMHz[i]) + " MHz for these inputs",
                           ExitRunTimeError);
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

constexpr OptionRow curveOwnOptions[] = {{"--stage", "K", {}, InUsage::Required},
                                         {"--f0", "MHZ", {}, InUsage::Required},
                                         {"--qu", "Q"},
                                         {"--span", "MHZ"},
                                         {"--points", "N"},
                                         {"--resonator", "lumped|coaxial|waveguide"},
                                         {"--cutoff", "MHZ"},
                                         {"--output", "loaded|open"},
                                         {"--s1p", ""},
                                         {"--help", "", "-h", InUsage::Hidden}};
constexpr auto curveOptions = joinedOptions(curveOwnOptions, crossCoupledRows);

} // namespace

const Form curveForm{"curve", "", fieldsArguments, curveHelp, curveOptions, runCurve};

} // namespace varnel
