#pragma once

#include "lowpass_prototype/run_time_error.h"

#include <cstdint>

// Chebyshev low-pass prototype arithmetic.
//
// Every function computes exactly the expression documented on it in IEEE 754
// double precision, with the program's own constants (3.141596 for pi, 17.37
// for the decibel scale), and returns either a double or the
// varnel::RunTimeError that ended it. Steps marked "guarded" raise Division by zero when
// they divide a non-zero value by zero and Overflow when they overflow or are
// invalid (0 / 0).
//
// The hyperbolic functions are built from two exponentials, not from the
// library's sinh/cosh: for small arguments that loses precision, and the
// results downstream depend on exactly that loss.
//
// Worked examples (each is checked by a test):
//   sinh(1e-10)   = 1.000000082740371e-10   (a library sinh gives 1e-10)
//   sinh(1e-17)   = 0                       (both exponentials round to 1)
//   coth(0)       -> Division by zero
//   ak(1, 5)      = 0.3090173126374534      (true pi would give 0.3090169943749474)
//   ak(1, 0)      -> Division by zero
//   ak(16384, 5)  -> Overflow               (16384 * 2 leaves the 16-bit range)
//   beta(0.01)    = 7.459914876719903
//   beta(-0.01)   = 1                       (coth is negative)
//   beta(1e-16)   -> Division by zero       (coth of ~5.8e-18)
//   beta(400)     = 0                       (tanh(400 / 17.37) rounds to 1)
//   beta(13000)   -> Overflow               (the exponential overflows)
//   gamma(0.01, 5) = 0.8171335707018278
//   gamma(0.01, 0) -> Division by zero; gamma(400, 0) -> Overflow (0 / 0)
namespace varnel {

// Filter order and element index: a 16-bit signed whole number.
using Order = std::int16_t;

namespace constants {
inline constexpr double half = 0.5;
inline constexpr double pi = 3.141596; // the program's pi, not 3.14159265...
inline constexpr double two = 2.0;
inline constexpr double dbScale = 17.37;
inline constexpr double betaForNegativeCoth = 1.0;
} // namespace constants

// The platform's exponential, sine and natural logarithm. exp raises
// Overflow when its result is beyond the double range (x above ~709.78);
// a very negative x gives a tiny or zero result without error.
Result<double> platformExp(double x);
double platformSin(double x);
double platformLog(double x);

// (Exp(x) - Exp(-x)) * 0.5, guarded.
Result<double> sinh(double x);
// (Exp(-x) + Exp(x)) * 0.5, guarded.
Result<double> cosh(double x);
// sinh(x) / cosh(x), guarded; cosh is evaluated first.
Result<double> tanh(double x);
// 1 / tanh(x), guarded: Division by zero for |x| up to ~5.55e-17.
Result<double> coth(double x);
// Sin(((2k - 1) * 3.141596 / 2) / norder). 2k and 2k - 1 are 16-bit
// arithmetic (Overflow outside -32768..32767); the quotient is guarded.
Result<double> ak(Order k, Order norder);
// Log(coth(Lar / 17.37)), or exactly 1 when that coth is negative.
Result<double> beta(double Lar);
// sinh((beta(Lar) / 2) / norder); the quotient is guarded.
Result<double> gamma(double Lar, Order norder);

} // namespace varnel
