// The marker set's rules: the header's worked example, then a row per rule.
#include "tuning/marker_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnel;

namespace {

// A trace at 995..1005 MHz a point a MHz, lobes at 996 and 1004 MHz, and
// with `more` also at 998, 1002 and 1003 MHz.
CheckReport report(bool more = false) {
    CheckReport r;
    for (int f = 995; f <= 1005; ++f) {
        r.fMHz.push_back(f);
        r.delayMeasured.push_back(50 + f - 1000);
        r.delayTarget.push_back(50);
        r.s11DbMeasuredTrace.push_back(-10);
    }
    r.settings.f0 = 1000;
    for (double f : {996.0, 1004.0, 998.0, 1002.0, 1003.0}) {
        Lobe lobe;
        lobe.fMHz = f;
        if (more || r.lobes.size() < 2)
            r.lobes.push_back(lobe);
    }
    return r;
}

std::string shown(const MarkerSet &set) {
    const CheckReport r = report(true);
    std::string text;
    const auto readings = set.readings(&r, nullptr, false);
    for (std::size_t i = 0; i < readings.markers.size(); ++i) {
        text += i == static_cast<std::size_t>(set.selected()) ? "*" : "";
        const auto &m = readings.markers[i];
        text += (m ? std::to_string(static_cast<int>(m->fMHz)) : "-") + " ";
    }
    return text;
}

TEST(MarkerSet, WorkedExample) {
    MarkerSet set;
    set.add({Marker::AtF0, 0, 0});
    set.place(1001);
    set.add({Marker::AtF0, 0, 0});
    EXPECT_EQ(shown(set), "*1000 1001 ");
    set.atLobePeaks(report());
    EXPECT_EQ(shown(set), "*1000 996 1004 ");
    set.select(2);
    set.remove(1);
    EXPECT_EQ(shown(set), "1000 *1004 ");
}

struct RuleRow {
    const char *name;
    void (*steps)(MarkerSet &);
    const char *after;
};

const RuleRow rules[] = {
    {"a_fifth_replaces_the_selected",
     [](MarkerSet &s) {
         for (double f : {996.0, 997.0, 998.0, 999.0})
             s.place(f);
         s.select(1);
         s.place(1003);
     },
     "996 *1003 998 999 "},
    {"lobe_peaks_replace_fixed_markers",
     [](MarkerSet &s) {
         s.place(1002);
         s.atLobePeaks(report());
     },
     "*996 1004 "},
    {"lobe_peaks_fill_up_to_four_after_f0",
     [](MarkerSet &s) {
         s.add({Marker::AtF0, 0, 0});
         s.atLobePeaks(report(true));
     },
     "*1000 996 1004 998 "},
    {"move_is_held_at_the_end",
     [](MarkerSet &s) {
         s.place(1003);
         s.move(report(), 5);
     },
     "*1005 "},
    {"moved_f0_marker_stays_put",
     [](MarkerSet &s) {
         s.add({Marker::AtF0, 0, 0});
         s.move(report(), -2);
         s.add({Marker::AtF0, 0, 0});
     },
     "998 *1000 "},
    {"removing_the_last_selects_the_new_last",
     [](MarkerSet &s) {
         s.place(996);
         s.place(997);
         s.remove(1);
     },
     "*996 "},
    {"out_of_range_select_and_remove_do_nothing",
     [](MarkerSet &s) {
         s.place(996);
         s.select(3);
         s.remove(-1);
         s.remove(1);
     },
     "*996 "},
    {"set_keeps_four",
     [](MarkerSet &s) {
         s.set({{Marker::Fixed, 996, 0},
                {Marker::Fixed, 997, 0},
                {Marker::Fixed, 998, 0},
                {Marker::Fixed, 999, 0},
                {Marker::Fixed, 1001, 0}});
     },
     "*996 997 998 999 "},
};

class MarkerSetRule : public ::testing::TestWithParam<RuleRow> {};

TEST_P(MarkerSetRule, Gives) {
    MarkerSet set;
    GetParam().steps(set);
    EXPECT_EQ(shown(set), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Rules, MarkerSetRule, ::testing::ValuesIn(rules),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(MarkerSet, DeltaOfTheSelectedAgainstTheFirst) {
    const CheckReport r = report();
    MarkerSet set;
    set.place(999);
    set.place(1002);
    set.place(1004);
    set.select(1);
    auto readings = set.readings(&r, nullptr, true);
    ASSERT_TRUE(readings.delta);
    EXPECT_EQ(readings.deltaOf, 1);
    EXPECT_EQ(readings.delta->fMHz, 3);
    EXPECT_EQ(readings.delta->measuredNs, 3);
    set.select(0); // marker 1 selected: the last against it
    readings = set.readings(&r, nullptr, true);
    EXPECT_EQ(readings.deltaOf, 2);
    EXPECT_EQ(readings.delta->fMHz, 5);
    EXPECT_FALSE(set.readings(&r, nullptr, false).delta);
    EXPECT_FALSE(set.readings(nullptr, nullptr, true).markers[0]);
}

} // namespace
