#include "tuning/least_squares.h"

#include <Eigen/Dense>

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

// Levenberg-Marquardt on the normal equations, scaled as MINPACK scales
// (D_q the largest norm column q of J has had, 1 for a zero column): each
// trial step solves (J'J + mu D^2) h = -J'f by Cholesky, mu starting at
// 1e-12 (all but Gauss-Newton); a step that reduces ||f||^2 by more than
// 1e-4 of what the linear model predicts is taken and mu shrinks by
// max(1/10, 1 - (2 rho - 1)^3), never below 1e-15; else (and where the
// Cholesky fails) mu doubles, then quadruples, ... (Nielsen's update).
// J is evaluated once per taken
// step into one buffer. Converged, as MINPACK's tests: both the actual and
// the predicted relative reduction of ||f||^2 at most ftol with a ratio
// within 2; or the scaled step at most xtol of the scaled x; or a zero
// gradient.
struct Solved {
    int iterations = 0;
    bool converged = false;
};
Solved levenbergMarquardt(Functor &functor, Eigen::VectorXd &x, int maxEvaluations) {
    const double tolerance = std::sqrt(std::numeric_limits<double>::epsilon());
    const Eigen::Index n = x.size();
    Eigen::VectorXd f(functor.values()), trialF(functor.values());
    Eigen::MatrixXd jacobian(functor.values(), n), normal(n, n);
    Eigen::VectorXd gradient(n), scale = Eigen::VectorXd::Zero(n), trial(n);
    functor(x, f);
    double sum = f.squaredNorm();
    int evaluations = 1;
    Solved solved;
    double mu = 1e-12, growth = 2;
    auto raise = [&] {
        mu *= growth;
        growth *= 2;
    };
    auto linearise = [&] {
        functor.df(x, jacobian);
        ++solved.iterations;
        normal.setZero();
        normal.selfadjointView<Eigen::Lower>().rankUpdate(jacobian.transpose());
        normal = normal.selfadjointView<Eigen::Lower>();
        gradient.noalias() = jacobian.transpose() * f;
        for (Eigen::Index q = 0; q < n; ++q)
            scale(q) = std::max(scale(q), std::sqrt(normal(q, q)));
    };
    linearise();
    for (Eigen::Index q = 0; q < n; ++q)
        scale(q) = scale(q) > 0 ? scale(q) : 1;
    while (evaluations < maxEvaluations) {
        if (!(gradient.lpNorm<Eigen::Infinity>() > 0) || !(sum > 0)) {
            solved.converged = gradient.allFinite() && std::isfinite(sum);
            return solved;
        }
        Eigen::MatrixXd damped = normal;
        damped.diagonal() += mu * scale.cwiseAbs2();
        const Eigen::LLT<Eigen::MatrixXd> cholesky(damped);
        if (cholesky.info() != Eigen::Success) {
            raise();
            if (!std::isfinite(mu))
                return solved;
            continue;
        }
        const Eigen::VectorXd step = cholesky.solve(-gradient);
        const double stepSize = scale.cwiseProduct(step).norm();
        const double size = scale.cwiseProduct(x).norm();
        trial = x + step;
        functor(trial, trialF);
        ++evaluations;
        const double trialSum = trialF.squaredNorm();
        const double actual = std::isfinite(trialSum) ? 1 - trialSum / sum : -1;
        const double predicted = (-2 * step.dot(gradient) - step.dot(normal * step)) / sum;
        const double ratio = predicted > 0 ? actual / predicted : 0;
        const bool taken = ratio > 1e-4;
        if (taken) {
            x = trial;
            f.swap(trialF);
            sum = trialSum;
            mu = std::max(1e-15, mu * std::max(0.1, 1 - std::pow(2 * ratio - 1, 3)));
            growth = 2;
        } else {
            raise();
        }
        if ((std::abs(actual) <= tolerance && predicted <= tolerance && ratio <= 2) ||
            stepSize <= tolerance * size) {
            solved.converged = true;
            return solved;
        }
        if (!std::isfinite(mu))
            return solved;
        if (taken)
            linearise();
    }
    return solved;
}

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
    const Solved solved = levenbergMarquardt(functor, x, maxEvaluations);

    LeastSquares fit;
    fit.x.assign(x.data(), x.data() + x.size());
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
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
