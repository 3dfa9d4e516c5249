#include "stage_generator.h"
#include "tuning/markers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varnel;
using namespace varnel::testing;

namespace {

CheckReport trace(std::vector<double> f, std::vector<double> measured, std::vector<double> target,
                  std::vector<double> s11) {
    CheckReport r;
    r.fMHz = std::move(f);
    r.delayMeasured = std::move(measured);
    r.delayTarget = std::move(target);
    r.s11DbMeasuredTrace = std::move(s11);
    return r;
}

CheckReport checked(const Stage &s, int points = 801) {
    CheckSettings settings;
    settings.stage = s.stage;
    settings.f0 = s.f0;
    settings.qu = s.qu;
    const Network n = generate(s, points, 1.5 * s.bandwidth);
    auto result = checkStage(tableOf(s), n, settings);
    if (const auto *why = std::get_if<CheckRefusal>(&result))
        ADD_FAILURE() << checkRefusalText(*why);
    return std::get<CheckReport>(result);
}

Stage stage2() {
    Stage s;
    s.stage = 2;
    s.offsetMHz = {0, 0};
    s.couplingScale = {1};
    return s;
}

} // namespace

// The header's worked examples.
TEST(Markers, WorkedExamples) {
    const CheckReport r = trace({999, 1000, 1001}, {50, 52, 51}, {50, 50, 50}, {-10, -12, -11});
    const MarkerReading m = readMarker(r, *markerPoint(r, {Marker::Fixed, 1000.4}));
    EXPECT_EQ(m.fMHz, 1000);
    EXPECT_EQ(m.measuredNs, 52);
    EXPECT_EQ(m.targetNs, 50);
    EXPECT_EQ(m.differenceNs, 2);
    EXPECT_EQ(m.differencePercent, 4);
    EXPECT_EQ(m.s11Db, -12);
    EXPECT_FALSE(m.memoryNs);
    const MarkerDelta d = markerDelta(m, readMarker(r, *markerPoint(r, {Marker::Fixed, 1001})));
    EXPECT_EQ(d.fMHz, 1);
    EXPECT_EQ(d.measuredNs, -1);
    EXPECT_EQ(d.targetNs, 0);
    EXPECT_EQ(d.s11Db, 1);

    CheckReport now = trace({1002.1}, {51}, {51}, {-20});
    CheckReport memory = trace({1002.4}, {50.5}, {51}, {-20});
    now.measuredDelayNs = 48.5;
    memory.measuredDelayNs = 48.0;
    now.settings.tolerancePercent = 2;
    now.lobes = {{1002.1, 51, 0, 0}};
    memory.lobes = {{1002.4, 50.5, 0, 0}};
    const MemoryComparison c = compareWithMemory(now, memory);
    EXPECT_DOUBLE_EQ(c.centreNs, 0.5);
    EXPECT_NEAR(c.centrePercent, 1.04, 0.005);
    EXPECT_TRUE(c.within);
    ASSERT_EQ(c.lobes.size(), 1u);
    EXPECT_NEAR(c.lobes[0].fMHz, -0.3, 1e-9);
    EXPECT_DOUBLE_EQ(c.lobes[0].delayNs, 0.5);
}

// Snapping: the nearest point, the lower on a tie, the ends beyond the trace.
TEST(Markers, SnapsToTheNearestPoint) {
    const std::vector<double> f = {100, 101, 103, 110};
    const struct {
        const char *name;
        double at;
        std::size_t point;
    } rows[] = {{"below the first", 50, 0},      {"on a point", 103, 2},
                {"nearer the lower", 101.9, 1},  {"a tie", 102, 1},
                {"nearer the upper", 102.1, 2},  {"beyond the last", 1e9, 3},
                {"just past the last", 110.5, 3}};
    for (const auto &row : rows)
        EXPECT_EQ(nearestPoint(f, row.at), row.point) << row.name;
    EXPECT_EQ(nearestPoint({7}, 1), 0u);
    EXPECT_FALSE(markerPoint(CheckReport{}, {Marker::Fixed, 1000}));
}

