#include "journal/journal.h"
#include "learn_sweeps.h"
#include "opened_journal.h"
#include "postgres_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/wait.h>

// The journal shared by a shop's stations: a real PostgreSQL server of the
// test's own, two writers at once (and two on one SQLite file), a server
// stopped in the middle of a write.
namespace {

using namespace varnel;

const char *design = "order=5 bandwidth=10 ripple=0.01 f0=1000 zeros= topology=inline";

using varnel::testing::opened;

// One station learning R1 from a turn of 1 `count` times; its exit status.
int learnMany(const std::string &where, int count) {
    auto made = Journal::open(where);
    if (!std::holds_alternative<std::unique_ptr<Journal>>(made))
        return 10;
    Journal &journal = *std::get<std::unique_ptr<Journal>>(made);
    const std::vector<ElementError> before{{0.5, 0.1, false}}, after{{-1.5, 0.1, false}};
    for (int i = 0; i < count; ++i) {
        auto done = journal.updateSensitivities(design, [&](Sensitivities &s) {
            return learnScrew(s, {Screw::Resonator, 1, 0}, 1, before, after);
        });
        if (std::holds_alternative<JournalError>(done))
            return 20;
    }
    return 0;
}

struct WritersRow {
    const char *name;
    bool postgres;
};

// Each learning adds 1 to R1's sum of squared turns: any update lost to the
// other station shows as a sum short of 2 x 40.
TEST(JournalShop, TwoWritersAtOnceLoseNothing) {
    for (const WritersRow row : {WritersRow{"sqlite", false}, WritersRow{"postgresql", true}}) {
        SCOPED_TRACE(row.name);
        std::optional<varnel::testing::PostgresServer> server;
        std::string where = ::testing::TempDir() + "/shop_writers.db";
        std::filesystem::remove(where);
        if (row.postgres) {
            server.emplace();
            ASSERT_TRUE(server->ready());
            where = server->url();
        }
        pid_t children[2];
        for (pid_t &child : children)
            if ((child = fork()) == 0)
                _exit(learnMany(where, 40));
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        auto journal = opened(where);
        ASSERT_TRUE(journal);
        const auto s = std::get<Sensitivities>(journal->loadSensitivities(design));
        ASSERT_EQ(s.screws.size(), 1u);
        EXPECT_EQ(s.learnedTurns[0], 80);
        EXPECT_EQ(s.columns[0][0], -2);
    }
}

TEST(JournalShop, AServerStoppedMidWriteCostsNothingWritten) {
    varnel::testing::PostgresServer server;
    ASSERT_TRUE(server.ready());
    {
        auto journal = opened(server.url());
        ASSERT_TRUE(journal);
        Sensitivities s;
        s.screws = {{Screw::Resonator, 3, 0}};
        s.columns = {{-2, 0.1, 0.25}};
        s.learnedTurns = {0.0625};
        ASSERT_TRUE(std::holds_alternative<std::monostate>(journal->saveSensitivities(design, s)));
        const auto written = journal->updateSensitivities(design, [&](Sensitivities &kept) {
            EXPECT_TRUE(server.stop());
            kept.learnedTurns[0] = 99;
            return true;
        });
        const auto *error = std::get_if<JournalError>(&written);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, JournalError::Write);
        EXPECT_FALSE(error->message.empty());
        EXPECT_NE(journalErrorText(*error).find("cannot be written: "), std::string::npos);
    }
    ASSERT_TRUE(server.start()) << server.log();
    auto again = opened(server.url());
    ASSERT_TRUE(again);
    const auto s = std::get<Sensitivities>(again->loadSensitivities(design));
    ASSERT_EQ(s.screws.size(), 1u);
    EXPECT_EQ(s.learnedTurns[0], 0.0625);
    EXPECT_EQ(s.columns[0], (std::vector<double>{-2, 0.1, 0.25}));
}

// A shop's server gone never costs the verdict: diagnose warns and judges.
TEST(JournalShop, AServerGoneCostsNoVerdict) {
    varnel::testing::PostgresServer server;
    ASSERT_TRUE(server.ready());
    const std::string url = server.url();
    ASSERT_TRUE(server.stop());
    const std::string sweep = varnel::testing::sweepFile("shop_gone", {0, 0, 0.5, 0, 0});
    const auto r = varnel::testing::calc({"diagnose", sweep, "--journal", url});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("FAIL"), std::string::npos);
    EXPECT_NE(r.err.find("warning: journal " + url + ": cannot be opened: "), std::string::npos)
        << r.err;
}

} // namespace
