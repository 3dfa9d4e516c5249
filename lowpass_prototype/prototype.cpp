#include "lowpass_prototype/prototype.h"

#include "lowpass_prototype/fp_guard.h"

#include <cmath>

namespace varnel {

namespace {

// 16-bit signed arithmetic: Overflow when the exact result leaves the range.
Result<Order> checkedOrder(int value) {
    if (value < INT16_MIN || value > INT16_MAX)
        return RunTimeError::overflow();
    return static_cast<Order>(value);
}

} // namespace

Result<double> platformExp(double x) {
    const double result = std::exp(x);
    if (std::isinf(result) && std::isfinite(x))
        return RunTimeError::overflow();
    return result;
}

double platformSin(double x) {
    return std::sin(x);
}

double platformLog(double x) {
    return std::log(x);
}

Result<double> sinh(double x) {
    VARNEL_TRY(e1, platformExp(x));
    VARNEL_TRY(e2, platformExp(-x));
    FpGuard guard;
    return guard.result(guard.mul(guard.sub(e1, e2), constants::half));
}

Result<double> cosh(double x) {
    VARNEL_TRY(e1, platformExp(x));
    VARNEL_TRY(e2, platformExp(-x));
    FpGuard guard;
    return guard.result(guard.mul(guard.add(e2, e1), constants::half));
}

Result<double> tanh(double x) {
    VARNEL_TRY(c, cosh(x));
    VARNEL_TRY(s, sinh(x));
    FpGuard guard;
    return guard.result(guard.div(s, c));
}

Result<double> coth(double x) {
    VARNEL_TRY(t, tanh(x));
    FpGuard guard;
    return guard.result(guard.div(1.0, t));
}

Result<double> ak(Order k, Order norder) {
    VARNEL_TRY(twice, checkedOrder(k * 2));
    VARNEL_TRY(m, checkedOrder(twice - 1));
    FpGuard guard;
    VARNEL_TRY(
        v, guard.result(guard.div(guard.div(guard.mul(m, constants::pi), constants::two), norder)));
    return platformSin(v);
}

Result<double> beta(double Lar) {
    FpGuard guard;
    VARNEL_TRY(y, guard.result(guard.div(Lar, constants::dbScale)));
    VARNEL_TRY(c, coth(y));
    if (c < 0)
        return constants::betaForNegativeCoth;
    return platformLog(c);
}

Result<double> gamma(double Lar, Order norder) {
    VARNEL_TRY(b, beta(Lar));
    FpGuard guard;
    VARNEL_TRY(y, guard.result(guard.div(guard.div(b, constants::two), norder)));
    return sinh(y);
}

} // namespace varnel
