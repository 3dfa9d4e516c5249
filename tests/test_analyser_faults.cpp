#include "analyser_link/analyser.h"
#include "analyser_link/connection.h"
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "link_test.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

// The analyser link under faults: dropped links, slow, cut and hostile
// replies, and an interruption.
using namespace varnel;
using varnel::testing::connected;
using varnel::testing::Expected;
using varnel::testing::expectSweepsInOrder;
using varnel::testing::FakeFaults;
using varnel::testing::FakeLibreVna;
using varnel::testing::FakeNanoVna;
using varnel::testing::FakeScpiAnalyser;
using varnel::testing::FaultRow;
using varnel::testing::pieces;
using varnel::testing::PrintTo;
using varnel::testing::serialAddress;
using varnel::testing::tcpAddress;
using varnel::testing::with;

namespace {

// A link dropped halfway through a sweep's data ends the sweep with a clear
// message, never a partial sweep; connecting again gives whole sweeps, the
// next in order.
TEST(AnalyserLink, DroppedLinkEndsTheSweepAndReconnects) {
    FakeFaults faults;
    faults.dropMidBlock = true;
    {
        FakeScpiAnalyser fake(faults);
        const auto address = tcpAddress(SourceAddress::Scpi, fake.port());
        auto broken = connected(address)->sweep();
        ASSERT_TRUE(std::holds_alternative<LinkError>(broken));
        EXPECT_EQ(linkErrorText(std::get<LinkError>(broken)), "the analyser closed the connection");
        expectSweepsInOrder(*connected(address), 2, 2,
                            {FakeScpiAnalyser::frequenciesHz(),
                             [](int k) { return FakeScpiAnalyser::sweepValues(k); }});
    }
    {
        FakeLibreVna fake(faults);
        const auto address = tcpAddress(SourceAddress::LibreVna, fake.port());
        auto broken = connected(address)->sweep();
        ASSERT_TRUE(std::holds_alternative<LinkError>(broken));
        EXPECT_EQ(linkErrorText(std::get<LinkError>(broken)), "the analyser closed the connection");
        expectSweepsInOrder(*connected(address), 2, 2,
                            {varnel::testing::fakeFrequenciesHz(201),
                             [](int k) { return varnel::testing::fakeSweepValues(k, 201); }, 1e-12,
                             2});
    }
    {
        faults.points = 101;
        FakeNanoVna fake(faults);
        auto broken = connected(serialAddress(fake))->sweep();
        ASSERT_TRUE(std::holds_alternative<LinkError>(broken));
        EXPECT_EQ(linkErrorText(std::get<LinkError>(broken)), "the device has gone");
        expectSweepsInOrder(*connected(serialAddress(fake)), 2, 2,
                            {FakeNanoVna::frequenciesHz(101),
                             [](int k) { return FakeNanoVna::sweepValues(k, 101, false); }, 0, 2,
                             [](int k) { return FakeNanoVna::sweepValues(k, 101, false, true); }});
    }
}

// A reply slower than the timeout ends in a timeout, bounded; the NanoVNA's
// echo of its scan came, so it is said not to have finished its sweep.
TEST(AnalyserLink, SlowReplyTimesOut) {
    FakeFaults faults;
    faults.replyDelayMs = 600;
    AnalyserTimeouts timeouts;
    timeouts.reply = timeouts.sweep = std::chrono::milliseconds(150);
    auto expectTimeout = [&](Analyser &analyser, const char *text = "no reply within 150 ms") {
        const auto start = std::chrono::steady_clock::now();
        auto sweep = analyser.sweep();
        const auto waited = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(std::holds_alternative<LinkError>(sweep));
        EXPECT_EQ(std::get<LinkError>(sweep).kind, LinkError::Timeout);
        EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)), text);
        EXPECT_LT(waited, std::chrono::milliseconds(550)) << "bounded by the timeout";
    };
    {
        FakeScpiAnalyser fake(faults);
        expectTimeout(*connected(tcpAddress(SourceAddress::Scpi, fake.port()), timeouts));
    }
    {
        FakeLibreVna fake(faults);
        expectTimeout(*connected(tcpAddress(SourceAddress::LibreVna, fake.port()), timeouts));
    }
    {
        faults.points = 101;
        FakeNanoVna fake(faults);
        // The scan's echo came: the instrument sweeps, up to the sweep's
        // deadline.
        expectTimeout(*connected(serialAddress(fake), timeouts),
                      "the sweep did not finish within 150 ms");
    }
}

// A hostile SCPI analyser: every fault ends the read within 10 s with a
// message that names it, the cap bounding what is read, nothing raw.
struct HostileRow {
    const char *name;
    FakeFaults::Hostile hostile;
    bool atConnect;      // the fault is in the set-up's *IDN?
    const char *message; // linkErrorText, whole
};
const HostileRow hostileRows[] = {
    {"endless_identity", FakeFaults::Hostile::FloodIdentity, true,
     "the reply runs past 12865664 bytes, more than a sweep of up to 100001 points needs"},
    {"block_of_a_gigabyte", FakeFaults::Hostile::HugeBlock, false,
     "the block declares 999999999 bytes, more than the 1665552 a sweep of up to 100001 points "
     "needs"},
    {"no_data_mark", FakeFaults::Hostile::NoDataMark, false,
     "value 5 is 9.91E37 or 9.9E37, the analyser's mark for no data: not a number"},
    {"escapes_in_the_error_queue", FakeFaults::Hostile::EscapesInErrors, false,
     "the analyser reports -113,\"Undefined \\x1b[2J\\x07\\xff header\""},
};

class HostileTest : public ::testing::TestWithParam<HostileRow> {};

