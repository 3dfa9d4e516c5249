#include "cli/command_line.h"
#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "cli/usage.h"
#include "generated/version.h"
#include "table_test.h"

#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

using namespace varnel;

namespace {

// Whether `text` holds `word` as a word of its own: after a line's start, a
// blank or a '[', and before a line's end, a blank or a ']'.
bool holdsWord(const std::string &text, const std::string &word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        const char before = at ? text[at - 1] : '\n', after = end < text.size() ? text[end] : '\n';
        if ((before == '\n' || before == ' ' || before == '[') &&
            (after == '\n' || after == ' ' || after == ']'))
            return true;
    }
    return false;
}

using varnel::testing::PrintTo;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(std::vector<std::string_view> args, const std::string &input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCommandLine(args, in, out, err);
    return {status, out.str(), err.str()};
}

struct CommandLineCase {
    const char *name;
    std::vector<std::string_view> args;
    int status;
    std::string out;
    std::string err;
};

const CommandLineCase commandLineCases[] = {
    {"no_arguments_use_initial_texts", {}, 0, "48.149\n", ""},
    {"order_only", {"3"}, 0, "40.054\n", ""},
    {"order_and_bandwidth", {"5", "20"}, 0, "24.074\n", ""},
    {"all_three", {"7", "5", "0.05"}, 0, "131.725\n", ""},
    {"negative_order_is_a_field", {"-5", "10", "0.01"}, 0, "48.149\n", ""},
    {"negative_bandwidth_is_a_field", {"5", "-10"}, 0, "-48.149\n", ""},
    {"field_with_blanks", {"   5", " 1 0 "}, 0, "48.149\n", ""},
    {"error_goes_to_stderr", {"5", ""}, 1, "", "error 11: Division by zero\n"},
    {"overflow", {"40000"}, 1, "", "error 6: Overflow\n"},
    {"double_dash_ends_options", {"--", "-x"}, 1, "", "error 11: Division by zero\n"},
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, PrintsAndExits) {
    const CliRun r = run(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineTest, ::testing::ValuesIn(commandLineCases),
                         varnel::testing::RowName());

TEST(CommandLineUsage, UnknownOptionIsStatusTwo) {
    for (std::string_view option : {"--bogus", "-x", "--batc"}) {
        const CliRun r = run({option});
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_NE(r.err.find("unknown option"), std::string::npos) << option;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CommandLineUsage, TooManyFieldsIsStatusTwo) {
    const CliRun r = run({"5", "10", "0.01", "3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("at most three"), std::string::npos);
}

TEST(CommandLineUsage, HelpDescribesBothForms) {
    for (std::string_view option : {"--help", "-h"}) {
        const CliRun r = run({option});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]"), std::string::npos);
        EXPECT_NE(r.out.find("varnel-calc --batch"), std::string::npos);
    }
}

// A usage error is one line and where to read more: the subcommand's help
// for a subcommand's error.
TEST(CommandLineUsage, UsageErrorIsOneLineAndWhereToReadMore) {
    EXPECT_EQ(run({"--bogus"}).err, "varnel-calc: unknown option '--bogus'\n"
                                    "Try 'varnel-calc --help' for more information.\n");
    EXPECT_EQ(run({"table", "--bogus"}).err,
              "varnel-calc: unknown option '--bogus'\n"
              "Try 'varnel-calc table --help' for more information.\n");
}

const std::string tryHelp = "Try 'varnel-calc --help' for more information.\n";
const CommandLineCase conventionCases[] = {
    {"mistyped_subcommand",
     {"chek", "--stage", "2"},
     2,
     "",
     "varnel-calc: unknown subcommand 'chek' (did you mean 'check'?)\n" + tryHelp},
    {"subcommand_in_capitals",
     {"TABLE"},
     2,
     "",
     "varnel-calc: unknown subcommand 'TABLE' (did you mean 'table'?)\n" + tryHelp},
    {"swapped_letters",
     {"dleay"},
     2,
     "",
     "varnel-calc: unknown subcommand 'dleay' (did you mean 'delay'?)\n" + tryHelp},
    {"far_word_is_a_field", {"abc"}, 1, "", "error 11: Division by zero\n"},
    {"after_double_dash_a_field", {"--", "chek"}, 1, "", "error 11: Division by zero\n"},
    {"version_after_subcommand",
     {"table", "--version"},
     0,
     "varnel-calc " + std::string(varnel::version) + "\n",
     ""},
    {"version_after_options",
     {"check", "--stage", "2", "--version"},
     0,
     "varnel-calc " + std::string(varnel::version) + "\n",
     ""},
    {"watch_refuses_standard_input",
     {"watch", "-", "--stage", "2", "--f0", "1000"},
     2,
     "",
     "varnel-calc: watch needs a file or an analyser to watch, not standard input\n"
     "Try 'varnel-calc watch --help' for more information.\n"},
    {"ports_out_of_range",
     {"delay", "-", "--ports", "7"},
     2,
     "",
     "varnel-calc: --ports needs a whole number from 1 to 4, got '7'\n"
     "Try 'varnel-calc delay --help' for more information.\n"},
};

INSTANTIATE_TEST_SUITE_P(Conventions, CommandLineTest, ::testing::ValuesIn(conventionCases),
                         varnel::testing::RowName());

// The examples of closeSubcommand's header.
TEST(CommandLineUsage, CloseSubcommandHeaderExamples) {
    const std::pair<std::string_view, std::string_view> meant[] = {{"chek", "check"},
                                                                   {"Check", "check"},
                                                                   {"tabel", "table"},
                                                                   {"sav", "save"},
                                                                   {"diagnos", "diagnose"}};
    for (const auto &[word, subcommand] : meant)
        EXPECT_EQ(closeSubcommand(word), std::optional(subcommand)) << word;
    for (std::string_view word : {"abc", "5chek", " 7"})
        EXPECT_EQ(closeSubcommand(word), std::nullopt) << word;
}

// "-" is standard input: a target curve piped into check passes, a designed
// filter piped into diagnose is in tune; the port count comes from the data
// or --ports.
TEST(CommandLineUsage, StandardInputIsASweep) {
    const CliRun curve = run({"curve", "--stage", "2", "--f0", "1000", "--s1p", "5", "10", "0.01"});
    ASSERT_EQ(curve.status, 0) << curve.err;
    const CliRun check =
        run({"check", "--stage", "2", "--f0", "1000", "-", "5", "10", "0.01"}, curve.out);
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("PASS"), std::string::npos) << check.out;

    const CliRun design = run({"design", "--f0", "1000", "--s2p", "4", "10", "0.01"});
    ASSERT_EQ(design.status, 0) << design.err;
    const CliRun diagnose = run({"diagnose", "-", "--f0", "1000", "4", "10", "0.01"}, design.out);
    EXPECT_EQ(diagnose.status, 0) << diagnose.err;
    EXPECT_EQ(run({"delay", "-", "--at", "1000"}, design.out).status, 0);
    // Told it is a 1-port, the 2-port's lines have too many numbers.
    const CliRun told = run({"delay", "-", "--ports", "1"}, design.out);
    EXPECT_EQ(told.status, 1);
    EXPECT_NE(told.err.find("standard input"), std::string::npos) << told.err;
    const CliRun empty = run({"delay", "-"}, "");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("standard input"), std::string::npos) << empty.err;
}

// The worked example of usage.h.
TEST(CommandLineUsage, UsageWorkedExample) {
    const OptionRow rows[] = {{"--stage", "K", {}, InUsage::Required},
                              {"--qu", "Q"},
                              {"--json", "", {}, InUsage::Optional, true},
                              {"--csv", ""},
                              {"--help", "", "-h", InUsage::Hidden}};
    const Form form{"check", "FILE", "[ORDER]", "", rows, nullptr};
    EXPECT_EQ(usageLines(form),
              std::vector<std::string>{"varnel-calc check --stage K FILE [--qu Q] [--json | --csv] "
                                       "[ORDER]"});
    EXPECT_EQ(formHelp(form, 36), "  varnel-calc check --stage K FILE\n"
                                  "                    [--qu Q]\n"
                                  "                    [--json | --csv]\n"
                                  "                    [ORDER]\n");
}

// Every option a form accepts and does not hide is in its usage line and its
// help, and every help line fits 80 columns.
TEST(CommandLineUsage, UsageShowsEveryOptionOfEveryForm) {
    for (const Form *form : {&fieldsForm, &tableForm, &delayForm, &curveForm, &checkForm}) {
        const std::vector<std::string> lines = usageLines(*form);
        std::string usage;
        for (const std::string &line : lines)
            usage += line + "\n";
        const std::string help = formHelp(*form);
        for (const OptionRow &row : form->options) {
            if (row.inUsage == InUsage::Hidden)
                continue;
            std::string spelled(row.name);
            if (!row.valueName.empty())
                spelled.append(" ").append(row.valueName);
            // As a word of its own, not inside a longer option name.
            EXPECT_TRUE(holdsWord(usage, spelled)) << form->subcommand << " " << spelled;
            EXPECT_TRUE(holdsWord(help, spelled)) << form->subcommand << " " << spelled;
            // The usage line once, not again in the paragraph.
            if (row.inUsage == InUsage::Optional && !row.orNext) {
                const std::string bracket = "[" + spelled + "]";
                EXPECT_EQ(help.find(bracket), help.rfind(bracket))
                    << form->subcommand << " " << bracket;
            }
        }
        std::istringstream helpLines(help);
        for (std::string line; std::getline(helpLines, line);)
            EXPECT_LE(line.size(), 80u) << line;
    }
}

// "varnel-calc SUBCOMMAND --help" prints that subcommand's help alone.
TEST(CommandLineUsage, SubcommandHelp) {
    for (std::vector<std::string_view> args :
         {std::vector<std::string_view>{"table", "--help"}, {"table", "6", "-h"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("  varnel-calc table [--csv] [--f0 MHZ]", 0), 0u) << r.out;
        EXPECT_EQ(r.out.find("--batch"), std::string::npos);
        EXPECT_TRUE(r.err.empty());
    }
}

// One parser: values after "=" or as the next word, a value that starts
// with "-", "--" ending the options, and the reasons it refuses.
TEST(CommandLineUsage, OptionParsing) {
    EXPECT_EQ(run({"table", "--csv", "--f0=2300", "6", "26.9", "0.01"}).out,
              run({"table", "6", "--f0", "2300", "26.9", "--csv", "0.01"}).out);
    const CliRun missing = run({"table", "--f0"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--f0 needs a value (MHZ)"), std::string::npos);
    const CliRun flagValue = run({"table", "--csv=yes"});
    EXPECT_EQ(flagValue.status, 2);
    EXPECT_NE(flagValue.err.find("--csv takes no value"), std::string::npos);
    EXPECT_EQ(run({"table", "--batch"}).status, 2); // an option of another form
    EXPECT_EQ(run({"--", "table"}).err, "error 11: Division by zero\n"); // a field text
}

// A failed write is never success, even with nothing but the answer to write.
TEST(CommandLineOutput, FailedWriteIsStatusOne) {
    std::istringstream in;
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    std::vector<std::string_view> args;
    EXPECT_EQ(runCommandLine(args, in, out, err), 1);
    EXPECT_EQ(err.str(), "varnel-calc: cannot write output: I/O error\n");
}

TEST(CommandLineBatch, ReadsStandardInput) {
    const CliRun r = run({"--batch"}, "5\t10\t0.01\n\t10\t0.01\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "48.149\nerror 11: Division by zero\n");
}

TEST(CommandLineBatch, InvalidLineMakesStatusOne) {
    const CliRun r = run({"--batch"}, "5\t10\n5\t10\t0.01\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "48.149\n");
}

TEST(CommandLineBatch, RefusesFieldArguments) {
    EXPECT_EQ(run({"--batch", "5"}).status, 2);
}

} // namespace

// The reports' signed numbers: the header's examples, and a value a fit
// that ran away leaves (a coupling of a negative scale product).
TEST(SignedFixed, WorkedExamples) {
    EXPECT_EQ(varnel::signedFixed(0.25, 3), "+0.250");
    EXPECT_EQ(varnel::signedFixed(-1.3, 2), "-1.30");
    EXPECT_EQ(varnel::signedFixed(std::sqrt(-1.0), 2), "undefined");
    EXPECT_EQ(varnel::signedFixed(-std::numeric_limits<double>::infinity(), 2), "undefined");
}
