#include "tuning/topology_search.h"

#include "tuning/chebyshev_synthesis.h"

#include <Eigen/Dense>
#include <unsupported/Eigen/NonLinearOptimization>
#include <unsupported/Eigen/NumericalDiff>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

namespace varnel {

CouplingPattern cascadePattern(std::size_t order, const std::vector<Section> &sections) {
    CouplingPattern pattern(order);
    for (std::size_t i = 1; i < order; ++i)
        pattern.allow(i, i + 1);
    for (const Section &s : sections)
        pattern.allow(s.first, s.last);
    return pattern;
}

namespace {

// `count` sections of `size` resonators: apart (1..size, size+1..) when
// they fit, else each sharing its last resonator with the next.
std::vector<Section> sections(std::size_t order, std::size_t count, std::size_t size) {
    std::vector<Section> list;
    const std::size_t step = count * size <= order ? size : size - 1;
    for (std::size_t k = 0; k < count; ++k)
        list.push_back({1 + k * step, k * step + size});
    if (!list.empty() && list.back().last > order)
        return {};
    return list;
}

} // namespace

std::vector<Section> tripletSections(std::size_t order, std::size_t count) {
    return sections(order, count, 3);
}

std::vector<Section> quadrupletSections(std::size_t order, std::size_t count) {
    return sections(order, count, 4);
}

std::vector<double> sectionZeros(const CouplingMatrix &m, const Section &s) {
    const std::size_t a = s.first, b = s.last;
    if (m.at(a, b) == 0)
        return {};
    if (b == a + 2)
        return {m.at(a, a + 1) * m.at(a + 1, a + 2) / m.at(a, b) - m.at(a + 1, a + 1)};
    // Quadruplet: with its inner resonators 2, 3 eliminated, a and b are
    // coupled by M_ab + M_a2 M_23 M_3b / ((W + M_22)(W + M_33) - M_23^2):
    // 0 on a quadratic in W.
    const double m22 = m.at(a + 1, a + 1), m33 = m.at(a + 2, a + 2), m23 = m.at(a + 1, a + 2);
    const double path = m.at(a, a + 1) * m23 * m.at(a + 2, b) / m.at(a, b);
    const double p = m22 + m33, q = m22 * m33 - m23 * m23 + path;
    const double discriminant = p * p / 4 - q;
    if (discriminant < 0)
        return {};
    const double root = std::sqrt(discriminant);
    return {-p / 2 - root, -p / 2 + root};
}

bool sectionsMatchZeros(const CouplingMatrix &m, const std::vector<Section> &sections,
                        const std::vector<double> &zeros,
                        const std::function<bool(double, double, std::size_t)> &near) {
    const std::size_t per = sections.empty() || sections[0].last - sections[0].first == 2 ? 1 : 2;
    if (zeros.size() < per * sections.size())
        return false;
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const std::vector<double> made = sectionZeros(m, sections[k]);
        std::vector<double> wanted(zeros.begin() + static_cast<std::ptrdiff_t>(per * k),
                                   zeros.begin() + static_cast<std::ptrdiff_t>(per * (k + 1)));
        std::sort(wanted.begin(), wanted.end());
        if (made.size() != wanted.size())
            return false;
        for (std::size_t i = 0; i < made.size(); ++i)
            if (!near(made[i], wanted[i], k))
                return false;
    }
    return true;
}

namespace {

using Matrix = Eigen::MatrixXd;

// The lacking couplings of Q F Q' as functions of K's entries.
struct Lacking {
    using Scalar = double;
    using InputType = Eigen::VectorXd;
    using ValueType = Eigen::VectorXd;
    using JacobianType = Eigen::MatrixXd;
    enum { InputsAtCompileTime = Eigen::Dynamic, ValuesAtCompileTime = Eigen::Dynamic };

    Matrix m_block;                                             // F's resonators
    Matrix m_start;                                             // Q0, on resonators 2..N-1
    std::vector<std::pair<Eigen::Index, Eigen::Index>> m_pairs; // 0-based
    Eigen::Index m_free = 0;

    Lacking(const Matrix &block, const Matrix &start,
            std::vector<std::pair<Eigen::Index, Eigen::Index>> pairs)
        : m_block(block), m_start(start), m_pairs(std::move(pairs)), m_free(start.rows()) {}

