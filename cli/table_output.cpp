#include "cli/table_output.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <vector>

namespace varnel {

namespace {

std::string padLeft(std::string_view text, std::size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + std::string(text);
}

constexpr int gDecimals = 5;
constexpr int couplingDecimals = 6;

} // namespace

std::string formatTableText(const TuningTable &t) {
    const std::size_t n = t.stages.size();
    std::string out = "Chebyshev tuning table: order " + std::to_string(n) + ", bandwidth " +
                      formatShortest(t.first.bandwidth) + " MHz, ripple " +
                      formatShortest(t.first.ripple) + " dB";
    if (t.f0)
        out += ", f0 " + formatShortest(*t.f0) + " MHz";
    out += "\nreturn loss " + formatFixed(t.returnLoss, 2) + " dB, load g" + std::to_string(n + 1) +
           " = " + formatFixed(t.loadG, gDecimals);
    if (t.externalQ)
        out += ", external Q " + formatFixed(*t.externalQ, 2);
    out += "\n\n";

    const std::string header[] = {"stage", "g", "delay (ns)", "coupling k(k,k+1)"};
    std::size_t widths[] = {header[0].size(), header[1].size(), header[2].size(), header[3].size()};
    std::vector<std::array<std::string, 4>> rows;
    for (std::size_t k = 0; k < n; ++k) {
        const TuningStage &s = t.stages[k];
        rows.push_back({std::to_string(k + 1), formatFixed(s.g, gDecimals), s.delayText,
                        s.coupling ? formatFixed(*s.coupling, couplingDecimals) : ""});
        for (std::size_t c = 0; c < 4; ++c)
            widths[c] = std::max(widths[c], rows.back()[c].size());
    }
    const std::size_t columns = t.f0 ? 4 : 3;
    auto line = [&](const auto &cells) {
        std::string text;
        for (std::size_t c = 0; c < columns; ++c)
            text += (c ? "  " : "") + padLeft(cells[c], widths[c]);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + '\n';
    };
    line(header);
    for (const auto &row : rows)
        line(row);
    return out;
}

std::string formatTableCsv(const TuningTable &t) {
    std::string out = "stage,g,delay_ns,coupling\n";
    for (std::size_t k = 0; k < t.stages.size(); ++k) {
        const TuningStage &s = t.stages[k];
        out += std::to_string(k + 1) + ',' + formatFixed(s.g, gDecimals) + ',' + s.delayText + ',' +
               (s.coupling ? formatFixed(*s.coupling, couplingDecimals) : "") + '\n';
    }
    return out;
}

} // namespace varnel
