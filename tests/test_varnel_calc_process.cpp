// Runs the built varnel-calc as a separate process, as a script would.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
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

} // namespace
