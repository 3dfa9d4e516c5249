#include "tuning/stage_fit.h"

#include "calculation/conversions.h"
#include "tuning/check.h"
#include "tuning/cutoff_search.h"
#include "tuning/in_parallel.h"
#include "tuning/least_squares.h"
#include "tuning/slope_choice.h"
#include "tuning/trace_noise.h"
#include "tuning/verdict.h"

#include <algorithm>
#include <cmath>
#include <iterator>
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
// The calibration terms' priors: e00 (re, im), e11 (re, im), tau, the load
// match (re, im).
constexpr double calibrationPrior[7] = {0.02, 0.02, 0.035, 0.035, 0.012, 0.035, 0.035};
// The least noise a prior is weighed against: a noiseless sweep still
// fixes its slopes, but they keep a hold on the fit where it has none.
constexpr double minimumRowNoise = 1e-9;
// The elements' loose bounds: half a BW, half a scale.
constexpr double elementBound = 0.5;

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
                 const std::vector<Complex> &measured, std::optional<double> qu, double noiseDb,
                 const StageFit *from = nullptr, double slopeStart = 0) {
    const std::size_t k = model.g.size();
    // The design values, and the cable and phase that best align the design
    // with the trace (meanTurn); or where another fit of the same ladder
    // ended, its slopes free at 0.
    std::vector<double> start = model.designParameters(qu.value_or(3000.0));
    if (from) {
        // The ladder, loss, line and load where they ended; the error terms
        // too, after the slopes.
        const std::vector<double> x = from->parameters();
        const bool sameSlopes =
            from->model.couplingSlope.has_value() == model.couplingSlope.has_value() &&
            from->model.qeSlope.has_value() == model.qeSlope.has_value();
        const auto ladder = static_cast<std::ptrdiff_t>(sameSlopes ? from->model.calibrationAt()
                                                                   : from->model.couplingSlopeAt());
        std::copy(x.begin(), x.begin() + ladder, start.begin());
        if (from->model.calibration && model.calibration)
            std::copy(x.begin() + static_cast<std::ptrdiff_t>(from->model.calibrationAt()), x.end(),
                      start.begin() + static_cast<std::ptrdiff_t>(model.calibrationAt()));
        if (!model.couplingSlope && !sameSlopes)
            start[model.couplingSlopeAt()] = slopeStart;
    }
    if (!from) {
        std::vector<Complex> product(f.size());
        for (std::size_t j = 0; j < f.size(); ++j)
            product[j] = measured[j] * std::conj(fitModelAt(model, start, f[j], false).s);
        const TraceTurn turn = meanTurn(f, product);
        start[2 * k + 1] = -turn.radPerMHz / (2 * pi) * 1e3;
        start[2 * k + 2] = std::remainder(turn.phaseRad, 2 * pi);
    }

    Priors priors;
    priors.rowNoise = std::max(minimumRowNoise, std::pow(10.0, noiseDb / 20) / std::sqrt(2.0));
    // Loose bounds on the elements (half a BW, half a scale): far below
    // what a sweep fixes, they only keep the weak directions of a lossy
    // stage's far resonators from running away.
    const double bandwidthMHz = model.fbw * model.f0;
    for (std::size_t i = 0; i < k; ++i) {
        priors.priors.push_back({i, 0, elementBound * bandwidthMHz});
        priors.priors.push_back({k + i, 1, elementBound});
    }
    if (model.load)
        priors.priors.push_back({model.outputAt(), 1, elementBound});
    if (!model.couplingSlope)
        priors.priors.push_back({model.couplingSlopeAt(), 0, slopePrior});
    if (!model.qeSlope)
        priors.priors.push_back({model.qeSlopeAt(), 0, slopePrior});
    if (model.calibration)
        for (std::size_t q = 0; q < model.calibrationCount(); ++q)
            priors.priors.push_back({model.calibrationAt() + q, 0, calibrationPrior[q]});
    const LeastSquares solved =
        fitLeastSquares(StageResiduals(model, f, measured), start, from ? 400 : 200, priors);
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
    if (model.calibration) {
        const std::size_t at = model.calibrationAt();
        fit.directivity = {x[at], x[at + 1]};
        fit.sourceMatch = {x[at + 2], x[at + 3]};
        fit.tracking = 1 + x[at + 4];
        if (model.load)
            fit.loadMatch = {x[at + 5], x[at + 6]};
    }
    fit.couplingSlope = model.couplingSlope ? *model.couplingSlope : x[model.couplingSlopeAt()];
    fit.qeSlope = model.qeSlope ? *model.qeSlope : x[model.qeSlopeAt()];
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
    fit.residualRms = solved.residualRms;
    fit.uncertainty = solved.uncertainty;
    return fit;
}

