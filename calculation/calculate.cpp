#include "calculate.h"

#include "conversions.h"
#include "fp_guard.h"

namespace varnel {

Calculation calculateSteps(std::string_view orderText, std::string_view bandwidthText,
                           std::string_view rippleText) {
    Calculation c;
    c.n = convertOrder(roundToFifteenDigits(readLeadingNumber(orderText)));
    c.a1 = ak(1, c.n);
    c.ripple = roundToFifteenDigits(readLeadingNumber(rippleText));
    c.gamma = gamma(c.ripple, c.n);
    c.bandwidth = readLeadingNumber(bandwidthText);

    FpGuard quotientGuard; // both divisions are judged together
    c.g1 = quotientGuard.div(quotientGuard.add(c.a1, c.a1), c.gamma);
    const double quotient = quotientGuard.div(c.bandwidth, c.g1);
    quotientGuard.check();
    c.quotient = roundToFifteenDigits(quotient);

    FpGuard delayGuard;
    c.delay = delayGuard.div(delayConstant, c.quotient);
    delayGuard.check();
    c.text = formatResult(c.delay);
    return c;
}

std::string calculate(std::string_view orderText, std::string_view bandwidthText,
                      std::string_view rippleText) {
    return calculateSteps(orderText, bandwidthText, rippleText).text;
}

} // namespace varnel
