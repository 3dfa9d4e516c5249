#pragma once

#include "cli/command_io.h"

// The forms of varnel-calc that work with an analyser's sweeps:
//   delay FILE     the group-delay trace of a Touchstone file
//   curve          a stage's target curve, as CSV or a reference .s1p
//   check FILE     a measured stage sweep held against its target
namespace varnel {

extern const Form delayForm;
extern const Form curveForm;
extern const Form checkForm;

} // namespace varnel
