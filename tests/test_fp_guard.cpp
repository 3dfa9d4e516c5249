#include "expect_error.h"
#include "lowpass_prototype/fp_guard.h"
#include "table_test.h"

#include <limits>

using namespace varnel;
using varnel::testing::errorOf;
using varnel::testing::kDivisionByZero;
using varnel::testing::kOverflow;

namespace {

using varnel::testing::PrintTo;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double huge = std::numeric_limits<double>::max();

struct GuardCase {
    const char *name;
    double (*step)(FpGuard &);
    std::optional<int> error;
};

const GuardCase guardCases[] = {
    {"finite_quotient", [](FpGuard &g) { return g.div(1.0, 3.0); }, std::nullopt},
    {"one_over_zero", [](FpGuard &g) { return g.div(1.0, 0.0); }, kDivisionByZero},
    {"minus_one_over_minus_zero", [](FpGuard &g) { return g.div(-1.0, -0.0); }, kDivisionByZero},
    {"zero_over_zero_is_invalid", [](FpGuard &g) { return g.div(0.0, 0.0); }, kOverflow},
    {"inf_over_zero_raises_nothing", [](FpGuard &g) { return g.div(inf, 0.0); }, std::nullopt},
    {"inf_over_inf_is_invalid", [](FpGuard &g) { return g.div(inf, inf); }, kOverflow},
    {"quotient_overflows", [](FpGuard &g) { return g.div(huge, 0.5); }, kOverflow},
    {"product_overflows", [](FpGuard &g) { return g.mul(huge, 2.0); }, kOverflow},
    {"zero_times_inf_is_invalid", [](FpGuard &g) { return g.mul(0.0, inf); }, kOverflow},
    {"sum_overflows", [](FpGuard &g) { return g.add(huge, huge); }, kOverflow},
    {"inf_minus_inf_is_invalid", [](FpGuard &g) { return g.sub(inf, inf); }, kOverflow},
    {"underflow_is_ignored", [](FpGuard &g) { return g.mul(1e-300, 1e-300); }, std::nullopt},
    // Flags are sticky within a step: a division by zero early in the step
    // decides even though the step's final value is finite.
    {"sticky_division_by_zero", [](FpGuard &g) { return g.div(10.0, g.div(2.0, 0.0)); },
     kDivisionByZero},
    // Division by zero outranks an invalid operation in the same step.
    {"division_by_zero_outranks_invalid",
     [](FpGuard &g) { return g.add(g.div(1.0, 0.0), g.div(0.0, 0.0)); }, kDivisionByZero},
};

class GuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardTest, RaisesWhatTheStepsFlagsCallFor) {
    FpGuard guard;
    const double value = GetParam().step(guard);
    EXPECT_EQ(errorOf(guard.result(value)), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Steps, GuardTest, ::testing::ValuesIn(guardCases),
                         varnel::testing::RowName());

TEST(RunTimeErrorTest, CarriesNumberAndDescription) {
    EXPECT_EQ(RunTimeError::overflow().number(), 6);
    EXPECT_EQ(RunTimeError::overflow().description(), "Overflow");
    EXPECT_EQ(RunTimeError::divisionByZero().number(), 11);
    EXPECT_EQ(RunTimeError::divisionByZero().description(), "Division by zero");
}

} // namespace
