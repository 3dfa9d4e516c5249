#include "tuning/filter_fit.h"

#include "tuning/cutoff_search.h"
#include "tuning/least_squares.h"
#include "tuning/slope_choice.h"
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
// Each port's error terms' priors, as a stage's: e00 (re, im), e11 (re,
// im), tau: a field calibration's -34 dB, -29 dB and 0.1 dB.
constexpr double calibrationPrior[5] = {0.02, 0.02, 0.035, 0.035, 0.012};
// The elements' loose bounds: half a BW, half a scale.
constexpr double elementBound = 0.5;
// The least noise a prior is weighed against (a noiseless sweep).
constexpr double minimumRowNoise = 1e-9;

// A fit this far from the sweep (residual above -20 dB) is off in what no
// slope or error term mends: trying them costs a slow sweep's time.
bool beyondExtensions(const FilterFit &fit) {
    return !(fit.residualRms <= 0.1);
}

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

namespace {

// The filter between its ports, no lines: S11, S21, S22 and, when asked,
// their derivatives with respect to the ladder's parameters (the lines'
// and the error terms' left 0).
FilterPoint ladderAt(const FilterModel &model, const std::vector<double> &x, double f,
                     bool withDerivatives) {
    const std::size_t n = model.g.size();
    const std::size_t lossAt = 2 * n, outputAt = 2 * n + 1;
    const double r = x[lossAt];
    const double logRatio = std::log(f / model.f0);
    const double p = model.couplingSlope ? *model.couplingSlope : x[model.couplingSlopeAt()];
    const double pe = model.qeSlope ? *model.qeSlope : x[model.qeSlopeAt()];
    const Complex j(0, 1), b = j * std::exp(p * logRatio); // the inverters
    const double g1 = std::exp(pe * logRatio), g2 = g1 / (model.load * x[outputAt]);
    // Y's diagonal, and each element's own derivatives of it.
    thread_local std::vector<Complex> diagonal, perOffset, perScale, perLoss, pivot, ratio, x1, xn;
    for (auto *v : {&diagonal, &perOffset, &perScale, &perLoss, &pivot, &ratio, &x1, &xn})
        v->resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const MappedFrequency mapped =
            mapFrequency(model.resonator, f, model.f0 + x[i], model.cutoff);
        const Complex pi_(r, mapped.omega / model.fbw);
        const double a = model.g[i] * x[n + i];
        diagonal[i] = a * pi_;
        perOffset[i] = a * Complex(0, mapped.perResonator / model.fbw);
        perScale[i] = model.g[i] * pi_;
        perLoss[i] = a;
    }
    diagonal[0] += g1;
    diagonal[n - 1] += g2;
    // The tridiagonal solve (off-diagonals b), for the first and the last
    // column of Y^-1 at once: pivot_i = Y_ii - b (b / pivot_(i-1)), the
    // continued fraction of the ladder.
    for (std::size_t i = 0; i < n; ++i) {
        pivot[i] = i == 0 ? diagonal[0] : diagonal[i] - b * ratio[i - 1];
        ratio[i] = b / pivot[i];
        const Complex before1 = i == 0 ? 0.0 : b * x1[i - 1],
                      beforeN = i == 0 ? 0.0 : b * xn[i - 1];
        x1[i] = ((i == 0 ? 1.0 : 0.0) - before1) / pivot[i];
        xn[i] = ((i + 1 == n ? 1.0 : 0.0) - beforeN) / pivot[i];
    }
    for (std::size_t i = n - 1; i-- > 0;) {
        x1[i] -= ratio[i] * x1[i + 1];
        xn[i] -= ratio[i] * xn[i + 1];
    }
    const double root = std::sqrt(g1 * g2);
    FilterPoint point;
    point.s11 = 2.0 * g1 * x1[0] - 1.0;
    point.s21 = 2.0 * root * x1[n - 1];
    point.s22 = 2.0 * g2 * xn[n - 1] - 1.0;
    if (!withDerivatives)
        return point;
    const std::size_t count = model.parameterCount();
    point.d11.assign(count, 0.0);
    point.d21.assign(count, 0.0);
    point.d22.assign(count, 0.0);
    // d(Y^-1)_ab = -sum (Y^-1)_ai (Y^-1)_jb dY_ij, Y^-1 symmetric: a
    // diagonal entry i, or the pair (i, i+1) and (i+1, i).
    auto add = [&](std::size_t q, std::size_t i, std::size_t k, Complex dY) {
        point.d11[q] -= 2.0 * g1 * x1[i] * x1[k] * dY;
        point.d21[q] -= root * (xn[i] * x1[k] + xn[k] * x1[i]) * dY;
        point.d22[q] -= 2.0 * g2 * xn[i] * xn[k] * dY;
    };
    for (std::size_t i = 0; i < n; ++i) {
        add(i, i, i, perOffset[i]);
        add(n + i, i, i, perScale[i]);
        add(lossAt, i, i, perLoss[i]);
    }
    const double perOutput = -g2 / x[outputAt]; // dG_2/ds_o
    add(outputAt, n - 1, n - 1, perOutput);
    point.d21[outputAt] += x1[n - 1] * g1 * perOutput / root;
    point.d22[outputAt] += 2.0 * xn[n - 1] * perOutput;
    if (!model.couplingSlope)
        for (std::size_t i = 0; i + 1 < n; ++i)
            add(model.couplingSlopeAt(), i, i + 1, 2.0 * b * logRatio);
    if (!model.qeSlope) {
        const std::size_t q = model.qeSlopeAt();
        add(q, 0, 0, g1 * logRatio);
        add(q, n - 1, n - 1, g2 * logRatio);
        point.d11[q] += 2.0 * g1 * logRatio * x1[0];
        point.d21[q] += 2.0 * root * logRatio * x1[n - 1];
        point.d22[q] += 2.0 * g2 * logRatio * xn[n - 1];
    }
    return point;
}

