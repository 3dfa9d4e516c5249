#include "journal/journal.h"
#include "quoting/quote.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

// The journal in an SQLite file: what is saved reads back to the last bit,
// a second run finds it, and every failure is a named error with the
// driver's words, never a silent loss.
namespace {

using namespace varnel;

std::string fresh(const char *name) {
    const std::string path = ::testing::TempDir() + "/journal_" + name + ".db";
    std::filesystem::remove(path);
    return path;
}

std::unique_ptr<Journal> opened(const std::string &where) {
    auto made = Journal::open(where);
    if (auto *error = std::get_if<JournalError>(&made)) {
        ADD_FAILURE() << journalErrorText(*error);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Journal>>(made));
}

Sensitivities example() {
    Sensitivities s;
    s.screws = {{Screw::Resonator, 3, 0}, {Screw::Coupling, 3, 4}, {Screw::Input, 0, 0}};
    s.columns = {{0.1, -1.9173412345678901, 1.0 / 3}, {-0.25, 0.0125, 1e-300}, {0, 0, -0.5}};
    s.learnedTurns = {0.0625, 0.3125, 1};
    return s;
}

// The header's worked example, and a second run of the program.
TEST(Journal, SavedReadsBackAndOutlivesTheRun) {
    const std::string path = fresh("example");
    const std::string design = "order=5 bw=10 ripple=0.01 f0=1000 zeros= topology=inline";
    {
        const auto journal = opened(path);
        ASSERT_TRUE(journal);
        ASSERT_TRUE(
            std::holds_alternative<std::monostate>(journal->saveSensitivities(design, example())));
        const auto loaded = journal->loadSensitivities(design);
        ASSERT_TRUE(std::holds_alternative<Sensitivities>(loaded));
        const Sensitivities &s = std::get<Sensitivities>(loaded);
        // Read in the order of the screws' names: K34, QIN, R3.
        ASSERT_EQ(s.screws.size(), 3u);
        EXPECT_EQ(screwName(s.screws[2]), "R3");
        EXPECT_EQ(s.columns[2], example().columns[0]) << "to the last bit";
        EXPECT_EQ(s.columns[0], example().columns[1]);
        EXPECT_EQ(s.learnedTurns[0], 0.3125);
        const auto other = journal->loadSensitivities("order=6");
        EXPECT_TRUE(std::get<Sensitivities>(other).screws.empty()) << "another design's: none";
    }
    Sensitivities updated = example();
    updated.columns[0][0] = -2;
    {
        const auto again = opened(path);
        ASSERT_TRUE(again);
        EXPECT_EQ(std::get<Sensitivities>(again->loadSensitivities(design)).screws.size(), 3u);
        ASSERT_TRUE(
            std::holds_alternative<std::monostate>(again->saveSensitivities(design, updated)));
    }
    const auto third = opened(path);
    ASSERT_TRUE(third);
    const auto s = std::get<Sensitivities>(third->loadSensitivities(design));
    ASSERT_EQ(s.screws.size(), 3u) << "a screw learned again replaces its row";
    EXPECT_EQ(s.columns[2][0], -2);
}

struct RefusedRow {
    const char *name;
    std::string where;
    JournalError::Kind kind;
    const char *words; // in the message
};

TEST(Journal, FailuresAreNamed) {
    const std::string text = fresh("not_a_database");
    std::ofstream(text) << "f_mhz,s11\n1000,0.5\n";
    const std::string newer = fresh("newer_schema");
    {
        const auto journal = opened(newer);
        ASSERT_TRUE(journal);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "edit");
        db.setDatabaseName(QString::fromStdString(newer));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("UPDATE meta SET value = '2' WHERE key = 'schema'"));
        db.close();
    }
    QSqlDatabase::removeDatabase("edit");
    const RefusedRow rows[] = {
        {"folder_missing", ::testing::TempDir() + "/no/such/folder/j.db", JournalError::Open,
         "unable to open database file"},
        {"not_a_database", text, JournalError::Schema, "file is not a database"},
        {"newer_schema", newer, JournalError::Schema, "its schema is 2, this program's 1"},
        {"shop_address_without_database", "postgresql://tuner@localhost", JournalError::Open, ""},
    };
    for (const RefusedRow &row : rows) {
        auto made = Journal::open(row.where);
        ASSERT_TRUE(std::holds_alternative<JournalError>(made)) << row.name;
        const JournalError &e = std::get<JournalError>(made);
        EXPECT_EQ(e.kind, row.kind) << row.name << ": " << journalErrorText(e);
        EXPECT_NE(journalErrorText(e).find(row.words), std::string::npos)
            << row.name << ": " << journalErrorText(e);
        EXPECT_EQ(journalErrorText(e).rfind("journal " + quotedName(row.where) + ": ", 0), 0u)
            << journalErrorText(e);
    }
}

} // namespace
