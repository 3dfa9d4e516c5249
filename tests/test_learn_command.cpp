#include "journal/journal.h"
#include "learn_sweeps.h"
#include "shell_run.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

// learn and diagnose --journal against sweeps of a filter whose screw is
// known: resonator 3's screw moves it -2 MHz a clockwise turn and pulls
// resonators 2 and 4 by -0.1 MHz.
namespace {

using varnel::testing::calc;
using varnel::testing::sweepFile;

TEST(LearnCommand, LearnsTheScrewAndPlansItsTurn) {
    const std::string journal = ::testing::TempDir() + "/learn.db";
    std::filesystem::remove(journal);
    const std::string before = sweepFile("before", {0, 0, 0.5, 0, 0});
    const std::string after = sweepFile("after", {0, -0.025, 0, -0.025, 0}); // R3 +0.25 turn
    const auto learned =
        calc({"learn", "--journal", journal, "--screw", "R3", "--turned", "0.25", before, after});
    ASSERT_EQ(learned.status, 0) << learned.err;
    EXPECT_NE(learned.out.find("R3 learned from 0.25 turn clockwise"), std::string::npos)
        << learned.out;

    auto opened = varnel::Journal::open(journal);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<varnel::Journal>>(opened));
    const auto s = std::get<varnel::Sensitivities>(
        std::get<std::unique_ptr<varnel::Journal>>(opened)->loadSensitivities(
            "order=5 bandwidth=10 ripple=0.01 f0=1000 zeros= topology=inline"));
    ASSERT_EQ(s.screws.size(), 1u);
    // Elements in the diagnosis' order: resonators first (1..5).
    EXPECT_NEAR(s.columns[0][2], -2, 0.05) << "resonator 3";
    EXPECT_NEAR(s.columns[0][1], -0.1, 0.05) << "resonator 2";
    EXPECT_NEAR(s.columns[0][3], -0.1, 0.05) << "resonator 4";

    const auto planned = calc({"diagnose", before, "--journal", journal, "--json"});
    EXPECT_EQ(planned.status, 3) << planned.err;
    const auto j = nlohmann::json::parse(planned.out);
    ASSERT_EQ(j["turns"].size(), 1u) << planned.out;
    EXPECT_EQ(j["turns"][0]["screw"], "R3");
    EXPECT_NEAR(j["turns"][0]["turns"].get<double>(), 0.25, 0.02);
    const auto text = calc({"diagnose", before, "--journal", journal});
    EXPECT_NE(text.out.find("plan: Turn R3 0.2"), std::string::npos) << text.out;
}

// R3 learned as -1 MHz a turn where it is -2: the plan turns it twice too
// far; the unit's next diagnosis takes that plan as carried out, refines R3
// to -2 and plans the half turn back. A second look without a turn refines
// nothing.
TEST(LearnCommand, SuccessiveDiagnosesRefineTheScrews) {
    const std::string journal = ::testing::TempDir() + "/refine.db";
    std::filesystem::remove(journal);
    const std::string high = sweepFile("refine_high", {0, 0, 0.5, 0, 0});
    const std::string halfway = sweepFile("refine_halfway", {0, 0, 0.25, 0, 0});
    ASSERT_EQ(
        calc({"learn", "--journal", journal, "--screw", "R3", "--turned", "0.25", high, halfway})
            .status,
        0);
    auto diagnosed = [&](const std::string &sweep) {
        const auto r = calc({"diagnose", sweep, "--journal", journal, "--unit", "U", "--json"});
        return nlohmann::json::parse(r.out);
    };
    const auto first = diagnosed(high);
    ASSERT_EQ(first["turns"].size(), 1u);
    const double t = first["turns"][0]["turns"].get<double>();
    EXPECT_NEAR(t, 0.5, 0.03);
    EXPECT_FALSE(first["screws_refined"]);
    // What the true -2 MHz a turn made of that plan.
    const std::string over = sweepFile("refine_over", {0, 0, 0.5 - 2 * t, 0, 0});
    const auto second = diagnosed(over);
    EXPECT_TRUE(second["screws_refined"]);
    ASSERT_EQ(second["turns"].size(), 1u);
    EXPECT_NEAR(second["turns"][0]["turns"].get<double>(), (0.5 - 2 * t) / 2 / 1.01, 0.03);
    const auto third = diagnosed(over);
    EXPECT_FALSE(third["screws_refined"]) << "no turn between two sweeps";
    EXPECT_NEAR(third["turns"][0]["turns"].get<double>(), second["turns"][0]["turns"].get<double>(),
                1e-9);
}

struct RefusalRow {
    const char *name;
    std::vector<std::string> args;
    int status;
    const char *words;
};