// Each port's line: S11 turns with port 1's twice, S21 with each once.
void addLines(const FilterModel &model, const std::vector<double> &x, double f,
              FilterPoint &point) {
    const std::size_t n = model.g.size();
    const std::size_t delay1At = 2 * n + 2, phase1At = 2 * n + 3, delay2At = 2 * n + 4,
                      phase2At = 2 * n + 5;
    const double w = 2 * pi * f * 1e-3; // f in MHz times t in ns
    const double t2 = model.twoPort ? x[delay2At] : 0, theta2 = model.twoPort ? x[phase2At] : 0;
    const Complex line11 = std::polar(1.0, 2 * x[phase1At] - 2 * w * x[delay1At]);
    const Complex line21 = std::polar(1.0, x[phase1At] + theta2 - w * (x[delay1At] + t2));
    const Complex line22 = std::polar(1.0, 2 * theta2 - 2 * w * t2);
    point.s11 *= line11;
    point.s21 *= line21;
    point.s22 *= line22;
    if (point.d11.empty())
        return;
    for (std::size_t q = 0; q < point.d11.size(); ++q) {
        point.d11[q] *= line11;
        point.d21[q] *= line21;
        point.d22[q] *= line22;
    }
    const Complex j(0, 1), perDelay(0, -w);
    point.d11[delay1At] = 2.0 * perDelay * point.s11;
    point.d11[phase1At] = 2.0 * j * point.s11;
    point.d21[delay1At] = perDelay * point.s21;
    point.d21[phase1At] = j * point.s21;
    if (model.twoPort) {
        point.d21[delay2At] = perDelay * point.s21;
        point.d21[phase2At] = j * point.s21;
        point.d22[delay2At] = 2.0 * perDelay * point.s22;
        point.d22[phase2At] = 2.0 * j * point.s22;
    }
}

// One port's error terms seen through: S_m = e00 + T in / (1 - e11 in) and
// its partials with respect to in, e11 and tau.
struct PortTerms {
    Complex e00, e11;
    double tracking = 1;
};
PortTerms portTerms(const FilterModel &model, const std::vector<double> &x, int port) {
    const std::size_t at = model.calibrationAt() + 5 * static_cast<std::size_t>(port);
    return {Complex(x[at], x[at + 1]), Complex(x[at + 2], x[at + 3]), 1 + x[at + 4]};
}

