#include "tuning/chebyshev_synthesis.h"

#include "tuning/polynomial.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

using Complex = std::complex<double>;
using polynomial::Poly;
using polynomial::product;
using polynomial::roots;
using polynomial::Wide;
constexpr Wide j{0, 1};

Poly times(const Poly &a, const Poly &b) {
    Poly c(a.size() + b.size() - 1, 0.0L);
    for (std::size_t p = 0; p < a.size(); ++p)
        for (std::size_t q = 0; q < b.size(); ++q)
            c[p + q] += a[p] * b[q];
    return c;
}

Poly plus(Poly a, const Poly &b) {
    a.resize(std::max(a.size(), b.size()), 0.0L);
    for (std::size_t p = 0; p < b.size(); ++p)
        a[p] += b[p];
    return a;
}

Poly scaled(Poly a, Wide by) {
    for (Wide &c : a)
        c *= by;
    return a;
}

Poly fromRoots(const std::vector<Wide> &rs) {
    Poly a{1.0L};
    for (Wide r : rs)
        a = times(a, {-r, 1.0L});
    return a;
}

// U_N of the recursion, monic: the numerator of the filtering function.
Poly chebyshevNumerator(std::size_t order, const std::vector<double> &zeros) {
    Poly u{1.0L}, v{0.0L};
    const Poly omegaSquaredLessOne{-1.0L, 0.0L, 1.0L};
    for (std::size_t n = 0; n < order; ++n) {
        const long double inverse = n < zeros.size() ? 1 / static_cast<long double>(zeros[n]) : 0;
        const long double root = std::sqrt(1 - inverse * inverse);
        const Poly step{-inverse, 1.0L};
        Poly nextU = plus(times(step, u), scaled(times(omegaSquaredLessOne, v), root));
        Poly nextV = plus(times(step, v), scaled(u, root));
        u = std::move(nextU);
        v = std::move(nextV);
    }
    u.resize(order + 1);
    return scaled(u, 1.0L / u.back());
}

} // namespace

FilteringFunction chebyshevFunction(std::size_t order, double returnLossDb,
                                    const std::vector<double> &zeros) {
    FilteringFunction fn;
    fn.order = order;
    fn.zeros = zeros;
    const Poly fOmega = chebyshevNumerator(order, zeros);
    // F's roots are real: polished on the real axis.
    for (Wide r : roots(fOmega))
        fn.fRoots.push_back(j * Wide(r.real(), 0));
    for (double w : zeros)
        fn.pRoots.push_back(j * Wide(w, 0));
    std::sort(fn.fRoots.begin(), fn.fRoots.end(),
              [](Wide a, Wide b) { return a.imag() < b.imag(); });
    for (Wide r : fn.fRoots)
        fn.reflectionZeros.push_back(static_cast<double>(r.imag()));
    // In s, F and P monic; P times j where N - nz is even.
    fn.pFactor = (order - zeros.size()) % 2 == 0 ? j : Wide(1);
    fn.epsilon = static_cast<double>(std::abs(product(fn.pRoots, j) / product(fn.fRoots, j)) /
                                     std::sqrt(std::pow(10.0L, returnLossDb / 10) - 1));

    // E's roots: those of F + j P / eps in Omega (evaluated from F's and
    // P's roots), each taken into Im(Omega) > 0, then into s = j Omega.
    Poly pOmega{1.0L};
    for (double w : zeros)
        pOmega = times(pOmega, {-w, 1.0L});
    const Wide toP = j / static_cast<long double>(fn.epsilon);
    std::vector<Wide> fOmegaRoots;
    for (Wide r : fn.fRoots)
        fOmegaRoots.push_back(-j * r);
    auto gOmega = [&](Wide x) {
        std::vector<Wide> pw;
        for (double w : zeros)
            pw.push_back(w);
        return product(fOmegaRoots, x) + toP * product(pw, x);
    };
    for (Wide r : roots(plus(fOmega, scaled(pOmega, toP)), gOmega))
        fn.eRoots.push_back(j * (r.imag() > 0 ? r : std::conj(r)));
    return fn;
}

std::complex<long double> FilteringFunction::e(std::complex<long double> s) const {
    return product(eRoots, s);
}

