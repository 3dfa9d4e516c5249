#include "tuning/stage_fit.h"

#include "calculation/conversions.h"
#include "tuning/check.h"

#include <Eigen/Dense>
#include <unsupported/Eigen/LevenbergMarquardt>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
// The sweep points a fit uses at most, evenly spread: the model's few
// parameters are fixed long before, and a million-point sweep would cost a
// second an iteration.
constexpr std::size_t maxFitPoints = 2001;

// The residuals, real and imaginary parts point by point, and their exact
// Jacobian.
struct Residuals : Eigen::DenseFunctor<double> {
    Residuals(const std::vector<double> &g, double f0, double fbw, ResonatorKind resonator,
              std::vector<double> fMHz, std::vector<Complex> measured)
        : Eigen::DenseFunctor<double>(static_cast<int>(2 * g.size() + 3),
                                      static_cast<int>(2 * fMHz.size())),
          m_g(g), m_f0(f0), m_fbw(fbw), m_resonator(resonator), m_f(std::move(fMHz)),
          m_measured(std::move(measured)) {}

    int operator()(const Eigen::VectorXd &x, Eigen::VectorXd &residuals) const {
        const std::vector<double> parameters(x.data(), x.data() + x.size());
        for (std::size_t j = 0; j < m_f.size(); ++j) {
            const Complex e =
                fitModelAt(m_g, m_f0, m_fbw, m_resonator, parameters, m_f[j], false).s -
                m_measured[j];
            residuals[static_cast<Eigen::Index>(2 * j)] = e.real();
            residuals[static_cast<Eigen::Index>(2 * j + 1)] = e.imag();
        }
        return 0;
    }

    int df(const Eigen::VectorXd &x, Eigen::MatrixXd &jacobian) const {
        const std::vector<double> parameters(x.data(), x.data() + x.size());
        for (std::size_t j = 0; j < m_f.size(); ++j) {
            const FitPoint point = fitModelAt(m_g, m_f0, m_fbw, m_resonator, parameters, m_f[j]);
            for (std::size_t q = 0; q < point.derivatives.size(); ++q) {
                jacobian(static_cast<Eigen::Index>(2 * j), static_cast<Eigen::Index>(q)) =
                    point.derivatives[q].real();
                jacobian(static_cast<Eigen::Index>(2 * j + 1), static_cast<Eigen::Index>(q)) =
                    point.derivatives[q].imag();
            }
        }
        return 0;
    }

    const std::vector<double> &m_g;
    double m_f0, m_fbw;
    ResonatorKind m_resonator;
    std::vector<double> m_f;
    std::vector<Complex> m_measured;
};

} // namespace

double StageFit::couplingErrorPercent(std::size_t i) const {
    if (i == 1)
        return (scale[0] - 1) * 100;
    return (1 / std::sqrt(scale[i - 2] * scale[i - 1]) - 1) * 100;
}

double traceNoiseDb(const std::vector<Complex> &values) {
    if (values.size() < 3)
        return -std::numeric_limits<double>::infinity();
    double power = 0;
    for (std::size_t i = 1; i + 1 < values.size(); ++i)
        power += std::norm(values[i + 1] - 2.0 * values[i] + values[i - 1]);
    power /= 6 * static_cast<double>(values.size() - 2);
    return 10 * std::log10(power);
}

double couplingUncertaintyPercent(const StageFit &fit, std::size_t i) {
    const std::size_t k = fit.scale.size();
    if (i == 1)
        return fit.uncertainty[k] * 100;
    // d/ds of 1/sqrt(s' s) is -1/(2 s sqrt(s' s)); the scales taken apart.
    const double a = fit.scale[i - 2], b = fit.scale[i - 1];
    const double common = 1 / (2 * std::sqrt(a * b));
    return 100 * common *
           std::hypot(fit.uncertainty[k + i - 2] / a, fit.uncertainty[k + i - 1] / b);
}

