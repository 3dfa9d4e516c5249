// The fitted cut-off's search over a chi-square of known shape, and the
// header's worked example.
#include "tuning/cutoff_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace varnel;

namespace {

// A fit whose chi-square is 1 + ((fc - best) / width)^2 over 401 points at
// noise -60 dB, and whose resonator 1 is off by `drift` % of BW per 10 MHz
// of cut-off above `best`.
struct FakeFit {
    struct {
        double cutoff = 0;
    } model;
    bool converged = true;
    double residualRms = 0, noiseDb = -60;
    std::optional<CutoffRange> fittedCutoff;
    double percent = 0;
    bool matchesSweep() const { return true; }
};

struct SearchRow {
    const char *name;
    double best, width, drift;
    bool ambiguous;
    double lowAtMost, highAtLeast; // the range of cut-offs that fit as well
};

const SearchRow searchRows[] = {
    // Narrow: only the cut-offs next to the best fit as well.
    {"told", 713, 5, 1.0, false, 713, 713},
    // Broad and harmless: every cut-off fits, no element moves.
    {"untold_harmless", 713, 200, 0.0, false, 300, 930},
    // Broad, and an element crosses its tolerance with it.
    {"untold_moves_an_element", 713, 200, 1.0, true, 300, 930},
};

class CutoffSearchTest : public ::testing::TestWithParam<SearchRow> {};

TEST_P(CutoffSearchTest, FindsTheBestAndTheRangeThatFitsAsWell) {
    const SearchRow &row = GetParam();
    const double noise = std::pow(10.0, -60 / 20.0);
    int fits = 0;
    auto refit = [&](const FakeFit &, double fc) {
        ++fits;
        FakeFit fit;
        fit.model.cutoff = fc;
        const double chi2 = 1 + std::pow((fc - row.best) / row.width, 2);
        fit.residualRms = noise * std::sqrt(chi2 / (2 * 401));
        fit.percent = 0.5 + row.drift * (fc - row.best) / 10;
        return fit;
    };
    auto elementsOf = [](const FakeFit &fit) {
        JudgedElement e;
        e.finding.percent = fit.percent;
        e.tolerancePercent = 2;
        return std::vector<JudgedElement>{e};
    };
    FakeFit start;
    start.model.cutoff = 720;
    const FakeFit found = fitCutoff(start, 1000, 0.05, 401, refit, elementsOf);
    EXPECT_NEAR(found.model.cutoff, row.best, 1.0);
    ASSERT_TRUE(found.fittedCutoff);
    EXPECT_EQ(found.fittedCutoff->ambiguous, row.ambiguous);
    EXPECT_LE(found.fittedCutoff->lowMHz, row.lowAtMost + 1);
    EXPECT_GE(found.fittedCutoff->highMHz, row.highAtLeast - 1);
    EXPECT_LE(fits, 30) << "a live sweep's pace";
}

INSTANTIATE_TEST_SUITE_P(Rows, CutoffSearchTest, ::testing::ValuesIn(searchRows),
                         [](const auto &info) { return std::string(info.param.name); });

// The header's worked example: the lower band edge caps the scan.
TEST(CutoffSearch, WorkedExample) {
    EXPECT_EQ(cutoffCandidates(1000, 0.01).size(), std::size(cutoffScan));
    const std::vector<double> wide = cutoffCandidates(1000, 0.6);
    ASSERT_FALSE(wide.empty());
    EXPECT_DOUBLE_EQ(wide.back(), 650);
    EXPECT_DOUBLE_EQ(startingCutoff(1000, 0.01), 720);
    EXPECT_TRUE(cutoffCandidates(1000, 1.5).empty());
}

} // namespace
