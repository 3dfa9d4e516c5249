#include "cli/screw_journal.h"

#include "journal/journal.h"

#include <cstdio>
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

std::optional<std::vector<PlannedTurn>> journalPlan(CommandIo &io, const ParsedOptions &options,
                                                    const StageInputs &inputs, const Diagnosis &d) {
    const auto where = options.value("--journal");
    if (!where || d.outcome == Diagnosis::TooFar)
        return std::nullopt;
    auto opened = Journal::open(*where);
    if (auto *error = std::get_if<JournalError>(&opened)) {
        io.err << "varnel-calc: warning: " << journalErrorText(*error) << '\n';
        return std::nullopt;
    }
    auto loaded = std::get<std::unique_ptr<Journal>>(opened)->loadSensitivities(designKey(inputs));
    if (auto *error = std::get_if<JournalError>(&loaded)) {
        io.err << "varnel-calc: warning: " << journalErrorText(*error) << '\n';
        return std::nullopt;
    }
    const Sensitivities &s = std::get<Sensitivities>(loaded);
    if (s.screws.empty())
        return std::nullopt;
    return planTurns(s, elementErrors(d.elements, d.bandwidthMHz));
}

} // namespace varnel
