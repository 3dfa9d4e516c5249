#include "fake_scpi_analyser.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

// varnel-calc with a live analyser, as a process: what a signal does.
namespace {

// Interrupted while the analyser holds a reply, watch ends within 12 s,
// with status 130, and the analyser is set back as it was found.
TEST(VarnelCalcTuning, InterruptedWatchLeavesTheAnalyserAsFound) {
    varnel::testing::FakeScpiAnalyser::Faults faults;
    faults.triggerSource = "MAN";
    faults.held = true;
    faults.replyDelayMs = 3000; // every data reply held
    varnel::testing::FakeScpiAnalyser fake(faults);
    const auto found = fake.settings();
    const std::string source = "scpi://127.0.0.1:" + std::to_string(fake.port());
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execl(VARNEL_CALC_PATH, "varnel-calc", "watch", "--stage", "2", "--f0", "1000", "--qu",
                "3000", source.c_str(), "5", "10", "0.01", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    const auto asked = [&] {
        const auto log = fake.commands();
        return std::find(log.begin(), log.end(), ":CALC1:DATA:SDAT?") != log.end();
    };
    for (int i = 0; i < 500 && !asked(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(asked()) << "the watch never asked for data";
    ::kill(pid, SIGINT);
    const auto start = std::chrono::steady_clock::now();
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
    ASSERT_TRUE(WIFEXITED(wstatus)) << "ended by the signal, not by the program";
    EXPECT_EQ(WEXITSTATUS(wstatus), 130);
    // The analyser takes the settings once it is done with the held reply.
    for (int i = 0; i < 500 && fake.settings() != found; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fake.settings(), found);
}

} // namespace
