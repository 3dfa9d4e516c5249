#pragma once

#include <Eigen/Dense>

#include <complex>
#include <cstddef>
#include <vector>

// Complex polynomials as their coefficients, lowest first, and as their
// roots. Worked example: {2, -3, 1} is x^2 - 3x + 2: its value at 4 is 6,
// its roots 1 and 2, and product({1, 2}, 4) = (4 - 1)(4 - 2) = 6.
namespace varnel::polynomial {

using Wide = std::complex<long double>;
using Poly = std::vector<Wide>; // lowest coefficient first

// Horner's rule.
template <typename T> T valueAt(const std::vector<T> &a, T x) {
    T v = 0;
    for (std::size_t p = a.size(); p-- > 0;)
        v = v * x + a[p];
    return v;
}

// prod (x - r): a monic polynomial's value from its roots, which keeps
// the precision that its coefficients lose near clustered roots.
template <typename T> T product(const std::vector<T> &rs, T x) {
    T v = 1;
    for (T r : rs)
        v *= x - r;
    return v;
}

inline Poly derivative(const Poly &a) {
    Poly d;
    for (std::size_t p = 1; p < a.size(); ++p)
        d.push_back(a[p] * static_cast<long double>(p));
    return d.empty() ? Poly{0.0L} : d;
}

// The roots of a polynomial: the eigenvalues of its companion matrix (in
// long double), each polished by Newton's method on `value` (the
// polynomial, or a better-conditioned evaluation of it).
template <typename Value> std::vector<Wide> roots(const Poly &a, Value value) {
    using WideMatrix = Eigen::Matrix<Wide, Eigen::Dynamic, Eigen::Dynamic>;
    const auto n = static_cast<Eigen::Index>(a.size() - 1);
    if (n < 1)
        return {};
    WideMatrix companion = WideMatrix::Zero(n, n);
    for (Eigen::Index r = 1; r < n; ++r)
        companion(r, r - 1) = 1;
    for (Eigen::Index r = 0; r < n; ++r)
        companion(r, n - 1) = -a[static_cast<std::size_t>(r)] / a.back();
    const Eigen::ComplexEigenSolver<WideMatrix> solver(companion, false);
    const Poly d = derivative(a);
    std::vector<Wide> found;
    for (Eigen::Index r = 0; r < n; ++r) {
        Wide x = solver.eigenvalues()[r];
        for (int step = 0; step < 4; ++step) {
            const Wide slope = valueAt(d, x);
            if (std::abs(slope) == 0)
                break;
            x -= value(x) / slope;
        }
        found.push_back(x);
    }
    return found;
}

inline std::vector<Wide> roots(const Poly &a) {
    return roots(a, [&](Wide x) { return valueAt(a, x); });
}

} // namespace varnel::polynomial
