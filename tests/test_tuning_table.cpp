#include "calculation/calculate.h"
#include "cli/command_line.h"
#include "tuning/tuning_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace varnel;

namespace {

const TuningTable *tableOf(const TableResult &result) {
    return std::get_if<TuningTable>(&result);
}

// Stage delays seen from the output end, with g_(n+1) as the reference: the
// output external Q and the couplings read backwards,
// g'_1 = g_n g_(n+1), g'_j g'_(j+1) = g_(n+1-j) g_(n-j).
std::vector<double> delaysFromOutputEnd(const TuningTable &t) {
    const std::size_t n = t.stages.size();
    std::vector<double> g(n + 1);
    g[1] = t.stages[n - 1].g * t.loadG;
    for (std::size_t j = 1; j < n; ++j)
        g[j + 1] = t.stages[n - j].g * t.stages[n - j - 1].g / g[j];
    std::vector<double> delays;
    for (std::size_t k = 1; k <= n; ++k) {
        double sum = 0;
        for (std::size_t j = k; j >= 1 && j <= n; j -= 2)
            sum += g[j];
        delays.push_back(delayConstant * sum / t.first.bandwidth);
    }
    return delays;
}

// The published worked example of the method: n = 6, ripple 0.01 dB,
// bandwidth 26.9 MHz, band centre 2300 MHz. The program's constants
// (3.141596, 17.37, 636.6) move the last published digit: g within 2e-5,
// delays within 0.01 ns, Qe within 0.05, couplings within 1e-5.
TEST(TuningTable, PublishedWorkedExample) {
    const TableResult result = tuningTable("6", "26.9", "0.01", 2300.0);
    ASSERT_TRUE(tableOf(result));
    const TuningTable &t = *tableOf(result);
    const double g[] = {0.78135, 1.36001, 1.68967, 1.53502, 1.49703, 0.70984};
    const double delays[] = {18.49, 32.19, 58.48, 68.51, 93.91, 85.31};
    ASSERT_EQ(t.stages.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(t.stages[k].g, g[k], 2e-5) << "g" << k + 1;
        EXPECT_NEAR(t.stages[k].delay, delays[k], 0.01) << "stage " << k + 1;
    }
    EXPECT_NEAR(t.loadG, 1.10075, 2e-5);
    EXPECT_NEAR(*t.externalQ, 66.8, 0.05);
    EXPECT_NEAR(*t.stages[0].coupling, 0.01135, 1e-5);
    EXPECT_NEAR(*t.stages[1].coupling, 0.00771, 1e-5);
    EXPECT_NEAR(*t.stages[2].coupling, 0.00726, 1e-5);
    EXPECT_FALSE(t.stages[5].coupling);
    EXPECT_NEAR(t.returnLoss, 26.38, 0.005);
}

TEST(TuningTable, StageOneIsTheWindowsResult) {
    for (const char *order : {"1", "2", "3", "4.5", "5", "7", "12", "-0", "40"})
        for (const char *bandwidth : {"0.5", "10", "26.9", "1e3", "-10"})
            for (const char *ripple : {"0.001", "0.01", "0.1", "0.5", "3"}) {
                const Result<std::string> window = calculate(order, bandwidth, ripple);
                const TableResult table = tuningTable(order, bandwidth, ripple, std::nullopt);
                if (!window) {
                    ASSERT_TRUE(std::holds_alternative<RunTimeError>(table));
                    EXPECT_EQ(std::get<RunTimeError>(table), window.error());
                } else if (tableOf(table)) {
                    EXPECT_EQ(tableOf(table)->stages[0].delayText, *window)
                        << order << ' ' << bandwidth << ' ' << ripple;
                }
            }
}

// The coupling structure is symmetric, so the delays seen from the output
// end, with g_(n+1) as the reference, equal those from the input end. With
// true pi they agree to rounding (about 1e-15); the program's pi of 3.141596
// breaks the symmetry by up to about 2e-5 of the delay, far below what a
// network analyser resolves, so that is the tolerance.
TEST(TuningTable, DelaysAreTheSameFromEitherEnd) {
    for (int n = 1; n <= 12; ++n)
        for (const char *ripple : {"0.01", "0.1", "0.5", "1", "3"}) {
            const TableResult result = tuningTable(std::to_string(n), "20", ripple, std::nullopt);
            ASSERT_TRUE(tableOf(result));
            const std::vector<double> fromOutput = delaysFromOutputEnd(*tableOf(result));
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(fromOutput[k], tableOf(result)->stages[k].delay,
                            5e-5 * tableOf(result)->stages[k].delay)
                    << "n=" << n << " ripple=" << ripple << " stage " << k + 1;
            }
        }
}

TEST(TuningTable, OddOrderLoadIsOneEvenIsCothSquared) {
    EXPECT_EQ(tableOf(tuningTable("5", "10", "0.1", std::nullopt))->loadG, 1.0);
    const double beta = *varnel::beta(0.1);
    const double c = std::cosh(beta / 4) / std::sinh(beta / 4);
    EXPECT_NEAR(tableOf(tuningTable("4", "10", "0.1", std::nullopt))->loadG, c * c, 1e-12);
}

