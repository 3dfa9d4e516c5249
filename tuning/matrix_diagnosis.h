#pragma once

#include "touchstone/touchstone.h"
#include "tuning/diagnosis.h"
#include "tuning/filter_design.h"
#include "tuning/matrix_fit.h"
#include "tuning/verdict.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// What a coupling-matrix fit (matrix_fit.h) says about a filter of any
// topology, held to its design (filter_design.h):
//   every resonator   its frequency, where its self-coupling alone
//                     resonates, against the design's: an offset in MHz
//                     and in % of BW (positive: high; tolerance --tol-freq,
//                     default 1 %);
//   every coupling    each entry the topology allows (S-1, the main line,
//                     the cross-couplings, N-L) against the design's, in %
//                     of the design's largest coupling between resonators
//                     (positive: too strong, its magnitude above the
//                     design's; an entry the design has at 0 is as strong
//                     as its size; tolerance --tol, default 2 %);
//   Qu                fitted unless given; reported, not judged.
// Pass when every element is within its tolerance and the fit matches the
// sweep (its residual within the trace noise's margin, trace_noise.h);
// Fail with a finding for every element outside, the one whose correction
// alone gains the most return loss first; TooFar where the fit does not
// settle or match, puts an element half a BW or half the largest coupling
// off, leaves an element's uncertainty above 1 / 2.5 of its tolerance, or
// where the sweep does not determine the matrix (NotUnique: equivalent
// matrices of the topology explain it as well, an entry's uncertainty at
// unit noise above 1e6 of the largest coupling): never a finding.
// Worked example: order 6, folded, zeros 985 and 1015 MHz, 10 MHz, 0.01
// dB at 1000 MHz (largest coupling M_12 = 0.96608), lossless: coupling 2-5
// (-0.03219) made 6 % of it stronger (-0.09016): Fail, "Coupling 2–5 is
// 6.0 % strong: weaken it"; with resonator 3 also tuned 0.3 MHz high, a
// second finding, "Resonator 3 is 0.30 MHz (3.0 % of BW) high: turn it
// down"; every other element within 0.01 % of the design.
namespace varnel {

struct MatrixDiagnoseSettings {
    double f0 = 0; // MHz
    std::optional<double> qu;
    bool s11Only = false;
    double tolerancePercent = 2;
    double toleranceFrequencyPercent = 1;
};

struct MatrixDiagnosis {
    MatrixDiagnoseSettings settings;
    FilterDesign design;
    double bandwidthMHz = 0; // as entered: what offsets are a percentage of
    bool twoPort = true;
    std::size_t traces = 3; // fitted: S11 (1), S21 (2), S22 (3)
    MatrixFit fit;
    double noiseDb = 0;
    Diagnosis::Outcome outcome = Diagnosis::TooFar;
    // Resonators 1..N, then the couplings in the fit's order (S-1 first).
    std::vector<JudgedElement> elements;
    std::vector<Finding> findings; // with Fail, the largest gain first
    std::vector<double> gainDb;    // each finding's return-loss gain
    std::vector<Doubt> doubts;     // with TooFar
    double returnLossDb = 0, designReturnLossDb = 0;

    bool matchesSweep() const;
};

std::variant<MatrixDiagnosis, DiagnoseRefusal>
diagnoseMatrix(const FilterDesign &design, double bandwidthMHz, const Network &network,
               const MatrixDiagnoseSettings &settings);

// The worst |S11| over the band (Omega -1..1) of `matrix` at Qu (lossless
// at 0), as a return loss (dB), the ports' lines removed.
double matrixReturnLossDb(const CouplingMatrix &matrix, const FilterDesign &design, double qu);

// As diagnosisTraces (diagnosis.h): the measured, fitted and design |S11|
// and |S21| (dB) at the sweep's points, the fitted matrix with its loss and
// the ports' lines, the design's at the fitted Qu without them.
DiagnosisTraces matrixDiagnosisTraces(const MatrixDiagnosis &diagnosis, const Network &network);

// As diagnosisCsv (diagnosis.h), the fitted traces those of the fitted
// matrix with its loss and the ports' lines.
std::string matrixDiagnosisCsv(const MatrixDiagnosis &diagnosis, const Network &network);

// The diagnosis as a tuner is told it: the outcome, the findings with
// their gains and the doubts, in the in-line diagnosis's shape, so that
// both are worded by one text (diagnosisText and the window's).
Diagnosis shownDiagnosis(const MatrixDiagnosis &diagnosis);

// As diagnosisText (diagnosis.h): "Within tolerance: the filter is
// tuned.", the findings a line each with their gains, or why the sweep
// does not decide.
std::string matrixDiagnosisText(const MatrixDiagnosis &diagnosis);

} // namespace varnel
