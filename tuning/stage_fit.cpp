#include "tuning/stage_fit.h"

#include "calculation/conversions.h"
#include "tuning/check.h"
#include "tuning/least_squares.h"
#include "tuning/trace_noise.h"
#include "tuning/verdict.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
// The sweep points a fit uses at most, evenly spread: 401 fix a stage's few
// parameters many times over (the noise's weight grows as 1 / sqrt of the
// count), and the fit's time grows with them: so a check, its fit
// included, stays within a few times the time of reading the sweep.
constexpr std::size_t maxFitPoints = 401;

// The measured points against the stage model.
class StageResiduals : public ComplexResiduals {
  public:
    StageResiduals(const FitModel &model, const std::vector<double> &fMHz,
                   const std::vector<Complex> &measured)
        : m_model(model), m_f(fMHz), m_measured(measured) {}
    std::size_t pointCount() const override { return m_f.size(); }
    std::size_t parameterCount() const override { return m_model.parameterCount(); }
    Complex residual(const std::vector<double> &x, std::size_t j,
                     std::vector<Complex> *derivatives) const override {
        FitPoint point = fitModelAt(m_model, x, m_f[j], derivatives != nullptr);
        if (derivatives)
            derivatives->swap(point.derivatives);
        return point.s - m_measured[j];
    }

  private:
    const FitModel &m_model;
    const std::vector<double> &m_f;
    const std::vector<Complex> &m_measured;
};

// One fit of `model` to the points, from the design values.
StageFit fitOnce(const FitModel &model, const std::vector<double> &f,
                 const std::vector<Complex> &measured, std::optional<double> qu) {
    const std::size_t k = model.g.size();
    // The design values, and the cable and phase that best align the design
    // with the trace (meanTurn).
    std::vector<double> start(model.parameterCount(), 1.0);
    std::fill(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(k), 0.0);
    start[2 * k] = 1 / (model.fbw * qu.value_or(3000.0));
    start[2 * k + 1] = 0;
    start[2 * k + 2] = 0;
    std::vector<Complex> product(f.size());
    for (std::size_t j = 0; j < f.size(); ++j)
        product[j] = measured[j] * std::conj(fitModelAt(model, start, f[j], false).s);
    const TraceTurn turn = meanTurn(f, product);
    start[2 * k + 1] = -turn.radPerMHz / (2 * pi) * 1e3;
    start[2 * k + 2] = std::remainder(turn.phaseRad, 2 * pi);

    const LeastSquares solved = fitLeastSquares(StageResiduals(model, f, measured), start);
    const std::vector<double> &x = solved.x;
    StageFit fit;
    fit.model = model;
    for (std::size_t i = 0; i < k; ++i) {
        fit.offsetMHz.push_back(x[i]);
        fit.scale.push_back(x[k + i]);
    }
    fit.loss = x[2 * k];
    fit.cableDelayNs = x[2 * k + 1];
    fit.phaseRad = std::remainder(x[2 * k + 2], 2 * pi);
    if (model.load)
        fit.outputScale = x[2 * k + 3];
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
    fit.residualRms = solved.residualRms;
    fit.uncertainty = solved.uncertainty;
    return fit;
}

} // namespace

double StageFit::couplingErrorPercent(std::size_t i) const {
    if (i == 1)
        return (scale[0] - 1) * 100;
    return (1 / std::sqrt(scale[i - 2] * scale[i - 1]) - 1) * 100;
}

bool StageFit::matchesSweep() const {
    return converged && residualMatches(residualRms, noiseDb);
}

double StageFit::outputErrorPercent() const {
    return (scale.back() * outputScale - 1) * 100;
}

std::vector<double> StageFit::parameters() const {
    std::vector<double> x = offsetMHz;
    x.insert(x.end(), scale.begin(), scale.end());
    x.insert(x.end(), {loss, cableDelayNs, phaseRad});
    if (model.load)
        x.push_back(outputScale);
    return x;
}

