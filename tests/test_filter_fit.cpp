#include "filter_generator.h"
#include "table_test.h"
#include "tuning/filter_fit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varnel;
using varnel::testing::Filter;
using varnel::testing::generateFilter;
using varnel::testing::PrintTo;

namespace {

using Complex = std::complex<double>;

TuningTable tableOfOrder(int order) {
    Filter s;
    s.order = order;
    return varnel::testing::tableOf(s);
}

FilterModel modelOf(int order, bool twoPort = true) {
    const TuningTable t = tableOfOrder(order);
    FilterModel m;
    for (const TuningStage &stage : t.stages)
        m.g.push_back(stage.g);
    m.load = t.loadG;
    m.f0 = 1000;
    m.fbw = effectiveBandwidth(10) / 1000;
    m.twoPort = twoPort;
    return m;
}

std::vector<double> designOf(const FilterModel &m, std::optional<double> qu) {
    const std::size_t n = m.g.size();
    std::vector<double> x(m.parameterCount(), 0.0);
    for (std::size_t i = 0; i < n; ++i)
        x[n + i] = 1;
    x[2 * n] = qu ? 1 / (m.fbw * *qu) : 0;
    x[2 * n + 1] = 1;
    return x;
}

// The header's worked example: a lossless odd filter at its centre.
TEST(FilterModel, WorkedExample) {
    const FilterModel m = modelOf(5);
    const FilterPoint p = filterModelAt(m, designOf(m, std::nullopt), 1000, false);
    EXPECT_NEAR(std::abs(p.s11), 0, 1e-12);
    EXPECT_NEAR(std::abs(p.s21), 1, 1e-12);
}

// Closed forms: lossless, no power is lost (|S11|^2 + |S21|^2 = 1 and the
// same at port 2); S11 is the stage model's at stage n with the output
// loaded; in the band the return loss is the ripple's.
TEST(FilterModel, ClosedForms) {
    for (int order : {3, 4, 5, 8}) {
        const FilterModel m = modelOf(order);
        const TuningTable t = tableOfOrder(order);
        const std::vector<double> lossless = designOf(m, std::nullopt);
        for (double f : {985.0, 995.3, 999.0, 1000.0, 1004.9, 1012.0}) {
            const FilterPoint p = filterModelAt(m, lossless, f, false);
            EXPECT_NEAR(std::norm(p.s11) + std::norm(p.s21), 1, 1e-12) << order << ' ' << f;
            EXPECT_NEAR(std::norm(p.s22) + std::norm(p.s21), 1, 1e-12) << order << ' ' << f;
            const StageModel stage =
                stageModel(t, order, 1000, 2000.0, ResonatorKind::Lumped, StageOutput::Loaded);
            const FilterPoint lossy = filterModelAt(m, designOf(m, 2000.0), f, false);
            EXPECT_NEAR(std::abs(lossy.s11 - stageResponse(stage, f).s11), 0, 1e-12)
                << order << ' ' << f;
        }
        FilterFit fit;
        fit.model = m;
        // Within 0.005 dB: the table's g carry the calculator's constants.
        EXPECT_NEAR(fit.returnLossDb(lossless), t.returnLoss, 5e-3) << order;
    }
}

// The model against the independent generator (chain matrices in long
// double), with faults, loss and lines.
TEST(FilterModel, AgreesWithTheChainMatrixGenerator) {
    Filter s;
    s.order = 6;
    s.offsetMHz = {0.2, 0, -0.3, 0, 0, 0.1};
    s.qe1Scale = 1.04;
    s.qe2Scale = 0.97;
    s.couplingScale = {1, 1.05, 1, 0.96, 1};
    s.delayNs[0] = 1.5;
    s.delayNs[1] = 0.7;
    s.phase[0] = 0.4;
    s.phase[1] = -1.1;
    const TuningTable t = varnel::testing::tableOf(s);
    FilterModel m = modelOf(6);
    // The generator's couplings as the model's scales: s_1 = Qe1 scale,
    // k scale c = 1 / sqrt(s_i s_(i+1)), port 2: s_n s_o = Qe2 scale.
    std::vector<double> x = designOf(m, 3000.0);
    const std::size_t n = 6;
    for (std::size_t i = 0; i < n; ++i)
        x[i] = s.offsetMHz[i];
    x[n] = s.qe1Scale;
    for (std::size_t i = 1; i < n; ++i)
        x[n + i] = 1 / (s.couplingScale[i - 1] * s.couplingScale[i - 1] * x[n + i - 1]);
    x[2 * n + 1] = s.qe2Scale / x[2 * n - 1];
    x[2 * n + 2] = 1.5;
    x[2 * n + 3] = 0.4;
    x[2 * n + 4] = 0.7;
    x[2 * n + 5] = -1.1;
    for (double f : {980.0, 996.0, 1000.0, 1003.0, 1020.0}) {
        const FilterPoint p = filterModelAt(m, x, f);
        const auto g = varnel::testing::filterAt(s, t, f);
        // S21's sign is a convention: compare magnitudes and the reflections.
        EXPECT_NEAR(std::abs(p.s11 - Complex(g.s11)), 0, 1e-12) << f;
        EXPECT_NEAR(std::abs(p.s22 - Complex(g.s22)), 0, 1e-12) << f;
        EXPECT_NEAR(std::abs(p.s21), std::abs(Complex(g.s21)), 1e-12) << f;
    }
}

// Every derivative against a central difference of the model's own value.
TEST(FilterModel, DerivativesAreTheModelsSlopes) {
    for (bool twoPort : {true, false}) {
        const FilterModel m = modelOf(4, twoPort);
        std::vector<double> x = designOf(m, 1500.0);
        for (std::size_t q = 0; q < x.size(); ++q)
            x[q] += 0.01 * static_cast<double>(q % 3) + (q >= 8 ? 0.3 : 0.0);
        for (double f : {990.0, 999.5, 1003.0}) {
            const FilterPoint p = filterModelAt(m, x, f, true, true);
            for (std::size_t q = 0; q < x.size(); ++q) {
                std::vector<double> up = x, down = x;
                const double h = 1e-6;
                up[q] += h;
                down[q] -= h;
                const FilterPoint a = filterModelAt(m, up, f), b = filterModelAt(m, down, f);
                const Complex numeric[] = {(a.s11 - b.s11) / (2 * h), (a.s21 - b.s21) / (2 * h),
                                           (a.s22 - b.s22) / (2 * h)};
                const Complex exact[] = {p.d11[q], p.d21[q], p.d22[q]};
                for (int trace = 0; trace < (twoPort ? 3 : 1); ++trace)
                    EXPECT_NEAR(std::abs(exact[trace] - numeric[trace]), 0,
                                1e-6 * (1 + std::abs(numeric[trace])))
                        << "parameter " << q << " trace " << trace << " at " << f;
            }
        }
    }
}

struct RecoveryRow {
    const char *name;
    Filter filter;
    bool onePort = false;
    double noiseDb = -400;
};

Filter faulty(int order, std::vector<double> offsets, std::vector<double> couplings = {},
              double qe1 = 1, double qe2 = 1, double delay1 = 0, double delay2 = 0) {
    Filter s;
    s.order = order;
    s.offsetMHz = std::move(offsets);
    s.couplingScale = std::move(couplings);
    s.qe1Scale = qe1;
    s.qe2Scale = qe2;
    s.delayNs[0] = delay1;
    s.delayNs[1] = delay2;
    s.phase[0] = 0.3;
    s.phase[1] = 2.1;
    return s;
}

const RecoveryRow recoveryRows[] = {
    {"order5_tuned", faulty(5, {})},
    {"order5_resonator3_high", faulty(5, {0, 0, 0.5}, {}, 1, 1, 1, 2)},
    {"order5_coupling_and_ports", faulty(5, {0.2}, {1, 0.96}, 1.03, 0.97, 2.5, 0.5)},
    {"order5_s11_only", faulty(5, {0, -0.4, 0, 0.3}, {1.03}, 0.98, 1.02, 1.2), true},
    {"order8_noisy", faulty(8, {0, 0, 0, 0.6, 0, 0, -0.5}, {1, 1, 1.04}, 1, 1, 3, 1), false, -50},
    {"order3_noisy_s11_only", faulty(3, {0.8}, {}, 1.04, 1, 0.5), true, -55},
};

class RecoveryTest : public ::testing::TestWithParam<RecoveryRow> {};

// The faults come back: resonators within 0.3 % of BW (1 % with noise),
// couplings and Qe within 0.5 % (2 %), each port's delay within 0.05 ns.
TEST_P(RecoveryTest, FitRecoversTheFilter) {
    const RecoveryRow &row = GetParam();
    const Filter &s = row.filter;
    const Network n = generateFilter(s, 801, 1.5 * s.bandwidth, row.noiseDb, 3, row.onePort);
    const FilterFit fit =
        fitFilter(varnel::testing::tableOf(s), n, s.f0, std::nullopt, ResonatorKind::Lumped, false);
    ASSERT_TRUE(fit.converged);
    const bool noisy = row.noiseDb > -200;
    for (std::size_t i = 0; i < static_cast<std::size_t>(s.order); ++i)
        EXPECT_NEAR(fit.offsetMHz[i], i < s.offsetMHz.size() ? s.offsetMHz[i] : 0.0,
                    (noisy ? 0.01 : 0.003) * s.bandwidth)
            << "resonator " << i + 1;
    const double tolerance = noisy ? 2 : 0.5;
    EXPECT_NEAR(fit.errorPercent(1), (s.qe1Scale - 1) * 100, tolerance);
    EXPECT_NEAR(fit.errorPercent(0), (s.qe2Scale - 1) * 100, tolerance);
    for (std::size_t i = 2; i <= static_cast<std::size_t>(s.order); ++i)
        EXPECT_NEAR(fit.errorPercent(i),
                    ((i - 2 < s.couplingScale.size() ? s.couplingScale[i - 2] : 1.0) - 1) * 100,
                    tolerance)
            << "coupling " << i - 1 << "-" << i;
    EXPECT_NEAR(fit.delayNs[0], s.delayNs[0], 0.05);
    if (!row.onePort) {
        EXPECT_NEAR(fit.delayNs[1], s.delayNs[1], 0.05);
    }
    ASSERT_TRUE(fit.qu());
    EXPECT_NEAR(*fit.qu(), *s.qu, 0.05 * *s.qu);
}

INSTANTIATE_TEST_SUITE_P(Filters, RecoveryTest, ::testing::ValuesIn(recoveryRows),
                         varnel::testing::RowName());

} // namespace