// One port's measured reflection through its terms, the far port's match
// terminating the filter: in = own + b^2 e11_far / (1 - e11_far other),
// value = e00 + T in / (1 - e11 in), and the partials the chain rule needs
// (own is the port's reflection, other the far port's, b the transmission;
// open = 1 - e11_far other).
struct Reflection {
    Complex open, in, perB, perOther, perFarMatch, den, value, perIn;
};
Reflection reflectionAt(const PortTerms &near, const PortTerms &far, Complex own, Complex b,
                        Complex other) {
    Reflection r;
    r.open = 1.0 - far.e11 * other;
    r.in = own + b * b * far.e11 / r.open;
    r.perB = 2.0 * b * far.e11 / r.open;
    r.perOther = b * b * far.e11 * far.e11 / (r.open * r.open);
    r.perFarMatch = b * b / (r.open * r.open);
    r.den = 1.0 - near.e11 * r.in;
    r.value = near.e00 + near.tracking * r.in / r.den;
    r.perIn = near.tracking / (r.den * r.den);
    return r;
}

// The calibration's terms around the filter and its lines (the header's
// formulas), the derivatives by the chain rule through S11, S21, S22.
void addCalibration(const FilterModel &model, const std::vector<double> &x, FilterPoint &point) {
    const PortTerms one = portTerms(model, x, 0);
    const PortTerms two = model.twoPort ? portTerms(model, x, 1) : PortTerms{};
    const Complex a = point.s11, b = point.s21, c = point.s22;
    const Reflection one1 = reflectionAt(one, two, a, b, c), two2 = reflectionAt(two, one, c, b, a);
    const Complex open1 = two2.open, open2 = one1.open; // 1 - e11_p S_pp
    const Complex in1 = one1.in, in1b = one1.perB, in1c = one1.perOther, in1m2 = one1.perFarMatch,
                  den1 = one1.den, m11 = one1.value, perIn1 = one1.perIn;
    const Complex in2 = two2.in, in2b = two2.perB, in2a = two2.perOther, in2m1 = two2.perFarMatch,
                  den2 = two2.den, m22 = two2.value, perIn2 = two2.perIn;
    // The transmission.
    const double t = std::sqrt(one.tracking * two.tracking);
    const Complex through = open1 * open2 - one.e11 * two.e11 * b * b;
    const Complex m21 = t * b / through;
    const Complex perThrough = -m21 / through;
    const Complex t21a = perThrough * (-one.e11 * open2), t21c = perThrough * (-two.e11 * open1),
                  t21b = t / through + perThrough * (-2.0 * one.e11 * two.e11 * b),
                  t21m1 = perThrough * (-a * open2 - two.e11 * b * b),
                  t21m2 = perThrough * (-c * open1 - one.e11 * b * b);
    if (!point.d11.empty()) {
        for (std::size_t q = 0; q < model.calibrationAt(); ++q) {
            const Complex da = point.d11[q], db = point.d21[q], dc = point.d22[q];
            point.d11[q] = perIn1 * (da + in1b * db + in1c * dc);
            point.d21[q] = t21a * da + t21b * db + t21c * dc;
            point.d22[q] = perIn2 * (dc + in2b * db + in2a * da);
        }
        const Complex j(0, 1);
        auto set = [&](std::size_t at, Complex d11, Complex d21, Complex d22) {
            point.d11[at] = d11;
            point.d21[at] = d21;
            point.d22[at] = d22;
        };
        const std::size_t at = model.calibrationAt();
        const Complex m11m1 = one.tracking * in1 * in1 / (den1 * den1),
                      m22m2 = two.tracking * in2 * in2 / (den2 * den2);
        set(at, 1, 0, 0);
        set(at + 1, j, 0, 0);
        set(at + 2, m11m1, t21m1, perIn2 * in2m1);
        set(at + 3, j * m11m1, j * t21m1, j * perIn2 * in2m1);
        set(at + 4, in1 / den1, m21 / (2 * one.tracking), 0);
        if (model.twoPort) {
            set(at + 5, 0, 0, 1);
            set(at + 6, 0, 0, j);
            set(at + 7, perIn1 * in1m2, t21m2, m22m2);
            set(at + 8, j * perIn1 * in1m2, j * t21m2, j * m22m2);
            set(at + 9, 0, m21 / (2 * two.tracking), in2 / den2);
        }
    }
    point.s11 = m11;
    point.s21 = m21;
    point.s22 = m22;
}

} // namespace

FilterPoint filterModelAt(const FilterModel &model, const std::vector<double> &x, double f,
                          bool withLines, bool withDerivatives) {
    FilterPoint point = ladderAt(model, x, f, withDerivatives);
    if (!withLines)
        return point;
    addLines(model, x, f, point);
    if (model.calibration)
        addCalibration(model, x, point);
    return point;
}

