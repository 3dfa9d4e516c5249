#include "cli/screw_journal.h"

#include "report_json/json_output.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "touchstone/touchstone.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <ostream>

namespace varnel {

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
    if (!journal)
        return std::nullopt;
    auto plan = journalPlan(*journal, inputs, d);
    if (auto *error = std::get_if<JournalError>(&plan)) {
        warn(io, *error);
        return std::nullopt;
    }
    return std::get<std::optional<JournalPlan>>(plan);
}

bool refineFromLastPlan(CommandIo &io, Journal &journal, const ParsedOptions &options,
                        const StageInputs &inputs, const Diagnosis &d) {
    auto refined = refineFromLastPlan(journal, options.value("--unit").value_or(""), inputs, d);
    if (auto *error = std::get_if<JournalError>(&refined)) {
        warn(io, *error);
        return false;
    }
    return std::get<bool>(refined);
}

void recordJudged(CommandIo &io, Journal &journal, const ParsedOptions &options,
                  const StageInputs &inputs, std::string_view source, const Network &network,
                  const JudgedSweep &judged) {
    const JournalRecord r =
        judgedRecord(inputs, options.value("--unit").value_or(""), source, judged,
                     options.has("--keep-sweeps") ? &network : nullptr, "varnel-calc");
    if (auto added = journal.add(r); auto *error = std::get_if<JournalError>(&added))
        warn(io, *error);
}

JournalledDiagnosis journalledDiagnosis(CommandIo &io, Journal *journal,
                                        const ParsedOptions &options, const StageInputs &inputs,
                                        std::string_view source, const Network &network,
                                        const Diagnosis &d) {
    JournalledDiagnosis result;
    result.refined = journal && refineFromLastPlan(io, *journal, options, inputs, d);
    result.plan = journalPlan(io, journal, inputs, d);
    result.document = plannedDiagnosisJson(d, inputs, result.plan, result.refined);
    if (journal)
        recordJudged(io, *journal, options, inputs, source, network,
                     judgedDiagnosis(result.document, d));
    return result;
}

std::string planLines(const std::optional<JournalPlan> &plan, bool refined) {
    if (!plan)
        return {};
    return "plan: " + planText(plan->turns) +
           "\nreturn loss expected after it: " + formatFixed(plan->predictedReturnLossDb, 2) +
           " dB" + (refined ? " (the screws refined from the last plan's change)" : "") + "\n";
}

} // namespace varnel
