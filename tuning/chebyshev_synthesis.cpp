#include "tuning/chebyshev_synthesis.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

using Complex = std::complex<double>;
using Poly = std::vector<Complex>; // lowest coefficient first
constexpr Complex j{0, 1};

Poly times(const Poly &a, const Poly &b) {
    Poly c(a.size() + b.size() - 1, 0.0);
    for (std::size_t p = 0; p < a.size(); ++p)
        for (std::size_t q = 0; q < b.size(); ++q)
            c[p + q] += a[p] * b[q];
    return c;
}

Poly plus(Poly a, const Poly &b) {
    a.resize(std::max(a.size(), b.size()), 0.0);
    for (std::size_t p = 0; p < b.size(); ++p)
        a[p] += b[p];
    return a;
}

Poly scaled(Poly a, Complex by) {
    for (Complex &c : a)
        c *= by;
    return a;
}

Complex valueAt(const Poly &a, Complex x) {
    Complex v = 0;
    for (std::size_t p = a.size(); p-- > 0;)
        v = v * x + a[p];
    return v;
}

Poly derivative(const Poly &a) {
    Poly d;
    for (std::size_t p = 1; p < a.size(); ++p)
        d.push_back(a[p] * static_cast<double>(p));
    return d.empty() ? Poly{0.0} : d;
}

// The roots of a polynomial: the eigenvalues of its companion matrix,
// each polished by Newton's method on the polynomial itself.
std::vector<Complex> roots(const Poly &a) {
    const auto n = static_cast<Eigen::Index>(a.size() - 1);
    if (n < 1)
        return {};
    Eigen::MatrixXcd companion = Eigen::MatrixXcd::Zero(n, n);
    for (Eigen::Index r = 1; r < n; ++r)
        companion(r, r - 1) = 1;
    for (Eigen::Index r = 0; r < n; ++r)
        companion(r, n - 1) = -a[static_cast<std::size_t>(r)] / a.back();
    const Eigen::ComplexEigenSolver<Eigen::MatrixXcd> solver(companion, false);
    const Poly d = derivative(a);
    std::vector<Complex> found;
    for (Eigen::Index r = 0; r < n; ++r) {
        Complex x = solver.eigenvalues()[r];
        for (int step = 0; step < 3; ++step) {
            const Complex slope = valueAt(d, x);
            if (std::abs(slope) == 0)
                break;
            x -= valueAt(a, x) / slope;
        }
        found.push_back(x);
    }
    return found;
}

Poly fromRoots(const std::vector<Complex> &rs) {
    Poly a{1.0};
    for (Complex r : rs)
        a = times(a, {-r, 1.0});
    return a;
}

// A polynomial in Omega written in s = j Omega (Omega = -j s), made monic.
Poly inS(const Poly &omegaPoly) {
    Poly s(omegaPoly.size());
    Complex power = 1;
    for (std::size_t p = 0; p < omegaPoly.size(); ++p, power *= -j)
        s[p] = omegaPoly[p] * power;
    return scaled(s, 1.0 / s.back());
}

// U_N of the recursion, monic: the numerator of the filtering function.
Poly chebyshevNumerator(std::size_t order, const std::vector<double> &zeros) {
    Poly u{1.0}, v{0.0};
    const Poly omegaSquaredLessOne{-1.0, 0.0, 1.0};
    for (std::size_t n = 0; n < order; ++n) {
        const double inverse = n < zeros.size() ? 1 / zeros[n] : 0;
        const double root = std::sqrt(1 - inverse * inverse);
        const Poly step{-inverse, 1.0};
        Poly nextU = plus(times(step, u), scaled(times(omegaSquaredLessOne, v), root));
        Poly nextV = plus(times(step, v), scaled(u, root));
        u = std::move(nextU);
        v = std::move(nextV);
    }
    u.resize(order + 1);
    return scaled(u, 1.0 / u.back());
}

} // namespace

FilteringFunction chebyshevFunction(std::size_t order, double returnLossDb,
                                    const std::vector<double> &zeros) {
    FilteringFunction fn;
    fn.order = order;
    fn.zeros = zeros;
    const Poly fOmega = chebyshevNumerator(order, zeros);
    Poly pOmega{1.0};
    for (double w : zeros)
        pOmega = times(pOmega, {-w, 1.0});
    for (Complex r : roots(fOmega))
        fn.reflectionZeros.push_back(r.real());
    std::sort(fn.reflectionZeros.begin(), fn.reflectionZeros.end());
    fn.epsilon = std::abs(valueAt(pOmega, 1.0) / valueAt(fOmega, 1.0)) /
                 std::sqrt(std::pow(10.0, returnLossDb / 10) - 1);

    // E's roots: those of F + j P / eps, each taken into Im(Omega) > 0,
    // then into s = j Omega (the left half plane).
    std::vector<Complex> eRoots;
    for (Complex r : roots(plus(fOmega, scaled(pOmega, j / fn.epsilon))))
        eRoots.push_back(j * (r.imag() > 0 ? r : std::conj(r)));
    fn.e = fromRoots(eRoots);
    fn.f = inS(fOmega);
    fn.p = inS(pOmega);
    if ((order - zeros.size()) % 2 == 0)
        fn.p = scaled(fn.p, j);
    return fn;
}

CouplingMatrix transversalMatrix(const FilteringFunction &fn) {
    const std::size_t n = fn.order;
    // m1: Re of even, j Im of odd coefficients of E + F; n1 the rest.
    const Poly sum = plus(fn.e, fn.f);
    Poly m1(sum.size()), n1(sum.size());
    for (std::size_t p = 0; p < sum.size(); ++p) {
        const Complex re = sum[p].real(), im = j * sum[p].imag();
        m1[p] = p % 2 == 0 ? re : im;
        n1[p] = p % 2 == 0 ? im : re;
    }
    const Poly &yd = n % 2 == 0 ? m1 : n1;
    const Poly &yn = n % 2 == 0 ? n1 : m1;
    const Poly slope = derivative(yd);
    std::vector<Complex> poles = roots(yd);
    std::sort(poles.begin(), poles.end(), [](Complex a, Complex b) { return a.imag() < b.imag(); });
    CouplingMatrix m(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Complex pole{0, poles[k].imag()};
        const double r22 = (valueAt(yn, pole) / valueAt(slope, pole)).real();
        const double r21 = (valueAt(fn.p, pole) / fn.epsilon / valueAt(slope, pole)).real();
        const double lk = std::sqrt(std::max(0.0, r22));
        m.set(n + 1, k + 1, lk);
        m.set(0, k + 1, lk > 0 ? r21 / lk : 0.0);
        m.set(k + 1, k + 1, -pole.imag());
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

// Couplings on the main line (and the ports') made positive by turning
// the sign of whole resonators.
void positiveMainLine(CouplingMatrix &m) {
    const std::size_t size = m.size();
    std::vector<double> sign(size, 1.0);
    for (std::size_t i = 1; i < size; ++i)
        sign[i] = sign[i - 1] * (m.at(i - 1, i) < 0 ? -1.0 : 1.0);
    for (std::size_t a = 0; a < size; ++a)
        for (std::size_t b = 0; b < size; ++b)
            m.m[a * size + b] *= sign[a] * sign[b];
}

} // namespace

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
    positiveMainLine(m);
    return m;
}

} // namespace varnel
