#include "cli/screw_journal.h"

#include "cli/json_output.h"

#include "quoting/quote.h"
#include "touchstone/touchstone.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <ostream>

namespace varnel {

namespace {

std::string sixDigits(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace

StageInputTexts diagnoseDefaults() {
    StageInputTexts defaults;
    defaults.toleranceFrequency.assign(1, '1'); // (GCC 12 warns wrongly of "1")
    return defaults;
}

DiagnoseSettings diagnoseSettings(const ParsedOptions &options, const StageInputs &inputs) {
    DiagnoseSettings settings;
    settings.f0 = inputs.f0;
    settings.qu = inputs.qu;
    settings.resonator = inputs.check.resonator;
    settings.resonatorAuto = inputs.check.resonatorAuto;
    settings.s11Only = options.has("--s11-only");
    settings.tolerancePercent = inputs.check.tolerancePercent;
    settings.toleranceFrequencyPercent = inputs.check.toleranceFrequencyPercent;
    settings.couplingSlope = inputs.check.couplingSlope;
    settings.qeSlope = inputs.check.qeSlope;
    settings.cutoff = inputs.check.cutoff;
    return settings;
}

std::string designKey(const StageInputs &inputs) {
    const TuningTable &t = inputs.table;
    std::string zeros;
    if (inputs.design)
        for (const double z : inputs.design->zerosMHz)
            zeros.append(zeros.empty() ? "" : ",").append(sixDigits(z));
    return "order=" + std::to_string(t.stages.size()) +
           " bandwidth=" + sixDigits(t.first.bandwidth) + " ripple=" + sixDigits(t.first.ripple) +
           " f0=" + sixDigits(inputs.f0) + " zeros=" + zeros +
           " topology=" + (inputs.design ? "matrix" : "inline");
}

std::optional<std::string> journalOptionsProblem(const ParsedOptions &options) {
    if (!options.has("--journal"))
        for (const char *needs : {"--unit", "--keep-sweeps"})
            if (options.has(needs))
                return std::string(needs) + " needs --journal";
    const std::string_view unit = options.value("--unit").value_or("-");
    const bool printable = std::all_of(unit.begin(), unit.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
    });
    if (unit.empty() || unit.size() > 64 || !printable)
        return "--unit needs the unit's serial, 1 to 64 printable characters, got " +
               quotedToken(unit);
    return std::nullopt;
}

namespace {

void warn(CommandIo &io, const JournalError &error) {
    io.err << "varnel-calc: warning: " << journalErrorText(error) << '\n';
}

} // namespace

std::unique_ptr<Journal> openedJournal(CommandIo &io, const ParsedOptions &options) {
    const auto where = options.value("--journal");
    if (!where)
        return nullptr;
    auto opened = Journal::open(*where);
    if (auto *error = std::get_if<JournalError>(&opened)) {
        warn(io, *error);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Journal>>(opened));
}

std::unique_ptr<Journal> existingJournal(CommandIo &io, const std::string &where, int &status) {
    std::error_code e;
    if (!isShopJournal(where) && !std::filesystem::exists(where, e)) {
        status = failure(io, "journal " + quotedName(where) + ": cannot be opened: no such file",
                         ExitRunTimeError);
        return nullptr;
    }
    auto opened = Journal::open(where);
    if (auto *error = std::get_if<JournalError>(&opened)) {
        status = failure(io, journalErrorText(*error), ExitRunTimeError);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Journal>>(opened));
}

std::optional<JournalPlan> journalPlan(CommandIo &io, Journal *journal, const StageInputs &inputs,
                                       const Diagnosis &d) {
    if (!journal || d.outcome == Diagnosis::TooFar)
        return std::nullopt;
    auto loaded = journal->loadSensitivities(designKey(inputs));
    if (auto *error = std::get_if<JournalError>(&loaded)) {
        warn(io, *error);
        return std::nullopt;
    }
    const Sensitivities &s = std::get<Sensitivities>(loaded);
    if (s.screws.empty())
        return std::nullopt;
    JournalPlan plan;
    plan.turns = planTurns(s, elementErrors(d.elements, d.bandwidthMHz));
    plan.predictedReturnLossDb = plannedReturnLossDb(d, s, plan.turns);
    return plan;
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

namespace {

// A diagnosis' elements as a record keeps them, in the diagnosis' order
// (resonators, port 1's Qe, the couplings, port 2's Qe); none when they
// cannot be read.
std::optional<std::vector<ElementError>> recordedErrors(const std::string &elements,
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

} // namespace

bool refineFromLastPlan(CommandIo &io, Journal &journal, const ParsedOptions &options,
                        const StageInputs &inputs, const Diagnosis &d) {
    const auto unit = options.value("--unit");
    if (!unit || d.outcome == Diagnosis::TooFar || inputs.design)
        return false;
    auto records = journal.records(*unit);
    if (auto *error = std::get_if<JournalError>(&records)) {
        warn(io, *error);
        return false;
    }
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
    if (auto *error = std::get_if<JournalError>(&updated)) {
        warn(io, *error);
        return false;
    }
    return refined;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void recordJudged(CommandIo &io, Journal &journal, const ParsedOptions &options,
                  const StageInputs &inputs, std::string_view source, const Network &network,
                  const JudgedSweep &judged) {
    JournalRecord r;
    r.time = utcNow();
    r.unit = std::string(options.value("--unit").value_or(""));
    r.design = designKey(inputs);
    r.kind = judged.kind;
    r.source = std::string(source);
    r.verdict = judged.verdict;
    r.returnLossDb = judged.returnLossDb;
    r.elements = judged.elements;
    r.plan = judged.plan;
    if (options.has("--keep-sweeps"))
        r.sweep = writeSweep({"kept by varnel-calc " + r.kind + " " + r.time}, network);
    if (auto added = journal.add(r); auto *error = std::get_if<JournalError>(&added))
        warn(io, *error);
}

} // namespace varnel
