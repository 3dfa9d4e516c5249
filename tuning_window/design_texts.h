#pragma once

#include "tuning/filter_design.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/stage_inputs.h"

#include <QString>

// What the tuning window says of a cross-coupled design, in its language:
// the problems of the zeros and the topology, and a design's refusal.
// Example: zeros "1002" in a 10 MHz band at 1000 MHz -> "The zero at 1002
// MHz is inside the band: a transmission zero lies beside it, outside.".
namespace varnel {

// A problem of the zeros or the topology (NotAZero, NotATopology,
// DesignRefused); empty for any other.
QString designProblemFor(const InputProblem &problem);
QString designRefusalFor(const DesignRefusal &refusal);
// "folded", "cascaded triplets", ... or the list, as a topology is named.
QString topologyFor(const TopologyChoice &choice);

} // namespace varnel
