#include "cli/design_options.h"
#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"
#include "tuning/filter_design.h"
#include "tuning/stage_model.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace varnel {

namespace {

constexpr long long maxDesignPoints = 1'000'000;

constexpr std::string_view designHelp =
    "      A generalized Chebyshev filter's normalized coupling matrix (S, 1..N,\n"
    "      L): the ripple's return loss in the band f0 +- BANDWIDTH/2 and\n"
    "      transmission zeros at --zeros (MHz, outside the band; a pair placed\n"
    "      symmetrically on f0 in the low-pass domain is made exact). --topology\n"
    "      inline (no zeros), folded (the main line and the cross diagonals, at\n"
    "      most ORDER - 2 zeros), ct (cascaded triplets on 1-3, 4-6, ... or 1-3,\n"
    "      3-5, ..., the k-th making the k-th zero listed), cq (cascaded\n"
    "      quadruplets on 1-4, 5-8, ... or 1-4, 4-7, ..., each a symmetric pair of\n"
    "      zeros, listed in pairs) or LIST, the couplings between resonators as\n"
    "      1-2,2-3,3-4,1-4; folded when zeros are given, inline otherwise. Prints\n"
    "      the matrix, each resonator's frequency and each coupling as M, in MHz (M\n"
    "      x BWe) and as k (M x BWe / f0); Qe for the ports. --json prints one\n"
    "      object, --csv the response f_mhz,s11_db,s21_db (exact zeros at -400 dB),\n"
    "      --s2p the response as a Touchstone file (with --qu, lossy), to load into\n"
    "      an analyser as a reference trace. Default span 3 x BANDWIDTH, widened to\n"
    "      show every zero; 801 points.\n";

std::string designText(const FilterDesign &d, const TuningTable &table) {
    std::string text = "Filter design: " + describeDesign(d, table) + "\n";
    text += "return loss " + formatFixed(d.returnLossDb, 2) + " dB, equal-ripple bandwidth " +
            formatFixed(d.bandwidth, 6) + " MHz\n";
    for (std::size_t i = 0; i < d.zerosOmega.size(); ++i)
        text += "zero " + std::to_string(i + 1) + "  " + formatFixed(d.zerosMHz[i], 3) +
                " MHz, Omega " + formatSigned(d.zerosOmega[i], 6) + "\n";
    text += "\ncoupling matrix (S, 1.." + std::to_string(d.order) + ", L)\n" + matrixText(d.matrix);
    text += "\n";
    for (std::size_t i = 1; i <= d.order; ++i)
        text +=
            "resonator " + std::to_string(i) + "  " + formatFixed(d.resonatorMHz(i), 4) + " MHz\n";
    const std::size_t load = d.order + 1;
    for (const CouplingEntry &c : couplings(d.matrix)) {
        auto name = [&](std::size_t i) {
            return i == 0 ? std::string("S") : i == load ? std::string("L") : std::to_string(i);
        };
        text += "coupling " + name(c.from) + "-" + name(c.to) + "  " + formatSigned(c.value, 6);
        if (c.from == 0 || c.to == load)
            text += "  Qe " + formatFixed(d.f0 / (c.value * c.value * d.bandwidth), 3);
        else
            text += "  " + formatSigned(c.value * d.bandwidth, 4) + " MHz, k " +
                    formatSigned(c.value * d.bandwidth / d.f0, 6);
        text += "\n";
    }
    return text;
}

nlohmann::ordered_json designJson(const FilterDesign &d, const TuningTable &table) {
    nlohmann::ordered_json j;
    j["order"] = d.order;
    j["f0_mhz"] = d.f0;
    j["bandwidth_mhz"] = table.first.bandwidth;
    j["equal_ripple_bandwidth_mhz"] = d.bandwidth;
    j["ripple_db"] = table.first.ripple;
    j["return_loss_db"] = d.returnLossDb;
    j["qu"] = d.band.qu ? nlohmann::ordered_json(*d.band.qu) : nlohmann::ordered_json(nullptr);
    j["zeros_mhz"] = d.zerosMHz;
    j["zeros_omega"] = d.zerosOmega;
    j["topology"] = topologyName(d.topology);
    j["coupling_matrix"] = matrixJson(d.matrix);
    j["resonators"] = nlohmann::ordered_json::array();
    for (std::size_t i = 1; i <= d.order; ++i)
        j["resonators"].push_back({{"index", i}, {"frequency_mhz", d.resonatorMHz(i)}});
    j["couplings"] = nlohmann::ordered_json::array();
    for (const CouplingEntry &c : couplings(d.matrix)) {
        nlohmann::ordered_json item{{"from", c.from},
                                    {"to", c.to},
                                    {"value", c.value},
                                    {"mhz", c.value * d.bandwidth},
                                    {"k", c.value * d.bandwidth / d.f0}};
        const bool port = c.from == 0 || c.to == d.order + 1;
        item["qe"] = port ? nlohmann::ordered_json(d.f0 / (c.value * c.value * d.bandwidth))
                          : nlohmann::ordered_json(nullptr);
        j["couplings"].push_back(item);
    }
    return j;
}

} // namespace

