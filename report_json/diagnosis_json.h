#pragma once

#include "tuning/diagnosis.h"
#include "tuning/stage_inputs.h"

#include <nlohmann/json.hpp>

// The whole filter's diagnosis as `diagnose --json` prints it, and as a
// journal's record keeps its elements (judgedElementsJson of it), whichever
// face made it.
// Example: an in-tune order-5 filter -> {"order": 5, "f0_mhz": 1000, ...,
// "verdict": "pass", "pass": true, "resonators": [...], ...}.
namespace varnel {

// Where the report's slopes come from: "given", "fitted" (the sweep shows
// them), or "held" at what was given or 0 (the sweep shows none).
const char *slopesSource(const Diagnosis &d);

nlohmann::ordered_json diagnosisJson(const Diagnosis &d, const StageInputs &inputs);

} // namespace varnel
