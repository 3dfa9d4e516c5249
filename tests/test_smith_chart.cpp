// The Smith chart's mapping and grid against their closed forms.
#include "tuning/smith_chart.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace varnel;
using Complex = std::complex<double>;

namespace {

struct ImpedanceRow {
    const char *name;
    Complex ohms, gamma;
};

TEST(SmithChart, WorkedExampleAndClosedForms) {
    const ImpedanceRow rows[] = {
        {"matched_load", {50, 0}, {0, 0}},     {"100_ohm", {100, 0}, {1.0 / 3, 0}},
        {"25_ohm", {25, 0}, {-1.0 / 3, 0}},    {"short", {0, 0}, {-1, 0}},
        {"50_plus_j50", {50, 50}, {0.2, 0.4}}, {"j50_inductor", {0, 50}, {0, 1}}};
    for (const ImpedanceRow &row : rows) {
        EXPECT_LT(std::abs(reflectionOf(row.ohms, 50) - row.gamma), 1e-15) << row.name;
        const auto back = impedanceOf(row.gamma, 50);
        ASSERT_TRUE(back) << row.name;
        EXPECT_LT(std::abs(*back - row.ohms), 1e-12) << row.name;
    }
    EXPECT_FALSE(impedanceOf({1, 0}, 50)); // open
}

// Every grid point lies on its own circle (its r or x read back) and within
// the chart; each x arc starts on the rim and ends at Gamma = 1.
TEST(SmithChart, GridLinesAreTheirCircles) {
    const std::vector<SmithLine> grid = smithGrid(61);
    EXPECT_EQ(grid.size(), 6u + 10u + 1u);
    for (const SmithLine &line : grid) {
        for (const Complex &g : line.points) {
            EXPECT_LE(std::abs(g), 1 + 1e-12);
            if (std::abs(g - Complex(1, 0)) < 1e-6)
                continue;
            const Complex z = (1.0 + g) / (1.0 - g);
            EXPECT_NEAR(line.reactance ? z.imag() : z.real(), line.value, 1e-9)
                << (line.reactance ? "x " : "r ") << line.value;
        }
        if (line.reactance && line.value != 0) {
            EXPECT_NEAR(std::abs(line.points.front()), 1, 1e-12);
            EXPECT_EQ(line.points.back(), Complex(1, 0));
        }
    }
    // r = 1 passes through the centre.
    double nearest = 1;
    for (const Complex &g : grid[3].points)
        nearest = std::min(nearest, std::abs(g));
    EXPECT_LT(nearest, 1e-12);
}

} // namespace
