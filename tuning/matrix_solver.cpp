#include "tuning/matrix_solver.h"

#include <cmath>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr Complex j{0, 1};
constexpr double nearPole = 1e-9;

} // namespace

MatrixSolver::MatrixSolver(const CouplingMatrix &matrix) : m_matrix(matrix) {
    const auto n = static_cast<Eigen::Index>(matrix.size());
    const auto inner = n - 2;
    Eigen::MatrixXd block(inner, inner);
    Eigen::VectorXd source(inner), load(inner);
    for (Eigen::Index r = 0; r < inner; ++r) {
        for (Eigen::Index c = 0; c < inner; ++c)
            block(r, c) =
                matrix.at(static_cast<std::size_t>(r + 1), static_cast<std::size_t>(c + 1));
        source[r] = matrix.at(0, static_cast<std::size_t>(r + 1));
        load[r] = matrix.at(static_cast<std::size_t>(n - 1), static_cast<std::size_t>(r + 1));
    }
    m_eigen.compute(block);
    m_u = m_eigen.eigenvectors().transpose() * source;
    m_w = m_eigen.eigenvectors().transpose() * load;
    m_vectors = m_eigen.eigenvectors().cast<Complex>();
    const auto last = static_cast<std::size_t>(n - 1);
    m_ports = {matrix.at(0, 0), matrix.at(0, last), matrix.at(last, last)};
}

void MatrixSolver::solve(double omega, double loss, Eigen::VectorXcd &xs,
                         Eigen::VectorXcd &xl) const {
    const Complex shift = omega - j * loss;
    const Eigen::Index inner = m_u.size(), n = inner + 2;
    Eigen::VectorXcd d(inner);
    Complex ss = 0, sl = 0, ll = 0;
    bool pole = false;
    for (Eigen::Index k = 0; k < inner; ++k) {
        const Complex denominator = shift + m_eigen.eigenvalues()[k];
        pole = pole || std::abs(denominator) < nearPole;
        d[k] = 1.0 / denominator;
        ss += m_u[k] * m_u[k] * d[k];
        sl += m_u[k] * m_w[k] * d[k];
        ll += m_w[k] * m_w[k] * d[k];
    }
    if (pole) {
        Eigen::MatrixXcd a(n, n);
        for (Eigen::Index r = 0; r < n; ++r)
            for (Eigen::Index c = 0; c < n; ++c)
                a(r, c) = m_matrix.m[static_cast<std::size_t>(r * n + c)];
        a(0, 0) -= j;
        a(n - 1, n - 1) -= j;
        for (Eigen::Index r = 1; r + 1 < n; ++r)
            a(r, r) += shift;
        Eigen::MatrixXcd ends = Eigen::MatrixXcd::Zero(n, 2);
        ends(0, 0) = 1;
        ends(n - 1, 1) = 1;
        const Eigen::MatrixXcd x = a.partialPivLu().solve(ends);
        xs = x.col(0);
        xl = x.col(1);
        return;
    }
    const Complex p00 = m_ports[0] - j - ss, p01 = m_ports[1] - sl, p11 = m_ports[2] - j - ll;
    const Complex det = p00 * p11 - p01 * p01;
    const Complex g00 = p11 / det, g01 = -p01 / det, g11 = p00 / det;
    auto column = [&](Complex top, Complex bottom, Eigen::VectorXcd &v) {
        v.resize(n);
        v[0] = top;
        v[n - 1] = bottom;
        const Eigen::VectorXcd weighted =
            d.array() * (m_u.cast<Complex>().array() * top + m_w.cast<Complex>().array() * bottom);
        v.segment(1, inner).noalias() = -(m_vectors * weighted);
    };
    column(g00, g01, xs);
    column(g01, g11, xl);
}

MatrixResponse MatrixSolver::response(double omega, double loss) const {
    Eigen::VectorXcd xs, xl;
    solve(omega, loss, xs, xl);
    const Eigen::Index last = xs.size() - 1;
    return {1.0 + 2.0 * j * xs[0], -2.0 * j * xs[last], 1.0 + 2.0 * j * xl[last]};
}

} // namespace varnel