bool FilterFit::matchesSweep() const {
    return converged && residualMatches(residualRms, noiseDb);
}

std::vector<double> FilterFit::parameters() const {
    std::vector<double> x = offsetMHz;
    x.insert(x.end(), scale.begin(), scale.end());
    x.insert(x.end(), {loss, outputScale, delayNs[0], phaseRad[0]});
    if (model.twoPort)
        x.insert(x.end(), {delayNs[1], phaseRad[1]});
    if (!model.couplingSlope)
        x.push_back(couplingSlope);
    if (!model.qeSlope)
        x.push_back(qeSlope);
    if (model.calibration)
        for (int port = 0; port < (model.twoPort ? 2 : 1); ++port)
            x.insert(x.end(),
                     {directivity[port].real(), directivity[port].imag(), sourceMatch[port].real(),
                      sourceMatch[port].imag(), tracking[port] - 1});
    return x;
}

std::vector<double> FilterFit::designParameters() const {
    // The design's elements with the filter's own slopes; no line, no
    // error terms.
    std::vector<double> x = parameters();
    const std::size_t n = scale.size();
    std::fill(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(n),
              x.begin() + static_cast<std::ptrdiff_t>(2 * n + 2), 1.0);
    x[2 * n] = loss;
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(2 * n + 2),
              x.begin() + static_cast<std::ptrdiff_t>(model.couplingSlopeAt()), 0.0);
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(model.calibrationAt()), x.end(), 0.0);
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
    // From the covariance: the scales of neighbours move together.
    const std::size_t n = scale.size();
    if (i == 0)
        return 100 * propagatedUncertainty(covariance,
                                           {{2 * n - 1, outputScale}, {2 * n + 1, scale.back()}});
    if (i == 1)
        return 100 * uncertainty[n];
    // d/ds of 1/sqrt(s' s) is -1/(2 s sqrt(s' s)).
    const double a = scale[i - 2], b = scale[i - 1], common = -1 / (2 * std::sqrt(a * b));
    return 100 *
           propagatedUncertainty(covariance, {{n + i - 2, common / a}, {n + i - 1, common / b}});
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
        const double f = unmapFrequency(model.resonator, omega, model.f0, model.cutoff);
        worst = std::max(worst, std::abs(filterModelAt(model, x, f, false).s11));
    }
    return -20 * std::log10(worst);
}

