#include "cli/sweep_options.h"

#include <ostream>

namespace varnel {

namespace {

// The option each input field is given with, and the text it fills (Qu's
// is optional, read apart).
struct FieldOption {
    InputField field;
    const char *option;
    std::string StageInputTexts::*text;
};
constexpr FieldOption fieldOptions[] = {
    {InputField::F0, "--f0", &StageInputTexts::f0},
    {InputField::Qu, "--qu", nullptr},
    {InputField::Stage, "--stage", &StageInputTexts::stage},
    {InputField::Parameter, "--param", &StageInputTexts::parameter},
    {InputField::Aperture, "--aperture", &StageInputTexts::aperture},
    {InputField::ElectricalDelay, "--edelay", &StageInputTexts::electricalDelay},
    {InputField::Tolerance, "--tol", &StageInputTexts::tolerance},
    {InputField::ToleranceFrequency, "--tol-freq", &StageInputTexts::toleranceFrequency},
    {InputField::Resonator, "--resonator", &StageInputTexts::resonator},
    {InputField::Output, "--output", &StageInputTexts::output},
};

} // namespace

bool flushBlock(CommandIo &io, std::string &text) {
    if (text.size() < (1u << 20))
        return true;
    io.out << text;
    text.clear();
    return !writeFailed(io);
}

StageInputTexts inputTexts(const ParsedOptions &options, StageInputTexts defaults) {
    StageInputTexts texts = std::move(defaults);
    for (const FieldOption &row : fieldOptions)
        if (const auto value = options.value(row.option); value && row.text)
            texts.*row.text = std::string(*value);
    if (const auto qu = options.value("--qu"))
        texts.qu = std::string(*qu);
    return texts;
}

int reportProblem(CommandIo &io, const InputProblem &problem) {
    std::string name; // empty for the fields ORDER BANDWIDTH RIPPLE
    for (const FieldOption &row : fieldOptions)
        if (row.field == problem.field)
            name = row.option;
    if (problem.kind == InputProblem::RunTime) {
        io.err << problemText(problem, name) << '\n';
        return ExitRunTimeError;
    }
    if (problem.kind == InputProblem::TableRefused)
        return failure(io, problemText(problem, ""), ExitUsage);
    return usageError(io, problemText(problem, name));
}

std::optional<Network> readSweep(CommandIo &io, std::string_view path, SParameter parameter,
                                 int &status) {
    auto read = readTouchstoneFile(std::string(path), ReadOptions{parameter});
    if (auto *network = std::get_if<Network>(&read))
        return std::move(*network);
    const TouchstoneError &error = std::get<TouchstoneError>(read);
    status = failure(io, error.message(),
                     error.kind == TouchstoneError::NoSuchParameter ? ExitUsage : ExitRunTimeError);
    return std::nullopt;
}

std::optional<StageInputs> stageInputs(CommandIo &io, const ParsedOptions &options,
                                       std::span<const std::string_view> fields, int &status,
                                       const StageInputTexts &defaults, bool needsStage) {
    status = ExitUsage;
    for (const std::string_view required : {"--stage", "--f0"})
        if (!options.has(required) && (needsStage || required != "--stage")) {
            usageError(io, "needs " + std::string(required));
            return std::nullopt;
        }
    const auto texts = fieldTexts(io, fields);
    if (!texts)
        return std::nullopt;
    StageInputTexts inputs = inputTexts(options, defaults);
    inputs.order = std::string((*texts)[0]);
    inputs.bandwidth = std::string((*texts)[1]);
    inputs.ripple = std::string((*texts)[2]);
    StageInputsResult read = readStageInputs(inputs);
    if (!read.problems.empty()) {
        status = reportProblem(io, read.problems.front());
        return std::nullopt;
    }
    status = ExitOk;
    return std::move(read.inputs);
}

} // namespace varnel
