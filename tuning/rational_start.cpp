#include "tuning/rational_start.h"

#include "tuning/chebyshev_synthesis.h"
#include "tuning/least_squares.h"
#include "tuning/matrix_fit.h"
#include "tuning/polynomial.h"
#include "tuning/topology_search.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
using polynomial::Wide;

using polynomial::product;
using polynomial::valueAt;

// The roots of a fitted polynomial (its highest coefficient not 0).
std::vector<Complex> rootsOf(const std::vector<Complex> &c) {
    std::vector<Complex> found;
    for (const Wide r : polynomial::roots(polynomial::Poly(c.begin(), c.end())))
        found.emplace_back(static_cast<double>(r.real()), static_cast<double>(r.imag()));
    return found;
}

// The minimum of a function unimodal on [low, high], by golden section.
template <class F> double goldenMinimum(F f, double low, double high, int steps) {
    const double g = 0.6180339887498949;
    double a = high - g * (high - low), b = low + g * (high - low);
    double fa = f(a), fb = f(b);
    for (int k = 0; k < steps; ++k) {
        if (fa < fb) {
            high = b;
            b = a;
            fb = fa;
            a = high - g * (high - low);
            fa = f(a);
        } else {
            low = a;
            a = b;
            fa = fb;
            b = low + g * (high - low);
            fb = f(b);
        }
    }
    return (low + high) / 2;
}

struct Fitted {
    std::vector<Complex> e, f, p; // in the scaled s, E monic
};

// One weighted round of the linear fit.
std::optional<Fitted> fitRound(const std::vector<Complex> &x, const std::vector<Complex> &s11,
                               const std::vector<Complex> &s21, const std::vector<double> &weight,
                               std::size_t n, std::size_t nz) {
    const std::size_t m = x.size(), columns = n + (n + 1) + (nz + 1);
    Eigen::MatrixXcd a = Eigen::MatrixXcd::Zero(static_cast<Eigen::Index>(2 * m),
                                                static_cast<Eigen::Index>(columns));
    Eigen::VectorXcd b(static_cast<Eigen::Index>(2 * m));
    for (std::size_t i = 0; i < m; ++i) {
        const auto r = static_cast<Eigen::Index>(2 * i);
        Complex power = 1;
        for (std::size_t k = 0; k <= n; ++k) {
            const auto c = static_cast<Eigen::Index>(k);
            const Complex w = weight[i] * power;
            if (k < n) {
                a(r, c) = w * s11[i];
                a(r + 1, c) = -w * s21[i];
            }
            a(r, static_cast<Eigen::Index>(n + k)) = w;
            if (k <= nz)
                a(r + 1, static_cast<Eigen::Index>(2 * n + 1 + k)) = w;
            if (k == n) {
                b(r) = -w * s11[i];
                b(r + 1) = w * s21[i];
            }
            power *= x[i];
        }
    }
    const Eigen::VectorXcd solution = a.colPivHouseholderQr().solve(b);
    if (!solution.allFinite())
        return std::nullopt;
    Fitted fit;
    fit.e.assign(solution.data(), solution.data() + n);
    fit.e.push_back(1);
    fit.f.assign(solution.data() + n, solution.data() + 2 * n + 1);
    fit.p.assign(solution.data() + 2 * n + 1, solution.data() + columns);
    return fit;
}

// The rounds, each weighted by 1/|E| of the round before.
std::optional<Fitted> fitRational(const std::vector<Complex> &x, const std::vector<Complex> &s11,
                                  const std::vector<Complex> &s21, std::size_t n, std::size_t nz) {
    std::vector<double> weight(x.size(), 1.0);
    std::optional<Fitted> fit;
    for (int round = 0; round < 4; ++round) {
        fit = fitRound(x, s11, s21, weight, n, nz);
        if (!fit)
            return std::nullopt;
        for (std::size_t i = 0; i < x.size(); ++i)
            weight[i] = 1 / std::max(std::abs(valueAt(fit->e, x[i])), 1e-12);
    }
    return fit;
}

// The rms of the fitted function against the points.
double misfitOf(const Fitted &fit, const std::vector<Complex> &x, const std::vector<Complex> &s11,
                const std::vector<Complex> &s21) {
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const Complex e = valueAt(fit.e, x[i]);
        sum += std::norm(valueAt(fit.f, x[i]) / e + s11[i]) +
               std::norm(valueAt(fit.p, x[i]) / e - s21[i]);
    }
    return std::sqrt(sum / static_cast<double>(2 * x.size()));
}

// The sweep's points in the scaled s = j Omega / scale.
std::vector<Complex> scaledPoints(const std::vector<double> &omega, double &scale) {
    scale = 0;
    for (double w : omega)
        scale = std::max(scale, std::abs(w));
    std::vector<Complex> x;
    for (double w : omega)
        x.push_back({0, w / scale});
    return x;
}

} // namespace

