#include "tuning/matrix_fit.h"

#include "tuning/least_squares.h"
#include "tuning/matrix_solver.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr Complex j{0, 1};

struct Solved {
    Eigen::VectorXcd xs, xl;
};

// The model's parameters: the free entries, then r (unless Qu is held),
// then t_1, phi_1 and, with S21, t_2, phi_2.
class MatrixResiduals : public ComplexResiduals {
  public:
    MatrixResiduals(const CouplingMatrix &start, const MatrixFitSettings &settings,
                    std::vector<std::pair<std::size_t, std::size_t>> entries, std::vector<double> f,
                    std::vector<Complex> s11, std::vector<Complex> s21, std::vector<Complex> s22)
        : m_start(start), m_settings(settings), m_entries(std::move(entries)), m_f(std::move(f)),
          m_s11(std::move(s11)), m_s21(std::move(s21)), m_s22(std::move(s22)) {}

    bool twoPort() const { return !m_s21.empty(); }
    // S11, S21 and S22 a frequency; S11 and S21 of a forward-only sweep.
    std::size_t traces() const { return twoPort() ? (m_s22.empty() ? 2 : 3) : 1; }
    bool lossFitted() const { return !m_settings.qu; }
    std::size_t lossAt() const { return m_entries.size(); }
    std::size_t lineAt() const { return m_entries.size() + (lossFitted() ? 1 : 0); }
    std::size_t pointCount() const override { return m_f.size() * traces(); }
    std::size_t parameterCount() const override { return lineAt() + (twoPort() ? 4 : 2); }

    double loss(const std::vector<double> &x) const {
        return lossFitted() ? x[lossAt()] : m_settings.f0 / (*m_settings.qu * m_settings.bandwidth);
    }

    CouplingMatrix matrixOf(const std::vector<double> &x) const {
        CouplingMatrix m = m_start;
        for (std::size_t k = 0; k < m_entries.size(); ++k)
            m.set(m_entries[k].first, m_entries[k].second, x[k]);
        return m;
    }

    // The columns S and L of A^-1 at f (matrix_solver.h).
    Solved solve(const std::vector<double> &x, double f) const {
        const double omega =
            m_settings.f0 / m_settings.bandwidth * (f / m_settings.f0 - m_settings.f0 / f);
        Solved solved;
        m_solver->solve(omega, loss(x), solved.xs, solved.xl);
        return solved;
    }