// A fit this far from the sweep (residual above -20 dB) has the wrong
// stage, order or f0, or a resonator far off: no slope or calibration term
// mends it, and trying them costs a slow sweep's time.
bool beyondExtensions(const StageFit &fit) {
    return !(fit.residualRms <= 0.1);
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
    if (!model.couplingSlope)
        x.push_back(couplingSlope);
    if (!model.qeSlope)
        x.push_back(qeSlope);
    if (model.calibration)
        x.insert(x.end(), {directivity.real(), directivity.imag(), sourceMatch.real(),
                           sourceMatch.imag(), tracking - 1});
    if (model.calibration && model.load)
        x.insert(x.end(), {loadMatch.real(), loadMatch.imag()});
    return x;
}

std::vector<double> FitModel::designParameters(double qu) const {
    std::vector<double> x(parameterCount(), 0.0);
    const std::size_t k = g.size();
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(k),
              x.begin() + static_cast<std::ptrdiff_t>(2 * k), 1.0);
    x[lossAt()] = 1 / (fbw * qu);
    if (load)
        x[outputAt()] = 1;
    return x;
}

double StageFit::delayNs(double f, bool designElements) const {
    std::vector<double> x = parameters();
    const std::size_t k = model.g.size();
    if (designElements) { // the design's elements, the filter's own slopes
        std::fill(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), 0.0);
        std::fill(x.begin() + static_cast<std::ptrdiff_t>(k),
                  x.begin() + static_cast<std::ptrdiff_t>(2 * k), 1.0);
        if (model.load)
            x[model.outputAt()] = 1;
    }
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

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);

// The continuants P, Q of the ladder from its last resonator to its first,
// and their derivatives by every parameter when asked (dP, dQ sized).
struct Ladder {
    const FitModel &model;
    const std::vector<double> &x;
    double f;
    std::vector<Complex> &dP, &dQ, &next;
    Complex P, Q;
    double c2 = 1, G = 1, logRatio = 0; // inverters' c^2, ports' G, ln(f/f0)
    std::size_t c2At = none, gAt = none;

    // They grow by |a p| a resonator; all are scaled down together, by a
    // power of 2 (exactly), once P or Q passes 2^256: the derivatives stay
    // within a few powers of P's, far from overflow.
    void keepInRange() {
        const double largest = std::max(
            {std::abs(P.real()), std::abs(P.imag()), std::abs(Q.real()), std::abs(Q.imag())});
        if (!(largest > 0x1p256) || !std::isfinite(largest))
            return;
        const int shift = -std::ilogb(largest);
        P = scaledBy(P, shift);
        Q = scaledBy(Q, shift);
        for (std::size_t q = 0; q < dP.size(); ++q) {
            dP[q] = scaledBy(dP[q], shift);
            dQ[q] = scaledBy(dQ[q], shift);
        }
    }

