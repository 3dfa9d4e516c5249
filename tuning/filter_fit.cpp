#include "tuning/filter_fit.h"

#include "tuning/least_squares.h"
#include "tuning/stage_fit.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
// As for a stage: 401 points fix the filter's parameters many times over.
constexpr std::size_t maxFitPoints = 401;

// The measured traces against the model; a frequency's three traces come
// one after another, so one evaluation of the model serves them all.
class FilterResiduals : public ComplexResiduals {
  public:
    FilterResiduals(const FilterModel &model, const std::vector<double> &f,
                    const std::vector<Complex> (&measured)[3])
        : m_model(model), m_f(f), m_measured(measured) {}
    std::size_t traces() const { return m_model.twoPort ? 3 : 1; }
    std::size_t pointCount() const override { return m_f.size() * traces(); }
    std::size_t parameterCount() const override { return m_model.parameterCount(); }
    Complex residual(const std::vector<double> &x, std::size_t j,
                     std::vector<Complex> *derivatives) const override {
        const std::size_t at = j / traces(), trace = j % traces();
        const bool withDerivatives = derivatives != nullptr;
        if (at != m_at || x != m_x || withDerivatives != m_withDerivatives) {
            m_point = filterModelAt(m_model, x, m_f[at], true, withDerivatives);
            m_at = at;
            m_x = x;
            m_withDerivatives = withDerivatives;
        }
        const Complex values[] = {m_point.s11, m_point.s21, m_point.s22};
        if (derivatives)
            *derivatives = trace == 0 ? m_point.d11 : trace == 1 ? m_point.d21 : m_point.d22;
        return values[trace] - m_measured[trace][at];
    }

  private:
    const FilterModel &m_model;
    const std::vector<double> &m_f;
    const std::vector<Complex> (&m_measured)[3];
    mutable std::size_t m_at = static_cast<std::size_t>(-1);
    mutable std::vector<double> m_x;
    mutable bool m_withDerivatives = false;
    mutable FilterPoint m_point;
};

} // namespace

