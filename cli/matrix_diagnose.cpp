#include "cli/matrix_diagnose.h"

#include "cli/design_options.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <ostream>

namespace varnel {

namespace {

// The options that belong to the in-line model alone.
constexpr std::string_view inlineOnly[] = {"--resonator", "--cutoff", "--coupling-slope",
                                           "--qe-slope"};

std::string nodeName(std::size_t i, std::size_t order) {
    return i == 0 ? std::string("S") : i == order + 1 ? std::string("L") : std::to_string(i);
}

nlohmann::ordered_json elementsJson(const MatrixDiagnosis &d, bool resonators) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const JudgedElement &e : d.elements) {
        const Finding &f = e.finding;
        const bool resonator = f.element == Finding::Resonator;
        if (resonator != resonators)
            continue;
        const auto a = static_cast<std::size_t>(resonator ? f.index : f.lowerEnd());
        const auto b = static_cast<std::size_t>(f.index);
        if (resonator)
            list.push_back(
                {{"index", f.index},
                 {"frequency_mhz", bandPassFrequency(d.design.band, -d.fit.matrix.at(a, a))},
                 {"offset_mhz", f.offsetMHz},
                 {"offset_percent_bw", f.percent},
                 {"uncertainty_percent_bw", f.uncertaintyPercent}});
        else
            list.push_back({{"from", a},
                            {"to", b},
                            {"value", d.fit.matrix.at(a, b)},
                            {"design_value", d.design.matrix.at(a, b)},
                            {"error_percent", f.percent},
                            {"uncertainty_percent", f.uncertaintyPercent}});
    }
    return list;
}

nlohmann::ordered_json matrixDiagnosisJson(const MatrixDiagnosis &d, const StageInputs &in) {
    const MatrixFit &fit = d.fit;
    nlohmann::ordered_json j;
    j["order"] = d.design.order;
    j["f0_mhz"] = d.settings.f0;
    j["bandwidth_mhz"] = d.bandwidthMHz;
    j["ripple_db"] = in.table.first.ripple;
    j["zeros_mhz"] = d.design.zerosMHz;
    j["topology"] = topologyName(d.design.topology);
    j["model_qu"] = d.settings.qu ? nlohmann::ordered_json(*d.settings.qu) : nullptr;
    j["traces"] = fittedTracesName(d.traces, false);
    j["tolerance_percent"] = d.settings.tolerancePercent;
    j["tolerance_freq_percent"] = d.settings.toleranceFrequencyPercent;
    j["verdict"] = diagnosisOutcomeName(d.outcome);
    j["pass"] = d.outcome == Diagnosis::Pass;
    j["resonators"] = elementsJson(d, true);
    j["couplings"] = elementsJson(d, false);
    j["coupling_matrix"] = matrixJson(fit.matrix);
    j["design_coupling_matrix"] = matrixJson(d.design.matrix);
    j["qu"] = fit.qu > 0 ? nlohmann::ordered_json(fit.qu) : nullptr;
    j["port_delay_ns"] = portDelaysJson(fit.delayNs, d.twoPort);
    j["return_loss_db"] = d.returnLossDb;
    j["design_return_loss_db"] = d.designReturnLossDb;
    j["fit_residual_db"] = levelJson(rmsDb(fit.residualRms));
    j["noise_db"] = levelJson(d.noiseDb);
    j["findings"] = rankedFindingsJson(d.findings, d.gainDb);
    j["doubts"] = doubtsJson(d.doubts);
    j["advice"] = matrixDiagnosisText(d);
    return j;
}

// "resonator 3   +0.300 MHz (+3.00 % of BW) +- 0.01 %", "coupling 1-4
// -0.05912 (design -0.05570)  +6.00 % +- 0.01 %".
std::string elementLine(const MatrixDiagnosis &d, const Finding &f) {
    const std::size_t order = d.design.order;
    std::string name;
    if (f.element == Finding::Resonator)
        name = "resonator " + std::to_string(f.index);
    else
        name = "coupling " + nodeName(static_cast<std::size_t>(f.lowerEnd()), order) + "-" +
               nodeName(static_cast<std::size_t>(f.index), order);
    name.resize(std::max<std::size_t>(name.size() + 1, 15), ' ');
    if (f.element == Finding::Resonator)
        return name.append(signedFixed(f.offsetMHz, 3))
            .append(" MHz (")
            .append(signedFixed(f.percent, 2))
            .append(" % of BW) +- ")
            .append(formatFixed(f.uncertaintyPercent, 2))
            .append(" %\n");
    const auto a = static_cast<std::size_t>(f.lowerEnd()), b = static_cast<std::size_t>(f.index);
    return name.append(signedFixed(d.fit.matrix.at(a, b), 5))
        .append(" (design ")
        .append(signedFixed(d.design.matrix.at(a, b), 5))
        .append(")  ")
        .append(signedFixed(f.percent, 2))
        .append(" % +- ")
        .append(formatFixed(f.uncertaintyPercent, 2))
        .append(" %\n");
}

