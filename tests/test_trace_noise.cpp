#include "stage_generator.h"
#include "table_test.h"
#include "tuning/trace_noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using namespace varnel;
using varnel::testing::PrintTo;
using Complex = std::complex<double>;

// The header's worked example: a line with alternating noise.
TEST(TraceNoise, WorkedExample) {
    std::vector<Complex> z;
    for (int i = 0; i < 101; ++i)
        z.emplace_back(1 + 0.01 * i + (i % 2 == 0 ? 1e-3 : -1e-3), 0);
    const double noiseDb = traceNoiseDb(z);
    EXPECT_NEAR(noiseDb, 10 * std::log10(1.6e-5 / (std::log(2.0) * 6)), 1e-6);
    EXPECT_NEAR(noiseDb, -54.15, 0.01);
    EXPECT_TRUE(residualMatches(2.2e-3, noiseDb));
    EXPECT_FALSE(residualMatches(2.3e-3, noiseDb));
}

TEST(TraceNoise, EdgesOfTheEstimate) {
    const std::vector<Complex> line = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                       {6, 0}, {7, 0}, {8, 0}, {9, 0}};
    EXPECT_EQ(traceNoiseDb(line), -300);                                // every difference 0
    EXPECT_EQ(traceNoiseDb(std::vector<Complex>(7, Complex(1, 0))), 0); // too short to tell
    EXPECT_EQ(levelText(-300), "below -200 dB");
    EXPECT_EQ(levelText(-52.04), "-52.0 dB");
    EXPECT_EQ(rmsDb(0), -300);
    // A residual at the solver's rounding matches a noiseless trace.
    EXPECT_TRUE(residualMatches(1e-9, -300));
    EXPECT_FALSE(residualMatches(1e-5, -300));
}

// The estimate against the noise put on generated stage sweeps: the
// smooth response, its lobes and a reflection zero do not raise it.
struct NoiseRow {
    const char *name;
    int stage;
    bool loaded;
    int points;
    double noiseDb;
};

const NoiseRow noiseRows[] = {
    {"stage1_801_at_minus60", 1, false, 801, -60},
    {"stage4_401_at_minus80", 4, false, 401, -80},
    {"stage5_loaded_1601_at_minus70", 5, true, 1601, -70},
    {"stage5_loaded_401_at_minus50", 5, true, 401, -50},
    {"stage3_201_at_minus90", 3, false, 201, -90},
};

class NoiseTest : public ::testing::TestWithParam<NoiseRow> {};

TEST_P(NoiseTest, EstimateWithinOneDecibel) {
    const NoiseRow &row = GetParam();
    varnel::testing::Stage s;
    s.stage = row.stage;
    s.loaded = row.loaded;
    s.cableNs = 2;
    for (const unsigned seed : {1u, 2u, 3u}) {
        const Network n =
            varnel::testing::generate(s, row.points, 1.5 * s.bandwidth, row.noiseDb, seed);
        EXPECT_NEAR(traceNoiseDb(n.values), row.noiseDb, 1.0) << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, NoiseTest, ::testing::ValuesIn(noiseRows),
                         varnel::testing::RowName());

TEST(TraceNoise, PooledTracesAverageTheirPowers) {
    std::mt19937 random(5);
    std::normal_distribution<double> unit(0, 1 / std::sqrt(2.0));
    std::vector<Complex> quiet, loud;
    for (int i = 0; i < 2000; ++i) {
        quiet.emplace_back(1e-4 * unit(random), 1e-4 * unit(random));
        loud.emplace_back(1e-3 * unit(random), 1e-3 * unit(random));
    }
    const std::vector<ParameterView> both = {quiet, loud, {}};
    EXPECT_NEAR(pooledNoiseDb(both), 10 * std::log10((1e-8 + 1e-6) / 2), 0.5);
}

// A million points are judged from 65,536 differences spread over them:
// the noise put on a line comes back within a tenth of a decibel, and a
// noise that only the trace's second half has is still seen (the samples
// reach it).
TEST(TraceNoise, MillionPointTraceFromSpreadDifferences) {
    std::mt19937 random(7);
    std::normal_distribution<double> unit(0, 1 / std::sqrt(2.0));
    const struct {
        const char *name;
        double firstHalf, secondHalf; // noise amplitudes
        double expectedDb;
    } rows[] = {{"even -60 dB", 1e-3, 1e-3, -60}, {"second half -40 dB", 1e-3, 1e-2, -40}};
    for (const auto &row : rows) {
        std::vector<Complex> z(1000000);
        for (std::size_t i = 0; i < z.size(); ++i) {
            const double a = i < z.size() / 2 ? row.firstHalf : row.secondHalf;
            z[i] = Complex(0.5 + 1e-7 * static_cast<double>(i), 0.1) +
                   a * Complex(unit(random), unit(random));
        }
        const double db = traceNoiseDb(z);
        if (row.firstHalf == row.secondHalf)
            EXPECT_NEAR(db, row.expectedDb, 0.1) << row.name;
        else // the median of half at -60 and half at -40 dB lies between
            EXPECT_GT(db, -58) << row.name;
    }
}

// Lengths where all five orders share their stride (one pass over the
// trace) and where the lowest and highest differ (65,540 points: the 2nd
// differences every 2nd start, the 6th every one): the noise put on a line
// comes back within 0.15 dB either way.
TEST(TraceNoise, EveryLengthsStridesGiveTheNoise) {
    const struct {
        const char *name;
        std::size_t points;
    } rows[] = {{"one_stride_1000", 1000},
                {"strides_differ_65540", 65540},
                {"strides_differ_131076", 131076},
                {"one_stride_200000", 200000}};
    for (const auto &row : rows) {
        std::mt19937 random(11);
        std::normal_distribution<double> unit(0, 1 / std::sqrt(2.0));
        std::vector<Complex> z(row.points);
        for (std::size_t i = 0; i < z.size(); ++i)
            z[i] = Complex(0.5 - 1e-6 * static_cast<double>(i), 0.2) +
                   1e-3 * Complex(unit(random), unit(random));
        EXPECT_NEAR(traceNoiseDb(z), -60, 0.15) << row.name;
    }
}

} // namespace
