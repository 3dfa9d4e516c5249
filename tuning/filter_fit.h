#pragma once

#include "touchstone/touchstone.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"
#include "tuning/verdict.h"

#include <complex>
#include <functional>
#include <optional>
#include <vector>

// The assembled filter, resonators 1..n between its two ports, fitted to a
// sweep of S11 (and S21, S22 when the sweep has them): the in-line
// coupled-resonator model, resonator i an admittance a_i p_i with
//     p_i = r + j Omega(f; f0 + d_i) / FBW,  a_i = g_i s_i,
// the resonators joined by unit inverters, port 1's conductance 1 at
// resonator 1 and port 2's G = 1 / (g_(n+1) s_o) at resonator n. With Y
// that tridiagonal nodal matrix (Y_ii = a_i p_i, Y_(i,i+1) = j, the ports'
// conductances added at 1 and n) and x = Y^-1 e_1, w = Y^-1 e_n:
//     S11 = 2 x_1 - 1,  S21 = 2 sqrt(G) x_n,  S22 = 2 G w_n - 1,
// which is the ladder of stage_model.h at stage n with its output loaded
// (S11 = (1 - y)/(1 + y), y the continued fraction a_1 p_1 + 1/(a_2 p_2 +
// ...)). Every parameter enters Y on its diagonal, so d(Y^-1)_ab =
// -sum_i (Y^-1)_ai (Y^-1)_ib dY_ii gives the Jacobian exactly from x and w.
// Each port adds its own line (cables and connectors before the first
// resonator): a one-way delay t_p (ns) and phase theta_p, so that
//     S11 e^(j(2 theta_1 - 2 pi f 2 t_1)),  S21 e^(j(theta_1 + theta_2 -
//     2 pi f (t_1 + t_2))),  S22 e^(j(2 theta_2 - 2 pi f 2 t_2)).
// The couplings follow from the scales as in stage_fit.h: Qe_1 = a_1 / FBW,
// k(i,i+1) = FBW / sqrt(a_i a_(i+1)), Qe_2 = a_n g_(n+1) s_o / FBW.
// The couplings may vary with frequency as in stage_fit.h: every inverter
// scaled by c = (f/f0)^p (Y_(i,i+1) = j c) and both ports' conductances by
// (f/f0)^pe. Outside the lines, each port may see the residual error terms
// of its calibration: directivity e00, source match e11 and the tracking's
// magnitude 1 + tau (its phase is the line's), the other port's match
// terminating the filter, and S21 tracked by the mean of the two:
//     in_1 = S11 + S21^2 e11_2 / (1 - e11_2 S22),
//     S11_m = e00_1 + T_1 in_1 / (1 - e11_1 in_1),
//     S21_m = sqrt(T_1 T_2) S21 / ((1 - e11_1 S11)(1 - e11_2 S22)
//             - e11_1 e11_2 S21^2),
// and S22_m as S11_m with the ports swapped (with S11 alone, port 1's three
// terms and in_1 = S11).
// Parameters: d_1..d_n, s_1..s_n, r, s_o, t_1, theta_1, with S21 t_2,
// theta_2; then p and pe where they are fitted (not given); then, with
// the calibration's terms, e00 (re, im), e11 (re, im), tau for port 1 and
// with S21 for port 2.
//
// Worked example: order 5, 10 MHz, 0.01 dB at 1000 MHz, lossless, at f0:
// every p_i = 0, so S11 = 0 (an odd Chebyshev filter reflects nothing at
// its centre) and |S21| = 1.
namespace varnel {

struct FilterModel {
    std::vector<double> g; // g_1..g_n
    double load = 1;       // g_(n+1)
    double f0 = 0, fbw = 0;
    ResonatorKind resonator = ResonatorKind::Lumped;
    double cutoff = 0;   // MHz, a waveguide's
    bool twoPort = true; // S21 and S22 fitted: port 2's line too
    bool reverse = true; // with twoPort: S22 too (a forward-only sweep has none)
    // The slopes given (or held); one without a value is fitted.
    std::optional<double> couplingSlope = 0.0, qeSlope = 0.0;
    bool calibration = false;
    // A coupling the in-line design lacks, between resonators cross->first
    // and cross->second (0-based, not neighbours), as a parameter m:
    // Y_ij = Y_ji = j m (f/f0)^p, found by probeCrossCoupling.
    std::optional<std::pair<std::size_t, std::size_t>> cross;
    // The traces fitted a frequency: S11, S21, S22 (S11 and S21 forward only).
    std::size_t traces() const { return twoPort ? (reverse ? 3 : 2) : 1; }
    std::size_t couplingSlopeAt() const { return 2 * g.size() + (twoPort ? 6 : 4); }
    std::size_t qeSlopeAt() const { return couplingSlopeAt() + (couplingSlope ? 0 : 1); }
    std::size_t crossAt() const { return qeSlopeAt() + (qeSlope ? 0 : 1); }
    std::size_t calibrationAt() const { return crossAt() + (cross ? 1 : 0); }
    std::size_t calibrationCount() const { return calibration ? (twoPort ? 10 : 5) : 0; }
    std::size_t parameterCount() const { return calibrationAt() + calibrationCount(); }
};

// The filter's response without the ports' lines (and the calibration's
// terms), and with them.
struct FilterPoint {
    std::complex<double> s11, s21, s22;
    // d/d(parameter) of the measured S11, S21, S22, when asked.
    std::vector<std::complex<double>> d11, d21, d22;
};
FilterPoint filterModelAt(const FilterModel &model, const std::vector<double> &parameters, double f,
                          bool withLines = true, bool withDerivatives = false);
// The same into `point`, whose derivatives' room is reused: a fit's
// thousands of evaluations allocate nothing. With derivatives, each pair
// of `probes` (0-based, not neighbours) adds one more, after the
// parameters': that of a coupling m between them added at m = 0, as if
// the model had it as its `cross` (the score test of every candidate pair
// from one evaluation).
using ResonatorPair = std::pair<std::size_t, std::size_t>;
void filterModelInto(const FilterModel &model, const std::vector<double> &parameters, double f,
                     bool withLines, bool withDerivatives, FilterPoint &point,
                     const std::vector<ResonatorPair> &probes = {});

// The in-line design of the tuning table at f0 as a model: both ports, the
// slopes held at 0, lumped resonators.
FilterModel designModel(const TuningTable &table, double f0);

// The design's own filter at each frequency (MHz): every resonator on
// tune, every coupling and Qe as designed, lossless or at `qu`, no lines;
// what a sweep of the filter in tune would show.
// Example: order 5, 10 MHz, 0.01 dB, f0 1000: at 1000 MHz S11 = 0 and
// |S21| = 1; over the band |S11| stays within the ripple's level,
// sqrt(1 - 10^(-0.01/10)) = 0.04799.
std::vector<FilterPoint> designResponse(const TuningTable &table, double f0,
                                        std::optional<double> qu, const std::vector<double> &fMHz);

struct FilterFit {
    FilterModel model;
    std::vector<double> offsetMHz;         // d_i
    std::vector<double> scale;             // s_i
    double loss = 0;                       // r
    double outputScale = 1;                // s_o
    double delayNs[2] = {0, 0};            // t_1, t_2 (one way)
    double phaseRad[2] = {0, 0};           // theta_1, theta_2
    double couplingSlope = 0, qeSlope = 0; // p and pe, fitted or given
    // Free slopes explain the sweep as well as held ones and put an element
    // elsewhere (slope_choice.h): the slopes they found.
    bool slopeAmbiguous = false;
    bool slopesFitted() const { return !model.couplingSlope || !model.qeSlope; }
    // A waveguide's cut-off (model.cutoff) fitted, not given.
    std::optional<CutoffRange> fittedCutoff;
    double cross = 0; // m, with model.cross
    // The cross-coupling as a fraction of the design's mean main coupling
    // (%): m / sqrt(a_i a_j) against the mean of 1 / sqrt(g_k g_(k+1)).
    double crossPercent() const;
    // Each port's fitted error terms (zero without them).
    std::complex<double> directivity[2], sourceMatch[2];
    double tracking[2] = {1, 1};
    std::vector<double> uncertainty; // in the parameters' order
    std::vector<double> covariance;  // the same, row-major
    double residualRms = 0;
    double noiseDb = 0; // of the traces fitted, pooled (trace_noise.h)
    int iterations = 0;
    bool converged = false;