    void run(const std::vector<Complex> &p, const std::vector<Complex> &dpd) {
        const std::vector<double> &g = model.g;
        const std::size_t k = g.size(), n = dP.size(), lossAt = model.lossAt(),
                          outputAt = model.outputAt();
        auto a = [&](std::size_t i) { return g[i] * x[k + i]; };
        // The load's immittance G / (g_(n+1) s_o) ends a loaded ladder, seen
        // through the load's match Gamma as (1 - Gamma) / (1 + Gamma).
        const double matched = model.load ? G / (*model.load * x[outputAt]) : 0.0;
        Complex load = matched, perMatch = 0;
        if (model.load && model.calibration) {
            const std::size_t at = model.calibrationAt() + 5;
            const Complex gamma(x[at], x[at + 1]);
            load = matched * (1.0 - gamma) / (1.0 + gamma);
            perMatch = -2.0 * matched / ((1.0 + gamma) * (1.0 + gamma));
        }
        P = a(k - 1) * p[k - 1] + load;
        Q = 1.0;
        if (n > 0) {
            dP[k - 1] = a(k - 1) * dpd[k - 1];
            dP[2 * k - 1] = g[k - 1] * p[k - 1];
            dP[lossAt] = a(k - 1);
            if (model.load)
                dP[outputAt] = -load / x[outputAt];
            if (model.load && gAt != none)
                dP[gAt] = load * logRatio;
            if (model.load && model.calibration) {
                dP[model.calibrationAt() + 5] = perMatch;
                dP[model.calibrationAt() + 6] = Complex(0, 1) * perMatch;
            }
        }
        for (std::size_t i = k - 1; i-- > 0;) {
            const Complex ai = a(i);
            const Complex step = ai * p[i];
            if (n > 0) {
                // Only the elements from i + 1 on (and r, s_o, the slopes)
                // have reached P and Q so far.
                auto carry = [&](std::size_t from, std::size_t to) {
                    for (std::size_t q = from; q < to; ++q)
                        next[q] = step * dP[q] + c2 * dQ[q];
                };
                carry(i + 1, k);
                carry(k + i + 1, 2 * k);
                carry(lossAt, lossAt + 1);
                carry(outputAt, n);
                next[i] = ai * dpd[i] * P;     // d/dd_i
                next[k + i] = g[i] * p[i] * P; // d/ds_i
                next[lossAt] += ai * P;        // d/dr
                if (c2At != none)
                    next[c2At] += 2 * logRatio * c2 * Q; // d/dp
            }
            const Complex nextP = step * P + c2 * Q;
            Q = P;
            dQ.swap(dP);
            dP.swap(next);
            P = nextP;
            keepInRange();
        }
    }
};

// The stage behind its cable seen through the calibration's residual
// terms, S = e00 + T S_c / (1 - e11 S_c), and the derivatives carried.
void withErrorTerms(const FitModel &model, const std::vector<double> &x, FitPoint &point) {
    const std::size_t at = model.calibrationAt();
    const Complex e00(x[at], x[at + 1]), e11(x[at + 2], x[at + 3]);
    const double tracking = 1 + x[at + 4];
    const Complex sc = point.s, denominator = 1.0 - e11 * sc;
    point.s = e00 + tracking * sc / denominator;
    if (point.derivatives.empty())
        return;
    const Complex perSc = tracking / (denominator * denominator);
    for (std::size_t q = 0; q < point.derivatives.size(); ++q)
        if (q < at || q >= at + 5) // the stage's own, the load match's
            point.derivatives[q] *= perSc;
    const Complex perE11 = tracking * sc * sc / (denominator * denominator);
    point.derivatives[at] = 1.0;
    point.derivatives[at + 1] = Complex(0, 1);
    point.derivatives[at + 2] = perE11;
    point.derivatives[at + 3] = Complex(0, 1) * perE11;
    point.derivatives[at + 4] = sc / denominator;
}

} // namespace

FitPoint fitModelAt(const FitModel &model, const std::vector<double> &parameters, double f,
                    bool withDerivatives) {
    const std::size_t k = model.g.size();
    const std::size_t n = withDerivatives ? model.parameterCount() : 0;
    const std::size_t delayAt = model.lossAt() + 1, phaseAt = model.lossAt() + 2;
    const double r = parameters[model.lossAt()];
    // Work space kept between calls: a fit calls this for every point.
    thread_local std::vector<Complex> p, dpd, dP, dQ, next;
    p.resize(k);
    dpd.resize(k); // p_i and dp_i/dd_i
    const double perFbw = 1 / model.fbw;
    for (std::size_t i = 0; i < k; ++i) {
        const MappedFrequency mapped =
            mapFrequency(model.resonator, f, model.f0 + parameters[i], model.cutoff);
        p[i] = {r, mapped.omega * perFbw};
        dpd[i] = {0, mapped.perResonator * perFbw};
    }
    dP.assign(n, 0.0);
    dQ.assign(n, 0.0);
    next.assign(n, 0.0);
    Ladder ladder{model, parameters, f, dP, dQ, next, 0.0, 0.0};
    ladder.logRatio = std::log(f / model.f0);
    const double slope =
        model.couplingSlope ? *model.couplingSlope : parameters[model.couplingSlopeAt()];
    const double qeSlope = model.qeSlope ? *model.qeSlope : parameters[model.qeSlopeAt()];
    ladder.c2 = std::exp(2 * slope * ladder.logRatio);
    ladder.G = std::exp(qeSlope * ladder.logRatio);
    if (withDerivatives) {
        ladder.c2At = model.couplingSlope ? none : model.couplingSlopeAt();
        ladder.gAt = model.qeSlope ? none : model.qeSlopeAt();
    }
    ladder.run(p, dpd);
    const Complex P = ladder.P, Q = ladder.Q, G = ladder.G;
    const Complex sum = G * Q + P;
    const Complex s = (G * Q - P) / sum;
    const double psi = parameters[phaseAt] - 2 * pi * f * parameters[delayAt] * 1e-3;
    const Complex turn = std::polar(1.0, psi);
    FitPoint point{s * turn, {}};
    if (!withDerivatives) {
        if (model.calibration)
            withErrorTerms(model, parameters, point);
        return point;
    }
    point.derivatives.resize(n);
    const Complex factor = 2.0 / (sum * sum) * turn;
    for (std::size_t q = 0; q < n; ++q)
        point.derivatives[q] = G * (P * ladder.dQ[q] - Q * ladder.dP[q]) * factor;
    if (ladder.gAt != none)
        point.derivatives[ladder.gAt] += P * Q * G * ladder.logRatio * factor;
    point.derivatives[delayAt] = point.s * Complex(0, -2 * pi * f * 1e-3);
    point.derivatives[phaseAt] = point.s * Complex(0, 1);
    if (model.calibration)
        withErrorTerms(model, parameters, point);
    return point;
}

