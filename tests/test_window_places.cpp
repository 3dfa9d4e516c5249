// Where the tuning window puts things: the header's worked examples, and
// the cases around them.
#include "tuning_window/window_places.h"

#include <gtest/gtest.h>

using namespace varnel;

namespace {

struct ScreenRow {
    const char *name;
    QRect frame, available, kept;
};

TEST(WindowPlaces, FrameKeptOnTheScreen) {
    const ScreenRow rows[] = {
        {"larger_screen_saved", {0, 0, 1280, 800}, {0, 0, 1024, 600}, {0, 0, 1024, 600}},
        {"off_the_bottom_right", {900, 500, 800, 600}, {0, 0, 1920, 1080}, {900, 480, 800, 600}},
        {"off_the_top_left", {-50, -20, 800, 600}, {0, 0, 1920, 1080}, {0, 0, 800, 600}},
        {"second_screen", {1900, 100, 800, 600}, {1920, 0, 1280, 1024}, {1920, 100, 800, 600}},
        {"panel_at_the_top", {0, 0, 800, 600}, {0, 30, 1024, 570}, {0, 30, 800, 570}},
        {"fits_already", {100, 100, 800, 600}, {0, 0, 1920, 1080}, {100, 100, 800, 600}},
    };
    for (const ScreenRow &row : rows)
        EXPECT_EQ(clampedToScreen(row.frame, row.available), row.kept) << row.name;
}

// The whole frame, title bar included, within the screen: the worked
// example, and a frame that fits already.
TEST(WindowPlaces, ClientWithinAFrameThatFits) {
    EXPECT_EQ(clientWithin({1, 20, 1024, 600}, {0, 0, 1026, 621}, {0, 0, 1024, 600}),
              QRect(1, 20, 1022, 579));
    EXPECT_EQ(clientWithin({101, 120, 800, 500}, {100, 100, 802, 521}, {0, 0, 1024, 768}),
              QRect(101, 120, 800, 500));
}

struct ExportRow {
    const char *name;
    QString origin;
    bool analyser;
    int stage;
    bool whole;
    const char *what, *suffix;
    QString proposed;
};

TEST(WindowPlaces, ExportNamesFromTheSweep) {
    const ExportRow rows[] = {
        {"worked_example", "/bench/unit7.s2p", false, 2, false, "target", "s1p",
         "/bench/unit7-stage2-target.s1p"},
        {"whole_filter", "/bench/unit7.s2p", false, 2, true, "comparison", "csv",
         "/bench/unit7-filter-comparison.csv"},
        {"dots_in_the_name", "/bench/unit.7.b.s1p", false, 3, false, "chart", "png",
         "/bench/unit.7.b-stage3-chart.png"},
        {"analyser", "scpi://10.0.0.5", true, 1, false, "sweep", "s1p",
         "/home/tuner/sweep-stage1-sweep.s1p"},
        {"no_sweep", "", false, 1, false, "target", "s1p", "/home/tuner/sweep-stage1-target.s1p"},
    };
    for (const ExportRow &row : rows)
        EXPECT_EQ(proposedExportPath(row.origin, row.analyser, row.stage, row.whole, row.what,
                                     row.suffix, "/home/tuner"),
                  row.proposed)
            << row.name;
}

} // namespace
