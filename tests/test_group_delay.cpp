#include "number_text/number_text.h"
#include "table_test.h"
#include "tuning/group_delay.h"
#include "tuning/stage_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <variant>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;
using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

std::vector<double> sweep(double from, double to, std::size_t points) {
    std::vector<double> f;
    for (std::size_t i = 0; i < points; ++i)
        f.push_back(from + (to - from) * static_cast<double>(i) / static_cast<double>(points - 1));
    return f;
}

// exp(-j 2 pi f t): a pure delay of t ns.
std::vector<Complex> delayLine(const std::vector<double> &f, double ns) {
    std::vector<Complex> s;
    for (double fm : f)
        s.push_back(std::polar(0.5, -2 * pi * fm * ns * 1e-3));
    return s;
}

// The header's worked example.
TEST(GroupDelay, WorkedExample) {
    const std::vector<double> f = {100, 101, 102};
    const DelayTrace trace = groupDelay(f, delayLine(f, 10), 2, 0);
    ASSERT_EQ(trace.fMHz.size(), 1u);
    EXPECT_DOUBLE_EQ(trace.fMHz[0], 101);
    EXPECT_NEAR(trace.delayNs[0], 10, 1e-9);
    EXPECT_NEAR(groupDelay(f, delayLine(f, 10), 2, 10).delayNs[0], 0, 1e-9);
}

// A long line wraps the phase many times across the sweep (about 18 degrees
// between points, 3000 ns over 1000 MHz); every aperture reads the delay
// and the unwrapped phase falls steadily.
TEST(GroupDelay, UnwrapsAcrossHalfTurns) {
    const std::vector<double> f = sweep(1000, 1010, 1001);
    const std::vector<Complex> s = delayLine(f, 5000);
    const std::vector<double> phase = unwrappedPhase(f, s, 0);
    for (std::size_t i = 1; i < phase.size(); ++i)
        ASSERT_NEAR(phase[i] - phase[i - 1], -2 * pi * 0.01 * 5, 1e-6) << i;
    for (std::size_t steps : {1u, 2u, 7u, 1000u}) {
        const DelayTrace trace = groupDelay(f, s, steps, 0);
        ASSERT_EQ(trace.fMHz.size(), f.size() - steps);
        for (double d : trace.delayNs)
            ASSERT_NEAR(d, 5000, 1e-6) << steps;
    }
    // With the delay removed as an electrical delay, nothing is left.
    for (double d : groupDelay(f, s, 2, 5000).delayNs)
        ASSERT_NEAR(d, 0, 1e-6);
}

// A long trace's phases are wrapped a chunk ahead on a second thread: its
// delays are the pure line's (with a 3-step aperture, an electrical delay
// and zeros at and around chunk ends), NaN exactly where an end of the
// aperture is a zero, and the first 65,535 points' trace, read on one
// thread, is the long trace's beginning to the bit.
TEST(GroupDelay, ALongTraceIsTheShortOnesAndTheLines) {
    const std::vector<double> f = sweep(900, 1100, 200003);
    std::vector<Complex> s = delayLine(f, 7);
    const std::vector<std::size_t> zeros = {5, 8191, 8192, 16383, 120000, 200002};
    for (const std::size_t z : zeros)
        s[z] = 0;
    const std::size_t steps = 3;
    const DelayTrace trace = groupDelay(f, s, steps, 2);
    ASSERT_EQ(trace.delayNs.size(), f.size() - steps);
    std::size_t undefined = 0;
    for (std::size_t j = 0; j < trace.delayNs.size(); ++j) {
        const bool atZero = std::find(zeros.begin(), zeros.end(), j) != zeros.end() ||
                            std::find(zeros.begin(), zeros.end(), j + steps) != zeros.end();
        undefined += atZero ? 1 : 0;
        if (atZero) {
            ASSERT_TRUE(std::isnan(trace.delayNs[j])) << j;
        } else {
            ASSERT_NEAR(trace.delayNs[j], 5, 1e-6) << j;
        }
    }
    EXPECT_EQ(trace.undefined, undefined);
    const std::vector<double> shortF(f.begin(), f.begin() + 65535);
    const std::vector<Complex> shortS(s.begin(), s.begin() + 65535);
    const DelayTrace shorter = groupDelay(shortF, shortS, steps, 2);
    for (std::size_t j = 0; j < shorter.delayNs.size(); ++j) {
        ASSERT_EQ(std::isnan(shorter.delayNs[j]), std::isnan(trace.delayNs[j])) << j;
        if (!std::isnan(shorter.delayNs[j])) {
            ASSERT_EQ(shorter.delayNs[j], trace.delayNs[j]) << j;
        }
    }
}

