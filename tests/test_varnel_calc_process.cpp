// Runs the built varnel-calc as a separate process, as a script would.
#include "table_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int status;
    std::string out;
};

// Runs `varnel-calc ARGS` through the shell, stdout captured (stderr merged
// when asked); `input` becomes its standard input.
Result runCalc(const std::string &args, const std::string &input = "", bool mergeErr = false) {
    const std::string inputFile = ::testing::TempDir() + "varnel_calc_" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                  ".txt";
    std::ofstream(inputFile, std::ios::binary) << input;
    const std::string command = std::string("'") + VARNEL_CALC_PATH + "' " + args + " < '" +
                                inputFile + "'" + (mergeErr ? " 2>&1" : " 2>/dev/null");
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(VarnelCalcProcess, InitialTexts) {
    const Result r = runCalc("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "48.149\n");
}

TEST(VarnelCalcProcess, FieldArguments) {
    const Result r = runCalc("7 5 0.05");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "131.725\n");
}

TEST(VarnelCalcProcess, RunTimeErrorOnStandardError) {
    EXPECT_EQ(runCalc("5 ''").out, "");
    const Result r = runCalc("5 ''", "", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error 11: Division by zero\n");
}

TEST(VarnelCalcProcess, UnknownOption) {
    const Result r = runCalc("--frobnicate", "", true);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown option"), std::string::npos);
}

TEST(VarnelCalcProcess, Batch) {
    const Result r = runCalc("--batch", "5\t10\t0.01\r\n1\t10\n3\t10\t0.01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "48.149\ninvalid: expected 3 tab-separated fields (order, bandwidth, ripple), found "
              "2\n40.054\n");
}

TEST(VarnelCalcProcess, LargeBatchAnswersEveryLine) {
    std::string input;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        input += i % 2 ? "5\t10\t0.01\n" : "5\t\t0.01\n";
        expected += i % 2 ? "48.149\n" : "error 11: Division by zero\n";
    }
    const Result r = runCalc("--batch", input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
}

// A failed read or write ends the run with status 1 and a message naming the
// stream and the cause; nothing is taken for success or for the end of input.
struct IoFailureRow {
    const char *name;
    const char *args;
    const char *redirections; // of the shell command, after the arguments
    const char *message;
};

using varnel::testing::PrintTo;

const IoFailureRow ioFailureRows[] = {
    {"single_to_full_disk", "", "> /dev/full", "cannot write output: No space left on device"},
    {"single_to_closed_output", "", ">&-", "cannot write output: Bad file descriptor"},
    {"help_to_full_disk", "--help", "> /dev/full", "cannot write output: No space left"},
    {"version_to_full_disk", "--version", "> /dev/full", "cannot write output: No space left"},
    {"table_to_full_disk", "table", "> /dev/full", "cannot write output: No space left"},
    {"table_help_to_closed_output", "table --help", ">&-", "cannot write output: Bad file"},
    {"batch_to_full_disk", "--batch", "< BATCH > /dev/full", "cannot write output: No space left"},
    {"batch_reader_gone", "--batch", "< BATCH | (exec 0<&-; true)",
     "cannot write output: Broken pipe"},
    {"batch_from_directory", "--batch", "< / > /dev/null",
     "cannot read standard input: Is a directory"},
    {"batch_from_closed_input", "--batch", "<&- > /dev/null",
     "cannot read standard input: Bad file"},
};

class IoFailureTest : public ::testing::TestWithParam<IoFailureRow> {};

TEST_P(IoFailureTest, EndsWithStatusOneAndNamesTheStream) {
    const IoFailureRow &row = GetParam();
    const std::string dir = ::testing::TempDir();
    const std::string batchFile = dir + "varnel_io_batch_" + row.name + ".txt";
    {
        std::ofstream batch(batchFile, std::ios::binary);
        for (int i = 0; i < 200000; ++i)
            batch << "5\t10\t0.01\n";
    }
    std::string redirections = row.redirections;
    if (const auto at = redirections.find("BATCH"); at != std::string::npos)
        redirections.replace(at, 5, "'" + batchFile + "'");
    const std::string errFile = dir + "varnel_io_err_" + row.name + ".txt";
    // SIGPIPE ignored, as a shell script or a parent process may leave it;
    // the status of varnel-calc itself, even when it stands before a pipe.
    const std::string command = "trap '' PIPE; '" + std::string(VARNEL_CALC_PATH) + "' " +
                                row.args + " 2>'" + errFile + "' " + redirections +
                                "; exit ${PIPESTATUS[0]}";
    const std::string script = dir + "varnel_io_" + row.name + ".sh";
    std::ofstream(script) << command << '\n';
    const int status = std::system(("bash '" + script + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream errStream(errFile);
    const std::string err((std::istreambuf_iterator<char>(errStream)), {});
    EXPECT_EQ(err.rfind("varnel-calc: ", 0), 0u) << err;
    EXPECT_NE(err.find(row.message), std::string::npos) << err;
    // Batch mode stops at the first failure: one message, not one per line.
    EXPECT_EQ(err.find("varnel-calc:", 1), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Streams, IoFailureTest, ::testing::ValuesIn(ioFailureRows),
                         varnel::testing::RowName());

} // namespace