double StageFit::delayNs(double f, bool designElements) const {
    std::vector<double> x(model.parameterCount(), 1.0);
    const std::size_t k = model.g.size();
    if (!designElements)
        x = parameters();
    else
        std::fill(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), 0.0);
    x[2 * k] = loss;
    x[2 * k + 1] = 0;
    x[2 * k + 2] = 0;
    // The phase slope over a step far below the stage's features.
    const double h = 1e-4 * model.fbw * model.f0;
    const Complex up = fitModelAt(model, x, f + h, false).s;
    const Complex down = fitModelAt(model, x, f - h, false).s;
    return -std::arg(up / down) / (2 * pi * 2 * h) * 1e3;
}

double couplingUncertaintyPercent(const StageFit &fit, std::size_t i) {
    const std::size_t k = fit.scale.size();
    if (i == 0) // the output: s_n s_o
        return 100 * std::hypot(fit.uncertainty[2 * k - 1] * fit.outputScale,
                                fit.uncertainty[2 * k + 3] * fit.scale.back());
    if (i == 1)
        return fit.uncertainty[k] * 100;
    // d/ds of 1/sqrt(s' s) is -1/(2 s sqrt(s' s)); the scales taken apart.
    const double a = fit.scale[i - 2], b = fit.scale[i - 1];
    const double common = 1 / (2 * std::sqrt(a * b));
    return 100 * common *
           std::hypot(fit.uncertainty[k + i - 2] / a, fit.uncertainty[k + i - 1] / b);
}