std::complex<long double> FilteringFunction::f(std::complex<long double> s) const {
    return product(fRoots, s);
}

std::complex<long double> FilteringFunction::p(std::complex<long double> s) const {
    return pFactor * product(pRoots, s);
}

CouplingMatrix transversalMatrix(const FilteringFunction &fn) {
    const std::size_t n = fn.order;
    // y's denominator: the para-even (N even) or para-odd part of E + F,
    // (Q(s) +- conj(Q(-conj s))) / 2, which keeps Re of its even and j Im
    // of its odd coefficients (or the other way round).
    const long double sign = n % 2 == 0 ? 1 : -1;
    auto q = [&](Wide s) { return fn.e(s) + fn.f(s); };
    auto yd = [&](Wide s) { return (q(s) + sign * std::conj(q(-std::conj(s)))) / 2.0L; };
    const Poly sum = plus(fromRoots(fn.eRoots), fromRoots(fn.fRoots));
    Poly ydPoly(sum.size());
    for (std::size_t k = 0; k < sum.size(); ++k) {
        const Wide re = sum[k].real(), im = j * sum[k].imag();
        ydPoly[k] = (k % 2 == 0) == (n % 2 == 0) ? re : im;
    }
    std::vector<Wide> poles;
    for (Wide r : roots(ydPoly, yd))
        poles.push_back({0, r.imag()});
    std::sort(poles.begin(), poles.end(), [](Wide a, Wide b) { return a.imag() < b.imag(); });
    CouplingMatrix m(n);
    for (std::size_t k = 0; k < n; ++k) {
        // Residues over yd'(p) = 2 prod (p - p_i), i != k; at a pole the
        // numerator of y22 is E + F itself.
        Wide slope = 2;
        for (std::size_t i = 0; i < n; ++i)
            if (i != k)
                slope *= poles[k] - poles[i];
        const auto r22 = static_cast<double>((q(poles[k]) / slope).real());
        const auto r21 = static_cast<double>(
            (fn.p(poles[k]) / static_cast<long double>(fn.epsilon) / slope).real());
        const double lk = std::sqrt(std::max(0.0, r22));
        m.set(n + 1, k + 1, lk);
        m.set(0, k + 1, lk > 0 ? r21 / lk : 0.0);
        m.set(k + 1, k + 1, -static_cast<double>(poles[k].imag()));
    }
    return m;
}

namespace {

// M <- R M R' for the rotation in the plane (a, b): R_aa = R_bb = cos t,
// R_ab = -sin t, R_ba = sin t.
void rotate(CouplingMatrix &m, std::size_t a, std::size_t b, double t) {
    const double c = std::cos(t), s = std::sin(t);
    const std::size_t size = m.size();
    for (std::size_t k = 0; k < size; ++k) { // rows a and b
        const double x = m.m[a * size + k], y = m.m[b * size + k];
        m.m[a * size + k] = c * x - s * y;
        m.m[b * size + k] = s * x + c * y;
    }
    for (std::size_t k = 0; k < size; ++k) { // columns a and b
        const double x = m.m[k * size + a], y = m.m[k * size + b];
        m.m[k * size + a] = c * x - s * y;
        m.m[k * size + b] = s * x + c * y;
    }
}

// One input coupling M_S1 and one output coupling M_NL: the resonators
// changed by an orthogonal T whose first row is M_S's direction and last
// row M_L's (orthogonal to it when nz <= N - 2).
CouplingMatrix singlePortCouplings(const CouplingMatrix &t) {
    const std::size_t n = t.order;
    const auto en = static_cast<Eigen::Index>(n);
    Eigen::VectorXd source(en), load(en);
    Eigen::MatrixXd d = Eigen::MatrixXd::Zero(en, en);
    for (std::size_t k = 0; k < n; ++k) {
        source[static_cast<Eigen::Index>(k)] = t.at(0, k + 1);
        load[static_cast<Eigen::Index>(k)] = t.at(n + 1, k + 1);
        for (std::size_t q = 0; q < n; ++q)
            d(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(q)) = t.at(k + 1, q + 1);
    }
    Eigen::MatrixXd ends(en, 2);
    ends.col(0) = source.normalized();
    ends.col(1) = load.normalized();
    const Eigen::MatrixXd q = Eigen::HouseholderQR<Eigen::MatrixXd>(ends).householderQ();
    Eigen::MatrixXd rows(en, en);
    rows.row(0) = ends.col(0).transpose();
    rows.row(en - 1) = ends.col(1).transpose();
    for (Eigen::Index r = 1; r + 1 < en; ++r)
        rows.row(r) = q.col(r + 1).transpose();
    const Eigen::MatrixXd block = rows * d * rows.transpose();
    CouplingMatrix m(n);
    m.set(0, 1, source.norm());
    m.set(n, n + 1, load.norm());
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            m.m[(a + 1) * m.size() + b + 1] =
                block(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b));
    return m;
}

} // namespace

