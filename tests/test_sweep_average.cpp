#include "tuning/sweep_average.h"

#include <gtest/gtest.h>

using namespace varnel;

namespace {

std::shared_ptr<const Network> sweep(std::vector<double> fMHz,
                                     std::vector<std::complex<double>> values, int ports = 1) {
    auto n = std::make_shared<Network>();
    n->ports = ports;
    n->frequencyMHz = std::move(fMHz);
    n->values = std::move(values);
    return n;
}

// The header's worked example.
TEST(SweepAverage, WorkedExample) {
    SweepAverage average(4);
    const double expected[] = {0.1, 0.15, 0.2, 0.25, 0.35};
    const std::size_t counts[] = {1, 2, 3, 4, 4};
    for (int k = 0; k < 5; ++k) {
        const auto mean = average.add(sweep({1000}, {0.1 * (k + 1)}));
        EXPECT_NEAR(mean->values[0].real(), expected[k], 1e-15) << "sweep " << k + 1;
        EXPECT_EQ(average.count(), counts[k]);
    }
    const auto moved = average.add(sweep({1001}, {0.7}));
    EXPECT_EQ(moved->values[0], std::complex<double>(0.7));
    EXPECT_EQ(average.count(), 1u);
}

// Complex, not magnitude: two sweeps of opposite phase average to zero;
// N sweeps of a + k b average to a + b (N + 1) / 2 (closed form), at every
// point and parameter of a 2-port.
TEST(SweepAverage, ComplexAndEveryParameter) {
    SweepAverage opposite(2);
    opposite.add(sweep({1, 2}, {{0, 0.5}, {0.5, 0}}));
    const auto zero = opposite.add(sweep({1, 2}, {{0, -0.5}, {-0.5, 0}}));
    EXPECT_EQ(std::abs(zero->values[0]), 0);
    EXPECT_EQ(std::abs(zero->values[1]), 0);

    const int n = 16;
    SweepAverage average(n);
    const std::complex<double> a(0.25, -0.5), b(0.001, 0.002);
    std::shared_ptr<const Network> mean;
    for (int k = 1; k <= n; ++k)
        mean = average.add(
            sweep({1000, 1001}, std::vector<std::complex<double>>(8, a + double(k) * b), 2));
    for (const auto &v : mean->values)
        EXPECT_NEAR(std::abs(v - (a + b * ((n + 1) / 2.0))), 0, 1e-15);
    EXPECT_EQ(mean->ports, 2);
}

// A smaller depth keeps the newest; a different parameter or port count
// starts afresh as a different grid does.
TEST(SweepAverage, DepthAndRestarts) {
    SweepAverage average(8);
    for (int k = 1; k <= 8; ++k)
        average.add(sweep({1000}, {double(k)}));
    average.setDepth(2);
    EXPECT_EQ(average.count(), 2u);
    EXPECT_EQ(average.add(sweep({1000}, {9.0}))->values[0], std::complex<double>(8.5));
    auto s21 = std::make_shared<Network>(*sweep({1000}, {1.0}));
    s21->only = SParameter{2, 1};
    average.add(s21);
    EXPECT_EQ(average.count(), 1u);
    average.add(sweep({1000}, {1.0, 2.0, 3.0, 4.0}, 2));
    EXPECT_EQ(average.count(), 1u);
}

} // namespace

#include "tuning/tolerance_band.h"

namespace {

using Stretches = std::vector<std::pair<std::size_t, std::size_t>>;

// The tolerance band's header example, and the edges of a stretch.
TEST(ToleranceBand, StretchesOutside) {
    const ToleranceBand band = toleranceBand({100, 100, 100, 100}, {100, 103, 97, 101}, 2);
    EXPECT_EQ(band.lowerNs, (std::vector<double>{98, 98, 98, 98}));
    EXPECT_EQ(band.upperNs, (std::vector<double>{102, 102, 102, 102}));
    EXPECT_EQ(band.outside, (Stretches{{1, 3}}));
    const struct {
        const char *name;
        std::vector<double> measured;
        Stretches outside;
    } rows[] = {
        {"all_in", {99, 101, 100, 98.5}, {}},
        {"first_and_last", {90, 100, 100, 110}, {{0, 1}, {3, 4}}},
        {"on_the_edge_is_in", {98, 102, 100, 100}, {}},
        {"not_a_number_breaks_nothing", {90, NAN, 90, 100}, {{0, 1}, {2, 3}}},
        {"all_out", {0, 0, 200, 200}, {{0, 4}}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(toleranceBand({100, 100, 100, 100}, row.measured, 2).outside, row.outside)
            << row.name;
}

} // namespace
