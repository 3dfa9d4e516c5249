#include "stage_generator.h"
#include "table_test.h"
#include "tuning/check.h"
#include "tuning/stage_lobes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;

TuningTable table5() {
    return std::get<TuningTable>(tuningTable("5", "10", "0.01", std::nullopt));
}

// A "measured" sweep: a model's S11 at `points` frequencies over f0 +- half.
Network sweepOf(const StageModel &model, double half, int points) {
    Network n;
    n.ports = 1;
    n.only = SParameter{1, 1};
    for (int i = 0; i < points; ++i) {
        const double f = model.f0 - half + 2 * half * i / (points - 1);
        n.frequencyMHz.push_back(f);
        n.values.push_back(stageResponse(model, f).s11);
    }
    return n;
}

CheckReport check(const TuningTable &t, const Network &n, int stage, std::optional<double> qu,
                  Aperture aperture = {}, bool comparison = true) {
    CheckSettings settings;
    settings.stage = stage;
    settings.f0 = 1000;
    settings.qu = qu;
    settings.aperture = aperture;
    settings.comparison = comparison;
    auto result = checkStage(t, n, settings);
    EXPECT_TRUE(std::holds_alternative<CheckReport>(result))
        << checkRefusalText(std::get<CheckRefusal>(result));
    return std::get<CheckReport>(result);
}

// The electrical delay removes a cable from the measurement only: a sweep
// behind 3 ns of cable, checked with --edelay 3, reads as the stage itself;
// without it the cable reads as delay (3 ns on 83 ns, about 3.6 % long).
TEST(Check, ElectricalDelayCorrectsTheMeasurementOnly) {
    const TuningTable t = table5();
    const StageModel model = stageModel(t, 2, 1000, 3000.0);
    Network n = sweepOf(model, 15, 1201);
    for (std::size_t i = 0; i < n.size(); ++i) // f in MHz times t in ns: 1e-3 of a cycle
        n.values[i] *= std::polar(1.0, -2 * std::numbers::pi * n.frequencyMHz[i] * 3e-3);
    CheckSettings settings;
    settings.stage = 2;
    settings.f0 = 1000;
    settings.qu = 3000.0;
    const struct {
        double edelay;
        double deviation; // percent, closed form: the cable adds 3 ns
    } rows[] = {{3, 0}, {0, 3 / 82.955 * 100}};
    for (const auto &row : rows) {
        settings.electricalDelayNs = row.edelay;
        const auto result = checkStage(t, n, settings);
        ASSERT_TRUE(std::holds_alternative<CheckReport>(result));
        const CheckReport &r = std::get<CheckReport>(result);
        EXPECT_NEAR(r.deviationPercent, row.deviation, 0.01) << row.edelay;
        // The model through a 0.05 MHz aperture, not less the cable.
        EXPECT_NEAR(r.targetDelayNs, stageResponse(model, 1000).delay, 0.002) << row.edelay;
    }
}

// The lobes of a dense sweep: a million points of a tuned stage 2 show
// both lobes where the target has them (the rounding ripple of so fine a
// delay trace is not a lobe), with the comparison kept or without it (the
// target then computed only where it is read).
TEST(Check, LobesOfAMillionPointSweep) {
    const TuningTable t = table5();
    const StageModel model = stageModel(t, 2, 1000, 3000.0);
    const Network sweep = sweepOf(model, 15, 1000001);
    for (const bool comparison : {true, false}) {
        const CheckReport r = check(t, sweep, 2, 3000.0, {}, comparison);
        ASSERT_EQ(r.lobes.size(), 2u) << comparison;
        EXPECT_NEAR(r.lobes[0].fMHz, 996.408, 0.01) << comparison;
        EXPECT_NEAR(r.lobes[1].fMHz, 1003.591, 0.01) << comparison;
        for (const Lobe &lobe : r.lobes) {
            EXPECT_NEAR(lobe.fMHz, lobe.targetFMHz, 1e-3) << comparison;
            EXPECT_NEAR(lobe.delayNs, lobe.targetDelayNs, 1e-6) << comparison;
        }
        EXPECT_NEAR(r.deviationPercent, 0, 1e-9) << comparison;
        EXPECT_TRUE(r.pass) << comparison;
        EXPECT_EQ(r.delayTarget.size(), comparison ? sweep.size() - 2 : 0u) << comparison;
    }
}

