// The reader on a table of files: each read, or refused with its file, line
// and reason.
#include "number_text/number_text.h"
#include "table_test.h"
#include "touchstone/parser.h"
#include "touchstone/text_lines.h"
#include "touchstone/to_s.h"
#include "touchstone/touchstone.h"
#include "tuning/group_delay.h"
#include "tuning/stage_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;
using Complex = std::complex<double>;

struct ReaderRow {
    const char *name;
    const char *file;
    std::string text;
    std::string error; // the whole message; empty when the file reads
    int ports = 0;
    std::size_t points = 0;
    SParameter parameter{1, 1};
    Complex last{}; // the parameter at the last point
};

const std::string s2pLine = "1 0.1 0 0.2 0 0.3 0 0.4 0\n";

const ReaderRow readerRows[] = {
    // The header's worked example.
    {"worked_example",
     "lc.s1p",
     "! a resonator\n# MHz S DB R 50\n100  -6.0206  90\n101  -0.5  -45   ! comment\n",
     "",
     1,
     2,
     {1, 1},
     std::polar(std::pow(10, -0.5 / 20), -std::numbers::pi / 4)},
    {"worked_example_short_line", "lc.s1p",
     "! a resonator\n# MHz S DB R 50\n100 -6.0206 90\n101 -0.5\n",
     "lc.s1p:4: expected 3 numbers, found 2"},
    // Options.
    {"defaults_ghz_s_ma", "a.s1p", "1 0.5 90\n2 0.5 180\n", "", 1, 2, {1, 1}, {-0.5, 0}},
    {"options_any_order_and_case",
     "a.s1p",
     "# ri r 75 mHz s\n100 0.25 -0.5\n",
     "",
     1,
     1,
     {1, 1},
     {0.25, -0.5}},
    {"blanks_before_hash",
     "a.s1p",
     "  \t# MHz S RI\n100 0.25 0.5\n",
     "",
     1,
     1,
     {1, 1},
     {0.25, 0.5}},
    {"second_option_line_ignored",
     "a.s1p",
     "# MHz S RI\n# GHz S DB\n100 0.25 0.5\n",
     "",
     1,
     1,
     {1, 1},
     {0.25, 0.5}},
    {"unknown_option", "a.s1p", "# MHz S XY\n100 0.25 0.5\n",
     "a.s1p:1: unknown option 'XY' in the option line"},
    {"h_parameters", "a.s2p", "# MHz H RI\n" + s2pLine,
     "a.s2p:1: H parameters are not supported (only S, Y and Z)"},
    {"reference_needs_a_number", "a.s1p", "# MHz S RI R fifty\n100 0 0\n",
     "a.s1p:1: R needs a positive reference resistance, got 'fifty'"},
    // Layout of real files.
    {"byte_order_mark",
     "a.s1p",
     "\xEF\xBB\xBF# MHz S RI\n100 0.25 0.5\n",
     "",
     1,
     1,
     {1, 1},
     {0.25, 0.5}},
    {"crlf_on_some_lines",
     "a.s1p",
     "# MHz S RI\r\n100 0.25 0.5\r\n101 0.5 0.25\n",
     "",
     1,
     2,
     {1, 1},
     {0.5, 0.25}},
    {"tabs", "a.s1p", "#\tMHz\tS\tRI\n100\t0.25\t0.5\n", "", 1, 1, {1, 1}, {0.25, 0.5}},
    {"latin1_comment",
     "a.s1p",
     "! Me\xDF"
     "daten \xB5W\n# MHz S RI\n100 0.25 0.5 ! \xE9t\xE9\n",
     "",
     1,
     1,
     {1, 1},
     {0.25, 0.5}},
    {"no_final_newline", "a.s1p", "# MHz S RI\n100 0.25 0.5\n101 1 0", "", 1, 2, {1, 1}, {1, 0}},
    {"comments_and_blank_lines_between_data",
     "a.s1p",
     "# MHz S RI\n100 0.25 0.5\n\n! simulator note\n   \n101 1 0\n",
     "",
     1,
     2,
     {1, 1},
     {1, 0}},
    {"number_forms",
     "a.s1p",
     "# MHz S RI\n+1E2 .5 -5.\n1.01e+2 5e-1 -0\n",
     "",
     1,
     2,
     {1, 1},
     {0.5, 0}},
    {"tiny_number_reads_zero", "a.s1p", "# MHz S RI\n100 1e-400 0.5\n", "", 1, 1, {1, 1}, {0, 0.5}},
    // Two ports: N11 N21 N12 N22, a noise block after the network data.
    {"two_port_order", "a.s2p", "# MHz S RI\n1 11 0 21 0 12 0 22 0\n", "", 2, 1, {2, 1}, {21, 0}},
    {"noise_block_skipped",
     "a.s2p",
     "# MHz S RI\n1 11 0 21 0 12 0 22 0\n2 11 0 21 0 12 0 22 0\n! noise\n1 2.5 0.3 40 0.2\n2 2.6 "
     "0.3 41 0.2\n",
     "",
     2,
     2,
     {2, 2},
     {22, 0}},
    // The noise block holds lines of 5 numbers: a network line after a
    // repeated frequency is a mistake, not noise.
    {"repeated_frequency_then_network_lines", "a.s2p",
     "# MHz S RI\n1 11 0 21 0 12 0 22 0\n2 11 0 21 0 12 0 22 0\n2 11 0 21 0 12 0 22 0\n"
     "3 11 0 21 0 12 0 22 0\n",
     "a.s2p:4: expected a noise line of 5 numbers, found 9: is the frequency on line 4 "
     "repeated by mistake?"},
    {"noise_line_of_four_numbers", "a.s2p",
     "# MHz S RI\n1 11 0 21 0 12 0 22 0\n2 11 0 21 0 12 0 22 0\n1 2.5 0.3 40 0.2\n"
     "2 2.6 0.3 41\n",
     "a.s2p:5: expected a noise line of 5 numbers, found 4: is the frequency on line 4 "
     "repeated by mistake?"},
    // Text that is not ASCII or UTF-8 is named as what it is.
    {"utf16_little_endian", "a.s1p", std::string("\xFF\xFE#\0 \0M\0H\0z\0\n\0", 14),
     "a.s1p:1: the file is UTF-16 text (little-endian): save it as ASCII or UTF-8 text"},
    {"utf16_big_endian", "a.s1p", std::string("\xFE\xFF\0#\0 \0M\0\n", 10),
     "a.s1p:1: the file is UTF-16 text (big-endian): save it as ASCII or UTF-8 text"},
    {"utf32_little_endian", "a.s1p", std::string("\xFF\xFE\0\0#\0\0\0\n", 9),
     "a.s1p:1: the file is UTF-32 text (little-endian): save it as ASCII or UTF-8 text"},
    {"utf16_without_mark", "a.s1p", std::string("#\0 \0M\0H\0z\0\n", 11),
     "a.s1p:1: the first line holds NUL bytes: the file is UTF-16 or UTF-32 text, or not "
     "text: save it as ASCII or UTF-8 text"},
    {"point_wrapped_over_lines",
     "a.s2p",
     "# MHz S RI\n1 11 0 21 0\n12 0 22 0\n",
     "",
     2,
     1,
     {1, 2},
     {12, 0}},
    {"two_port_short_line", "lc.s2p",
     "# MHz S RI\n" + s2pLine + "2 1 2 3 4 5 6\n3 1 2 3 4 5 6 7 8\n",
     "lc.s2p:3: expected 9 numbers, found 7"},
    {"two_port_long_line", "lc.s2p", "# MHz S RI\n1 1 2 3 4 5 6 7 8 9 10\n",
     "lc.s2p:2: expected 9 numbers, found 11"},
    {"point_unfinished_at_end", "lc.s2p", "# MHz S RI\n" + s2pLine + "2 1 2 3 4",
     "lc.s2p:3: expected 9 numbers, found 5"},
    // Three and four ports, row by row.
    {"three_ports",
     "a.s3p",
     "# MHz S RI\n1 11 0 12 0 13 0\n 21 0 22 0 23 0\n 31 0 32 0 33 0\n",
     "",
     3,
     1,
     {3, 2},
     {32, 0}},
    {"four_ports",
     "a.s4p",
     "# MHz S MA\n1 1 0 2 0 3 0 4 0\n5 0 6 0 7 0 8 0\n9 0 10 0 11 0 12 0\n13 0 14 0 15 0 16 0\n",
     "",
     4,
     1,
     {4, 3},
     {15, 0}},
    {"three_port_extra_number", "a.s3p",
     "# MHz S RI\n1 11 0 12 0 13 0\n21 0 22 0 23 0 9\n31 0 32 0 33 0\n",
     "a.s3p:2: expected 19 numbers, found 20"},
    // Tokens that are not decimal numbers.
    {"nan", "a.s1p", "# MHz S RI\n100 nan 0\n", "a.s1p:2: 'nan' is not a number"},
    {"inf", "a.s1p", "# MHz S RI\n100 0 -inf\n", "a.s1p:2: '-inf' is not a number"},
    {"hexadecimal", "a.s1p", "# MHz S RI\n100 0x1p3 0\n", "a.s1p:2: '0x1p3' is not a number"},
    {"decimal_comma", "a.s1p", "# MHz S RI\n100 0,5 0\n", "a.s1p:2: '0,5' is not a number"},
    {"beyond_double_range", "a.s1p", "# MHz S RI\n100 1e400 0\n",
     "a.s1p:2: '1e400' is not a number"},
    {"decibels_beyond_range", "a.s2p", "# MHz S DB\n1 0 0 7000 0 0 0 0 0\n",
     "a.s2p:2: magnitude 7000 dB is beyond the double range"},
    // Frequencies.
    {"frequency_repeated", "a.s1p", "# MHz S RI\n100 0 0\n100 0 0\n",
     "a.s1p:3: frequency 100 MHz is not above the one before it"},
    {"frequency_falling", "a.s1p", "# MHz S RI\n100 0 0\n99 0 0\n",
     "a.s1p:3: frequency 99 MHz is not above the one before it"},
    {"negative_frequency", "a.s1p", "# MHz S RI\n-1 0 0\n", "a.s1p:2: -1 MHz is not a frequency"},
    // Files without data or ports.
    {"empty", "a.s1p", "", "a.s1p: no network data"},
    {"comments_only", "a.s1p", "! nothing\n# MHz S RI\n", "a.s1p: no network data"},
    {"ports_unknown", "sweep.txt", "# MHz S RI\n100 0 0\n",
     "sweep.txt:2: cannot tell the number of ports: a version 1 file is named .s1p to .s4p"},
    {"line_too_long", "a.s1p", "# MHz S RI\n100 0 0 " + std::string(1 << 20, ' ') + "\n",
     "a.s1p:2: line longer than 1 MiB"},
    // Z and Y, normalised to R in version 1: z = 2 gives S = 1/3, y = 0.5 too.
    {"z_one_port", "a.s1p", "# MHz Z RI R 75\n100 2 0\n", "", 1, 1, {1, 1}, {1.0 / 3, 0}},
    {"y_one_port", "a.s1p", "# MHz Y RI\n100 0.5 0\n", "", 1, 1, {1, 1}, {1.0 / 3, 0}},
    {"z_matched_load", "a.s1p", "# MHz Z RI\n100 1 0\n", "", 1, 1, {1, 1}, {0, 0}},
    {"z_open_circuit_has_no_s", "a.s1p", "# MHz Y RI\n100 -1 0\n",
     "a.s1p:2: Y matrix has no S equivalent at 100 MHz"},
    // Version 2.
    {"version2_data_order_12_21",
     "a.s2p",
     "[Version] 2.0\n# MHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Number of Frequencies] 2\n[Network Data]\n1 11 0 12 0 21 0 22 0\n2 11 0 12 0 21 0 22 0\n"
     "[Noise Data]\n1 2 3 4 5\n[End]\n",
     "",
     2,
     2,
     {2, 1},
     {21, 0}},
    {"version2_upper_matrix",
     "a.ts",
     "[Version] 2.1\n# MHz S RI\n[Number of Ports] 3\n[Matrix Format] Upper\n[Network Data]\n"
     "1 11 0 12 0 13 0\n22 0 23 0\n33 0\n[End]\n",
     "",
     3,
     1,
     {3, 2},
     {23, 0}},
    {"version2_lower_matrix",
     "a.ts",
     "[Version] 2.0\n# MHz S RI\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
     "[Matrix Format] Lower\n[Network Data]\n1 11 0 21 0 22 0\n[End]\n",
     "",
     2,
     1,
     {1, 2},
     {21, 0}},
    {"version2_reference_over_lines",
     "a.ts",
     "[Version] 2.0\n# MHz Z RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Reference] 100\n100\n[Network Data]\n1 200 0 0 0 0 0 100 0\n[End]\n",
     "",
     2,
     1,
     {1, 1},
     {1.0 / 3, 0}},
    {"version2_z_in_ohms",
     "a.ts",
     "[Version] 2.0\n# MHz Z RI R 50\n[Number of Ports] 1\n[Network Data]\n1 100 0\n[End]\n",
     "",
     1,
     1,
     {1, 1},
     {1.0 / 3, 0}},
    {"version2_frequency_count", "a.ts",
     "[Version] 2.0\n# MHz S RI\n[Number of Ports] 1\n[Number of Frequencies] 3\n[Network "
     "Data]\n1 0 0\n2 0 0\n[End]\n",
     "a.ts: [Number of Frequencies] is 3, the data has 2"},
    {"version2_data_before_network_data", "a.ts",
     "[Version] 2.0\n# MHz S RI\n[Number of Ports] 1\n1 0 0\n",
     "a.ts:4: data before [Network Data]"},
    {"version2_ports_changed_after_reference", "a.ts",
     "[Version] 2.0\n[Number of Ports] 1\n[Reference] 50\n[Number of Ports] 2\n[Network "
     "Data]\n1 0 0 0 0 0 0 0 0\n",
     "a.ts:6: [Reference] has 1 values for 2 ports"},
    {"version2_too_many_ports", "a.ts", "[Version] 2.0\n[Number of Ports] 5\n",
     "a.ts:2: 5 ports: only 1 to 4 are supported"},
    {"version2_bad_order", "a.ts", "[Version] 2.0\n[Number of Ports] 2\n[Two-Port Data Order] 11\n",
     "a.ts:3: [Two-Port Data Order] must be 12_21 or 21_12"},
    {"keyword_without_version", "a.s1p", "[Number of Ports] 1\n",
     "a.s1p:1: [Number of Ports] needs [Version] 2.0 or 2.1 first"},
    {"unknown_version", "a.ts", "[Version] 3.0\n",
     "a.ts:1: version '3.0' is not supported (1.1, 2.0, 2.1)"},
};

