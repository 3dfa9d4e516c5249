#include "cli/design_options.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "tuning/check.h"

#include <cmath>

namespace varnel {

std::optional<std::vector<double>> zerosOption(CommandIo &io, const ParsedOptions &options) {
    const auto text = options.value("--zeros");
    if (!text)
        return std::vector<double>();
    ZerosRead read = readZeros(*text);
    if (read.bad) {
        usageError(io, "--zeros takes frequencies in MHz separated by commas, got " +
                           quotedToken(*read.bad));
        return std::nullopt;
    }
    return std::move(read.zerosMHz);
}

std::optional<DesignRequest> designRequest(CommandIo &io, const ParsedOptions &options) {
    DesignRequest request;
    const auto f0 = numberOption(io, options, "--f0");
    if (!f0)
        return std::nullopt;
    request.f0 = *f0;
    const auto zeros = zerosOption(io, options);
    if (!zeros)
        return std::nullopt;
    request.zerosMHz = *zeros;
    if (const auto name = options.value("--topology")) {
        request.topology = topologyNamed(*name);
        if (!request.topology) {
            usageError(io, "--topology takes inline, folded, ct, cq or a list of couplings "
                           "such as 1-2,2-3,1-3, got " +
                               quotedToken(*name));
            return std::nullopt;
        }
    }
    if (options.has("--qu")) {
        request.qu = numberOption(io, options, "--qu");
        if (!request.qu)
            return std::nullopt;
    }
    return request;
}

int refuseCrossCoupled(CommandIo &io, const ParsedOptions &options) {
    const auto zeros = options.value("--zeros");
    const auto topology = options.value("--topology");
    if ((!zeros || zeros->empty()) && (!topology || *topology == "inline"))
        return ExitOk;
    CheckRefusal refusal{};
    refusal.kind = CheckRefusal::CrossCoupled;
    return failure(io,
                   checkRefusalText(refusal) + " (varnel-calc diagnose --zeros ... --topology ...)",
                   ExitUsage);
}

std::string matrixText(const CouplingMatrix &m) {
    const std::size_t n = m.size();
    auto name = [&](std::size_t i) {
        return i == 0 ? std::string("S") : i == n - 1 ? std::string("L") : std::to_string(i);
    };
    std::string text = "    ";
    for (std::size_t c = 0; c < n; ++c)
        text += std::string(9 - name(c).size(), ' ') + name(c);
    text += '\n';
    for (std::size_t r = 0; r < n; ++r) {
        text += name(r) + std::string(4 - name(r).size(), ' ');
        for (std::size_t c = 0; c < n; ++c) {
            const std::string v = formatFixed(m.at(r, c), 4);
            text += std::string(v.size() < 9 ? 9 - v.size() : 1, ' ') + v;
        }
        text += '\n';
    }
    return text;
}

nlohmann::ordered_json matrixJson(const CouplingMatrix &m) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (std::size_t r = 0; r < m.size(); ++r) {
        nlohmann::ordered_json row = nlohmann::ordered_json::array();
        for (std::size_t c = 0; c < m.size(); ++c)
            row.push_back(m.at(r, c));
        rows.push_back(row);
    }
    return rows;
}

std::vector<CouplingEntry> couplings(const CouplingMatrix &m) {
    std::vector<CouplingEntry> list;
    for (std::size_t r = 0; r < m.size(); ++r)
        for (std::size_t c = r + 1; c < m.size(); ++c)
            if (m.at(r, c) != 0)
                list.push_back({r, c, m.at(r, c)});
    return list;
}

} // namespace varnel
