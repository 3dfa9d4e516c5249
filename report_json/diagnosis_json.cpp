#include "report_json/diagnosis_json.h"

#include "report_json/json_output.h"
#include "tuning/trace_noise.h"

#include <cmath>

namespace varnel {

const char *slopesSource(const Diagnosis &d) {
    if (d.settings.couplingSlope && d.settings.qeSlope)
        return "given";
    return d.fit.slopesFitted() ? "fitted" : "held";
}

nlohmann::ordered_json diagnosisJson(const Diagnosis &d, const StageInputs &in) {
    const FilterFit &fit = d.fit;
    nlohmann::ordered_json j;
    j["order"] = d.order;
    j["f0_mhz"] = d.settings.f0;
    j["bandwidth_mhz"] = d.bandwidthMHz;
    j["ripple_db"] = in.table.first.ripple;
    j["model_qu"] = d.settings.qu ? nlohmann::ordered_json(*d.settings.qu) : nullptr;
    j["traces"] = fittedTracesName(fit.model.traces(), false);
    j["resonator"] = resonatorKindName(d.settings.resonator);
    j["resonator_auto"] = d.settings.resonatorAuto;
    addCutoffJson(j, d.settings.resonator, fit.model.cutoff, fit.fittedCutoff);
    j["tolerance_percent"] = d.settings.tolerancePercent;
    j["tolerance_freq_percent"] = d.settings.toleranceFrequencyPercent;
    j["verdict"] = diagnosisOutcomeName(d.outcome);
    j["pass"] = d.outcome == Diagnosis::Pass;
    j["resonators"] = nlohmann::ordered_json::array();
    j["couplings"] = nlohmann::ordered_json::array();
    j["external"] = nlohmann::ordered_json::array();
    for (const JudgedElement &e : d.elements) {
        const Finding &f = e.finding;
        switch (f.element) {
        case Finding::Resonator:
            j["resonators"].push_back({{"index", f.index},
                                       {"offset_mhz", f.offsetMHz},
                                       {"offset_percent_bw", f.percent},
                                       {"uncertainty_percent_bw", f.uncertaintyPercent}});
            break;
        case Finding::Coupling:
            j["couplings"].push_back({{"from", f.index - 1},
                                      {"to", f.index},
                                      {"error_percent", f.percent},
                                      {"uncertainty_percent", f.uncertaintyPercent}});
            break;
        case Finding::External:
            j["external"].push_back({{"port", f.index},
                                     {"qe", fit.qe(f.index)},
                                     {"error_percent", f.percent},
                                     {"uncertainty_percent", f.uncertaintyPercent}});
            break;
        }
    }
    j["qu"] = fit.qu() ? nlohmann::ordered_json(*fit.qu()) : nullptr;
    j["port_delay_ns"] = portDelaysJson(fit.delayNs, fit.model.twoPort);
    j["return_loss_db"] = d.returnLossDb;
    j["design_return_loss_db"] = d.designReturnLossDb;
    j["fit_residual_db"] = levelJson(rmsDb(fit.residualRms));
    j["noise_db"] = levelJson(fit.noiseDb);
    j["findings"] = rankedFindingsJson(d.findings, d.gainDb);
    j["doubts"] = doubtsJson(d.doubts);
    j["advice"] = diagnosisText(d);
    j["coupling_slope"] = fit.couplingSlope;
    j["qe_slope"] = fit.qeSlope;
    j["slopes"] = slopesSource(d);
    // The couplings the design lacks that explain the sweep better.
    j["cross_couplings"] = crossCouplingsJson(d.crossFits);
    j["calibration_terms"] = nullptr;
    if (fit.model.calibration) {
        j["calibration_terms"] = nlohmann::ordered_json::array();
        for (int port = 0; port < (fit.model.twoPort ? 2 : 1); ++port)
            j["calibration_terms"].push_back(
                {{"port", port + 1},
                 {"directivity_db", levelJson(decibels(fit.directivity[port]))},
                 {"source_match_db", levelJson(decibels(fit.sourceMatch[port]))},
                 {"tracking_db", 20 * std::log10(fit.tracking[port])}});
    }
    j["warnings"] = textsJson(diagnosisWarnings(d));
    return j;
}

} // namespace varnel