    int inputs() const { return static_cast<int>(skewCount(m_free)); }
    // Never fewer values than inputs: the spare ones stay 0.
    int values() const { return std::max(static_cast<int>(m_pairs.size()), inputs()); }

    static std::size_t skewCount(Eigen::Index n) {
        return static_cast<std::size_t>(n * (n - 1) / 2);
    }

    Matrix rotation(const Eigen::VectorXd &k) const {
        Matrix skew = Matrix::Zero(m_free, m_free);
        Eigen::Index at = 0;
        for (Eigen::Index r = 0; r < m_free; ++r)
            for (Eigen::Index c = r + 1; c < m_free; ++c, ++at) {
                skew(r, c) = k[at];
                skew(c, r) = -k[at];
            }
        const Matrix identity = Matrix::Identity(m_free, m_free);
        const Matrix cayley = (identity - skew).partialPivLu().solve(identity + skew);
        Matrix q = Matrix::Identity(m_block.rows(), m_block.rows());
        q.block(1, 1, m_free, m_free) = cayley * m_start;
        return q;
    }

    Matrix transformed(const Eigen::VectorXd &k) const {
        const Matrix q = rotation(k);
        return q * m_block * q.transpose();
    }

    int operator()(const Eigen::VectorXd &k, Eigen::VectorXd &residuals) const {
        const Matrix m = transformed(k);
        residuals.setZero();
        for (std::size_t i = 0; i < m_pairs.size(); ++i)
            residuals[static_cast<Eigen::Index>(i)] = m(m_pairs[i].first, m_pairs[i].second);
        return 0;
    }
};

Matrix randomOrthogonal(Eigen::Index n, std::mt19937_64 &random) {
    std::normal_distribution<double> normal;
    Matrix g(n, n);
    for (Eigen::Index r = 0; r < n; ++r)
        for (Eigen::Index c = 0; c < n; ++c)
            g(r, c) = normal(random);
    return Eigen::HouseholderQR<Matrix>(g).householderQ();
}

CouplingMatrix withBlock(const CouplingMatrix &folded, const Matrix &block) {
    CouplingMatrix m = folded;
    for (std::size_t a = 0; a < folded.order; ++a)
        for (std::size_t b = 0; b < folded.order; ++b)
            m.m[(a + 1) * m.size() + b + 1] =
                block(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b));
    return m;
}

// Lacking couplings exactly 0, M_ij and M_ji their mean, the main line
// positive.
void settle(CouplingMatrix &m, const CouplingPattern &pattern) {
    const std::size_t n = m.order;
    for (std::size_t a = 1; a <= n; ++a)
        for (std::size_t b = a + 1; b <= n; ++b)
            m.set(a, b, pattern.at(a, b) ? (m.at(a, b) + m.at(b, a)) / 2 : 0.0);
    makeMainLinePositive(m);
}

constexpr double lackingTolerance = 1e-8;

Matrix resonatorBlock(const CouplingMatrix &m) {
    const auto n = static_cast<Eigen::Index>(m.order);
    Matrix block(n, n);
    for (Eigen::Index a = 0; a < n; ++a)
        for (Eigen::Index b = 0; b < n; ++b)
            block(a, b) = m.at(static_cast<std::size_t>(a + 1), static_cast<std::size_t>(b + 1));
    return block;
}

std::vector<std::pair<Eigen::Index, Eigen::Index>> lackingPairs(const CouplingPattern &pattern) {
    std::vector<std::pair<Eigen::Index, Eigen::Index>> pairs;
    for (std::size_t a = 1; a <= pattern.order; ++a)
        for (std::size_t b = a + 1; b <= pattern.order; ++b)
            if (!pattern.at(a, b))
                pairs.emplace_back(static_cast<Eigen::Index>(a - 1),
                                   static_cast<Eigen::Index>(b - 1));
    return pairs;
}

// One search from Q0: the rotation reached (C(K) Q0) and the largest
// lacking coupling it leaves, relative to the largest entry.
struct Reached {
    Matrix q;
    Matrix block;
    double lacking = 0;
};

