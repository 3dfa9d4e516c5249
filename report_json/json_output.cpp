#include "report_json/json_output.h"

#include "tuning/trace_noise.h"

#include "number_text/number_text.h"

#include <cmath>

namespace varnel {

namespace {

// `depth` < 0: all on one line, ", " and ": " between items.
void dumpJson(const nlohmann::ordered_json &j, std::string &out, int depth) {
    const bool oneLine = depth < 0;
    const std::string indent =
        oneLine ? "" : std::string(static_cast<std::size_t>(2 * depth + 2), ' ');
    const std::string closing =
        oneLine ? "" : std::string(static_cast<std::size_t>(2 * depth), ' ');
    const std::string open = oneLine ? "" : "\n", between = oneLine ? ", " : ",\n";
    const int inner = oneLine ? depth : depth + 1;
    if (j.is_number_float()) {
        const double value = j.get<double>();
        out += std::isfinite(value) ? formatShortest(value) : "null";
    } else if (j.is_object() && !j.empty()) {
        out += "{" + open;
        bool first = true;
        for (const auto &[name, value] : j.items()) {
            out += (first ? "" : between) + indent + nlohmann::ordered_json(name).dump() + ": ";
            dumpJson(value, out, inner);
            first = false;
        }
        out += open + closing + "}";
    } else if (j.is_array() && !j.empty()) {
        out += "[" + open;
        bool first = true;
        for (const auto &value : j) {
            out += (first ? "" : between) + indent;
            dumpJson(value, out, inner);
            first = false;
        }
        out += open + closing + "]";
    } else {
        out += j.dump();
    }
}

} // namespace

void addCutoffJson(nlohmann::ordered_json &j, ResonatorKind kind, double cutoffMHz,
                   const std::optional<CutoffRange> &fitted) {
    const bool guided = kind == ResonatorKind::Waveguide;
    j["cutoff_mhz"] = guided ? nlohmann::ordered_json(cutoffMHz) : nullptr;
    j["cutoff"] = !guided ? nullptr : nlohmann::ordered_json(fitted ? "fitted" : "given");
    j["cutoff_range_mhz"] = nullptr;
    if (guided && fitted)
        j["cutoff_range_mhz"] = {fitted->lowMHz, fitted->highMHz};
}

nlohmann::ordered_json crossCouplingsJson(const std::vector<FilterFit> &crossFits) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const FilterFit &with : crossFits)
        list.push_back({{"from", with.model.cross->first + 1},
                        {"to", with.model.cross->second + 1},
                        {"percent", with.crossPercent()},
                        {"matches_sweep", with.matchesSweep()}});
    return list;
}

nlohmann::ordered_json findingJson(const Finding &f) {
    nlohmann::ordered_json item;
    switch (f.element) {
    case Finding::Resonator:
        item = {{"element", "resonator"}, {"index", f.index}};
        break;
    case Finding::Coupling:
        item = {{"element", "coupling"}, {"from", f.lowerEnd()}, {"to", f.index}};
        break;
    case Finding::External:
        item = {{"element", "external"}, {"port", f.index}};
        break;
    }
    item["direction"] = directionName(f.direction);
    if (f.element == Finding::Resonator)
        item["offset_mhz"] = f.offsetMHz;
    else if (!f.forDelay)
        item["error_percent"] = f.percent;
    if (f.forDelay)
        item["delay_deviation_percent"] = f.delayPercent;
    return item;
}

nlohmann::ordered_json rankedFindingsJson(const std::vector<Finding> &findings,
                                          const std::vector<double> &gainDb) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < findings.size(); ++i) {
        nlohmann::ordered_json item = findingJson(findings[i]);
        item["return_loss_gain_db"] = gainDb[i];
        item["text"] = findingText(findings[i]);
        list.push_back(item);
    }
    return list;
}

nlohmann::ordered_json portDelaysJson(const double (&delayNs)[2], bool twoPort) {
    nlohmann::ordered_json delays = nlohmann::ordered_json::array({delayNs[0], delayNs[1]});
    if (!twoPort)
        delays[1] = nullptr;
    return delays;
}

nlohmann::ordered_json textsJson(const std::vector<std::string> &texts) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const std::string &text : texts)
        list.push_back(text);
    return list;
}

nlohmann::ordered_json doubtsJson(const std::vector<Doubt> &doubts) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Doubt &d : doubts)
        list.push_back(doubtText(d));
    return list;
}

nlohmann::ordered_json levelJson(double db) {
    return db >= reportFloorDb ? nlohmann::ordered_json(db) : nlohmann::ordered_json(nullptr);
}

std::string jsonText(const nlohmann::ordered_json &document) {
    std::string text;
    dumpJson(document, text, 0);
    return text;
}

std::string jsonLine(const nlohmann::ordered_json &document) {
    std::string text;
    dumpJson(document, text, -1);
    return text;
}

double jsonNumber(const nlohmann::ordered_json &document, const char *key) {
    const auto found = document.find(key);
    return found != document.end() && found->is_number() ? found->get<double>() : NAN;
}

// The keys kept, in the documents' own order.
constexpr std::string_view judgedKeys[] = {"stage",
                                           "tolerance_percent",
                                           "tolerance_freq_percent",
                                           "target_delay_ns",
                                           "measured_delay_ns",
                                           "deviation_percent",
                                           "fitted_delay_ns",
                                           "fitted_deviation_percent",
                                           "lobes",
                                           "qe",
                                           "resonators",
                                           "couplings",
                                           "external",
                                           "qu",
                                           "return_loss_db",
                                           "design_return_loss_db",
                                           "findings"};

std::string judgedElementsJson(const nlohmann::ordered_json &document) {
    nlohmann::ordered_json kept = nlohmann::ordered_json::object();
    for (auto item = document.begin(); item != document.end(); ++item)
        if (std::find(std::begin(judgedKeys), std::end(judgedKeys), item.key()) !=
            std::end(judgedKeys))
            kept[item.key()] = item.value();
    return jsonLine(kept);
}

} // namespace varnel
