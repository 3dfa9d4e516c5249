// Hostile files, file names and arguments through the built varnel-calc:
// every message and report it prints is valid UTF-8 without control bytes,
// of bounded line length, can have no line forged by a name, and no result
// is a number that is not one.
#include "safe_text.h"
#include "shell_run.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using varnel::testing::PrintTo;

struct HostileRow {
    const char *name;
    std::string fileName; // in a folder of its own, passed as "$D"/*
    std::string content;
    std::string args; // FILE stands for the file
    int status;
    std::string expected; // a piece of the output, escaped as it must be shown
};

const std::string sweep = "# MHz S RI\n990 0.9 0.1\n995 0.5 0.6\n1000 -0.2 0.8\n1005 -0.7 "
                          "0.3\n1010 -0.9 -0.2\n";
const std::string title = "\x1b]0;title\x07\x1b[2J"; // sets a terminal's title, clears it

const HostileRow hostileRows[] = {
    // Text from files.
    {"escape_in_option_line", "a.s1p", "# MHz S RI " + title + "\n1 0 0\n", "delay FILE", 1,
     "unknown option '\\x1b]0;title\\x07\\x1b[2J'"},
    {"long_option_token", "a.s1p", "# MHz " + std::string(500000, 'A') + "\n1 0 0\n", "delay FILE",
     1, "unknown option '" + std::string(40, 'A') + "...'"},
    {"nul_and_bad_utf8_in_data", "a.s1p", std::string("# MHz S RI\n1 \xff\xfe\0x 0\n", 20),
     "delay FILE", 1, "'\\xff\\xfe\\x00x' is not a number"},
    {"escape_in_reference_resistance", "a.s1p", "# MHz S RI R " + title + "\n1 0 0\n", "delay FILE",
     1, "got '\\x1b]0;title\\x07\\x1b[2J'"},
    {"escape_in_version", "a.s1p", "[Version] " + title + "\n", "delay FILE", 1,
     "version '\\x1b]0;title\\x07\\x1b[2J' is not supported"},
    {"escape_in_reference_keyword", "a.s2p",
     "[Version] 2.0\n# MHz S RI\n[Number of Ports] 2\n[Reference] 50 " + title + "\n", "delay FILE",
     1, "[Reference] needs positive resistances, got '\\x1b]0;title"},
    {"escape_in_keyword_name", "a.s1p",
     "[Version] 2.0\n# MHz S RI\n[Number of Ports] 1\n[Network Data]\n1 0 0\n[" + title + "] 1\n",
     "delay FILE", 1, "[\\x1b] after the network data"}, // the name ends at "]"
    {"utf16_file", "a.s1p", std::string("\xff\xfe#\0 \0M\0H\0z\0\n\0", 14), "delay FILE", 1,
     "a.s1p:1: the file is UTF-16 text (little-endian)"},
    // File names.
    {"name_forging_a_pass_line", "x\nPASS: Within tolerance.s1p", sweep,
     "check --stage 1 --f0 1000 FILE", 4, "x\\nPASS: Within tolerance.s1p'"},
    {"name_with_escape_in_reader_error", "\x1b[2Jbad.s1p", "# MHz S RI\n1 2\n", "delay FILE", 1,
     "\\x1b[2Jbad.s1p':2: expected 3 numbers, found 2"},
    {"name_with_escape_in_refusal", "\x1b[2Jshort.s1p", "# MHz S RI\n1 0.5 0\n", "delay FILE", 1,
     "\\x1b[2Jshort.s1p': a group delay needs at least 2 frequency points"},
    // Arguments.
    {"escape_in_f0", "a.s1p", sweep, "check --stage 1 --f0 \"$(printf '\\033[2J')\" FILE", 2,
     "--f0 needs a number above 0, got '\\x1b[2J'"},
    {"escape_in_unknown_option", "a.s1p", sweep, "delay FILE \"$(printf -- '--\\033[2J')\"", 2,
     "unknown option '--\\x1b[2J'"},
    // Numbers that are not numbers.
    {"huge_electrical_delay", "a.s1p", sweep, "delay FILE --edelay 1e308 --at 1000", 2,
     "an electrical delay of 1e+308 ns is more than this sweep can take"},
    {"subnormal_frequencies", "a.s1p",
     "# MHz S RI\n1e-310 0.5 0.1\n2e-310 0.5 0.2\n3e-310 0.5 0.3\n", "delay FILE", 1,
     "is not a finite number"},
    {"phase_undefined_everywhere", "a.s1p", "# MHz S RI\n999 0 0\n1000 0 0\n1001 0 0\n",
     "delay FILE", 1, "no delay is defined: |S11| is 0 at every point"},
    {"phase_undefined_at_one_point", "a.s1p",
     "# MHz S RI\n999 0.5 0.1\n1000 0 0\n1001 0.5 0.3\n1002 0.4 0.4\n1003 0.3 0.5\n", "delay FILE",
     0, "1 of 3 delay points left out: the phase is undefined where |S11| is 0"},
    {"phase_undefined_at_f0", "a.s1p",
     "# MHz S RI\n999 0.5 0.1\n1000 0 0\n1001 0.5 0.3\n1002 0.4 0.4\n", "delay FILE --at 1001", 1,
     "the delay at 1001 MHz is undefined"},
    {"check_of_zero_reflection", "a.s1p", "# MHz S RI\n990 0 0\n1000 0 0\n1010 0 0\n",
     "check --stage 1 --f0 1000 FILE", 1, "the sweep cannot be checked"},
    {"reflection_above_0_db", "a.s1p", "# MHz S RI\n990 1.1 0\n1000 1.2 0.1\n1010 1.05 0\n",
     "check --stage 1 --f0 1000 FILE --json", 4, "|S11| is above 0 dB at 3 points"},
    {"long_stage_far_from_f0", "a.s1p", sweep,
     "curve --stage 100 --f0 1000 --span 1900 100 10 0.01", 0, "f_mhz,delay_ns,s11_db\n50,"},
    {"nearly_lossless_resonators", "a.s1p", sweep, "curve --stage 3 --f0 1000 --qu 1e-300", 0,
     "1000,0,0\n"},
    {"aperture_beyond_the_range_of_a_count", "a.s1p", sweep,
     "delay FILE --aperture 18446744073709551615", 2,
     "an aperture of 18446744073709551616 steps needs more than the sweep's 5 points (at most 4 "
     "steps)"},
    {"span_finer_than_f0_resolves", "a.s1p", sweep, "curve --stage 1 --f0 1e300", 2,
     "the span 30 MHz in 800 steps is too fine to resolve at f0 1e+300 MHz"},
    {"f0_overflowing_the_couplings", "a.s1p", sweep, "curve --stage 1 --f0 1e-320", 1,
     "error 6: Overflow (--f0 '1e-320')"},
};