Reached search(const Matrix &block, const Matrix &q0,
               const std::vector<std::pair<Eigen::Index, Eigen::Index>> &pairs) {
    Lacking lacking(block, q0, pairs);
    Eigen::VectorXd k = Eigen::VectorXd::Zero(lacking.inputs());
    if (k.size() > 0) {
        Eigen::NumericalDiff<Lacking> numeric(lacking);
        Eigen::LevenbergMarquardt<Eigen::NumericalDiff<Lacking>> solver(numeric);
        solver.parameters.xtol = 1e-15;
        solver.parameters.ftol = 1e-15;
        solver.parameters.maxfev = 4000;
        solver.minimize(k);
    }
    Reached r;
    r.q = lacking.rotation(k).block(1, 1, q0.rows(), q0.rows());
    r.block = lacking.transformed(k);
    const double largest = block.cwiseAbs().maxCoeff();
    for (const auto &[a, b] : pairs)
        r.lacking = std::max(r.lacking, std::abs(r.block(a, b)) / largest);
    return r;
}

// The block with resonators 2..N-1 turned in sign where that brings it
// nearer `previous` (the path's last step), so that the path stays smooth
// where a rotation of the folded synthesis turned one.
Matrix alignedSigns(Matrix block, const Matrix &previous) {
    for (Eigen::Index i = 1; i + 1 < block.rows(); ++i) {
        Matrix flipped = block;
        flipped.row(i) *= -1;
        flipped.col(i) *= -1;
        if ((flipped - previous).norm() < (block - previous).norm())
            block = flipped;
    }
    return block;
}

std::optional<CouplingMatrix> settled(const CouplingMatrix &folded, const Reached &r,
                                      const CouplingPattern &pattern,
                                      const std::function<bool(const CouplingMatrix &)> &accept) {
    if (!(r.lacking <= lackingTolerance))
        return std::nullopt;
    CouplingMatrix m = withBlock(folded, r.block);
    settle(m, pattern);
    if (!accept(m))
        return std::nullopt;
    return m;
}

} // namespace

std::optional<CouplingMatrix>
realisePattern(const CouplingMatrix &folded, const CouplingPattern &pattern,
               const std::function<bool(const CouplingMatrix &)> &accept, int starts) {
    const Matrix block = resonatorBlock(folded);
    const auto pairs = lackingPairs(pattern);
    const Eigen::Index free = folded.order >= 2 ? block.rows() - 2 : 0;
    std::mt19937_64 random(20261209);
    for (int start = 0; start < (free >= 2 ? starts : 1); ++start) {
        const Matrix q0 =
            start == 0 ? Matrix::Identity(free, free) : randomOrthogonal(free, random);
        if (auto m = settled(folded, search(block, q0, pairs), pattern, accept))
            return m;
    }
    return std::nullopt;
}

std::optional<CouplingMatrix>
realiseAlongPath(const std::vector<PathStage> &path,
                 const std::function<bool(const CouplingMatrix &)> &accept) {
    constexpr double firstT = 1.0 / 32, smallestStep = 1.0 / 4096, largestTurn = 0.15;
    if (path.empty())
        return std::nullopt;
    CouplingMatrix folded = path.front().folded(firstT);
    const auto n = static_cast<Eigen::Index>(folded.order);
    const Eigen::Index free = n >= 2 ? n - 2 : 0;
    Matrix q = Matrix::Identity(free, free), previous = resonatorBlock(folded);
    Reached r;
    for (const PathStage &stage : path) {
        const auto pairs = lackingPairs(stage.pattern);
        double t = firstT, step = firstT;
        folded = stage.folded(t);
        previous = alignedSigns(resonatorBlock(folded), previous);
        r = search(previous, q, pairs);
        q = r.q;
        while (t < 1) {
            const double next = std::min(1.0, t + step);
            CouplingMatrix tried = stage.folded(next);
            const Matrix block = alignedSigns(resonatorBlock(tried), previous);
            const Reached reached = search(block, q, pairs);
            if (reached.lacking <= lackingTolerance && (reached.q - q).norm() <= largestTurn) {
                t = next;
                step *= 1.25;
                q = reached.q;
                previous = block;
                folded = std::move(tried);
                r = reached;
            } else if ((step /= 2) < smallestStep) {
                return std::nullopt;
            }
        }
    }
    return settled(folded, r, path.back().pattern, accept);
}

} // namespace varnel
