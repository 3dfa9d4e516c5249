#include "stage_generator.h"
#include "table_test.h"
#include "tuning/check.h"
#include "tuning/least_squares.h"
#include "tuning/stage_fit.h"

#include <functional>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace varnel;

namespace {

using varnel::testing::generate;
using varnel::testing::PrintTo;
using varnel::testing::Stage;
using varnel::testing::tableOf;
using Complex = std::complex<double>;

StageFit fitOf(const Stage &s, const Network &n, std::optional<double> givenQu = std::nullopt) {
    CheckSettings settings;
    settings.stage = s.stage;
    settings.f0 = s.f0;
    settings.qu = givenQu;
    settings.resonator = s.resonator;
    return fitStage(tableOf(s), n, settings);
}

// The model's derivatives against a central difference of its own value,
// for every parameter, lumped and coaxial, with loss, offsets and cable.
TEST(StageFit, DerivativesAreTheModelsSlopes) {
    FitModel model;
    model.g = {0.8, 1.4, 1.7};
    model.f0 = 1000;
    model.fbw = 0.01;
    for (const ResonatorKind kind : {ResonatorKind::Lumped, ResonatorKind::Coaxial})
        for (const std::optional<double> load : {std::optional<double>(), std::optional(1.1)})
            for (const bool calibration : {false, true})
                for (const double f : {985.0, 996.0, 1000.0, 1003.3, 1020.0}) {
                    model.resonator = kind;
                    model.load = load;
                    model.calibration = calibration;
                    std::vector<double> parameters = {0.3,  -0.2, 0.1, 1.05, 0.97,
                                                      1.02, 0.04, 2.5, 0.7};
                    if (load)
                        parameters.push_back(0.96);
                    parameters.insert(parameters.end(), {0.4, -0.3}); // the slopes
                    if (calibration)
                        parameters.insert(parameters.end(), {0.01, -0.02, 0.03, 0.01, 0.005});
                    if (calibration && load)
                        parameters.insert(parameters.end(), {0.02, -0.01});
                    ASSERT_EQ(parameters.size(), model.parameterCount());
                    const FitPoint point = fitModelAt(model, parameters, f);
                    for (std::size_t q = 0; q < parameters.size(); ++q) {
                        const double h = 1e-6;
                        std::vector<double> up = parameters, down = parameters;
                        up[q] += h;
                        down[q] -= h;
                        const Complex numeric =
                            (fitModelAt(model, up, f).s - fitModelAt(model, down, f).s) / (2 * h);
                        EXPECT_NEAR(std::abs(point.derivatives[q] - numeric), 0,
                                    1e-6 * (1 + std::abs(numeric)))
                            << "parameter " << q << " at " << f;
                    }
                }
}

// The header's worked example.
TEST(StageFit, WorkedExample) {
    Stage s;
    s.offsetMHz = {0, 0.25};
    s.cableNs = 3;
    const StageFit fit = fitOf(s, generate(s, 801, 15));
    ASSERT_TRUE(fit.converged);
    EXPECT_NEAR(fit.offsetMHz[0], 0, 1e-6);
    EXPECT_NEAR(fit.offsetMHz[1], 0.25, 1e-6);
    EXPECT_NEAR(fit.scale[0], 1, 1e-6);
    EXPECT_NEAR(fit.scale[1], 1, 1e-6);
    EXPECT_NEAR(*fit.qu(effectiveBandwidth(10) / 1000), 3000, 0.01);
    EXPECT_NEAR(fit.cableDelayNs, 3, 1e-6);
    EXPECT_LT(fit.residualRms, 1e-9);
}

// The test sweep written by tests/data/make_mistuned.py, a generator in
// Python of its own (resonator 2 of stage 2 tuned 0.25 MHz high, Qu 3000),
// read as the analyser exported it: the fault and the loss come back.
TEST(StageFit, PythonGeneratedSweep) {
    const auto read = readTouchstoneFile(std::string(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p",
                                         {SParameter{1, 1}});
    ASSERT_TRUE(std::holds_alternative<Network>(read));
    Stage s;
    const StageFit fit = fitOf(s, std::get<Network>(read));
    ASSERT_TRUE(fit.converged);
    EXPECT_NEAR(fit.offsetMHz[0], 0, 0.003);
    EXPECT_NEAR(fit.offsetMHz[1], 0.25, 0.003);
    EXPECT_NEAR(fit.couplingErrorPercent(1), 0, 0.05);
    EXPECT_NEAR(fit.couplingErrorPercent(2), 0, 0.05);
    EXPECT_NEAR(*fit.qu(effectiveBandwidth(10) / 1000), 3000, 3);
    EXPECT_NEAR(fit.cableDelayNs, 0, 1e-3);
}

struct FaultRow {
    const char *name;
    Stage stage;
    double noiseDb = -400;
};

Stage with(int stage, std::vector<double> offsets, double qeScale = 1,
           std::vector<double> couplings = {}, double cable = 0,
           ResonatorKind resonator = ResonatorKind::Lumped, int order = 5) {
    Stage s;
    s.order = order;
    s.stage = stage;
    s.offsetMHz = std::move(offsets);
    s.qeScale = qeScale;
    s.couplingScale = std::move(couplings);
    s.cableNs = cable;
    s.resonator = resonator;
    return s;
}

Stage loaded(Stage s, double outputQeScale) {
    s.loaded = true;
    s.outputQeScale = outputQeScale;
    return s;
}

const FaultRow faultRows[] = {
    {"stage1_resonator_high", with(1, {0.3})},
    {"stage1_input_coupling_weak", with(1, {}, 1.07)},
    {"stage1_cable_and_offset", with(1, {-0.2}, 1, {}, 4.5)},
    {"stage2_resonator2_low", with(2, {0, -0.4})},
    {"stage2_coupling_strong", with(2, {}, 1, {1.06})},
    {"stage3_earlier_resonator_off", with(3, {0.15, 0, 0})},
    {"stage3_two_faults", with(3, {0, 0.2, 0}, 1, {1, 0.95})},
    {"stage4_coaxial", with(4, {0, 0, 0, 0.3}, 1, {}, 2, ResonatorKind::Coaxial)},
    {"stage5_last", with(5, {0, 0, 0, 0, -0.25}, 1.03)},
    {"stage2_noisy", with(2, {0, 0.3}, 1, {0.96}, 1.5), -60},
    {"stage1_noisy", with(1, {0.1}, 0.98, {}, 2), -60},
    {"stage5_loaded_output_weak", loaded(with(5, {0, 0, 0.2}, 1, {}, 1), 1.04)},
    {"stage4_loaded_even_order",
     loaded(with(4, {0, -0.3}, 1, {1, 1, 1.05}, 0, ResonatorKind::Lumped, 4), 0.97)},
};

class FaultTest : public ::testing::TestWithParam<FaultRow> {};

// Every fault comes back: offsets within 0.3 % of BW, couplings within 0.5 %
// (1 % with noise), the cable within 0.1 ns, Qu within 5 %.
TEST_P(FaultTest, FitRecoversTheFault) {
    const FaultRow &row = GetParam();
    const Stage &s = row.stage;
    const StageFit fit = fitOf(s, generate(s, 801, 1.5 * s.bandwidth, row.noiseDb));
    ASSERT_TRUE(fit.converged) << fit.iterations << " iterations";
    const bool noisy = row.noiseDb > -200;
    for (int i = 0; i < s.stage; ++i) {
        const double truth = static_cast<std::size_t>(i) < s.offsetMHz.size()
                                 ? s.offsetMHz[static_cast<std::size_t>(i)]
                                 : 0.0;
        EXPECT_NEAR(fit.offsetMHz[static_cast<std::size_t>(i)], truth, 0.003 * s.bandwidth)
            << "resonator " << i + 1;
    }
    EXPECT_NEAR(fit.couplingErrorPercent(1), (s.qeScale - 1) * 100, noisy ? 1 : 0.5);
    for (int i = 2; i <= s.stage; ++i) {
        const std::size_t c = static_cast<std::size_t>(i - 2);
        const double truth = c < s.couplingScale.size() ? s.couplingScale[c] : 1.0;
        EXPECT_NEAR(fit.couplingErrorPercent(static_cast<std::size_t>(i)), (truth - 1) * 100,
                    noisy ? 1 : 0.5)
            << "coupling " << i - 1 << "-" << i;
    }
    // The last stage's end is found from the sweep.
    EXPECT_EQ(fit.model.load.has_value(), s.loaded);
    if (s.loaded && fit.model.load) {
        EXPECT_NEAR(fit.outputErrorPercent(), (s.outputQeScale - 1) * 100, noisy ? 1 : 0.5);
    }
    EXPECT_NEAR(fit.cableDelayNs, s.cableNs, 0.1);
    const auto qu = fit.qu(effectiveBandwidth(s.bandwidth) / s.f0);
    ASSERT_TRUE(qu);
    EXPECT_NEAR(*qu, *s.qu, 0.05 * *s.qu);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(faultRows),
                         varnel::testing::RowName());

} // namespace

namespace {

// A Monte-Carlo guard with a fixed seed: 40 stages of orders 3 to 6, stages
// 1 to the order, one or two faults (a resonator up to 5 % of BW off, a
// coupling or Qe up to 8 % off), 1 to 5 ns of cable, Qu 1000 to 10000,
// 801 points over 1.5 BW either side, -60 dB of noise. Every fit converges
// and every resonator comes back within 0.3 % of BW, every coupling within
// 1 %, the cable within 0.1 ns.
TEST(StageFit, NoisyMonteCarloGuard) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> order(3, 6);
    std::uniform_real_distribution<double> unit(-1, 1), positive(0, 1);
    int worstResonatorCase = -1;
    double worstResonator = 0;
    for (int trial = 0; trial < 40; ++trial) {
        Stage s;
        s.order = order(random);
        s.stage = 1 + static_cast<int>(positive(random) * s.order) % s.order;
        s.qu = 1000 + 9000 * positive(random);
        s.cableNs = 1 + 4 * positive(random);
        s.phase = 3 * unit(random);
        s.offsetMHz.assign(static_cast<std::size_t>(s.stage), 0.0);
        s.couplingScale.assign(static_cast<std::size_t>(s.stage - 1), 1.0);
        const int faults = 1 + trial % 2;
        for (int f = 0; f < faults; ++f) {
            const std::size_t at =
                static_cast<std::size_t>(positive(random) * s.stage) % s.offsetMHz.size();
            if (positive(random) < 0.5 || s.stage == 1)
                s.offsetMHz[at] = 0.05 * s.bandwidth * unit(random);
            else if (at == 0)
                s.qeScale = 1 + 0.08 * unit(random);
            else
                s.couplingScale[at - 1] = 1 + 0.08 * unit(random);
        }
        const StageFit fit =
            fitOf(s, generate(s, 801, 1.5 * s.bandwidth, -60, static_cast<unsigned>(trial)));
        ASSERT_TRUE(fit.converged) << "trial " << trial;
        for (std::size_t i = 0; i < s.offsetMHz.size(); ++i) {
            const double error = std::abs(fit.offsetMHz[i] - s.offsetMHz[i]) / s.bandwidth;
            if (error > worstResonator) {
                worstResonator = error;
                worstResonatorCase = trial;
            }
            EXPECT_LT(error, 0.003) << "trial " << trial << ", resonator " << i + 1;
        }
        EXPECT_NEAR(fit.couplingErrorPercent(1), (s.qeScale - 1) * 100, 1) << "trial " << trial;
        for (std::size_t i = 2; i <= s.offsetMHz.size(); ++i)
            EXPECT_NEAR(fit.couplingErrorPercent(i), (s.couplingScale[i - 2] - 1) * 100, 1)
                << "trial " << trial << ", coupling " << i - 1 << "-" << i;
        EXPECT_NEAR(fit.cableDelayNs, s.cableNs, 0.1) << "trial " << trial;
    }
    std::printf("worst resonator error %.4f %% of BW (trial %d)\n", worstResonator * 100,
                worstResonatorCase);
}

} // namespace

