#include "calculation/calculate.h"

#include "calculation/conversions.h"
#include "lowpass_prototype/fp_guard.h"

namespace varnel {

Result<StageDelay> stageDelay(FpGuard &guard, double s, double bandwidth) {
    VARNEL_TRY(quotient, guard.result(guard.div(bandwidth, s)));
    VARNEL_TRY(rounded, roundToFifteenDigits(quotient));
    FpGuard delayGuard;
    VARNEL_TRY(delay, delayGuard.result(delayGuard.div(delayConstant, rounded)));
    return StageDelay{rounded, delay};
}

Result<Calculation> calculateSteps(std::string_view orderText, std::string_view bandwidthText,
                                   std::string_view rippleText) {
    Calculation c;
    VARNEL_TRY(orderRead, readLeadingNumber(orderText));
    VARNEL_TRY(orderRounded, roundToFifteenDigits(orderRead));
    VARNEL_TRY(n, convertOrder(orderRounded));
    c.n = n;
    VARNEL_TRY(a1, ak(1, c.n));
    c.a1 = a1;
    VARNEL_TRY(rippleRead, readLeadingNumber(rippleText));
    VARNEL_TRY(ripple, roundToFifteenDigits(rippleRead));
    c.ripple = ripple;
    VARNEL_TRY(gammaValue, gamma(c.ripple, c.n));
    c.gamma = gammaValue;
    VARNEL_TRY(bandwidth, readLeadingNumber(bandwidthText));
    c.bandwidth = bandwidth;

    FpGuard quotientGuard; // both divisions are judged together
    c.g1 = quotientGuard.div(quotientGuard.add(c.a1, c.a1), c.gamma);
    VARNEL_TRY(delay, stageDelay(quotientGuard, c.g1, c.bandwidth));
    c.quotient = delay.quotient;
    c.delay = delay.delay;
    VARNEL_TRY(text, formatResult(c.delay));
    c.text = text;
    return c;
}

Result<std::string> calculate(std::string_view orderText, std::string_view bandwidthText,
                              std::string_view rippleText) {
    VARNEL_TRY(c, calculateSteps(orderText, bandwidthText, rippleText));
    return c.text;
}

} // namespace varnel
