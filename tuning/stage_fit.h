#pragma once

#include "touchstone/touchstone.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"

#include <optional>
#include <variant>
#include <vector>

// The stage model fitted to a measured reflection sweep, the whole complex
// trace at once rather than single samples.
//
// A stage k is the ladder of stage_model.h with every element free:
//     z = a1 p1 + 1 / (a2 p2 + ... + 1 / (ak pk)),  S = (1 - z) / (1 + z),
//     p_i = r + j Omega(f; f0 + d_i) / FBW,  a_i = g_i s_i,
// seen through the measurement's own cable and connector:
//     S_measured(f) = S(f) exp(j (phi - 2 pi f t)).
// The parameters are each resonator's offset d_i (MHz), each element's
// scale s_i, the loss r (one unloaded Q for all, Qu = 1 / (FBW r)), the
// cable delay t (ns) and the phase phi (rad). The scales carry the
// couplings: Qe = a1 / FBW and k(i-1,i) = FBW / sqrt(a(i-1) a_i), so the
// input coupling's error is s1 - 1 and coupling (i-1,i)'s is
// 1 / sqrt(s(i-1) s_i) - 1 (positive: too strong). A last stage with its
// output loaded adds the load's scale s_o: the ladder ends in
// 1 / (g_(n+1) s_o), so the output's Qe = a_n g_(n+1) s_o / FBW and its
// error is s_n s_o - 1. Unless the settings say which, the end whose design
// is closer to the sweep's magnitude is fitted first, and the other too
// when that fit does not match the sweep; the closer fit is kept.
// Couplings that vary with frequency scale each inverter by c = (f/f0)^p,
//     z_i = a_i p_i + c^2 / z_(i+1),
// and the ports' conductances by G = (f/f0)^pe: S = (G - z) / (G + z), a
// loaded end's immittance G / (g_(n+1) s_o). A slope not given is fitted,
// held by a prior of 0 +- 1.5 (irises and probes over wide bands reach
// about 1.5) weighed against the trace's noise: on a narrow band, where a
// slope barely shows, it stays near 0, and what it leaves open reaches the
// resonators' uncertainties through the covariance (to first order a slope
// is a resonator offset).
// The calibration's residual error terms are nuisance parameters of the
// fit: S_measured = e00 + (1 + tau) S_c / (1 - e11 S_c), S_c the stage
// behind its cable, each held by a prior of an ordinary field calibration
// (e00 0 +- 0.02 a part, -34 dB; e11 0 +- 0.035, -29 dB; tau 0 +- 0.012,
// 0.1 dB). They join only a fit that does not match the sweep without
// them, and are kept where they make it match: they are close kin of the
// ports' coupling and the loss, and would blur them on every sweep.
// Levenberg-Marquardt (Eigen) from the design values (d = 0, s = 1, the
// given Qu or 3000, no cable, the phase that best aligns the trace), with
// the Jacobian carried exactly through the same continuants as S itself;
// each parameter's standard uncertainty from the covariance
// sigma^2 (J^T J)^-1, sigma^2 the residual's variance.
//
// Worked example: the stage 2 target of order 5, 10 MHz, 0.01 dB, Qu 3000
// at 1000 MHz with resonator 2 at 1000.25 MHz, behind 3 ns of cable,
// 801 points over 985..1015 MHz: d = (0, 0.25) MHz, s = (1, 1), Qu 3000,
// t = 3 ns, residual below 1e-9.
namespace varnel {

struct CheckSettings; // check.h

// What a fitted ladder is made of: the design elements g_1..g_k, the band,
// the resonators' mapping and, with the output loaded, g_(n+1).
// The couplings may vary with frequency, k(f) = k0 (f/f0)^p, and the
// ports' couplings with their own slope, 1/Qe(f) = (f/f0)^pe / Qe0: a slope
// given is a constant of the model; one not given is fitted.
struct FitModel {
    std::vector<double> g;
    double f0 = 0, fbw = 0;
    ResonatorKind resonator = ResonatorKind::Lumped;
    double cutoff = 0; // MHz, a waveguide's
    std::optional<double> load;
    std::optional<double> couplingSlope, qeSlope; // given
    // Where the parameters after the elements stand.
    std::size_t lossAt() const { return 2 * g.size(); }
    std::size_t outputAt() const { return 2 * g.size() + 3; }
    std::size_t couplingSlopeAt() const { return 2 * g.size() + (load ? 4 : 3); }
    std::size_t qeSlopeAt() const { return couplingSlopeAt() + (couplingSlope ? 0 : 1); }
    // The one-port error terms a calibration leaves, as nuisance
    // parameters: directivity e00 (re, im), source match e11 (re, im) and
    // the tracking's magnitude 1 + tau (its phase is the line's).
    bool calibration = false;
    std::size_t calibrationAt() const { return qeSlopeAt() + (qeSlope ? 0 : 1); }
    // Loaded, the output's load match too (re, im): the analyser's other
    // port terminates the filter.
    std::size_t calibrationCount() const { return calibration ? (load ? 7 : 5) : 0; }
    std::size_t parameterCount() const { return calibrationAt() + calibrationCount(); }
    // The design: every resonator on f0, every scale 1, the loss of `qu`,
    // no cable, no phase, the slopes not given at 0.
    std::vector<double> designParameters(double qu) const;
};

struct StageFit {
    FitModel model;
    std::vector<double> offsetMHz;         // d_i, resonator i's frequency above f0
    std::vector<double> scale;             // s_i
    double loss = 0;                       // r
    double cableDelayNs = 0;               // t
    double phaseRad = 0;                   // phi
    double outputScale = 1;                // s_o, with the output loaded
    double couplingSlope = 0, qeSlope = 0; // p and pe, fitted or given
    // Free slopes explain the sweep as well as held ones, and put an
    // element on the other side of its tolerance: the slopes they found.
    bool slopeAmbiguous = false;
    bool slopesFitted() const { return !model.couplingSlope || !model.qeSlope; }
    // A waveguide's cut-off (model.cutoff) fitted, not given.
    std::optional<CutoffRange> fittedCutoff;
    // The fitted error terms (zero without them) and their size in dB.
    std::complex<double> directivity, sourceMatch;
    double tracking = 1;
    std::complex<double> loadMatch;
    // Standard uncertainties, in the order d_1..d_k, s_1..s_k, r, t, phi, s_o,
    // p, pe (each where it is a parameter).
    std::vector<double> uncertainty;
    double residualRms = 0; // of |S_measured - S_fit| over the sweep
    int iterations = 0;
    bool converged = false;
    double noiseDb = 0; // the sweep's trace noise (trace_noise.h)

