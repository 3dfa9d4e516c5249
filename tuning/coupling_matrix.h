#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

// The normalized coupling matrix of a filter of N resonators between a
// source S and a load L: (N+2) x (N+2), rows and columns S, 1..N, L,
// symmetric, each resonator's self-coupling on the diagonal. At the
// low-pass frequency Omega,
//     A(Omega) = Omega W - j R + M,
// W the identity but W_SS = W_LL = 0, R = diag(1, 0, ..., 0, 1), and
//     S21 = -2j [A^-1]_LS,  S11 = 1 + 2j [A^-1]_SS,  S22 = 1 + 2j [A^-1]_LL.
// The band-pass frequency f maps to Omega = (f0 / BW)(f/f0 - f0/f), so a
// resonator with self-coupling M_ii alone resonates at Omega = -M_ii.
// Loss: -j f0 / (Qu BW) on every resonator's diagonal entry, the same at
// every frequency. Port p's line (a one-way delay tau_p in ns and a phase
// phi_p) multiplies its wave by exp(-j (2 pi f tau_p + phi_p)): S11 gets
// its square, S21 the product of both ports'.
//
// Worked example: one resonator, M_S1 = M_1L = 1, lossless, at Omega = 0:
// A = [[-j, 1, 0], [1, 0, 1], [0, 1, -j]], det A = 2j, [A^-1]_SS = -1/2j
// = j/2 and [A^-1]_LS = 1/2j = -j/2, so S11 = 1 + 2j (j/2) = 0 and
// S21 = -2j (-j/2) = -1: the tuned resonator passes everything.
namespace varnel {

struct CouplingMatrix {
    std::size_t order = 0; // N
    std::vector<double> m; // (N+2)^2, row-major; index 0 = S, N+1 = L

    explicit CouplingMatrix(std::size_t n = 0) : order(n), m((n + 2) * (n + 2), 0.0) {}
    std::size_t size() const { return order + 2; }
    double at(std::size_t i, std::size_t j) const { return m[i * size() + j]; }
    // Sets both M_ij and M_ji.
    void set(std::size_t i, std::size_t j, double value) {
        m[i * size() + j] = value;
        m[j * size() + i] = value;
    }
};

// Where the matrix sits in frequency, and what it sits behind.
struct MatrixBand {
    double f0 = 0;            // MHz
    double bandwidth = 0;     // MHz
    std::optional<double> qu; // lossless without
    double delayNs[2] = {0, 0};
    double phaseRad[2] = {0, 0};
};

struct MatrixResponse {
    std::complex<double> s11, s21, s22;
};

// Omega = (f0 / BW)(f/f0 - f0/f).
double lowPassOmega(const MatrixBand &band, double fMHz);

// The band-pass frequency at which the low-pass Omega falls (the positive
// root of the mapping).
double bandPassFrequency(const MatrixBand &band, double omega);

// The response at the low-pass Omega, no loss and no lines.
MatrixResponse lowPassResponse(const CouplingMatrix &matrix, double omega);

// The response at f (MHz): loss and lines as `band` has them.
MatrixResponse matrixResponse(const CouplingMatrix &matrix, const MatrixBand &band, double fMHz);

// The same at many Omega or frequencies, the matrix decomposed once
// (matrix_solver.h).
std::vector<MatrixResponse> lowPassResponses(const CouplingMatrix &matrix,
                                             const std::vector<double> &omegas);
std::vector<MatrixResponse> matrixResponses(const CouplingMatrix &matrix, const MatrixBand &band,
                                            const std::vector<double> &fMHz);

} // namespace varnel
