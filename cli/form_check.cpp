#include "calculation/conversions.h"
#include "cli/design_options.h"
#include "cli/forms.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"
#include "tuning/check.h"
#include "tuning/stage_fit.h"
#include "tuning/stage_model.h"
#include "tuning/trace_noise.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view checkHelp =
    "      Holds a measured stage sweep against its target and says what to turn.\n"
    "      The stage model (resonators 1..K, the input coupling, the couplings up\n"
    "      to K, one Qu, and the cable's delay and phase) is fitted to the whole\n"
    "      complex sweep, and the verdict comes from it: pass (status 0) when the\n"
    "      centre delay is within --tol % (default 2) of the target's, every\n"
    "      resonator within --tol-freq % of BW (default 2) of f0 and every\n"
    "      coupling within --tol %; fail (status 3) with a finding for each\n"
    "      element out of tolerance, the furthest first, saying which way to turn\n"
    "      it and how far off it is; uncertain (status 4) when the sweep cannot\n"
    "      decide (noise, a sweep narrower than the lobes, a fit that does not\n"
    "      match), with what to do. Status 1 for an unreadable file or a run-time\n"
    "      error, 2 for a usage error. The report keeps the delay at f0 measured\n"
    "      and target, the lobes, |S11| at f0 and, for stage 1, the Qe and Qu the\n"
    "      sweep shows. At the last stage --output says whether the output is\n"
    "      loaded (the whole filter) or open; without it the sweep decides.\n"
    "      --edelay corrects the measurement only (a cable), not the target.\n"
    "      --json prints one object, --csv the comparison f_mhz,\n"
    "      delay_measured_ns,delay_target_ns,s11_db_measured,s11_db_target.\n"
    "      --resonator coaxial holds the sweep against quarter-wave TEM\n"
    "      resonators instead of lumped ones, --resonator waveguide against\n"
    "      half-wave cavities in a guide cut off at --cutoff MHZ (fitted when not\n"
    "      given; where the sweep cannot tell it and it would move an element,\n"
    "      uncertain); each model is narrow-band, f0 the band centre sqrt(f1 f2)\n"
    "      of its edges; --resonator auto keeps the\n"
    "      kind that explains the sweep better, and a sweep the other kind\n"
    "      explains clearly better is uncertain. Couplings that vary with\n"
    "      frequency, k(f) = k0 (f/f0)^P and 1/Qe likewise, are fitted unless\n"
    "      --coupling-slope and --qe-slope give them; where a slope the sweep\n"
    "      cannot pin down would move an element, the verdict is uncertain. A\n"
    "      fit whose residual stands above the trace's own noise (by 1.15 x) is\n"
    "      not trusted: uncertain, with the reason. With --journal DB the check\n"
    "      is kept in the journal (--unit SERIAL: the unit's serial number;\n"
    "      --keep-sweeps: the sweep too); varnel-calc journal lists them.\n";

} // namespace

