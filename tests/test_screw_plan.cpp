#include "filter_generator.h"
#include "tuning/diagnosis.h"
#include "tuning/screw_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

// Screws, their learned columns and the plan of turns, against closed forms
// and a linear bench of known screws.
namespace {

using namespace varnel;

ElementError mhz(double error, double tolerance = 0.1) {
    return {error, tolerance, false};
}

// The header's worked example.
TEST(ScrewPlan, WorkedExample) {
    Sensitivities s;
    const Screw r1 = *parseScrew("R1", 5);
    ASSERT_TRUE(learnScrew(s, r1, 0.25, {mhz(0.5)}, {mhz(0)}));
    EXPECT_DOUBLE_EQ(s.columns[0][0], -2);
    const auto plan = planTurns(s, {mhz(0.5)});
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_NEAR(plan[0].turns, 0.5 / (2 * 1.01), 1e-12);
    EXPECT_EQ(planText(plan), "Turn R1 0.25 turn clockwise, then sweep again");
    EXPECT_EQ(planText({}), "No screw to turn.");
}

struct NameRow {
    const char *name;
    int order;
    const char *canonical; // nullptr: refused
};
const NameRow nameRows[] = {
    {"R3", 5, "R3"},     {"r5", 5, "R5"},       {"K34", 5, "K34"},      {"k14", 5, "K14"},
    {"QIN", 5, "QIN"},   {"qout", 5, "QOUT"},   {"K9,10", 10, "K9,10"}, {"R12", 12, "R12"},
    {"R0", 5, nullptr},  {"R6", 5, nullptr},    {"K33", 5, nullptr},    {"K43", 5, nullptr},
    {"K1", 5, nullptr},  {"K123", 12, nullptr}, {"X1", 5, nullptr},     {"R", 5, nullptr},
    {"R1x", 5, nullptr}, {"", 5, nullptr},
};

TEST(ScrewPlan, NamesReadAndWritten) {
    for (const NameRow &row : nameRows) {
        const auto screw = parseScrew(row.name, row.order);
        if (!row.canonical) {
            EXPECT_FALSE(screw) << row.name;
            continue;
        }
        ASSERT_TRUE(screw) << row.name;
        EXPECT_EQ(screwName(*screw), row.canonical) << row.name;
    }
}

// Learned again, a column is the slope through the origin over every
// learning: sum(t dE) / sum(t^2). A coupling's change is relative.
TEST(ScrewPlan, LearningRefinesAndCountsCouplingsRelatively) {
    Sensitivities s;
    const Screw r2{Screw::Resonator, 2, 0};
    ASSERT_TRUE(learnScrew(s, r2, 0.25, {mhz(0.3)}, {mhz(0.3 - 0.48)}));
    ASSERT_TRUE(learnScrew(s, r2, 0.5, {mhz(0)}, {mhz(-1.02)}));
    EXPECT_NEAR(s.columns[0][0], (0.25 * -0.48 + 0.5 * -1.02) / (0.0625 + 0.25), 1e-12);
    EXPECT_EQ(s.screws.size(), 1u) << "the same screw, one column";

    const Screw k12{Screw::Coupling, 1, 2};
    ASSERT_TRUE(
        learnScrew(s, k12, -1, {ElementError{0.02, 0.02, true}}, {ElementError{0, 0.02, true}}));
    EXPECT_NEAR(s.columns[1][0], -(1 / 1.02 - 1), 1e-12) << "anticlockwise: the sign learned";

    EXPECT_FALSE(learnScrew(s, r2, 0, {mhz(0)}, {mhz(1)})) << "no turn, nothing learned";
    EXPECT_FALSE(learnScrew(s, r2, 1, {mhz(0)}, {mhz(1), mhz(1)})) << "other elements";
}

// Broyden's update: the change seen is explained, and a screw not turned
// keeps its column.
TEST(ScrewPlan, BroydenExplainsTheChangeSeen) {
    Sensitivities s;
    learnScrew(s, {Screw::Resonator, 1, 0}, 1, {mhz(0), mhz(0)}, {mhz(1), mhz(0)});
    learnScrew(s, {Screw::Resonator, 2, 0}, 1, {mhz(0), mhz(0)}, {mhz(0), mhz(1)});
    refineColumns(s, {0.5, 0}, {mhz(0), mhz(0)}, {mhz(1), mhz(0.25)});
    EXPECT_NEAR(s.columns[0][0], 2, 1e-12);
    EXPECT_NEAR(s.columns[0][1], 0.5, 1e-12);
    EXPECT_EQ(s.columns[1], (std::vector<double>{0, 1}));
}

// A bench of five resonator screws, each also pulling its neighbours by a
// fifth (and unequal in strength), learned from one quarter turn each: the
// plan from a detuned state comes within a few per cent of the truth and
// brings the weighted residual below a tenth.
TEST(ScrewPlan, PlanRecoversTheTurnsOfALinearBench) {
    const int n = 5;
    std::vector<std::vector<double>> truth(n, std::vector<double>(n, 0.0)); // [screw][element]
    for (int k = 0; k < n; ++k) {
        truth[k][k] = -(1.5 + 0.2 * k);
        if (k > 0)
            truth[k][k - 1] = 0.2 * truth[k][k];
        if (k + 1 < n)
            truth[k][k + 1] = 0.2 * truth[k][k];
    }
    const std::vector<double> turns = {0.6, -0.3, 1.2, 0, -0.8};
    auto stateAfter = [&](const std::vector<double> &base, const std::vector<double> &t) {
        std::vector<ElementError> e;
        for (int i = 0; i < n; ++i) {
            double v = base[i];
            for (int k = 0; k < n; ++k)
                v += truth[k][i] * t[k];
            e.push_back(mhz(v));
        }
        return e;
    };
    const std::vector<double> tuned(n, 0.0);
    Sensitivities s;
    for (int k = 0; k < n; ++k) {
        std::vector<double> quarter(n, 0.0);
        quarter[k] = 0.25;
        ASSERT_TRUE(learnScrew(s, {Screw::Resonator, k + 1, 0}, 0.25,
                               stateAfter(tuned, {0, 0, 0, 0, 0}), stateAfter(tuned, quarter)));
    }
    // Detuned so that the turns above bring it back.
    std::vector<double> minus(n);
    for (int k = 0; k < n; ++k)
        minus[k] = -turns[k];
    const auto detuned = stateAfter(tuned, minus);
    const auto plan = planTurns(s, detuned);
    std::vector<double> planned(n, 0.0);
    for (const PlannedTurn &p : plan)
        planned[p.screw.first - 1] = p.turns;
    double before = 0, after = 0;
    std::vector<double> base(n);
    for (int i = 0; i < n; ++i)
        base[i] = detuned[i].error;
    const auto result = stateAfter(base, planned);
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(planned[i], turns[i], 0.03 * std::abs(turns[i]) + 0.011) << "R" << i + 1;
        before += std::pow(detuned[i].error / 0.1, 2);
        after += std::pow(result[i].error / 0.1, 2);
    }
    EXPECT_LT(after, 0.01 * before);
}

