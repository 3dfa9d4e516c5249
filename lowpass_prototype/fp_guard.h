#pragma once

#include "lowpass_prototype/run_time_error.h"

namespace varnel {

// Floating-point guard for one step of a calculation.
//
// The IEEE 754 exception flags a step would raise are derived from each
// operation's operands and result rather than read from the FPU: the
// optimiser may fold or reorder operations, but it cannot change what an
// operation returns, so the derived flags are the same in every build.
// Flags are sticky across the operations of one step; result() then gives
//   - Division by zero when any division had a zero divisor and a finite,
//     non-zero dividend (1 / 0),
//   - otherwise Overflow when any operation overflowed (1e308 * 10) or was
//     invalid (0 / 0, inf / inf, inf - inf, 0 * inf),
//   - otherwise the step's value.
// Underflow and inexact results are not errors.
class FpGuard {
  public:
    double add(double a, double b) { return note(a, b, a + b); }
    double sub(double a, double b) { return note(a, b, a - b); }
    double mul(double a, double b) { return note(a, b, a * b); }
    double div(double a, double b);

    // The step's value, or the error its flags call for.
    Result<double> result(double value) const;

  private:
    double note(double a, double b, double result);

    bool m_divideByZero = false;
    bool m_invalid = false;
    bool m_overflow = false;
};

} // namespace varnel
