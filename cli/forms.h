#pragma once

#include "cli/command_io.h"

// The forms of varnel-calc, one file each:
//   (none)         one delay from ORDER BANDWIDTH RIPPLE, or --batch
//   table          the tuning table
//   delay FILE     the group-delay trace of a Touchstone file
//   curve          a stage's target curve, as CSV or a reference .s1p
//   check FILE     a measured stage sweep held against its target
//   diagnose FILE  the assembled filter's every resonator and coupling
//   save SOURCE OUT  one sweep of a file or an analyser, as a .s1p
//   watch SOURCE   a verdict for every new sweep
//   timedomain SOURCE  the band-pass time-domain response of a reflection
//   design         a generalized Chebyshev filter's coupling matrix
//   learn BEFORE AFTER  what a turn of one screw does, kept in a journal
//   journal DB     a journal's units and a unit's records
//   report DB      a unit's bench sheet as HTML
namespace varnel {

// The fields every calculating form takes last.
inline constexpr std::string_view fieldsArguments = "[ORDER [BANDWIDTH [RIPPLE]]]";

extern const Form fieldsForm;
extern const Form tableForm;
extern const Form delayForm;
extern const Form curveForm;
extern const Form checkForm;
extern const Form diagnoseForm;
extern const Form saveForm;
extern const Form watchForm;
extern const Form timeDomainForm;
extern const Form designForm;
extern const Form learnForm;
extern const Form journalForm;
extern const Form reportForm;

} // namespace varnel
