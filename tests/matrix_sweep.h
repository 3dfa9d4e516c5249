#pragma once

#include "filter_generator.h"
#include "matrix_generator.h"
#include "touchstone/touchstone.h"
#include "tuning/coupling_matrix.h"
#include "tuning/filter_design.h"
#include "tuning/matrix_diagnosis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <utility>
#include <variant>
#include <vector>

// A sweep of a given coupling matrix, written apart from the fits: long
// double, Gaussian elimination (matrix_generator.h), its own mapping, loss,
// lines and noise.
namespace varnel::testing {

struct Bench {
    double f0 = 1000, bandwidth = 10;
    std::optional<double> qu;
    double delayNs[2] = {0, 0}, phase[2] = {0, 0};
    double noiseDb = -400;
    double halfSpan = 1.5; // x BW either side of f0
};

// A 2-port sweep of `m` over f0 +- halfSpan BW: A = W Omega - j R + M - j
// f0/(Qu BW) on the resonators, S11 = 1 + 2j [A^-1]_SS, S21 = -2j
// [A^-1]_LS, S22 = 1 + 2j [A^-1]_LL, each port's line, complex noise.
inline Network sweepOf(const CouplingMatrix &m, const Bench &b, int points, unsigned seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0, std::pow(10.0, b.noiseDb / 20) / std::sqrt(2.0));
    const std::size_t n = m.size();
    const LongComplex j(0, 1);
    Network net;
    net.ports = 2;
    for (int i = 0; i < points; ++i) {
        const long double f = b.f0 - (long double)b.halfSpan * b.bandwidth +
                              2.0L * b.halfSpan * b.bandwidth * i / (points - 1);
        const long double omega = b.f0 / (long double)b.bandwidth * (f / b.f0 - b.f0 / f);
        std::vector<std::vector<LongComplex>> a(n, std::vector<LongComplex>(n));
        for (std::size_t r = 0; r < n; ++r)
            for (std::size_t c = 0; c < n; ++c)
                a[r][c] = m.at(r, c);
        a[0][0] -= j;
        a[n - 1][n - 1] -= j;
        for (std::size_t r = 1; r + 1 < n; ++r)
            a[r][r] += omega - j * (b.qu ? b.f0 / (*b.qu * b.bandwidth) : 0.0L);
        std::vector<LongComplex> es(n, 0), el(n, 0);
        es[0] = 1;
        el[n - 1] = 1;
        const auto xs = varnel::testing::solveDense(a, es);
        const auto xl = varnel::testing::solveDense(a, el);
        auto line = [&](int p) {
            const long double angle =
                -(2 * std::numbers::pi_v<long double> * f * b.delayNs[p] * 1e-3L + b.phase[p]);
            return LongComplex(std::cos(angle), std::sin(angle));
        };
        const LongComplex s11 = (1.0L + 2.0L * j * xs[0]) * line(0) * line(0);
        const LongComplex s21 = -2.0L * j * xs[n - 1] * line(0) * line(1);
        const LongComplex s22 = (1.0L + 2.0L * j * xl[n - 1]) * line(1) * line(1);
        auto noisy = [&](LongComplex v) {
            return std::complex<double>((double)v.real() + normal(random),
                                        (double)v.imag() + normal(random));
        };
        net.frequencyMHz.push_back((double)f);
        const auto s21n = noisy(s21);
        net.values.insert(net.values.end(), {noisy(s11), s21n, s21n, noisy(s22)});
    }
    return net;
}

// A design at 1000 MHz, 10 MHz and 0.01 dB of `order`, `topology` and
// `zeros` (MHz), which the caller knows designFilter makes.
inline FilterDesign designOf(int order, const char *topology, std::vector<double> zeros) {
    Filter s;
    s.order = order;
    DesignRequest request;
    request.f0 = 1000;
    request.zerosMHz = std::move(zeros);
    request.topology = topologyNamed(topology);
    return std::get<FilterDesign>(designFilter(tableOf(s), request));
}

// The frequency at which a self-coupling alone resonates, and back, from
// the mapping Omega = (f0 / BW)(f / f0 - f0 / f) solved here.
inline double resonanceOf(const FilterDesign &d, double selfCoupling) {
    const double x = -selfCoupling * d.bandwidth / d.f0;
    return d.f0 * (x / 2 + std::sqrt(x * x / 4 + 1));
}
inline double selfCouplingAt(const FilterDesign &d, double f) {
    return -d.f0 / d.bandwidth * (f / d.f0 - d.f0 / f);
}

inline double largestCoupling(const CouplingMatrix &m) {
    double largest = 0;
    for (std::size_t a = 1; a <= m.order; ++a)
        for (std::size_t b = a + 1; b <= m.order; ++b)
            largest = std::max(largest, std::abs(m.at(a, b)));
    return largest;
}

// The matrix with resonator i tuned `mhz` off.
inline void detune(CouplingMatrix &m, const FilterDesign &d, std::size_t i, double mhz) {
    m.set(i, i, selfCouplingAt(d, resonanceOf(d, d.matrix.at(i, i)) + mhz));
}

// The diagnosis of `sweep` against design `d` at 1000 MHz, 10 MHz of BW.
inline MatrixDiagnosis diagnosed(const FilterDesign &d, const Network &sweep,
                                 MatrixDiagnoseSettings settings = {}) {
    settings.f0 = 1000;
    return std::get<MatrixDiagnosis>(diagnoseMatrix(d, 10, sweep, settings));
}

} // namespace varnel::testing
