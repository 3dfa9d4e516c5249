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

// The stage's S11 at f (MHz), with its faults, loss and cable, or (`design`)
// with its design elements at the same loss and no cable.
inline LongComplex stageS11(const Stage &s, const TuningTable &table, long double f,
                            bool design = false) {
    const std::size_t k = static_cast<std::size_t>(s.stage);
    const long double fbw = effectiveBandwidth(s.bandwidth) / s.f0;
    auto faulty = [&](const std::vector<double> &values, std::size_t i, double otherwise) {
        return !design && i < values.size() ? values[i] : otherwise;
    };
    std::vector<long double> a(k);
    a[0] = table.stages[0].g * (design ? 1.0 : s.qeScale); // Qe = a1 / FBW
    for (std::size_t i = 1; i < k; ++i) {
        const long double coupling =
            fbw / std::sqrt(static_cast<long double>(table.stages[i - 1].g) * table.stages[i].g) *
            faulty(s.couplingScale, i - 1, 1.0);
        a[i] = fbw * fbw / (coupling * coupling * a[i - 1]);
    }
    const long double r = s.qu ? 1 / (fbw * *s.qu) : 0;
    auto p = [&](std::size_t i) {
        const long double fr = s.f0 + faulty(s.offsetMHz, i, 0.0);
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
                                               table.loadG * (design ? 1.0 : s.outputQeScale))
                                 : 0.0L;
    LongComplex z = a[k - 1] * p(k - 1) + load;
    for (std::size_t i = k - 1; i-- > 0;)
        z = a[i] * p(i) + 1.0L / z;
    const long double cable = design ? 0 : s.cableNs, phase = design ? 0 : s.phase;
    return (1.0L - z) / (1.0L + z) *
           std::polar(1.0L, phase - 2 * std::numbers::pi_v<long double> * f * cable * 1e-3L);
}

// The centre delay with the faults against the design's at the same loss,
// in percent, from the phase slope over +-1e-5 BW around f0.
inline double centreDelayDeviationPercent(const Stage &s) {
    const TuningTable table = tableOf(s);
    Stage clean = s;
    clean.cableNs = 0;
    clean.phase = 0;
    const long double h = 1e-5L * s.bandwidth;
    auto slope = [&](bool design) {
        return -std::arg(stageS11(clean, table, s.f0 + h, design) /
                         stageS11(clean, table, s.f0 - h, design));
    };
    return static_cast<double>((slope(false) / slope(true) - 1) * 100);
}

inline Network generate(const Stage &s, int points, double halfSpan, double noiseDb = -400,
                        unsigned seed = 1) {
    const TuningTable table = tableOf(s);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, std::pow(10, noiseDb / 20) / std::sqrt(2.0));
    Network n;
    n.ports = 1;
    n.only = SParameter{1, 1};
    for (int j = 0; j < points; ++j) {
        const long double f = s.f0 - halfSpan + 2.0L * halfSpan * j / (points - 1);
        const LongComplex s11 = stageS11(s, table, f);
        n.frequencyMHz.push_back(static_cast<double>(f));
        n.values.push_back(std::complex<double>(static_cast<double>(s11.real()) + noise(random),
                                                static_cast<double>(s11.imag()) + noise(random)));
    }
    return n;
}

} // namespace varnel::testing
