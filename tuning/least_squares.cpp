#include "tuning/least_squares.h"

#include <Eigen/Dense>
#include <unsupported/Eigen/NonLinearOptimization>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;

// The residuals as Eigen's solver asks for them, values and Jacobian each
// all at once: a point's real part, then its imaginary part, from one
// evaluation.
struct Functor {
    const ComplexResiduals &m_residuals;
    const Priors &m_priors;
    std::vector<double> m_x;
    std::vector<Complex> m_derivatives;

    std::size_t pointRows() const { return 2 * m_residuals.pointCount(); }
    int values() const { return static_cast<int>(pointRows() + m_priors.priors.size()); }
    int inputs() const { return static_cast<int>(m_residuals.parameterCount()); }
    double priorWeight(const Prior &p) const { return m_priors.rowNoise / p.sigma; }

    int operator()(const Eigen::VectorXd &x, Eigen::VectorXd &values) const {
        const std::vector<double> parameters(x.data(), x.data() + x.size());
        for (std::size_t j = 0; j < m_residuals.pointCount(); ++j) {
            const Complex e = m_residuals.residual(parameters, j, nullptr);
            values[static_cast<Eigen::Index>(2 * j)] = e.real();
            values[static_cast<Eigen::Index>(2 * j + 1)] = e.imag();
        }
        for (std::size_t q = 0; q < m_priors.priors.size(); ++q) {
            const Prior &p = m_priors.priors[q];
            values[static_cast<Eigen::Index>(pointRows() + q)] =
                priorWeight(p) * (x[static_cast<Eigen::Index>(p.index)] - p.mean);
        }
        return 0;
    }

    int df(const Eigen::VectorXd &x, Eigen::MatrixXd &jacobian) {
        m_x.assign(x.data(), x.data() + x.size());
        for (std::size_t j = 0; j < m_residuals.pointCount(); ++j) {
            m_residuals.residual(m_x, j, &m_derivatives);
            const auto row = static_cast<Eigen::Index>(2 * j);
            for (std::size_t q = 0; q < m_derivatives.size(); ++q) {
                jacobian(row, static_cast<Eigen::Index>(q)) = m_derivatives[q].real();
                jacobian(row + 1, static_cast<Eigen::Index>(q)) = m_derivatives[q].imag();
            }
        }
        for (std::size_t q = 0; q < m_priors.priors.size(); ++q) {
            const Prior &p = m_priors.priors[q];
            const auto row = static_cast<Eigen::Index>(pointRows() + q);
            jacobian.row(row).setZero();
            jacobian(row, static_cast<Eigen::Index>(p.index)) = priorWeight(p);
        }
        return 0;
    }

    // J^T J at x, the priors' rows included.
    Eigen::MatrixXd normalMatrix(const Eigen::VectorXd &x) {
        Eigen::MatrixXd jacobian(values(), inputs());
        df(x, jacobian);
        Eigen::MatrixXd product = Eigen::MatrixXd::Zero(x.size(), x.size());
        product.selfadjointView<Eigen::Lower>().rankUpdate(jacobian.transpose());
        return product.selfadjointView<Eigen::Lower>();
    }
};

// The parameters a direction the sweep does not see moves: the normal
// matrix scaled to a unit diagonal has an eigenvalue below 1e-10 whose
// eigenvector reaches them (a share above 1e-6). Its inverse there is
// rounding, a variance that may even come out negative: such a parameter
// is unknown, never known exactly.
std::vector<bool> unseenParameters(const Eigen::MatrixXd &normal) {
    const Eigen::Index n = normal.rows();
    std::vector<bool> unseen(static_cast<std::size_t>(n), false);
    Eigen::VectorXd scale(n);
    for (Eigen::Index q = 0; q < n; ++q) {
        scale(q) = normal(q, q) > 0 ? 1 / std::sqrt(normal(q, q)) : 0;
        unseen[static_cast<std::size_t>(q)] = !(normal(q, q) > 0);
    }
    const Eigen::MatrixXd scaled = scale.asDiagonal() * normal * scale.asDiagonal();
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(scaled);
    for (Eigen::Index k = 0; k < n; ++k) {
        if (eigen.eigenvalues()(k) >= 1e-10)
            continue;
        for (Eigen::Index q = 0; q < n; ++q)
            if (eigen.eigenvectors()(q, k) * eigen.eigenvectors()(q, k) > 1e-6)
                unseen[static_cast<std::size_t>(q)] = true;
    }
    return unseen;
}

} // namespace

