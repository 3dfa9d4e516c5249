#include "cli/doc_pages.h"
#include "tuning_window/tune_options.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>

#include <fstream>
#include <sstream>

namespace {

// Every long option varnel-tune's parser lists in its help is described in
// its man page; one it lacked would be caught.
TEST(TuneOptions, ManPageDescribesEveryOption) {
    int argc = 1;
    char name[] = "varnel-tune";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    varnel::configureTuneCommandLine(parser);
    std::vector<std::string> names;
    const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*"));
    for (auto match = option.globalMatch(parser.helpText()); match.hasNext();)
        names.push_back(match.next().captured().toStdString());
    ASSERT_GE(names.size(), 3u); // --help, --help-all, --version
    std::ifstream in(VARNEL_TUNE_PAGE);
    std::stringstream page;
    page << in.rdbuf();
    ASSERT_TRUE(in);
    EXPECT_EQ(varnel::undescribedNames(names, page.str()), std::vector<std::string>{});
    names.push_back("--planted");
    EXPECT_EQ(varnel::undescribedNames(names, page.str()), std::vector<std::string>{"--planted"});
}

// Help and version are asked for anywhere before "--", and only then.
TEST(TuneOptions, HeaderExamples) {
    const char *version[] = {"varnel-tune", "--version"};
    const char *help[] = {"varnel-tune", "sweep.s2p", "-h"};
    const char *file[] = {"varnel-tune", "sweep.s2p"};
    const char *quoted[] = {"varnel-tune", "--", "--help"};
    EXPECT_TRUE(varnel::asksOnlyForText(2, version));
    EXPECT_TRUE(varnel::asksOnlyForText(3, help));
    EXPECT_FALSE(varnel::asksOnlyForText(2, file));
    EXPECT_FALSE(varnel::asksOnlyForText(3, quoted));
}

} // namespace
