#include "matrix_generator.h"
#include "table_test.h"
#include "tuning/stage_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <variant>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;
constexpr double pi = std::numbers::pi;

TuningTable table(const char *order, const char *bandwidth, const char *ripple) {
    return std::get<TuningTable>(tuningTable(order, bandwidth, ripple, std::nullopt));
}

// The header's worked example, step by step.
TEST(StageModel, WorkedExample) {
    const TuningTable t = table("5", "10", "0.01");
    StageModel m = stageModel(t, 1, 1000, std::nullopt);
    ASSERT_EQ(m.g.size(), 1u);
    EXPECT_NEAR(effectiveBandwidth(10), 10.000311, 5e-7);
    EXPECT_NEAR(stageResponse(m, 1000).delay, 48.1489020347, 1e-9);
    EXPECT_NEAR(decibels(stageResponse(m, 1000).s11), 0, 1e-12);
    EXPECT_NEAR(stageResponse(m, 1001).delay, 47.0259, 5e-5);
    m.qu = 1000;
    EXPECT_NEAR(stageResponse(m, 1000).delay, 48.4259, 5e-5);
    EXPECT_NEAR(std::abs(stageResponse(m, 1000).s11), 0.859372, 5e-7);
    EXPECT_NEAR(decibels(stageResponse(m, 1000).s11), -1.3164, 5e-5);
}

// Lossless at f0 every stage gives the tuning table's delay, 636.6 S_k / BW,
// for odd and even orders, narrow and wide bands, small and large ripple.
TEST(StageModel, LosslessDelaysAtF0AreTheTables) {
    for (const char *order : {"1", "2", "5", "6", "9"})
        for (const char *bandwidth : {"0.5", "10", "26.9"})
            for (const char *ripple : {"0.01", "0.5", "3"}) {
                const TuningTable t = table(order, bandwidth, ripple);
                for (std::size_t k = 1; k <= t.stages.size(); ++k) {
                    double s = 0;
                    for (std::size_t j = k; j >= 1 && j <= k; j -= 2)
                        s += t.stages[j - 1].g;
                    const double closedForm = 636.6 * s / t.first.bandwidth;
                    const StageModel m = stageModel(t, static_cast<int>(k), 2300, std::nullopt);
                    const StagePoint p = stageResponse(m, 2300);
                    EXPECT_NEAR(p.delay, closedForm, 1e-12 * closedForm)
                        << order << ' ' << bandwidth << ' ' << ripple << " stage " << k;
                    EXPECT_NEAR(p.delay, t.stages[k - 1].delay, 1e-12 * closedForm);
                    EXPECT_NEAR(std::abs(p.s11), 1, 1e-12);
                }
            }
}

// Stage 1 lossless away from f0: tau = 2 D g1 / (1 + (g1 Omega)^2) and
// |S11| = 1, from the single resonator's reflection phase -2 atan(g1 Omega).
TEST(StageModel, StageOneLosslessShape) {
    const TuningTable t = table("5", "10", "0.01");
    const StageModel m = stageModel(t, 1, 1000, std::nullopt);
    const double g1 = t.stages[0].g;
    const double fbw = effectiveBandwidth(10) / 1000;
    for (double f : {950.0, 990.0, 999.5, 1003.0, 1100.0}) {
        const double omega = (f / 1000 - 1000 / f) / fbw;
        const double w0 = 2 * pi * 1000, w = 2 * pi * f;
        const double d = (1 / w0 + w0 / (w * w)) / fbw;
        const double expected = 2 * d * g1 / (1 + g1 * g1 * omega * omega) * 1000;
        EXPECT_NEAR(stageResponse(m, f).delay, expected, 1e-12 * expected) << f;
        EXPECT_NEAR(std::abs(stageResponse(m, f).s11), 1, 1e-12) << f;
    }
}

struct LossRow {
    const char *name;
    const char *order, *bandwidth, *ripple;
    double f0, qu;
};

const LossRow lossRows[] = {
    {"narrow_band_high_q", "5", "10", "0.01", 1000, 5000},
    {"wide_band_low_q", "6", "26.9", "0.1", 2300, 1000},
    {"two_resonators", "2", "1", "0.5", 100, 2000},
};

class LossyStagesTest : public ::testing::TestWithParam<LossRow> {};

