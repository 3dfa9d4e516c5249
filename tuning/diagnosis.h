#pragma once

#include "touchstone/touchstone.h"
#include "tuning/filter_fit.h"
#include "tuning/screw_plan.h"
#include "tuning/tuning_table.h"
#include "tuning/verdict.h"

#include <complex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the assembled filter's fit (filter_fit.h) says about its tuning:
//   Pass    every resonator within the frequency tolerance (% of BW, default
//           1) of f0, every coupling and both ports' Qe within the
//           tolerance (%, default 2), and the fit matching the sweep;
//   Fail    a finding for every element out of its tolerance, the one whose
//           correction alone gains the most return loss first;
//   TooFar  the fit does not settle or match the sweep (residual above the
//           trace's noise by the margin of trace_noise.h), or puts an element half a BW or
//           half its value off: the filter is too far from tune for one
//           sweep to tell (tune stage by stage first); or, the fit standing,
//           an element's uncertainty is above 1 / 2.5 of its tolerance (the
//           sweep is too noisy).
// The return loss is the fitted filter's worst over the band (Omega from
// -1 to 1), the ports' lines removed.
// Worked example: order 5, 10 MHz, 0.01 dB at 1000 MHz, Qu 3000, resonator
// 3 tuned 0.5 MHz high, both ports: Fail, "Resonator 3 is 0.50 MHz (5.0 %
// of BW) high: turn it down", its correction raising the return loss from
// 16.2 dB to the design's 25.9 dB (at Qu 3000).
namespace varnel {

struct DiagnoseSettings {
    double f0 = 0; // MHz
    std::optional<double> qu;
    ResonatorKind resonator = ResonatorKind::Lumped;
    bool resonatorAuto = false; // as for a stage (check.h)
    bool s11Only = false;
    double tolerancePercent = 2;
    double toleranceFrequencyPercent = 1;
    // The couplings' and the ports' slopes with frequency (filter_fit.h),
    // where they are known; else fitted where the sweep tells them.
    std::optional<double> couplingSlope, qeSlope;
    std::optional<double> cutoff; // a waveguide's, as for a stage (check.h)
};

// Every element of a fitted filter with its tolerance, in ladder order.
std::vector<JudgedElement> diagnosisElements(const FilterFit &fit, const DiagnoseSettings &settings,
                                             double bandwidthMHz);

struct Diagnosis {
    DiagnoseSettings settings;
    int order = 0;
    double bandwidthMHz = 0;
    FilterFit fit;
    enum Outcome { Pass, Fail, TooFar } outcome = TooFar;
    std::vector<JudgedElement> elements;          // every element, in ladder order
    std::vector<Finding> findings;                // with Fail, the largest gain first
    std::vector<double> gainDb;                   // each finding's return-loss gain
    std::vector<Doubt> doubts;                    // with TooFar
    std::optional<ResonatorKind> betterResonator; // as for a stage (check.h)
    // The in-line fit with a coupling the design lacks that explains the
    // sweep clearly better (filter_fit.h), two where either does as well.
    std::vector<FilterFit> crossFits;
    double returnLossDb = 0, designReturnLossDb = 0;
    // |S11| above 1 at that many points, up to that many dB.
    std::size_t aboveUnityPoints = 0;
    double aboveUnityDb = 0;
};

// Why a filter cannot be diagnosed from a sweep.
struct DiagnoseRefusal {
    enum Kind {
        F0Outside,    // f0 lies outside the sweep (fromMHz..toMHz)
        TooFewPoints, // fewer points than 4 a parameter (points, needed)
    } kind;
    double f0 = 0, fromMHz = 0, toMHz = 0;
    std::size_t points = 0, needed = 0;
};

std::string diagnoseRefusalText(const DiagnoseRefusal &refusal);

std::variant<Diagnosis, DiagnoseRefusal>
diagnoseFilter(const TuningTable &table, const Network &network, const DiagnoseSettings &settings);

// The measured, fitted and design |S11| and |S21| (dB) at the sweep's
// frequencies: the fitted with the ports' lines (as measured), the design's
// the table's filter at the fitted Qu without them. Without S21 in the fit
// its measured and fitted traces are empty.
struct DiagnosisTraces {
    std::vector<double> fMHz;
    std::vector<double> s11Measured, s11Fitted, s11Design, s21Measured, s21Fitted, s21Design;
};
DiagnosisTraces diagnosisTraces(const Diagnosis &diagnosis, const Network &network);

// The traces as CSV: "f_mhz,s11_db_measured,s11_db_fitted,s21_db_measured,
// s21_db_fitted,delay11_ns_measured,delay11_ns_fitted,delay21_ns_measured,
// delay21_ns_fitted" (the S21 columns only when fitted), a row a frequency
// but the first and last: the delays are centred on each point, from its
// neighbours. A row with a value that is not finite (|S| = 0) is left out.
std::string diagnosisCsv(const Diagnosis &diagnosis, const Network &network);
// The same of any fitted model: its S11 (and S21) at the network's points.
std::string fittedTracesCsv(const Network &network, bool twoPort,
                            const std::vector<std::complex<double>> &fitted11,
                            const std::vector<std::complex<double>> &fitted21);

// What the tuner should know beside the outcome: |S11| above 0 dB, and
// error terms of the calibration beyond -30 dB at either port.
std::vector<std::string> diagnosisWarnings(const Diagnosis &diagnosis);

// The traces a fit used, 1 to 3 of S11, S21, S22: "S11 S21" in JSON, "S11
// and S21" in prose ("S11, S21 and S22").
std::string fittedTracesName(std::size_t traces, bool prose);

// "pass", "fail" or "too_far".
const char *diagnosisOutcomeName(Diagnosis::Outcome outcome);

// "Within tolerance: the filter is tuned."; the findings a line each, with
// the return loss each correction gains ("... turn it down (return loss
// +9.7 dB)."); or
// "The filter is too far from tune to diagnose: tune stage by stage first
// (varnel-calc check)." with the reasons, or the noise's doubt.
std::string diagnosisText(const Diagnosis &diagnosis);

// The return loss the plan should reach: the fitted filter (its Qu
// included, without the ports' lines) with every element moved as the
// learned columns say the plan's turns move it, a resonator by its MHz, a
// coupling or Qe by its ratio; the worst |S11| in the band, in dB.
// Example: resonator 3 of the order-5 example 0.5 MHz high and R3 learned
// as -2 MHz a turn: the plan's 0.2475 turn leaves it 0.005 MHz high, and
// the return loss is the design's at that Qu, within 0.1 dB.
double plannedReturnLossDb(const Diagnosis &d, const Sensitivities &s,
                           const std::vector<PlannedTurn> &plan);

} // namespace varnel
