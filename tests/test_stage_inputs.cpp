// The one rule set for stage inputs, which both faces use: each row gives
// texts and the problems they must raise (field and kind, in order), with
// varnel-calc's message for the first.
#include "number_text/number_text.h"
#include "table_test.h"
#include "tuning/stage_inputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnel;

namespace {

struct InputRow {
    const char *name;
    StageInputTexts texts;
    std::vector<std::pair<InputField, InputProblem::Kind>> problems;
    const char *firstMessage; // problemText of the first, named "--x"
};
using varnel::testing::PrintTo;

StageInputTexts with(void (*change)(StageInputTexts &)) {
    StageInputTexts texts;
    texts.f0 = "1000";
    change(texts);
    return texts;
}

const InputRow inputRows[] = {
    {"defaults_read", with([](StageInputTexts &) {}), {}, ""},
    {"worked_example_two_problems",
     with([](StageInputTexts &t) {
         t.f0 = "-3";
         t.tolerance = "0,1";
     }),
     {{InputField::F0, InputProblem::NotAboveZero},
      {InputField::Tolerance, InputProblem::NotANumber}},
     "--x needs a number above 0, got '-3'"},
    {"f0_text",
     with([](StageInputTexts &t) { t.f0 = "abc"; }),
     {{InputField::F0, InputProblem::NotANumber}},
     "--x needs a number above 0, got 'abc'"},
    {"f0_below_one_and_a_half_bandwidths_reads",
     with([](StageInputTexts &t) { t.f0 = "12"; }),
     {},
     ""},
    {"qu_zero",
     with([](StageInputTexts &t) { t.qu = "0"; }),
     {{InputField::Qu, InputProblem::NotAboveZero}},
     "--x needs a number above 0, got '0'"},
    {"stage_beyond_order",
     with([](StageInputTexts &t) { t.stage = "6"; }),
     {{InputField::Stage, InputProblem::OutOfRange}},
     "--x needs a whole number from 1 to 5, got '6'"},
    {"stage_not_whole",
     with([](StageInputTexts &t) { t.stage = "2.5"; }),
     {{InputField::Stage, InputProblem::OutOfRange}},
     "--x needs a whole number from 1 to 5, got '2.5'"},
    {"order_refused",
     with([](StageInputTexts &t) { t.order = "101"; }),
     {{InputField::Order, InputProblem::TableRefused}},
     "a tuning table needs an order from 1 to 100; the order reads as 101"},
    {"ripple_refused",
     with([](StageInputTexts &t) { t.ripple = "-0.01"; }),
     {{InputField::Ripple, InputProblem::TableRefused}},
     "a tuning table needs a positive ripple in dB; the ripple reads as -0.01"},
    // A run-time error keeps the calculator's words and names the option
    // given (varnel-calc gives none for the fields).
    {"bandwidth_division_by_zero",
     with([](StageInputTexts &t) { t.bandwidth = ""; }),
     {{InputField::Order, InputProblem::RunTime}},
     "error 11: Division by zero (--x '5')"},
    // Couplings that overflow only with f0 are f0's run-time error.
    {"f0_overflows_the_couplings",
     with([](StageInputTexts &t) { t.f0 = "1e-320"; }),
     {{InputField::F0, InputProblem::RunTime}},
     "error 6: Overflow (--x '1e-320')"},
    {"resonator_word",
     with([](StageInputTexts &t) { t.resonator = "quarter-wave"; }),
     {{InputField::Resonator, InputProblem::NotAResonator}},
     "--x needs lumped, coaxial, waveguide or auto, got 'quarter-wave'"},
    {"waveguide_cutoff_given",
     with([](StageInputTexts &t) {
         t.resonator = "Waveguide";
         t.cutoff = "700";
     }),
     {},
     ""},
    {"cutoff_at_f0",
     with([](StageInputTexts &t) {
         t.resonator = "waveguide";
         t.cutoff = "1000";
     }),
     {{InputField::Cutoff, InputProblem::NotBelowF0}},
     "--x needs a number below f0, got '1000'"},
    {"cutoff_negative",
     with([](StageInputTexts &t) {
         t.resonator = "waveguide";
         t.cutoff = "-700";
     }),
     {{InputField::Cutoff, InputProblem::NotAboveZero}},
     "--x needs a number above 0, got '-700'"},
    {"cutoff_without_waveguide",
     with([](StageInputTexts &t) { t.cutoff = "700"; }),
     {{InputField::Cutoff, InputProblem::NotForKind}},
     "--x counts for waveguide resonators only, got '700'"},
    {"parameter",
     with([](StageInputTexts &t) { t.parameter = "S51"; }),
     {{InputField::Parameter, InputProblem::NotAParameter}},
     "--x needs an S-parameter such as S11 or S21, got 'S51'"},
    {"aperture",
     with([](StageInputTexts &t) { t.aperture = "3kHz"; }),
     {{InputField::Aperture, InputProblem::NotAnAperture}},
     "--x needs a number of steps (2), a percentage of the span (5%) or a width in MHz "
     "(1.5MHz), got '3kHz'"},
    {"edelay_any_sign", with([](StageInputTexts &t) { t.electricalDelay = "-3.5"; }), {}, ""},
    {"edelay_text",
     with([](StageInputTexts &t) { t.electricalDelay = "3ns"; }),
     {{InputField::ElectricalDelay, InputProblem::NotANumber}},
     "--x needs a number, got '3ns'"},
    {"tolerance_zero",
     with([](StageInputTexts &t) { t.tolerance = "0"; }),
     {{InputField::Tolerance, InputProblem::NotAboveZero}},
     "--x needs a number above 0, got '0'"},
    {"zeros_of_a_folded_design_read",
     with([](StageInputTexts &t) { t.zeros = " 985, 1015 "; }),
     {},
     ""},
    {"inline_topology_alone_reads",
     with([](StageInputTexts &t) { t.topology = "inline"; }),
     {},
     ""},
    {"zero_not_a_number",
     with([](StageInputTexts &t) { t.zeros = "985,x"; }),
     {{InputField::Zeros, InputProblem::NotAZero}},
     "--x takes frequencies in MHz separated by commas, got 'x'"},
    {"empty_zero_between_commas",
     with([](StageInputTexts &t) { t.zeros = "985,,1015"; }),
     {{InputField::Zeros, InputProblem::NotAZero}},
     "--x takes frequencies in MHz separated by commas, got ''"},
    {"topology_unknown",
     with([](StageInputTexts &t) { t.topology = "star"; }),
     {{InputField::Topology, InputProblem::NotATopology}},
     "--x takes inline, folded, ct, cq or a list of couplings such as 1-2,2-3,1-3, got 'star'"},
    {"zero_below_zero_refused_by_the_design",
     with([](StageInputTexts &t) { t.zeros = "-5"; }),
     {{InputField::Zeros, InputProblem::DesignRefused}},
     "the zero at -5 MHz is not above 0 MHz"},
    {"zeros_of_an_inline_topology",
     with([](StageInputTexts &t) {
         t.zeros = "985";
         t.topology = "inline";
     }),
     {{InputField::Zeros, InputProblem::DesignRefused}},
     "an in-line filter makes no transmission zeros; give --topology folded"},
    {"list_beyond_the_order",
     with([](StageInputTexts &t) { t.topology = "1-2,2-3,3-4,4-5,5-6,1-6"; }),
     {{InputField::Topology, InputProblem::DesignRefused}},
     "the coupling list names resonator 6; the order is 5"},
};

class StageInputsTest : public ::testing::TestWithParam<InputRow> {};

TEST_P(StageInputsTest, ProblemsNameTheirFields) {
    const InputRow &row = GetParam();
    const StageInputsResult result = readStageInputs(row.texts);
    std::vector<std::pair<InputField, InputProblem::Kind>> got;
    for (const InputProblem &p : result.problems)
        got.emplace_back(p.field, p.kind);
    EXPECT_EQ(got, row.problems);
    EXPECT_EQ(result.inputs.has_value(), row.problems.empty());
    if (!result.problems.empty()) {
        EXPECT_EQ(problemText(result.problems.front(), "--x"), row.firstMessage);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StageInputsTest, ::testing::ValuesIn(inputRows),
                         varnel::testing::RowName());

// The worked example of the header: stage 2 of the order-5 table with the
// default sweep settings.
TEST(StageInputs, WorkedExample) {
    StageInputTexts texts;
    texts.f0 = "1000";
    texts.stage = "2";
    const StageInputsResult result = readStageInputs(texts);
    ASSERT_TRUE(result.inputs);
    const StageInputs &in = *result.inputs;
    EXPECT_EQ(in.table.stages.size(), 5u);
    EXPECT_EQ(in.stage, 2);
    EXPECT_EQ(in.check.stage, 2);
    EXPECT_EQ(in.check.f0, 1000);
    EXPECT_FALSE(in.qu);
    EXPECT_EQ(in.check.parameter.name(), "S11");
    EXPECT_EQ(in.check.aperture.kind, Aperture::Steps);
    EXPECT_EQ(in.check.aperture.value, 2);
    EXPECT_EQ(in.check.electricalDelayNs, 0);
    EXPECT_EQ(in.check.tolerancePercent, 2);
}

// The header's example of a design: zeros make a folded order-6 design
// (1-6 and 2-5 its cross-couplings); a zero in the band is the design's
// refusal, at the zeros' field.
TEST(StageInputs, WorkedExampleOfADesign) {
    StageInputTexts texts;
    texts.f0 = "1000";
    texts.order = "6";
    texts.zeros = "985,1015";
    const StageInputsResult result = readStageInputs(texts);
    ASSERT_TRUE(result.inputs);
    ASSERT_TRUE(result.inputs->design);
    const FilterDesign &design = *result.inputs->design;
    EXPECT_EQ(design.order, 6u);
    EXPECT_EQ(design.topology.topology, Topology::Folded);
    EXPECT_EQ(design.zerosMHz, (std::vector<double>{985, 1015}));
    EXPECT_NE(design.matrix.at(2, 5), 0);
    EXPECT_EQ(design.matrix.at(1, 3), 0);
    texts.zeros = "1002";
    const StageInputsResult inBand = readStageInputs(texts);
    ASSERT_EQ(inBand.problems.size(), 1u);
    EXPECT_EQ(inBand.problems[0].field, InputField::Zeros);
    ASSERT_TRUE(inBand.problems[0].designRefusal);
    EXPECT_EQ(inBand.problems[0].designRefusal->kind, DesignRefusal::ZeroInBand);
    // Without zeros or a topology the filter is the table's in-line one.
    texts.zeros.clear();
    EXPECT_FALSE(readStageInputs(texts).inputs->design);
}

TEST(StageInputs, DefaultSpanStaysAboveZero) {
    EXPECT_EQ(defaultSpan(10, 1000), 30);
    EXPECT_DOUBLE_EQ(defaultSpan(10, 12), 22.8);
    EXPECT_GT(12 - defaultSpan(10, 12) / 2, 0);
}

// Zero of either sign is written without a sign.
TEST(NumberText, ZeroHasNoSign) {
    EXPECT_EQ(formatShortest(-0.0), "0");
    EXPECT_EQ(formatShortest(-0.5), "-0.5");
    EXPECT_EQ(formatFixed(-0.001, 2), "0.00");
    EXPECT_EQ(formatFixed(-0.006, 2), "-0.01");
    // formatSigned's examples, and the rounding edges.
    const struct {
        double value;
        int decimals;
        const char *text;
    } rows[] = {{2, 3, "+2.000"},    {-0.147, 3, "-0.147"}, {0.001, 2, "0.00"}, {-0.001, 2, "0.00"},
                {0.006, 2, "+0.01"}, {-0.006, 2, "-0.01"},  {0.0, 1, "0.0"},    {12.5, 0, "+12"}};
    for (const auto &row : rows)
        EXPECT_EQ(formatSigned(row.value, row.decimals), row.text) << row.value;
    std::string row;
    appendCsvRow(row, {-0.0, 985, 10.5});
    EXPECT_EQ(row, "0,985,10.5\n");
}

} // namespace