    Complex residual(const std::vector<double> &x, std::size_t point,
                     std::vector<Complex> *d) const override {
        // Point 3i is S11 at f_i, 3i + 1 S21 and 3i + 2 S22 (one solve);
        // 2i and 2i + 1 without S22.
        const std::size_t at = point / traces();
        const int which = static_cast<int>(point % traces());
        const double f = m_f[at];
        // The solves hang on the matrix and the loss alone (not the lines),
        // kept for every point: the Jacobian is asked at the x the values
        // last were.
        if (!std::equal(m_solvedFor.begin(), m_solvedFor.end(), x.begin(),
                        x.begin() + static_cast<std::ptrdiff_t>(lineAt())) ||
            m_solvedFor.size() != lineAt() || m_solved.size() != m_f.size()) {
            m_solvedFor.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(lineAt()));
            m_solved.assign(m_f.size(), Solved{});
            m_solver.emplace(matrixOf(x));
        }
        if (m_solved[at].xs.size() == 0)
            m_solved[at] = solve(x, f);
        const Eigen::VectorXcd &xs = m_solved[at].xs, &xl = m_solved[at].xl;
        const Eigen::Index last = xs.size() - 1;
        const double turn = 2 * std::numbers::pi * f * 1e-3;
        const std::size_t lines = lineAt();
        auto line = [&](std::size_t p) {
            return std::polar(1.0, -(turn * x[lines + 2 * p] + x[lines + 2 * p + 1]));
        };
        const Complex in = line(0), out = twoPort() ? line(1) : Complex(1);
        // The columns a reflection or the transmission is read from, and
        // how many times each port's line turns it.
        const Eigen::VectorXcd &u = which == 2 ? xl : xs, &v = which == 0 ? xs : xl;
        const double times[3][2] = {{2, 0}, {1, 1}, {0, 2}};
        const Complex factor = which == 0 ? in * in : which == 1 ? in * out : out * out;
        const Complex bare =
            which == 1 ? -2.0 * j * xs[last] : 1.0 + 2.0 * j * (which == 0 ? xs[0] : xl[last]);
        const Complex model = bare * factor;
        if (d) {
            d->assign(parameterCount(), 0.0);
            // d[A^-1]_uv / dM_ab = -(u_a v_b + u_b v_a), half on the diagonal.
            const Complex scale = which == 1 ? -2.0 * j : 2.0 * j;
            for (std::size_t k = 0; k < m_entries.size(); ++k) {
                const auto a = static_cast<Eigen::Index>(m_entries[k].first),
                           b = static_cast<Eigen::Index>(m_entries[k].second);
                const double half = a == b ? 0.5 : 1.0;
                (*d)[k] = -factor * scale * half * (u[a] * v[b] + u[b] * v[a]);
            }
            if (lossFitted()) {
                Complex sum = 0;
                for (Eigen::Index i = 1; i < last; ++i)
                    sum += u[i] * v[i];
                (*d)[lossAt()] = factor * scale * j * sum;
            }
            for (std::size_t p = 0; p < (twoPort() ? 2u : 1u); ++p) {
                (*d)[lines + 2 * p] = model * (-j * turn * times[which][p]);
                (*d)[lines + 2 * p + 1] = model * (-j * times[which][p]);
            }
        }
        const std::vector<Complex> &measured = which == 0 ? m_s11 : which == 1 ? m_s21 : m_s22;
        return model - measured[at];
    }

  private:
    const CouplingMatrix &m_start;
    const MatrixFitSettings &m_settings;
    std::vector<std::pair<std::size_t, std::size_t>> m_entries;
    std::vector<double> m_f;
    std::vector<Complex> m_s11, m_s21, m_s22;
    mutable std::vector<double> m_solvedFor;
    mutable std::vector<Solved> m_solved;
    mutable std::optional<MatrixSolver> m_solver;
};

// The entries the fit frees: every self-coupling, S-1, N-L and the
// pattern's couplings between resonators.
std::vector<std::pair<std::size_t, std::size_t>> freeEntries(const CouplingPattern &pattern) {
    const std::size_t n = pattern.order;
    std::vector<std::pair<std::size_t, std::size_t>> entries{{0, 1}};
    for (std::size_t a = 1; a <= n; ++a) {
        entries.emplace_back(a, a);
        for (std::size_t b = a + 1; b <= n; ++b)
            if (pattern.at(a, b))
                entries.emplace_back(a, b);
    }
    entries.emplace_back(n, n + 1);
    return entries;
}

} // namespace

AlignedLines alignedLines(const CouplingMatrix &matrix, const MatrixBand &band,
                          const std::vector<double> &fMHz, const std::vector<Complex> &s11,
                          const std::vector<Complex> &s21) {
    const std::vector<MatrixResponse> model = matrixResponses(matrix, band, fMHz);
    auto turnOf = [&](const std::vector<Complex> &measured, bool transmission) {
        std::vector<Complex> p;
        for (std::size_t i = 0; i < fMHz.size(); ++i)
            p.push_back(measured[i] * std::conj(transmission ? model[i].s21 : model[i].s11));
        return meanTurn(fMHz, p);
    };
    const double toNs = -1e3 / (2 * std::numbers::pi);
    AlignedLines lines;
    const TraceTurn t11 = turnOf(s11, false);
    lines.delayNs[0] = t11.radPerMHz * toNs / 2;
    lines.phaseRad[0] = -t11.phaseRad / 2;
    if (!s21.empty()) {
        const TraceTurn t21 = turnOf(s21, true);
        lines.delayNs[1] = t21.radPerMHz * toNs - lines.delayNs[0];
        lines.phaseRad[1] = -t21.phaseRad - lines.phaseRad[0];
    }
    return lines;
}

