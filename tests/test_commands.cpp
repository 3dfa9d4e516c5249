#include "calculator_window/commands.h"
#include "fake_services.h"
#include "lowpass_prototype/run_time_error.h"

#include <gtest/gtest.h>

using namespace varnel;
using varnel::testing::FakeServices;

namespace {

FakeServices initialWindow() {
    FakeServices window;
    window.texts = {{"Text1", "   5"}, {"Text2", "   10"}, {"Text3", "  0.01"}, {"Text4", ""}};
    return window;
}

TEST(CalculateCommand, ReadsOrderRippleBandwidthAndWritesResult) {
    FakeServices window = initialWindow();
    calculateCommand(window);
    EXPECT_EQ(window.reads, (std::vector<std::string>{"Text1", "Text3", "Text2"}));
    EXPECT_EQ(window.texts["Text4"], "48.149");
}

TEST(CalculateCommand, ErrorLeavesResultFieldAlone) {
    FakeServices window = initialWindow();
    window.texts["Text4"] = "48.149";
    window.texts["Text2"] = "";
    try {
        calculateCommand(window);
        FAIL() << "no run-time error";
    } catch (const RunTimeError &error) {
        EXPECT_EQ(error.number(), 11);
    }
    EXPECT_EQ(window.texts["Text4"], "48.149");
}

// Runs the exit command until the program ends; returns whether it ended.
bool runExit(FakeServices &window) {
    try {
        exitCommand(window);
    } catch (const ProgramEnded &) {
        return true;
    }
    return false;
}

TEST(ExitCommand, WindowThatShrinksToNothingLeavesEachPhaseByThreshold) {
    FakeServices window = initialWindow();
    ASSERT_TRUE(runExit(window));
    // Height 4440 -> 4430, ..., 10 (443 steps, the last not above 11), then 30.
    ASSERT_EQ(window.heightsSet.size(), 444u);
    EXPECT_EQ(window.heightsSet.front(), 4430.0f);
    EXPECT_EQ(window.heightsSet[442], 10.0f);
    EXPECT_EQ(window.heightsSet.back(), 30.0f);
    // Width 2055 -> 2045, ..., 5 (205 steps), and the program ends at once.
    ASSERT_EQ(window.widthsSet.size(), 205u);
    EXPECT_EQ(window.widthsSet.back(), 5.0f);
    EXPECT_EQ(window.doEventsCalls, 443 + 205);
    EXPECT_EQ(window.endCalls, 1);
}

TEST(ExitCommand, WindowHeldAtMinimumRunsFullCounts) {
    FakeServices window = initialWindow();
    window.minimumTwips = 120;
    ASSERT_TRUE(runExit(window));
    // Limits: 4440 / 2 = 2220 steps, then 2055 / 2 = 1027.5, so 1027 steps.
    EXPECT_EQ(window.heightsSet.size(), 2220u + 1);
    EXPECT_EQ(window.widthsSet.size(), 1027u);
    EXPECT_EQ(window.doEventsCalls, 2220 + 1027);
    EXPECT_EQ(window.heightsSet.back(), 30.0f);
    EXPECT_EQ(window.widthsSet.back(), 110.0f); // 120 held, minus 10
    EXPECT_EQ(window.endCalls, 1);
}

TEST(ExitCommand, LimitIsReadInSinglePrecisionOnce) {
    FakeServices window = initialWindow();
    window.heightTwips = 45; // limit 22.5: counters 1..22
    window.widthTwips = 41;  // limit 20.5: counters 1..20
    window.minimumTwips = 40;
    ASSERT_TRUE(runExit(window));
    EXPECT_EQ(window.heightsSet.size(), 22u + 1);
    EXPECT_EQ(window.widthsSet.size(), 20u);
}

TEST(ExitCommand, NestedCalculateWritesResultMidAnimation) {
    FakeServices window = initialWindow();
    std::string seenAtStep6;
    window.pendingEvents = [&](int call) {
        if (call == 5)
            calculateCommand(window);
        if (call == 6)
            seenAtStep6 = window.texts["Text4"];
    };
    ASSERT_TRUE(runExit(window));
    EXPECT_EQ(seenAtStep6, "48.149");
    EXPECT_EQ(window.endCalls, 1);
}

TEST(ExitCommand, NestedExitEndsTheProgramOnce) {
    FakeServices window = initialWindow();
    window.pendingEvents = [&](int call) {
        if (call == 3) {
            window.pendingEvents = nullptr;
            exitCommand(window);
        }
    };
    ASSERT_TRUE(runExit(window));
    EXPECT_EQ(window.endCalls, 1);
    // The outer animation did not take another step after the nested one
    // ended the program: 2 outer steps, then the nested run's own.
    EXPECT_EQ(window.doEventsCalls, 3 + 441 + 205);
}

} // namespace
