#include "matrix_sweep.h"
#include "tuning/chebyshev_synthesis.h"
#include "tuning/polynomial.h"
#include "tuning/rational_start.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace varnel;
using varnel::testing::Bench;
using varnel::testing::sweepOf;

using Complex = std::complex<double>;

struct Points {
    std::vector<double> omega;
    std::vector<Complex> s11, s21;
};

Points pointsOf(const Network &net, const Bench &b) {
    Points p;
    for (std::size_t i = 0; i < net.size(); ++i) {
        const double f = net.frequencyMHz[i];
        p.omega.push_back(b.f0 / b.bandwidth * (f / b.f0 - b.f0 / f));
        p.s11.push_back(net.values[4 * i]);
        p.s21.push_back(net.values[4 * i + 1]);
    }
    return p;
}

// The header's worked example: one resonator, its F, E and P in closed
// form at 41 points.
TEST(RationalStart, WorkedExample) {
    Points p;
    for (int i = -20; i <= 20; ++i) {
        const Complex s(0, 0.15 * i), e = s + Complex(2.1, -0.5), f = s + Complex(0.1, -0.5);
        p.omega.push_back(s.imag());
        p.s11.push_back(-f / e);
        p.s21.push_back(Complex(0, 2) / e);
    }
    const auto start = rationalStart(p.omega, p.s11, p.s21, 1, 0);
    ASSERT_TRUE(start.has_value());
    EXPECT_NEAR(start->delta, 0.1, 1e-9);
    EXPECT_NEAR(start->folded.at(1, 1), -0.5, 1e-9);
    EXPECT_NEAR(start->folded.at(0, 1), 1, 1e-9);
    EXPECT_NEAR(start->folded.at(1, 2), 1, 1e-9);
    EXPECT_LT(start->misfit, 1e-12);
}

// Filters far from tune (resonators up to half the band off, a coupling
// 15 % off), lossy or not, behind the ports' constant phases, -60 dB of
// noise: the start's lossless response is the filter's, its loss found;
// an in-line filter's start is the filter's own matrix.
struct StartRow {
    const char *name;
    std::size_t order;
    std::vector<double> zeros; // the design's, Omega
    std::optional<double> qu;
    double phase;
};

const StartRow startRows[] = {
    {"inline_5_lossy", 5, {}, 2000, 0},
    {"inline_8_lossy_phased", 8, {}, 4000, 1.2},
    {"inline_4_lossless", 4, {}, std::nullopt, -0.7},
    {"folded_4_one_zero", 4, {1.8}, 2000, 0.4},
    {"folded_6_two_zeros", 6, {-1.6, 2.1}, 3000, 2.5},
    {"folded_8_symmetric_pair", 8, {-1.5, 1.5}, 6000, 0},
};

class RationalStartTest : public ::testing::TestWithParam<StartRow> {};

TEST_P(RationalStartTest, FarFromTuneFindsTheFilter) {
    const StartRow &row = GetParam();
    CouplingMatrix truth =
        foldedMatrix(transversalMatrix(chebyshevFunction(row.order, 20, row.zeros)));
    const double offsets[] = {0.3, -0.5, 0.2, 0.4, -0.3, 0.1, -0.2, 0.5};
    for (std::size_t i = 1; i <= row.order; ++i)
        truth.set(i, i, truth.at(i, i) + offsets[i - 1]);
    truth.set(2, 3, truth.at(2, 3) * 1.15);
    Bench bench;
    bench.qu = row.qu;
    bench.noiseDb = -60;
    bench.phase[0] = row.phase;
    bench.phase[1] = -row.phase / 2;
    const Points p = pointsOf(sweepOf(truth, bench, 801, 7), bench);
    const auto start = rationalStart(p.omega, p.s11, p.s21, row.order, row.zeros.size());
    ASSERT_TRUE(start.has_value());
    const double delta = row.qu ? bench.f0 / (*row.qu * bench.bandwidth) : 0;
    EXPECT_NEAR(start->delta, delta, 0.02 * delta + 1e-3);
    EXPECT_LT(start->misfit, 3e-3);
    Bench lossless;
    const Points want = pointsOf(sweepOf(truth, lossless, 401, 1), lossless);
    const Points got = pointsOf(sweepOf(start->folded, lossless, 401, 1), lossless);
    double worst = 0;
    for (std::size_t i = 0; i < want.omega.size(); ++i)
        worst = std::max({worst, std::abs(std::abs(got.s11[i]) - std::abs(want.s11[i])),
                          std::abs(std::abs(got.s21[i]) - std::abs(want.s21[i]))});
    EXPECT_LT(worst, 1e-2);
    if (!row.zeros.empty())
        return;
    for (std::size_t a = 0; a < truth.size(); ++a)
        for (std::size_t b = a; b < truth.size(); ++b) {
            EXPECT_NEAR(start->folded.at(a, b), truth.at(a, b), 3e-3) << a << '-' << b;
        }
}

INSTANTIATE_TEST_SUITE_P(Rows, RationalStartTest, ::testing::ValuesIn(startRows),
                         [](const auto &info) { return std::string(info.param.name); });

// The polynomial header's worked example.
TEST(Polynomial, WorkedExample) {
    using polynomial::Wide;
    const polynomial::Poly a{2.0L, -3.0L, 1.0L};
    EXPECT_EQ(polynomial::valueAt(a, Wide(4)), Wide(6));
    std::vector<Wide> roots = polynomial::roots(a);
    ASSERT_EQ(roots.size(), 2u);
    if (roots[0].real() > roots[1].real())
        std::swap(roots[0], roots[1]);
    EXPECT_NEAR(std::abs(roots[0] - Wide(1)), 0, 1e-15);
    EXPECT_NEAR(std::abs(roots[1] - Wide(2)), 0, 1e-15);
    EXPECT_EQ(polynomial::product(std::vector<Wide>{1, 2}, Wide(4)), Wide(6));
}

// Fewer points than coefficients: no fit.
TEST(RationalStart, TooFewPointsHaveNone) {
    const std::vector<double> omega{-1, 0, 1};
    const std::vector<Complex> s(3, Complex(0.5, 0));
    EXPECT_FALSE(rationalStart(omega, s, s, 4, 0).has_value());
}

} // namespace
