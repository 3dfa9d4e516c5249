#pragma once

#include "cli/command_io.h"
#include "cli/options.h"
#include "cli/sweep_options.h"
#include "journal/journal.h"
#include "tuning/diagnosis.h"
#include "tuning/screw_plan.h"
#include "tuning/stage_inputs.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What learn and diagnose share about screws and the journal.
namespace varnel {

// The option texts a diagnosis starts from: --tol-freq 1.
StageInputTexts diagnoseDefaults();

// The diagnosis settings from the options (--qu, --tol, --resonator, ...).
DiagnoseSettings diagnoseSettings(const ParsedOptions &options, const StageInputs &inputs);

// The key under which the journal keeps a design's screws: its order, and
// bandwidth, ripple and f0 to 6 significant digits, its zeros and topology.
// Example: order 5, 10 MHz, 0.01 dB, f0 1000 -> "order=5 bandwidth=10
// ripple=0.01 f0=1000 zeros= topology=inline".
std::string designKey(const StageInputs &inputs);

// The options by which a check or diagnosis is kept in a journal.
inline constexpr OptionRow journalRows[] = {
    {"--journal", "DB"}, {"--unit", "SERIAL"}, {"--keep-sweeps", ""}};

// --unit and --keep-sweeps without --journal, or a serial of other than 1 to
// 64 printable characters: the usage error's message; none when sound.
std::optional<std::string> journalOptionsProblem(const ParsedOptions &options);

// The journal --journal names, opened; none without --journal, or when it
// cannot be opened (said on standard error: the verdict stands).
std::unique_ptr<Journal> openedJournal(CommandIo &io, const ParsedOptions &options);

// The journal a listing reads (journal, report): one that is there, never
// made (a file that is not there is named so); none with the failure said
// and `status` set.
std::unique_ptr<Journal> existingJournal(CommandIo &io, const std::string &where, int &status);

// The plan of turns of the screws the journal holds for this design, for
// the diagnosis' elements; none without a journal, without learned screws,
// or when it cannot be read (warned of).
struct JournalPlan {
    std::vector<PlannedTurn> turns;
    double predictedReturnLossDb = 0; // plannedReturnLossDb
};
std::optional<JournalPlan> journalPlan(CommandIo &io, Journal *journal, const StageInputs &inputs,
                                       const Diagnosis &d);

// A record's plan read back from its JSON ({"screw": "R3", "turns": 0.25},
// ...); what cannot be read is left out.
std::vector<PlannedTurn> planOfJson(std::string_view json);

// With --unit: when the unit's last record is a diagnosis of this design
// with a plan, takes the plan as carried out and refines the screws' columns
// from the change since (refineFromPlan), in one transaction. True when
// refined; a journal that cannot be read or written is warned of.
bool refineFromLastPlan(CommandIo &io, Journal &journal, const ParsedOptions &options,
                        const StageInputs &inputs, const Diagnosis &d);

// What a check or a diagnosis leaves in the journal.
struct JudgedSweep {
    std::string kind;    // "check" or "diagnose"
    std::string verdict; // as --json names it: "pass", "fail", ...
    std::optional<double> returnLossDb;
    std::string elements; // JSON text: the elements as judged
    std::string plan;     // JSON text: the plan's turns, or "[]"
};

// Records it with the time, --unit and, with --keep-sweeps, the sweep as
// Touchstone text; a record that cannot be written is warned of.
void recordJudged(CommandIo &io, Journal &journal, const ParsedOptions &options,
                  const StageInputs &inputs, std::string_view source, const Network &network,
                  const JudgedSweep &judged);

// The time now, UTC, to the second: "2026-12-10T01:05:03Z".
std::string utcNow();

} // namespace varnel
