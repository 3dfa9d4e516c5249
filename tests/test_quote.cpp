#include "quoting/quote.h"
#include "safe_text.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <string>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;
using varnel::testing::safeToShow;

std::string repeat(const std::string &text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

struct QuoteRow {
    const char *name;
    std::string text;
    std::string token; // quotedToken(text)
    std::string file;  // quotedName(text)
};

const QuoteRow quoteRows[] = {
    // The header's worked examples.
    {"terminal_title_and_clear", "a\x1b]0;t\x07", "'a\\x1b]0;t\\x07'", "'a\\x1b]0;t\\x07'"},
    {"ampersand", "R&D", "'R&D'", "'R&D'"},
    {"quote", "it's", "'it\\'s'", "'it\\'s'"},
    {"cut_at_forty", std::string(50, 'a'), "'" + std::string(40, 'a') + "...'",
     std::string(50, 'a')},
    {"utf16_mark", "\xff\xfe#", "'\\xff\\xfe#'", "'\\xff\\xfe#'"},
    {"plain_name", "lc.s1p", "'lc.s1p'", "lc.s1p"},
    {"name_with_blank", "my sweep.s1p", "'my sweep.s1p'", "'my sweep.s1p'"},
    {"forged_line", "x\nPASS.s1p", "'x\\nPASS.s1p'", "'x\\nPASS.s1p'"},
    // Beyond them.
    {"path", "/home/tuner/stage-2_v1.s2p", "'/home/tuner/stage-2_v1.s2p'",
     "/home/tuner/stage-2_v1.s2p"},
    {"chinese_name", "\xe6\xbb\xa4\xe6\xb3\xa2\xe5\x99\xa8.s2p",
     "'\xe6\xbb\xa4\xe6\xb3\xa2\xe5\x99\xa8.s2p'", "\xe6\xbb\xa4\xe6\xb3\xa2\xe5\x99\xa8.s2p"},
    {"nul_tab_return_del", std::string("a\0b\tc\rd\x7f", 8), "'a\\x00b\\tc\\rd\\x7f'",
     "'a\\x00b\\tc\\rd\\x7f'"},
    {"backslash", "a\\b", "'a\\\\b'", "'a\\\\b'"},
    {"c1_csi",
     "a\xc2\x9b"
     "2J",
     "'a\\u{009b}2J'", "'a\\u{009b}2J'"},
    {"right_to_left_override",
     "x\xe2\x80\xae"
     "txt.exe",
     "'x\\u{202e}txt.exe'", "'x\\u{202e}txt.exe'"},
    {"line_separator",
     "a\xe2\x80\xa8"
     "b",
     "'a\\u{2028}b'", "'a\\u{2028}b'"},
    {"overlong_slash", "\xc0\xaf", "'\\xc0\\xaf'", "'\\xc0\\xaf'"},
    {"surrogate", "\xed\xa0\x80", "'\\xed\\xa0\\x80'", "'\\xed\\xa0\\x80'"},
    {"cut_sequence", "ab\xe6\xbb", "'ab\\xe6\\xbb'", "'ab\\xe6\\xbb'"},
    {"empty", "", "''", "''"},
    {"leading_dash", "-x.s1p", "'-x.s1p'", "-x.s1p"},
    // Cutting counts characters, so that no sequence is split.
    {"cut_chinese", repeat("\xe6\xbb\xa4", 45), "'" + repeat("\xe6\xbb\xa4", 40) + "...'",
     repeat("\xe6\xbb\xa4", 45)},
};

class QuoteTest : public ::testing::TestWithParam<QuoteRow> {};

TEST_P(QuoteTest, EscapesQuotesAndCuts) {
    const QuoteRow &row = GetParam();
    EXPECT_EQ(quotedToken(row.text), row.token);
    EXPECT_EQ(quotedName(row.text), row.file);
    for (const std::string &shown : {quotedToken(row.text), quotedName(row.text),
                                     escapedText(row.text), escapedToken(row.text)})
        EXPECT_TRUE(safeToShow(shown)) << shown;
    EXPECT_LE(quotedToken(row.text).size(), 2 + 3 + quotedTokenLength * 10);
}

INSTANTIATE_TEST_SUITE_P(Texts, QuoteTest, ::testing::ValuesIn(quoteRows),
                         varnel::testing::RowName());

// Every single byte and every two-byte pair comes out safe to show.
TEST(Quote, EveryByteAndPairIsSafe) {
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const std::string text{static_cast<char>(a), static_cast<char>(b)};
            ASSERT_TRUE(safeToShow(quotedToken(text))) << a << ' ' << b;
            ASSERT_TRUE(safeToShow(quotedName(text))) << a << ' ' << b;
        }
}

struct CsvRow {
    const char *name;
    std::string text, field;
};

// The header's worked examples first.
const CsvRow csvRows[] = {
    {"plain", "a.s2p", "a.s2p"},
    {"comma", "bench 2, left", "\"bench 2, left\""},
    {"formula", "=HYPERLINK(1)", "'=HYPERLINK(1)"},
    {"quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
    {"line_feed", "a\nb", "a\\nb"},
    {"at_and_comma", "@x,y", "\"'@x,y\""},
    {"inner_minus", "SN-1", "SN-1"},
    {"empty", "", ""},
};

TEST(Quote, CsvFields) {
    for (const CsvRow &row : csvRows)
        EXPECT_EQ(varnel::csvField(row.text), row.field) << row.name;
}

TEST(Quote, HtmlText) {
    const std::pair<std::string, std::string> rows[] = {
        {"<b>R&D</b>", "&lt;b&gt;R&amp;D&lt;/b&gt;"}, // the header's example
        {"say \"it's\"", "say &quot;it&#39;s&quot;"},
        {"a\x1b[2Jb", "a\\x1b[2Jb"},
        {"\xe6\xbb\xa4", "\xe6\xbb\xa4"},
    };
    for (const auto &[text, html] : rows)
        EXPECT_EQ(varnel::htmlText(text), html) << text;
}

TEST(Quote, AsciiUpper) {
    EXPECT_EQ(varnel::asciiUpper("k12, \xc3\x84rger"), "K12, \xc3\x84RGER"); // the header's example
    EXPECT_EQ(varnel::asciiUpper("qout"), "QOUT");
    EXPECT_EQ(varnel::asciiUpper(std::string("a\0z", 3)), std::string("A\0Z", 3));
}

} // namespace