namespace {

// The measured traces at the fit's points (at most maxFitPoints, evenly
// spread) and all of them for the noise.
struct FitData {
    std::vector<double> f;
    std::vector<Complex> measured[3];
    double noiseDb = 0;
};

// The solver's parameters as a fit.
FilterFit decoded(const FilterModel &model, const LeastSquares &solved, double noiseDb) {
    const std::vector<double> &x = solved.x;
    const std::size_t n = model.g.size();
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
    fit.couplingSlope = model.couplingSlope ? *model.couplingSlope : x[model.couplingSlopeAt()];
    fit.qeSlope = model.qeSlope ? *model.qeSlope : x[model.qeSlopeAt()];
    for (std::size_t port = 0; port < model.calibrationCount() / 5; ++port) {
        const std::size_t at = model.calibrationAt() + 5 * port;
        fit.directivity[port] = {x[at], x[at + 1]};
        fit.sourceMatch[port] = {x[at + 2], x[at + 3]};
        fit.tracking[port] = 1 + x[at + 4];
    }
    fit.uncertainty = solved.uncertainty;
    fit.covariance = solved.covariance;
    fit.residualRms = solved.residualRms;
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
    fit.noiseDb = noiseDb;
    return fit;
}

FitData fitData(const Network &network, bool twoPort) {
    std::vector<Complex> all[3] = {network.parameter({1, 1}), {}, {}};
    if (twoPort) {
        all[1] = network.parameter({2, 1});
        all[2] = network.parameter({2, 2});
    }
    FitData data;
    data.noiseDb = pooledNoiseDb(all);
    const std::size_t stride =
        std::max<std::size_t>(1, (all[0].size() + maxFitPoints - 1) / maxFitPoints);
    for (std::size_t j = 0; j < all[0].size(); j += stride) {
        data.f.push_back(network.frequencyMHz[j]);
        for (std::size_t t = 0; t < (twoPort ? 3u : 1u); ++t)
            data.measured[t].push_back(all[t][j]);
    }
    return data;
}

// One fit of `model`, from the design (each port's line from the trace's
// mean turn against it) or from where `from` ended, the coupling slope
// then starting at `slopeStart`.
FilterFit fitOnce(const FilterModel &model, const FitData &data, std::optional<double> qu,
                  const FilterFit *from = nullptr, double slopeStart = 0) {
    const std::size_t n = model.g.size();
    FilterFit seed;
    seed.model = model;
    seed.offsetMHz.assign(n, 0.0);
    seed.scale.assign(n, 1.0);
    seed.loss = 1 / (model.fbw * qu.value_or(3000.0));
    if (from) {
        seed.offsetMHz = from->offsetMHz;
        seed.scale = from->scale;
        seed.loss = from->loss;
        seed.outputScale = from->outputScale;
        std::copy(from->delayNs, from->delayNs + 2, seed.delayNs);
        std::copy(from->phaseRad, from->phaseRad + 2, seed.phaseRad);
        const bool sameSlopes =
            from->model.couplingSlope.has_value() == model.couplingSlope.has_value();
        seed.couplingSlope = sameSlopes ? from->couplingSlope : slopeStart;
        seed.qeSlope = from->qeSlope;
        if (from->model.calibration && model.calibration) {
            std::copy(from->directivity, from->directivity + 2, seed.directivity);
            std::copy(from->sourceMatch, from->sourceMatch + 2, seed.sourceMatch);
            std::copy(from->tracking, from->tracking + 2, seed.tracking);
        }
    }
    std::vector<double> start = seed.parameters();
    const std::vector<double> &f = data.f;
    if (!from) {
        // Each port's line from its reflection's mean turn (S21 may lie in
        // the noise of a lossy filter); port 2's phase, known from S22 but
        // for a half turn, from S21's sign.
        std::vector<Complex> p11(f.size()), p21(f.size()), p22(f.size());
        for (std::size_t j = 0; j < f.size(); ++j) {
            const FilterPoint design = filterModelAt(model, start, f[j], false);
            p11[j] = data.measured[0][j] * std::conj(design.s11);
            if (model.twoPort) {
                p21[j] = data.measured[1][j] * std::conj(design.s21);
                p22[j] = data.measured[2][j] * std::conj(design.s22);
            }
        }
        const TraceTurn turn11 = meanTurn(f, p11);
        start[2 * n + 2] = -turn11.radPerMHz / (4 * pi) * 1e3;
        start[2 * n + 3] = turn11.phaseRad / 2;
        if (model.twoPort) {
            const TraceTurn turn22 = meanTurn(f, p22);
            start[2 * n + 4] = -turn22.radPerMHz / (4 * pi) * 1e3;
            start[2 * n + 5] = turn22.phaseRad / 2;
            Complex aligned = 0;
            for (std::size_t j = 0; j < f.size(); ++j)
                aligned += p21[j] * std::polar(1.0, -(start[2 * n + 3] + start[2 * n + 5]) +
                                                        2 * pi * f[j] * 1e-3 *
                                                            (start[2 * n + 2] + start[2 * n + 4]));
            if (aligned.real() < 0)
                start[2 * n + 5] = std::remainder(start[2 * n + 5] + pi, 2 * pi);
        }
    }
    Priors priors;
    priors.rowNoise = std::max(minimumRowNoise, std::pow(10.0, data.noiseDb / 20) / std::sqrt(2.0));
    // Loose bounds on the elements (half a BW, half a scale): far below
    // what a sweep fixes, they only keep a lossy filter's weak directions
    // from running away.
    const double bandwidthMHz = model.fbw * model.f0;
    for (std::size_t i = 0; i < n; ++i) {
        priors.priors.push_back({i, 0, elementBound * bandwidthMHz});
        priors.priors.push_back({n + i, 1, elementBound});
    }
    priors.priors.push_back({2 * n + 1, 1, elementBound});
    if (!model.couplingSlope)
        priors.priors.push_back({model.couplingSlopeAt(), 0, slopePrior});
    if (!model.qeSlope)
        priors.priors.push_back({model.qeSlopeAt(), 0, slopePrior});
    for (std::size_t q = 0; q < model.calibrationCount(); ++q)
        priors.priors.push_back({model.calibrationAt() + q, 0, calibrationPrior[q % 5]});
    const LeastSquares solved =
        fitLeastSquares(FilterResiduals(model, f, data.measured), start, from ? 400 : 200, priors);
    return decoded(model, solved, data.noiseDb);
}

} // namespace

