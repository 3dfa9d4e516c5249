#pragma once

#include "tuning/tuning_table.h"

#include <string>

namespace varnel {

// The tuning table as a readable, aligned text table with a title line.
std::string formatTableText(const TuningTable &table);

// The tuning table as CSV: "stage,g,delay_ns,coupling" and one row a stage.
std::string formatTableCsv(const TuningTable &table);

} // namespace varnel
