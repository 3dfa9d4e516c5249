#include "cli/forms.h"
#include "cli/matrix_diagnose.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/diagnosis_json.h"
#include "report_json/json_output.h"
#include "tuning/diagnosis.h"
#include "tuning/trace_noise.h"

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view diagnoseHelp =
    "      Diagnoses the assembled filter from one sweep with its output loaded:\n"
    "      S11 and S21 (and S22) of a 2-port file, or S11 alone (a 1-port file,\n"
    "      or --s11-only). The in-line coupled-resonator model (each resonator's\n"
    "      frequency, each coupling, both ports' Qe, one Qu, and each port's line\n"
    "      delay and phase) is fitted to the whole sweep, and the report gives\n"
    "      each resonator's offset, each coupling's and Qe's error, Qu, the\n"
    "      ports' one-way delays and the return loss of the fitted filter. pass\n"
    "      (status 0) when every resonator is within --tol-freq % of BW (default\n"
    "      1) and every coupling and Qe within --tol % (default 2); fail (status\n"
    "      3) with a finding for each element out of tolerance, the one whose\n"
    "      correction gains the most return loss first; too_far (status 4) when\n"
    "      the fit does not match: tune stage by stage first (varnel-calc\n"
    "      check), or when the sweep cannot decide. --json prints one object,\n"
    "      --csv the measured and fitted |S11|, |S21| (dB) and group delays (ns)\n"
    "      per frequency. Couplings that vary with frequency, k(f) = k0 (f/f0)^P\n"
    "      and 1/Qe likewise, are fitted unless --coupling-slope and --qe-slope\n"
    "      give them; where a slope the sweep cannot pin down would move an\n"
    "      element, the diagnosis does not decide. A fit that does not match is\n"
    "      tried again with each port's calibration residuals (directivity,\n"
    "      source match, tracking), which the report then states. --resonator\n"
    "      and --cutoff as for check (auto: the kind that explains the sweep\n"
    "      better; waveguide: the cut-off fitted unless given). A coupling the\n"
    "      in-line design lacks (between resonators two or three apart) that\n"
    "      explains the sweep clearly better is named instead of a finding.\n"
    "      With --zeros or --topology (as for design), the design's coupling matrix\n"
    "      is fitted instead: every entry its topology allows, Qu and each port's\n"
    "      line; each resonator is judged in % of BW (--tol-freq) and each entry\n"
    "      in % of the design's largest coupling between resonators (--tol), and\n"
    "      a topology whose matrix the sweep does not determine is named so.\n"
    "      With --journal DB holding screws learned for this design (learn), the\n"
    "      report ends with the plan of turns of all of them at once (\"turns\"\n"
    "      in JSON) and the return loss it should reach (JSON:\n"
    "      \"predicted_return_loss_db\"); a journal that cannot be read is warned\n"
    "      of, the verdict stands. Every diagnosis with --journal is kept there\n"
    "      (--unit SERIAL: the unit's serial number; --keep-sweeps: the sweep\n"
    "      too). With --unit, the plan of the unit's last diagnosis is taken as\n"
    "      carried out and the screws are refined from the change since\n"
    "      (Broyden's update), unless the elements moved by less than a quarter\n"
    "      of what the plan should have done.\n";

// One element's line: "resonator 3  +0.300 MHz (+3.00 % of BW) +- 0.01 %".
std::string elementLine(const Finding &f) {
    std::string name;
    if (f.element == Finding::Resonator)
        name = "resonator " + std::to_string(f.index);
    else if (f.element == Finding::Coupling)
        name = "coupling " + std::to_string(f.index - 1) + "-" + std::to_string(f.index);
    else
        name = f.index == 1 ? "port 1 Qe" : "port 2 Qe";
    name.resize(std::max<std::size_t>(name.size() + 1, 14), ' ');
    if (!std::isfinite(f.percent))
        return name.append("undefined\n"); // a fit that ran away through a scale of 0
    if (f.element == Finding::Resonator)
        return name.append(signedFixed(f.offsetMHz, 3))
            .append(" MHz (")
            .append(signedFixed(f.percent, 2))
            .append(" % of BW) +- ")
            .append(formatFixed(f.uncertaintyPercent, 2))
            .append(" %\n");
    return name.append(signedFixed(f.percent, 2))
        .append(" % +- ")
        .append(formatFixed(f.uncertaintyPercent, 2))
        .append(" %\n");
}

