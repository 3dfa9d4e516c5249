#include "stage_model.h"

#include <cmath>
#include <numbers>

namespace varnel {

namespace {

// (2000 / pi) / 636.6: the bandwidth the calculator's constant implies, over
// the bandwidth given.
const double bandwidthScale = 2000 / std::numbers::pi / delayConstant;

} // namespace

StageModel stageModel(const TuningTable &table, int stage, double f0, std::optional<double> qu) {
    StageModel model;
    for (int k = 0; k < stage; ++k)
        model.g.push_back(table.stages[static_cast<std::size_t>(k)].g);
    model.f0 = f0;
    model.bandwidth = table.first.bandwidth;
    model.qu = qu;
    return model;
}

StagePoint stageResponse(const StageModel &model, double f) {
    using Complex = std::complex<double>;
    constexpr double twoPi = 2 * std::numbers::pi;
    const double fbw = effectiveBandwidth(model.bandwidth) / model.f0;
    const double r = model.qu ? 1 / (fbw * *model.qu) : 0.0;
    const double w = twoPi * f; // rad/us, so derivatives are in us
    // p of a resonator at fr, and dp/domega = j (1/wr + wr/w^2) / FBW.
    auto p = [&](double fr) { return Complex(r, (f / fr - fr / f) / fbw); };
    auto dp = [&](double fr) {
        const double wr = twoPi * fr;
        return Complex(0, (1 / wr + wr / (w * w)) / fbw);
    };
    const std::size_t k = model.g.size();
    const double fk = model.lastResonator.value_or(model.f0);
    // Continuants and their derivatives with respect to omega.
    Complex P = model.g[k - 1] * p(fk), Q = 1.0;
    Complex dP = model.g[k - 1] * dp(fk), dQ = 0.0;
    const Complex p0 = p(model.f0), dp0 = dp(model.f0);
    for (std::size_t i = k - 1; i-- > 0;) {
        const Complex nextP = model.g[i] * p0 * P + Q;
        const Complex nextDP = model.g[i] * (dp0 * P + p0 * dP) + dQ;
        Q = P;
        dQ = dP;
        P = nextP;
        dP = nextDP;
    }
    // tau = -d arg(S11)/domega = -Im d ln S11/domega.
    const double tau = 2 * ((Q * dP - P * dQ) / (Q * Q - P * P)).imag();
    return {(Q - P) / (Q + P), tau * 1000};
}

double effectiveBandwidth(double bandwidth) {
    return bandwidth * bandwidthScale;
}

double decibels(std::complex<double> s) {
    return 20 * std::log10(std::abs(s));
}

} // namespace varnel
