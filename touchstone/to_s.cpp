#include "touchstone/to_s.h"

#include <cmath>
#include <utility>

namespace varnel {

bool toS(std::array<std::complex<double>, 16> &m, int n, NetworkKind kind) {
    using Complex = std::complex<double>;
    std::array<Complex, 16> a{}, b{}; // a = z + I (or I + y), b = z - I (or I - y)
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const Complex v = m[i * n + j];
            const Complex one = i == j ? 1.0 : 0.0;
            a[i * n + j] = v + one;
            b[i * n + j] = kind == NetworkKind::Z ? v - one : one - v;
        }
    // S a = b, so S = b a^-1: solve a^T S^T = b^T by Gauss-Jordan elimination.
    std::array<Complex, 16> at{}, bt{};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            at[i * n + j] = a[j * n + i];
            bt[i * n + j] = b[j * n + i];
        }
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::abs(at[r * n + col]) > std::abs(at[pivot * n + col]))
                pivot = r;
        if (!(std::abs(at[pivot * n + col]) > 1e-300))
            return false;
        for (int k = 0; k < n; ++k) {
            std::swap(at[col * n + k], at[pivot * n + k]);
            std::swap(bt[col * n + k], bt[pivot * n + k]);
        }
        const Complex inverse = 1.0 / at[col * n + col];
        for (int k = 0; k < n; ++k) {
            at[col * n + k] *= inverse;
            bt[col * n + k] *= inverse;
        }
        for (int r = 0; r < n; ++r) {
            if (r == col)
                continue;
            const Complex factor = at[r * n + col];
            if (factor == 0.0)
                continue;
            for (int k = 0; k < n; ++k) {
                at[r * n + k] -= factor * at[col * n + k];
                bt[r * n + k] -= factor * bt[col * n + k];
            }
        }
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            m[i * n + j] = bt[j * n + i];
    for (int k = 0; k < n * n; ++k)
        if (!std::isfinite(m[k].real()) || !std::isfinite(m[k].imag()))
            return false;
    return true;
}

} // namespace varnel
