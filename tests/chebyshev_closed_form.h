#pragma once

#include <cmath>
#include <complex>
#include <vector>

// The generalized Chebyshev response from its definition, written apart
// from the synthesis: |C(Omega)| = |cosh(sum acosh x_n)|, x_n = (Omega -
// 1/w_n) / (1 - Omega/w_n) (x_n = Omega for a zero at infinity), in
// complex arithmetic, and |S21|^2 = 1 / (1 + eps_c^2 C^2) with eps_c from
// the return loss.
namespace varnel::testing {

inline double chebyshevC(double omega, const std::vector<double> &zeros, int order) {
    std::complex<double> sum = 0;
    for (int n = 0; n < order; ++n) {
        const bool finite = n < static_cast<int>(zeros.size());
        const double w = finite ? zeros[static_cast<std::size_t>(n)] : 0;
        const double x = finite ? (omega - 1 / w) / (1 - omega / w) : omega;
        sum += std::acosh(std::complex<double>(x, 0));
    }
    return std::abs(std::cosh(sum));
}

inline double chebyshevS21Squared(double omega, const std::vector<double> &zeros, int order,
                                  double returnLossDb) {
    const double epsC2 = 1 / (std::pow(10.0, returnLossDb / 10) - 1);
    const double c = chebyshevC(omega, zeros, order);
    return 1 / (1 + epsC2 * c * c);
}

} // namespace varnel::testing