class ReaderTest : public ::testing::TestWithParam<ReaderRow> {};

TEST_P(ReaderTest, ReadsOrNamesFileLineAndReason) {
    const ReaderRow &row = GetParam();
    const auto result = readTouchstoneText(row.file, row.text);
    if (!row.error.empty()) {
        ASSERT_TRUE(std::holds_alternative<TouchstoneError>(result));
        EXPECT_EQ(std::get<TouchstoneError>(result).message(), row.error);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<Network>(result))
        << std::get<TouchstoneError>(result).message();
    const Network &n = std::get<Network>(result);
    EXPECT_EQ(n.ports, row.ports);
    ASSERT_EQ(n.size(), row.points);
    const Complex last = n.parameter(row.parameter).back();
    EXPECT_NEAR(last.real(), row.last.real(), 1e-12);
    EXPECT_NEAR(last.imag(), row.last.imag(), 1e-12);
    // Keeping one parameter gives the same values.
    const auto only = readTouchstoneText(row.file, row.text, ReadOptions{row.parameter});
    ASSERT_TRUE(std::holds_alternative<Network>(only));
    EXPECT_EQ(std::get<Network>(only).values, n.parameter(row.parameter));
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderTest, ::testing::ValuesIn(readerRows),
                         varnel::testing::RowName());

} // namespace

