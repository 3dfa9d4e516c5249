#pragma once

#include "cli/command_io.h"
#include "tuning/coupling_matrix.h"
#include "tuning/filter_design.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

// What design and diagnose share of a cross-coupled filter: --f0, --zeros,
// --topology and --qu read into a design request, and the coupling matrix
// written as text and as JSON.
namespace varnel {

// --zeros as decimal MHz separated by commas ("985,1015.5"); empty without
// it; nullopt after a usage error naming the item that is not a number.
std::optional<std::vector<double>> zerosOption(CommandIo &io, const ParsedOptions &options);

// The request of --f0, --zeros, --topology and --qu; nullopt after a
// usage error.
std::optional<DesignRequest> designRequest(CommandIo &io, const ParsedOptions &options);

// The stage-by-stage forms (table, curve, check, watch) take the in-line
// filter alone: with zeros or a topology other than inline they refuse,
// saying why (status 2). ExitOk where there is nothing to refuse.
int refuseCrossCoupled(CommandIo &io, const ParsedOptions &options);

// Hidden rows for those forms: the options are known, so that the refusal
// says why rather than that they are unknown.
inline constexpr OptionRow crossCoupledRows[] = {
    {"--zeros", "MHZ[,MHZ...]", {}, InUsage::Hidden},
    {"--topology", "inline|folded|ct|cq|LIST", {}, InUsage::Hidden}};

// The matrix as text: a header of S, 1..N, L and a row each, 4 decimals.
std::string matrixText(const CouplingMatrix &m);

// The matrix as rows of numbers.
nlohmann::ordered_json matrixJson(const CouplingMatrix &m);

struct CouplingEntry {
    std::size_t from, to;
    double value;
};

// Every non-zero coupling between different nodes, in row order.
std::vector<CouplingEntry> couplings(const CouplingMatrix &m);

} // namespace varnel
