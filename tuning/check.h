#pragma once

#include "touchstone/touchstone.h"
#include "tuning/filter_fit.h"
#include "tuning/group_delay.h"
#include "tuning/stage_fit.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"
#include "tuning/verdict.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// Holds a measured stage sweep against its target.
//
// The target is the stage model (stage_model.h) at the measured frequencies,
// put through the same phase unwrapping and aperture as the measurement, so
// that neither the aperture nor the sweep's spacing reads as a tuning error.
// The electrical delay corrects the measurement only: it is the cable's.
// At f0 (both traces interpolated linearly):
//     deviation % = (measured - target) / target * 100,
//     pass when |deviation| <= tolerance.
// Lobes are the local maxima of the target trace that stand out by 0.1 % of
// its highest delay (a stage k shows k of them; a peak's prominence is its
// height above the higher of the lowest points between it and a higher point
// on either side). Each is matched with the measured peak nearest to it that
// stands out by 1 % of the lowest target lobe, between the midpoints to its
// neighbouring lobes (else the highest point there): neither the rounding
// ripple of a dense sweep, nor noise, nor the spike of a reflection zero
// beside a lobe takes its place.
// The verdict (verdict.h) comes from the stage model fitted to the whole
// complex sweep (stage_fit.h) when the parameter is a reflection; for a
// transmission it rests on the centre delay alone. The last stage is seen
// with its output open or loaded as the settings say, else as the sweep
// fits closer; a loaded output is the target's too.
// Stage 1 also gives Qe and Qu from the measured delay and |S11| at f0:
//     a = (1 - |S11|) / (1 + |S11|),  Qe = (omega0 tau / 4)(1 - a^2),
//     Qu = Qe / a  (none when |S11| rounds to 1 at six decimals; neither
//     when |S11| at f0 is above 1).
// |S| above 1 (0 dB) anywhere in a reflection sweep is warned of: a passive
// stage cannot reflect more than it is sent (calibration, the wrong port,
// an active device), and so is a sweep too narrow to show the stage's
// lobes (those of the target over f0 +- 1.5 BW, each with a tenth of BW
// beside it). A sweep whose
// phase is undefined (|S| = 0) at any point, or whose delay is not finite,
// is refused.
// Worked example: the stage 1 target of order 5, 10 MHz, 0.01 dB with
// Qu = 1000 at f0 = 1000 MHz written as a sweep of 2001 points over
// 970..1030 MHz (what `varnel-calc curve --s1p` writes), checked with
// aperture 2: measured = target = 48.426 ns (deviation 0 %), |S11| =
// -1.3164 dB, Qe 75.63, Qu 1000, and the fit finds the same: pass.
namespace varnel {

struct CheckSettings {
    int stage = 1;
    double f0 = 0; // MHz
    std::optional<double> qu;
    SParameter parameter{1, 1};
    Aperture aperture{};
    double electricalDelayNs = 0;
    double tolerancePercent = 2;
    double toleranceFrequencyPercent = 2; // of BW, for each resonator
    ResonatorKind resonator = ResonatorKind::Lumped;
    // "auto": the kind whose fit explains the sweep better, `resonator`
    // the one chosen once checked.
    bool resonatorAuto = false;
    // The couplings' and the ports' slopes with frequency (stage_fit.h);
    // none: fitted.
    std::optional<double> couplingSlope, qeSlope;
    // A waveguide's cut-off (MHz); none: fitted (cutoff_search.h).
    std::optional<double> cutoff;
    // The last stage's output; none: found from the sweep.
    std::optional<StageOutput> output;
    // Keep the comparison traces (the report's fMHz, delays and |S11| at
    // every mid-frequency) for a chart or a CSV. Without them a check is
    // lean at any size: of the sweep it keeps only the measured delay while
    // it runs, and the target is computed where it is read (stage_lobes.h).
    bool comparison = true;
};

struct Lobe {
    double fMHz = 0;
    double delayNs = 0;
    double targetFMHz = 0;
    double targetDelayNs = 0;
};

struct CheckReport {
    CheckSettings settings;
    // The other resonator kind, where it explains the sweep clearly better
    // than the one given (kindRivalry in stage_fit.h).
    std::optional<ResonatorKind> betterResonator;
    int order = 0;
    double bandwidthMHz = 0;
    std::size_t apertureSteps = 0;
    double tableDelayNs = 0;  // the tuning table's lossless stage delay
    double targetDelayNs = 0; // the model through the aperture, at f0
    double measuredDelayNs = 0;
    double deviationPercent = 0;
    bool pass = false; // the centre delay within the tolerance
    double s11DbMeasured = 0;
    double s11DbTarget = 0;
    std::vector<Lobe> lobes;
    std::optional<double> qe; // stage 1 only
    std::optional<double> qu; // stage 1 only, when |S11| is below 1