std::string matrixDiagnosisReport(const MatrixDiagnosis &d, const TuningTable &table,
                                  std::string_view path) {
    const MatrixFit &fit = d.fit;
    std::string out = "Diagnosis of ";
    out.append(sourceName(path))
        .append(": ")
        .append(describeDesign(d.design, table, false))
        .append(", from ")
        .append(fittedTracesName(d.traces, true))
        .append("\n\nfit: residual ")
        .append(levelText(rmsDb(fit.residualRms)))
        .append(", trace noise ")
        .append(levelText(d.noiseDb));
    if (fit.qu > 0)
        out.append(", Qu ").append(formatFixed(fit.qu, 0));
    out.append(", port delay ").append(formatFixed(fit.delayNs[0], 3)).append(" ns");
    if (d.twoPort)
        out.append(" and ").append(formatFixed(fit.delayNs[1], 3)).append(" ns");
    out.append("\nreturn loss ")
        .append(formatFixed(d.returnLossDb, 2))
        .append(" dB in the band (design ")
        .append(formatFixed(d.designReturnLossDb, 2))
        .append(" dB)\n\nfitted coupling matrix (S, 1..")
        .append(std::to_string(d.design.order))
        .append(", L)\n")
        .append(matrixText(fit.matrix))
        .append("\n");
    for (const JudgedElement &e : d.elements)
        out.append(elementLine(d, e.finding));
    out.append("\n");
    const std::string text = matrixDiagnosisText(d);
    switch (d.outcome) {
    case Diagnosis::Pass:
        return out.append("PASS: ").append(text).append("\n");
    case Diagnosis::Fail:
        out.append("FAIL:");
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            out.append("\n  ").append(text, at, end - at);
            at = end + 1;
        }
        return out.append("\n");
    case Diagnosis::TooFar:
        break;
    }
    return out.append("TOO FAR: ").append(text).append("\n");
}

} // namespace

bool wantsMatrixDiagnosis(const ParsedOptions &options) {
    return options.has("--zeros") || options.has("--topology");
}

int runMatrixDiagnose(const ParsedOptions &options, CommandIo &io, const StageInputs &inputs,
                      const Network &network, std::string_view path) {
    for (std::string_view option : inlineOnly)
        if (options.has(option))
            return usageError(io, std::string(option) +
                                      " applies to the in-line diagnosis only, not with --zeros "
                                      "or --topology");
    auto request = designRequest(io, options);
    if (!request)
        return ExitUsage;
    request->f0 = inputs.f0;
    request->qu = inputs.qu;
    const auto designed = designFilter(inputs.table, *request);
    if (const auto *refusal = std::get_if<DesignRefusal>(&designed))
        return failure(io, designRefusalText(*refusal, inputs.table, inputs.f0), ExitUsage);
    MatrixDiagnoseSettings settings;
    settings.f0 = inputs.f0;
    settings.qu = inputs.qu;
    settings.s11Only = options.has("--s11-only");
    settings.tolerancePercent = inputs.check.tolerancePercent;
    settings.toleranceFrequencyPercent = inputs.check.toleranceFrequencyPercent;
    const auto diagnosed = diagnoseMatrix(std::get<FilterDesign>(designed),
                                          inputs.table.first.bandwidth, network, settings);
    if (const auto *why = std::get_if<DiagnoseRefusal>(&diagnosed))
        return failure(io, sourceName(path) + ": " + diagnoseRefusalText(*why), ExitRunTimeError);
    const MatrixDiagnosis &d = std::get<MatrixDiagnosis>(diagnosed);
    const nlohmann::ordered_json j = matrixDiagnosisJson(d, inputs);
    if (const auto journal = openedJournal(io, options))
        recordJudged(io, *journal, options, inputs, path, network,
                     {"diagnose", j["verdict"], d.returnLossDb, judgedElementsJson(j), "[]"});
    if (options.has("--json"))
        io.out << jsonText(j) << '\n';
    else if (options.has("--csv"))
        io.out << matrixDiagnosisCsv(d, network);
    else
        io.out << matrixDiagnosisReport(d, inputs.table, path);
    switch (d.outcome) {
    case Diagnosis::Pass:
        return ExitOk;
    case Diagnosis::Fail:
        return ExitOutsideTolerance;
    case Diagnosis::TooFar:
        break;
    }
    return ExitUndecided;
}

} // namespace varnel
