#include "cli/command_line.h"
#include "cli/forms.h"
#include "cli/usage.h"
#include "table_test.h"

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

// Every form and subcommand is in the usage text of a usage error.
TEST(CommandLineUsage, UsageNamesEveryForm) {
    const CliRun r = run({"--bogus"});
    for (const char *form : {"varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]", "varnel-calc --batch",
                             "varnel-calc table ", "--help", "--version"})
        EXPECT_NE(r.err.find(form), std::string::npos) << form;
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
