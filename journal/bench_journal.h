#pragma once

#include "journal/journal.h"
#include "touchstone/touchstone.h"
#include "tuning/diagnosis.h"
#include "tuning/screw_plan.h"
#include "tuning/stage_inputs.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What a tuning bench keeps in its journal and reads back, the same for
// varnel-calc and the tuning window: the design's key, the plan of turns
// from the design's learned screws, the refinement of those screws from a
// plan carried out, and the record of a judged sweep.
// Example: an order-5 in-line design of 10 MHz, 0.01 dB at 1000 MHz is kept
// under "order=5 bandwidth=10 ripple=0.01 f0=1000 zeros= topology=inline";
// with R1 learned as -2 MHz a turn and resonator 1 found 0.5 MHz high
// (tolerance 0.1 MHz), journalPlan gives "Turn R1 0.25 turn clockwise".
namespace varnel {

// The key under which the journal keeps a design's screws: its order, and
// bandwidth, ripple and f0 to 6 significant digits, its zeros and topology
// (folded and ct designs of the same zeros differ). Example: a
// folded order 6 with zeros 985 and 1015 -> "order=6 bandwidth=10
// ripple=0.01 f0=1000 zeros=985,1015 topology=folded".
std::string designKey(const StageInputs &inputs);

// The plan of turns of the screws learned for this design, for the
// diagnosis' elements, and the return loss it should reach
// (plannedReturnLossDb).
struct JournalPlan {
    std::vector<PlannedTurn> turns;
    double predictedReturnLossDb = 0;
};
// None when the design has no learned screw or the diagnosis is too far.
std::variant<std::optional<JournalPlan>, JournalError>
journalPlan(Journal &journal, const StageInputs &inputs, const Diagnosis &d);

// A plan's turns as JSON: [{"screw": "R1", "turns": 0.2475, "text": "Turn
// R1 0.25 turn clockwise, then sweep again"}].
nlohmann::ordered_json plannedTurnsJson(const std::vector<PlannedTurn> &turns);
// A record's plan read back from that JSON; what cannot be read is left out.
std::vector<PlannedTurn> planOfJson(std::string_view json);

// A diagnosis' elements as a record keeps them (judgedElementsJson of the
// diagnosis' JSON), in the diagnosis' order (resonators, port 1's Qe, the
// couplings, port 2's Qe); none when they cannot be read.
std::optional<std::vector<ElementError>> recordedErrors(std::string_view elements,
                                                        double bandwidthMHz);

// When the unit's last record is a diagnosis of this design with a plan:
// takes the plan as carried out and refines the screws from the change
// since (refineFromPlan), in one transaction. True when refined.
std::variant<bool, JournalError> refineFromLastPlan(Journal &journal, std::string_view unit,
                                                    const StageInputs &inputs, const Diagnosis &d);

// Learns `screw` for the design from the diagnoses before and after
// `turns` clockwise turns of it (learnScrew), in one transaction; `matched`
// false when the two diagnoses list other elements (nothing is written).
struct LearnedScrew {
    bool matched = false;
    Sensitivities sensitivities; // as kept after the learning
};
std::variant<LearnedScrew, JournalError> learnInJournal(Journal &journal, const StageInputs &inputs,
                                                        const Screw &screw, double turns,
                                                        const Diagnosis &before,
                                                        const Diagnosis &after);

// What a check or a diagnosis leaves in the journal.
struct JudgedSweep {
    std::string kind;    // "check" or "diagnose"
    std::string verdict; // as JSON names it: "pass", "fail", ...
    std::optional<double> returnLossDb;
    std::string elements; // JSON text: the elements as judged
    std::string plan;     // JSON text: the plan's turns, or "[]"
};
// The record of it, now, for `unit` (empty: none); with `kept`, the sweep
// as Touchstone text, its comment naming `program`.
JournalRecord judgedRecord(const StageInputs &inputs, std::string_view unit,
                           std::string_view source, const JudgedSweep &judged, const Network *kept,
                           std::string_view program);

// The diagnosis' document (diagnosisJson) with, where there is a plan,
// its "turns" (plannedTurnsJson), "predicted_return_loss_db" and
// "screws_refined".
nlohmann::ordered_json plannedDiagnosisJson(const Diagnosis &d, const StageInputs &inputs,
                                            const std::optional<JournalPlan> &plan, bool refined);
// What the journal keeps of that document.
JudgedSweep judgedDiagnosis(const nlohmann::ordered_json &document, const Diagnosis &d);

// The time now, UTC, to the second: "2026-12-10T01:05:03Z".
std::string utcNow();

} // namespace varnel