namespace {

// The sweep's points a fit uses (every stride-th, at most maxFitPoints) and
// the whole trace's noise (dB).
double fitPoints(const Network &network, SParameter parameter, std::vector<double> &f,
                 std::vector<Complex> &measured) {
    const ParameterView all = network.view(parameter);
    const std::size_t stride = fitPointStride(all.size());
    for (std::size_t j = 0; j < all.size(); j += stride) {
        f.push_back(network.frequencyMHz[j]);
        measured.push_back(all[j]);
    }
    return traceNoiseDb(all);
}

} // namespace

StageFit refitAsKind(const StageFit &fit, ResonatorKind kind, const Network &network,
                     const CheckSettings &settings, double cutoffMHz) {
    std::vector<double> f;
    std::vector<Complex> measured;
    const double noiseDb = fitPoints(network, settings.parameter, f, measured);
    FitModel model = fit.model;
    model.resonator = kind;
    model.cutoff = kind == ResonatorKind::Waveguide ? cutoffMHz : 0;
    return refitAtSlopes(fit, settings.couplingSlope, settings.qeSlope, [&](double p, double pe) {
        FitModel m = model;
        m.couplingSlope = p;
        m.qeSlope = pe;
        StageFit again = fitOnce(m, f, measured, settings.qu, noiseDb, &fit);
        again.noiseDb = noiseDb;
        return again;
    });
}

namespace {

// One sweep's fits of a stage: the points, their noise, and each step that
// extends the model where the sweep asks for it.
struct StageFitter {
    const TuningTable &table;
    const CheckSettings &settings;
    std::vector<double> f;
    std::vector<Complex> measured;
    double noiseDb = 0;

    StageFit fit(const FitModel &m, const StageFit *from = nullptr, double slope = 0) const {
        StageFit fit = fitOnce(m, f, measured, settings.qu, noiseDb, from, slope);
        fit.noiseDb = noiseDb;
        return fit;
    }
    std::vector<JudgedElement> elements(const StageFit &fit) const {
        return stageElements(fit, settings, table.first.bandwidth);
    }

    // Held, and free from the design; then, unless the free fit settled
    // where the held one does (both match, the free one no worse), free
    // from where the held fit ended with the coupling slope at 0 and either
    // end of its prior: a free fit worse than the held one it contains has
    // stopped on another floor of the valley.
    StageFit slopeChoice(const FitModel &m) const {
        FitModel free = m;
        free.couplingSlope = settings.couplingSlope;
        free.qeSlope = settings.qeSlope;
        const bool slopesGiven = settings.couplingSlope && settings.qeSlope;
        std::vector<StageFit> loose =
            inParallel(slopesGiven ? 1 : 2, [&](std::size_t i) { return fit(i == 0 ? m : free); });
        StageFit held = std::move(loose.front());
        loose.erase(loose.begin());
        if (slopesGiven || beyondExtensions(held))
            return held;
        const StageFit &fromDesign = loose.front();
        const bool settled = fromDesign.converged && fromDesign.matchesSweep() &&
                             held.matchesSweep() && fromDesign.residualRms <= held.residualRms;
        std::vector<double> slopes = {0.0};
        if (!settings.couplingSlope)
            slopes.insert(slopes.end(), {-slopePrior, slopePrior});
        if (!settled) {
            std::vector<StageFit> more = inParallel(
                slopes.size(), [&](std::size_t i) { return fit(free, &held, slopes[i]); });
            std::move(more.begin(), more.end(), std::back_inserter(loose));
        }
        return chooseSlopes(std::move(held), std::move(loose), f.size(),
                            [&](const StageFit &s) { return elements(s); });
    }

