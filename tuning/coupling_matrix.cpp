#include "tuning/coupling_matrix.h"

#include <Eigen/Dense>

#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr Complex j{0, 1};

// A's columns S and L solved at once; `loss` is added to every
// resonator's diagonal entry.
MatrixResponse solved(const CouplingMatrix &matrix, double omega, Complex loss) {
    const auto n = static_cast<Eigen::Index>(matrix.size());
    Eigen::MatrixXcd a(n, n);
    for (Eigen::Index r = 0; r < n; ++r)
        for (Eigen::Index c = 0; c < n; ++c)
            a(r, c) = matrix.m[static_cast<std::size_t>(r * n + c)];
    a(0, 0) -= j;
    a(n - 1, n - 1) -= j;
    for (Eigen::Index r = 1; r + 1 < n; ++r)
        a(r, r) += omega + loss;
    Eigen::MatrixXcd ends = Eigen::MatrixXcd::Zero(n, 2);
    ends(0, 0) = 1;
    ends(n - 1, 1) = 1;
    const Eigen::MatrixXcd x = a.partialPivLu().solve(ends);
    return {1.0 + 2.0 * j * x(0, 0), -2.0 * j * x(n - 1, 0), 1.0 + 2.0 * j * x(n - 1, 1)};
}

} // namespace

double lowPassOmega(const MatrixBand &band, double fMHz) {
    return band.f0 / band.bandwidth * (fMHz / band.f0 - band.f0 / fMHz);
}

double bandPassFrequency(const MatrixBand &band, double omega) {
    // f/f0 - f0/f = x, x = Omega BW / f0: f/f0 = (x + sqrt(x^2 + 4)) / 2.
    const double x = omega * band.bandwidth / band.f0;
    return band.f0 * (x + std::sqrt(x * x + 4)) / 2;
}

MatrixResponse lowPassResponse(const CouplingMatrix &matrix, double omega) {
    return solved(matrix, omega, 0.0);
}

MatrixResponse matrixResponse(const CouplingMatrix &matrix, const MatrixBand &band, double fMHz) {
    const Complex loss = band.qu ? -j * band.f0 / (*band.qu * band.bandwidth) : 0.0;
    MatrixResponse r = solved(matrix, lowPassOmega(band, fMHz), loss);
    // f in MHz and tau in ns: 2 pi f tau carries 1e-3.
    auto line = [&](int p) {
        return std::polar(
            1.0, -(2 * std::numbers::pi * fMHz * band.delayNs[p] * 1e-3 + band.phaseRad[p]));
    };
    const Complex in = line(0), out = line(1);
    r.s11 *= in * in;
    r.s21 *= in * out;
    r.s22 *= out * out;
    return r;
}

} // namespace varnel
