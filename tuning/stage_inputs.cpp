#include "tuning/stage_inputs.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"

#include <charconv>

namespace varnel {

namespace {

// The fields read as a decimal number that must be above 0; the others
// read as decimals (the electrical delay) take any value.
bool mustBeAboveZero(InputField field) {
    return field == InputField::F0 || field == InputField::Qu || field == InputField::Tolerance ||
           field == InputField::ToleranceFrequency || field == InputField::Cutoff;
}

InputProblem problemOf(InputField field, InputProblem::Kind kind, const std::string &text) {
    return InputProblem{field, kind, text, 0, 0, std::nullopt, std::nullopt, std::nullopt, {}};
}

// A decimal field; a problem when it breaks its rule.
std::optional<double> readNumber(InputField field, const std::string &text,
                                 std::vector<InputProblem> &problems) {
    const std::optional<double> value = parseDecimal(text);
    if (!value) {
        problems.push_back(problemOf(field, InputProblem::NotANumber, text));
        return std::nullopt;
    }
    if (mustBeAboveZero(field) && !(*value > 0)) {
        problems.push_back(problemOf(field, InputProblem::NotAboveZero, text));
        return std::nullopt;
    }
    return value;
}

std::optional<long long> readWhole(InputField field, const std::string &text, long long low,
                                   long long high, std::vector<InputProblem> &problems) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && value >= low && value <= high)
        return value;
    InputProblem problem = problemOf(field, InputProblem::OutOfRange, text);
    problem.low = low;
    problem.high = high;
    problems.push_back(problem);
    return std::nullopt;
}

std::string quoted(const std::string &text) {
    return quotedToken(text);
}

} // namespace

std::vector<InputProblem> readSweepSettings(const StageInputTexts &texts, CheckSettings &settings) {
    std::vector<InputProblem> problems;
    if (const auto parameter = parseSParameter(texts.parameter))
        settings.parameter = *parameter;
    else
        problems.push_back(
            problemOf(InputField::Parameter, InputProblem::NotAParameter, texts.parameter));
    if (const auto aperture = parseAperture(texts.aperture))
        settings.aperture = *aperture;
    else
        problems.push_back(
            problemOf(InputField::Aperture, InputProblem::NotAnAperture, texts.aperture));
    if (const auto edelay =
            readNumber(InputField::ElectricalDelay, texts.electricalDelay, problems))
        settings.electricalDelayNs = *edelay;
    if (const auto tolerance = readNumber(InputField::Tolerance, texts.tolerance, problems))
        settings.tolerancePercent = *tolerance;
    if (const auto tolerance =
            readNumber(InputField::ToleranceFrequency, texts.toleranceFrequency, problems))
        settings.toleranceFrequencyPercent = *tolerance;
    settings.resonatorAuto = isAutoResonator(texts.resonator);
    if (settings.resonatorAuto)
        settings.resonator = ResonatorKind::Lumped;
    else if (const auto resonator = parseResonatorKind(texts.resonator))
        settings.resonator = *resonator;
    else
        problems.push_back(
            problemOf(InputField::Resonator, InputProblem::NotAResonator, texts.resonator));
    if (texts.output.empty())
        settings.output.reset();
    else if (const auto output = parseStageOutput(texts.output))
        settings.output = *output;
    else
        problems.push_back(problemOf(InputField::Output, InputProblem::NotAnOutput, texts.output));
    auto slope = [&](InputField field, const std::string &text, std::optional<double> &value) {
        value.reset();
        if (!text.empty())
            value = readNumber(field, text, problems);
    };
    slope(InputField::CouplingSlope, texts.couplingSlope, settings.couplingSlope);
    slope(InputField::QeSlope, texts.qeSlope, settings.qeSlope);
    settings.cutoff.reset();
    if (!texts.cutoff.empty() && settings.resonator != ResonatorKind::Waveguide)
        problems.push_back(problemOf(InputField::Cutoff, InputProblem::NotForKind, texts.cutoff));
    else if (!texts.cutoff.empty())
        settings.cutoff = readNumber(InputField::Cutoff, texts.cutoff, problems);
    return problems;
}

namespace {

// The design of the zeros and topology, where they ask for one; false
// with a problem.
bool readDesign(const StageInputTexts &texts, StageInputs &inputs,
                std::vector<InputProblem> &problems) {
    DesignRequest request{inputs.f0, {}, std::nullopt, inputs.qu};
    ZerosRead zeros = readZeros(texts.zeros);
    if (zeros.bad)
        problems.push_back(problemOf(InputField::Zeros, InputProblem::NotAZero, *zeros.bad));
    request.zerosMHz = std::move(zeros.zerosMHz);
    if (!texts.topology.empty()) {
        request.topology = topologyNamed(texts.topology);
        if (!request.topology)
            problems.push_back(
                problemOf(InputField::Topology, InputProblem::NotATopology, texts.topology));
    }
    if (!problems.empty())
        return false;
    if (request.zerosMHz.empty() &&
        (!request.topology || request.topology->topology == Topology::Inline))
        return true;
    auto designed = designFilter(inputs.table, request);
    if (auto *design = std::get_if<FilterDesign>(&designed)) {
        inputs.design = std::move(*design);
        return true;
    }
    const DesignRefusal &refusal = std::get<DesignRefusal>(designed);
    const bool ofList = refusal.kind == DesignRefusal::ListBeyondOrder ||
                        (refusal.kind == DesignRefusal::CannotRealise &&
                         refusal.topology.topology == Topology::Listed);
    InputProblem problem =
        ofList ? problemOf(InputField::Topology, InputProblem::DesignRefused, texts.topology)
               : problemOf(InputField::Zeros, InputProblem::DesignRefused, texts.zeros);
    problem.designRefusal = refusal;
    problem.reason = designRefusalText(refusal, inputs.table, inputs.f0);
    problems.push_back(std::move(problem));
    return false;
}

} // namespace