// What a refusal row expects: a run-time error number, or a refusal reason
// with the value as read.
struct RefusalCase {
    const char *name;
    const char *order, *bandwidth, *ripple;
    int error; // 0: a refusal, not a run-time error
    TableRefusal::Reason reason;
    double value;
};

const RefusalCase refusalCases[] = {
    {"order_zero_is_the_calculate_error", "0", "10", "0.01", 11, {}, 0},
    {"empty_bandwidth", "5", "", "0.01", 11, {}, 0},
    {"order_overflow", "40000", "10", "0.01", 6, {}, 0},
    {"zero_ripple_is_the_calculate_error", "5", "10", "0", 11, {}, 0},
    {"negative_order", "-3", "10", "0.01", 0, TableRefusal::OrderOutOfRange, -3},
    {"order_above_100", "101", "10", "0.01", 0, TableRefusal::OrderOutOfRange, 101},
    // Stage 1 is finite, later stages overflow the double range.
    {"later_stage_not_finite", "5", "3e-306", "0.01", 6, {}, 0},
    // The window calculates these; a tuning table cannot use them.
    {"negative_ripple", "5", "10", "-0.01", 0, TableRefusal::RippleNotPositive, -0.01},
    {"negative_bandwidth", "5", "-10", "0.01", 0, TableRefusal::BandwidthNotPositive, -10},
};

class TableRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TableRefusalTest, RefusesWithReason) {
    const RefusalCase &c = GetParam();
    const TableResult result = tuningTable(c.order, c.bandwidth, c.ripple, std::nullopt);
    if (c.error) {
        ASSERT_TRUE(std::holds_alternative<RunTimeError>(result));
        EXPECT_EQ(std::get<RunTimeError>(result).number(), c.error);
    } else {
        ASSERT_TRUE(std::holds_alternative<TableRefusal>(result));
        EXPECT_EQ(std::get<TableRefusal>(result).reason, c.reason);
        EXPECT_EQ(std::get<TableRefusal>(result).value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, TableRefusalTest, ::testing::ValuesIn(refusalCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct Output {
    int status;
    std::string out, err;
};

Output table(std::vector<std::string_view> args) {
    args.insert(args.begin(), "table");
    std::istringstream in;
    std::ostringstream out, err;
    const int status = runCommandLine(args, in, out, err);
    return {status, out.str(), err.str()};
}

TEST(TableCommand, CsvHasHeaderAndOneRowPerStage) {
    const Output o = table({"--csv", "--f0", "2300", "6", "26.9", "0.01"});
    EXPECT_EQ(o.status, 0);
    std::istringstream lines(o.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "stage,g,delay_ns,coupling");
    std::getline(lines, line);
    EXPECT_EQ(line, "1,0.78136,18.491,0.011346");
    int rows = 1;
    std::string last;
    while (std::getline(lines, line)) {
        ++rows;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 3) << line;
        last = line;
    }
    EXPECT_EQ(rows, 6);
    EXPECT_EQ(last, "6,0.70984,85.311,"); // no coupling after the last stage
}

TEST(TableCommand, TextTableStatesInputsAsRead) {
    const Output o = table({" 5 ", "10MHz", "0.01dB"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.substr(0, o.out.find('\n')),
              "Chebyshev tuning table: order 5, bandwidth 10 MHz, ripple 0.01 dB");
    EXPECT_NE(o.out.find("return loss 26.38 dB"), std::string::npos);
    EXPECT_NE(o.out.find("48.149"), std::string::npos);
}

TEST(TableCommand, ErrorsAndRefusals) {
    EXPECT_EQ(table({"0"}).status, 1);
    EXPECT_EQ(table({"0"}).err, "error 11: Division by zero\n");
    EXPECT_EQ(table({"101"}).status, 2);
    EXPECT_NE(table({"101"}).err.find("from 1 to 100"), std::string::npos);
    EXPECT_EQ(table({"--f0"}).status, 2);
    EXPECT_EQ(table({"--f0", "0"}).status, 2);
    EXPECT_EQ(table({"--f0", "-5"}).status, 2);
    EXPECT_EQ(table({"--bogus"}).status, 2);
    EXPECT_EQ(table({"1", "2", "3", "4"}).status, 2);
}

// Inputs the window calculates but a table cannot use are usage errors that
// name the field, not a run-time error.
TEST(TableCommand, NonPositiveRippleAndBandwidthNameTheField) {
    const Output ripple = table({"5", "10", "-0.01"});
    EXPECT_EQ(ripple.status, 2);
    EXPECT_EQ(ripple.err,
              "varnel-calc: a tuning table needs a positive ripple in dB; the ripple reads as "
              "-0.01\n");
    const Output bandwidth = table({"5", "-10", "0.01"});
    EXPECT_EQ(bandwidth.status, 2);
    EXPECT_NE(bandwidth.err.find("positive bandwidth in MHz; the bandwidth reads as -10"),
              std::string::npos);
    EXPECT_TRUE(ripple.out.empty() && bandwidth.out.empty());
}

} // namespace
