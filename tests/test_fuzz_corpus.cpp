// Runs every committed fuzz seed and regression input through the fuzz
// checks, so that they hold in every build, sanitized or not.
#include "fuzz/fuzz_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::uint8_t> readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class Check> int runCorpus(const char *folder, Check check) {
    int files = 0;
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(VARNEL_FUZZ_CORPUS) / folder)) {
        const std::vector<std::uint8_t> data = readFile(entry.path());
        SCOPED_TRACE(entry.path().string());
        check(data.data(), data.size());
        ++files;
    }
    return files;
}

TEST(FuzzCorpus, CalculateInputsHoldInvariants) {
    EXPECT_GT(runCorpus("calculate", varnel::fuzz::checkCalculate), 20);
}

TEST(FuzzCorpus, BatchInputsHoldInvariants) {
    EXPECT_GT(runCorpus("batch", varnel::fuzz::checkBatch), 2);
}

TEST(FuzzCorpus, TouchstoneInputsHoldInvariants) {
    EXPECT_GT(runCorpus("touchstone", varnel::fuzz::checkTouchstone), 5);
}

} // namespace