LeastSquares fitLeastSquares(const ComplexResiduals &residuals, const std::vector<double> &start,
                             int maxEvaluations, const Priors &priors) {
    Functor functor{residuals, priors, {}, {}};
    Eigen::VectorXd x =
        Eigen::Map<const Eigen::VectorXd>(start.data(), static_cast<Eigen::Index>(start.size()));
    Eigen::LevenbergMarquardt<Functor> solver(functor);
    solver.parameters.maxfev = maxEvaluations;
    const Eigen::LevenbergMarquardtSpace::Status status = solver.minimize(x);

    LeastSquares fit;
    fit.x.assign(x.data(), x.data() + x.size());
    fit.iterations = static_cast<int>(solver.iter);
    fit.converged = status == Eigen::LevenbergMarquardtSpace::RelativeReductionTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::RelativeErrorTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::RelativeErrorAndReductionTooSmall ||
                    status == Eigen::LevenbergMarquardtSpace::CosinusTooSmall;
    Eigen::VectorXd all(functor.values());
    functor(x, all);
    const auto e = all.head(static_cast<Eigen::Index>(functor.pointRows()));
    fit.residualRms = std::sqrt(e.squaredNorm() / std::max<double>(1, residuals.pointCount()));
    const double variance =
        e.squaredNorm() / std::max<double>(1.0, static_cast<double>(e.size() - x.size()));
    const Eigen::MatrixXd normal = functor.normalMatrix(x);
    const Eigen::MatrixXd covariance =
        variance * normal.ldlt().solve(Eigen::MatrixXd::Identity(x.size(), x.size()));
    const std::vector<bool> unseen = unseenParameters(normal);
    for (Eigen::Index q = 0; q < x.size(); ++q)
        fit.uncertainty.push_back(unseen[static_cast<std::size_t>(q)] || !(covariance(q, q) >= 0)
                                      ? std::numeric_limits<double>::infinity()
                                      : std::sqrt(covariance(q, q)));
    fit.covariance.resize(static_cast<std::size_t>(x.size() * x.size()));
    Eigen::Map<Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>(
        fit.covariance.data(), x.size(), x.size()) = covariance;
    return fit;
}

double propagatedUncertainty(const std::vector<double> &covariance,
                             std::initializer_list<Partial> gradient) {
    const auto n = static_cast<std::size_t>(std::lround(std::sqrt(covariance.size())));
    double variance = 0;
    for (const Partial &a : gradient)
        for (const Partial &b : gradient)
            variance += a.derivative * b.derivative * covariance[a.index * n + b.index];
    return std::sqrt(std::max(0.0, variance));
}

TraceTurn meanTurn(const std::vector<double> &f, const std::vector<Complex> &p) {
    Complex turns = 0;
    for (std::size_t j = 1; j < p.size(); ++j)
        turns += p[j] * std::conj(p[j - 1]);
    const double step =
        p.size() > 1 ? (f.back() - f.front()) / static_cast<double>(p.size() - 1) : 0;
    TraceTurn turn;
    turn.radPerMHz = step > 0 ? std::arg(turns) / step : 0;
    Complex aligned = 0;
    for (std::size_t j = 0; j < p.size(); ++j)
        aligned += p[j] * std::polar(1.0, -turn.radPerMHz * (f[j] - f.front()));
    turn.phaseRad =
        std::remainder(std::arg(aligned) - turn.radPerMHz * f.front(), 2 * std::numbers::pi);
    return turn;
}

} // namespace varnel