    // |S| above 1 at `aboveUnityPoints` points of a reflection sweep, the
    // largest `aboveUnityDb` dB.
    std::size_t aboveUnityPoints = 0;
    double aboveUnityDb = 0;
    // The sweep is narrower than the stage's lobes, and the span that would
    // show them.
    bool lobesMissing = false;
    std::size_t expectedLobes = 0; // the target's over f0 +- 1.5 BW
    double wantedFromMHz = 0, wantedToMHz = 0;

    // The stage model fitted to the whole complex sweep (stage_fit.h), for
    // a reflection parameter; the trace's noise it is held against; its
    // centre delay and that against the design's at the fitted loss (none
    // with the output loaded).
    std::optional<StageFit> fit;
    // The fit with a coupling the design lacks that explains the sweep
    // clearly better (filter_fit.h's probeStageCrossCoupling).
    std::vector<FilterFit> crossFits;
    double noiseDb = 0;
    std::optional<double> fittedDelayNs, fittedDeviationPercent;
    StageOutput output = StageOutput::Open;

    Verdict verdict;
    // The comparison at each mid-frequency of the delay trace, when the
    // settings keep it.
    std::vector<double> fMHz, delayMeasured, delayTarget, s11DbMeasuredTrace, s11DbTargetTrace;
};

// Why a check cannot be made.
struct CheckRefusal {
    enum Kind {
        StageBeyondOrder, // stage, order
        Aperture,         // the sweep is too short for the aperture (aperture)
        F0OutsideDelay,   // f0 lies outside the measured delay trace (from, to)
        ElectricalDelay,  // more than the sweep can take (electricalDelay)
        UndefinedPhase,   // |S| = 0 at `points` points, the first at fromMHz
        NotFinite,        // the delay at fromMHz is not a finite number
        CutoffNeeded,     // a waveguide's cut-off, fitted from a reflection only
        CrossCoupled,     // a design with zeros: the targets are for in-line filters
    } kind;
    int stage = 0, order = 0;
    ApertureRefusal aperture{};
    double f0 = 0, fromMHz = 0, toMHz = 0;
    ElectricalDelayRefusal electricalDelay{};
    std::size_t points = 0;
};

// "f0 1100 MHz is outside the measured delay (950 to 1050 MHz)", "the phase
// of S11 is undefined at 3 delay points (|S11| is 0), the first at 1000 MHz:
// the sweep cannot be checked".
std::string checkRefusalText(const CheckRefusal &refusal);

// The check, or why it cannot be made.
std::variant<CheckReport, CheckRefusal> checkStage(const TuningTable &table, const Network &network,
                                                   const CheckSettings &settings);

// The report's warnings in English, each a sentence or two:
//   "|S11| is above 0 dB at 12 points (up to +0.35 dB): check the
//   calibration and the port; a passive stage cannot reflect more than it
//   is sent";
//   "the sweep shows 1 of the stage's 2 lobes: sweep at least 1.5 x BW on
//   either side of f0 (985 to 1015 MHz), or the lobes cannot be read";
//   "the sweep's Qu is about 1200, not the given 3000: the target delay
//   assumes 3000" (beyond a quarter apart).
std::vector<std::string> warningTexts(const CheckReport &report);

// The comparison as CSV: "f_mhz,delay_measured_ns,delay_target_ns,
// s11_db_measured,s11_db_target" and a row a mid-frequency, every number in
// its shortest exact form.
std::string comparisonCsv(const CheckReport &report);

// verdictText(report.verdict).
std::string adviceText(const CheckReport &report);

} // namespace varnel
