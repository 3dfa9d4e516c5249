#pragma once

#include "lowpass_prototype/fp_guard.h"
#include "lowpass_prototype/prototype.h"

#include <string>
#include <string_view>

// The Calculate command: the group delay, in ns, of the input reflection of a
// Chebyshev band-pass filter at band centre,
//     delay = 636.6 * g1 / bandwidth,  g1 = 2 * a1 / gamma,
// from the three field texts as the user typed them. Steps, in order; the
// first failing step decides the RunTimeError returned:
//   1. n = order text, read, rounded to 15 digits, converted to 16 bits
//      (ties to even; Overflow outside -32768..32767).
//   2. a1 = ak(1, n)                  (n = 0: Division by zero)
//   3. ripple = ripple text, read, rounded to 15 digits.
//   4. gamma = gamma(ripple, n)       (|ripple| <= ~9.6e-16: Division by zero;
//                                      |ripple| > ~12329: Overflow)
//   5. bandwidth = bandwidth text, read (not rounded).
//   6. g1 = (a1 + a1) / gamma, quotient = bandwidth / g1, guarded together
//                                     (gamma = 0: Division by zero;
//                                      quotient too large: Overflow)
//   7. quotient rounded to 15 digits.
//   8. delay = 636.6 / quotient, guarded (quotient 0: Division by zero;
//                                         delay too large: Overflow)
//   9. text = delay formatted with "#.###".
// Worked example with the window's initial texts "   5", "   10", "  0.01":
//   n = 5, a1 = 0.3090173126374534, gamma = 0.8171335707018278,
//   g1 = 0.7563446753804071, quotient 13.221485290380942 -> 13.2214852903809,
//   delay = 48.14890203471687, text "48.149".
namespace varnel {

inline constexpr double delayConstant = 636.6; // ns * MHz, not 2000 / pi

// The window's initial field texts.
namespace initialText {
inline constexpr std::string_view order = "   5";
inline constexpr std::string_view bandwidth = "   10";
inline constexpr std::string_view ripple = "  0.01";
} // namespace initialText

// Every value of one run of the command, for callers that show more than the
// result text.
struct Calculation {
    Order n = 0;
    double a1 = 0;
    double ripple = 0;
    double gamma = 0;
    double bandwidth = 0;
    double g1 = 0;
    double quotient = 0; // after fifteen-digit rounding
    double delay = 0;
    std::string text;
};

// Steps 6 (its second division) to 8 for a sum s of element values:
// quotient = bandwidth / s, judged by `guard` together with any earlier
// operation of the same step, rounded to 15 digits; delay = 636.6 / quotient.
// Stage 1 of the tuning table and the Calculate command both come from here.
// Example: s = 0.7563446753804071, bandwidth 10 -> quotient 13.2214852903809,
// delay 48.14890203471687.
struct StageDelay {
    double quotient = 0; // after fifteen-digit rounding
    double delay = 0;    // ns
};
Result<StageDelay> stageDelay(FpGuard &guard, double s, double bandwidth);

// Runs the command on the three field texts.
Result<Calculation> calculateSteps(std::string_view orderText, std::string_view bandwidthText,
                                   std::string_view rippleText);

// The result text alone.
Result<std::string> calculate(std::string_view orderText, std::string_view bandwidthText,
                              std::string_view rippleText);

} // namespace varnel