namespace {

int writeCurve(const FilterDesign &design, const TuningTable &table, const ParsedOptions &options,
               CommandIo &io) {
    double span = designSpan(design);
    if (options.has("--span")) {
        const auto value = numberOption(io, options, "--span");
        if (!value)
            return ExitUsage;
        span = *value;
    }
    if (!(design.f0 - span / 2 > 0))
        return usageError(io, "the span " + formatShortest(span) +
                                  " MHz reaches 0 MHz below f0; make it narrower than 2 x f0");
    long long points = 801;
    if (options.has("--points")) {
        const auto value = wholeOption(io, options, "--points", 2, maxDesignPoints);
        if (!value)
            return ExitUsage;
        points = *value;
    }
    const DesignCurve curve = designCurve(design, span, static_cast<std::size_t>(points));
    if (options.has("--s2p")) {
        io.out << designS2p(design, table, curve);
        return ExitOk;
    }
    // A lossless design's exact zeros read as -400 dB, never as -inf.
    auto db = [](std::complex<double> v) { return std::max(-400.0, decibels(v)); };
    std::string text = "f_mhz,s11_db,s21_db\n";
    for (std::size_t i = 0; i < curve.fMHz.size(); ++i) {
        appendCsvRow(text, {curve.fMHz[i], db(curve.s[i].s11), db(curve.s[i].s21)});
        if (!flushBlock(io, text))
            return ExitRunTimeError;
    }
    io.out << text;
    return ExitOk;
}

int runDesign(const ParsedOptions &options, CommandIo &io) {
    int formats = 0;
    for (std::string_view flag : {"--json", "--csv", "--s2p"})
        formats += options.has(flag) ? 1 : 0;
    if (formats > 1)
        return usageError(io, "--json, --csv and --s2p exclude each other");
    const auto texts = fieldTexts(io, options.positional);
    if (!texts)
        return ExitUsage;
    const auto request = designRequest(io, options);
    if (!request)
        return ExitUsage;
    int status = ExitOk;
    const std::optional<TuningTable> table =
        tableFor(io, *texts, request->f0, options.value("--f0").value_or(""), status);
    if (!table)
        return status;
    const auto designed = designFilter(*table, *request);
    if (const auto *refusal = std::get_if<DesignRefusal>(&designed))
        return failure(io, designRefusalText(*refusal, *table, request->f0), ExitUsage);
    const FilterDesign &design = std::get<FilterDesign>(designed);
    if (options.has("--csv") || options.has("--s2p"))
        return writeCurve(design, *table, options, io);
    if (options.has("--json"))
        io.out << jsonText(designJson(design, *table)) << '\n';
    else
        io.out << designText(design, *table);
    return ExitOk;
}

constexpr OptionRow designOptions[] = {{"--f0", "MHZ", {}, InUsage::Required},
                                       {"--zeros", "MHZ[,MHZ...]"},
                                       {"--topology", "inline|folded|ct|cq|LIST"},
                                       {"--qu", "Q"},
                                       {"--span", "MHZ"},
                                       {"--points", "N"},
                                       {"--json", "", {}, InUsage::Optional, true},
                                       {"--csv", "", {}, InUsage::Optional, true},
                                       {"--s2p", ""},
                                       {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form designForm{"design", "", fieldsArguments, designHelp, designOptions, runDesign};

} // namespace varnel
