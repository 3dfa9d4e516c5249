// varnel-calc design: the header's worked example through the command, the
// written response against the filtering function's closed properties, and
// the refusals.
#include "calc_run.h"
#include "touchstone/touchstone.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

namespace {

using varnel::testing::CalcRun;
using varnel::testing::run;

// The equal-ripple bandwidth of 10 MHz and the low-pass mapping, written
// here from their definitions.
const double bwe = 10 * 2000 / std::numbers::pi / 636.6;
double omegaOf(double f) {
    return 1000 / bwe * (f / 1000 - 1000 / f);
}

TEST(DesignCommand, WorkedExample) {
    const CalcRun r = run({"design", "--f0", "1000", "--zeros", "980,1020.408163265306", "--json",
                           "4", "10", "0.01"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["topology"], "folded");
    EXPECT_NEAR(j["return_loss_db"].get<double>(), 26.38, 0.005);
    EXPECT_NEAR(j["equal_ripple_bandwidth_mhz"].get<double>(), bwe, 1e-12);
    const std::vector<double> omegas = j["zeros_omega"];
    ASSERT_EQ(omegas.size(), 2u);
    EXPECT_NEAR(omegas[0], omegaOf(980), 1e-6);
    EXPECT_NEAR(omegas[0], -4.040691, 5e-7);
    EXPECT_EQ(omegas[0], -omegas[1]); // made an exact pair
    const auto &m = j["coupling_matrix"];
    ASSERT_EQ(m.size(), 6u);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(m[i][i].get<double>(), 0) << i;
    EXPECT_EQ(m[2][4].get<double>(), 0);
    EXPECT_NEAR(m[1][4].get<double>(), -0.0591, 5e-5);
    EXPECT_EQ(m[1][4], m[4][1]);
    // Every coupling listed once, with its MHz and k.
    for (const auto &c : j["couplings"]) {
        const double v = c["value"];
        EXPECT_NEAR(c["mhz"].get<double>(), v * bwe, 1e-12);
        EXPECT_NEAR(c["k"].get<double>(), v * bwe / 1000, 1e-15);
        EXPECT_EQ(c["qe"].is_null(), c["from"] != 0 && c["to"] != 5);
    }
}

// Without zeros the design is in-line, its external Q the tuning table's
// (within the table's constants).
TEST(DesignCommand, NoZerosIsTheTuningTablesFilter) {
    const CalcRun r = run({"design", "--f0", "1000", "--json", "5", "10", "0.01"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["topology"], "inline");
    EXPECT_EQ(j["couplings"].size(), 6u); // S-1, four main-line, 5-L
    EXPECT_NEAR(j["couplings"][0]["qe"].get<double>(), 0.7563 / (bwe / 1000), 0.02);
}

// The reference trace: read back as a 2-port; lossless, no power lost and
// the band's worst return loss the design's; lossy with --qu.
TEST(DesignCommand, TouchstoneTrace) {
    for (const char *qu : {"", "2000"}) {
        std::vector<std::string_view> args{"design",    "--f0",  "1000",     "--zeros",
                                           "1013,1021", "--s2p", "--points", "2001"};
        if (*qu)
            args.insert(args.end(), {"--qu", qu});
        args.insert(args.end(), {"6", "10", "0.01"});
        const CalcRun r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto read = varnel::readTouchstoneText("design.s2p", r.out);
        ASSERT_TRUE(std::holds_alternative<varnel::Network>(read));
        const auto &n = std::get<varnel::Network>(read);
        ASSERT_EQ(n.size(), 2001u);
        // Span 2 x (21 + BWe / 2).
        EXPECT_NEAR(n.frequencyMHz.front(), 1000 - 21 - bwe / 2, 1e-9);
        EXPECT_NEAR(n.frequencyMHz.back(), 1000 + 21 + bwe / 2, 1e-9);
        double worst = 0, s21AtCentre = 0;
        for (std::size_t i = 0; i < n.size(); ++i) {
            const std::complex<double> s11 = n.values[4 * i], s21 = n.values[4 * i + 2];
            if (!*qu) {
                EXPECT_NEAR(std::norm(s11) + std::norm(s21), 1, 1e-9);
            }
            if (std::abs(omegaOf(n.frequencyMHz[i])) <= 1)
                worst = std::max(worst, std::abs(s11));
            if (n.frequencyMHz[i] == 1000)
                s21AtCentre = std::abs(s21);
        }
        if (*qu) {
            EXPECT_LT(s21AtCentre, 0.99);
        } else {
            EXPECT_NEAR(-20 * std::log10(worst), 26.38, 0.05);
        }
    }
}

struct RefusalRow {
    const char *name;
    std::vector<std::string_view> args;
    int status;
    const char *message;
};

// Order 2 makes no zeros in any topology; the message does not send the
// tuner to the topology it gave.
TEST(DesignCommand, OrderTwoMakesNoZeros) {
    const CalcRun r = run({"design", "--f0", "1000", "--zeros", "1020", "2", "10", "0.01"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("a folded filter of order 2 makes no transmission zeros"),
              std::string::npos)
        << r.err;
}

// The response as CSV: its header, 801 rows by default, |S21| far down at
// the zero's row.
TEST(DesignCommand, ResponseAsCsv) {
    const CalcRun r = run({"design", "--f0", "1000", "--zeros", "1012", "--csv", "--span", "24",
                           "--points", "25", "4", "10", "0.01"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "f_mhz,s11_db,s21_db");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        if (line.rfind("1012,", 0) == 0) {
            EXPECT_LT(std::stod(line.substr(line.rfind(',') + 1)), -100) << line;
        }
    }
    EXPECT_EQ(rows, 25);
}

TEST(DesignCommand, Refusals) {
    const RefusalRow rows[] = {
        {"a zero in the band", {"--zeros", "1002"}, 2, "is inside the band (995.012 to 1005.013"},
        {"a zero just inside the upper edge", {"--zeros", "1005"}, 2, "inside the band"},
        {"a zero below 0 MHz", {"--zeros", "-20"}, 2, "is not above 0 MHz"},
        {"more zeros than folded makes", {"--zeros", "980,1020,1030"}, 2, "at most 2"},
        {"zeros for inline", {"--zeros", "1020", "--topology", "inline"}, 2, "no transmission"},
        {"an unknown topology", {"--topology", "ring"}, 2, "got 'ring'"},
        {"zeros that are not numbers", {"--zeros", "1020,,1030"}, 2, "separated by commas"},
        {"two formats", {"--json", "--csv"}, 2, "exclude each other"},
        {"no f0", {}, 2, "--f0"},
        {"cq zeros not a pair", {"--zeros", "985,1012", "--topology", "cq"}, 2, "symmetric pairs"},
        {"a list beyond the order",
         {"--zeros", "1012", "--topology", "1-2,2-3,3-4,2-5"},
         2,
         "names resonator 5; the order is 4"},
    };
    for (const RefusalRow &row : rows) {
        std::vector<std::string_view> args{"design"};
        if (std::string_view(row.name) != "no f0")
            args.insert(args.end(), {"--f0", "1000"});
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"4", "10", "0.01"});
        const CalcRun r = run(args);
        EXPECT_EQ(r.status, row.status) << row.name;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << row.name;
    }
}

} // namespace