// On a real check: a marker at f0 reads the trace where the check read f0,
// and lobe markers sit on the lobes the check found, following them when a
// resonator is turned while a fixed marker keeps its frequency.
TEST(Markers, FollowTheSweep) {
    Stage s = stage2();
    const CheckReport before = checked(s);
    ASSERT_EQ(before.lobes.size(), 2u);
    const auto lobes = lobePeakMarkers(before);
    ASSERT_EQ(lobes.size(), 2u);
    s.offsetMHz[0] = 0.6;
    const CheckReport after = checked(s);
    ASSERT_EQ(after.lobes.size(), 2u);
    ASSERT_NE(after.lobes[0].fMHz, before.lobes[0].fMHz) << "the turn moved no lobe";
    for (const CheckReport *r : {&before, &after}) {
        for (std::size_t l = 0; l < 2; ++l) {
            const MarkerReading m = readMarker(*r, *markerPoint(*r, lobes[l]));
            EXPECT_EQ(m.fMHz, r->lobes[l].fMHz) << "lobe " << l;
            EXPECT_EQ(m.measuredNs, r->lobes[l].delayNs) << "lobe " << l;
        }
        // The trace's spacing is 30/800 MHz: f0 is within half of it.
        const MarkerReading centre = readMarker(*r, *markerPoint(*r, {Marker::AtF0}));
        EXPECT_LE(std::abs(centre.fMHz - 1000), 30.0 / 800 / 2 + 1e-9);
        EXPECT_NEAR(centre.measuredNs, r->measuredDelayNs, 0.05);
    }
    const Marker fixed{Marker::Fixed, before.lobes[0].fMHz};
    EXPECT_EQ(readMarker(after, *markerPoint(after, fixed)).fMHz, before.lobes[0].fMHz);
    EXPECT_FALSE(markerPoint(after, {Marker::LobePeak, 0, 2}));

    Stage five;
    five.stage = 5;
    five.offsetMHz.assign(5, 0.0);
    five.couplingScale.assign(4, 1.0);
    EXPECT_EQ(lobePeakMarkers(checked(five)).size(), maxMarkers);
}

// A cable of 0.5 ns added since the memory delays every point by exactly
// 0.5 ns (its phase is linear in frequency), and moves no lobe.
TEST(Markers, AgainstAMemoryWithACableAdded) {
    Stage s = stage2();
    const CheckReport memory = checked(s);
    s.cableNs = 0.5;
    const CheckReport now = checked(s);
    const MemoryComparison c = compareWithMemory(now, memory);
    ASSERT_EQ(c.differenceNs.size(), now.fMHz.size());
    for (std::size_t i = 0; i < c.differenceNs.size(); ++i)
        ASSERT_NEAR(c.differenceNs[i], 0.5, 1e-6) << now.fMHz[i] << " MHz";
    EXPECT_NEAR(c.centreNs, 0.5, 1e-6);
    EXPECT_NEAR(c.centrePercent, 0.5 / memory.measuredDelayNs * 100, 1e-6);
    EXPECT_TRUE(c.within);
    ASSERT_EQ(c.lobes.size(), 2u);
    for (const auto &lobe : c.lobes) {
        EXPECT_EQ(lobe.fMHz, 0);
        EXPECT_NEAR(lobe.delayNs, 0.5, 1e-6);
    }
    const MarkerReading m = readMarker(now, 400, &c);
    ASSERT_TRUE(m.memoryNs && m.againstMemoryNs);
    EXPECT_NEAR(*m.againstMemoryNs, 0.5, 1e-6);
    EXPECT_NEAR(*m.memoryNs, memory.delayMeasured[400], 1e-6);
}

// A memory on another grid is interpolated; outside its span there is no
// difference, and a marker there reads none.
TEST(Markers, MemoryOnAnotherGrid) {
    const CheckReport now = trace({99, 100, 101, 102, 103}, {10, 11, 12, 13, 14}, {}, {});
    CheckReport memory = trace({100, 102}, {10, 12}, {}, {});
    memory.measuredDelayNs = 10;
    const MemoryComparison c = compareWithMemory(now, memory);
    EXPECT_TRUE(std::isnan(c.differenceNs[0]));
    EXPECT_EQ(c.differenceNs[1], 1);
    EXPECT_EQ(c.differenceNs[2], 1); // 12 - 11, halfway between the memory's points
    EXPECT_EQ(c.differenceNs[3], 1);
    EXPECT_TRUE(std::isnan(c.differenceNs[4]));
    EXPECT_TRUE(c.lobes.empty());
}