StageInputsResult readStageInputs(const StageInputTexts &texts) {
    StageInputsResult result;
    std::vector<InputProblem> &problems = result.problems;
    StageInputs inputs;
    const std::optional<double> f0 = readNumber(InputField::F0, texts.f0, problems);
    if (texts.qu)
        inputs.qu = readNumber(InputField::Qu, *texts.qu, problems);
    TableWithF0 made = tuningTableWithF0(texts.order, texts.bandwidth, texts.ripple, f0);
    TableResult &table = made.result;
    if (made.f0Error) { // f0's, not the order's
        InputProblem problem = problemOf(InputField::F0, InputProblem::RunTime, texts.f0);
        problem.runTimeError = *made.f0Error;
        problems.push_back(problem);
    }
    std::optional<long long> stage;
    if (auto *made = std::get_if<TuningTable>(&table)) {
        inputs.table = std::move(*made);
        stage = readWhole(InputField::Stage, texts.stage, 1,
                          static_cast<long long>(inputs.table.stages.size()), problems);
    } else if (const auto *error = std::get_if<RunTimeError>(&table)) {
        InputProblem problem = problemOf(InputField::Order, InputProblem::RunTime, texts.order);
        problem.runTimeError = *error;
        problems.push_back(problem);
    } else {
        const TableRefusal &refusal = std::get<TableRefusal>(table);
        const InputField field = refusal.reason == TableRefusal::OrderOutOfRange ? InputField::Order
                                 : refusal.reason == TableRefusal::RippleNotPositive
                                     ? InputField::Ripple
                                     : InputField::Bandwidth;
        const std::string &text = field == InputField::Order    ? texts.order
                                  : field == InputField::Ripple ? texts.ripple
                                                                : texts.bandwidth;
        InputProblem problem = problemOf(field, InputProblem::TableRefused, text);
        problem.refusal = refusal;
        problems.push_back(problem);
    }
    std::vector<InputProblem> sweepProblems = readSweepSettings(texts, inputs.check);
    problems.insert(problems.end(), sweepProblems.begin(), sweepProblems.end());
    if (!problems.empty())
        return result; // without a problem, f0 and the stage have read
    if (inputs.check.cutoff && !(*inputs.check.cutoff < *f0)) {
        problems.push_back(problemOf(InputField::Cutoff, InputProblem::NotBelowF0, texts.cutoff));
        return result;
    }
    inputs.f0 = *f0;
    if (!readDesign(texts, inputs, problems))
        return result;
    inputs.stage = static_cast<int>(*stage);
    inputs.check.stage = inputs.stage;
    inputs.check.f0 = inputs.f0;
    inputs.check.qu = inputs.qu;
    result.inputs = std::move(inputs);
    return result;
}

std::string problemText(const InputProblem &problem, const std::string &name) {
    switch (problem.kind) {
    case InputProblem::NotANumber:
        return name + " needs a number" + (mustBeAboveZero(problem.field) ? " above 0" : "") +
               ", got " + quoted(problem.text);
    case InputProblem::NotAboveZero:
        return name + " needs a number above 0, got " + quoted(problem.text);
    case InputProblem::OutOfRange:
        return name + " needs a whole number from " + std::to_string(problem.low) + " to " +
               std::to_string(problem.high) + ", got " + quoted(problem.text);
    case InputProblem::NotAParameter:
        return name + " needs an S-parameter such as S11 or S21, got " + quoted(problem.text);
    case InputProblem::NotAResonator:
        return name + " needs lumped, coaxial, waveguide or auto, got " + quoted(problem.text);
    case InputProblem::NotAnOutput:
        return name + " needs loaded or open, got " + quoted(problem.text);
    case InputProblem::NotBelowF0:
        return name + " needs a number below f0, got " + quoted(problem.text);
    case InputProblem::NotForKind:
        return name + " counts for waveguide resonators only, got " + quoted(problem.text);
    case InputProblem::NotAnAperture:
        return name +
               " needs a number of steps (2), a percentage of the span (5%) or a width in MHz "
               "(1.5MHz), got " +
               quoted(problem.text);
    case InputProblem::TableRefused:
        return tableRefusalText(*problem.refusal);
    case InputProblem::NotAZero:
        return name + " takes frequencies in MHz separated by commas, got " + quoted(problem.text);
    case InputProblem::NotATopology:
        return name +
               " takes inline, folded, ct, cq or a list of couplings such as 1-2,2-3,1-3, "
               "got " +
               quoted(problem.text);
    case InputProblem::DesignRefused:
        return problem.reason;
    case InputProblem::RunTime:
        // The calculator's own words, and the option when one caused it.
        return "error " + std::to_string(problem.runTimeError->number()) + ": " +
               problem.runTimeError->what() +
               (name.empty() ? std::string() : " (" + name + " " + quoted(problem.text) + ")");
    }
    return {};
}

double defaultSpan(double bandwidth, double f0) {
    const double span = 3 * bandwidth;
    return f0 - span / 2 > 0 ? span : 1.9 * f0;
}

} // namespace varnel
