#include "tuning/rational_start.h"

#include "tuning/chebyshev_synthesis.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

using Complex = std::complex<double>;
using Wide = std::complex<long double>;

// The roots of c_0 + c_1 x + ... + c_n x^n (c_n != 0), from its companion matrix.
std::vector<Complex> rootsOf(const std::vector<Complex> &c) {
    const std::size_t n = c.size() - 1;
    if (n == 0)
        return {};
    Eigen::MatrixXcd companion =
        Eigen::MatrixXcd::Zero(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
    for (std::size_t k = 0; k < n; ++k) {
        companion(0, static_cast<Eigen::Index>(n - 1 - k)) = -c[k] / c[n];
        if (k + 1 < n)
            companion(static_cast<Eigen::Index>(k + 1), static_cast<Eigen::Index>(k)) = 1;
    }
    Eigen::ComplexEigenSolver<Eigen::MatrixXcd> solver(companion, false);
    if (solver.info() != Eigen::Success)
        return {};
    std::vector<Complex> roots(solver.eigenvalues().begin(), solver.eigenvalues().end());
    return roots;
}

Complex valueAt(const std::vector<Complex> &c, Complex x) {
    Complex v = 0;
    for (std::size_t k = c.size(); k-- > 0;)
        v = v * x + c[k];
    return v;
}

Complex productAt(const std::vector<Complex> &roots, Complex s) {
    Complex v = 1;
    for (Complex r : roots)
        v *= s - r;
    return v;
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
            if (k < n) {
                a(r, c) = weight[i] * s11[i] * power;
                a(r + 1, c) = -weight[i] * s21[i] * power;
            }
            a(r, static_cast<Eigen::Index>(n + k)) = weight[i] * power;
            if (k <= nz)
                a(r + 1, static_cast<Eigen::Index>(2 * n + 1 + k)) = weight[i] * power;
            if (k == n) {
                b(r) = -weight[i] * s11[i] * power;
                b(r + 1) = weight[i] * s21[i] * power;
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

} // namespace

std::optional<RationalStart> rationalStart(const std::vector<double> &omega,
                                           const std::vector<Complex> &s11,
                                           const std::vector<Complex> &s21, std::size_t order,
                                           std::size_t zeros) {
    const std::size_t n = order, nz = zeros;
    if (n == 0 || nz + 2 > n + 2 || omega.size() < 2 * n + nz + 2)
        return std::nullopt;
    double scale = 0;
    for (double w : omega)
        scale = std::max(scale, std::abs(w));
    std::vector<Complex> x;
    for (double w : omega)
        x.push_back({0, w / scale});
    std::vector<double> weight(x.size(), 1.0);
    std::optional<Fitted> fit;
    for (int round = 0; round < 4; ++round) {
        fit = fitRound(x, s11, s21, weight, n, nz);
        if (!fit)
            return std::nullopt;
        for (std::size_t i = 0; i < x.size(); ++i)
            weight[i] = 1 / std::max(std::abs(valueAt(fit->e, x[i])), 1e-12);
    }
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
            const double e2 = std::norm(productAt(eRoots, s));
            const double v = std::norm(productAt(fRoots, s)) +
                             pScale * pScale * std::norm(productAt(pRoots, s)) - e2;
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
    double low = std::max(0.0, best - 0.01), high = best + 0.01;
    for (int k = 0; k < 60; ++k) {
        const double a = low + (high - low) * 0.381966, b = high - (high - low) * 0.381966;
        (violation(a) < violation(b) ? high : low) = violation(a) < violation(b) ? b : a;
    }
    const double delta = (low + high) / 2;
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
    double sum = 0;
    for (std::size_t i = 0; i < omega.size(); ++i) {
        const Complex e = valueAt(fit->e, x[i]);
        sum += std::norm(valueAt(fit->f, x[i]) / e + s11[i]) +
               std::norm(valueAt(fit->p, x[i]) / e - s21[i]);
    }
    start.misfit = std::sqrt(sum / (2.0 * static_cast<double>(omega.size())));
    return start;
}

} // namespace varnel
