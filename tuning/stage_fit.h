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
// 1 / sqrt(s(i-1) s_i) - 1 (positive: too strong).
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

struct StageFit {
    std::vector<double> offsetMHz; // d_i, resonator i's frequency above f0
    std::vector<double> scale;     // s_i
    double loss = 0;               // r
    double cableDelayNs = 0;       // t
    double phaseRad = 0;           // phi
    // Standard uncertainties, in the order d_1..d_k, s_1..s_k, r, t, phi.
    std::vector<double> uncertainty;
    double residualRms = 0; // of |S_measured - S_fit| over the sweep
    int iterations = 0;
    bool converged = false;

    // Qu from the fitted loss; none when the fit finds no loss.
    std::optional<double> qu(double fbw) const {
        return loss > 0 ? std::optional(1 / (fbw * loss)) : std::nullopt;
    }
    // The error of coupling (i-1, i) for i = 2..k, or the input coupling's
    // (i = 1, as Qe: positive when Qe is above its target), in percent.
    double couplingErrorPercent(std::size_t i) const;
};

// Fits stage `settings.stage` of `table` to the sweep's parameter
// `settings.parameter` (a reflection). The design values come from the
// table, f0, Qu and resonator kind of the settings.
StageFit fitStage(const TuningTable &table, const Network &network, const CheckSettings &settings);

// The noise of a trace, in dB of |S|: from its second differences, which
// for white noise of power s^2 have the power 6 s^2 (an upper bound: a
// sweep too coarse for its curve adds the curve's own).
double traceNoiseDb(const std::vector<std::complex<double>> &values);

// The uncertainty of couplingErrorPercent(i), in percent, from the scales'
// uncertainties.
double couplingUncertaintyPercent(const StageFit &fit, std::size_t i);

// S_measured and its derivatives with respect to the parameters (in the
// order of StageFit::uncertainty) at one frequency, for a stage with the
// given design elements g; exposed for the tests.
struct FitPoint {
    std::complex<double> s;
    std::vector<std::complex<double>> derivatives;
};
// Without `withDerivatives` only the value is computed (derivatives empty).
FitPoint fitModelAt(const std::vector<double> &g, double f0, double fbw, ResonatorKind resonator,
                    const std::vector<double> &parameters, double f, bool withDerivatives = true);

} // namespace varnel
