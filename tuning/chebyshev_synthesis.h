#pragma once

#include "tuning/coupling_matrix.h"

#include <complex>
#include <cstddef>
#include <vector>

// The generalized Chebyshev filtering function and its coupling matrices,
// in the low-pass domain (Omega, s = j Omega).
//
// The filtering function of degree N with transmission zeros w_1..w_nz
// (real Omega outside [-1, 1]; nz <= N - 2, the rest at infinity) is
// C(Omega) = cosh(sum_n acosh x_n), x_n = (Omega - 1/w_n) / (1 - Omega/w_n),
// built by the recursion U_0 = 1, V_0 = 0,
//     U_n = (Omega - 1/w_n) U_(n-1) + sqrt(1 - 1/w_n^2) (Omega^2 - 1) V_(n-1),
//     V_n = (Omega - 1/w_n) V_(n-1) + sqrt(1 - 1/w_n^2) U_(n-1),
// so F = U_N up to a constant (its roots the reflection zeros) and
// P = prod (Omega - w_n). In s, with F and P monic and P multiplied by j
// when N - nz is even, S11 = F / E and S21 = P / (eps E): eps sets the
// ripple, eps = |P(1) / F(1)| / sqrt(10^(RL/10) - 1), and E is the
// Hurwitz polynomial of |E|^2 = |F|^2 + |P|^2 / eps^2 (from the roots of
// F + j P / eps, each taken into the upper half of the Omega plane).
//
// The transversal matrix follows from the admittances y21 = (P/eps) / yd,
// y22 = yn / yd, where E + F split into m1 (the real parts of its even
// coefficients and j times the imaginary parts of its odd ones) and n1
// (the rest): yd = m1, yn = n1 for even N, the other way round for odd N.
// At each pole s_k = j lambda_k of yd, with residues r21_k and r22_k:
//     M_Lk = sqrt(r22_k),  M_Sk = r21_k / M_Lk,  M_kk = -lambda_k.
// The folded matrix comes from it by an orthogonal change of resonators
// that leaves one input and one output coupling (M_S1, M_NL), then plane
// rotations that clear, row r and column N + 1 - r in turn, everything
// off the main line and off the cross diagonals i + j = N + 1 and
// i + j = N + 2; main-line couplings are then made positive.
//
// Worked example: N = 2, return loss 20 dB, no zeros: F = Omega^2 - 1/2
// (reflection zeros at +- 0.7071), P = 1, eps = 1/(0.5 sqrt(99)) =
// 0.20101; the folded matrix is the in-line one of the Chebyshev
// prototype (g_1 = 2/3, g_2 = 6/11, g_3 = 11/9): M_S1 = 1/sqrt(g_1) =
// 1.2247, M_12 = 1/sqrt(g_1 g_2) = 1.6583, M_2L = 1/sqrt(g_2 g_3) = 1.2247.
namespace varnel {

struct FilteringFunction {
    std::size_t order = 0;
    std::vector<double> zeros;           // transmission zeros, Omega
    std::vector<double> reflectionZeros; // roots of F, Omega, ascending
    // In s: the roots of F, P and E (in long double, which the synthesis
    // of high orders needs), P's factor (1 or j) and eps.
    std::vector<std::complex<long double>> fRoots, pRoots, eRoots;
    std::complex<long double> pFactor = 1;
    double epsilon = 0;

    // F, P and E at s, from their roots.
    std::complex<long double> f(std::complex<long double> s) const;
    std::complex<long double> p(std::complex<long double> s) const;
    std::complex<long double> e(std::complex<long double> s) const;
};

FilteringFunction chebyshevFunction(std::size_t order, double returnLossDb,
                                    const std::vector<double> &zeros);

// The N + 2 transversal matrix: every resonator coupled to S and L only.
CouplingMatrix transversalMatrix(const FilteringFunction &function);

// The canonical folded matrix of the same response.
CouplingMatrix foldedMatrix(const CouplingMatrix &transversal);

// How far the matrix's |S11| and |S21| are from |F/E| and |P/(eps E)|:
// the largest difference over Omega = -4..4 (step 0.005) and at the zeros.
double realisationError(const CouplingMatrix &matrix, const FilteringFunction &function);

// The main line's couplings (the ports' included) made positive by
// turning the sign of whole resonators: the response but S21's sign stays.
void makeMainLinePositive(CouplingMatrix &matrix);

// Whether M_ij may be non-zero in the folded form of order N (0 = S,
// N + 1 = L): the diagonal, the main line, and between resonators the
// cross diagonals i + j = N + 1 and i + j = N + 2.
bool inFoldedPattern(std::size_t order, std::size_t i, std::size_t j);

} // namespace varnel