class HostileTest : public ::testing::TestWithParam<HostileRow> {};

// Whether `word` stands in `line` with no letter either side of it.
bool holdsAsWord(const std::string &line, std::string_view word) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (std::size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1))
        if ((at == 0 || !letter(line[at - 1])) &&
            (at + word.size() == line.size() || !letter(line[at + word.size()])))
            return true;
    return false;
}

TEST_P(HostileTest, MessagesAreSafeAndResultsFinite) {
    const HostileRow &row = GetParam();
    const std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) / ("varnel_hostile_" + std::string(row.name));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / row.fileName, std::ios::binary) << row.content;
    std::string args = row.args;
    if (const auto at = args.find("FILE"); at != std::string::npos)
        args.replace(at, 4, "\"$D\"/*");
    const auto outcome = varnel::testing::runShell("D='" + folder.string() + "'; '" +
                                                   VARNEL_CALC_PATH + "' " + args + " 2>&1");
    std::filesystem::remove_all(folder);
    const std::string &out = outcome.out;
    EXPECT_EQ(outcome.status, row.status) << out;
    EXPECT_NE(out.find(row.expected), std::string::npos) << out;
    EXPECT_TRUE(varnel::testing::safeToShow(out, true)) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 600u) << line.substr(0, 100);
        EXPECT_FALSE(line.starts_with("PASS")) << line; // no sweep here passes
        for (const char *bad : {"-0,", "-0\n"})
            EXPECT_EQ((line + "\n").find(bad), std::string::npos) << line;
        // "nan" and "inf" as numbers, not inside words ("information").
        EXPECT_FALSE(holdsAsWord(line, "nan") || holdsAsWord(line, "inf")) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, HostileTest, ::testing::ValuesIn(hostileRows),
                         varnel::testing::RowName());

// A reference file written by curve --s1p for extreme inputs is read back
// by varnel-calc's own reader.
TEST(SafeNumbers, ExtremeReferenceFileReadsBack) {
    const std::string path = ::testing::TempDir() + "varnel_extreme.s1p";
    const auto written = varnel::testing::runShell(
        std::string("'") + VARNEL_CALC_PATH +
        "' curve --stage 100 --f0 1000 --span 1900 --s1p 100 10 0.01 > '" + path + "'");
    ASSERT_EQ(written.status, 0);
    const auto read = varnel::testing::runShell(std::string("'") + VARNEL_CALC_PATH + "' delay '" +
                                                path + "' --at 1000 2>&1");
    EXPECT_EQ(read.status, 0) << read.out;
    std::remove(path.c_str());
}

} // namespace
