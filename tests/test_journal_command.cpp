#include "journal/journal.h"
#include "learn_sweeps.h"
#include "touchstone/touchstone.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Checks and diagnoses kept in the journal with --journal and --unit, and
// the journal form listing them as text, CSV and JSON.
namespace {

using varnel::testing::calc;
using varnel::testing::sweepFile;

// The journal form takes no design's fields.
varnel::testing::CalcRun list(std::vector<std::string> args) {
    return varnel::testing::runForm("journal", std::move(args));
}

std::string freshJournal(const char *name) {
    const std::string path = ::testing::TempDir() + "/records_" + name + ".db";
    std::filesystem::remove(path);
    return path;
}

// A unit diagnosed twice (resonator 3 high, then in tune) and a second unit
// once; the journal then lists both, and each unit's history.
TEST(JournalCommand, DiagnosesAreKeptAndListed) {
    const std::string journal = freshJournal("listed");
    const std::string off = sweepFile("records_off", {0, 0, 0.5, 0, 0});
    const std::string tuned = sweepFile("records_tuned", {0, 0, 0, 0, 0});
    EXPECT_EQ(calc({"diagnose", off, "--journal", journal, "--unit", "SN-1"}).status, 3);
    EXPECT_EQ(
        calc({"diagnose", tuned, "--journal", journal, "--unit", "SN-1", "--keep-sweeps"}).status,
        0);
    EXPECT_EQ(calc({"diagnose", off, "--journal", journal, "--unit", "=SUM(A1)"}).status, 3);

    const auto units = list({journal, "--json"});
    ASSERT_EQ(units.status, 0) << units.err;
    const auto u = nlohmann::json::parse(units.out)["units"];
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(u[0]["unit"], "=SUM(A1)");
    EXPECT_EQ(u[1]["unit"], "SN-1");
    EXPECT_EQ(u[1]["records"], 2);
    EXPECT_EQ(u[1]["last_verdict"], "pass");
    EXPECT_EQ(u[1]["design"], "order=5 bandwidth=10 ripple=0.01 f0=1000 zeros= topology=inline");

    const auto history = list({journal, "--unit", "SN-1", "--json"});
    ASSERT_EQ(history.status, 0) << history.err;
    const auto records = nlohmann::json::parse(history.out)["records"];
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["verdict"], "fail");
    EXPECT_EQ(records[0]["source"], off);
    EXPECT_FALSE(records[0]["sweep_kept"]);
    EXPECT_TRUE(records[1]["sweep_kept"]);
    // Resonator 3 was generated 0.5 MHz high.
    EXPECT_NEAR(records[0]["elements"]["resonators"][2]["offset_mhz"].get<double>(), 0.5, 0.02);
    EXPECT_GT(records[1]["return_loss_db"].get<double>(), records[0]["return_loss_db"]);

    const auto text = list({journal, "--unit", "SN-1"});
    EXPECT_NE(text.out.find("Unit SN-1 in "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  diagnose  fail  return loss "), std::string::npos) << text.out;
    const auto csv = list({journal, "--csv"});
    EXPECT_EQ(csv.out.rfind("unit,records,first_time,last_time,last_verdict,design\n"
                            "'=SUM(A1),1,",
                            0),
              0u)
        << csv.out;
}

// The sweep kept with --keep-sweeps reads back as the sweep diagnosed.
TEST(JournalCommand, AKeptSweepReadsBack) {
    const std::string journal = freshJournal("kept");
    const std::string sweep = sweepFile("records_kept", {0, 0.2, 0, 0, 0});
    calc({"diagnose", sweep, "--journal", journal, "--unit", "K", "--keep-sweeps"});
    auto opened = varnel::Journal::open(journal);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<varnel::Journal>>(opened));
    const auto records = std::get<std::vector<varnel::JournalRecord>>(
        std::get<std::unique_ptr<varnel::Journal>>(opened)->records("K"));
    ASSERT_EQ(records.size(), 1u);
    ASSERT_TRUE(records[0].sweep);
    const auto kept = varnel::readTouchstoneText("kept.s2p", *records[0].sweep);
    const auto original = varnel::readTouchstoneFile(sweep);
    ASSERT_TRUE(std::holds_alternative<varnel::Network>(kept));
    const auto &a = std::get<varnel::Network>(kept);
    const auto &b = std::get<varnel::Network>(original);
    EXPECT_EQ(a.frequencyMHz, b.frequencyMHz);
    EXPECT_EQ(a.values, b.values);
}

struct RefusalRow {
    const char *name;
    std::vector<std::string> args;
    int status;
    const char *words;
};

TEST(JournalCommand, Refusals) {
    const std::string sweep = sweepFile("records_refused", {0, 0, 0.5, 0, 0});
    const std::string journal = freshJournal("refused");
    const std::string missing = ::testing::TempDir() + "/no_such_journal.db";
    const RefusalRow rows[] = {
        {"unit_without_journal",
         {"diagnose", sweep, "--unit", "SN-1"},
         2,
         "--unit needs --journal"},
        {"keep_without_journal",
         {"check", sweep, "--stage", "2", "--keep-sweeps"},
         2,
         "--keep-sweeps needs --journal"},
        {"unit_with_a_line_feed",
         {"diagnose", sweep, "--journal", journal, "--unit", "a\nb"},
         2,
         "--unit needs the unit's serial, 1 to 64 printable characters, got 'a\\nb'"},
        {"unit_too_long",
         {"diagnose", sweep, "--journal", journal, "--unit", std::string(65, 'x')},
         2,
         "1 to 64 printable characters"},
    };
    for (const RefusalRow &row : rows) {
        const auto r = calc(row.args);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.err;
        EXPECT_NE(r.err.find(row.words), std::string::npos) << row.name << ": " << r.err;
    }
    const RefusalRow listings[] = {
        {"listing_a_missing_journal", {missing}, 1, "cannot be opened: no such file"},
        {"listing_two_journals", {journal, journal}, 2, "journal needs the journal"},
        {"json_and_csv", {journal, "--json", "--csv"}, 2, "exclude each other"},
    };
    for (const RefusalRow &row : listings) {
        const auto r = list(row.args);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.err;
        EXPECT_NE(r.err.find(row.words), std::string::npos) << row.name << ": " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "a listing never makes a journal";
    EXPECT_FALSE(std::filesystem::exists(journal)) << "a refused diagnosis writes none";
}

// A check with --journal is kept too, with the stage's values.
TEST(JournalCommand, ChecksAreKept) {
    const std::string journal = freshJournal("checks");
    const std::string sweep = sweepFile("records_check", {0, 0, 0, 0, 0});
    const auto checked =
        calc({"check", sweep, "--stage", "5", "--journal", journal, "--unit", "C-1"});
    const auto listed = list({journal, "--unit", "C-1", "--json"});
    const auto records = nlohmann::json::parse(listed.out)["records"];
    ASSERT_EQ(records.size(), 1u) << checked.err;
    EXPECT_EQ(records[0]["kind"], "check");
    EXPECT_TRUE(records[0]["return_loss_db"].is_null());
    EXPECT_TRUE(records[0]["elements"].contains("measured_delay_ns")) << records[0]["elements"];
}

} // namespace
