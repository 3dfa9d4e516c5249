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
#include <tuple>
#include <vector>

// Real filters as a bench has them, written apart from the fits: the
// (N+2) x (N+2) coupling matrix over S, 1..N, L solved in long double by
// Gaussian elimination,
//     A(f) = diag(0, X_1(f), ..., X_N(f), 0) - j R + M(f),
//     S11 = 1 + 2j [A^-1]_SS,  S21 = -2j [A^-1]_LS,  S22 = 1 + 2j [A^-1]_LL,
// R = diag(1, 0, ..., 0, 1), each resonator's reactance X_i from its own
// mapping (lumped, quarter-wave coaxial, or a waveguide of cut-off fc with
// the lumped slope at its resonance), loss -j / (FBW Qu) on every
// resonator, couplings that vary with frequency (k(f) = k0 (f/f0)^p, and
// 1/Qe likewise with its own slope), cross-couplings between any two
// resonators, each port's line, and the one-port error terms a calibration
// leaves (directivity, source match, tracking) at each port.
namespace varnel::testing {

enum class Mapping { Lumped, Coaxial, Waveguide };

struct ErrorTerms {
    std::complex<double> directivity = 0, sourceMatch = 0, tracking = 1;
};

struct RealFilter {
    int order = 5;
    double bandwidth = 10, ripple = 0.01, f0 = 1000;
    // Resonators 1..stage present; below the order the output is open
    // (the stage method's), at the order the filter runs into its load.
    int stage = 0; // 0: the whole filter
    std::vector<double> offsetMHz;
    std::vector<double> couplingScale; // k(i,i+1) / design
    double qe1Scale = 1, qe2Scale = 1; // Qe / design
    // (i, j, k_ij / the mean main coupling), 1-based resonators.
    std::vector<std::tuple<int, int, double>> cross;
    double couplingSlope = 0, qeSlope = 0;
    Mapping mapping = Mapping::Lumped;
    double cutoffMHz = 0; // waveguide
    std::optional<double> qu = 3000.0;
    double delayNs[2] = {0, 0}, phase[2] = {0, 0};
    ErrorTerms port[2];
    int presentResonators() const { return stage == 0 ? order : stage; }
    bool loaded() const { return stage == 0 || stage == order; }
};

using LongComplex = std::complex<long double>;

inline TuningTable tableOf(const RealFilter &s) {
    return std::get<TuningTable>(tuningTable(std::to_string(s.order), std::to_string(s.bandwidth),
                                             std::to_string(s.ripple), std::nullopt));
}

// Resonator reactance normalised to the band: the same slope 2 / (FBW fr)
// at its resonance fr whatever the kind.
inline long double reactance(const RealFilter &s, long double f, long double fr, long double fbw) {
    constexpr long double pi = std::numbers::pi_v<long double>;
    switch (s.mapping) {
    case Mapping::Coaxial:
        return 4 / pi * std::tan(pi * (f - fr) / (2 * fr)) / fbw;
    case Mapping::Waveguide: {
        const long double fc2 = static_cast<long double>(s.cutoffMHz) * s.cutoffMHz;
        const long double beta = std::sqrt(f * f - fc2), betaR = std::sqrt(fr * fr - fc2);
        return betaR * betaR / (fr * fr) * (beta / betaR - betaR / beta) / fbw;
    }
    case Mapping::Lumped:
        break;
    }
    return (f / fr - fr / f) / fbw;
}

struct RealPoint {
    LongComplex s11, s21, s22;
};

// A x = b for a dense complex matrix (partial pivoting).
inline std::vector<LongComplex> solveDense(std::vector<std::vector<LongComplex>> a,
                                           std::vector<LongComplex> b) {
    const std::size_t n = b.size();
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (std::size_t r = c + 1; r < n; ++r) {
            const LongComplex factor = a[r][c] / a[c][c];
            for (std::size_t k = c; k < n; ++k)
                a[r][k] -= factor * a[c][k];
            b[r] -= factor * b[c];
        }
    }
    std::vector<LongComplex> x(n);
    for (std::size_t r = n; r-- > 0;) {
        LongComplex sum = b[r];
        for (std::size_t k = r + 1; k < n; ++k)
            sum -= a[r][k] * x[k];
        x[r] = sum / a[r][r];
    }
    return x;
}

