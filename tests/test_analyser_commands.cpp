#include "fake_scpi_analyser.h"
#include "touchstone/touchstone.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

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
    fake.awaitServing(); // no lock of its thread's crosses the fork
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

// What a command prints (standard error merged) and its status.
std::pair<std::string, int> run(const std::string &arguments) {
    std::FILE *pipe = ::popen(("'" VARNEL_CALC_PATH "' " + arguments + " 2>&1").c_str(), "r");
    std::string out;
    char chunk[4096];
    while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe))
        out.append(chunk, got);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// --timeout is the analyser's longest silence (over the address's own); a
// value that does not read is a usage error naming the option.
TEST(VarnelCalcTimeout, TakenOrRefused) {
    varnel::testing::FakeFaults faults;
    faults.replyDelayMs = 1500; // every data reply held
    varnel::testing::FakeScpiAnalyser fake(faults);
    const std::string source = "scpi://127.0.0.1:" + std::to_string(fake.port());
    const auto start = std::chrono::steady_clock::now();
    const auto [held, status] = run("delay " + source + "?timeout=60 --timeout 0.2");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
    EXPECT_EQ(status, 1);
    EXPECT_NE(held.find("no reply within 200 ms"), std::string::npos) << held;
    const auto [refused, usage] = run("delay " + source + " --timeout 0");
    EXPECT_EQ(usage, 2);
    EXPECT_NE(refused.find("--timeout: a timeout is the seconds of silence allowed"),
              std::string::npos)
        << refused;
}

// A 2-port SCPI analyser gives save its four parameters, and diagnose its
// S21; a 1-port one is refused as a .s2p, with the reason.
TEST(VarnelCalcTwoPorts, SavedFromAPnaAndRefusedFromOnePort) {
    for (const int ports : {2, 1}) {
        varnel::testing::FakeFaults faults;
        faults.dialect = "pna";
        faults.triggerSource = "IMM";
        faults.analyserPorts = ports;
        varnel::testing::FakeScpiAnalyser fake(faults);
        const std::string out = ::testing::TempDir() + "/pna" + std::to_string(ports) + ".s2p";
        const auto [said, status] =
            run("save scpi://127.0.0.1:" + std::to_string(fake.port()) + " '" + out + "'");
        if (ports == 1) {
            EXPECT_EQ(status, 2) << said;
            EXPECT_NE(said.find("gives S11 alone: save it as a .s1p file"), std::string::npos)
                << said;
            continue;
        }
        ASSERT_EQ(status, 0) << said;
        const auto read = varnel::readTouchstoneFile(out);
        ASSERT_TRUE(std::holds_alternative<varnel::Network>(read));
        const auto &n = std::get<varnel::Network>(read);
        ASSERT_EQ(n.ports, 2);
        for (const char *p : {"S11", "S21", "S12", "S22"}) {
            const auto want = varnel::testing::FakeScpiAnalyser::parameterValues(1, p);
            const auto got = n.parameter(*varnel::parseSParameter(p));
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(std::abs(got[i] - want[i]), 0, 1e-12) << p << " point " << i;
        }
    }
}

} // namespace