namespace {

// Where the report's slopes come from: "given", "fitted" (the sweep shows
// them), or "held" at what was given or 0 (the sweep shows none).
const char *slopesSource(const StageFit &fit, const CheckSettings &s) {
    if (s.couplingSlope && s.qeSlope)
        return "given";
    return fit.slopesFitted() ? "fitted" : "held";
}

// What the fit found: each element, the loss, the line, the slopes, the
// couplings the design lacks and the calibration's residual terms.
void addFitJson(nlohmann::ordered_json &j, const CheckReport &r, const StageInputs &in) {
    auto optional = [](const std::optional<double> &v) {
        return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
    };
    const StageFit &fit = *r.fit;
    const double bandwidth = in.table.first.bandwidth;
    const std::size_t k = fit.offsetMHz.size();
    j["resonators"] = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < k; ++i)
        j["resonators"].push_back(
            {{"index", i + 1},
             {"offset_mhz", fit.offsetMHz[i]},
             {"offset_percent_bw", fit.offsetMHz[i] / bandwidth * 100},
             {"uncertainty_percent_bw", fit.uncertainty[i] / bandwidth * 100}});
    j["couplings"] = nlohmann::ordered_json::array();
    for (std::size_t i = 2; i <= k; ++i)
        j["couplings"].push_back({{"from", i - 1},
                                  {"to", i},
                                  {"error_percent", fit.couplingErrorPercent(i)},
                                  {"uncertainty_percent", couplingUncertaintyPercent(fit, i)}});
    const double fbw = effectiveBandwidth(bandwidth) / r.settings.f0;
    j["external"] = nlohmann::ordered_json::array();
    j["external"].push_back({{"port", 1},
                             {"qe", in.table.stages[0].g * fit.scale[0] / fbw},
                             {"error_percent", fit.couplingErrorPercent(1)}});
    if (fit.model.load)
        j["external"].push_back({{"port", 2},
                                 {"qe", fit.model.g.back() * *fit.model.load * fit.scale.back() *
                                            fit.outputScale / fbw},
                                 {"error_percent", fit.outputErrorPercent()}});
    j["output"] = r.output == StageOutput::Loaded ? "loaded" : "open";
    j["fitted_qu"] = optional(fit.qu(fbw));
    j["fitted_delay_ns"] = optional(r.fittedDelayNs);
    j["fitted_deviation_percent"] = optional(r.fittedDeviationPercent);
    j["cable_delay_ns"] = fit.cableDelayNs;
    j["coupling_slope"] = fit.couplingSlope;
    j["qe_slope"] = fit.qeSlope;
    j["slopes"] = slopesSource(fit, r.settings);
    j["cross_couplings"] = crossCouplingsJson(r.crossFits);
    j["calibration_terms"] = nullptr;
    if (fit.model.calibration)
        j["calibration_terms"] = {{"directivity_db", levelJson(decibels(fit.directivity))},
                                  {"source_match_db", levelJson(decibels(fit.sourceMatch))},
                                  {"tracking_db", 20 * std::log10(fit.tracking)}};
    j["noise_db"] = levelJson(r.noiseDb);
    j["fit_residual_db"] = levelJson(rmsDb(fit.residualRms));
}

} // namespace

nlohmann::ordered_json checkJson(const CheckReport &r, const StageInputs &in) {
    nlohmann::ordered_json j;
    auto optional = [](const std::optional<double> &v) {
        return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
    };
    j["stage"] = r.settings.stage;
    j["order"] = in.table.stages.size();
    j["f0_mhz"] = r.settings.f0;
    j["bandwidth_mhz"] = in.table.first.bandwidth;
    j["ripple_db"] = in.table.first.ripple;
    j["model_qu"] = optional(r.settings.qu);
    j["parameter"] = r.settings.parameter.name();
    j["resonator"] = resonatorKindName(r.settings.resonator);
    j["resonator_auto"] = r.settings.resonatorAuto;
    if (r.fit)
        addCutoffJson(j, r.settings.resonator, r.fit->model.cutoff, r.fit->fittedCutoff);
    else
        addCutoffJson(j, r.settings.resonator, r.settings.cutoff.value_or(0), std::nullopt);
    j["aperture_steps"] = r.apertureSteps;
    j["table_delay_ns"] = r.tableDelayNs;
    j["target_delay_ns"] = r.targetDelayNs;
    j["measured_delay_ns"] = r.measuredDelayNs;
    j["deviation_percent"] = r.deviationPercent;
    j["tolerance_percent"] = r.settings.tolerancePercent;
    j["tolerance_freq_percent"] = r.settings.toleranceFrequencyPercent;
    j["pass"] = r.verdict.outcome == Verdict::Pass;
    j["verdict"] = outcomeName(r.verdict.outcome);
    j["s11_db_measured"] = r.s11DbMeasured;
    j["s11_db_target"] = r.s11DbTarget;
    j["lobes"] = nlohmann::ordered_json::array();
    for (const Lobe &lobe : r.lobes)
        j["lobes"].push_back({{"f_mhz", lobe.fMHz},
                              {"delay_ns", lobe.delayNs},
                              {"target_f_mhz", lobe.targetFMHz},
                              {"target_delay_ns", lobe.targetDelayNs}});
    if (r.settings.stage == 1) {
        j["qe"] = optional(r.qe);
        j["qu"] = optional(r.qu);
    }
    const auto &findings = r.verdict.findings;
    j["cause"] = findings.empty()                            ? "none"
                 : findings[0].element == Finding::Resonator ? "frequency"
                                                             : "coupling";
    j["advice"] = adviceText(r);
    j["findings"] = nlohmann::ordered_json::array();
    for (const Finding &f : findings) {
        nlohmann::ordered_json item = findingJson(f);
        item["text"] = findingText(f);
        j["findings"].push_back(item);
    }
    j["doubts"] = doubtsJson(r.verdict.doubts);
    if (r.fit)
        addFitJson(j, r, in);
    j["warnings"] = textsJson(warningTexts(r));
    return j;
}