namespace {

// The least-squares header's worked example: a straight line through the
// real parts; the imaginary 0.5 a point is left as the residual.
TEST(LeastSquares, WorkedExample) {
    class Line : public ComplexResiduals {
      public:
        std::size_t pointCount() const override { return 3; }
        std::size_t parameterCount() const override { return 2; }
        Complex residual(const std::vector<double> &x, std::size_t j,
                         std::vector<Complex> *derivatives) const override {
            const double f = static_cast<double>(j);
            if (derivatives)
                *derivatives = {1.0, f};
            return x[0] + x[1] * f - Complex(1 + 2 * f, 0.5);
        }
    };
    const LeastSquares fit = fitLeastSquares(Line(), {0, 0});
    ASSERT_TRUE(fit.converged);
    EXPECT_NEAR(fit.x[0], 1, 1e-9);
    EXPECT_NEAR(fit.x[1], 2, 1e-9);
    EXPECT_NEAR(fit.residualRms, 0.5, 1e-9);
    ASSERT_EQ(fit.uncertainty.size(), 2u);
}

// Problems whose minimum is known in closed form, from starts near and far:
// the solver must reach it to 1e-8, and say that it converged.
struct SolverRow {
    const char *name;
    std::function<Complex(const std::vector<double> &, std::size_t, std::vector<Complex> *)> at;
    std::size_t points;
    std::vector<double> start, minimum;
};

class ClosedForm : public ComplexResiduals {
  public:
    explicit ClosedForm(const SolverRow &row) : m_row(row) {}
    std::size_t pointCount() const override { return m_row.points; }
    std::size_t parameterCount() const override { return m_row.start.size(); }
    Complex residual(const std::vector<double> &x, std::size_t j,
                     std::vector<Complex> *derivatives) const override {
        return m_row.at(x, j, derivatives);
    }

