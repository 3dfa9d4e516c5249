#include "cli/doc_pages.h"
#include "cli/usage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

using namespace varnel;

namespace {

std::string fileText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(in) << path;
    return text.str();
}

int runNothing(const ParsedOptions &, CommandIo &) {
    return 0;
}

// The worked example's form.
constexpr OptionRow exampleRows[] = {{"--stage", "K", {}, InUsage::Required},
                                     {"--qu", "Q"},
                                     {"--json", "", {}, InUsage::Optional, true},
                                     {"--csv", ""}};
const Form exampleForm{"check", "SOURCE", "[ORDER]", "", exampleRows, runNothing};

TEST(DocPages, HeaderExamples) {
    const Form *const forms[] = {&exampleForm};
    const std::string synopsis = manSynopsis(forms);
    EXPECT_EQ(synopsis.substr(0, synopsis.find(".YS\n") + 4),
              ".SY varnel\\-calc\ncheck\n\\fB\\-\\-stage\\fR\\ \\fIK\\fR\n\\fISOURCE\\fR\n"
              "[\\fB\\-\\-qu\\fR\\ \\fIQ\\fR]\n[\\fB\\-\\-json\\fR\\ |\\ \\fB\\-\\-csv\\fR]\n"
              "[\\fIORDER\\fR]\n.YS\n");
    const std::string completion = bashCompletion(forms);
    EXPECT_NE(completion.find("options='--stage --qu --json --csv --version'"), std::string::npos)
        << completion;
    EXPECT_NE(completion.find("files=touchstone"), std::string::npos);
}

// Every option every form takes is described in the man page's OPTIONS; a
// form given an option the page lacks is caught.
TEST(DocPages, ManPageDescribesEveryOption) {
    const std::string page = fileText(VARNEL_CALC_PAGE);
    const std::vector<std::string> missing = undescribedOptions(allForms(), page);
    EXPECT_TRUE(missing.empty()) << "not in the man page: " << ::testing::PrintToString(missing);

    constexpr OptionRow planted[] = {{"--planted-option", "N"}, {"--csv", ""}};
    const Form plantedForm{"planted", "", "", "", planted, runNothing};
    const Form *const forms[] = {&plantedForm};
    EXPECT_EQ(undescribedOptions(forms, page), std::vector<std::string>{"--planted-option"});
    EXPECT_EQ(undescribedOptions(forms, ".SH OPTIONS\n.TP\n.BI \\-\\-planted\\-option \" N\"\nIt.\n"
                                        ".TP\n.BR \\-c \", \" \\-\\-csv\nCSV.\n.SH FILES\n"),
              std::vector<std::string>{});
}

// What bash offers after "varnel-calc WORDS", through the generated script.
std::set<std::string> offered(const std::string &script, const std::string &words) {
    const std::string scriptPath = ::testing::TempDir() + "varnel-completion.bash";
    std::ofstream(scriptPath) << script;
    const std::string command =
        "bash -c 'source /usr/share/bash-completion/bash_completion; source \"$0\"; "
        "COMP_WORDS=(varnel-calc " +
        words +
        "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
        "COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}; _varnel_calc; "
        "printf \"%s\\n\" \"${COMPREPLY[@]}\"' " +
        scriptPath;
    std::set<std::string> words_;
    FILE *pipe = popen(command.c_str(), "r");
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string word(line);
        if (!word.empty() && word.back() == '\n')
            word.pop_back();
        if (!word.empty())
            words_.insert(word);
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << command;
    return words_;
}

// Every subcommand offers exactly its options (and --version) after "--",
// a planted option included, through the script bash would load.
TEST(DocPages, CompletionOffersEveryOptionOfItsForm) {
    constexpr OptionRow planted[] = {{"--planted-option", "N"},
                                     {"--help", "", "-h", InUsage::Hidden}};
    const Form plantedForm{"planted", "SOURCE", "", "", planted, runNothing};
    std::vector<const Form *> forms(allForms().begin(), allForms().end());
    forms.push_back(&plantedForm);
    const std::string script = bashCompletion(forms);
    for (const Form *form : forms) {
        if (form->subcommand.empty())
            continue;
        std::set<std::string> expected = {"--version"};
        for (const OptionRow &row : form->options)
            expected.insert(std::string(row.name));
        EXPECT_EQ(offered(script, std::string(form->subcommand) + " \"--\""), expected)
            << form->subcommand;
    }
    EXPECT_EQ(offered(script, "chec"), std::set<std::string>{"check"});
    EXPECT_EQ(offered(script, "check --resonator \"\""),
              (std::set<std::string>{"auto", "coaxial", "lumped", "waveguide"}));
    EXPECT_EQ(offered(script, "diagnose --topology \"\""),
              (std::set<std::string>{"cq", "ct", "folded", "inline"}));
    EXPECT_TRUE(offered(script, "check --f0 \"\"").empty()); // a number: nothing to offer
}

} // namespace