namespace {

// What the fit of the whole sweep finds, element by element, with the
// standard uncertainties.
std::string fittedText(const StageFit &fit, const CheckReport &r, const StageInputs &in) {
    const double bandwidth = in.table.first.bandwidth;
    std::string out = "\nfitted to the whole sweep: residual ";
    out.append(levelText(rmsDb(fit.residualRms)))
        .append(", trace noise ")
        .append(levelText(r.noiseDb))
        .append(", cable ")
        .append(formatFixed(fit.cableDelayNs, 3))
        .append(" ns");
    if (const auto qu = fit.qu(effectiveBandwidth(bandwidth) / r.settings.f0))
        out.append(", Qu ").append(formatFixed(*qu, 0));
    out.append(", slopes ")
        .append(slopesSource(fit, r.settings))
        .append(" ")
        .append(signedFixed(fit.couplingSlope, 2))
        .append(" and ")
        .append(signedFixed(fit.qeSlope, 2))
        .append(" (couplings and Qe)")
        .append(cutoffText(fit.model.resonator, fit.model.cutoff, fit.fittedCutoff))
        .append("\n");
    if (fit.model.calibration)
        out.append("calibration's residual terms fitted: directivity ")
            .append(levelText(decibels(fit.directivity)))
            .append(", source match ")
            .append(levelText(decibels(fit.sourceMatch)))
            .append(", tracking ")
            .append(signedFixed(20 * std::log10(fit.tracking), 2))
            .append(" dB\n");
    for (std::size_t i = 0; i < fit.offsetMHz.size(); ++i)
        out.append("resonator ")
            .append(std::to_string(i + 1))
            .append("   ")
            .append(signedFixed(fit.offsetMHz[i], 3))
            .append(" MHz (")
            .append(signedFixed(fit.offsetMHz[i] / bandwidth * 100, 2))
            .append(" % of BW) +- ")
            .append(formatFixed(fit.uncertainty[i] / bandwidth * 100, 2))
            .append(" %\n");
    auto coupling = [&](std::string name, std::size_t which) {
        name.resize(std::max<std::size_t>(name.size() + 1, 19), ' ');
        out.append(name)
            .append(signedFixed(
                which == 0 ? fit.outputErrorPercent() : fit.couplingErrorPercent(which), 2))
            .append(" % +- ")
            .append(formatFixed(couplingUncertaintyPercent(fit, which), 2))
            .append(" %\n");
    };
    coupling("input coupling Qe", 1);
    for (std::size_t i = 2; i <= fit.offsetMHz.size(); ++i)
        coupling("coupling " + std::to_string(i - 1) + "-" + std::to_string(i), i);
    if (fit.model.load)
        coupling("output coupling Qe", 0);
    if (r.fittedDeviationPercent)
        out.append("centre delay       ")
            .append(signedFixed(*r.fittedDeviationPercent, 2))
            .append(" % against the design at the fitted Qu\n");
    return out;
}

std::string checkText(const CheckReport &r, const StageInputs &in, std::string_view path) {
    auto ns = [](double v) { return formatFixed(v, 3) + " ns"; };
    auto mhz = [](double v) { return formatFixed(v, 3) + " MHz"; };
    auto db = [](double v) { return formatFixed(v, 2) + " dB"; };
    std::string out =
        "Check of " + sourceName(path) + ": " +
        describeStage(in.table,
                      stageModel(in.table, in.stage, in.f0, in.qu, r.settings.resonator, r.output,
                                 r.fit ? r.fit->model.cutoff : r.settings.cutoff.value_or(0))) +
        "\n";
    out += r.settings.parameter.name() + ", aperture " + std::to_string(r.apertureSteps) +
           (r.apertureSteps == 1 ? " step" : " steps");
    if (r.settings.electricalDelayNs != 0)
        out += ", electrical delay " + formatShortest(r.settings.electricalDelayNs) + " ns";
    out += "\n\n";
    out += "delay at f0   measured " + ns(r.measuredDelayNs) + ", target " + ns(r.targetDelayNs) +
           " (table " + ns(r.tableDelayNs) + ")\n";
    out += "deviation     " + std::string(r.deviationPercent >= 0 ? "+" : "") +
           formatFixed(r.deviationPercent, 2) + " %, tolerance " +
           formatShortest(r.settings.tolerancePercent) + " %\n";
    out += "S11 at f0     measured " + db(r.s11DbMeasured) + ", target " + db(r.s11DbTarget) + "\n";
    for (std::size_t l = 0; l < r.lobes.size(); ++l) {
        const Lobe &lobe = r.lobes[l];
        out += "lobe " + std::to_string(l + 1) + "        measured " + ns(lobe.delayNs) + " at " +
               mhz(lobe.fMHz) + ", target " + ns(lobe.targetDelayNs) + " at " +
               mhz(lobe.targetFMHz) + "\n";
    }
    if (r.qe)
        out += "stage 1       Qe " + formatFixed(*r.qe, 2) + ", Qu " +
               (r.qu ? formatFixed(*r.qu, 1) : std::string("not measurable (|S11| = 1)")) + "\n";
    if (r.fit)
        out += fittedText(*r.fit, r, in);
    for (const std::string &warning : warningTexts(r))
        out += "\nwarning: " + warning + "\n";
    const Verdict &v = r.verdict;
    out.append("\n").append(verdictWord(v.outcome)).append(":");
    if (v.outcome == Verdict::Fail)
        for (const Finding &f : v.findings)
            out.append("\n  ").append(findingText(f));
    else
        out.append(" ").append(adviceText(r));
    out += "\n";
    return out;
}

int runCheck(const ParsedOptions &options, CommandIo &io) {
    if (const int refused = refuseCrossCoupled(io, options); refused != ExitOk)
        return refused;
    if (options.has("--json") && options.has("--csv"))
        return usageError(io, "--json and --csv exclude each other");
    if (options.positional.empty())
        return usageError(io, "check needs a Touchstone file");
    if (const auto problem = journalOptionsProblem(options))
        return usageError(io, *problem);
    int status = ExitOk;
    const auto inputs = stageInputs(io, options, std::span(options.positional).subspan(1), status);
    if (!inputs)
        return status;
    CheckSettings settings = inputs->check;
    // Only the CSV shows the comparison at every point.
    settings.comparison = options.has("--csv");
    const std::string_view path = options.positional[0];
    const auto network = readSweep(io, path, settings.parameter, status, options);
    if (!network)
        return status;
    const auto checked = checkStage(inputs->table, *network, settings);
    if (const auto *why = std::get_if<CheckRefusal>(&checked)) {
        // An aperture wider than the sweep or an electrical delay larger
        // than it can take is a wrong option; the rest are the sweep's.
        const bool usage = (why->kind == CheckRefusal::Aperture &&
                            why->aperture.kind == ApertureRefusal::TooWide) ||
                           why->kind == CheckRefusal::ElectricalDelay;
        return failure(io, sourceName(path) + ": " + checkRefusalText(*why),
                       usage ? ExitUsage : ExitRunTimeError);
    }
    const CheckReport &report = std::get<CheckReport>(checked);
    const nlohmann::ordered_json j = checkJson(report, *inputs);
    if (const auto journal = openedJournal(io, options))
        recordJudged(io, *journal, options, *inputs, path, *network,
                     {"check", j["verdict"], std::nullopt, judgedElementsJson(j), "[]"});
    if (options.has("--json")) {
        io.out << jsonText(j) << '\n';
    } else if (options.has("--csv")) {
        io.out << comparisonCsv(report);
    } else {
        io.out << checkText(report, *inputs, path);
    }
    return verdictStatus(report.verdict.outcome);
}

constexpr OptionRow checkOwnOptions[] = {{"--json", "", {}, InUsage::Optional, true},
                                         {"--csv", ""},
                                         timeoutRow,
                                         portsRow,
                                         {"--help", "", "-h", InUsage::Hidden}};
constexpr auto checkOptions = joinedOptions(
    joinedOptions(joinedOptions(stageCheckOptions, crossCoupledRows), checkOwnOptions),
    journalRows);

} // namespace

const Form checkForm{"check", "SOURCE", fieldsArguments, checkHelp, checkOptions, runCheck};

} // namespace varnel