  private:
    const SolverRow &m_row;
};

// Rosenbrock's valley as one complex residual: 10 (x1 - x0^2) + j (1 - x0),
// zero at (1, 1).
Complex rosenbrock(const std::vector<double> &x, std::size_t, std::vector<Complex> *d) {
    if (d)
        *d = {Complex(-20 * x[0], -1), Complex(10, 0)};
    return Complex(10 * (x[1] - x[0] * x[0]), 1 - x[0]);
}

// A decaying, turning line: a e^(-b f) e^(j c f) at f = 0 .. 19 against a =
// 2, b = 0.1, c = 0.3 (noiseless).
Complex decay(const std::vector<double> &x, std::size_t j, std::vector<Complex> *d) {
    const double f = static_cast<double>(j);
    const Complex model = x[0] * std::exp(Complex(-x[1] * f, x[2] * f));
    if (d)
        *d = {model / x[0], -f * model, Complex(0, f) * model};
    return model - 2.0 * std::exp(Complex(-0.1 * f, 0.3 * f));
}

// Only the sum of the two parameters is seen (x0 + x1 = 3), and a third
// parameter is a line's slope: the fit must still end, on the valley's
// floor, with the slope found.
Complex sumOnly(const std::vector<double> &x, std::size_t j, std::vector<Complex> *d) {
    const double f = static_cast<double>(j);
    if (d)
        *d = {1.0, 1.0, f};
    return Complex(x[0] + x[1] - 3 + (x[2] - 0.5) * f, 0);
}

const SolverRow solverRows[] = {
    {"rosenbrock_from_the_classic_start", rosenbrock, 1, {-1.2, 1}, {1, 1}},
    {"rosenbrock_from_far", rosenbrock, 1, {-30, 40}, {1, 1}},
    {"decay_from_near", decay, 20, {1.9, 0.11, 0.29}, {2, 0.1, 0.3}},
    {"decay_from_a_flat_line", decay, 20, {1, 0, 0.25}, {2, 0.1, 0.3}},
};

class SolverTest : public ::testing::TestWithParam<SolverRow> {};

TEST_P(SolverTest, ReachesTheKnownMinimum) {
    const SolverRow &row = GetParam();
    const LeastSquares fit = fitLeastSquares(ClosedForm(row), row.start, 400);
    ASSERT_TRUE(fit.converged) << fit.iterations << " iterations";
    for (std::size_t q = 0; q < row.minimum.size(); ++q)
        EXPECT_NEAR(fit.x[q], row.minimum[q], 1e-8) << "parameter " << q;
    EXPECT_LT(fit.residualRms, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Problems, SolverTest, ::testing::ValuesIn(solverRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LeastSquares, AValleyOfEqualFitsEndsOnItsFloor) {
    const SolverRow row{"sum_only", sumOnly, 5, {0, 0, 0}, {}};
    const LeastSquares fit = fitLeastSquares(ClosedForm(row), row.start);
    ASSERT_TRUE(fit.converged);
    EXPECT_NEAR(fit.x[0] + fit.x[1], 3, 1e-9);
    EXPECT_NEAR(fit.x[2], 0.5, 1e-9);
    // Neither of the two is known on its own.
    EXPECT_TRUE(std::isinf(fit.uncertainty[0]));
    EXPECT_TRUE(std::isinf(fit.uncertainty[1]));
}

// The mean turn's worked example: 3 ns of cable, no phase.
TEST(LeastSquares, MeanTurnWorkedExample) {
    const std::vector<double> f = {100, 101, 102};
    std::vector<Complex> p;
    for (const double at : f)
        p.push_back(std::polar(1.0, -2 * std::numbers::pi * at * 0.003));
    const TraceTurn turn = meanTurn(f, p);
    EXPECT_NEAR(turn.radPerMHz, -0.018850, 1e-6);
    EXPECT_NEAR(turn.phaseRad, 0, 1e-12);
}

} // namespace