std::string diagnosisReport(const Diagnosis &d, std::string_view path) {
    const FilterFit &fit = d.fit;
    std::string out = "Diagnosis of ";
    out.append(sourceName(path))
        .append(": order ")
        .append(std::to_string(d.order))
        .append(", bandwidth ")
        .append(formatShortest(d.bandwidthMHz))
        .append(" MHz, f0 ")
        .append(formatShortest(d.settings.f0))
        .append(" MHz, from ")
        .append(fittedTracesName(fit.model.traces(), true))
        .append("\n\nfit: residual ")
        .append(levelText(rmsDb(fit.residualRms)))
        .append(", trace noise ")
        .append(levelText(fit.noiseDb));
    if (fit.qu())
        out.append(", Qu ").append(formatFixed(*fit.qu(), 0));
    out.append(", port delay ").append(formatFixed(fit.delayNs[0], 3)).append(" ns");
    if (fit.model.twoPort)
        out.append(" and ").append(formatFixed(fit.delayNs[1], 3)).append(" ns");
    out.append(", slopes ")
        .append(slopesSource(d))
        .append(" ")
        .append(signedFixed(fit.couplingSlope, 2))
        .append(" and ")
        .append(signedFixed(fit.qeSlope, 2))
        .append(" (couplings and Qe)")
        .append(cutoffText(fit.model.resonator, fit.model.cutoff, fit.fittedCutoff));
    for (int port = 0; port < (fit.model.calibration ? (fit.model.twoPort ? 2 : 1) : 0); ++port)
        out.append(port == 0 ? "\ncalibration's residual terms fitted:" : ";")
            .append(" port ")
            .append(std::to_string(port + 1))
            .append(" directivity ")
            .append(levelText(decibels(fit.directivity[port])))
            .append(", source match ")
            .append(levelText(decibels(fit.sourceMatch[port])))
            .append(", tracking ")
            .append(signedFixed(20 * std::log10(fit.tracking[port]), 2))
            .append(" dB");
    out.append("\nreturn loss ")
        .append(formatFixed(d.returnLossDb, 2))
        .append(" dB in the band (design ")
        .append(formatFixed(d.designReturnLossDb, 2))
        .append(" dB)\n\n");
    for (const JudgedElement &e : d.elements)
        out.append(elementLine(e.finding));
    for (const std::string &warning : diagnosisWarnings(d))
        out += "\nwarning: " + warning + "\n";
    out.append("\n");
    switch (d.outcome) {
    case Diagnosis::Pass:
        out.append("PASS: ").append(diagnosisText(d));
        break;
    case Diagnosis::Fail: {
        out.append("FAIL:");
        const std::string lines = diagnosisText(d);
        for (std::size_t at = 0; at < lines.size();) {
            const std::size_t end = std::min(lines.find('\n', at), lines.size());
            out.append("\n  ").append(lines, at, end - at);
            at = end + 1;
        }
        break;
    }
    case Diagnosis::TooFar:
        out.append("TOO FAR: ").append(diagnosisText(d));
        break;
    }
    return out.append("\n");
}

int runDiagnose(const ParsedOptions &options, CommandIo &io) {
    if (options.has("--json") && options.has("--csv"))
        return usageError(io, "--json and --csv exclude each other");
    if (options.positional.empty())
        return usageError(io, "diagnose needs a Touchstone file");
    if (const auto problem = journalOptionsProblem(options))
        return usageError(io, *problem);
    int status = ExitOk;
    const StageInputTexts defaults = diagnoseDefaults();
    const auto inputs =
        stageInputs(io, options, std::span(options.positional).subspan(1), status, defaults, false);
    if (!inputs)
        return status;
    const std::string_view path = options.positional[0];
    const auto read = readSweep(io, path, std::nullopt, status, options);
    if (!read)
        return status;
    const Network &network = *read;
    if (wantsMatrixDiagnosis(options))
        return runMatrixDiagnose(options, io, *inputs, network, path);
    const auto diagnosed =
        diagnoseFilter(inputs->table, network, diagnoseSettings(options, *inputs));
    if (const auto *why = std::get_if<DiagnoseRefusal>(&diagnosed))
        return failure(io, sourceName(path) + ": " + diagnoseRefusalText(*why), ExitRunTimeError);
    const Diagnosis &d = std::get<Diagnosis>(diagnosed);
    const auto journal = openedJournal(io, options);
    const JournalledDiagnosis journalled =
        journalledDiagnosis(io, journal.get(), options, *inputs, path, network, d);
    if (options.has("--json")) {
        io.out << jsonText(journalled.document) << '\n';
    } else if (options.has("--csv")) {
        io.out << diagnosisCsv(d, network);
    } else {
        io.out << diagnosisReport(d, path);
        if (journalled.plan)
            io.out << '\n' << planLines(journalled.plan, journalled.refined);
    }
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

constexpr OptionRow diagnoseOptions[] = {{"--f0", "MHZ", {}, InUsage::Required},
                                         {"--zeros", "MHZ[,MHZ...]"},
                                         {"--topology", "inline|folded|ct|cq|LIST"},
                                         {"--qu", "Q"},
                                         {"--s11-only", ""},
                                         {"--tol", "PCT"},
                                         {"--tol-freq", "PCT"},
                                         {"--resonator", "lumped|coaxial|waveguide|auto"},
                                         {"--cutoff", "MHZ"},
                                         {"--coupling-slope", "P"},
                                         {"--qe-slope", "P"},
                                         {"--json", "", {}, InUsage::Optional, true},
                                         {"--csv", ""},
                                         timeoutRow,
                                         portsRow,
                                         {"--help", "", "-h", InUsage::Hidden}};
constexpr auto diagnoseAllOptions = joinedOptions(diagnoseOptions, journalRows);

} // namespace

const Form diagnoseForm{"diagnose",   "SOURCE",           fieldsArguments,
                        diagnoseHelp, diagnoseAllOptions, runDiagnose};

} // namespace varnel