// Two screws whose effects nearly cancel: the exact solution turns them a
// whole turn against each other; the plan, allowing for the hand's spread,
// turns neither hard.
TEST(ScrewPlan, NearlyCancellingScrewsAreNotTurnedHard) {
    Sensitivities s;
    s.screws = {{Screw::Resonator, 1, 0}, {Screw::Coupling, 1, 2}};
    s.columns = {{1, 1}, {1, 1.02}};
    s.learnedTurns = {1, 1};
    const std::vector<ElementError> state = {mhz(0, 1), mhz(0.02, 1)};
    // The exact solution of J t = -e: t = (1, -1).
    for (const PlannedTurn &p : planTurns(s, state))
        EXPECT_LT(std::abs(p.turns), 0.05) << screwName(p.screw);
    // Without the spread the plan would be the exact one.
    const auto exact = planTurns(s, state, 0);
    ASSERT_EQ(exact.size(), 2u);
    EXPECT_NEAR(exact[0].turns, 1, 1e-9);
    EXPECT_NEAR(exact[1].turns, -1, 1e-9);
}

// The header's example of a plan's change refining the columns.
TEST(ScrewPlan, APlanCarriedOutRefinesItsScrews) {
    Sensitivities s;
    const Screw r1 = *parseScrew("R1", 5);
    ASSERT_TRUE(learnScrew(s, r1, 0.25, {mhz(0.5)}, {mhz(0)}));
    const std::vector<PlannedTurn> plan{{r1, 0.25}};
    Sensitivities kept = s;
    EXPECT_FALSE(refineFromPlan(kept, plan, {mhz(0.5)}, {mhz(0.5)})) << "not carried out";
    EXPECT_EQ(kept.columns[0][0], -2);
    EXPECT_FALSE(refineFromPlan(kept, plan, {mhz(0.5)}, {mhz(0.45)})) << "a tenth of it";
    EXPECT_TRUE(refineFromPlan(s, plan, {mhz(0.5)}, {mhz(-0.25)}));
    EXPECT_DOUBLE_EQ(s.columns[0][0], -3);
    EXPECT_FALSE(refineFromPlan(s, {}, {mhz(0.5)}, {mhz(-0.25)})) << "no plan";
}