TEST_P(HostileTest, EndsBoundedAndSaysWhy) {
    const HostileRow &row = GetParam();
    FakeFaults faults;
    faults.hostile = row.hostile;
    FakeScpiAnalyser fake(faults);
    const auto start = std::chrono::steady_clock::now();
    auto made = connectAnalyser(tcpAddress(SourceAddress::Scpi, fake.port()));
    std::optional<LinkError> error;
    if (auto *failed = std::get_if<LinkError>(&made))
        error = *failed;
    else if (auto sweep = std::get<std::unique_ptr<Analyser>>(made)->sweep();
             auto *failed = std::get_if<LinkError>(&sweep))
        error = *failed;
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(error) << "the fault was taken";
    EXPECT_EQ(std::holds_alternative<LinkError>(made), row.atConnect);
    EXPECT_EQ(linkErrorText(*error), row.message);
    EXPECT_LT(waited, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileTest, ::testing::ValuesIn(hostileRows),
                         varnel::testing::RowName());

// The reply timeout is the longest silence: a reply whose bytes keep coming
// for longer than it is read whole; one that stops is not.
TEST(AnalyserLink, SlowSteadyReplyIsReadWhole) {
    FakeFaults faults = pieces(64, 10); // 201 points: 3.2 kB of data in about 0.5 s
    AnalyserTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(150);
    FakeScpiAnalyser fake(faults);
    const auto analyser = connected(tcpAddress(SourceAddress::Scpi, fake.port()), timeouts);
    ASSERT_TRUE(analyser);
    expectSweepsInOrder(*analyser, 1, 1, {FakeScpiAnalyser::frequenciesHz(), [](int k) {
                                              return FakeScpiAnalyser::sweepValues(k);
                                          }});
}

// A reply cut short on a live link says how much came, never "no reply".
TEST(AnalyserLink, CutReplySaysHowMuchCame) {
    FakeFaults faults;
    faults.cutMidBlock = true;
    AnalyserTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(150);
    FakeScpiAnalyser fake(faults);
    const auto analyser = connected(tcpAddress(SourceAddress::Scpi, fake.port()), timeouts);
    ASSERT_TRUE(analyser);
    auto sweep = analyser->sweep();
    ASSERT_TRUE(std::holds_alternative<LinkError>(sweep));
    // 201 points: "#43216", 3216 bytes and a line feed, half of it sent.
    EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)),
              "the reply stopped after 1611 bytes: nothing more within 150 ms");
    EXPECT_EQ(std::get<LinkError>(sweep).said, LinkError::Said::ReplyCut);
}

// The interruption's worked example, in a child process of its own (the
// interruption lasts for the process): a sweep held for seconds ends at
// once with "interrupted", and the analyser is still set back.
TEST(AnalyserLink, InterruptedSweepEndsAtOnce) {
    FakeFaults faults;
    faults.replyDelayMs = 3000;
    FakeScpiAnalyser fake(faults);
    const auto found = fake.settings();
    fake.awaitServing(); // no lock of its thread's crosses the fork
    const pid_t pid = ::fork();
    if (pid == 0) {
        AnalyserTimeouts timeouts;
        timeouts.sweep = std::chrono::milliseconds(30000);
        auto made = connectAnalyser(tcpAddress(SourceAddress::Scpi, fake.port()), timeouts);
        if (!std::holds_alternative<std::unique_ptr<Analyser>>(made))
            ::_exit(2);
        std::thread interrupter([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            interruptLinks();
        });
        const auto start = std::chrono::steady_clock::now();
        auto sweep = std::get<std::unique_ptr<Analyser>>(made)->sweep();
        interrupter.join();
        const bool soon = std::chrono::steady_clock::now() - start < std::chrono::seconds(1);
        const auto *error = std::get_if<LinkError>(&sweep);
        const bool said = error && error->kind == LinkError::Interrupted &&
                          linkErrorText(*error) == "interrupted";
        std::get<std::unique_ptr<Analyser>>(made).reset(); // set back
        ::_exit(said && soon ? 0 : 3);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not connected; 3: not interrupted at once";
    for (int i = 0; i < 500 && fake.settings() != found; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fake.settings(), found);
}

// Nobody listening: refused, said as the system says it.
TEST(AnalyserLink, ConnectionRefused) {
    int port = 0;
    {
        FakeScpiAnalyser fake;
        port = fake.port();
    } // its port is free again
    for (const auto kind : {SourceAddress::Scpi, SourceAddress::LibreVna}) {
        auto made = connectAnalyser(tcpAddress(kind, port));
        ASSERT_TRUE(std::holds_alternative<LinkError>(made));
        EXPECT_EQ(linkErrorText(std::get<LinkError>(made)), "connection refused");
    }
}

// A device that stops reading holds a send up for 5 s at most, then says so.
TEST(AnalyserLink, StalledSendEnds) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size);
    auto opened = connectTcp("127.0.0.1", ntohs(address.sin_port), std::chrono::seconds(2));
    ASSERT_TRUE(std::holds_alternative<Connection>(opened));
    const auto start = std::chrono::steady_clock::now();
    auto sent = std::get<Connection>(opened).send(std::string(64 << 20, 'x')); // never read
    const auto waited = std::chrono::steady_clock::now() - start;
    ::close(listener);
    ASSERT_TRUE(std::holds_alternative<LinkError>(sent));
    EXPECT_EQ(linkErrorText(std::get<LinkError>(sent)),
              "the analyser takes no more bytes: nothing sent within 5000 ms");
    EXPECT_LT(waited, std::chrono::seconds(7));
}

} // namespace