TEST(LearnCommand, RefusalsAndAJournalThatCannotBeRead) {
    const std::string before = sweepFile("refusal", {0, 0, 0.5, 0, 0});
    const std::string far = sweepFile("far", {0, 8, 0, -6, 0});
    const std::string journal = ::testing::TempDir() + "/refusals.db";
    const std::string missing = ::testing::TempDir() + "/no/such/folder/j.db";
    const RefusalRow rows[] = {
        {"screw_beyond_the_order",
         {"learn", "--journal", journal, "--screw", "R9", "--turned", "1", before, before},
         2,
         "--screw needs R1..R5"},
        {"no_turn",
         {"learn", "--journal", journal, "--screw", "R1", "--turned", "0", before, before},
         2,
         "--turned needs"},
        {"no_journal",
         {"learn", "--screw", "R1", "--turned", "1", before, before},
         2,
         "learn needs --journal"},
        {"too_far",
         {"learn", "--journal", journal, "--screw", "R2", "--turned", "1", "--s11-only", far,
          before},
         4,
         "too far from tune to learn from"},
        {"journal_folder_missing",
         {"learn", "--journal", missing, "--screw", "R1", "--turned", "1", before, before},
         1,
         "cannot be opened"},
    };
    for (const RefusalRow &row : rows) {
        const auto r = calc(row.args);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.err;
        EXPECT_NE(r.err.find(row.words), std::string::npos) << row.name << ": " << r.err;
    }
    // A journal that cannot be read never costs the verdict.
    const auto d = calc({"diagnose", before, "--journal", missing});
    EXPECT_EQ(d.status, 3);
    EXPECT_NE(d.out.find("FAIL"), std::string::npos);
    EXPECT_NE(d.err.find("warning: journal"), std::string::npos) << d.err;
}

// A copy of the program outside the build tree looks for the journal's module
// only where an installation keeps it, never in the build tree, and says so.
TEST(LearnCommand, AProgramOutsideTheBuildTreeLoadsNoStrayModule) {
    const std::string folder = ::testing::TempDir() + "/varnel_copy/bin";
    std::filesystem::create_directories(folder);
    const std::string program = folder + "/varnel-calc";
    std::filesystem::copy_file(VARNEL_CALC_PATH, program,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string before = sweepFile("stray", {0, 0, 0.5, 0, 0});
    const std::string journal = ::testing::TempDir() + "/stray.db";
    const auto r = varnel::testing::runShell(program + " learn --journal " + journal +
                                             " --screw R1 --turned 1 " + before + " " + before +
                                             " --f0 1000 5 10 0.01 2>&1");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("cannot be opened: its module cannot be loaded: "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("varnel_copy/lib/"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(journal));
}

} // namespace

namespace {

// watch --diagnose with --journal: each sweep of the file diagnosed as
// diagnose does, its line ending with the plan, kept in the journal with
// it, the same plan diagnose --json gives for that sweep.
TEST(LearnCommand, WatchPlansEverySweep) {
    const std::string journal = ::testing::TempDir() + "/watch.db";
    std::filesystem::remove(journal);
    const std::string before = sweepFile("watch_before", {0, 0, 0.5, 0, 0});
    const std::string after = sweepFile("watch_after", {0, -0.025, 0, -0.025, 0});
    ASSERT_EQ(
        calc({"learn", "--journal", journal, "--screw", "R3", "--turned", "0.25", before, after})
            .status,
        0);
    const auto watched = calc(
        {"watch", "--diagnose", before, "--count", "1", "--journal", journal, "--unit", "W-1"});
    EXPECT_EQ(watched.status, 3) << watched.err;
    EXPECT_EQ(watched.out.rfind("sweep 1: FAIL: Resonator 3 is 0.50 MHz", 0), 0u) << watched.out;
    EXPECT_NE(watched.out.find(" Plan: Turn R3 0.2"), std::string::npos) << watched.out;
    EXPECT_EQ(std::count(watched.out.begin(), watched.out.end(), '\n'), 1) << "one line a sweep";
    const auto json = calc({"watch", "--diagnose", before, "--count", "1", "--json"});
    const auto line = nlohmann::json::parse(json.out);
    EXPECT_EQ(line["sweep"], 1);
    EXPECT_EQ(line["verdict"], "fail");
    EXPECT_FALSE(line.contains("turns")) << "no journal, no plan";

    const auto listed = varnel::testing::runForm("journal", {journal, "--unit", "W-1", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto records = nlohmann::json::parse(listed.out)["records"];
    ASSERT_EQ(records.size(), 1u) << listed.out;
    EXPECT_EQ(records[0]["kind"], "diagnose");
    const auto planned = calc({"diagnose", before, "--journal", journal, "--json"});
    const auto j = nlohmann::json::parse(planned.out);
    EXPECT_EQ(records[0]["plan"][0]["turns"], j["turns"][0]["turns"]);
}

// Rows: watch --diagnose refuses what it cannot diagnose.
TEST(LearnCommand, WatchDiagnoseRefusals) {
    const std::string in = sweepFile("watch_in", {0, 0, 0, 0, 0});
    const struct {
        const char *name;
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {"cross-coupled", {"watch", "--diagnose", in, "--count", "1", "--zeros", "985,1015"}, 2},
        {"no such file", {"watch", "--diagnose", in + ".absent", "--count", "1"}, 1},
    };
    for (const auto &row : rows)
        EXPECT_EQ(calc(row.args).status, row.status) << row.name;
}

} // namespace
