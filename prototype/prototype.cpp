#include "prototype.h"

#include "fp_guard.h"
#include "run_time_error.h"

#include <cmath>

namespace varnel {

namespace {

// 16-bit signed arithmetic: Overflow when the exact result leaves the range.
Order checkedOrder(int value) {
    if (value < INT16_MIN || value > INT16_MAX)
        throw RunTimeError::overflow();
    return static_cast<Order>(value);
}

} // namespace

double platformExp(double x) {
    const double result = std::exp(x);
    if (std::isinf(result) && std::isfinite(x))
        throw RunTimeError::overflow();
    return result;
}

double platformSin(double x) { return std::sin(x); }

double platformLog(double x) { return std::log(x); }

double sinh(double x) {
    const double e1 = platformExp(x);
    const double e2 = platformExp(-x);
    FpGuard guard;
    const double result = guard.mul(guard.sub(e1, e2), constants::half);
    guard.check();
    return result;
}

double cosh(double x) {
    const double e1 = platformExp(x);
    const double e2 = platformExp(-x);
    FpGuard guard;
    const double result = guard.mul(guard.add(e2, e1), constants::half);
    guard.check();
    return result;
}

double tanh(double x) {
    const double c = cosh(x);
    const double s = sinh(x);
    FpGuard guard;
    const double result = guard.div(s, c);
    guard.check();
    return result;
}

double coth(double x) {
    const double t = tanh(x);
    FpGuard guard;
    const double result = guard.div(1.0, t);
    guard.check();
    return result;
}

double ak(Order k, Order norder) {
    Order m = checkedOrder(k * 2);
    m = checkedOrder(m - 1);
    FpGuard guard;
    const double v = guard.div(guard.div(guard.mul(m, constants::pi), constants::two), norder);
    guard.check();
    return platformSin(v);
}

double beta(double Lar) {
    FpGuard guard;
    const double y = guard.div(Lar, constants::dbScale);
    guard.check();
    const double c = coth(y);
    if (c < 0)
        return constants::betaForNegativeCoth;
    return platformLog(c);
}

double gamma(double Lar, Order norder) {
    const double b = beta(Lar);
    FpGuard guard;
    const double y = guard.div(guard.div(b, constants::two), norder);
    guard.check();
    return sinh(y);
}

} // namespace varnel
