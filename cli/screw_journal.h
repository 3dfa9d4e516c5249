#pragma once

#include "cli/command_io.h"
#include "cli/options.h"
#include "cli/sweep_options.h"
#include "tuning/diagnosis.h"
#include "tuning/screw_plan.h"
#include "tuning/stage_inputs.h"

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

// The plan of turns of the screws --journal holds for this design, for the
// diagnosis' elements; none without --journal, without learned screws, or
// when the journal cannot be read (said on standard error: the verdict
// stands).
std::optional<std::vector<PlannedTurn>> journalPlan(CommandIo &io, const ParsedOptions &options,
                                                    const StageInputs &inputs, const Diagnosis &d);

} // namespace varnel