// A lean check of a long mistuned sweep (resonator 2 high, from a generator
// of its own) reads as the check that keeps every point: the same centre
// delays, lobes and verdict, whatever the aperture.
TEST(Check, LeanCheckOfALongSweepReadsAsTheWholeOne) {
    varnel::testing::Stage stage;
    stage.stage = 3;
    stage.offsetMHz = {0, 0.3};
    const TuningTable t = varnel::testing::tableOf(stage);
    const Network sweep = varnel::testing::generate(stage, 300001, 15);
    const struct {
        const char *name;
        Aperture aperture;
    } rows[] = {{"two steps", {}},
                {"five steps", {Aperture::Steps, 5}},
                {"0.2 MHz, wider than the stride", {Aperture::MHz, 0.2}}};
    for (const auto &row : rows) {
        const CheckReport whole = check(t, sweep, 3, 3000.0, row.aperture, true);
        const CheckReport lean = check(t, sweep, 3, 3000.0, row.aperture, false);
        EXPECT_NEAR(lean.targetDelayNs, whole.targetDelayNs, 1e-9 * whole.targetDelayNs)
            << row.name;
        EXPECT_EQ(lean.measuredDelayNs, whole.measuredDelayNs) << row.name;
        EXPECT_EQ(lean.s11DbMeasured, whole.s11DbMeasured) << row.name;
        ASSERT_EQ(lean.lobes.size(), whole.lobes.size()) << row.name;
        for (std::size_t l = 0; l < lean.lobes.size(); ++l) {
            EXPECT_NEAR(lean.lobes[l].targetFMHz, whole.lobes[l].targetFMHz, 1e-3) << row.name;
            EXPECT_NEAR(lean.lobes[l].targetDelayNs, whole.lobes[l].targetDelayNs, 1e-6)
                << row.name;
            EXPECT_EQ(lean.lobes[l].fMHz, whole.lobes[l].fMHz) << row.name;
        }
        EXPECT_EQ(lean.verdict.outcome, whole.verdict.outcome) << row.name;
        EXPECT_EQ(verdictText(lean.verdict), verdictText(whole.verdict)) << row.name;
        EXPECT_TRUE(lean.fMHz.empty() && lean.s11DbTargetTrace.empty()) << row.name;
    }
}