// The worked examples of midFrequency, and a trace's frequencies as the
// file wrote them: 985.15 MHz, not 985.1500000000001, for points read in
// GHz, with the even aperture (the centre point) and the odd one.
TEST(GroupDelay, MidFrequenciesReadAsWritten) {
    EXPECT_EQ(formatShortest(midFrequency(985.1, 985.2)), "985.15");
    EXPECT_EQ(formatShortest(midFrequency(985.1, 985.15)), "985.125");
    const double tiny = std::ldexp(1.0, -40);
    EXPECT_EQ(midFrequency(1, 1 + tiny), 1 + tiny / 2);
    std::vector<double> f;
    for (int i = 0; i <= 20; ++i)
        f.push_back(985 + 0.05 * i);
    for (std::size_t steps : {1u, 2u, 4u}) {
        const DelayTrace trace = groupDelay(f, delayLine(f, 3), steps, 0);
        for (double mid : trace.fMHz) {
            const std::string text = formatShortest(mid);
            EXPECT_LE(text.size(), 7u) << text << " with " << steps << " steps";
        }
    }
}

// Each delay belongs to the mid-frequency of its two points, on an uneven
// sweep as well.
TEST(GroupDelay, MidFrequenciesAndInterpolation) {
    const std::vector<double> f = {100, 100.5, 102, 103};
    const DelayTrace trace = groupDelay(f, delayLine(f, 3), 1, 0);
    EXPECT_EQ(trace.fMHz, (std::vector<double>{100.25, 101.25, 102.5}));
    EXPECT_EQ(interpolate({1, 2, 4}, {10, 20, 0}, 3), 10);
    EXPECT_EQ(interpolate({1, 2, 4}, {10, 20, 0}, 2), 20);
    EXPECT_EQ(interpolate({1, 2, 4}, {10, 20, 0}, 1), 10);
    EXPECT_FALSE(interpolate({1, 2, 4}, {10, 20, 0}, 0.999));
    EXPECT_FALSE(interpolate({1, 2, 4}, {10, 20, 0}, 4.001));
}

// The aperture bias of a single resonator: tau_measured / tau = atan(x) / x
// with x = aperture / (f0 / Qe).
TEST(GroupDelay, StageOneApertureBias) {
    const TuningTable t = std::get<TuningTable>(tuningTable("5", "10", "0.01", std::nullopt));
    const StageModel m = stageModel(t, 1, 1000, std::nullopt);
    const double qe = t.stages[0].g / (effectiveBandwidth(10) / 1000);
    const double tau = stageResponse(m, 1000).delay;
    for (double aperture : {0.5, 2.0, 5.0, 10.0}) {
        const std::vector<double> f = {1000 - aperture / 2, 1000, 1000 + aperture / 2};
        std::vector<Complex> s;
        for (double fm : f)
            s.push_back(stageResponse(m, fm).s11);
        const double measured = groupDelay(f, s, 2, 0).delayNs[0];
        const double x = aperture / (1000 / qe);
        EXPECT_NEAR(measured / tau, std::atan(x) / x, 2e-4) << aperture;
    }
}

struct ApertureRow {
    const char *name;
    const char *text;
    std::optional<std::size_t> steps; // on a 101-point sweep of 10 MHz
};

const ApertureRow apertureRows[] = {
    {"default_two_steps", "2", 2},
    {"one_step", "1", 1},
    {"percent_of_span", "5%", 5},
    {"fractional_percent_rounds", "2.4%", 2},
    {"megahertz", "1.5MHz", 15},
    {"megahertz_any_case", "0.3mhz", 3},
    {"tiny_width_is_one_step", "0.001MHz", 1},
    {"too_many_steps", "101", std::nullopt},
    {"zero_steps", "0", std::nullopt},
    {"fractional_steps", "2.5", std::nullopt},
    {"negative", "-2", std::nullopt},
    {"unit_alone", "MHz", std::nullopt},
    {"percent_over_100", "150%", std::nullopt},
    {"other_unit", "3kHz", std::nullopt},
    {"empty", "", std::nullopt},
};

class ApertureTest : public ::testing::TestWithParam<ApertureRow> {};

TEST_P(ApertureTest, StepsOnASweep) {
    const ApertureRow &row = GetParam();
    const auto aperture = parseAperture(row.text);
    std::optional<std::size_t> steps;
    if (aperture) {
        const auto result = apertureSteps(*aperture, sweep(1000, 1010, 101));
        if (const auto *n = std::get_if<std::size_t>(&result))
            steps = *n;
    }
    EXPECT_EQ(steps, row.steps);
}

INSTANTIATE_TEST_SUITE_P(Texts, ApertureTest, ::testing::ValuesIn(apertureRows),
                         varnel::testing::RowName());

} // namespace