FilterPoint filterModelAt(const FilterModel &model, const std::vector<double> &x, double f,
                          bool withLines, bool withDerivatives) {
    const std::size_t n = model.g.size();
    const std::size_t lossAt = 2 * n, outputAt = 2 * n + 1, delay1At = 2 * n + 2,
                      phase1At = 2 * n + 3, delay2At = 2 * n + 4, phase2At = 2 * n + 5;
    const double r = x[lossAt];
    const double conductance = 1 / (model.load * x[outputAt]);
    // Y's diagonal, and each element's own derivatives of it.
    thread_local std::vector<Complex> diagonal, perOffset, perScale, perLoss, pivot, ratio, x1, xn;
    diagonal.resize(n);
    perOffset.resize(n);
    perScale.resize(n);
    perLoss.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const MappedFrequency mapped = mapFrequency(model.resonator, f, model.f0 + x[i]);
        const Complex p(r, mapped.omega / model.fbw);
        const double a = model.g[i] * x[n + i];
        diagonal[i] = a * p;
        perOffset[i] = a * Complex(0, mapped.perResonator / model.fbw);
        perScale[i] = model.g[i] * p;
        perLoss[i] = a;
    }
    diagonal[0] += 1.0;
    diagonal[n - 1] += conductance;
    // The tridiagonal solve (off-diagonals j), for the first and the last
    // column of Y^-1 at once: pivot_i = Y_ii - j (j / pivot_(i-1)), the
    // continued fraction of the ladder.
    const Complex j(0, 1);
    pivot.resize(n);
    ratio.resize(n);
    x1.resize(n);
    xn.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        pivot[i] = i == 0 ? diagonal[0] : diagonal[i] - j * ratio[i - 1];
        ratio[i] = j / pivot[i];
        const Complex before1 = i == 0 ? 0.0 : j * x1[i - 1],
                      beforeN = i == 0 ? 0.0 : j * xn[i - 1];
        x1[i] = ((i == 0 ? 1.0 : 0.0) - before1) / pivot[i];
        xn[i] = ((i + 1 == n ? 1.0 : 0.0) - beforeN) / pivot[i];
    }
    for (std::size_t i = n - 1; i-- > 0;) {
        x1[i] -= ratio[i] * x1[i + 1];
        xn[i] -= ratio[i] * xn[i + 1];
    }
    const double root = std::sqrt(conductance);
    FilterPoint point;
    point.s11 = 2.0 * x1[0] - 1.0;
    point.s21 = 2.0 * root * x1[n - 1];
    point.s22 = 2.0 * conductance * xn[n - 1] - 1.0;
    Complex line11 = 1, line21 = 1, line22 = 1;
    if (withLines) {
        const double w = 2 * pi * f * 1e-3; // f in MHz times t in ns
        const double t2 = model.twoPort ? x[delay2At] : 0, theta2 = model.twoPort ? x[phase2At] : 0;
        line11 = std::polar(1.0, 2 * x[phase1At] - 2 * w * x[delay1At]);
        line21 = std::polar(1.0, x[phase1At] + theta2 - w * (x[delay1At] + t2));
        line22 = std::polar(1.0, 2 * theta2 - 2 * w * t2);
    }
    if (withDerivatives) {
        const std::size_t count = model.parameterCount();
        point.d11.assign(count, 0.0);
        point.d21.assign(count, 0.0);
        point.d22.assign(count, 0.0);
        // d(Y^-1)_ab = -sum_i (Y^-1)_ai (Y^-1)_ib dY_ii, Y^-1 symmetric.
        auto add = [&](std::size_t q, std::size_t i, Complex dY) {
            point.d11[q] -= 2.0 * x1[i] * x1[i] * dY;
            point.d21[q] -= 2.0 * root * xn[i] * x1[i] * dY;
            point.d22[q] -= 2.0 * conductance * xn[i] * xn[i] * dY;
        };
        for (std::size_t i = 0; i < n; ++i) {
            add(i, i, perOffset[i]);
            add(n + i, i, perScale[i]);
            add(lossAt, i, perLoss[i]);
        }
        const double perOutput = -conductance / x[outputAt]; // dG/ds_o
        add(outputAt, n - 1, perOutput);
        point.d21[outputAt] += 2.0 * x1[n - 1] * perOutput / (2 * root);
        point.d22[outputAt] += 2.0 * xn[n - 1] * perOutput;
        for (std::size_t q = 0; q < 2 * n + 2; ++q) {
            point.d11[q] *= line11;
            point.d21[q] *= line21;
            point.d22[q] *= line22;
        }
    }
    point.s11 *= line11;
    point.s21 *= line21;
    point.s22 *= line22;
    if (withDerivatives && withLines) {
        const Complex w(0, -2 * pi * f * 1e-3);
        point.d11[delay1At] = 2.0 * w * point.s11;
        point.d11[phase1At] = 2.0 * j * point.s11;
        point.d21[delay1At] = w * point.s21;
        point.d21[phase1At] = j * point.s21;
        if (model.twoPort) {
            point.d21[delay2At] = w * point.s21;
            point.d21[phase2At] = j * point.s21;
            point.d22[delay2At] = 2.0 * w * point.s22;
            point.d22[phase2At] = 2.0 * j * point.s22;
        }
    }
    return point;
}

std::vector<double> FilterFit::parameters() const {
    std::vector<double> x = offsetMHz;
    x.insert(x.end(), scale.begin(), scale.end());
    x.insert(x.end(), {loss, outputScale, delayNs[0], phaseRad[0]});
    if (model.twoPort)
        x.insert(x.end(), {delayNs[1], phaseRad[1]});
    return x;
}

std::vector<double> FilterFit::designParameters() const {
    std::vector<double> x(model.parameterCount(), 0.0);
    const std::size_t n = scale.size();
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(n),
              x.begin() + static_cast<std::ptrdiff_t>(2 * n + 2), 1.0);
    x[2 * n] = loss;
    return x;
}

double FilterFit::errorPercent(std::size_t i) const {
    if (i == 0)
        return (scale.back() * outputScale - 1) * 100;
    if (i == 1)
        return (scale[0] - 1) * 100;
    return (1 / std::sqrt(scale[i - 2] * scale[i - 1]) - 1) * 100;
}

double FilterFit::uncertaintyPercent(std::size_t i) const {
    const std::size_t n = scale.size();
    if (i == 0)
        return 100 * std::hypot(uncertainty[2 * n - 1] * outputScale,
                                uncertainty[2 * n + 1] * scale.back());
    if (i == 1)
        return 100 * uncertainty[n];
    const double a = scale[i - 2], b = scale[i - 1];
    return 100 / (2 * std::sqrt(a * b)) *
           std::hypot(uncertainty[n + i - 2] / a, uncertainty[n + i - 1] / b);
}

double FilterFit::qe(int port) const {
    return port == 1 ? model.g[0] * scale[0] / model.fbw
                     : model.g.back() * scale.back() * model.load * outputScale / model.fbw;
}

