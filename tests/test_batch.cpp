#include "cli/batch.h"
#include "table_test.h"

#include <string>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;

// Feeds the input in pieces of `chunk` bytes and returns all answers.
std::string runBatch(const std::string &input, std::size_t chunk, BatchProcessor &batch) {
    std::string output;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        batch.feed(std::string_view(input).substr(at, chunk));
        output += batch.output();
        batch.output().clear();
    }
    batch.finish();
    return output + batch.output();
}

struct BatchCase {
    const char *name;
    std::string input;
    std::string output;
    bool invalid;
};

const std::string kWrongCount =
    "invalid: expected 3 tab-separated fields (order, bandwidth, ripple), found ";

const BatchCase batchCases[] = {
    {"one_line", "5\t10\t0.01\n", "48.149\n", false},
    {"initial_texts", "   5\t   10\t  0.01\n", "48.149\n", false},
    {"crlf", "5\t10\t0.01\r\n3\t10\t0.01\r\n", "48.149\n40.054\n", false},
    {"last_line_without_end", "5\t10\t0.01\n3\t10\t0.01", "48.149\n40.054\n", false},
    {"errors_are_answers", "\t10\t0.01\n40000\t10\t0.01\n",
     "error 11: Division by zero\nerror 6: Overflow\n", false},
    {"empty_fields_are_fields", "\t\t\n", "error 11: Division by zero\n", false},
    {"too_few_fields", "5\t10\n", kWrongCount + "2\n", true},
    {"too_many_fields", "5\t10\t0.01\t1\n", kWrongCount + "4\n", true},
    {"empty_line", "\n", kWrongCount + "1\n", true},
    {"invalid_does_not_stop", "5 10 0.01\n5\t-10\t0.01\n", kWrongCount + "1\n-48.149\n", true},
    {"empty_input", "", "", false},
    {"lone_cr_is_part_of_line", "5\t10\t0.01\r\r\n", "48.149\n", false},
};

class BatchTest : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchTest, AnswersEveryLineInAnyChunking) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
        BatchProcessor batch;
        EXPECT_EQ(runBatch(GetParam().input, chunk, batch), GetParam().output) << chunk;
        EXPECT_EQ(batch.sawInvalidLine(), GetParam().invalid);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, BatchTest, ::testing::ValuesIn(batchCases),
                         varnel::testing::RowName());

TEST(BatchLimits, OverlongLineIsAnsweredAndForgotten) {
    BatchProcessor batch;
    const std::string longField(BatchProcessor::maxLineLength + 10, '1');
    const std::string input = longField + "\t10\t0.01\n5\t10\t0.01\n";
    const std::string output = runBatch(input, 1000, batch);
    EXPECT_EQ(output, "invalid: line longer than 1048576 bytes\n48.149\n");
    EXPECT_EQ(batch.lineCount(), 2u);
    EXPECT_TRUE(batch.sawInvalidLine());
}

// The limit counts a line's content: its CR, like its LF, is not part of it.
TEST(BatchLimits, LineOfExactlyTheLimitIsReadWithEitherLineEnd) {
    std::string line = "5\t10\t0.01";
    line += std::string(BatchProcessor::maxLineLength - line.size(), 'x');
    for (const char *end : {"\n", "\r\n", ""})
        for (std::size_t chunk : {std::size_t{4096}, line.size() + 2}) {
            BatchProcessor batch;
            EXPECT_EQ(runBatch(line + end, chunk, batch), "48.149\n")
                << "chunk " << chunk << (end[0] == '\r' ? " CRLF" : "");
        }
    BatchProcessor batch;
    EXPECT_EQ(runBatch(line + "x\r\n", 4096, batch), "invalid: line longer than 1048576 bytes\n");
}

TEST(AnswerFields, FormatsRunTimeErrors) {
    EXPECT_EQ(answerFields("5", "", "0.01"), "error 11: Division by zero");
    EXPECT_EQ(answerFields("5", "10", "13000"), "error 6: Overflow");
    EXPECT_EQ(answerFields("5", "10", "0.01"), "48.149");
}

} // namespace
