// varnel-calc against each hostile or broken analyser the tests' fakes can
// be: every case must end in status 1 within 10 s, with a message that
// names the fault, and a peak resident memory (the child's, from wait4)
// under 64 MiB.
//   build/bench/bench_hostile
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using namespace varnel::testing;

namespace {

struct Case {
    const char *name;
    std::function<void(FakeFaults &)> fault;
    const char *kind = "scpi"; // or "librevna", "nanovna"
};

// Runs "varnel-calc delay SOURCE" and prints the case's figures; false when
// a goal is missed.
bool measure(const char *calc, const Case &c) {
    FakeFaults faults;
    if (std::string(c.kind) == "nanovna")
        faults.points = 101; // within its firmware's limit
    c.fault(faults);
    std::unique_ptr<FakeScpiAnalyser> scpi;
    std::unique_ptr<FakeLibreVna> libre;
    std::unique_ptr<FakeNanoVna> nano;
    std::string source;
    if (std::string(c.kind) == "librevna") {
        libre = std::make_unique<FakeLibreVna>(faults);
        source = "librevna://127.0.0.1:" + std::to_string(libre->port());
    } else if (std::string(c.kind) == "nanovna") {
        nano = std::make_unique<FakeNanoVna>(faults);
        source = "nanovna:" + nano->device();
    } else {
        scpi = std::make_unique<FakeScpiAnalyser>(faults);
        source = "scpi://127.0.0.1:" + std::to_string(scpi->port());
    }
    int out[2];
    if (::pipe(out) != 0)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 2);
        ::dup2(out[1], 1);
        ::execl(calc, "varnel-calc", "delay", source.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string said;
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) > 0;)
        said.append(chunk, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!said.empty() && said.back() == '\n')
        said.pop_back();
    const double mib = usage.ru_maxrss / 1024.0;
    std::printf("%-28s status %d, %5.2f s, peak %5.1f MiB: %s\n", c.name, code, seconds, mib,
                said.substr(0, 160).c_str());
    return code == 1 && seconds < 10 && mib < 64;
}

} // namespace

int main(int argc, char **argv) {
    const char *calc = argc > 1 ? argv[1] : VARNEL_CALC_PATH;
    using H = FakeFaults::Hostile;
    const Case cases[] = {
        {"endless_identity", [](FakeFaults &f) { f.hostile = H::FloodIdentity; }},
        {"block_of_a_gigabyte", [](FakeFaults &f) { f.hostile = H::HugeBlock; }},
        {"no_data_mark", [](FakeFaults &f) { f.hostile = H::NoDataMark; }},
        {"escapes_in_the_error_queue", [](FakeFaults &f) { f.hostile = H::EscapesInErrors; }},
        {"cut_mid_block", [](FakeFaults &f) { f.cutMidBlock = true; }},
        {"dropped_mid_block", [](FakeFaults &f) { f.dropMidBlock = true; }},
        {"trigger_held_6_s", [](FakeFaults &f) { f.replyDelayMs = 6000; }},
        {"pna_cut_mid_block",
         [](FakeFaults &f) {
             f.dialect = "pna";
             f.triggerSource = "IMM";
             f.analyserPorts = 2;
             f.cutMidBlock = true;
         }},
        {"librevna_a_line_more", [](FakeFaults &f) { f.linesOffOnce = 1; }, "librevna"},
        {"librevna_cut_mid_reply", [](FakeFaults &f) { f.cutMidBlock = true; }, "librevna"},
        {"nanovna_short_payload",
         [](FakeFaults &f) { f.framing = FakeFaults::Framing::ShortPayload; }, "nanovna"},
        {"nanovna_other_count", [](FakeFaults &f) { f.framing = FakeFaults::Framing::OtherCount; },
         "nanovna"},
        {"nanovna_other_echo", [](FakeFaults &f) { f.framing = FakeFaults::Framing::OtherEcho; },
         "nanovna"},
    };
    int missed = 0;
    for (const Case &c : cases)
        missed += !measure(calc, c);
    std::printf("%d of %zu cases missed a goal\n", missed, std::size(cases));
    return missed ? 1 : 0;
}
