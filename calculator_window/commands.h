#pragma once

#include "window_runtime/services.h"

namespace varnel {

// Click handler of Command1 ("计 算"): reads Text1, Text3 and Text2, runs the
// Calculate command and writes the result text to Text4. A run-time error
// is thrown as RunTimeError before Text4 is touched.
void calculateCommand(Services &services);

// Click handler of Command2 ("退 出"): collapses the window in height, then
// in width, 10 twips a step, processing pending events before every step,
// and ends the program.
//   Height phase: limit = Height / 2 (read once); for counter = 1, 2, ...
//   while counter <= limit: process events; Height = Height - 10; leave the
//   phase once Height is not above 11. Then Height = 30.
//   Width phase: the same with Width, ending the program once Width is not
//   above 11, or when the phase runs out.
// A window held at a minimum size above 11 twips runs both phases to their
// full counts; the handler never tests whether a step changed the size.
void exitCommand(Services &services);

} // namespace varnel