    // Converged, with a residual the traces' noise explains.
    bool matchesSweep() const;
    std::vector<double> parameters() const;
    // The design's elements at the fitted loss, without the ports' lines.
    std::vector<double> designParameters() const;
    std::optional<double> qu() const {
        return loss > 0 ? std::optional(1 / (model.fbw * loss)) : std::nullopt;
    }
    // Coupling (i-1, i)'s error for i = 2..n, in percent (positive: too
    // strong); port 1's Qe error (i = 1) and port 2's (i = 0), positive
    // when Qe is above the design's.
    double errorPercent(std::size_t i) const;
    double uncertaintyPercent(std::size_t i) const;
    double qe(int port) const;
    // The worst |S11| over the band f0 +- BW/2 of the fitted filter
    // without the ports' lines, as a return loss (dB); and the same with
    // `designed` elements put back to the design (a resonator's offset to
    // 0, a scale to 1), for ranking what each correction gains.
    double returnLossDb(const std::vector<double> &parameters) const;
};

// An in-line filter's elements found apart from the design (a coupling
// matrix fitted from the sweep's own rational function): the fit starts
// there instead, each port's line from the traces' turns against it. With
// a_i = g_i s_i: a_1 = FBW Qe_1, a_i a_(i+1) = (FBW / k(i,i+1))^2 and
// s_o = FBW Qe_2 / (a_n g_(n+1)); d_i = f_i - f0; r = 1 / (FBW Qu).
// Example: order 2 at FBW 0.01 with g = 1.5, 1.5 (load 1): Qe 150, k 1/150
// give a_1 = 1.5, a_2 = 1.5, so s_1 = s_2 = s_o = 1 (the design itself).
struct FilterStart {
    std::vector<double> resonatorMHz; // f_1..f_n
    std::vector<double> coupling;     // k(1,2)..k(n-1,n)
    double qe[2] = {0, 0};            // ports 1 and 2
    double qu = 0;                    // 0: the fit's own start (Qu or 3000)
};
std::vector<double> startParameters(const FilterModel &model, const FilterStart &start,
                                    double defaultLoss);

// What a filter's fit is given: f0 (MHz), Qu, the resonators' kind, S11
// alone or all three traces, and the slopes where they are known; and
// where it starts, when not at the design.
struct FilterFitSettings {
    double f0 = 0;
    std::optional<double> qu;
    ResonatorKind resonator = ResonatorKind::Lumped;
    bool s11Only = false;
    std::optional<double> couplingSlope, qeSlope;
    std::optional<double> cutoff; // MHz, a waveguide's; none: fitted
    std::optional<FilterStart> start;
};

// Fits the filter of `table` to the sweep: S11, and S21 and S22 when the
// network has two ports and S11 alone is not asked. The slopes are chosen
// as slope_choice.h says, `elementsOf` judging a fit's elements; the
// calibration's terms join a fit that does not match without them, where
// they make it match.
FilterFit fitFilter(const TuningTable &table, const Network &network,
                    const FilterFitSettings &settings,
                    const std::function<std::vector<JudgedElement>(const FilterFit &)> &elementsOf);

// A sweep the in-line fit does not match may be explained by a coupling
// the design lacks (a parasitic one between resonators two or three apart,
// as a cavity's walls and probes leave): each such pair refitted from the
// fit's end with its coupling free (from 0), the best kept where it gains
// more than 16 in chi-square (slope_choice.h's slopeGain), whether or not
// it then matches, and lies within 5 % of the main couplings (beyond, it
// stands for another misfit, not a parasitic path); none otherwise, or
// below 3 resonators. The pairs are ranked
// by a score test first, and the four it ranks first refitted; the second
// best is kept too where it is within 16 of the best.
// Example: an order-5 filter (20 MHz, 0.01 dB) with k14 -1 % of the main
// couplings, noise -60 dB, fits in-line 12 dB above its noise; the pair
// (1, 4) matches at -1.0 %, and its mirror (2, 5) as well: "a coupling
// between resonators 1 and 4 of about -1.0 % (or between 2 and 5 of about
// -1.0 %) explains the sweep; the design has none", which the diagnosis
// follows with "; to judge it, diagnose with --topology
// 1-2,2-3,3-4,4-5,1-4" (the main line and the first pair).
std::vector<FilterFit> probeCrossCoupling(const FilterFit &fit, const Network &network,
                                          const FilterFitSettings &given);

// The same for the last stage into its load (a stage fit seen as a filter
// of S11): none below 3 resonators, for a parameter other than S11, or with
// the calibration's terms fitted. An open stage has none to find: any
// one-port reactance of degree k, a coupling the design lacks or not, is
// that of some in-line ladder of k resonators (the continued fraction
// realises it), so its in-line fit explains it; a loaded filter's
// transmission zeros show in its reflection, and an in-line ladder has
// none but at infinity.
struct StageFit;
struct CheckSettings;
std::vector<FilterFit> probeStageCrossCoupling(const StageFit &fit, const Network &network,
                                               const CheckSettings &settings);

// Every element of a fitted filter with its tolerances (a resonator's in %
// of BW, the others' in %), in ladder order, both ports included.
std::vector<JudgedElement> filterElements(const FilterFit &fit, double bandwidthMHz,
                                          double toleranceFrequencyPercent,
                                          double tolerancePercent);

// The doubt the couplings found make: where the fit does not match, or
// where one of them puts an element (`elementsOf` judges a cross fit as the
// fit's `elements` are judged) on the other side of its tolerance; none
// otherwise.
std::optional<Doubt>
crossCouplingDoubt(const std::vector<FilterFit> &crossFits, bool fitMatches,
                   const std::vector<JudgedElement> &elements,
                   const std::function<std::vector<JudgedElement>(const FilterFit &)> &elementsOf);

// The fit's model with the other resonator `kind`, its slopes held at the
// fit's and at those `given` (else 0), its error terms as it has them,
// fitted from where the fit ended, the better kept (as refitAsKind in
// stage_fit.h).
FilterFit refitFilterAsKind(const FilterFit &fit, ResonatorKind kind, const Network &network,
                            const FilterFitSettings &given, double cutoffMHz = 0);

} // namespace varnel