// The header's examples: a peak's prominence, and where the target is
// sampled.
TEST(StageLobes, HeaderExamples) {
    const std::vector<double> ys{0, 3, 1, 2, 0};
    EXPECT_EQ(prominentPeaks(ys, 1), (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(prominentPeaks(ys, 1.5), (std::vector<std::size_t>{1}));
    EXPECT_EQ(prominentPeaks(ys, 3.5), (std::vector<std::size_t>{}));
    EXPECT_EQ(targetStride(1000000), 250u);
    EXPECT_EQ(targetStride(20001), 1u);
}

// A reflection zero beside a lobe (|S11| dips through 0 at 992 MHz, as a
// lossy stage can): its delay spike stands far above the lobe, but the
// lobe is matched with the measured peak next to the target's.
TEST(Check, LobeIsNotTakenFromAReflectionZeroSpike) {
    const TuningTable t = table5();
    const StageModel model = stageModel(t, 2, 1000, 3000.0);
    Network n = sweepOf(model, 15, 1201);
    const std::complex<double> atSpike = stageResponse(model, 992).s11;
    for (std::complex<double> &value : n.values)
        value -= 0.999 * atSpike;
    const CheckReport r = check(t, n, 2, 3000.0);
    double highest = 0;
    for (const double delay : r.delayMeasured)
        highest = std::max(highest, std::abs(delay));
    ASSERT_GT(highest, 3 * r.lobes[0].targetDelayNs) << "no spike to avoid";
    ASSERT_EQ(r.lobes.size(), 2u);
    EXPECT_NEAR(r.lobes[0].fMHz, r.lobes[0].targetFMHz, 1.0);
}

// A tuned stage of quarter-wave coaxial resonators at 5 % bandwidth: held
// against the coaxial target it passes with nothing to turn, the fit exact;
// the lumped model fits it only roughly, its skirts being another shape.
TEST(Check, CoaxialStageAgainstItsOwnMapping) {
    const TuningTable t = std::get<TuningTable>(tuningTable("5", "50", "0.01", std::nullopt));
    const StageModel coaxial = stageModel(t, 2, 1000, 3000.0, ResonatorKind::Coaxial);
    const Network n = sweepOf(coaxial, 75, 1501);
    CheckSettings settings;
    settings.stage = 2;
    settings.f0 = 1000;
    settings.qu = 3000.0;
    settings.resonator = ResonatorKind::Coaxial;
    const CheckReport matched = std::get<CheckReport>(checkStage(t, n, settings));
    EXPECT_EQ(matched.verdict.outcome, Verdict::Pass) << adviceText(matched);
    EXPECT_NEAR(matched.deviationPercent, 0, 1e-9);
    settings.resonator = ResonatorKind::Lumped;
    const CheckReport lumped = std::get<CheckReport>(checkStage(t, n, settings));
    ASSERT_TRUE(matched.fit && lumped.fit);
    EXPECT_LT(matched.fit->residualRms, 1e-9);
    EXPECT_GT(lumped.fit->residualRms, 1e-4);
}

// A sweep too narrow for the stage's lobes is warned of, with the span
// that would show them; a wide enough one is not.
TEST(Check, SweepTooNarrowForTheLobesIsWarnedOf) {
    const TuningTable t = table5();
    const StageModel model = stageModel(t, 2, 1000, 3000.0);
    const struct {
        double half; // MHz either side of f0
        bool warned;
    } rows[] = {{2, true}, {4, true}, {15, false}};
    for (const auto &row : rows) {
        const CheckReport r = check(t, sweepOf(model, row.half, 401), 2, 3000.0);
        EXPECT_EQ(r.lobesMissing, row.warned) << row.half;
        EXPECT_EQ(r.verdict.outcome, row.warned ? Verdict::Uncertain : Verdict::Pass) << row.half;
        EXPECT_EQ(warningTexts(r).size(), row.warned ? 1u : 0u) << row.half;
        if (row.half == 2) {
            EXPECT_EQ(warningTexts(r)[0],
                      "the sweep shows 0 of the stage's 2 lobes: sweep at least 1.5 x BW on "
                      "either side of f0 (985 to 1015 MHz), or the lobes cannot be read");
        }
    }
}

// The header's worked example.
TEST(Check, WorkedExample) {
    const TuningTable t = table5();
    const Network n = sweepOf(stageModel(t, 1, 1000, 1000.0), 30, 2001);
    const CheckReport r = check(t, n, 1, 1000.0);
    EXPECT_TRUE(r.pass);
    EXPECT_NEAR(r.measuredDelayNs, 48.426, 5e-4);
    EXPECT_NEAR(r.deviationPercent, 0, 1e-12);
    EXPECT_NEAR(r.s11DbMeasured, -1.3164, 5e-5);
    EXPECT_NEAR(*r.qe, 75.63, 0.005);
    EXPECT_NEAR(*r.qu, 1000, 0.5);
    EXPECT_EQ(r.verdict.outcome, Verdict::Pass);
    EXPECT_EQ(adviceText(r), "Within tolerance: go on to stage 2.");
}

// Qe and Qu of a single lossy resonator come back from its sweep:
// Qe = g1 f0 / BWe, Qu as modelled.
TEST(Check, StageOneQeAndQuFromASweep) {
    const TuningTable t = table5();
    const double qe = t.stages[0].g * 1000 / effectiveBandwidth(10);
    for (double qu : {300.0, 1000.0, 5000.0, 20000.0}) {
        const Network n = sweepOf(stageModel(t, 1, 1000, qu), 20, 4001);
        const CheckReport r = check(t, n, 1, std::nullopt);
        EXPECT_NEAR(*r.qe, qe, 2e-4 * qe) << qu;
        ASSERT_TRUE(r.qu) << qu;
        EXPECT_NEAR(*r.qu, qu, 2e-3 * qu) << qu;
    }
    // Lossless: |S11| is 1, so there is no Qu to extract.
    const CheckReport lossless =
        check(t, sweepOf(stageModel(t, 1, 1000, std::nullopt), 20, 4001), 1, std::nullopt);
    EXPECT_NEAR(*lossless.qe, qe, 2e-4 * qe);
    EXPECT_FALSE(lossless.qu);
}

// A wide aperture lowers the measured delay a good deal, but the target goes
// through the same aperture, so the check still passes with no deviation.
TEST(Check, ApertureIsNotATuningError) {
    const TuningTable t = table5();
    for (int stage : {1, 2, 3}) {
        const Network n = sweepOf(stageModel(t, stage, 1000, 2000.0), 15, 301);
        const CheckReport r = check(t, n, stage, 2000.0, Aperture{Aperture::PercentOfSpan, 10});
        EXPECT_EQ(r.apertureSteps, 30u);
        const double exact = stageResponse(stageModel(t, stage, 1000, 2000.0), 1000).delay;
        EXPECT_GT(std::abs(r.targetDelayNs - exact), 0.01 * exact)
            << "a wide aperture must show in the numbers, stage " << stage;
        EXPECT_NEAR(r.deviationPercent, 0, 1e-9) << stage;
        EXPECT_TRUE(r.pass);
    }
}

struct MistuneRow {
    const char *name;
    int stage;
    double offsetMHz; // of the last tuned resonator
};

const MistuneRow mistuneRows[] = {
    {"stage1_high", 1, 0.4}, {"stage1_low", 1, -0.4}, {"stage2_high", 2, 0.3},
    {"stage2_low", 2, -0.3}, {"stage3_high", 3, 0.3}, {"stage4_low", 4, -0.3},
};

class MistuneTest : public ::testing::TestWithParam<MistuneRow> {};

// A mistuned last resonator moves the lobes (first order) while the centre
// delay stays (second order): the centre delay passes, but the verdict
// fails and names the resonator and its direction.
TEST_P(MistuneTest, LobesMoveCentreDelayStays) {
    const MistuneRow &row = GetParam();
    const TuningTable t = table5();
    StageModel model = stageModel(t, row.stage, 1000, std::nullopt);
    model.lastResonator = 1000 + row.offsetMHz;
    const CheckReport r = check(t, sweepOf(model, 20, 2001), row.stage, std::nullopt);
    EXPECT_LT(std::abs(r.deviationPercent), 2) << "the centre delay stays within tolerance";
    ASSERT_EQ(r.lobes.size(), static_cast<std::size_t>(row.stage));
    EXPECT_EQ(r.verdict.outcome, Verdict::Fail);
    ASSERT_EQ(r.verdict.findings.size(), 1u) << adviceText(r);
    const Finding &f = r.verdict.findings[0];
    EXPECT_EQ(f.element, Finding::Resonator);
    EXPECT_EQ(f.index, row.stage);
    EXPECT_EQ(f.direction, row.offsetMHz > 0 ? Finding::Down : Finding::Up);
    EXPECT_NEAR(f.offsetMHz, row.offsetMHz, 1e-6);
    if (row.stage == 1) {
        // The single resonator's peak moves with it.
        EXPECT_NEAR(r.lobes[0].fMHz - r.lobes[0].targetFMHz, row.offsetMHz, 0.05);
    } else {
        // The lobe on the side the resonator moved to grows.
        const double lean = (r.lobes.back().delayNs - r.lobes.front().delayNs) -
                            (r.lobes.back().targetDelayNs - r.lobes.front().targetDelayNs);
        EXPECT_EQ(lean > 0, row.offsetMHz > 0);
    }
    const std::string advice = adviceText(r);
    EXPECT_NE(advice.find(row.offsetMHz > 0 ? "down" : "up"), std::string::npos) << advice;
}

INSTANTIATE_TEST_SUITE_P(Resonators, MistuneTest, ::testing::ValuesIn(mistuneRows),
                         varnel::testing::RowName());

// The last element's g 6 % off moves the centre delay and is the coupling
// into the last resonator (on stage 1 the input's Qe, 6 % off; later
// k = FBW / sqrt(g' g), 1 / sqrt(1.06) - 1 = -2.9 %): named with its
// direction.
TEST(Check, CouplingOffMovesTheCentreDelay) {
    const TuningTable t = table5();
    for (int stage : {1, 2, 3})
        for (double factor : {1.06, 0.94}) {
            StageModel model = stageModel(t, stage, 1000, std::nullopt);
            model.g.back() *= factor;
            const CheckReport r = check(t, sweepOf(model, 20, 2001), stage, std::nullopt);
            EXPECT_FALSE(r.pass) << stage << ' ' << factor;
            EXPECT_EQ(r.deviationPercent > 0, factor > 1);
            ASSERT_EQ(r.verdict.outcome, Verdict::Fail) << stage << ' ' << factor;
            const Finding &f = r.verdict.findings[0];
            EXPECT_EQ(f.element, stage == 1 ? Finding::External : Finding::Coupling);
            EXPECT_EQ(f.index, stage);
            EXPECT_EQ(f.direction, factor > 1 ? Finding::Strengthen : Finding::Weaken);
            const double expected =
                stage == 1 ? (factor - 1) * 100 : (1 / std::sqrt(factor) - 1) * 100;
            EXPECT_NEAR(f.percent, expected, 1e-4) << stage << ' ' << factor;
        }
}

// Without Qu the fit finds the loss and the verdict holds the stage against
// the design at that loss; a Qu given that the sweep does not show is
// warned of.
TEST(Check, LossIsFoundWhenQuIsNotGiven) {
    const TuningTable t = table5();
    const Network n = sweepOf(stageModel(t, 2, 1000, 500.0), 20, 2001);
    const CheckReport without = check(t, n, 2, std::nullopt);
    EXPECT_EQ(without.verdict.outcome, Verdict::Pass) << adviceText(without);
    ASSERT_TRUE(without.fit);
    EXPECT_NEAR(*without.fit->qu(without.fit->model.fbw), 500, 0.01);
    EXPECT_TRUE(warningTexts(without).empty());
    const CheckReport wrong = check(t, n, 2, 3000.0);
    ASSERT_EQ(warningTexts(wrong).size(), 1u);
    EXPECT_EQ(warningTexts(wrong)[0],
              "the sweep's Qu is about 500, not the given 3000: the target delay assumes 3000");
}

TEST(Check, RefusesWhatItCannotCheck) {
    const TuningTable t = table5();
    const Network n = sweepOf(stageModel(t, 1, 1000, std::nullopt), 5, 11);
    CheckSettings settings;
    settings.f0 = 1010;
    EXPECT_EQ(checkRefusalText(std::get<CheckRefusal>(checkStage(t, n, settings))),
              "f0 1010 MHz is outside the measured delay (996 to 1004 MHz)");
    settings.f0 = 1000;
    settings.stage = 6;
    EXPECT_EQ(checkRefusalText(std::get<CheckRefusal>(checkStage(t, n, settings))),
              "stage 6 is beyond the order (5)");
    settings.stage = 1;
    settings.aperture = Aperture{Aperture::Steps, 11};
    EXPECT_EQ(checkRefusalText(std::get<CheckRefusal>(checkStage(t, n, settings))),
              "an aperture of 11 steps needs more than the sweep's 11 points (at most 10 steps)");
}

} // namespace
