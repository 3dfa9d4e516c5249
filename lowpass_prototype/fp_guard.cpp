#include "lowpass_prototype/fp_guard.h"

#include <cmath>

namespace varnel {

double FpGuard::note(double a, double b, double result) {
    if (std::isnan(result) && !std::isnan(a) && !std::isnan(b))
        m_invalid = true;
    else if (std::isinf(result) && std::isfinite(a) && std::isfinite(b))
        m_overflow = true;
    return result;
}

double FpGuard::div(double a, double b) {
    const double result = a / b;
    if (b == 0.0 && std::isfinite(a) && a != 0.0) {
        m_divideByZero = true;
        return result;
    }
    return note(a, b, result);
}

Result<double> FpGuard::result(double value) const {
    if (m_divideByZero)
        return RunTimeError::divisionByZero();
    if (m_invalid || m_overflow)
        return RunTimeError::overflow();
    return value;
}

} // namespace varnel
