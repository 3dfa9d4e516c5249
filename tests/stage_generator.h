#pragma once

#include "touchstone/touchstone.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace varnel::testing {

using LongComplex = std::complex<long double>;

// A stage with known faults, written by a generator of its own: the
// ladder's input impedance as a continued fraction in long double, the
// couplings given as such (Qe, k(i,i+1)) rather than as the fit's element
// scales, and the cable outside it.
struct Stage {
    int order = 5, stage = 2;
    double bandwidth = 10, ripple = 0.01, f0 = 1000;
    std::vector<double> offsetMHz;     // each resonator's, default 0
    double qeScale = 1;                // Qe / its design value
    std::vector<double> couplingScale; // k(i,i+1) / design, default 1
    std::optional<double> qu = 3000.0;
    double cableNs = 0, phase = 0;
    ResonatorKind resonator = ResonatorKind::Lumped;
    // The last stage into its load, the output's Qe / its design value
    // g_n g_(n+1) / FBW.
    bool loaded = false;
    double outputQeScale = 1;
};

inline TuningTable tableOf(const Stage &s) {
    return std::get<TuningTable>(tuningTable(std::to_string(s.order), std::to_string(s.bandwidth),
                                             std::to_string(s.ripple), std::nullopt));
}

inline Network generate(const Stage &s, int points, double halfSpan, double noiseDb = -400,
                        unsigned seed = 1) {
    const TuningTable table = tableOf(s);
    const std::size_t k = static_cast<std::size_t>(s.stage);
    const long double fbw = effectiveBandwidth(s.bandwidth) / s.f0;
    std::vector<long double> a(k);
    a[0] = table.stages[0].g * s.qeScale; // Qe = a1 / FBW
    for (std::size_t i = 1; i < k; ++i) {
        const long double design =
            fbw / std::sqrt(static_cast<long double>(table.stages[i - 1].g) * table.stages[i].g);
        const long double coupling =
            design * (i - 1 < s.couplingScale.size() ? s.couplingScale[i - 1] : 1.0);
        a[i] = fbw * fbw / (coupling * coupling * a[i - 1]);
    }
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, std::pow(10, noiseDb / 20) / std::sqrt(2.0));
    Network n;
    n.ports = 1;
    n.only = SParameter{1, 1};
    for (int j = 0; j < points; ++j) {
        const long double f = s.f0 - halfSpan + 2.0L * halfSpan * j / (points - 1);
        const long double r = s.qu ? 1 / (fbw * *s.qu) : 0;
        auto p = [&](std::size_t i) {
            const long double fr = s.f0 + (i < s.offsetMHz.size() ? s.offsetMHz[i] : 0.0);
            const long double omega =
                s.resonator == ResonatorKind::Coaxial
                    ? 4 / std::numbers::pi_v<long double> *
                          std::tan(std::numbers::pi_v<long double> * (f - fr) / (2 * fr))
                    : f / fr - fr / f;
            return LongComplex(r, omega / fbw);
        };
        // The load seen through the output coupling: Qe_out = a_n / (FBW L).
        const long double load = s.loaded
                                     ? a[k - 1] / (static_cast<long double>(table.stages[k - 1].g) *
                                                   table.loadG * s.outputQeScale)
                                     : 0.0L;
        LongComplex z = a[k - 1] * p(k - 1) + load;
        for (std::size_t i = k - 1; i-- > 0;)
            z = a[i] * p(i) + 1.0L / z;
        const LongComplex s11 =
            (1.0L - z) / (1.0L + z) *
            std::polar(1.0L, s.phase - 2 * std::numbers::pi_v<long double> * f * s.cableNs * 1e-3L);
        n.frequencyMHz.push_back(static_cast<double>(f));
        n.values.push_back(std::complex<double>(static_cast<double>(s11.real()) + noise(random),
                                                static_cast<double>(s11.imag()) + noise(random)));
    }
    return n;
}

} // namespace varnel::testing