FilterFit refitFilterAsKind(const FilterFit &fit, ResonatorKind kind, const Network &network,
                            const FilterFitSettings &given, double cutoffMHz) {
    FilterModel model = fit.model;
    model.resonator = kind;
    model.cutoff = kind == ResonatorKind::Waveguide ? cutoffMHz : 0;
    const FitData data = fitData(network, model.twoPort);
    // At the fit's slopes and at those given (else 0), as for a stage.
    FilterFit best;
    for (const bool own : {true, false}) {
        model.couplingSlope = own ? fit.couplingSlope : given.couplingSlope.value_or(0);
        model.qeSlope = own ? fit.qeSlope : given.qeSlope.value_or(0);
        FilterFit again = fitOnce(model, data, given.qu, &fit);
        if (own || (again.converged && !(again.residualRms >= best.residualRms)))
            best = std::move(again);
    }
    return best;
}

FilterFit
fitFilter(const TuningTable &table, const Network &network, const FilterFitSettings &s,
          const std::function<std::vector<JudgedElement>(const FilterFit &)> &elementsOf) {
    FilterModel model;
    for (const TuningStage &stage : table.stages)
        model.g.push_back(stage.g);
    model.load = table.loadG;
    model.f0 = s.f0;
    model.fbw = effectiveBandwidth(table.first.bandwidth) / s.f0;
    model.resonator = s.resonator;
    if (s.resonator == ResonatorKind::Waveguide)
        model.cutoff = s.cutoff.value_or(startingCutoff(model.f0, model.fbw));
    model.twoPort = network.ports >= 2 && !s.s11Only;
    model.couplingSlope = s.couplingSlope.value_or(0);
    model.qeSlope = s.qeSlope.value_or(0);

    const FitData data = fitData(network, model.twoPort);
    const std::size_t rows = data.f.size() * (model.twoPort ? 3 : 1);

    FilterFit held = fitOnce(model, data, s.qu);
    FilterFit chosen = held;
    if (!(s.couplingSlope && s.qeSlope) && !beyondExtensions(held)) {
        FilterModel free = model;
        free.couplingSlope = s.couplingSlope;
        free.qeSlope = s.qeSlope;
        // From where the held fit ended, the slopes at 0; where that hints
        // at a slope or the held fit does not match, also from either end
        // of the coupling slope's prior and from the design (the valley
        // has more than one floor). A whole filter's three traces pin the
        // slopes far better than a stage's one, so the hint is rare on a
        // filter without them.
        std::vector<FilterFit> loose = {fitOnce(free, data, s.qu, &held, 0)};
        const double noise = std::max(std::pow(10.0, data.noiseDb / 20), residualResolution);
        const double gain = fitChiSquare(rows, held.residualRms, noise) -
                            fitChiSquare(rows, loose[0].residualRms, noise);
        if (gain > slopeHint || !held.matchesSweep()) {
            if (!s.couplingSlope)
                for (const double slope : {-slopePrior, slopePrior})
                    loose.push_back(fitOnce(free, data, s.qu, &held, slope));
            loose.push_back(fitOnce(free, data, s.qu));
        }
        chosen = chooseSlopes(std::move(held), std::move(loose), rows, elementsOf);
    }
    if (!chosen.matchesSweep() && !chosen.slopeAmbiguous && !beyondExtensions(chosen)) {
        FilterModel calibrated = chosen.model;
        calibrated.calibration = true;
        FilterFit again = fitOnce(calibrated, data, s.qu, &chosen);
        if (again.matchesSweep())
            chosen = std::move(again);
    }
    // A waveguide's cut-off not given: fitted about the fit found at the
    // scan's middle (cutoff_search.h).
    if (s.resonator != ResonatorKind::Waveguide || s.cutoff || beyondExtensions(chosen))
        return chosen;
    auto refit = [&](const FilterFit &from, double cutoff) {
        FilterModel m = from.model;
        m.cutoff = cutoff;
        FilterFit again = fitOnce(m, data, s.qu, &from);
        again.slopeAmbiguous =
            chosen.slopeAmbiguous || (again.slopesFitted() && !plausibleSlopes(again));
        return again;
    };
    return fitCutoff(chosen, model.f0, model.fbw, rows, refit, elementsOf);
}

} // namespace varnel
