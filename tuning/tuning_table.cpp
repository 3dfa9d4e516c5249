#include "tuning/tuning_table.h"

#include "number_text/number_text.h"

#include "calculation/conversions.h"
#include "lowpass_prototype/fp_guard.h"

#include <cmath>

namespace varnel {

namespace {

bool allFinite(const TuningTable &t) {
    auto finite = [](double v) { return std::isfinite(v); };
    if (!finite(t.returnLoss) || !finite(t.loadG) || (t.externalQ && !finite(*t.externalQ)))
        return false;
    for (const TuningStage &s : t.stages)
        if (!finite(s.g) || !finite(s.delay) || (s.coupling && !finite(*s.coupling)))
            return false;
    return true;
}

} // namespace

TableResult tuningTable(std::string_view orderText, std::string_view bandwidthText,
                        std::string_view rippleText, std::optional<double> f0) {
    Result<Calculation> first = calculateSteps(orderText, bandwidthText, rippleText);
    if (!first)
        return first.error();
    TuningTable t;
    t.first = *std::move(first);
    const int n = t.first.n;
    if (n < tableMinimumOrder || n > tableMaximumOrder)
        return TableRefusal{TableRefusal::OrderOutOfRange, static_cast<double>(n)};
    if (!(t.first.ripple > 0))
        return TableRefusal{TableRefusal::RippleNotPositive, t.first.ripple};
    if (!(t.first.bandwidth > 0))
        return TableRefusal{TableRefusal::BandwidthNotPositive, t.first.bandwidth};

    const Result<double> beta = varnel::beta(t.first.ripple);
    if (!beta)
        return beta.error();
    t.beta = *beta;
    const double gamma = t.first.gamma;
    const double bandwidth = t.first.bandwidth;

    std::vector<double> a(n + 1), b(n + 1), g(n + 2);
    for (int k = 1; k <= n; ++k) {
        const Result<double> ak = varnel::ak(static_cast<Order>(k), static_cast<Order>(n));
        if (!ak)
            return ak.error();
        a[k] = *ak;
        const double s = platformSin(k * constants::pi / n);
        b[k] = gamma * gamma + s * s;
    }
    g[1] = t.first.g1;
    for (int k = 2; k <= n; ++k)
        g[k] = 4 * a[k - 1] * a[k] / (b[k - 1] * g[k - 1]);
    if (n % 2 == 1) {
        g[n + 1] = 1.0;
    } else {
        const Result<double> c = coth(t.beta / 4);
        if (!c)
            return c.error();
        g[n + 1] = *c * *c;
    }
    t.loadG = g[n + 1];
    t.returnLoss = -10 * std::log10(1 - std::pow(10.0, -t.first.ripple / 10));
    t.f0 = f0;
    if (f0)
        t.externalQ = g[1] * *f0 / bandwidth;

    for (int k = 1; k <= n; ++k) {
        TuningStage stage;
        stage.g = g[k];
        double sum = 0;
        for (int j = k; j >= 1; j -= 2)
            sum += g[j];
        if (k == 1) {
            stage.delay = t.first.delay;
            stage.delayText = t.first.text;
        } else {
            FpGuard quotientGuard;
            const Result<StageDelay> delay = stageDelay(quotientGuard, sum, bandwidth);
            if (!delay)
                return delay.error();
            stage.delay = delay->delay;
            Result<std::string> text = formatResult(stage.delay);
            if (!text)
                return text.error();
            stage.delayText = *std::move(text);
        }
        if (f0 && k < n)
            stage.coupling = bandwidth / (*f0 * std::sqrt(g[k] * g[k + 1]));
        t.stages.push_back(std::move(stage));
    }
    if (!allFinite(t))
        return RunTimeError::overflow();
    return t;
}

std::string tableRefusalText(const TableRefusal &refusal) {
    switch (refusal.reason) {
    case TableRefusal::OrderOutOfRange:
        return "a tuning table needs an order from " + std::to_string(tableMinimumOrder) + " to " +
               std::to_string(tableMaximumOrder) + "; the order reads as " +
               std::to_string(static_cast<int>(refusal.value));
    case TableRefusal::RippleNotPositive:
        return "a tuning table needs a positive ripple in dB; the ripple reads as " +
               formatShortest(refusal.value);
    case TableRefusal::BandwidthNotPositive:
        return "a tuning table needs a positive bandwidth in MHz; the bandwidth reads as " +
               formatShortest(refusal.value);
    }
    return {};
}

TableWithF0 tuningTableWithF0(std::string_view orderText, std::string_view bandwidthText,
                              std::string_view rippleText, std::optional<double> f0) {
    TableWithF0 made{tuningTable(orderText, bandwidthText, rippleText, std::nullopt), {}};
    if (!f0 || !std::holds_alternative<TuningTable>(made.result))
        return made;
    TableResult withF0 = tuningTable(orderText, bandwidthText, rippleText, f0);
    if (const auto *error = std::get_if<RunTimeError>(&withF0))
        made.f0Error = *error;
    else
        made.result = std::move(withF0);
    return made;
}

} // namespace varnel
