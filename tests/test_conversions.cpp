#include "calculation/conversions.h"
#include "expect_error.h"
#include "table_test.h"

#include <limits>
#include <optional>

using namespace varnel;
using varnel::testing::expectValueOrOverflow;

namespace {

using varnel::testing::PrintTo;

// ---- leading-number reading ----

struct ReadCase {
    const char *name;
    std::string text;
    std::optional<double> value; // nullopt: Overflow
};

const ReadCase readCases[] = {
    {"initial_order", "   5", 5},
    {"initial_ripple", "  0.01", 0.01},
    {"initial_bandwidth", "   10", 10},
    {"blank_between_digits", "1 0", 10},
    {"tab_and_line_feed_removed", "\t1\n0\t", 10},
    {"blanks_around_sign_and_exponent", " - 1 . 5 e 2 ", -150},
    {"unit_ends_number", "10MHz", 10},
    {"comma_ends_number", "1,5", 1},
    {"second_point_ends_number", "1.2.3", 1.2},
    {"carriage_return_ends_number", "1\r0", 1},
    {"empty", "", 0},
    {"letters", "abc", 0},
    {"lone_minus", "-", 0},
    {"lone_point", ".", 0},
    {"sign_then_letter", "-x5", 0},
    {"double_sign", "--5", 0},
    {"leading_plus", "+7", 7},
    {"point_five", ".5", 0.5},
    {"minus_point_five", "-.5", -0.5},
    {"five_point", "5.", 5},
    {"exponent_lower", "1e3", 1000},
    {"exponent_upper", "1E3", 1000},
    {"exponent_signed", "25e-1", 2.5},
    {"exponent_without_digits", "1e", 1},
    {"exponent_sign_without_digits", "1e+x", 1},
    {"exponent_needs_mantissa", "e5", 0},
    {"point_exponent_needs_mantissa", ".e5", 0},
    {"d_is_not_an_exponent", "1d3", 1},
    {"decibel_unit", "0.01dB", 0.01},
    {"hex_prefix_not_read", "&H10", 0},
    {"full_width_digit_ends_number", "1\xEF\xBC\x92", 1},
    {"nul_ends_number",
     std::string("3\0"
                 "4",
                 3),
     3},
    {"long_mantissa_correctly_rounded", "0.1000000000000000055511151231257827", 0.1},
    {"many_leading_zeros", "0000000000000000000000000000000012", 12},
    {"huge_exponent_digits", "1e0000000000000000000003", 1000},
    {"largest_double", "1.7976931348623157e308", std::numeric_limits<double>::max()},
    {"beyond_double_range", "1e400", std::nullopt},
    {"beyond_double_range_negative", "-1e400", std::nullopt},
    {"just_beyond_largest", "1.7976931348623159e308", std::nullopt},
    {"many_digits_beyond_range", std::string(400, '9'), std::nullopt},
    {"too_small_reads_zero", "1e-400", 0},
    {"tiny_exponent_reads_zero", "1e-99999999999999999999999", 0},
    {"subnormal", "4.9e-324", 4.9406564584124654e-324},
};

class ReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTest, ReadsLeadingNumber) {
    expectValueOrOverflow(readLeadingNumber(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadTest, ::testing::ValuesIn(readCases),
                         varnel::testing::RowName());

// ---- fifteen-digit rounding ----

struct RoundCase {
    const char *name;
    double value;
    std::optional<double> rounded;
};

const RoundCase roundCases[] = {
    {"sum_becomes_nearest_to_0_3", 0.1 + 0.2, 0.3},
    {"worked_example_quotient", 13.221485290380942, 13.2214852903809},
    {"fifteen_digits_pass", 123456789012345.0, 123456789012345.0},
    {"sixteen_digits_round_up", 1234567890123456.0, 1234567890123460.0},
    {"sixteen_digits_tie_to_even", 1234567890123465.0, 1234567890123460.0},
    {"negative", -(0.1 + 0.2), -0.3},
    {"zero", 0.0, 0.0},
    {"tiny", 1.2345678901234567e-300, 1.23456789012346e-300},
    {"largest_double", std::numeric_limits<double>::max(), std::nullopt},
    {"near_largest", 1.79769313486231e308, 1.79769313486231e308},
};

class RoundTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundTest, RoundsToFifteenSignificantDigits) {
    expectValueOrOverflow(roundToFifteenDigits(GetParam().value), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundTest, ::testing::ValuesIn(roundCases),
                         varnel::testing::RowName());

// ---- order conversion ----

struct OrderCase {
    const char *name;
    double value;
    std::optional<int> order;
};

const OrderCase orderCases[] = {
    {"two_and_half_to_even", 2.5, 2},
    {"three_and_half_to_even", 3.5, 4},
    {"minus_two_and_half", -2.5, -2},
    {"four_and_half", 4.5, 4},
    {"five_and_half", 5.5, 6},
    {"just_above_half", 4.500000001, 5},
    {"just_below_half", 4.499999999, 4},
    {"minus_zero_point_four", -0.4, 0},
    {"top", 32767.4, 32767},
    {"top_half_overflows", 32767.5, std::nullopt},
    {"forty_thousand", 40000, std::nullopt},
    {"bottom", -32768.0, -32768},
    {"bottom_half_to_even", -32768.5, -32768},
    {"below_bottom", -32769, std::nullopt},
    {"huge", 1e300, std::nullopt},
};

class OrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(OrderTest, RoundsHalfToEvenWithinSixteenBits) {
    expectValueOrOverflow(convertOrder(GetParam().value), GetParam().order);
}

INSTANTIATE_TEST_SUITE_P(Values, OrderTest, ::testing::ValuesIn(orderCases),
                         varnel::testing::RowName());

// ---- result formatting ----

struct FormatCase {
    const char *name;
    double value;
    const char *text;
};

const FormatCase formatCases[] = {
    {"typical", 48.1489, "48.149"},
    {"negative", -48.1489, "-48.149"},
    {"below_one_has_no_leading_zero", 0.5, ".5"},
    {"half_away_from_zero", 0.0625, ".063"},
    {"negative_half_away_from_zero", -0.0625, "-.063"},
    {"trailing_zeros_removed", 2.5, "2.5"},
    {"whole_number_keeps_point", 12, "12."},
    {"rounds_up", 131.7246, "131.725"},
    {"no_grouping", 1234567.8, "1234567.8"},
    {"carry_into_whole", 0.9996, "1."},
    {"carry_adds_digit", 999.9999, "1000."},
    {"half_judged_on_fifteen_digits", 1.0005, "1.001"},
    {"below_half", 1.00049, "1."},
    {"smallest_shown", 0.0005, ".001"},
    {"rounds_to_zero", 0.0004, "0."},
    {"negative_rounds_to_zero_has_no_sign", -0.0004, "0."},
    {"zero", 0.0, "0."},
    {"no_exponent_for_large", 1e20, "100000000000000000000."},
    {"digits_beyond_fifteen_are_zeros", 1.2345678901234567e18, "1234567890123460000."},
    {"twelve_whole_digits", 123456789012.3456, "123456789012.346"},
    {"worked_example", 48.14890203471687, "48.149"},
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, WritesPattern) {
    EXPECT_EQ(*formatResult(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FormatTest, ::testing::ValuesIn(formatCases),
                         varnel::testing::RowName());

TEST(FormatLimits, LargestDoubleHasNoExponent) {
    const std::string text = *formatResult(std::numeric_limits<double>::max());
    EXPECT_EQ(text.size(), 310u);
    EXPECT_EQ(text.substr(0, 15), "179769313486232");
    EXPECT_EQ(text.find_first_not_of('0', 15), 309u);
    EXPECT_EQ(text.back(), '.');
}

} // namespace