    // The calibration's residual terms join a fit that does not match
    // without them, where they make it match.
    StageFit withCalibration(StageFit found) const {
        if (found.matchesSweep() || beyondExtensions(found))
            return found;
        FitModel calibrated = found.model;
        calibrated.calibration = true;
        StageFit again = fit(calibrated, &found);
        again.slopeAmbiguous = found.slopeAmbiguous;
        return again.matchesSweep() ? again : found;
    }

    // A waveguide's cut-off not given: fitted about the fit found at the
    // scan's middle, the fit's slopes and error terms as it has them.
    StageFit withCutoff(StageFit found) const {
        const bool cutoffFitted =
            settings.resonator == ResonatorKind::Waveguide && !settings.cutoff;
        if (!cutoffFitted || beyondExtensions(found))
            return found;
        auto refit = [&](const StageFit &from, double cutoff) {
            FitModel m = from.model;
            m.cutoff = cutoff;
            StageFit again = fit(m, &from);
            again.slopeAmbiguous =
                found.slopeAmbiguous || (again.slopesFitted() && !plausibleSlopes(again));
            return again;
        };
        return fitCutoff(found, found.model.f0, found.model.fbw, f.size(), refit,
                         [&](const StageFit &s) { return elements(s); });
    }

    StageFit fitted(const FitModel &m) const { return withCutoff(withCalibration(slopeChoice(m))); }

    // How far the design's |S| is from the sweep's.
    double distance(const FitModel &m) const {
        const std::vector<double> design = m.designParameters(settings.qu.value_or(3000.0));
        double sum = 0;
        for (std::size_t j = 0; j < f.size(); ++j)
            sum +=
                std::pow(std::abs(measured[j]) - std::abs(fitModelAt(m, design, f[j], false).s), 2);
        return sum;
    }
};

} // namespace

StageFit fitStage(const TuningTable &table, const Network &network, const CheckSettings &settings) {
    const std::size_t k = static_cast<std::size_t>(settings.stage);
    FitModel model;
    for (std::size_t i = 0; i < k; ++i)
        model.g.push_back(table.stages[i].g);
    model.f0 = settings.f0;
    model.fbw = effectiveBandwidth(table.first.bandwidth) / settings.f0;
    model.resonator = settings.resonator;
    if (settings.resonator == ResonatorKind::Waveguide)
        model.cutoff = settings.cutoff.value_or(startingCutoff(model.f0, model.fbw));
    // Held: the slopes as given, else none.
    model.couplingSlope = settings.couplingSlope.value_or(0);
    model.qeSlope = settings.qeSlope.value_or(0);

    StageFitter fitter{table, settings, {}, {}, 0};
    fitter.noiseDb = fitPoints(network, settings.parameter, fitter.f, fitter.measured);
    const bool last = k == table.stages.size();
    if (!last || settings.output == StageOutput::Open)
        return fitter.fitted(model);
    FitModel loaded = model;
    loaded.load = table.loadG;
    if (settings.output == StageOutput::Loaded)
        return fitter.fitted(loaded);
    // Either end may be on the bench: first the one whose design is closer
    // to the sweep in magnitude, then, unless that one matches, the other;
    // the closer fit is kept.
    const bool loadedFirst = fitter.distance(loaded) < fitter.distance(model);
    StageFit first = fitter.fitted(loadedFirst ? loaded : model);
    if (first.matchesSweep())
        return first;
    StageFit second = fitter.fitted(loadedFirst ? model : loaded);
    return second.residualRms < first.residualRms ? second : first;
}

} // namespace varnel
