// varnel-calc timedomain: the numbers of the core's transform, as CSV and
// as dips, the electrical delay's direction, and its refusals.
#include "calc_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

using varnel::testing::CalcRun;
using varnel::testing::run;

std::string writeSweep(const std::string &name, const std::string &points) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << "# MHz S RI R 50\n" << points;
    return path;
}

// The CSV's rows as numbers.
std::vector<std::vector<double>> rowsOf(const std::string &csv) {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::vector<double> row;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ','))
            row.push_back(std::stod(cell));
        rows.push_back(row);
    }
    return rows;
}

// The core's worked example through the command: h(t) = cos(2 pi t / 1000 ns).
TEST(TimeDomainCommand, WorkedExampleAsCsvAndDips) {
    const std::string path = writeSweep("td_two.s1p", "999 1 0\n1001 1 0\n");
    const CalcRun csv = run({"timedomain", path, "--window", "rectangle", "--start", "0", "--stop",
                             "500", "--points", "13", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "t_ns,db,re,im");
    const auto rows = rowsOf(csv.out);
    ASSERT_EQ(rows.size(), 13u);
    for (const auto &row : rows) {
        const double h = std::cos(2 * std::numbers::pi * row[0] / 1000);
        EXPECT_NEAR(row[2], h, 1e-12) << row[0];
        EXPECT_NEAR(row[3], 0, 1e-12) << row[0];
        EXPECT_NEAR(row[1], std::max(-200.0, 20 * std::log10(std::abs(h))), 1e-6) << row[0];
    }
    const CalcRun dips = run({"timedomain", path, "--window", "rectangle", "--start", "0", "--stop",
                              "500", "--points", "13"});
    EXPECT_EQ(dips.status, 0);
    EXPECT_EQ(dips.out, "Time domain of " + path +
                            ": S11, window rectangle, 13 times from 0.0 to 500.0 ns\n"
                            "dip 1      250.0 ns   -200.0 dB\n");
}

// A line of 100 ns there and back: its echo at 100 ns, at 0 with the
// electrical delay removed.
TEST(TimeDomainCommand, ElectricalDelayMovesTheEchoToZero) {
    std::string points;
    for (int k = 0; k <= 400; ++k) {
        const double f = 980 + 0.1 * k, turn = -2 * std::numbers::pi * f * 100e-3;
        points += std::to_string(f) + " " + std::to_string(std::cos(turn)) + " " +
                  std::to_string(std::sin(turn)) + "\n";
    }
    const std::string path = writeSweep("td_line.s1p", points);
    for (auto [edelay, echo] : {std::pair{"0", 100.0}, std::pair{"100", 0.0}}) {
        const CalcRun r = run({"timedomain", path, "--edelay", edelay, "--start", "-50", "--stop",
                               "150", "--points", "201", "--csv"});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto rows = rowsOf(r.out);
        std::size_t peak = 0;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i][1] > rows[peak][1])
                peak = i;
        EXPECT_NEAR(rows[peak][0], echo, 1e-9) << "edelay " << edelay;
        EXPECT_NEAR(rows[peak][1], 0, 1e-4) << "edelay " << edelay;
    }
}

struct RefusalRow {
    const char *name;
    std::vector<std::string_view> options;
    const char *points;
    int status;
    const char *message; // after "varnel-calc: FILE: ", or the whole first line
};

class TimeDomainCommandRefusal : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(TimeDomainCommandRefusal, StatusAndMessage) {
    const RefusalRow &row = GetParam();
    const std::string path = writeSweep(std::string("td_") + row.name + ".s1p", row.points);
    std::vector<std::string_view> args = {"timedomain", path};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const CalcRun r = run(args);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, "");
    const std::string first = r.err.substr(0, r.err.find('\n'));
    const std::string named = row.status == 1 ? path + ": " : "";
    EXPECT_EQ(first, "varnel-calc: " + named + row.message);
}

const RefusalRow refusalRows[] = {
    {"uneven",
     {},
     "999 1 0\n1000 1 0\n1002 1 0\n",
     1,
     "the frequency steps change at point 2: a time-domain response needs an evenly spaced "
     "sweep"},
    {"one_point", {}, "1000 1 0\n", 1, "a time-domain response needs at least 2 sweep points"},
    {"window",
     {"--window", "kaiser:40"},
     "999 1 0\n1001 1 0\n",
     2,
     "--window 'kaiser:40' is not kaiser, kaiser:BETA (0 to 30), hann or rectangle"},
};

INSTANTIATE_TEST_SUITE_P(Sweeps, TimeDomainCommandRefusal, ::testing::ValuesIn(refusalRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TimeDomainCommand, RangeBeyondTheAliasIsAUsageError) {
    const std::string path = writeSweep("td_alias.s1p", "999 1 0\n1000 1 0\n1001 1 0\n");
    const CalcRun r = run({"timedomain", path, "--start", "0", "--stop", "2000"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varnel-calc: " + path +
                         ": the time range must run forwards and span at most the alias-free "
                         "range of 1000.0 ns (1 / the frequency step)\n");
    EXPECT_EQ(run({"timedomain", path, "--points", "1"}).status, 2);
}

} // namespace