std::optional<RationalStart> rationalStart(const std::vector<double> &omega,
                                           const std::vector<Complex> &s11,
                                           const std::vector<Complex> &s21, std::size_t order,
                                           std::size_t zeros) {
    const std::size_t n = order, nz = zeros;
    if (n == 0 || nz > n || omega.size() < 2 * n + nz + 2)
        return std::nullopt;
    double scale = 0;
    const std::vector<Complex> x = scaledPoints(omega, scale);
    const std::optional<Fitted> fit = fitRational(x, s11, s21, n, nz);
    if (!fit)
        return std::nullopt;
    // Roots in s; the constants of F / E and P / E.
    auto unscaled = [&](const std::vector<Complex> &c) {
        std::vector<Complex> roots = rootsOf(c);
        for (Complex &r : roots)
            r *= scale;
        return roots;
    };
    const std::vector<Complex> eRoots = unscaled(fit->e), fRoots = unscaled(fit->f),
                               pRoots = unscaled(fit->p);
    if (eRoots.size() != n || fRoots.size() != n || pRoots.size() != nz)
        return std::nullopt;
    const double pScale = std::abs(fit->p.back()) * std::pow(scale, static_cast<double>(n - nz));
    // The shift that makes the function lossless best.
    auto violation = [&](double delta) {
        double sum = 0;
        for (double w : omega) {
            const Complex s(-delta, w);
            const double e2 = std::norm(product(eRoots, s));
            const double v = std::norm(product(fRoots, s)) +
                             pScale * pScale * std::norm(product(pRoots, s)) - e2;
            sum += v * v / (e2 * e2);
        }
        return sum;
    };
    double best = 0, bestValue = violation(0);
    for (int k = 1; k <= 100; ++k) {
        const double d = 0.01 * k;
        if (const double v = violation(d); v < bestValue) {
            best = d;
            bestValue = v;
        }
    }
    const double delta = goldenMinimum(violation, std::max(0.0, best - 0.01), best + 0.01, 40);
    FilteringFunction fn;
    fn.order = n;
    for (Complex r : eRoots) {
        Complex shifted = r + delta;
        if (shifted.real() > 0)
            shifted = -std::conj(shifted); // into the left half plane
        fn.eRoots.push_back(Wide(shifted.real(), shifted.imag()));
    }
    for (Complex r : fRoots)
        fn.fRoots.push_back(Wide(r.real() + delta, r.imag()));
    for (Complex r : pRoots) {
        fn.pRoots.push_back(Wide(r.real() + delta, r.imag()));
        fn.zeros.push_back(r.imag());
    }
    fn.pFactor = (n - nz) % 2 == 0 ? Wide(0, pScale) : Wide(pScale, 0);
    fn.epsilon = 1;
    RationalStart start;
    start.folded = foldedMatrix(transversalMatrix(fn));
    start.delta = delta;
    start.misfit = misfitOf(*fit, x, s11, s21);
    return start;
}

