#include "cli/json_output.h"

#include "number_text/number_text.h"

#include <cmath>

namespace varnel {

namespace {

void dumpJson(const nlohmann::ordered_json &j, std::string &out, int depth) {
    const std::string indent(static_cast<std::size_t>(2 * depth + 2), ' ');
    const std::string closing(static_cast<std::size_t>(2 * depth), ' ');
    if (j.is_number_float()) {
        const double value = j.get<double>();
        out += std::isfinite(value) ? formatShortest(value) : "null";
    } else if (j.is_object() && !j.empty()) {
        out += "{\n";
        bool first = true;
        for (const auto &[name, value] : j.items()) {
            out += (first ? "" : ",\n") + indent + nlohmann::ordered_json(name).dump() + ": ";
            dumpJson(value, out, depth + 1);
            first = false;
        }
        out += "\n" + closing + "}";
    } else if (j.is_array() && !j.empty()) {
        out += "[\n";
        bool first = true;
        for (const auto &value : j) {
            out += (first ? "" : ",\n") + indent;
            dumpJson(value, out, depth + 1);
            first = false;
        }
        out += "\n" + closing + "]";
    } else {
        out += j.dump();
    }
}

} // namespace

std::string jsonText(const nlohmann::ordered_json &document) {
    std::string text;
    dumpJson(document, text, 0);
    return text;
}

} // namespace varnel
