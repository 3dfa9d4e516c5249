#pragma once

#include "number_text/number_text.h"
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

// A whole filter with known faults, written by a generator of its own: the
// chain matrices (ABCD) of shunt resonators and unit admittance inverters
// multiplied in long double, closed by port 1's 1 ohm-normalised source and
// port 2's load, the couplings given as such (Qe at each port, k(i,i+1)),
// and each port's line outside.
struct Filter {
    int order = 5;
    double bandwidth = 10, ripple = 0.01, f0 = 1000;
    std::vector<double> offsetMHz;     // each resonator's, default 0
    double qe1Scale = 1, qe2Scale = 1; // Qe / design at each port
    std::vector<double> couplingScale; // k(i,i+1) / design, default 1
    std::optional<double> qu = 3000.0;
    double delayNs[2] = {0, 0}, phase[2] = {0, 0};
};

using LongComplex = std::complex<long double>;

inline TuningTable tableOf(const Filter &s) {
    return std::get<TuningTable>(tuningTable(std::to_string(s.order), std::to_string(s.bandwidth),
                                             std::to_string(s.ripple), std::nullopt));
}

struct TwoPort {
    LongComplex s11, s21, s22;
};

// The filter's S-parameters at f (MHz), with its lines.
inline TwoPort filterAt(const Filter &s, const TuningTable &table, long double f) {
    const std::size_t n = static_cast<std::size_t>(s.order);
    const long double fbw = effectiveBandwidth(s.bandwidth) / s.f0;
    // Resonator slopes from the couplings: Qe1 = b_1 / FBW, k = FBW /
    // sqrt(b_i b_(i+1)), Qe2 = b_n / (FBW G).
    std::vector<long double> b(n);
    b[0] = table.stages[0].g * s.qe1Scale;
    for (std::size_t i = 1; i < n; ++i) {
        const long double k =
            fbw / std::sqrt(static_cast<long double>(table.stages[i - 1].g) * table.stages[i].g) *
            (i - 1 < s.couplingScale.size() ? s.couplingScale[i - 1] : 1.0);
        b[i] = fbw * fbw / (k * k * b[i - 1]);
    }
    const long double qe2 = table.stages[n - 1].g * table.loadG / fbw * s.qe2Scale;
    const long double load = b[n - 1] / (fbw * qe2); // port 2's conductance
    const long double r = s.qu ? 1 / (fbw * *s.qu) : 0;
    using Matrix = LongComplex[2][2];
    Matrix chain = {{1, 0}, {0, 1}};
    auto times = [&](const Matrix &m) {
        Matrix out;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 2; ++col)
                out[row][col] = chain[row][0] * m[0][col] + chain[row][1] * m[1][col];
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 2; ++col)
                chain[row][col] = out[row][col];
    };
    const LongComplex j(0, 1);
    for (std::size_t i = 0; i < n; ++i) {
        const long double fr = s.f0 + (i < s.offsetMHz.size() ? s.offsetMHz[i] : 0.0);
        const LongComplex y = b[i] * LongComplex(r, (f / fr - fr / f) / fbw);
        const Matrix shunt = {{1, 0}, {y, 1}};
        times(shunt);
        if (i + 1 < n) {
            const Matrix inverter = {{0, j}, {j, 0}};
            times(inverter);
        }
    }
    // Terminations 1 and 1 / load (ohms, normalised).
    const long double r1 = 1, r2 = 1 / load;
    const LongComplex a = chain[0][0], bb = chain[0][1], c = chain[1][0], d = chain[1][1];
    const LongComplex denominator = a * r2 + bb + c * r1 * r2 + d * r1;
    TwoPort out{(a * r2 + bb - c * r1 * r2 - d * r1) / denominator,
                2 * std::sqrt(r1 * r2) / denominator,
                (-a * r2 + bb - c * r1 * r2 + d * r1) / denominator};
    const long double w = 2 * std::numbers::pi_v<long double> * f * 1e-3L;
    out.s11 *= std::polar(1.0L, 2 * s.phase[0] - 2 * w * s.delayNs[0]);
    out.s21 *= std::polar(1.0L, s.phase[0] + s.phase[1] - w * (s.delayNs[0] + s.delayNs[1]));
    out.s22 *= std::polar(1.0L, 2 * s.phase[1] - 2 * w * s.delayNs[1]);
    return out;
}

// The sweep as a 2-port network (S12 = S21), or S11 alone.
inline Network generateFilter(const Filter &s, int points, double halfSpan, double noiseDb = -400,
                              unsigned seed = 1, bool onePort = false) {
    const TuningTable table = tableOf(s);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, std::pow(10, noiseDb / 20) / std::sqrt(2.0));
    auto noisy = [&](LongComplex v) {
        return std::complex<double>(static_cast<double>(v.real()) + noise(random),
                                    static_cast<double>(v.imag()) + noise(random));
    };
    Network net;
    net.ports = onePort ? 1 : 2;
    for (int i = 0; i < points; ++i) {
        const long double f = s.f0 - halfSpan + 2.0L * halfSpan * i / (points - 1);
        const TwoPort t = filterAt(s, table, f);
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

// A 2-port network as a version 1 .s2p (MHz, RI), every number in its
// shortest exact form.
inline std::string s2pText(const Network &n) {
    std::string text = "! generated filter\n# MHz S RI R 50\n";
    for (std::size_t i = 0; i < n.size(); ++i) {
        text += formatShortest(n.frequencyMHz[i]);
        for (std::size_t q = 0; q < 4; ++q)
            text.append(" ")
                .append(formatShortest(n.values[4 * i + q].real()))
                .append(" ")
                .append(formatShortest(n.values[4 * i + q].imag()));
        text += '\n';
    }
    return text;
}

} // namespace varnel::testing
