#pragma once

#include "cli/command_io.h"
#include "touchstone/touchstone.h"
#include "tuning/stage_inputs.h"

#include <string_view>

// diagnose of a filter of any topology: with --zeros or --topology, the
// coupling matrix of the design fitted to the sweep (matrix_diagnosis.h),
// reported as the in-line diagnosis is, the matrix added.
namespace varnel {

bool wantsMatrixDiagnosis(const ParsedOptions &options);

// The report, JSON or CSV, and the status: 0 pass, 3 fail, 4 too far; 2
// for options of the in-line model alone or a design that is refused.
int runMatrixDiagnose(const ParsedOptions &options, CommandIo &io, const StageInputs &inputs,
                      const Network &network, std::string_view path);

} // namespace varnel
