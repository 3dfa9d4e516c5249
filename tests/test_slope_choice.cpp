#include "tuning/in_parallel.h"
#include "tuning/least_squares.h"
#include "tuning/slope_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace varnel;

// A fit as the choice sees it: its residual, its slopes and one element's
// error and uncertainty (tolerance 2 %).
struct FakeFit {
    double residualRms = 1e-3, noiseDb = -60;
    bool converged = true;
    double couplingSlope = 0, qeSlope = 0;
    bool slopeAmbiguous = false;
    double percent = 0, uncertaintyPercent = 0.1;
    bool matchesSweep() const { return converged && residualMatches(residualRms, noiseDb); }
};

std::vector<JudgedElement> elementsOf(const FakeFit &fit) {
    JudgedElement e;
    e.finding.percent = fit.percent;
    e.finding.uncertaintyPercent = fit.uncertaintyPercent;
    e.tolerancePercent = 2;
    return {e};
}

// The header's worked example.
TEST(SlopeChoice, WorkedExample) {
    EXPECT_NEAR(fitChiSquare(401, 1.2e-3, 1e-3), 1154.88, 0.01);
    EXPECT_NEAR(fitChiSquare(401, 1.0e-3, 1e-3), 802.0, 1e-9);
    FakeFit held, free;
    held.residualRms = 1.2e-3;
    free.couplingSlope = 0.7;
    // -60 dB: noise 1e-3; the held fit's residual stands 20 % above it.
    const FakeFit chosen = chooseSlopes(held, std::vector{free}, 401, elementsOf);
    EXPECT_DOUBLE_EQ(chosen.couplingSlope, 0.7);
    EXPECT_FALSE(chosen.slopeAmbiguous);
}

struct ChoiceRow {
    const char *name;
    double heldRms, freeRms, freeSlope, heldPercent, freePercent, freeUncertainty;
    double chosenSlope;
    bool ambiguous;
};

// Each rule taken out turns its row: the gain, the rival that disagrees,
// the hinted slope that blurs an element, the slope that blurs an element
// across its tolerance, the implausible slope.
const ChoiceRow choiceRows[] = {
    {"free_gains_little_held_kept", 1.0e-3, 0.999e-3, 0.4, 0.5, 0.6, 0.1, 0, false},
    {"free_gains_much_free_taken", 1.08e-3, 1.0e-3, 0.4, 0.5, 0.6, 0.1, 0.4, false},
    {"rival_puts_element_over_tolerance", 1.0e-3, 0.999e-3, 0.4, 0.5, 3.5, 0.1, 0.4, true},
    {"hint_blurs_element", 1.004e-3, 1.0e-3, 0.4, 0.5, 0.6, 1.5, 0.4, true},
    {"slope_moves_named_element_within", 1.0e-3, 0.999e-3, 0.4, 2.3, 1.5, 0.9, 0.4, true},
    {"slope_moves_element_out", 1.0e-3, 0.999e-3, 0.4, 1.5, 2.3, 0.9, 0.4, true},
    {"precise_free_moves_element", 1.0e-3, 0.999e-3, 0.4, 2.3, 1.5, 0.1, 0, false},
    {"implausible_free_slope", 1.08e-3, 1.0e-3, 2.5, 0.5, 0.6, 0.1, 2.5, true},
    {"held_mismatch_free_matches", 1.3e-3, 1.0e-3, 0.4, 0.5, 0.6, 0.1, 0.4, false},
};

class SlopeChoiceTest : public ::testing::TestWithParam<ChoiceRow> {};

TEST_P(SlopeChoiceTest, ChoosesAndDoubts) {
    const ChoiceRow &row = GetParam();
    FakeFit held, free;
    held.residualRms = row.heldRms;
    held.percent = row.heldPercent;
    free.residualRms = row.freeRms;
    free.couplingSlope = row.freeSlope;
    free.percent = row.freePercent;
    free.uncertaintyPercent = row.freeUncertainty;
    const FakeFit chosen = chooseSlopes(held, std::vector{free}, 401, elementsOf);
    EXPECT_DOUBLE_EQ(chosen.couplingSlope, row.chosenSlope);
    EXPECT_EQ(chosen.slopeAmbiguous, row.ambiguous);
}

INSTANTIATE_TEST_SUITE_P(Rows, SlopeChoiceTest, ::testing::ValuesIn(choiceRows),
                         [](const auto &info) { return std::string(info.param.name); });

// The header's worked example of the propagated uncertainty.
TEST(PropagatedUncertainty, WorkedExample) {
    const std::vector<double> covariance = {0.01, -0.01, -0.01, 0.04};
    EXPECT_NEAR(propagatedUncertainty(covariance, {{0, 3}, {1, 2}}), std::sqrt(0.13), 1e-12);
    EXPECT_NEAR(std::sqrt(0.13), 0.3606, 1e-4);
}

// The header's worked example of the rival fits run at once; each task in a
// thread of its own but the first, and a task's exception reaches the caller.
TEST(InParallel, WorkedExampleAndFailure) {
    EXPECT_EQ(inParallel(3, [](std::size_t i) { return i * i; }),
              (std::vector<std::size_t>{0, 1, 4}));
    const std::thread::id caller = std::this_thread::get_id();
    const std::vector<bool> inCaller =
        inParallel(3, [&](std::size_t) { return std::this_thread::get_id() == caller; });
    EXPECT_EQ(inCaller, (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(inParallel(0, [](std::size_t i) { return i; }).empty());
    EXPECT_THROW(inParallel(2,
                            [](std::size_t i) {
                                if (i == 1)
                                    throw std::runtime_error("no fit");
                                return i;
                            }),
                 std::runtime_error);
}

} // namespace
