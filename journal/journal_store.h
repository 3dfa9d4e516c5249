#pragma once

#include <cstddef>
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
// varnel_open_journal_store_1("bench.db", 8, &opened).
namespace varnel {

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
};

using JournalStoreOpened = std::variant<std::unique_ptr<JournalStore>, JournalError>;
using OpenJournalStore = void(const char *where, std::size_t size, JournalStoreOpened *opened);
inline constexpr const char *journalStoreEntry = "varnel_open_journal_store_1";
inline constexpr const char *journalStoreModule = "varnel-journal-sql.so";

} // namespace varnel