    // Converged, with a residual the trace's noise explains (trace_noise.h).
    bool matchesSweep() const;

    // Qu from the fitted loss; none when the fit finds no loss.
    std::optional<double> qu(double fbw) const {
        return loss > 0 ? std::optional(1 / (fbw * loss)) : std::nullopt;
    }
    // The error of coupling (i-1, i) for i = 2..k, or the input coupling's
    // (i = 1, as Qe: positive when Qe is above its target), in percent.
    double couplingErrorPercent(std::size_t i) const;
    // The output's Qe error in percent (loaded output only).
    double outputErrorPercent() const;
    // The fitted values as the parameter vector of fitModelAt.
    std::vector<double> parameters() const;
    // The fitted stage's own group delay at f (ns): cable and phase left
    // out; with `designElements`, the design's elements at the fitted loss,
    // the target the fitted stage is held against.
    double delayNs(double f, bool designElements = false) const;
};

// Fits stage `settings.stage` of `table` to the sweep's parameter
// `settings.parameter` (a reflection). The design values come from the
// table, f0, Qu and resonator kind of the settings.
StageFit fitStage(const TuningTable &table, const Network &network, const CheckSettings &settings);

// The fit's model with the other resonator `kind` (a waveguide's cut off at
// `cutoffMHz`), its slopes held at the
// fit's and at those given (else 0), the load and error terms as the fit
// has them, fitted from where the fit ended: what the other kind explains
// of the same sweep at the cost of two fits, the better kept
// (slope_choice.h's kindRivalry judges it).
StageFit refitAsKind(const StageFit &fit, ResonatorKind kind, const Network &network,
                     const CheckSettings &settings, double cutoffMHz = 0);

// The uncertainty of couplingErrorPercent(i) (of outputErrorPercent when i
// is 0), in percent, from the scales' uncertainties.
double couplingUncertaintyPercent(const StageFit &fit, std::size_t i);

// S_measured and its derivatives with respect to the parameters (in the
// order of StageFit::uncertainty) at one frequency; exposed for the tests.
struct FitPoint {
    std::complex<double> s;
    std::vector<std::complex<double>> derivatives;
};
// Without `withDerivatives` only the value is computed (derivatives empty).
FitPoint fitModelAt(const FitModel &model, const std::vector<double> &parameters, double f,
                    bool withDerivatives = true);

} // namespace varnel