double FilterFit::returnLossDb(const std::vector<double> &x) const {
    // The band is Omega from -1 to 1: f from the mapping's inverse.
    double worst = 0;
    for (int i = 0; i <= 200; ++i) {
        const double omega = model.fbw * (i / 100.0 - 1);
        const double f = model.resonator == ResonatorKind::Coaxial
                             ? model.f0 + 2 * model.f0 / pi * std::atan(pi * omega / 4)
                             : model.f0 * (omega / 2 + std::sqrt(omega * omega / 4 + 1));
        worst = std::max(worst, std::abs(filterModelAt(model, x, f, false).s11));
    }
    return -20 * std::log10(worst);
}

FilterFit fitFilter(const TuningTable &table, const Network &network, double f0,
                    std::optional<double> qu, ResonatorKind resonator, bool s11Only) {
    FilterModel model;
    for (const TuningStage &stage : table.stages)
        model.g.push_back(stage.g);
    model.load = table.loadG;
    model.f0 = f0;
    model.fbw = effectiveBandwidth(table.first.bandwidth) / f0;
    model.resonator = resonator;
    model.twoPort = network.ports >= 2 && !s11Only;
    const std::size_t n = model.g.size();

    const std::vector<Complex> s11 = network.parameter({1, 1});
    std::vector<Complex> all[3] = {s11, {}, {}};
    if (model.twoPort) {
        all[1] = network.parameter({2, 1});
        all[2] = network.parameter({2, 2});
    }
    const std::size_t stride =
        std::max<std::size_t>(1, (s11.size() + maxFitPoints - 1) / maxFitPoints);
    std::vector<double> f;
    std::vector<Complex> measured[3];
    for (std::size_t j = 0; j < s11.size(); j += stride) {
        f.push_back(network.frequencyMHz[j]);
        for (std::size_t t = 0; t < (model.twoPort ? 3u : 1u); ++t)
            measured[t].push_back(all[t][j]);
    }

    // The design values; each port's line from the trace's mean turn
    // against the design's.
    std::vector<double> start(model.parameterCount(), 0.0);
    std::fill(start.begin() + static_cast<std::ptrdiff_t>(n),
              start.begin() + static_cast<std::ptrdiff_t>(2 * n), 1.0);
    start[2 * n] = 1 / (model.fbw * qu.value_or(3000.0));
    start[2 * n + 1] = 1;
    std::vector<Complex> p11(f.size()), p21(f.size());
    for (std::size_t j = 0; j < f.size(); ++j) {
        const FilterPoint design = filterModelAt(model, start, f[j], false);
        p11[j] = measured[0][j] * std::conj(design.s11);
        if (model.twoPort)
            p21[j] = measured[1][j] * std::conj(design.s21);
    }
    // S11 turns twice with port 1's line, S21 once with each port's.
    const TraceTurn turn11 = meanTurn(f, p11);
    start[2 * n + 2] = -turn11.radPerMHz / (4 * pi) * 1e3;
    start[2 * n + 3] = turn11.phaseRad / 2;
    if (model.twoPort) {
        const TraceTurn turn21 = meanTurn(f, p21);
        start[2 * n + 4] = -turn21.radPerMHz / (2 * pi) * 1e3 - start[2 * n + 2];
        start[2 * n + 5] = std::remainder(turn21.phaseRad - start[2 * n + 3], 2 * pi);
    }

    const LeastSquares solved = fitLeastSquares(FilterResiduals(model, f, measured), start);
    const std::vector<double> &x = solved.x;
    FilterFit fit;
    fit.model = model;
    fit.offsetMHz.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    fit.scale.assign(x.begin() + static_cast<std::ptrdiff_t>(n),
                     x.begin() + static_cast<std::ptrdiff_t>(2 * n));
    fit.loss = x[2 * n];
    fit.outputScale = x[2 * n + 1];
    fit.delayNs[0] = x[2 * n + 2];
    fit.phaseRad[0] = std::remainder(x[2 * n + 3], 2 * pi);
    if (model.twoPort) {
        fit.delayNs[1] = x[2 * n + 4];
        fit.phaseRad[1] = std::remainder(x[2 * n + 5], 2 * pi);
    }
    fit.uncertainty = solved.uncertainty;
    fit.residualRms = solved.residualRms;
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
    fit.noiseDb = pooledNoiseDb(all);
    return fit;
}

} // namespace varnel
