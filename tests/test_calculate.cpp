#include "calculation/calculate.h"
#include "expect_error.h"
#include "table_test.h"

#include <optional>

using namespace varnel;
using varnel::testing::errorOf;
using varnel::testing::kDivisionByZero;
using varnel::testing::kOverflow;

namespace {

using varnel::testing::PrintTo;

// The worked example with the window's initial texts, step by step.
TEST(CalculateWorkedExample, EveryIntermediateValue) {
    const Result<Calculation> result =
        calculateSteps(initialText::order, initialText::bandwidth, initialText::ripple);
    ASSERT_TRUE(result);
    const Calculation &c = *result;
    EXPECT_EQ(c.n, 5);
    EXPECT_EQ(c.a1, 0.3090173126374534);
    EXPECT_EQ(c.ripple, 0.01);
    EXPECT_EQ(c.gamma, 0.8171335707018278);
    EXPECT_EQ(c.bandwidth, 10.0);
    EXPECT_EQ(c.g1, 0.7563446753804071);
    EXPECT_EQ(c.quotient, 13.2214852903809); // not 13.221485290380942
    EXPECT_EQ(c.delay, 48.14890203471687);
    EXPECT_EQ(c.text, "48.149");
}

// The bandwidth is read as typed: no fifteen-digit rounding.
TEST(CalculateRounding, BandwidthIsNotRounded) {
    EXPECT_EQ(calculateSteps("5", "10.000000000000002", "0.01")->bandwidth, 10.000000000000002);
}

// The ripple is rounded to 15 digits before it reaches gamma.
TEST(CalculateRounding, RippleIsRounded) {
    EXPECT_EQ(calculateSteps("5", "10", "0.010000000000000002")->ripple, 0.01);
}

// The order is rounded to 15 digits before ties-to-even: 3.4999999999999996
// becomes 3.5 and then 4 (without the rounding it would be 3); 2.4999999999999996
// becomes 2.5 and then the even 2.
TEST(CalculateRounding, OrderIsRoundedBeforeConversion) {
    EXPECT_EQ(calculateSteps("2.4999999999999996", "10", "0.01")->n, 2);
    EXPECT_EQ(calculateSteps("3.4999999999999996", "10", "0.01")->n, 4);
}

struct CalculateCase {
    const char *name;
    const char *order;
    const char *bandwidth;
    const char *ripple;
    const char *text; // nullptr: error
    int error = 0;
};

const CalculateCase calculateCases[] = {
    {"initial_texts", "   5", "   10", "  0.01", "48.149"},
    {"order_3", "3", "10", "0.01", "40.054"},
    {"ripple_0_1", "5", "10", "0.1", "73.008"},
    {"bandwidth_20", "5", "20", "0.01", "24.074"},
    {"order_1", "1", "10", "0.01", "6.113"},
    {"order_7", "7", "5", "0.05", "131.725"},
    {"negative_ripple", "5", "10", "-0.01", "392.786"},
    {"negative_bandwidth", "5", "-10", "0.01", "-48.149"},
    {"order_4_5_to_even", "4.5", "10", "0.01", "45.382"},
    {"order_5_5_to_even", "5.5", "10", "0.01", "49.742"},
    {"negative_order", "-5", "10", "0.01", "48.149"},
    {"bandwidth_with_unit", "5", "10MHz", "0.01", "48.149"},
    {"bandwidth_with_comma", "5", "1,5", "0.01", "481.489"},
    {"wide_band_below_one", "5", "1000", "0.01", ".481"},
    {"huge_bandwidth_rounds_to_zero", "5", "1e306", "0.01", "0."},

    // Failure table.
    {"order_overflow", "40000", "10", "0.01", nullptr, kOverflow},
    {"order_32767_5_overflows", "32767.5", "10", "0.01", nullptr, kOverflow},
    {"order_empty", "", "10", "0.01", nullptr, kDivisionByZero},
    {"order_0_5_is_zero", "0.5", "10", "0.01", nullptr, kDivisionByZero},
    {"order_not_numeric", "abc", "10", "0.01", nullptr, kDivisionByZero},
    {"ripple_empty", "5", "10", "", nullptr, kDivisionByZero},
    {"ripple_tiny", "5", "10", "9e-16", nullptr, kDivisionByZero},
    {"ripple_too_large", "5", "10", "13000", nullptr, kOverflow},
    {"ripple_gamma_zero", "5", "10", "400", nullptr, kDivisionByZero},
    {"bandwidth_quotient_overflows", "5", "1.4e308", "0.01", nullptr, kOverflow},
    {"bandwidth_empty", "5", "", "0.01", nullptr, kDivisionByZero},
    {"bandwidth_not_numeric", "5", "MHz", "0.01", nullptr, kDivisionByZero},
    {"bandwidth_tiny_delay_overflows", "5", "2e-306", "0.01", nullptr, kOverflow},
    {"order_text_beyond_range", "1e400", "10", "0.01", nullptr, kOverflow},
    {"ripple_text_beyond_range", "5", "10", "1e400", nullptr, kOverflow},
    {"bandwidth_text_beyond_range", "5", "1e400", "0.01", nullptr, kOverflow},

    // The first failing step decides.
    {"order_overflow_before_empty_bandwidth", "40000", "", "", nullptr, kOverflow},
    {"order_zero_before_ripple_overflow", "0", "10", "13000", nullptr, kDivisionByZero},
    {"order_zero_before_bandwidth_overflow", "0", "1e400", "0.01", nullptr, kDivisionByZero},
    {"ripple_overflow_before_zero_bandwidth", "5", "0", "13000", nullptr, kOverflow},
    {"ripple_text_overflow_before_bandwidth", "5", "", "1e400", nullptr, kOverflow},
    {"ripple_zero_before_bandwidth_overflow", "5", "1e400", "0", nullptr, kDivisionByZero},
    {"bandwidth_overflow_before_gamma_zero", "5", "1e400", "400", nullptr, kOverflow},
    // gamma = 0 divides first; bandwidth 0 would only fail at the delay.
    {"gamma_zero_with_zero_bandwidth", "5", "0", "400", nullptr, kDivisionByZero},
    {"gamma_zero_with_huge_bandwidth", "5", "1e308", "400", nullptr, kDivisionByZero},
};

class CalculateTest : public ::testing::TestWithParam<CalculateCase> {};

TEST_P(CalculateTest, GivesResultTextOrError) {
    const auto &param = GetParam();
    if (param.text) {
        const Result<std::string> got = calculate(param.order, param.bandwidth, param.ripple);
        ASSERT_EQ(errorOf(got), std::nullopt);
        EXPECT_EQ(*got, param.text);
    } else {
        EXPECT_EQ(errorOf(calculate(param.order, param.bandwidth, param.ripple)), param.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, CalculateTest, ::testing::ValuesIn(calculateCases),
                         varnel::testing::RowName());

// The delay is inversely proportional to the bandwidth and keeps its sign.
TEST(CalculateProperties, NegativeBandwidthMirrorsPositive) {
    for (const char *bw : {"0.3", "7", "26.9", "150", "3000"}) {
        const std::string positive = *calculate("6", bw, "0.05");
        EXPECT_EQ(*calculate("6", std::string("-") + bw, "0.05"), "-" + positive) << bw;
    }
}

} // namespace
