#include "journal/bench_journal.h"

#include "report_json/diagnosis_json.h"
#include "report_json/json_output.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace varnel {

namespace {

std::string sixDigits(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace

std::string designKey(const StageInputs &inputs) {
    const TuningTable &t = inputs.table;
    std::string zeros;
    if (inputs.design)
        for (const double z : inputs.design->zerosMHz)
            zeros.append(zeros.empty() ? "" : ",").append(sixDigits(z));
    return "order=" + std::to_string(t.stages.size()) +
           " bandwidth=" + sixDigits(t.first.bandwidth) + " ripple=" + sixDigits(t.first.ripple) +
           " f0=" + sixDigits(inputs.f0) + " zeros=" + zeros +
           " topology=" + (inputs.design ? topologyName(inputs.design->topology) : "inline");
}

std::variant<std::optional<JournalPlan>, JournalError>
journalPlan(Journal &journal, const StageInputs &inputs, const Diagnosis &d) {
    if (d.outcome == Diagnosis::TooFar)
        return std::optional<JournalPlan>();
    auto loaded = journal.loadSensitivities(designKey(inputs));
    if (auto *error = std::get_if<JournalError>(&loaded))
        return std::move(*error);
    const Sensitivities &s = std::get<Sensitivities>(loaded);
    if (s.screws.empty())
        return std::optional<JournalPlan>();
    JournalPlan plan;
    plan.turns = planTurns(s, elementErrors(d.elements, d.bandwidthMHz));
    plan.predictedReturnLossDb = plannedReturnLossDb(d, s, plan.turns);
    return std::optional<JournalPlan>(std::move(plan));
}

nlohmann::ordered_json plannedTurnsJson(const std::vector<PlannedTurn> &turns) {
    nlohmann::ordered_json j = nlohmann::ordered_json::array();
    for (const PlannedTurn &turn : turns)
        j.push_back(
            {{"screw", screwName(turn.screw)}, {"turns", turn.turns}, {"text", planText({turn})}});
    return j;
}

std::vector<PlannedTurn> planOfJson(std::string_view json) {
    const auto plan = nlohmann::ordered_json::parse(json, nullptr, false);
    std::vector<PlannedTurn> turns;
    if (plan.is_array())
        for (const auto &turn : plan)
            if (turn.is_object() && turn.value("screw", nlohmann::ordered_json()).is_string() &&
                turn.value("turns", nlohmann::ordered_json()).is_number())
                if (const auto screw = parseScrew(turn["screw"].get<std::string>(), 99))
                    turns.push_back({*screw, turn["turns"].get<double>()});
    return turns;
}

std::optional<std::vector<ElementError>> recordedErrors(std::string_view elements,
                                                        double bandwidthMHz) {
    const auto j = nlohmann::ordered_json::parse(elements, nullptr, false);
    if (!j.is_object())
        return std::nullopt;
    const double tolFreq = jsonNumber(j, "tolerance_freq_percent"),
                 tol = jsonNumber(j, "tolerance_percent");
    std::vector<ElementError> errors;
    for (const auto &r : j.value("resonators", nlohmann::ordered_json::array()))
        errors.push_back({jsonNumber(r, "offset_mhz"), tolFreq / 100 * bandwidthMHz, false});
    const auto external = j.value("external", nlohmann::ordered_json::array());
    auto relative = [&](const nlohmann::ordered_json &o) {
        errors.push_back({jsonNumber(o, "error_percent") / 100, tol / 100, true});
    };
    if (!external.empty())
        relative(external[0]);
    for (const auto &c : j.value("couplings", nlohmann::ordered_json::array()))
        relative(c);
    if (external.size() > 1)
        relative(external[1]);
    for (const ElementError &e : errors)
        if (!std::isfinite(e.error) || !(e.tolerance > 0))
            return std::nullopt;
    return errors;
}

std::variant<bool, JournalError> refineFromLastPlan(Journal &journal, std::string_view unit,
                                                    const StageInputs &inputs, const Diagnosis &d) {
    if (unit.empty() || d.outcome == Diagnosis::TooFar || inputs.design)
        return false;
    auto records = journal.records(unit);
    if (auto *error = std::get_if<JournalError>(&records))
        return std::move(*error);
    const auto &found = std::get<std::vector<JournalRecord>>(records);
    const std::string design = designKey(inputs);
    if (found.empty() || found.back().kind != "diagnose" || found.back().design != design)
        return false;
    const auto plan = planOfJson(found.back().plan);
    const auto before = recordedErrors(found.back().elements, d.bandwidthMHz);
    const auto after = elementErrors(d.elements, d.bandwidthMHz);
    if (plan.empty() || !before || before->size() != after.size())
        return false;
    bool refined = false;
    auto updated = journal.updateSensitivities(design, [&](Sensitivities &s) {
        return refined = refineFromPlan(s, plan, *before, after);
    });
    if (auto *error = std::get_if<JournalError>(&updated))
        return std::move(*error);
    return refined;
}

std::variant<LearnedScrew, JournalError> learnInJournal(Journal &journal, const StageInputs &inputs,
                                                        const Screw &screw, double turns,
                                                        const Diagnosis &before,
                                                        const Diagnosis &after) {
    LearnedScrew learned;
    auto updated = journal.updateSensitivities(designKey(inputs), [&](Sensitivities &kept) {
        learned.matched =
            learnScrew(kept, screw, turns, elementErrors(before.elements, before.bandwidthMHz),
                       elementErrors(after.elements, after.bandwidthMHz));
        learned.sensitivities = kept;
        return learned.matched;
    });
    if (auto *error = std::get_if<JournalError>(&updated))
        return std::move(*error);
    return learned;
}

JournalRecord judgedRecord(const StageInputs &inputs, std::string_view unit,
                           std::string_view source, const JudgedSweep &judged, const Network *kept,
                           std::string_view program) {
    JournalRecord r;
    r.time = utcNow();
    r.unit = std::string(unit);
    r.design = designKey(inputs);
    r.kind = judged.kind;
    r.source = std::string(source);
    r.verdict = judged.verdict;
    r.returnLossDb = judged.returnLossDb;
    r.elements = judged.elements;
    r.plan = judged.plan;
    if (kept)
        r.sweep =
            writeSweep({"kept by " + std::string(program) + " " + r.kind + " " + r.time}, *kept);
    return r;
}

nlohmann::ordered_json plannedDiagnosisJson(const Diagnosis &d, const StageInputs &inputs,
                                            const std::optional<JournalPlan> &plan, bool refined) {
    nlohmann::ordered_json j = diagnosisJson(d, inputs);
    if (plan) {
        j["turns"] = plannedTurnsJson(plan->turns);
        j["predicted_return_loss_db"] = plan->predictedReturnLossDb;
        j["screws_refined"] = refined;
    }
    return j;
}

JudgedSweep judgedDiagnosis(const nlohmann::ordered_json &document, const Diagnosis &d) {
    return {"diagnose", document.value("verdict", std::string()), d.returnLossDb,
            judgedElementsJson(document),
            jsonLine(document.value("turns", nlohmann::ordered_json::array()))};
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace varnel
