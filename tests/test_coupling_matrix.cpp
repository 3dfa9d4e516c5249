#include "chebyshev_closed_form.h"
#include "filter_generator.h"
#include "matrix_generator.h"
#include "tuning/chebyshev_synthesis.h"
#include "tuning/coupling_matrix.h"
#include "tuning/filter_fit.h"
#include "tuning/matrix_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace varnel;

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

// The header's worked example: one tuned resonator passes everything.
TEST(CouplingMatrix, WorkedExample) {
    CouplingMatrix m(1);
    m.set(0, 1, 1);
    m.set(1, 2, 1);
    const MatrixResponse r = lowPassResponse(m, 0);
    EXPECT_NEAR(std::abs(r.s11), 0, 1e-15);
    EXPECT_NEAR(std::abs(r.s21 - Complex(-1, 0)), 0, 1e-15);
}

// The mapping, its inverse, a resonator alone at Omega = -M_ii, and the
// ports' lines.
TEST(CouplingMatrix, MappingAndLines) {
    const MatrixBand band{1000, 10, std::nullopt, {0, 0}, {0, 0}};
    EXPECT_NEAR(lowPassOmega(band, 1000), 0, 1e-15);
    EXPECT_NEAR(lowPassOmega(band, 1005), 100 * (1.005 - 1 / 1.005), 1e-12);
    for (double w : {-3.0, -0.5, 0.0, 1.0, 7.5})
        EXPECT_NEAR(lowPassOmega(band, bandPassFrequency(band, w)), w, 1e-9) << w;
    // Resonator 1 with M_11 = 0.4 reflects nothing at Omega = -0.4 only.
    CouplingMatrix m(1);
    m.set(0, 1, 1);
    m.set(1, 2, 1);
    m.set(1, 1, 0.4);
    EXPECT_NEAR(std::abs(lowPassResponse(m, -0.4).s11), 0, 1e-14);
    EXPECT_GT(std::abs(lowPassResponse(m, 0.4).s11), 0.3);
    // Lines: 1 ns and 0.3 rad at port 1, 2 ns at port 2.
    const MatrixBand lined{1000, 10, std::nullopt, {1, 2}, {0.3, 0}};
    const MatrixResponse bare = matrixResponse(m, band, 1003);
    const MatrixResponse seen = matrixResponse(m, lined, 1003);
    const Complex in = std::polar(1.0, -(2 * pi * 1003 * 1e-3 + 0.3));
    const Complex out = std::polar(1.0, -(2 * pi * 1003 * 2e-3));
    EXPECT_NEAR(std::abs(seen.s11 - bare.s11 * in * in), 0, 1e-12);
    EXPECT_NEAR(std::abs(seen.s21 - bare.s21 * in * out), 0, 1e-12);
    EXPECT_NEAR(std::abs(seen.s22 - bare.s22 * out * out), 0, 1e-12);
}

// The in-line filter of the fits is the special case: M_S1 = 1/sqrt(g_1),
// M_(i,i+1) = 1/sqrt(g_i g_(i+1)), M_NL = 1/sqrt(g_N g_(N+1)), the loss
// r = 1/(FBW Qu) of the filter model; both give the same S11 and S22, and
// S21 of opposite sign (the model's inverters are +j, the matrix's
// couplings enter A as they are).
TEST(CouplingMatrix, InLineFilterModelIsTheSpecialCase) {
    for (int order : {1, 2, 5, 8}) {
        varnel::testing::Filter s;
        s.order = order;
        const TuningTable t = varnel::testing::tableOf(s);
        FilterModel model;
        for (const TuningStage &stage : t.stages)
            model.g.push_back(stage.g);
        model.load = t.loadG;
        model.f0 = 1000;
        model.fbw = effectiveBandwidth(10) / 1000;
        const std::size_t n = model.g.size();
        CouplingMatrix m(n);
        m.set(0, 1, 1 / std::sqrt(model.g[0]));
        for (std::size_t i = 1; i < n; ++i)
            m.set(i, i + 1, 1 / std::sqrt(model.g[i - 1] * model.g[i]));
        m.set(n, n + 1, 1 / std::sqrt(model.g[n - 1] * model.load));
        std::vector<double> x(model.parameterCount(), 0.0);
        for (std::size_t i = 0; i < n; ++i)
            x[n + i] = 1;
        x[2 * n] = 1 / (model.fbw * 2500);
        x[2 * n + 1] = 1;
        const MatrixBand band{1000, effectiveBandwidth(10), 2500.0, {0, 0}, {0, 0}};
        for (double f : {980.0, 995.0, 999.1, 1000.0, 1003.7, 1021.0}) {
            const FilterPoint a = filterModelAt(model, x, f, false);
            const MatrixResponse b = matrixResponse(m, band, f);
            EXPECT_NEAR(std::abs(a.s11 - b.s11), 0, 1e-12) << order << ' ' << f;
            EXPECT_NEAR(std::abs(a.s21 + b.s21), 0, 1e-12) << order << ' ' << f;
            EXPECT_NEAR(std::abs(a.s22 - b.s22), 0, 1e-12) << order << ' ' << f;
        }
    }
}

} // namespace

