#include "tuning/filter_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

// The filter's model: the tridiagonal ladder (a cross-coupling by Woodbury),
// each port's line and the calibration's terms, with their derivatives.
namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

} // namespace

namespace {

// 1 / z as conj(z) / |z|^2, one division for the three a pivot needs;
// the library's careful division where |z|^2 leaves the normal range.
Complex reciprocal(Complex z) {
    const double size = std::norm(z);
    if (size >= std::numeric_limits<double>::min() && size <= std::numeric_limits<double>::max())
        return std::conj(z) / size;
    return 1.0 / z;
}

// Y^-1's first and last columns x1, xn of the tridiagonal T (its pivots
// and ratios, off-diagonals b) turned into those of T + y (e_i e_k' +
// e_k e_i'): with U = [e_i e_k], C = [[0, y], [y, 0]] and c_i = T^-1 e_i,
// (T + U C U')^-1 = T^-1 - T^-1 U C (I + U' T^-1 U C)^-1 U' T^-1
// (Woodbury), so each column loses c_i t0 + c_k t1 for its entries i, k.
void addCrossCoupling(std::pair<std::size_t, std::size_t> pair, Complex y, Complex b,
                      const std::vector<Complex> &pivot, const std::vector<Complex> &ratio,
                      std::vector<Complex> &x1, std::vector<Complex> &xn) {
    const std::size_t n = pivot.size(), i = pair.first, k = pair.second;
    thread_local std::vector<Complex> ci, ck;
    auto column = [&](std::size_t at, std::vector<Complex> &c) {
        c.resize(n);
        for (std::size_t m = 0; m < n; ++m)
            c[m] = ((m == at ? 1.0 : 0.0) - (m == 0 ? 0.0 : b * c[m - 1])) / pivot[m];
        for (std::size_t m = n - 1; m-- > 0;)
            c[m] -= ratio[m] * c[m + 1];
    };
    column(i, ci);
    column(k, ck);
    // I + G C with G = [[ci_i, ci_k], [ck_i, ck_k]], and C times its inverse.
    const Complex m00 = 1.0 + ci[k] * y, m01 = ci[i] * y, m10 = ck[k] * y, m11 = 1.0 + ck[i] * y;
    const Complex det = m00 * m11 - m01 * m10;
    const Complex w00 = -y * m10 / det, w01 = y * m00 / det, w10 = y * m11 / det,
                  w11 = -y * m01 / det;
    for (std::vector<Complex> *v : {&x1, &xn}) {
        const Complex t0 = w00 * (*v)[i] + w01 * (*v)[k], t1 = w10 * (*v)[i] + w11 * (*v)[k];
        for (std::size_t m = 0; m < n; ++m)
            (*v)[m] -= ci[m] * t0 + ck[m] * t1;
    }
}

// The tridiagonal solve (off-diagonals b), for the first and the last
// column of Y^-1 at once: pivot_i = Y_ii - b (b / pivot_(i-1)), the
// continued fraction of the ladder.
void solveEnds(const std::vector<Complex> &diagonal, Complex b, std::vector<Complex> &pivot,
               std::vector<Complex> &ratio, std::vector<Complex> &x1, std::vector<Complex> &xn) {
    const std::size_t n = diagonal.size();
    for (std::size_t i = 0; i < n; ++i) {
        pivot[i] = i == 0 ? diagonal[0] : diagonal[i] - b * ratio[i - 1];
        const Complex inverse = reciprocal(pivot[i]);
        ratio[i] = b * inverse;
        const Complex before1 = i == 0 ? 0.0 : b * x1[i - 1],
                      beforeN = i == 0 ? 0.0 : b * xn[i - 1];
        x1[i] = ((i == 0 ? 1.0 : 0.0) - before1) * inverse;
        xn[i] = ((i + 1 == n ? 1.0 : 0.0) - beforeN) * inverse;
    }
    for (std::size_t i = n - 1; i-- > 0;) {
        x1[i] -= ratio[i] * x1[i + 1];
        xn[i] -= ratio[i] * xn[i + 1];
    }
}

// The filter between its ports, no lines: S11, S21, S22 and, when asked,
// their derivatives with respect to the ladder's parameters (the lines'
// and the error terms' left 0).
void ladderAt(const FilterModel &model, const std::vector<double> &x, double f,
              bool withDerivatives, FilterPoint &point, const std::vector<ResonatorPair> &probes) {
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
    solveEnds(diagonal, b, pivot, ratio, x1, xn);
    if (model.cross)
        addCrossCoupling(*model.cross, x[model.crossAt()] * b, b, pivot, ratio, x1, xn);
    const double root = std::sqrt(g1 * g2);
    point.s11 = 2.0 * g1 * x1[0] - 1.0;
    point.s21 = 2.0 * root * x1[n - 1];
    point.s22 = 2.0 * g2 * xn[n - 1] - 1.0;
    if (!withDerivatives) {
        point.d11.clear();
        point.d21.clear();
        point.d22.clear();
        return;
    }
    const std::size_t count = model.parameterCount();
    point.d11.assign(count + probes.size(), 0.0);
    point.d21.assign(count + probes.size(), 0.0);
    point.d22.assign(count + probes.size(), 0.0);
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
    if (model.cross) {
        const auto [i, k] = *model.cross;
        add(model.crossAt(), i, k, 2.0 * b);
        if (!model.couplingSlope)
            add(model.couplingSlopeAt(), i, k, 2.0 * x[model.crossAt()] * b * logRatio);
    }
    // At m = 0 a probed coupling leaves Y^-1 as it is, and its slope term
    // (m times the slope's) is 0.
    for (std::size_t c = 0; c < probes.size(); ++c)
        add(count + c, probes[c].first, probes[c].second, 2.0 * b);
    if (!model.qeSlope) {
        const std::size_t q = model.qeSlopeAt();
        add(q, 0, 0, g1 * logRatio);
        add(q, n - 1, n - 1, g2 * logRatio);
        point.d11[q] += 2.0 * g1 * logRatio * x1[0];
        point.d21[q] += 2.0 * root * logRatio * x1[n - 1];
        point.d22[q] += 2.0 * g2 * logRatio * xn[n - 1];
    }
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
        auto chain = [&](std::size_t q) {
            const Complex da = point.d11[q], db = point.d21[q], dc = point.d22[q];
            point.d11[q] = perIn1 * (da + in1b * db + in1c * dc);
            point.d21[q] = t21a * da + t21b * db + t21c * dc;
            point.d22[q] = perIn2 * (dc + in2b * db + in2a * da);
        };
        // The filter's own parameters, and the probes after the terms.
        for (std::size_t q = 0; q < model.calibrationAt(); ++q)
            chain(q);
        for (std::size_t q = model.parameterCount(); q < point.d11.size(); ++q)
            chain(q);
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

void filterModelInto(const FilterModel &model, const std::vector<double> &x, double f,
                     bool withLines, bool withDerivatives, FilterPoint &point,
                     const std::vector<ResonatorPair> &probes) {
    ladderAt(model, x, f, withDerivatives, point, probes);
    if (!withLines)
        return;
    addLines(model, x, f, point);
    if (model.calibration)
        addCalibration(model, x, point);
}

FilterPoint filterModelAt(const FilterModel &model, const std::vector<double> &x, double f,
                          bool withLines, bool withDerivatives) {
    FilterPoint point;
    filterModelInto(model, x, f, withLines, withDerivatives, point);
    return point;
}

FilterModel designModel(const TuningTable &table, double f0) {
    FilterModel model;
    for (const TuningStage &stage : table.stages)
        model.g.push_back(stage.g);
    model.load = table.loadG;
    model.f0 = f0;
    model.fbw = effectiveBandwidth(table.first.bandwidth) / f0;
    return model;
}

std::vector<FilterPoint> designResponse(const TuningTable &table, double f0,
                                        std::optional<double> qu, const std::vector<double> &fMHz) {
    const FilterModel model = designModel(table, f0);
    const std::size_t n = model.g.size();
    // d_i 0, s_i 1, r, s_o 1, both lines 0.
    std::vector<double> x(model.parameterCount(), 0.0);
    std::fill(x.begin() + static_cast<std::ptrdiff_t>(n),
              x.begin() + static_cast<std::ptrdiff_t>(2 * n + 2), 1.0);
    x[2 * n] = qu ? 1 / (model.fbw * *qu) : 0;
    std::vector<FilterPoint> points;
    points.reserve(fMHz.size());
    for (const double f : fMHz)
        points.push_back(filterModelAt(model, x, f, false));
    return points;
}

std::vector<double> startParameters(const FilterModel &model, const FilterStart &start,
                                    double defaultLoss) {
    const std::size_t n = model.g.size();
    std::vector<double> x(2 * n + (model.twoPort ? 6 : 4), 0.0);
    double a = model.fbw * start.qe[0];
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            a = std::pow(model.fbw / start.coupling[i - 1], 2) / a;
        x[i] = start.resonatorMHz[i] - model.f0;
        x[n + i] = a / model.g[i];
    }
    x[2 * n] = start.qu > 0 ? 1 / (model.fbw * start.qu) : defaultLoss;
    x[2 * n + 1] = model.fbw * start.qe[1] / (a * model.load);
    return x;
}

} // namespace varnel