inline RealPoint realFilterAt(const RealFilter &s, const TuningTable &table, long double f) {
    const std::size_t n = static_cast<std::size_t>(s.presentResonators());
    const std::size_t size = n + 2, L = n + 1;
    const long double fbw = effectiveBandwidth(s.bandwidth) / s.f0;
    const long double ratio = f / s.f0;
    std::vector<std::vector<LongComplex>> a(size, std::vector<LongComplex>(size, 0.0L));
    const long double r = s.qu ? 1 / (fbw * *s.qu) : 0;
    auto g = [&](std::size_t i) { return static_cast<long double>(table.stages[i - 1].g); };
    std::vector<long double> main(n + 1, 0); // M(i, i+1) before dispersion
    long double meanMain = 0;
    for (std::size_t i = 1; i < n; ++i) {
        main[i] = 1 / std::sqrt(g(i) * g(i + 1)) *
                  (i - 1 < s.couplingScale.size() ? s.couplingScale[i - 1] : 1.0);
        meanMain += main[i] / static_cast<long double>(n - 1);
    }
    const long double c = std::pow(ratio, static_cast<long double>(s.couplingSlope));
    const long double ce = std::pow(ratio, static_cast<long double>(s.qeSlope) / 2);
    const LongComplex j(0, 1);
    a[0][0] = -j;
    a[L][L] = -j;
    a[0][1] = a[1][0] = ce / std::sqrt(g(1) * s.qe1Scale);
    if (s.loaded())
        a[n][L] = a[L][n] =
            ce / std::sqrt(g(n) * static_cast<long double>(table.loadG) * s.qe2Scale);
    for (std::size_t i = 1; i <= n; ++i) {
        const long double fr = s.f0 + (i - 1 < s.offsetMHz.size() ? s.offsetMHz[i - 1] : 0.0);
        a[i][i] = reactance(s, f, fr, fbw) - j * r;
        if (i < n)
            a[i][i + 1] = a[i + 1][i] = main[i] * c;
    }
    for (const auto &[from, to, value] : s.cross)
        if (static_cast<std::size_t>(std::max(from, to)) <= n)
            a[from][to] = a[to][from] = value * meanMain * c;
    std::vector<LongComplex> e(size, 0.0L);
    e[0] = 1;
    const std::vector<LongComplex> columnS = solveDense(a, e);
    e[0] = 0;
    e[L] = 1;
    const std::vector<LongComplex> columnL = solveDense(a, e);
    RealPoint p{1.0L + 2.0L * j * columnS[0], -2.0L * j * columnS[L], 1.0L + 2.0L * j * columnL[L]};
    const long double w = 2 * std::numbers::pi_v<long double> * f * 1e-3L;
    p.s11 *= std::polar(1.0L, 2 * s.phase[0] - 2 * w * s.delayNs[0]);
    p.s21 *= std::polar(1.0L, s.phase[0] + s.phase[1] - w * (s.delayNs[0] + s.delayNs[1]));
    p.s22 *= std::polar(1.0L, 2 * s.phase[1] - 2 * w * s.delayNs[1]);
    // The calibration's residual terms: each port's directivity, source
    // match and tracking around the two-port between mismatched ports.
    auto lc = [](std::complex<double> v) { return LongComplex(v.real(), v.imag()); };
    const LongComplex e00 = lc(s.port[0].directivity), e11 = lc(s.port[0].sourceMatch),
                      t1 = lc(s.port[0].tracking), e33 = lc(s.port[1].directivity),
                      e22 = lc(s.port[1].sourceMatch), t2 = lc(s.port[1].tracking);
    const LongComplex in1 = p.s11 + p.s21 * p.s21 * e22 / (1.0L - e22 * p.s22);
    const LongComplex in2 = p.s22 + p.s21 * p.s21 * e11 / (1.0L - e11 * p.s11);
    const LongComplex through =
        (1.0L - e11 * p.s11) * (1.0L - e22 * p.s22) - e11 * e22 * p.s21 * p.s21;
    RealPoint m;
    m.s11 = e00 + t1 * in1 / (1.0L - e11 * in1);
    m.s22 = e33 + t2 * in2 / (1.0L - e22 * in2);
    m.s21 = std::sqrt(t1 * t2) * p.s21 / through;
    return m;
}

// The sweep: S11 alone for a stage, or a 2-port network (S12 = S21).
inline Network generateReal(const RealFilter &s, int points, double halfSpan, double noiseDb,
                            unsigned seed, bool onePort) {
    const TuningTable table = tableOf(s);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, std::pow(10, noiseDb / 20) / std::sqrt(2.0));
    auto noisy = [&](LongComplex v) {
        return std::complex<double>(static_cast<double>(v.real()) + noise(random),
                                    static_cast<double>(v.imag()) + noise(random));
    };
    Network net;
    net.ports = onePort ? 1 : 2;
    if (onePort)
        net.only = SParameter{1, 1};
    for (int i = 0; i < points; ++i) {
        const long double f = s.f0 - halfSpan + 2.0L * halfSpan * i / (points - 1);
        const RealPoint t = realFilterAt(s, table, f);
        net.frequencyMHz.push_back(static_cast<double>(f));
        if (onePort) {
            net.values.push_back(noisy(t.s11));
        } else {
            const std::complex<double> s21 = noisy(t.s21);
            net.values.insert(net.values.end(), {noisy(t.s11), s21, s21, noisy(t.s22)});
        }
    }
    return net;
}

} // namespace varnel::testing