// Couplings on the main line (and the ports') made positive by turning
// the sign of whole resonators.
void makeMainLinePositive(CouplingMatrix &m) {
    const std::size_t size = m.size();
    std::vector<double> sign(size, 1.0);
    for (std::size_t i = 1; i < size; ++i)
        sign[i] = sign[i - 1] * (m.at(i - 1, i) < 0 ? -1.0 : 1.0);
    for (std::size_t a = 0; a < size; ++a)
        for (std::size_t b = 0; b < size; ++b)
            m.m[a * size + b] = m.m[a * size + b] * sign[a] * sign[b] + 0.0; // never -0
}

double realisationError(const CouplingMatrix &m, const FilteringFunction &fn) {
    std::vector<double> omegas = fn.zeros;
    for (int k = -800; k <= 800; ++k)
        omegas.push_back(k * 0.005);
    double worst = 0;
    const std::vector<MatrixResponse> responses = lowPassResponses(m, omegas);
    for (std::size_t i = 0; i < omegas.size(); ++i) {
        const double w = omegas[i];
        const Wide s = j * static_cast<long double>(w);
        const Wide e = fn.e(s);
        const MatrixResponse &r = responses[i];
        const auto s11 = static_cast<double>(std::abs(fn.f(s) / e));
        const auto s21 =
            static_cast<double>(std::abs(fn.p(s) / (static_cast<long double>(fn.epsilon) * e)));
        worst = std::max({worst, std::abs(std::abs(r.s11) - s11), std::abs(std::abs(r.s21) - s21)});
    }
    return worst;
}

bool inFoldedPattern(std::size_t order, std::size_t i, std::size_t j) {
    const std::size_t a = std::min(i, j), b = std::max(i, j);
    if (b == a + 1) // the main line, the ports' couplings included
        return true;
    const bool resonators = a >= 1 && b <= order;
    return resonators && (a == b || a + b == order + 1 || a + b == order + 2);
}

CouplingMatrix foldedMatrix(const CouplingMatrix &transversal) {
    CouplingMatrix m = singlePortCouplings(transversal);
    const std::size_t n = m.order;
    for (std::size_t r = 1; 2 * r + 2 <= n; ++r) {
        // Row r: M_rj for j from N - r down to r + 2, each into M_r(j-1).
        for (std::size_t col = n - r; col >= r + 2; --col)
            rotate(m, col - 1, col, std::atan2(-m.at(r, col), m.at(r, col - 1)));
        // Column N + 1 - r: M_ic for i from r + 2 up to c - 2, each into
        // M_(i+1)c.
        const std::size_t c = n + 1 - r;
        for (std::size_t i = r + 2; i + 2 <= c; ++i)
            rotate(m, i, i + 1, std::atan2(m.at(i, c), m.at(i + 1, c)));
    }
    // What the rotations leave outside the pattern, and entries within
    // rounding of 0 inside it, are rounding; M_ij and M_ji their mean.
    double largest = 0;
    for (double v : m.m)
        largest = std::max(largest, std::abs(v));
    for (std::size_t a = 0; a < m.size(); ++a)
        for (std::size_t b = a; b < m.size(); ++b) {
            const double mean = (m.at(a, b) + m.at(b, a)) / 2;
            const bool rounding = !inFoldedPattern(n, a, b) || std::abs(mean) < 1e-12 * largest;
            m.set(a, b, rounding ? 0.0 : mean);
        }
    makeMainLinePositive(m);
    return m;
}

} // namespace varnel