namespace {

// The examples of portsFromData's header, and the file forms around them.
struct PortsCase {
    const char *name;
    std::string text;
    int ports;
};

std::string values(int count) {
    std::string line = "100";
    for (int i = 1; i < count; ++i)
        line += " 0.1";
    return line + "\n";
}

const PortsCase portsCases[] = {
    {"one_port", "# MHz S RI R 50\n100 0.1 0.2\n101 0.1 0.2\n", 1},
    {"two_port_one_line", "! made by hand\n# MHz S RI R 50\n" + values(9) + values(9), 2},
    {"two_port_single_point", values(9), 2},
    {"three_port_over_three_lines",
     values(7) + "0.1 0.1 0.1 0.1 0.1 0.1\n0.1 0.1 0.1 0.1 0.1 0.1\n" + values(7), 3},
    {"four_port_over_four_lines",
     values(9) + std::string(3, ' ') +
         "0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n"
         "0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n"
         "0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n",
     4},
    {"comments_and_blank_lines", "\n! 100 0.1\n# GHz S MA R 50\n\n1.0 0.5 10 ! S11\n1.1 0.5 10\n",
     1},
    {"a_lone_pair", "100 0.1\n", 0},
    {"no_data", "# MHz S RI R 50\n! nothing\n", 0},
    {"no_square", values(5) + values(5), 0},
};

class PortsFromDataTest : public ::testing::TestWithParam<PortsCase> {};

TEST_P(PortsFromDataTest, CountsTheFirstRecord) {
    EXPECT_EQ(varnel::portsFromData(GetParam().text), GetParam().ports);
}

INSTANTIATE_TEST_SUITE_P(Records, PortsFromDataTest, ::testing::ValuesIn(portsCases),
                         varnel::testing::RowName());

} // namespace
