#pragma once

#include "tuning/stage_model.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a stage check concludes from the stage fitted to the sweep
// (stage_fit.h), in one of three outcomes:
//   Pass       the fitted stage's centre delay within the tolerance (%) of
//              the design's at the same loss, every tuned resonator within
//              the frequency tolerance (% of BW) of f0, the input coupling
//              (Qe), each coupling and, loaded, the output's Qe within the
//              tolerance, and the fit consistent with the sweep;
//   Fail       a finding for every element out of its tolerance, the
//              furthest out (as a multiple of its tolerance) first; when
//              only the centre delay is out, the coupling the stage sets it
//              with (into resonator k; stage 1: the input), turned the way
//              the delay asks;
//   Uncertain  the sweep cannot decide: the fit did not converge or does
//              not match the sweep (residual above the trace's noise by
//              the margin of trace_noise.h), |S| above 0 dB beyond the noise, the lobes outside
//              the sweep, an element fitted beyond the stage method's reach
//              (a resonator half a BW off, a coupling half its value: the
//              fit has found another stage or order), or, the fit standing,
//              an element's uncertainty above 1 / 2.5 of its tolerance;
//              each with what to do (fitDoubts below).
// The centre delay of a loaded last stage is not judged: an odd order
// reflects nothing at f0, and the elements say it all.
// Directions name the correction: a resonator above f0 turns Down; a
// coupling above its design value Weakens; a port whose Qe is above its
// design value (too weakly coupled) Strengthens.
// Worked example, stage 4 of order 5, 10 MHz, tolerances 2 % and 2 % of BW:
// resonator 4 fitted 0.41 MHz high, coupling 3-4 6 % weak, the rest within:
// Fail, "Coupling 3–4 is 6.0 % weak: strengthen it" (3 tolerances) before
// "Resonator 4 is 0.41 MHz (4.1 % of BW) high: turn it down" (2.05).
namespace varnel {

struct CheckReport; // check.h

struct Finding {
    enum Element { Resonator, Coupling, External } element = Resonator;
    // The resonator; the coupling's upper resonator (from index - 1); the port.
    int index = 1;
    // A coupling of a coupling matrix: its lower end where it is not index
    // - 1 (0: the source), and whether its upper end is the load.
    int from = -1;
    bool toLoad = false;
    int lowerEnd() const { return from >= 0 ? from : index - 1; }
    enum Direction { Up, Down, Strengthen, Weaken } direction = Up;
    double offsetMHz = 0; // a resonator's offset above f0
    // A resonator's offset in % of BW; a coupling's error in % (positive:
    // too strong); a port's Qe error in % (positive: Qe too high).
    double percent = 0;
    double uncertaintyPercent = 0;
    // Named for the centre delay alone, `delayPercent` off (positive: long).
    bool forDelay = false;
    double delayPercent = 0;
};

struct Doubt {
    enum Kind {
        NotConverged, // the solver stopped before it settled
        Mismatch,     // residualDb against noiseDb
        AboveUnity,   // |S| up to aboveDb above 0 dB
        LobesOutside, // the lobes lie outside the sweep; sweep fromMHz..toMHz
        FarOff,       // `finding` names an element fitted half a BW or half its value off
        TooNoisy,     // `finding` names the element, its uncertainty and tolerance
        // Couplings that vary with frequency (slopes couplingSlope, qeSlope)
        // explain the sweep as well and put an element elsewhere.
        SlopeAmbiguous,
        // Resonators of another kind (`resonator`) explain the sweep clearly
        // better than those given.
        OtherKind,
        // Waveguides cut off anywhere from fromMHz to toMHz explain the
        // sweep as well and put an element elsewhere.
        CutoffAmbiguous,
        // A coupling the design lacks (`cross`: resonators and % of the
        // main couplings; two where either explains the sweep as well)
        // explains it (filter_fit.h's probeCrossCoupling).
        CrossCoupling,
        // Equivalent coupling matrices of the topology explain the sweep
        // as well (`finding` names an entry they differ in): the sweep does
        // not tell which is the filter's (matrix_diagnosis.h).
        NotUnique,
        // A whole filter's fit from S11 alone misses the sweep: the start
        // from the sweep's own rational function needs S21 (its delays
        // are not told by S11), so one far from tune is not diagnosed.
        NeedsS21,
    } kind = NotConverged;
    ResonatorKind resonator = ResonatorKind::Lumped;
    double couplingSlope = 0, qeSlope = 0;
    // TooNoisy where the calibration's residual terms, fitted with the
    // filter, leave the element uncertain rather than the noise alone.
    bool byCalibration = false;
    double residualDb = 0, noiseDb = 0, aboveDb = 0, fromMHz = 0, toMHz = 0;
    Finding finding; // with TooNoisy: element, index, uncertaintyPercent
    double tolerancePercent = 0;
    struct Cross {
        int from = 0, to = 0;
        double percent = 0;
    };
    std::vector<Cross> cross;
    bool crossWhole = false; // the first explains all of the sweep
    // For a whole filter: its main line and the first coupling found, as
    // --topology takes them ("1-2,2-3,3-4,4-5,1-3"), to diagnose it with.
    std::string crossTopology;
};

struct Verdict {
    enum Outcome { Pass, Fail, Uncertain } outcome = Uncertain;
    std::vector<Finding> findings; // with Fail
    std::vector<Doubt> doubts;     // with Uncertain
    int stage = 1, order = 1;      // what Pass goes on to
};

// The verdict on a report whose numbers are all in.
Verdict judgeStage(const CheckReport &report);

// Every element of the fitted stage with its tolerance (%, of BW for a
// resonator), in ladder order: resonators 1..k, the input coupling, the
// couplings 1-2 .. (k-1)-k, loaded the output coupling; empty without a fit.
// Each is a Finding whatever its size: what a bar chart of the stage shows.
struct JudgedElement {
    Finding finding;
    double tolerancePercent = 0;
};
std::vector<JudgedElement> judgedElements(const CheckReport &report);
// The same of any fitted stage, judged by the settings' tolerances.
struct StageFit;      // stage_fit.h
struct CheckSettings; // check.h
std::vector<JudgedElement> stageElements(const StageFit &fit, const CheckSettings &settings,
                                         double bandwidthMHz);

// What any fitted ladder (a stage, a whole filter) is judged by, shared by
// both verdicts.
// Its elements: resonators 1..n (`resonator(i)` gives the offset and its
// uncertainty, MHz), port 1's Qe, couplings 1-2 .. (n-1)-n and, with
// `outputPort`, port 2's Qe (`coupling(which)` gives the error and its
// uncertainty, %; which = 1 for port 1, i for coupling (i-1, i), 0 for
// port 2).
std::vector<JudgedElement>
ladderElements(std::size_t resonators, bool outputPort, double bandwidthMHz,
               double toleranceFrequencyPercent, double tolerancePercent,
               const std::function<std::pair<double, double>(std::size_t)> &resonator,
               const std::function<std::pair<double, double>(std::size_t)> &coupling);
// The fit's own doubts, in this order: it did not settle, or does not match
// the sweep; it puts an element beyond reach (half a BW, half its value),
// unless `farDecided` and the fit matches (a form that is the only one
// with its response: the sweep decides it however far off); the fit
// standing, an element's uncertainty is above 1 / 2.5 of its tolerance
// (the tolerance must hold 2.5 standard uncertainties, 99 % of estimates).
// Example: a matched fit with resonator 2 at 60 % of BW +- 0.1 % and
// coupling 1-2 at 1 % +- 1 % (tolerance 2 %) doubts the resonator as far
// off; with `farDecided`, the coupling as too noisy.
// The tolerance must hold this many standard uncertainties for a sweep to
// decide (2.5: 99 % of estimates).
inline constexpr double uncertaintiesInTolerance = 2.5;
// A calibration's residual term beyond this (-30 dB) is worth a warning.
inline constexpr double calibrationWarning = 0.0316;
std::vector<Doubt> fitDoubts(bool converged, double residualRms, double noiseDb,
                             const std::vector<JudgedElement> &elements, bool farDecided = false);

// The doubt of a sweep that the other resonator kind explains clearly better.
Doubt kindDoubt(ResonatorKind better);
// The doubt of a whole filter's fit from S11 alone that misses the sweep.
Doubt needsS21Doubt();
// The doubt of a fit that free slopes explain as well.
Doubt slopeDoubt(double couplingSlope, double qeSlope);
// The doubt of a waveguide fit whose cut-off the sweep does not tell.
Doubt cutoffDoubt(const CutoffRange &range);
// The doubts of a fit, a stage's or a whole filter's: fitDoubts, a noise
// doubt marked as the calibration terms' where the fit has them, the slope
// doubt, the cut-off's, and the other kind's where it explains the sweep
// clearly better.
template <class Fit>
std::vector<Doubt>
fittedDoubts(const Fit &fit, double noiseDb, const std::vector<JudgedElement> &elements,
             std::optional<ResonatorKind> betterResonator, bool farDecided = false) {
    std::vector<Doubt> doubts;
    for (Doubt d : fitDoubts(fit.converged, fit.residualRms, noiseDb, elements, farDecided)) {
        d.byCalibration = d.kind == Doubt::TooNoisy && fit.model.calibration;
        doubts.push_back(d);
    }
    if (fit.slopeAmbiguous)
        doubts.push_back(slopeDoubt(fit.couplingSlope, fit.qeSlope));
    if (fit.fittedCutoff && fit.fittedCutoff->ambiguous)
        doubts.push_back(cutoffDoubt(*fit.fittedCutoff));
    if (betterResonator)
        doubts.push_back(kindDoubt(*betterResonator));
    return doubts;
}

// "pass", "fail" or "uncertain".
const char *outcomeName(Verdict::Outcome outcome);
// "up", "down", "strengthen" or "weaken".
const char *directionName(Finding::Direction direction);

// "Resonator 4 is 0.41 MHz (4.1 % of BW) high: turn it down", "Coupling 3–4
// is 6.0 % weak: strengthen it", "Input coupling: Qe 5.0 % high: strengthen
// it", "Output coupling: ...", and for the delay alone "Coupling 1–2: the
// centre delay is 3.1 % long: strengthen it". Amounts in two significant
// digits.
std::string findingText(const Finding &finding);

// The doubt and what to do, in a sentence: "the fit does not match the
// sweep (residual -22.1 dB, trace noise -61.0 dB): a resonator far off, the
// wrong stage or order, or the wrong f0; tune stage by stage first".
std::string doubtText(const Doubt &doubt);

// The verdict as one line: "Within tolerance: go on to stage 3." or
// "Within tolerance: every resonator is tuned."; the findings a line each,
// each ending in "."; "The sweep cannot decide: " and the doubts joined by
// "; ".
std::string verdictText(const Verdict &verdict);

// Two significant digits, no exponent: 0.41, 4.1, 6.0, 12, 0.052.
std::string twoDigits(double value);

} // namespace varnel