// Stage 1 with loss: tau = tau0 / (1 - (Qe/Qu)^2), |S11| = (Qu - Qe)/(Qu + Qe);
// stage 2: tau = (4/dw) g2 (1 - g1 g2 r^2) / ((1 + g1 g2 r^2)^2 - g2^2 r^2).
TEST_P(LossyStagesTest, MatchClosedForms) {
    const LossRow &row = GetParam();
    const TuningTable t = table(row.order, row.bandwidth, row.ripple);
    const double fbw = effectiveBandwidth(t.first.bandwidth) / row.f0;
    const double g1 = t.stages[0].g, g2 = t.stages[1].g;
    const double qe = g1 / fbw;
    const StagePoint one = stageResponse(stageModel(t, 1, row.f0, row.qu), row.f0);
    const double tau0 = t.stages[0].delay;
    const double expected1 = tau0 / (1 - (qe / row.qu) * (qe / row.qu));
    EXPECT_NEAR(one.delay, expected1, 1e-12 * expected1);
    EXPECT_NEAR(std::abs(one.s11), (row.qu - qe) / (row.qu + qe), 1e-12);

    const double r = 1 / (fbw * row.qu);
    const double dw = 2 * pi * effectiveBandwidth(t.first.bandwidth); // rad/us
    const double x = g1 * g2 * r * r;
    const double expected2 = 4 / dw * g2 * (1 - x) / ((1 + x) * (1 + x) - g2 * g2 * r * r) * 1000;
    const StagePoint two = stageResponse(stageModel(t, 2, row.f0, row.qu), row.f0);
    EXPECT_NEAR(two.delay, expected2, 1e-12 * expected2);

    // The odd stages rise with loss and the even fall: no common factor.
    for (int k = 1; k <= static_cast<int>(t.stages.size()); ++k) {
        const double lossy = stageResponse(stageModel(t, k, row.f0, row.qu), row.f0).delay;
        const double lossless = t.stages[static_cast<std::size_t>(k - 1)].delay;
        if (k % 2 == 1)
            EXPECT_GT(lossy, lossless) << "stage " << k;
        else
            EXPECT_LT(lossy, lossless) << "stage " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, LossyStagesTest, ::testing::ValuesIn(lossRows),
                         varnel::testing::RowName());

// The exact derivative agrees with a fine numeric difference of the phase of
// S11 for every stage, lossy and mistuned.
TEST(StageModel, DelayIsTheDerivativeOfThePhase) {
    const TuningTable t = table("5", "10", "0.1");
    for (int k = 1; k <= 5; ++k) {
        StageModel m = stageModel(t, k, 1000, 800.0);
        m.lastResonator = 1000.7;
        for (double f : {990.0, 996.3, 1000.0, 1004.1}) {
            const double h = 1e-5; // MHz
            const double dphi = std::arg(stageResponse(m, f + h).s11 / stageResponse(m, f - h).s11);
            const double numeric = -dphi / (2 * pi * 2 * h) * 1000;
            EXPECT_NEAR(stageResponse(m, f).delay, numeric, 1e-5 * std::abs(numeric) + 1e-6)
                << "stage " << k << " at " << f;
        }
    }
}

// A stage of 100 resonators far from f0 (the continuants pass the double's
// range) against the ladder's input impedance as a continued fraction from
// the far end, z = g1 p + 1 / (g2 p + ... + 1 / (gk p)), in long double,
// and the delay as a fine difference of its phase.
TEST(StageModel, LongStagesFarFromF0MatchTheContinuedFraction) {
    const TuningTable t = table("100", "10", "0.01");
    using LongComplex = std::complex<long double>;
    auto reference = [](const StageModel &m, long double f) {
        const long double fbw = effectiveBandwidth(m.bandwidth) / m.f0;
        const long double r = m.qu ? 1 / (fbw * *m.qu) : 0;
        const LongComplex p(r, (f / m.f0 - m.f0 / f) / fbw);
        LongComplex z = static_cast<long double>(m.g.back()) * p;
        for (std::size_t i = m.g.size() - 1; i-- > 0;)
            z = static_cast<long double>(m.g[i]) * p + 1.0L / z;
        return (1.0L - z) / (1.0L + z);
    };
    for (const int k : {1, 50, 100})
        for (const std::optional<double> qu : {std::optional<double>(), std::optional(2000.0)}) {
            const StageModel m = stageModel(t, k, 1000, qu);
            for (const double f : {50.0, 300.0, 990.0, 1000.3, 1950.0}) {
                const StagePoint point = stageResponse(m, f);
                const LongComplex s11 = reference(m, f);
                EXPECT_NEAR(point.s11.real(), static_cast<double>(s11.real()), 1e-12)
                    << "stage " << k << " at " << f;
                EXPECT_NEAR(point.s11.imag(), static_cast<double>(s11.imag()), 1e-12)
                    << "stage " << k << " at " << f;
                const long double h = 1e-9L * f;
                const long double dphi = std::arg(reference(m, f + h) / reference(m, f - h));
                const double numeric = static_cast<double>(-dphi / (2 * pi * 2 * h) * 1000);
                EXPECT_NEAR(point.delay, numeric, 1e-5 * std::abs(numeric) + 1e-9)
                    << "stage " << k << " at " << f;
            }
        }
}

// The header's worked example for quarter-wave coaxial resonators, and the
// closed form of stage 1: tau = 2 g1 D / (1 + (g1 Omega)^2) with
// Omega = (4/pi) tan(x) / FBW, D = sec^2(x) / (pi f0 FBW), x = pi (f - f0)
// / (2 f0). At f0 it agrees with the lumped mapping; at 3 f0 the line
// resonates again and gives f0's delay.
TEST(StageModel, CoaxialResonatorsMatchTheirClosedForm) {
    const TuningTable t = table("5", "10", "0.01");
    const StageModel m = stageModel(t, 1, 1000, std::nullopt, ResonatorKind::Coaxial);
    EXPECT_NEAR(stageResponse(m, 1001).delay, 47.0720, 5e-5);
    const double g1 = m.g[0];
    const double fbw = effectiveBandwidth(10) / 1000;
    for (const double f : {950.0, 999.0, 1000.0, 1003.0, 1200.0, 1900.0, 2500.0}) {
        const double x = pi * (f - 1000) / 2000;
        const double omega = 4 / pi * std::tan(x) / fbw;
        const double d = 1 / (std::cos(x) * std::cos(x) * pi * 1000 * fbw);
        const double tau = 2 * g1 * d / (1 + g1 * omega * g1 * omega) * 1000;
        EXPECT_NEAR(stageResponse(m, f).delay, tau, 1e-9 * tau) << f;
    }
    const StageModel lumped = stageModel(t, 1, 1000, std::nullopt);
    EXPECT_NEAR(stageResponse(m, 1000).delay, stageResponse(lumped, 1000).delay, 1e-9);
    EXPECT_NEAR(stageResponse(m, 3000).delay, stageResponse(m, 1000).delay, 1e-6);
    for (int k = 1; k <= 5; ++k) // every stage's delay at f0 is the table's
        EXPECT_NEAR(
            stageResponse(stageModel(t, k, 1000, std::nullopt, ResonatorKind::Coaxial), 1000).delay,
            t.stages[static_cast<std::size_t>(k - 1)].delay, 1e-3)
            << k;
}

// The header's worked example for waveguide resonators; every stage's S11
// against the coupling-matrix generator's guide-wavelength mapping, over
// a 20 % band and below the cut-off (total reflection there).
TEST(StageModel, WaveguideResonatorsMatchTheGenerator) {
    const TuningTable t = table("5", "200", "0.01");
    const StageModel example = stageModel(table("5", "10", "0.01"), 1, 1000, std::nullopt,
                                          ResonatorKind::Waveguide, StageOutput::Open, 600);
    EXPECT_NEAR(stageResponse(example, 1001).delay, 46.9744, 5e-5);
    EXPECT_NEAR(mapFrequency(ResonatorKind::Waveguide, 1001, 1000, 600).omega, 0.199782 * 0.0100003,
                2e-7);
    for (int k = 1; k <= 5; ++k) {
        varnel::testing::RealFilter s;
        s.order = 5;
        s.bandwidth = 200;
        s.stage = k;
        s.mapping = varnel::testing::Mapping::Waveguide;
        s.cutoffMHz = 700;
        s.qu = 2000.0;
        // The generator's last stage runs into its load.
        const StageModel m = stageModel(t, k, 1000, 2000.0, ResonatorKind::Waveguide,
                                        k == 5 ? StageOutput::Loaded : StageOutput::Open, 700);
        const std::complex<double> below = stageResponse(m, 650).s11;
        EXPECT_NEAR(std::abs(below), 1, 1e-6) << "stage " << k << " below the cut-off";
        for (const double f : {800.0, 930.0, 1000.0, 1040.0, 1100.0, 1300.0}) {
            const auto expected = varnel::testing::realFilterAt(s, t, f).s11;
            const std::complex<double> got = stageResponse(m, f).s11;
            EXPECT_NEAR(std::abs(got - std::complex<double>(expected)), 0, 1e-9)
                << "stage " << k << " at " << f;
        }
    }
}

// Each mapping's slopes per omega and per resonator against fine
// differences, and its inverse.
TEST(StageModel, MappingsSlopesAndInverse) {
    for (const ResonatorKind kind :
         {ResonatorKind::Lumped, ResonatorKind::Coaxial, ResonatorKind::Waveguide})
        for (const double f : {900.0, 995.0, 1000.0, 1010.0, 1150.0}) {
            const double fr = 1002, fc = 650, h = 1e-4;
            auto at = [&](double x, double r) { return mapFrequency(kind, x, r, fc).omega; };
            const MappedFrequency m = mapFrequency(kind, f, fr, fc);
            EXPECT_NEAR(m.perOmega, (at(f + h, fr) - at(f - h, fr)) / (2 * h) / (2 * pi), 1e-9)
                << resonatorKindName(kind) << " at " << f;
            EXPECT_NEAR(m.perResonator, (at(f, fr + h) - at(f, fr - h)) / (2 * h), 1e-9)
                << resonatorKindName(kind) << " at " << f;
            EXPECT_NEAR(unmapFrequency(kind, m.omega, fr, fc), f, 1e-9)
                << resonatorKindName(kind) << " at " << f;
        }
}

TEST(StageModel, ResonatorKindWords) {
    EXPECT_EQ(parseResonatorKind("lumped"), ResonatorKind::Lumped);
    EXPECT_EQ(parseResonatorKind("Coaxial"), ResonatorKind::Coaxial);
    EXPECT_EQ(parseResonatorKind("WAVEGUIDE"), ResonatorKind::Waveguide);
    EXPECT_STREQ(resonatorKindName(ResonatorKind::Waveguide), "waveguide");
    for (const char *bad : {"", "coax", "lumped ", "quarter-wave"})
        EXPECT_FALSE(parseResonatorKind(bad)) << bad;
}

} // namespace