FitPoint fitModelAt(const std::vector<double> &g, double f0, double fbw, ResonatorKind resonator,
                    const std::vector<double> &parameters, double f, bool withDerivatives) {
    const std::size_t k = g.size();
    const std::size_t n = withDerivatives ? 2 * k + 3 : 0;
    const std::size_t lossAt = 2 * k, delayAt = 2 * k + 1, phaseAt = 2 * k + 2;
    const double r = parameters[lossAt];
    std::vector<Complex> p(k), dpd(k); // p_i and dp_i/dd_i
    for (std::size_t i = 0; i < k; ++i) {
        const MappedFrequency mapped = mapFrequency(resonator, f, f0 + parameters[i]);
        p[i] = {r, mapped.omega / fbw};
        dpd[i] = {0, mapped.perResonator / fbw};
    }
    auto a = [&](std::size_t i) { return g[i] * parameters[k + i]; };
    // The continuants and their derivatives, kept in range together.
    Complex P = a(k - 1) * p[k - 1], Q = 1.0;
    std::vector<Complex> dP(n), dQ(n), next(n);
    if (withDerivatives) {
        dP[k - 1] = a(k - 1) * dpd[k - 1];
        dP[2 * k - 1] = g[k - 1] * p[k - 1];
        dP[lossAt] = a(k - 1);
    }
    auto keepInRange = [&] {
        const int shift = rangeShift({{&P, 1}, {&Q, 1}, dP, dQ});
        if (shift == 0)
            return;
        P = scaledBy(P, shift);
        Q = scaledBy(Q, shift);
        for (std::size_t q = 0; q < n; ++q) {
            dP[q] = scaledBy(dP[q], shift);
            dQ[q] = scaledBy(dQ[q], shift);
        }
    };
    keepInRange();
    for (std::size_t i = k - 1; i-- > 0;) {
        const Complex ai = a(i);
        if (withDerivatives) {
            for (std::size_t q = 0; q < n; ++q)
                next[q] = ai * p[i] * dP[q] + dQ[q];
            next[i] += ai * dpd[i] * P;     // d/dd_i
            next[k + i] += g[i] * p[i] * P; // d/ds_i
            next[lossAt] += ai * P;         // d/dr
        }
        const Complex nextP = ai * p[i] * P + Q;
        Q = P;
        dQ.swap(dP);
        dP.swap(next);
        P = nextP;
        keepInRange();
    }
    const Complex sum = Q + P;
    const Complex s = (Q - P) / sum;
    const double psi = parameters[phaseAt] - 2 * pi * f * parameters[delayAt] * 1e-3;
    const Complex turn = std::polar(1.0, psi);
    FitPoint point{s * turn, std::vector<Complex>(n)};
    if (!withDerivatives)
        return point;
    for (std::size_t q = 0; q < lossAt + 1; ++q)
        point.derivatives[q] = 2.0 * (P * dQ[q] - Q * dP[q]) / (sum * sum) * turn;
    point.derivatives[delayAt] = point.s * Complex(0, -2 * pi * f * 1e-3);
    point.derivatives[phaseAt] = point.s * Complex(0, 1);
    return point;
}

StageFit fitStage(const TuningTable &table, const Network &network, const CheckSettings &settings) {
    const std::size_t k = static_cast<std::size_t>(settings.stage);
    std::vector<double> g;
    for (std::size_t i = 0; i < k; ++i)
        g.push_back(table.stages[i].g);
    const double fbw = effectiveBandwidth(table.first.bandwidth) / settings.f0;
    const std::vector<Complex> all = network.parameter(settings.parameter);
    const std::size_t stride =
        std::max<std::size_t>(1, (all.size() + maxFitPoints - 1) / maxFitPoints);
    std::vector<double> f;
    std::vector<Complex> measured;
    for (std::size_t j = 0; j < all.size(); j += stride) {
        f.push_back(network.frequencyMHz[j]);
        measured.push_back(all[j]);
    }

    // The design values; the phase that best aligns the design with the
    // trace, arg(sum of measured x conj(design)).
    std::vector<double> start(2 * k + 3, 0.0);
    std::fill(start.begin() + static_cast<std::ptrdiff_t>(k),
              start.begin() + static_cast<std::ptrdiff_t>(2 * k), 1.0);
    start[2 * k] = 1 / (fbw * settings.qu.value_or(3000.0));
    Complex alignment = 0;
    for (std::size_t j = 0; j < f.size(); ++j)
        alignment += measured[j] *
                     std::conj(fitModelAt(g, settings.f0, fbw, settings.resonator, start, f[j]).s);
    start[2 * k + 2] = std::arg(alignment);

    Residuals residuals(g, settings.f0, fbw, settings.resonator, f, measured);
    Eigen::VectorXd x =
        Eigen::Map<const Eigen::VectorXd>(start.data(), static_cast<Eigen::Index>(start.size()));
    Eigen::LevenbergMarquardt<Residuals> solver(residuals);
    solver.setMaxfev(400);
    const Eigen::LevenbergMarquardtSpace::Status status = solver.minimize(x);

    StageFit fit;
    for (std::size_t i = 0; i < k; ++i) {
        fit.offsetMHz.push_back(x[static_cast<Eigen::Index>(i)]);
        fit.scale.push_back(x[static_cast<Eigen::Index>(k + i)]);
    }
    fit.loss = x[static_cast<Eigen::Index>(2 * k)];
    fit.cableDelayNs = x[static_cast<Eigen::Index>(2 * k + 1)];
    fit.phaseRad = std::remainder(x[static_cast<Eigen::Index>(2 * k + 2)], 2 * pi);
    fit.iterations = static_cast<int>(solver.iterations());
    fit.converged = status == Eigen::LevenbergMarquardtSpace::RelativeReductionTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::RelativeErrorTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::RelativeErrorAndReductionTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::CosinusTooSmall;

    Eigen::VectorXd e(residuals.values());
    residuals(x, e);
    fit.residualRms = std::sqrt(e.squaredNorm() / static_cast<double>(f.size()));
    Eigen::MatrixXd jacobian(residuals.values(), residuals.inputs());
    residuals.df(x, jacobian);
    const double variance =
        e.squaredNorm() / std::max<double>(1.0, static_cast<double>(e.size() - x.size()));
    const Eigen::MatrixXd covariance =
        variance * (jacobian.transpose() * jacobian)
                       .ldlt()
                       .solve(Eigen::MatrixXd::Identity(x.size(), x.size()));
    for (Eigen::Index q = 0; q < x.size(); ++q)
        fit.uncertainty.push_back(std::sqrt(std::max(0.0, covariance(q, q))));
    return fit;
}

} // namespace varnel
