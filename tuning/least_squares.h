#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <initializer_list>
#include <vector>

// Levenberg-Marquardt over complex residuals, for the fits of a stage and of
// a whole filter: the whole Jacobian at once into one buffer a fit, and each
// trial step from the normal equations (J'J + mu D^2) h = -J'f, D scaling
// as MINPACK's. At 401 points and 24 parameters a pivoted QR of J each
// step (MINPACK's lmder) cost a third of a filter fit; J'J is half its
// arithmetic, and a trial step only a 24 x 24 Cholesky. Its condition is
// the square of J's, as the covariance's always was; the priors' rows and
// mu keep weak directions solvable.
// Each point gives one complex residual (model - measured), two real rows.
// Each parameter's standard uncertainty comes from the covariance
// sigma^2 (J^T J)^-1, sigma^2 the residual's variance per real row.
// Worked example: the model x0 + x1 f fitted to 1 + 2f + 0.5j at f = 0, 1, 2
// (x complex-valued through real and imaginary rows): the real rows give
// x = (1, 2), the imaginary 0.5 stays as the residual, rms 0.5 a point.
namespace varnel {

class ComplexResiduals {
  public:
    virtual ~ComplexResiduals() = default;
    virtual std::size_t pointCount() const = 0;
    virtual std::size_t parameterCount() const = 0;
    // Model minus measured at point j; with `derivatives`, also the
    // derivative of the model with respect to each parameter there.
    virtual std::complex<double> residual(const std::vector<double> &x, std::size_t j,
                                          std::vector<std::complex<double>> *derivatives) const = 0;
};

struct LeastSquares {
    std::vector<double> x;
    std::vector<double> uncertainty;
    std::vector<double> covariance; // row-major, x.size() squared
    double residualRms = 0;         // of |residual| over the points
    int iterations = 0;
    bool converged = false;
};

// What is known of a parameter before the sweep: x[index] = mean +- sigma.
// It enters as one more real row, rowNoise (x - mean) / sigma, rowNoise
// being the standard deviation of a residual's real part, so that the fit
// weighs it as it weighs the points.
struct Prior {
    std::size_t index = 0;
    double mean = 0, sigma = 1;
};
struct Priors {
    std::vector<Prior> priors;
    double rowNoise = 0;
};

// The residual's rms and the covariance's variance come from the points
// alone.
LeastSquares fitLeastSquares(const ComplexResiduals &residuals, const std::vector<double> &start,
                             int maxEvaluations = 200, const Priors &priors = {});

// The standard uncertainty of a function of the parameters from its
// gradient (index, d/dx) and the covariance (row-major), to first order:
// sqrt(sum g_a g_b C_ab). Example: x0 x1 at (2, 3) with variances 0.01 and
// 0.04 and covariance -0.01: gradient (3, 2), sqrt(0.09 + 0.16 - 0.12) =
// 0.3606.
struct Partial {
    std::size_t index = 0;
    double derivative = 0;
};
double propagatedUncertainty(const std::vector<double> &covariance,
                             std::initializer_list<Partial> gradient);

// Where a model and a trace agree but for a line (a delay and a phase),
// p = measured x conj(model) turns by a fixed angle a MHz: a fit's start.
// The mean turn is the angle of the sum of p_j conj(p_(j-1)) over the step,
// in which a reflection zero (where the phase jumps but |p| is small) weighs
// little; the phase is that of the sum of p with the turn taken out, at
// f = 0. Example: p = exp(-j 2 pi f 0.003) (3 ns of cable, f in MHz) at
// f = 100, 101, 102: -0.018850 rad a MHz, phase 0.
// A fit keeps at most 401 of a sweep's points, every stride-th (evenly
// spread, the first kept): 801 points give a stride of 2 and 401 points.
inline constexpr std::size_t maxFitPoints = 401;
inline std::size_t fitPointStride(std::size_t points) {
    return std::max<std::size_t>(1, (points + maxFitPoints - 1) / maxFitPoints);
}
inline std::size_t fitPointCount(std::size_t points) {
    const std::size_t stride = fitPointStride(points);
    return (points + stride - 1) / stride;
}

struct TraceTurn {
    double radPerMHz = 0, phaseRad = 0;
};
TraceTurn meanTurn(const std::vector<double> &fMHz, const std::vector<std::complex<double>> &p);

} // namespace varnel
