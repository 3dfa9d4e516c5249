#pragma once

#include "cli/command_io.h"
#include "cli/options.h"
#include "cli/sweep_options.h"
#include "journal/bench_journal.h"
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

// journalPlan with the journal --journal opened; none without one, or when
// it cannot be read (warned of).
std::optional<JournalPlan> journalPlan(CommandIo &io, Journal *journal, const StageInputs &inputs,
                                       const Diagnosis &d);

// With --unit, refineFromLastPlan; a journal that cannot be read or written
// is warned of.
bool refineFromLastPlan(CommandIo &io, Journal &journal, const ParsedOptions &options,
                        const StageInputs &inputs, const Diagnosis &d);

// Records a judged sweep (judgedRecord) with --unit and, with
// --keep-sweeps, the sweep; a record that cannot be written is warned of.
void recordJudged(CommandIo &io, Journal &journal, const ParsedOptions &options,
                  const StageInputs &inputs, std::string_view source, const Network &network,
                  const JudgedSweep &judged);

// A diagnosis of one sweep with what the journal adds (diagnose
// --journal): with --unit the screws refined from the unit's last plan,
// the plan of the learned screws, the document with them
// (plannedDiagnosisJson), and the record kept. Without a journal, the
// diagnosis' document alone.
struct JournalledDiagnosis {
    nlohmann::ordered_json document;
    std::optional<JournalPlan> plan;
    bool refined = false;
};
JournalledDiagnosis journalledDiagnosis(CommandIo &io, Journal *journal,
                                        const ParsedOptions &options, const StageInputs &inputs,
                                        std::string_view source, const Network &network,
                                        const Diagnosis &d);

// The plan's lines after a text report: "plan: Turn R1 0.25 turn
// clockwise, then sweep again" and "return loss expected after it: 24.10
// dB"; empty without a plan.
std::string planLines(const std::optional<JournalPlan> &plan, bool refined);

} // namespace varnel