namespace {

// The sweep's points for the start (at most 401, as a fit keeps).
struct StartPoints {
    std::vector<double> fMHz, omega;
    std::vector<Complex> x, s11, s21; // x: s scaled
    double scale = 1;
};

StartPoints startPoints(const MatrixBand &band, const Network &sweep) {
    StartPoints p;
    const ParameterView s11 = sweep.view({1, 1}), s21 = sweep.view({2, 1});
    for (std::size_t i = 0; i < sweep.size(); i += fitPointStride(sweep.size())) {
        p.fMHz.push_back(sweep.frequencyMHz[i]);
        p.omega.push_back(lowPassOmega(band, sweep.frequencyMHz[i]));
        p.s11.push_back(s11[i]);
        p.s21.push_back(s21[i]);
    }
    p.x = scaledPoints(p.omega, p.scale);
    return p;
}

// S11 with port 1's delay (ns) taken off, and S21 with both ports'.
std::pair<std::vector<Complex>, std::vector<Complex>> unturned(const StartPoints &p,
                                                               double delay1Ns, double bothNs) {
    std::vector<Complex> s11(p.s11.size()), s21(p.s21.size());
    for (std::size_t i = 0; i < p.fMHz.size(); ++i) {
        const double turn = 2 * std::numbers::pi * p.fMHz[i] * 1e-3;
        s11[i] = p.s11[i] * std::polar(1.0, 2 * turn * delay1Ns);
        s21[i] = p.s21[i] * std::polar(1.0, turn * bothNs);
    }
    return {std::move(s11), std::move(s21)};
}

// The rational fit's misfit at the delays.
double misfitAt(const StartPoints &p, double delay1Ns, double bothNs, std::size_t n,
                std::size_t nz) {
    const auto [s11, s21] = unturned(p, delay1Ns, bothNs);
    const auto fit = fitRational(p.x, s11, s21, n, nz);
    return fit ? misfitOf(*fit, p.x, s11, s21) : std::numeric_limits<double>::infinity();
}

// The minimum of f over at +- reach: the best of a scan every half
// nanosecond (the valleys of the misfit are a few nanoseconds wide),
// refined by golden section within a step of it.
template <class F> double scannedMinimum(F f, double at, double reach) {
    constexpr double step = 0.5;
    double best = at, bestValue = std::numeric_limits<double>::infinity();
    for (double t = at - reach; t <= at + reach + 1e-9; t += step)
        if (const double v = f(t); v < bestValue) {
            best = t;
            bestValue = v;
        }
    return goldenMinimum(f, best - step, best + step, 12);
}

// The delays (port 1's, and both ports' together) near a guess at which
// the rational function fits best, and the misfit there. Port 1's first:
// its valley stands where it is whatever the other delay (S11 and S21
// share E), within 6 ns of the guess; then both together, then each once
// more within half a nanosecond.
struct Delays {
    double port1 = 0, both = 0, misfit = 0;
};
Delays delaysNear(const StartPoints &p, Delays at, std::size_t n, std::size_t nz) {
    auto port1 = [&](double tau) { return misfitAt(p, tau, at.both, n, nz); };
    auto both = [&](double tau) { return misfitAt(p, at.port1, tau, n, nz); };
    constexpr double reach = 6;
    at.port1 = scannedMinimum(port1, at.port1, reach);
    at.both = scannedMinimum(both, at.both, reach);
    at.port1 = goldenMinimum(port1, at.port1 - 0.5, at.port1 + 0.5, 12);
    at.both = goldenMinimum(both, at.both - 0.5, at.both + 0.5, 12);
    at.misfit = misfitAt(p, at.port1, at.both, n, nz);
    return at;
}

// The delays that align the design's response, at the fit's starting
// loss, with the sweep.
Delays alignedDelays(const FilterDesign &design, const StartPoints &p, double startQu) {
    MatrixBand band = design.band;
    band.qu = startQu;
    band.delayNs[0] = band.delayNs[1] = band.phaseRad[0] = band.phaseRad[1] = 0;
    const AlignedLines lines = alignedLines(design.matrix, band, p.fMHz, p.s11, p.s21);
    return {lines.delayNs[0], lines.delayNs[0] + lines.delayNs[1], 0};
}

// Whether each of a cascade's sections makes the zeros nearest its own
// design zeros, each clearly (its own under half as far as any other
// design zero): the convention the design keeps (the k-th section the
// k-th zero), which tells the cascade's matrices apart; zeros half-way
// between two of the design's would be a guess.
bool sectionsNearTheirDesignZeros(const CouplingMatrix &m, const std::vector<Section> &sections,
                                  const std::vector<double> &designZeros) {
    const std::size_t per = designZeros.size() / sections.size();
    return sectionsMatchZeros(
        m, sections, designZeros, [&](double made, double own, std::size_t k) {
            for (std::size_t z = 0; z < designZeros.size(); ++z)
                if (z / per != k && !(2 * std::abs(made - own) < std::abs(made - designZeros[z])))
                    return false;
            return true;
        });
}

// The sweep's folded matrix in the design's pattern: an in-line design
// lacks the cross-couplings, which the folded form of its response has at
// 0; a cascade's by rotations (topology_search.h), its sections each
// making the zeros nearest the design's.
std::optional<CouplingMatrix> inDesignPattern(const FilterDesign &design,
                                              const CouplingMatrix &folded) {
    const Topology t = design.topology.topology;
    const std::size_t n = design.order, nz = design.zerosOmega.size();
    if (t == Topology::Triplets || t == Topology::Quadruplets) {
        const std::vector<Section> sections =
            t == Topology::Triplets ? tripletSections(n, nz) : quadrupletSections(n, nz / 2);
        return realisePattern(folded, cascadePattern(n, sections), [&](const CouplingMatrix &m) {
            return sectionsNearTheirDesignZeros(m, sections, design.zerosOmega);
        });
    }
    const CouplingPattern pattern = designPattern(design);
    CouplingMatrix m = folded;
    for (std::size_t a = 1; a <= n; ++a)
        for (std::size_t b = a + 1; b <= n; ++b)
            if (!pattern.at(a, b))
                m.set(a, b, 0);
    return m;
}

} // namespace

std::optional<SweepStart> sweepMatrixStart(const FilterDesign &design, const Network &sweep,
                                           const double (&guessNs)[2], double startQu) {
    if (sweep.ports != 2 || sweep.only || sweep.size() < 8 ||
        design.topology.topology == Topology::Listed)
        return std::nullopt;
    const StartPoints p = startPoints(design.band, sweep);
    const std::size_t n = design.order, nz = design.zerosOmega.size();
    Delays best = delaysNear(p, {guessNs[0], guessNs[0] + guessNs[1], 0}, n, nz);
    if (const Delays aligned = delaysNear(p, alignedDelays(design, p, startQu), n, nz);
        aligned.misfit < best.misfit)
        best = aligned;
    const double delay1 = best.port1, both = best.both;
    const auto [s11, s21] = unturned(p, delay1, both);
    const auto start = rationalStart(p.omega, s11, s21, n, nz);
    if (!start)
        return std::nullopt;
    const std::optional<CouplingMatrix> m = inDesignPattern(design, start->folded);
    if (!m)
        return std::nullopt;
    const double qu = start->delta > 0 ? design.f0 / (start->delta * design.bandwidth) : 0;
    return SweepStart{*m, qu};
}

} // namespace varnel