FitPoint fitModelAt(const FitModel &model, const std::vector<double> &parameters, double f,
                    bool withDerivatives) {
    const std::vector<double> &g = model.g;
    const double fbw = model.fbw;
    const std::size_t k = g.size();
    const std::size_t n = withDerivatives ? model.parameterCount() : 0;
    const std::size_t lossAt = 2 * k, delayAt = 2 * k + 1, phaseAt = 2 * k + 2,
                      outputAt = 2 * k + 3;
    const double r = parameters[lossAt];
    // Work space kept between calls: a fit calls this for every point.
    thread_local std::vector<Complex> p, dpd, dP, dQ, next;
    p.resize(k);
    dpd.resize(k); // p_i and dp_i/dd_i
    for (std::size_t i = 0; i < k; ++i) {
        const MappedFrequency mapped = mapFrequency(model.resonator, f, model.f0 + parameters[i]);
        p[i] = {r, mapped.omega / fbw};
        dpd[i] = {0, mapped.perResonator / fbw};
    }
    auto a = [&](std::size_t i) { return g[i] * parameters[k + i]; };
    // The continuants and their derivatives. The load's immittance
    // 1 / (g_(n+1) s_o) ends a loaded ladder.
    const double load = model.load ? 1 / (*model.load * parameters[outputAt]) : 0.0;
    Complex P = a(k - 1) * p[k - 1] + load, Q = 1.0;
    dP.assign(n, 0.0);
    dQ.assign(n, 0.0);
    next.assign(n, 0.0);
    if (withDerivatives) {
        dP[k - 1] = a(k - 1) * dpd[k - 1];
        dP[2 * k - 1] = g[k - 1] * p[k - 1];
        dP[lossAt] = a(k - 1);
        if (model.load)
            dP[outputAt] = -load / parameters[outputAt];
    }
    // They grow by |a p| a resonator; all are scaled down together, by a
    // power of 2 (exactly), once P or Q passes 2^256: the derivatives stay
    // within a few powers of P's, far from overflow.
    auto keepInRange = [&] {
        const double largest = std::max(
            {std::abs(P.real()), std::abs(P.imag()), std::abs(Q.real()), std::abs(Q.imag())});
        if (!(largest > 0x1p256) || !std::isfinite(largest))
            return;
        const int shift = -std::ilogb(largest);
        P = scaledBy(P, shift);
        Q = scaledBy(Q, shift);
        for (std::size_t q = 0; q < n; ++q) {
            dP[q] = scaledBy(dP[q], shift);
            dQ[q] = scaledBy(dQ[q], shift);
        }
    };
    for (std::size_t i = k - 1; i-- > 0;) {
        const Complex ai = a(i);
        const Complex step = ai * p[i];
        if (withDerivatives) {
            // Only the elements from i + 1 on (and r, s_o) have reached P
            // and Q so far.
            auto carry = [&](std::size_t from, std::size_t to) {
                for (std::size_t q = from; q < to; ++q)
                    next[q] = step * dP[q] + dQ[q];
            };
            carry(i + 1, k);
            carry(k + i + 1, 2 * k);
            carry(lossAt, lossAt + 1);
            carry(outputAt, n);
            next[i] = ai * dpd[i] * P;     // d/dd_i
            next[k + i] = g[i] * p[i] * P; // d/ds_i
            next[lossAt] += ai * P;        // d/dr
        }
        const Complex nextP = step * P + Q;
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
    FitPoint point{s * turn, {}};
    if (!withDerivatives)
        return point;
    point.derivatives.resize(n);
    const Complex factor = 2.0 / (sum * sum) * turn;
    for (std::size_t q = 0; q < n; ++q)
        point.derivatives[q] = (P * dQ[q] - Q * dP[q]) * factor;
    point.derivatives[delayAt] = point.s * Complex(0, -2 * pi * f * 1e-3);
    point.derivatives[phaseAt] = point.s * Complex(0, 1);
    return point;
}

StageFit fitStage(const TuningTable &table, const Network &network, const CheckSettings &settings) {
    const std::size_t k = static_cast<std::size_t>(settings.stage);
    FitModel model;
    for (std::size_t i = 0; i < k; ++i)
        model.g.push_back(table.stages[i].g);
    model.f0 = settings.f0;
    model.fbw = effectiveBandwidth(table.first.bandwidth) / settings.f0;
    model.resonator = settings.resonator;
    const std::vector<Complex> all = network.parameter(settings.parameter);
    const std::size_t stride =
        std::max<std::size_t>(1, (all.size() + maxFitPoints - 1) / maxFitPoints);
    std::vector<double> f;
    std::vector<Complex> measured;
    for (std::size_t j = 0; j < all.size(); j += stride) {
        f.push_back(network.frequencyMHz[j]);
        measured.push_back(all[j]);
    }
    const double noiseDb = traceNoiseDb(all);
    auto fitted = [&](const FitModel &m) {
        StageFit fit = fitOnce(m, f, measured, settings.qu);
        fit.noiseDb = noiseDb;
        return fit;
    };
    const bool last = k == table.stages.size();
    if (!last || settings.output == StageOutput::Open)
        return fitted(model);
    FitModel loaded = model;
    loaded.load = table.loadG;
    if (settings.output == StageOutput::Loaded)
        return fitted(loaded);
    // Either end may be on the bench: first the one whose design is closer
    // to the sweep in magnitude, then, unless that one matches, the other;
    // the closer fit is kept.
    auto distance = [&](const FitModel &m) {
        std::vector<double> design(m.parameterCount(), 1.0);
        std::fill(design.begin(), design.begin() + static_cast<std::ptrdiff_t>(k), 0.0);
        design[2 * k] = 1 / (m.fbw * settings.qu.value_or(3000.0));
        design[2 * k + 1] = design[2 * k + 2] = 0;
        double sum = 0;
        for (std::size_t j = 0; j < f.size(); ++j)
            sum +=
                std::pow(std::abs(measured[j]) - std::abs(fitModelAt(m, design, f[j], false).s), 2);
        return sum;
    };
    const bool loadedFirst = distance(loaded) < distance(model);
    StageFit first = fitted(loadedFirst ? loaded : model);
    if (first.matchesSweep())
        return first;
    StageFit second = fitted(loadedFirst ? model : loaded);
    return second.residualRms < first.residualRms ? second : first;
}

} // namespace varnel
