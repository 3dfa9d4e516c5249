#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What the journal's database module does: rows in, rows out, each write one
// transaction. The module (built from journal_sql, Qt SQL inside) is loaded
// only when a journal is opened, so that the programs that never open one
// start without Qt. It exports one function, journalStoreEntry, of the type
// OpenJournalStore; the number in its name changes whenever this interface
// does, so that a stale module is refused rather than called.
// Example: opening "bench.db" loads the module and calls
// varnel_open_journal_store_2("bench.db", 8, &opened).
namespace varnel {

// A shop's PostgreSQL journal, "postgresql://USER@HOST[:PORT]/DB"; any
// other name is an SQLite file.
inline constexpr std::string_view shopScheme = "postgresql://";
inline bool isShopJournal(std::string_view where) {
    return where.starts_with(shopScheme);
}

struct JournalError {
    enum Kind { Open, Schema, Write, Read } kind = Open;
    std::string where;   // the path or address, as given
    std::string message; // the driver's or system's own words
};

// One screw's row: its name ("R3", "K12"), its learned column as the module
// was given it, and the sum of its learnings' squared turns.
struct ScrewRow {
    std::string screw;
    std::string effects;
    double learnedTurns = 0;
};

// One check or diagnosis as the journal keeps it. `elements` and `plan` are
// JSON texts (the diagnosis' elements, the plan's turns), `sweep` the
// Touchstone text of the sweep where it was asked to be kept.
struct JournalRecord {
    std::int64_t id = 0; // given by the journal, in the order written
    std::string time;    // UTC, "2026-12-10T01:05:03Z"
    std::string unit;    // the unit's serial, or empty
    std::string design, kind, source, verdict;
    std::optional<double> returnLossDb;
    std::string elements, plan;
    std::optional<std::string> sweep;
};

// A unit's history in brief.
struct UnitSummary {
    std::string unit, design, firstTime, lastTime, lastVerdict;
    std::int64_t records = 0;
};

class JournalStore {
  public:
    virtual ~JournalStore() = default;
    // The rows of a design, in the order of their screws' names.
    virtual std::variant<std::vector<ScrewRow>, JournalError> load(std::string_view design) = 0;
    // Reads a design's rows, changes them and writes (or replaces) the rows
    // `change` gives, in one transaction that holds the design against
    // every other writer till it ends, so that two stations learning at
    // once lose nothing. `change` gives none to write nothing. The design
    // is added if new.
    using RowsChange =
        std::function<std::optional<std::vector<ScrewRow>>(const std::vector<ScrewRow> &)>;
    virtual std::variant<std::monostate, JournalError> update(std::string_view design,
                                                              const RowsChange &change) = 0;
    // Adds a record (and its unit, when new), in one transaction.
    virtual std::variant<std::monostate, JournalError> add(const JournalRecord &record) = 0;
    // A unit's records, oldest first ("" for those of no unit).
    virtual std::variant<std::vector<JournalRecord>, JournalError>
    records(std::string_view unit) = 0;
    // Every unit, in the order of their serials.
    virtual std::variant<std::vector<UnitSummary>, JournalError> units() = 0;
};

using JournalStoreOpened = std::variant<std::unique_ptr<JournalStore>, JournalError>;
using OpenJournalStore = void(const char *where, std::size_t size, JournalStoreOpened *opened);
inline constexpr const char *journalStoreEntry = "varnel_open_journal_store_2";
inline constexpr const char *journalStoreModule = "varnel-journal-sql.so";

} // namespace varnel
