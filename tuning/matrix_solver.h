#pragma once

#include "tuning/coupling_matrix.h"

#include <Eigen/Dense>

#include <array>

// A coupling matrix's A(Omega) = Omega W - j R + M - j r W solved at many
// frequencies (coupling_matrix.h's convention, r the loss on every
// resonator): the resonators' block M_r = V diag(l) V^T is decomposed once,
// so that with d_k = 1 / (Omega - j r + l_k), u = V^T m_S and w = V^T m_L
// (the ports' couplings), the ports' block of A^-1 is
//     G = (P - [u w]^T diag(d) [u w])^-1   (2 x 2, P the ports' entries less j)
// and its resonators' rows -V diag(d) [u w] G: O(N^2) a frequency. Within
// 1e-9 of a pole of the block (d_k beyond 1e9, a lossless resonance) the
// whole A is factored instead.
// Worked example: one resonator tuned to 0 coupled 1 to each port
// (coupling_matrix.h's): at Omega = 0 lossless the block is singular and A
// is factored: S11 = 0, S21 = -1; at Omega = 1, d = 1 and G = ([-j 0; 0
// -j] - [1 1; 1 1])^-1: S11 = -0.2 - 0.4j, S21 = -0.8 + 0.4j.
namespace varnel {

class MatrixSolver {
  public:
    explicit MatrixSolver(const CouplingMatrix &matrix);

    // The columns S and L of A^-1.
    void solve(double omega, double loss, Eigen::VectorXcd &xs, Eigen::VectorXcd &xl) const;
    // S11 = 1 + 2j [A^-1]_SS, S21 = -2j [A^-1]_LS, S22 = 1 + 2j [A^-1]_LL.
    MatrixResponse response(double omega, double loss) const;

  private:
    CouplingMatrix m_matrix;
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> m_eigen;
    Eigen::VectorXd m_u, m_w;
    Eigen::MatrixXcd m_vectors;      // V, complex for the products
    std::array<double, 3> m_ports{}; // M_SS, M_SL, M_LL
};

} // namespace varnel
