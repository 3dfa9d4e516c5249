#include "tuning/filter_fit.h"

#include "tuning/check.h"
#include "tuning/cutoff_search.h"
#include "tuning/in_parallel.h"
#include "tuning/least_squares.h"
#include "tuning/slope_choice.h"
#include "tuning/stage_fit.h"
#include "tuning/trace_noise.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
// As for a stage: 401 points fix the filter's parameters many times over.
// Each port's error terms' priors, as a stage's: e00 (re, im), e11 (re,
// im), tau: a field calibration's -34 dB, -29 dB and 0.1 dB.
constexpr double calibrationPrior[5] = {0.02, 0.02, 0.035, 0.035, 0.012};
// The elements' loose bounds: half a BW, half a scale.
constexpr double elementBound = 0.5;
// A parasitic coupling beyond this share of the main couplings (%) is not
// one: such a fit stands for another misfit (the resonators' kind, say).
constexpr double crossPlausiblePercent = 5;
// How many of the cross-couplings the score test ranks first are refitted.
constexpr std::size_t crossRefits = 4;
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
    std::size_t traces() const { return m_model.traces(); }
    std::size_t pointCount() const override { return m_f.size() * traces(); }
    std::size_t parameterCount() const override { return m_model.parameterCount(); }
    Complex residual(const std::vector<double> &x, std::size_t j,
                     std::vector<Complex> *derivatives) const override {
        const std::size_t at = j / traces(), trace = j % traces();
        const bool withDerivatives = derivatives != nullptr;
        if (at != m_at || x != m_x || withDerivatives != m_withDerivatives) {
            filterModelInto(m_model, x, m_f[at], true, withDerivatives, m_point);
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
    if (model.cross)
        x.push_back(cross);
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
    if (model.cross)
        x[model.crossAt()] = 0; // the design has none
    return x;
}

double FilterFit::crossPercent() const {
    if (!model.cross)
        return 0;
    const auto [i, k] = *model.cross;
    double mean = 0;
    for (std::size_t m = 0; m + 1 < model.g.size(); ++m)
        mean += 1 / std::sqrt(model.g[m] * model.g[m + 1]);
    mean /= static_cast<double>(model.g.size() - 1);
    const double ai = model.g[i] * scale[i], ak = model.g[k] * scale[k];
    return 100 * cross / std::sqrt(ai * ak) / mean;
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
    if (model.cross)
        fit.cross = x[model.crossAt()];
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

FitData fitData(const Network &network, const FilterModel &model) {
    const std::size_t traces = model.traces();
    ParameterView all[3] = {network.view({1, 1}), {}, {}};
    if (traces > 1)
        all[1] = network.view({2, 1});
    if (traces > 2)
        all[2] = network.view({2, 2});
    FitData data;
    data.noiseDb = pooledNoiseDb(all);
    const std::size_t stride = fitPointStride(all[0].size());
    for (std::size_t j = 0; j < all[0].size(); j += stride) {
        data.f.push_back(network.frequencyMHz[j]);
        for (std::size_t t = 0; t < traces; ++t)
            data.measured[t].push_back(all[t][j]);
    }
    return data;
}

// Each port's line at the start, from the traces' mean turns against the
// design at `start` (S21 may lie in the noise of a lossy filter): port 2's
// from S22, its phase known but for a half turn, taken from S21's sign; or,
// forward only, from S21's turn less port 1's.
void startLines(const FilterModel &model, const FitData &data, std::vector<double> &start) {
    const std::size_t n = model.g.size();
    const std::vector<double> &f = data.f;
    std::vector<Complex> p11(f.size()), p21(f.size()), p22(f.size());
    for (std::size_t j = 0; j < f.size(); ++j) {
        const FilterPoint design = filterModelAt(model, start, f[j], false);
        p11[j] = data.measured[0][j] * std::conj(design.s11);
        if (model.twoPort)
            p21[j] = data.measured[1][j] * std::conj(design.s21);
        if (model.traces() > 2)
            p22[j] = data.measured[2][j] * std::conj(design.s22);
    }
    const TraceTurn turn11 = meanTurn(f, p11);
    start[2 * n + 2] = -turn11.radPerMHz / (4 * pi) * 1e3;
    start[2 * n + 3] = turn11.phaseRad / 2;
    if (model.twoPort && !model.reverse) {
        // Forward only: port 2's line is S21's turn less port 1's.
        const TraceTurn turn21 = meanTurn(f, p21);
        start[2 * n + 4] = -turn21.radPerMHz / (2 * pi) * 1e3 - start[2 * n + 2];
        start[2 * n + 5] = std::remainder(turn21.phaseRad - start[2 * n + 3], 2 * pi);
    } else if (model.twoPort) {
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

// The fit's start where one is given: its elements, each port's line from
// the traces' turns against them.
FilterFit seededAt(const FilterModel &model, const FitData &data, const FilterStart &start,
                   std::optional<double> qu) {
    LeastSquares at;
    at.x = startParameters(model, start, 1 / (model.fbw * qu.value_or(3000.0)));
    startLines(model, data, at.x);
    return decoded(model, at, data.noiseDb);
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
        if (from->model.cross == model.cross)
            seed.cross = from->cross;
        if (from->model.calibration && model.calibration) {
            std::copy(from->directivity, from->directivity + 2, seed.directivity);
            std::copy(from->sourceMatch, from->sourceMatch + 2, seed.sourceMatch);
            std::copy(from->tracking, from->tracking + 2, seed.tracking);
        }
    }
    std::vector<double> start = seed.parameters();
    if (!from)
        startLines(model, data, start);
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
    const LeastSquares solved = fitLeastSquares(FilterResiduals(model, data.f, data.measured),
                                                start, from ? 400 : 200, priors);
    return decoded(model, solved, data.noiseDb);
}

} // namespace

namespace {

// What each candidate pair's coupling would gain in chi-square from the
// fit's end, to first order (a score test): with J the fit's Jacobian, r
// its residual and j the new coupling's column at m = 0, the gain is
// (j'r)^2 / (j'j - j'J (J'J)^-1 J'j) over the rows' variance noise^2 / 2:
// what the other parameters cannot take up. Largest first.
std::vector<std::pair<double, FilterModel>>
rankedCrossCouplings(const FilterFit &fit, const FitData &data, double noise) {
    const std::vector<double> x = fit.parameters();
    const std::size_t n = fit.model.g.size(), p = fit.model.parameterCount();
    std::vector<ResonatorPair> pairs;
    for (std::size_t apart = 2; apart <= 3; ++apart)
        for (std::size_t i = 0; i + apart < n; ++i)
            pairs.emplace_back(i, i + apart);
    // One evaluation a frequency gives the fit's Jacobian and every pair's
    // column, the rows in the fit's order (a frequency's traces together).
    const std::size_t traces = fit.model.traces(), rows = 2 * data.f.size() * traces;
    Eigen::MatrixXd jacobian(rows, p), columns(rows, pairs.size());
    Eigen::VectorXd residual(rows);
    FilterPoint point;
    for (std::size_t at = 0; at < data.f.size(); ++at) {
        filterModelInto(fit.model, x, data.f[at], true, true, point, pairs);
        const Complex values[] = {point.s11, point.s21, point.s22};
        const std::vector<Complex> *derivatives[] = {&point.d11, &point.d21, &point.d22};
        for (std::size_t t = 0; t < traces; ++t) {
            const auto row = static_cast<Eigen::Index>(2 * (at * traces + t));
            const Complex r = values[t] - data.measured[t][at];
            residual(row) = r.real();
            residual(row + 1) = r.imag();
            for (std::size_t q = 0; q < p + pairs.size(); ++q) {
                const Complex d = (*derivatives[t])[q];
                double *into = q < p ? &jacobian(row, static_cast<Eigen::Index>(q))
                                     : &columns(row, static_cast<Eigen::Index>(q - p));
                into[0] = d.real();
                into[1] = d.imag();
            }
        }
    }
    const Eigen::LDLT<Eigen::MatrixXd> normal(jacobian.transpose() * jacobian);
    std::vector<std::pair<double, FilterModel>> ranked;
    for (std::size_t c = 0; c < pairs.size(); ++c) {
        const auto column = columns.col(static_cast<Eigen::Index>(c));
        const Eigen::VectorXd u = jacobian.transpose() * column;
        const double free = column.squaredNorm() - u.dot(normal.solve(u));
        const double score = column.dot(residual);
        FilterModel model = fit.model;
        model.cross = pairs[c];
        if (free > 0)
            ranked.emplace_back(2 * score * score / free / (noise * noise), model);
    }
    std::sort(ranked.begin(), ranked.end(),
              [](const auto &a, const auto &b) { return a.first > b.first; });
    return ranked;
}

} // namespace

std::vector<FilterFit> probeCrossCoupling(const FilterFit &fit, const Network &network,
                                          const FilterFitSettings &given) {
    const std::size_t n = fit.model.g.size();
    if (n < 3 || !fit.converged || beyondExtensions(fit))
        return {};
    const FitData data = fitData(network, fit.model);
    const std::size_t rows = data.f.size() * fit.model.traces();
    const double noise = std::max(std::pow(10.0, data.noiseDb / 20), residualResolution);
    // The pairs the score test ranks first are refitted; a gain it does not
    // promise is not looked for.
    auto chi2 = [&](const FilterFit &f) { return fitChiSquare(rows, f.residualRms, noise); };
    std::vector<FilterFit> kept;
    const std::vector<std::pair<double, FilterModel>> ranked =
        rankedCrossCouplings(fit, data, noise);
    for (std::size_t c = 0; c < std::min<std::size_t>(crossRefits, ranked.size()); ++c) {
        if (ranked[c].first <= slopeGain)
            break;
        FilterFit again = fitOnce(ranked[c].second, data, given.qu, &fit);
        if (again.converged && chi2(fit) - chi2(again) > slopeGain &&
            std::abs(again.crossPercent()) <= crossPlausiblePercent)
            kept.push_back(std::move(again));
    }
    std::sort(kept.begin(), kept.end(),
              [](const FilterFit &a, const FilterFit &b) { return a.residualRms < b.residualRms; });
    // The best, and the next where it explains the sweep as well.
    kept.resize(std::min<std::size_t>(2, kept.size()));
    if (kept.size() == 2 && chi2(kept[1]) - chi2(kept[0]) > slopeGain)
        kept.pop_back();
    return kept;
}

std::vector<FilterFit> probeStageCrossCoupling(const StageFit &fit, const Network &network,
                                               const CheckSettings &settings) {
    if (fit.model.g.size() < 3 || !fit.model.load || fit.model.calibration || !fit.converged ||
        !(settings.parameter.row == 1 && settings.parameter.column == 1))
        return {};
    FilterFit seed;
    FilterModel &m = seed.model;
    m.g = fit.model.g;
    m.f0 = fit.model.f0;
    m.fbw = fit.model.fbw;
    m.resonator = fit.model.resonator;
    m.cutoff = fit.model.cutoff;
    m.twoPort = false;
    m.load = *fit.model.load;
    m.couplingSlope = fit.model.couplingSlope;
    m.qeSlope = fit.model.qeSlope;
    // The stage's cable is the round trip; a filter's port line one way.
    seed.offsetMHz = fit.offsetMHz;
    seed.scale = fit.scale;
    seed.loss = fit.loss;
    seed.outputScale = fit.outputScale;
    seed.delayNs[0] = fit.cableDelayNs / 2;
    seed.phaseRad[0] = fit.phaseRad / 2;
    seed.couplingSlope = fit.couplingSlope;
    seed.qeSlope = fit.qeSlope;
    seed.residualRms = fit.residualRms;
    seed.noiseDb = fit.noiseDb;
    seed.converged = true;
    FilterFitSettings given;
    given.f0 = settings.f0;
    given.qu = settings.qu;
    return probeCrossCoupling(seed, network, given);
}

std::optional<Doubt>
crossCouplingDoubt(const std::vector<FilterFit> &crossFits, bool fitMatches,
                   const std::vector<JudgedElement> &elements,
                   const std::function<std::vector<JudgedElement>(const FilterFit &)> &elementsOf) {
    bool moves = !fitMatches;
    for (const FilterFit &with : crossFits)
        moves = moves || elementsDisagree(elements, elementsOf(with));
    if (crossFits.empty() || !moves)
        return std::nullopt;
    Doubt doubt;
    doubt.kind = Doubt::CrossCoupling;
    doubt.crossWhole = crossFits.front().matchesSweep();
    for (const FilterFit &with : crossFits)
        doubt.cross.push_back({static_cast<int>(with.model.cross->first + 1),
                               static_cast<int>(with.model.cross->second + 1),
                               with.crossPercent()});
    return doubt;
}

std::vector<JudgedElement> filterElements(const FilterFit &fit, double bandwidthMHz,
                                          double toleranceFrequencyPercent,
                                          double tolerancePercent) {
    return ladderElements(
        fit.offsetMHz.size(), true, bandwidthMHz, toleranceFrequencyPercent, tolerancePercent,
        [&](std::size_t i) { return std::pair(fit.offsetMHz[i], fit.uncertainty[i]); },
        [&](std::size_t which) {
            return std::pair(fit.errorPercent(which), fit.uncertaintyPercent(which));
        });
}

FilterFit refitFilterAsKind(const FilterFit &fit, ResonatorKind kind, const Network &network,
                            const FilterFitSettings &given, double cutoffMHz) {
    FilterModel model = fit.model;
    model.resonator = kind;
    model.cutoff = kind == ResonatorKind::Waveguide ? cutoffMHz : 0;
    const FitData data = fitData(network, model);
    return refitAtSlopes(fit, given.couplingSlope, given.qeSlope, [&](double p, double pe) {
        FilterModel m = model;
        m.couplingSlope = p;
        m.qeSlope = pe;
        return fitOnce(m, data, given.qu, &fit);
    });
}

FilterFit
fitFilter(const TuningTable &table, const Network &network, const FilterFitSettings &s,
          const std::function<std::vector<JudgedElement>(const FilterFit &)> &elementsOf) {
    FilterModel model = designModel(table, s.f0);
    model.resonator = s.resonator;
    if (s.resonator == ResonatorKind::Waveguide)
        model.cutoff = s.cutoff.value_or(startingCutoff(model.f0, model.fbw));
    model.twoPort = network.ports >= 2 && !s.s11Only;
    model.reverse = !network.forwardOnly;
    model.couplingSlope = s.couplingSlope.value_or(0);
    model.qeSlope = s.qeSlope.value_or(0);

    const FitData data = fitData(network, model);
    const std::size_t rows = data.f.size() * model.traces();

    // From the design, or from the start given.
    const std::optional<FilterFit> seed =
        s.start ? std::optional(seededAt(model, data, *s.start, s.qu)) : std::nullopt;
    auto fromStart = [&](const FilterModel &m) {
        return seed ? fitOnce(m, data, s.qu, &*seed) : fitOnce(m, data, s.qu);
    };
    FilterFit held = fromStart(model);
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
            std::vector<double> slopes;
            if (!s.couplingSlope)
                slopes = {-slopePrior, slopePrior};
            std::vector<FilterFit> more = inParallel(slopes.size() + 1, [&](std::size_t i) {
                return i == slopes.size() ? fromStart(free)
                                          : fitOnce(free, data, s.qu, &held, slopes[i]);
            });
            std::move(more.begin(), more.end(), std::back_inserter(loose));
        }
        chosen = chooseSlopes(std::move(held), std::move(loose), rows, elementsOf);
    }
    // The error terms need each port's reflection: not of a forward-only sweep.
    if (!chosen.matchesSweep() && !chosen.slopeAmbiguous && !beyondExtensions(chosen) &&
        chosen.model.traces() != 2) {
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