// The return loss a plan should reach, against the diagnosis of a sweep the
// generator makes of the filter as the plan leaves it. Rows: the header's
// example (R3 0.5 MHz high, -2 MHz a turn); coupling 2-3 5 % strong and
// K23 learned as -4 % a turn, with a spill of +0.02 MHz a turn on resonators
// 2 and 3.
struct PredictionRow {
    const char *name;
    varnel::testing::Filter before;
    const char *screw;
    std::vector<double> column; // in the diagnosis' element order
};

Diagnosis diagnosed(const varnel::testing::Filter &f) {
    DiagnoseSettings settings;
    settings.f0 = 1000;
    settings.qu = 3000;
    const auto d = diagnoseFilter(varnel::testing::tableOf(f),
                                  varnel::testing::generateFilter(f, 801, 15), settings);
    return std::get<Diagnosis>(d);
}

TEST(ScrewPlan, PredictedReturnLossIsTheNextSweeps) {
    varnel::testing::Filter r3;
    r3.offsetMHz = {0, 0, 0.5, 0, 0};
    varnel::testing::Filter k23;
    k23.couplingScale = {1, 1.05, 1, 1};
    // Elements: resonators 1..5, Qe in, couplings 1-2..4-5, Qe out.
    const PredictionRow rows[] = {
        {"resonator_high", r3, "R3", {0, 0, -2, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"coupling_strong", k23, "K23", {0, 0.02, 0.02, 0, 0, 0, 0, -0.04, 0, 0, 0}},
    };
    for (const PredictionRow &row : rows) {
        SCOPED_TRACE(row.name);
        const Diagnosis d = diagnosed(row.before);
        ASSERT_EQ(d.outcome, Diagnosis::Fail) << diagnosisText(d);
        ASSERT_EQ(d.elements.size(), row.column.size());
        Sensitivities s;
        s.screws = {*parseScrew(row.screw, 5)};
        s.columns = {row.column};
        s.learnedTurns = {1};
        const auto plan = planTurns(s, elementErrors(d.elements, d.bandwidthMHz));
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_DOUBLE_EQ(plannedReturnLossDb(d, s, {}), d.returnLossDb) << "no turn, no change";
        // The filter the plan leaves, generated apart from the model.
        const double t = plan[0].turns;
        varnel::testing::Filter after = row.before;
        after.offsetMHz.resize(5, 0);
        after.couplingScale.resize(4, 1);
        for (std::size_t i = 0; i < 5; ++i)
            after.offsetMHz[i] += row.column[i] * t;
        after.couplingScale[1] *= 1 + row.column[7] * t;
        const Diagnosis next = diagnosed(after);
        EXPECT_NEAR(plannedReturnLossDb(d, s, plan), next.returnLossDb, 0.1)
            << "planned " << t << " turn";
        EXPECT_GT(next.returnLossDb, d.returnLossDb + 2);
    }
}

} // namespace