MatrixFit fitMatrix(const CouplingMatrix &start, const Network &network,
                    const MatrixFitSettings &settings) {
    const bool twoPort = network.ports == 2 && !network.only;
    const std::size_t stride = fitPointStride(network.size());
    std::vector<double> f;
    std::vector<Complex> s11, s21, s22;
    const ParameterView all11 = network.view({1, 1});
    const ParameterView all21 = twoPort ? network.view({2, 1}) : ParameterView();
    const ParameterView all22 =
        twoPort && !network.forwardOnly ? network.view({2, 2}) : ParameterView();
    for (std::size_t i = 0; i < network.size(); i += stride) {
        f.push_back(network.frequencyMHz[i]);
        s11.push_back(all11[i]);
        if (twoPort)
            s21.push_back(all21[i]);
        if (!all22.empty())
            s22.push_back(all22[i]);
    }
    MatrixResiduals residuals(start, settings, freeEntries(settings.pattern), f, s11, s21, s22);
    std::vector<double> x(residuals.parameterCount(), 0.0);
    const auto entries = freeEntries(settings.pattern);
    for (std::size_t k = 0; k < entries.size(); ++k)
        x[k] = start.at(entries[k].first, entries[k].second);
    if (residuals.lossFitted())
        x[residuals.lossAt()] = settings.f0 / (settings.startQu * settings.bandwidth);
    const MatrixBand band{
        settings.f0, settings.bandwidth, settings.qu.value_or(settings.startQu), {0, 0}, {0, 0}};
    const AlignedLines aligned = alignedLines(start, band, f, s11, s21);
    const std::size_t lines = residuals.lineAt();
    x[lines] = aligned.delayNs[0];
    x[lines + 1] = aligned.phaseRad[0];
    if (twoPort) {
        x[lines + 2] = aligned.delayNs[1];
        x[lines + 3] = aligned.phaseRad[1];
    }
    // The loss and the lines first, the matrix held at the start: a start
    // with them right keeps the full fit in the start's own valley, never
    // an equivalent matrix of the topology further off.
    {
        MatrixResiduals held(start, settings, {}, f, s11, s21, s22);
        std::vector<double> y(x.begin() + static_cast<std::ptrdiff_t>(entries.size()), x.end());
        const LeastSquares first = fitLeastSquares(held, y, 200);
        std::copy(first.x.begin(), first.x.end(),
                  x.begin() + static_cast<std::ptrdiff_t>(entries.size()));
    }
    const LeastSquares solved = fitLeastSquares(residuals, x, 400);
    MatrixFit fit;
    fit.matrix = residuals.matrixOf(solved.x);
    fit.entries = entries;
    fit.uncertainty.assign(solved.uncertainty.begin(),
                           solved.uncertainty.begin() +
                               static_cast<std::ptrdiff_t>(entries.size()));
    const double r = residuals.loss(solved.x);
    fit.qu = r > 0 ? settings.f0 / (r * settings.bandwidth) : 0;
    fit.delayNs[0] = solved.x[lines];
    fit.phaseRad[0] = std::remainder(solved.x[lines + 1], 2 * std::numbers::pi);
    if (twoPort) {
        fit.delayNs[1] = solved.x[lines + 2];
        fit.phaseRad[1] = std::remainder(solved.x[lines + 3], 2 * std::numbers::pi);
    }
    fit.residualRms = solved.residualRms;
    fit.iterations = solved.iterations;
    fit.converged = solved.converged;
    return fit;
}

} // namespace varnel
