#pragma once

#include "tuning/stage_inputs.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace varnel {

// The report of `check --json` (form_check.cpp), also each line of
// `watch --json`.
nlohmann::ordered_json checkJson(const CheckReport &report, const StageInputs &inputs);

// A waveguide's cut-off: "cutoff_mhz" (null for other kinds), "cutoff"
// ("given", "fitted" or null) and "cutoff_range_mhz" ([low, high], the
// fitted cut-offs that explain the sweep as well, or null), into `j`.
void addCutoffJson(nlohmann::ordered_json &j, ResonatorKind kind, double cutoffMHz,
                   const std::optional<CutoffRange> &fitted);

// The couplings the design lacks that explain the sweep better (from, to,
// percent of the main couplings, matches_sweep), as an array.
nlohmann::ordered_json crossCouplingsJson(const std::vector<FilterFit> &crossFits);

// A finding as both reports give it: the element ("resonator" and its
// index, "coupling" from and to, "external" and its port), "direction",
// then "offset_mhz" for a resonator, "error_percent" for the others, or
// "delay_deviation_percent" for the centre delay alone. Example: resonator
// 3 0.3 MHz high -> {"element": "resonator", "index": 3, "direction":
// "down", "offset_mhz": 0.3}. The caller adds what its report has more,
// then "text".
nlohmann::ordered_json findingJson(const Finding &f);

// Each finding as findingJson gives it, with the return loss its
// correction gains (`gainDb`, in the same order) and its text.
nlohmann::ordered_json rankedFindingsJson(const std::vector<Finding> &findings,
                                          const std::vector<double> &gainDb);

// Both ports' one-way delays [port 1, port 2], port 2 null without S21.
nlohmann::ordered_json portDelaysJson(const double (&delayNs)[2], bool twoPort);

// Texts (doubts, warnings) as an array of strings.
nlohmann::ordered_json textsJson(const std::vector<std::string> &texts);
nlohmann::ordered_json doubtsJson(const std::vector<Doubt> &doubts);

// A level in dB as the reports give it: the number, or null below -200 dB
// (a noiseless sweep, a residual at the solver's own rounding).
nlohmann::ordered_json levelJson(double db);

// JSON text of a document built with the library, two blanks an indent
// level; numbers in their shortest exact form (48.14890203471687, 1000),
// non-finite ones as null. Strings, names and the rest as the library
// writes them. Example: {"a": 0.1, "b": [1]} ->
// "{\n  \"a\": 0.1,\n  \"b\": [\n    1\n  ]\n}".
std::string jsonText(const nlohmann::ordered_json &document);

// The same on one line: {"a": 0.1, "b": [1]} -> "{\"a\": 0.1, \"b\": [1]}".
std::string jsonLine(const nlohmann::ordered_json &document);

// A number of a document read back (a journal's record): the value at
// `key`, or NaN where there is none or it is not a number.
// Example: {"qu": 3000} -> 3000 for "qu", NaN for "q".
double jsonNumber(const nlohmann::ordered_json &document, const char *key);

// What a journal keeps of a check's or diagnosis' document, on one line:
// its elements as judged (resonators, couplings, external, the stage's
// values), tolerances, Qu, return losses and findings; the fit's details
// and texts left out. Example: {"verdict": "fail", "qu": 3000, "advice":
// "..."} -> "{\"qu\": 3000}".
std::string judgedElementsJson(const nlohmann::ordered_json &document);

} // namespace varnel