namespace {

// The Chebyshev prototype's g-values with true pi, written here from the
// textbook closed form (ripple from the return loss).
std::vector<double> prototypeG(int n, double returnLossDb) {
    const double ripple = -10 * std::log10(1 - std::pow(10.0, -returnLossDb / 10));
    const double beta = std::log(1 / std::tanh(ripple * std::log(10.0) / 40));
    const double gamma = std::sinh(beta / (2 * n));
    std::vector<double> g;
    double a0 = std::sin(pi / (2 * n));
    g.push_back(2 * a0 / gamma);
    for (int k = 2; k <= n; ++k) {
        const double a1 = std::sin((2 * k - 1) * pi / (2 * n));
        const double b = gamma * gamma + std::pow(std::sin((k - 1) * pi / n), 2);
        g.push_back(4 * a0 * a1 / (b * g.back()));
        a0 = a1;
    }
    g.push_back(n % 2 ? 1.0 : std::pow(1 / std::tanh(beta / 4), 2));
    return g;
}

CouplingMatrix folded(int order, double rl, const std::vector<double> &zeros) {
    return foldedMatrix(
        transversalMatrix(chebyshevFunction(static_cast<std::size_t>(order), rl, zeros)));
}

// The header's worked example, N = 2 at 20 dB.
TEST(ChebyshevSynthesis, WorkedExample) {
    const FilteringFunction fn = chebyshevFunction(2, 20, {});
    ASSERT_EQ(fn.reflectionZeros.size(), 2u);
    EXPECT_NEAR(fn.reflectionZeros[1], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(fn.epsilon, 2 / std::sqrt(99.0), 1e-12);
    const CouplingMatrix m = foldedMatrix(transversalMatrix(fn));
    EXPECT_NEAR(m.at(0, 1), 1 / std::sqrt(2.0 / 3), 1e-9);
    EXPECT_NEAR(m.at(1, 2), 1 / std::sqrt(2.0 / 3 * 6.0 / 11), 1e-9);
    EXPECT_NEAR(m.at(2, 3), 1 / std::sqrt(6.0 / 11 * 11.0 / 9), 1e-9);
}

// Without zeros the folded matrix is the prototype's in-line one, every
// self-coupling and cross-coupling 0.
TEST(ChebyshevSynthesis, NoZerosGivesThePrototypeLadder) {
    for (int order : {1, 2, 3, 4, 5, 6, 7, 8, 10, 12})
        for (double rl : {10.0, 20.0, 26.4}) {
            const std::vector<double> g = prototypeG(order, rl);
            const CouplingMatrix m = folded(order, rl, {});
            const auto n = static_cast<std::size_t>(order);
            for (std::size_t a = 0; a < n + 2; ++a)
                for (std::size_t b = a; b < n + 2; ++b) {
                    double expected = 0;
                    if (b == a + 1)
                        expected = 1 / std::sqrt((a == 0 ? 1.0 : g[a - 1]) * g[a]);
                    EXPECT_NEAR(m.at(a, b), expected, 1e-8)
                        << "order " << order << " RL " << rl << " M" << a << ',' << b;
                }
        }
}

struct ZerosRow {
    const char *name;
    int order;
    double returnLoss;
    std::vector<double> zeros;
};

const ZerosRow zeroRows[] = {
    {"order 4, one zero above", 4, 22, {1.8}},
    {"order 4, a symmetric pair", 4, 20, {-1.5, 1.5}},
    {"order 4, two zeros above and below", 4, 22, {-3.7, 1.8}},
    {"order 5, one zero below", 5, 25, {-1.3}},
    {"order 6, a pair and one more", 6, 23, {-1.4, 1.4, 2.5}},
    {"order 6, four zeros", 6, 20, {-2.2, -1.3, 1.25, 1.9}},
    {"order 8, two pairs", 8, 24, {-1.6, 1.6, -2.4, 2.4}},
    {"order 8, six zeros", 8, 22, {-3, -2, -1.2, 1.15, 1.7, 2.8}},
    {"order 10, three zeros", 10, 20, {-1.2, 1.5, 3}},
};

// The matrix's response is the filtering function: |S21|^2 = 1 / (1 +
// eps_c^2 C^2) with eps_c from the return loss, losslessly
// |S11|^2 + |S21|^2 = 1; |S21| vanishes at every zero; the transversal and
// the folded matrix agree; in the band |S11| reaches the return loss and
// nothing above it, with N reflection zeros.
TEST(ChebyshevSynthesis, ResponseIsTheFilteringFunction) {
    for (const ZerosRow &row : zeroRows) {
        SCOPED_TRACE(row.name);
        const FilteringFunction fn =
            chebyshevFunction(static_cast<std::size_t>(row.order), row.returnLoss, row.zeros);
        const CouplingMatrix t = transversalMatrix(fn);
        const CouplingMatrix m = foldedMatrix(t);
        double worst = 0;
        for (int k = -600; k <= 600; ++k) {
            const double w = k / 100.0;
            const MatrixResponse r = lowPassResponse(m, w);
            EXPECT_NEAR(
                std::norm(r.s21),
                varnel::testing::chebyshevS21Squared(w, row.zeros, row.order, row.returnLoss), 1e-9)
                << w;
            EXPECT_NEAR(std::norm(r.s11) + std::norm(r.s21), 1, 1e-9) << w;
            // The main line made positive may turn the load's sign: S21's.
            const MatrixResponse rt = lowPassResponse(t, w);
            EXPECT_NEAR(std::min(std::abs(r.s21 - rt.s21), std::abs(r.s21 + rt.s21)), 0, 1e-9) << w;
            EXPECT_NEAR(std::abs(r.s11 - rt.s11), 0, 1e-9) << w;
            if (std::abs(w) <= 1)
                worst = std::max(worst, std::abs(r.s11));
        }
        EXPECT_NEAR(-20 * std::log10(worst), row.returnLoss, 0.05);
        for (double z : row.zeros)
            EXPECT_LT(20 * std::log10(std::abs(lowPassResponse(m, z).s21)), -120) << z;
        ASSERT_EQ(fn.reflectionZeros.size(), static_cast<std::size_t>(row.order));
        for (double rz : fn.reflectionZeros) {
            EXPECT_LT(std::abs(rz), 1);
            EXPECT_LT(std::abs(lowPassResponse(m, rz).s11), 1e-7) << rz;
        }
    }
}

// A published example: Cameron's fourth-degree prototype of 22 dB return
// loss with zeros at s = +j1.3217 and +j1.8082 (IEEE Trans. MTT, 1999 and
// 2003), placed to give two rejection lobes of 30 dB above the band: the
// lobe between the zeros and the one beyond them both reach -30 dB, to
// the zeros' published four decimals (a zero mistyped as 1.3127 misses the
// first by 0.7 dB).
TEST(ChebyshevSynthesis, CameronFourthDegreeExample) {
    const std::vector<double> zeros{1.3217, 1.8082};
    const CouplingMatrix m = folded(4, 22, zeros);
    auto lobe = [&](double from, double to) {
        double top = -400;
        for (double w = from; w < to; w += 1e-3)
            top = std::max(top, 20 * std::log10(std::abs(lowPassResponse(m, w).s21)));
        return top;
    };
    EXPECT_NEAR(lobe(1.3217, 1.8082), -30, 0.05);
    EXPECT_NEAR(lobe(1.8082, 40), -30, 0.05);
}

// The folded form: nothing outside the main line and the two cross
// diagonals, the main line positive.
TEST(ChebyshevSynthesis, FoldedPattern) {
    for (const ZerosRow &row : zeroRows) {
        SCOPED_TRACE(row.name);
        const CouplingMatrix m = folded(row.order, row.returnLoss, row.zeros);
        const auto n = static_cast<std::size_t>(row.order);
        for (std::size_t a = 0; a < n + 2; ++a)
            for (std::size_t b = 0; b < n + 2; ++b) {
                const bool allowed = b == a + 1 || a == b + 1 ||
                                     (a >= 1 && b >= 1 && a <= n && b <= n &&
                                      (a == b || a + b == n + 1 || a + b == n + 2));
                EXPECT_EQ(inFoldedPattern(n, a, b), allowed) << a << ',' << b;
                if (!allowed) {
                    EXPECT_EQ(m.at(a, b), 0) << a << ',' << b;
                }
                if (b == a + 1) {
                    EXPECT_GT(m.at(a, b), 0) << a << ',' << b;
                }
            }
    }
}

} // namespace

namespace {

// The solver's worked example: the one-resonator matrix at Omega = 0
// (its block singular, A factored) and at Omega = 1 (solved by hand).
TEST(MatrixSolver, WorkedExample) {
    CouplingMatrix m(1);
    m.set(0, 1, 1);
    m.set(1, 2, 1);
    const MatrixSolver solver(m);
    const MatrixResponse at0 = solver.response(0, 0);
    EXPECT_LT(std::abs(at0.s11), 1e-15);
    EXPECT_LT(std::abs(at0.s21 - Complex(-1, 0)), 1e-15);
    const MatrixResponse at1 = solver.response(1, 0);
    EXPECT_LT(std::abs(at1.s11 - Complex(-0.2, -0.4)), 1e-15);
    EXPECT_LT(std::abs(at1.s21 - Complex(-0.8, 0.4)), 1e-15);
}

// Against a dense long-double solve written apart (matrix_generator.h):
// seeded random symmetric matrices with loss, every column of A^-1.
TEST(MatrixSolver, MatchesADenseSolve) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> entry(-1, 1);
    for (std::size_t order : {2u, 5u, 9u}) {
        CouplingMatrix m(order);
        for (std::size_t a = 0; a < m.size(); ++a)
            for (std::size_t b = a; b < m.size(); ++b)
                m.set(a, b, entry(random));
        const MatrixSolver solver(m);
        for (double omega : {-2.5, -0.3, 0.0, 0.7, 3.1}) {
            const double loss = 0.01;
            const std::size_t n = m.size();
            std::vector<std::vector<varnel::testing::LongComplex>> a(
                n, std::vector<varnel::testing::LongComplex>(n));
            for (std::size_t r = 0; r < n; ++r)
                for (std::size_t c = 0; c < n; ++c)
                    a[r][c] = m.at(r, c);
            a[0][0] -= varnel::testing::LongComplex(0, 1);
            a[n - 1][n - 1] -= varnel::testing::LongComplex(0, 1);
            for (std::size_t r = 1; r + 1 < n; ++r)
                a[r][r] += varnel::testing::LongComplex(omega, -loss);
            std::vector<varnel::testing::LongComplex> es(n, 0), el(n, 0);
            es[0] = 1;
            el[n - 1] = 1;
            const auto xs = varnel::testing::solveDense(a, es);
            const auto xl = varnel::testing::solveDense(a, el);
            Eigen::VectorXcd ys, yl;
            solver.solve(omega, loss, ys, yl);
            for (std::size_t r = 0; r < n; ++r) {
                const auto i = static_cast<Eigen::Index>(r);
                EXPECT_LT(std::abs(ys[i] - Complex(xs[r])), 1e-11) << order << ' ' << omega;
                EXPECT_LT(std::abs(yl[i] - Complex(xl[r])), 1e-11) << order << ' ' << omega;
            }
        }
    }
}

} // namespace
