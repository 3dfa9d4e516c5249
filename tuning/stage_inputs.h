#pragma once

#include "lowpass_prototype/run_time_error.h"
#include "touchstone/touchstone.h"
#include "tuning/check.h"
#include "tuning/filter_design.h"
#include "tuning/tuning_table.h"

#include <optional>
#include <string>
#include <vector>

// What a stage check or a target curve is made from, read from the texts a
// tuner types (the window's fields, varnel-calc's arguments), with one rule
// per field so that every face accepts and refuses exactly the same inputs.
//
//   order, bandwidth, ripple  read as the calculator reads its fields; then
//                             the tuning table's refusals (order 1..100, ripple
//                             and bandwidth above 0) and its run-time error
//   f0 (MHz)                  a decimal number above 0
//   Qu                        a decimal number above 0; not given: lossless
//   stage                     a whole number from 1 to the order
//   parameter                 S11, S21, ... (S and two port digits 1..4)
//   aperture                  steps ("2"), percent of span ("5%"), MHz ("1.5MHz")
//   electrical delay (ns)     any decimal number
//   tolerance (%)             a decimal number above 0
//   frequency tolerance       a decimal number above 0 (% of BW)
//   resonator                 "lumped", "coaxial" (quarter-wave), "waveguide"
//                             or "auto" (the kind that fits the sweep
//                             better), any case
//   cut-off (MHz)             a waveguide's: a decimal number above 0 and
//                             below f0, or "" to fit it (cutoff_search.h);
//                             given with another kind, a problem
//   output                    "loaded" or "open" (any case), or "" to find it
//   coupling slope, Qe slope  any decimal number (k(f) = k0 (f/f0)^p, 1/Qe
//                             likewise), or "" to fit it (stage_fit.h)
//   transmission zeros        MHz separated by commas (readZeros), "" for none
//   topology                  "inline", "folded", "ct", "cq" or a list
//                             ("1-2,2-3,1-3"), "" for the default; with zeros
//                             or a topology other than inline the filter is
//                             designed (filter_design.h) and its refusal is
//                             a problem of the zeros (of the topology for a
//                             list it cannot realise or that names a
//                             resonator beyond the order)
// Every field is checked and each problem names its field; the problems come
// in the order above (varnel-calc reports the first).
// Worked example: order "5", bandwidth "10", ripple "0.01", f0 "1000", stage
// "2", the rest as default: stage 2 of the order-5 table, lossless, S11,
// aperture 2 steps, no electrical delay, tolerance 2 %. With f0 "-3" and
// tolerance "0,1": two problems, f0 NotAboveZero and tolerance NotANumber.
// With zeros "985,1015" and the order "6": a folded design of order 6;
// zeros "1002": DesignRefused (ZeroInBand) at the zeros.
namespace varnel {

enum class InputField {
    Order,
    Bandwidth,
    Ripple,
    F0,
    Qu,
    Stage,
    Parameter,
    Aperture,
    ElectricalDelay,
    Tolerance,
    ToleranceFrequency,
    Resonator,
    Output,
    CouplingSlope,
    QeSlope,
    Cutoff,
    Zeros,
    Topology
};

struct InputProblem {
    InputField field;
    enum Kind {
        NotANumber,    // not a decimal number (or beyond the double range)
        NotAboveZero,  // a number, but zero or below where it must be above 0
        OutOfRange,    // a whole number outside low..high, or not whole
        NotAParameter, // not S11, S21, ...
        NotAnAperture, // not steps, a percentage or a width in MHz
        NotAResonator, // not "lumped", "coaxial" or "waveguide"
        NotAnOutput,   // not "loaded" or "open"
        NotBelowF0,    // a cut-off at or above f0
        NotForKind,    // a cut-off with resonators other than waveguides
        TableRefused,  // the tuning table's refusal (see `refusal`)
        RunTime,       // the calculation's run-time error (see `runTimeError`)
        NotAZero,      // an item of the zeros that is not a number (`text`)
        NotATopology,  // not inline, folded, ct, cq or a list of couplings
        DesignRefused, // the design's refusal (see `designRefusal`, `reason`)
    } kind;
    std::string text; // the field's text as given
    long long low = 0, high = 0;
    std::optional<TableRefusal> refusal;
    std::optional<RunTimeError> runTimeError;
    std::optional<DesignRefusal> designRefusal;
    std::string reason; // a design refusal in English (designRefusalText)
};

// The texts; a field not given takes its default (Qu: lossless).
struct StageInputTexts {
    std::string order = "5", bandwidth = "10", ripple = "0.01";
    std::string f0;
    std::optional<std::string> qu;
    std::string stage = "1";
    std::string parameter = "S11", aperture = "2", electricalDelay = "0", tolerance = "2";
    std::string toleranceFrequency = "2";
    std::string resonator = "lumped";
    std::string output;                 // empty: found from the sweep
    std::string couplingSlope, qeSlope; // empty: fitted
    std::string cutoff;                 // empty: fitted (waveguides)
    std::string zeros, topology;        // empty: none, the default
};

struct StageInputs {
    TuningTable table;
    int stage = 1;
    double f0 = 0; // MHz
    std::optional<double> qu;
    CheckSettings check; // stage, f0 and Qu repeated, with the sweep settings
    // A cross-coupled (or explicitly topological) filter's design; none for
    // the in-line filter the tuning table describes.
    std::optional<FilterDesign> design;
};

struct StageInputsResult {
    std::optional<StageInputs> inputs; // when there is no problem
    std::vector<InputProblem> problems;
};

StageInputsResult readStageInputs(const StageInputTexts &texts);

// The sweep settings alone (parameter, aperture, electrical delay,
// tolerance), with the same rules; for forms that need no filter.
std::vector<InputProblem> readSweepSettings(const StageInputTexts &texts, CheckSettings &settings);

// The problem in English, naming the field as `name` ("--f0" on the command
// line): "--f0 needs a number above 0, got '-3'", "--cutoff needs a number
// below f0, got '1200'"; a table refusal as the
// table states it; a run-time error as "error 6: Overflow".
std::string problemText(const InputProblem &problem, const std::string &name);

// The span a target curve is drawn over by default: 3 x bandwidth, narrowed
// to 1.9 x f0 where it would reach 0 MHz. Example: (10, 1000) -> 30;
// (10, 12) -> 22.8.
double defaultSpan(double bandwidth, double f0);

} // namespace varnel
