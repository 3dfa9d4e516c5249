#include "analyser_link/analyser.h"
#include "analyser_link/connection.h"
#include "analyser_link/source_address.h"
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "link_test.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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

struct AddressRow {
    const char *name;
    const char *text;
    SourceAddress::Kind kind;
    const char *host = "";
    int port = 0;
    const char *problem = "";
};

const AddressRow addressRows[] = {
    {"file", "sweep.s1p", SourceAddress::File},
    {"scpi_default_port", "scpi://10.0.0.7", SourceAddress::Scpi, "10.0.0.7", 5025},
    {"scpi_port", "scpi://ena.lab:5026", SourceAddress::Scpi, "ena.lab", 5026},
    {"librevna_default_port", "librevna://127.0.0.1", SourceAddress::LibreVna, "127.0.0.1", 19542},
    {"nanovna", "nanovna:/dev/ttyACM0", SourceAddress::NanoVna},
    {"port_not_a_number", "scpi://ena:5025x", SourceAddress::Scpi, "", 0,
     "the port must be a number from 1 to 65535, got '5025x'"},
    {"port_zero", "scpi://ena:0", SourceAddress::Scpi, "", 0,
     "the port must be a number from 1 to 65535, got '0'"},
    {"no_host", "scpi://", SourceAddress::Scpi, "", 0, "scpi:// needs a host name or address"},
    {"no_device", "nanovna:", SourceAddress::NanoVna, "", 0,
     "nanovna: needs a serial device, such as nanovna:/dev/ttyACM0"},
    {"timeout_after_the_port", "scpi://ena:5026?timeout=10", SourceAddress::Scpi, "ena", 5026},
    {"timeout_refused", "librevna://gui?timeout=0", SourceAddress::LibreVna, "", 0,
     "a timeout is the seconds of silence allowed in a reply, and after a comma those of a "
     "whole sweep, from 0.1 to 3600 (such as 5 or 5,60); got '0'"},
};

class AddressTest : public ::testing::TestWithParam<AddressRow> {};

// The header's examples and the rest of the forms.
TEST_P(AddressTest, ReadsOrRefuses) {
    const AddressRow &row = GetParam();
    const auto read = parseSourceAddress(row.text);
    if (*row.problem) {
        ASSERT_TRUE(std::holds_alternative<std::string>(read));
        EXPECT_EQ(std::get<std::string>(read), row.problem);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<SourceAddress>(read)) << std::get<std::string>(read);
    const SourceAddress &a = std::get<SourceAddress>(read);
    EXPECT_EQ(a.kind, row.kind);
    EXPECT_EQ(a.host, row.host);
    EXPECT_EQ(a.port, row.port);
}

// The timeouts' worked examples, and the ways they are refused.
TEST(Timeouts, ReadAndWrittenBack) {
    using std::chrono::milliseconds;
    const auto ten = std::get<AnalyserTimeouts>(readTimeouts("10"));
    EXPECT_EQ(ten.reply, milliseconds(10000));
    EXPECT_EQ(ten.sweep, milliseconds(30000));
    EXPECT_EQ(std::get<AnalyserTimeouts>(readTimeouts("40")).sweep, milliseconds(40000))
        << "a sweep no shorter than a reply's silence";
    const auto both = std::get<AnalyserTimeouts>(readTimeouts("2.5,120"));
    EXPECT_EQ(both.reply, milliseconds(2500));
    EXPECT_EQ(both.sweep, milliseconds(120000));
    EXPECT_EQ(timeoutsText(both), "2.5,120");
    for (const char *refused : {"0", "5,1", "abc", "", "5,", "3601", "nan", "5,60,7"})
        EXPECT_TRUE(std::holds_alternative<std::string>(readTimeouts(refused))) << refused;
    EXPECT_EQ(addressText(SourceAddress::Scpi, "ena", 5025, "", both),
              "scpi://ena:5025?timeout=2.5,120");
    EXPECT_EQ(addressText(SourceAddress::Scpi, "ena", 5025, "", {}), "scpi://ena:5025");
    const auto nano =
        std::get<SourceAddress>(parseSourceAddress("nanovna:/dev/ttyACM0?timeout=1,2"));
    EXPECT_EQ(nano.device, "/dev/ttyACM0");
    EXPECT_EQ(nano.timeouts.reply, milliseconds(1000));
    EXPECT_EQ(nano.timeouts.sweep, milliseconds(2000));
}

// The header's examples: an address made from its parts reads back as them.
// The line framing's worked examples, and the ends it keeps or drops.
TEST(LineFrame, WorkedExamples) {
    EXPECT_EQ(std::get<std::size_t>(lineFrame("1\r\n+2")), 3u);
    EXPECT_EQ(withoutLineEnd("1\r\n"), "1");
    EXPECT_EQ(std::get<std::size_t>(lineFrame("no end yet")), 0u);
    EXPECT_EQ(std::get<std::size_t>(lineFrame("\n")), 1u);
    EXPECT_EQ(withoutLineEnd("1\n"), "1");
    EXPECT_EQ(withoutLineEnd("1\r"), "1");
    EXPECT_EQ(withoutLineEnd("a\rb\n"), "a\rb") << "a CR inside stays";
}

TEST(AddressText, ReadsBackAsItsParts) {
    EXPECT_EQ(addressText(SourceAddress::Scpi, "ena", 5025, ""), "scpi://ena:5025");
    EXPECT_EQ(addressText(SourceAddress::NanoVna, "", 0, "/dev/ttyACM0"), "nanovna:/dev/ttyACM0");
    EXPECT_EQ(defaultPort(SourceAddress::LibreVna), 19542);
    const auto read =
        parseSourceAddress(addressText(SourceAddress::LibreVna, "10.0.0.9", 1234, ""));
    ASSERT_TRUE(std::holds_alternative<SourceAddress>(read));
    EXPECT_EQ(std::get<SourceAddress>(read).host, "10.0.0.9");
    EXPECT_EQ(std::get<SourceAddress>(read).port, 1234);
}

INSTANTIATE_TEST_SUITE_P(Addresses, AddressTest, ::testing::ValuesIn(addressRows),
                         varnel::testing::RowName());

// SCPI analyser on a raw socket.
const FaultRow scpiRows[] = {
    {"binary", {}},
    {"ascii_only", with({}, &FakeFaults::asciiOnly)},
    {"replies_in_small_pieces", pieces(61, 1)},
    {"ascii_in_small_pieces", with(pieces(7), &FakeFaults::asciiOnly)},
    {"real64_refused_real_taken",
     [] {
         FakeFaults f;
         f.refuses = FakeFaults::Refuses::Real64;
         return f;
     }()},
    {"binary_refused_ascii_taken",
     [] {
         FakeFaults f;
         f.refuses = FakeFaults::Refuses::Binary;
         return f;
     }()},
    {"an_earlier_sessions_error_cleared", with({}, &FakeFaults::staleError)},
    {"found_on_manual_trigger",
     [] {
         FakeFaults f;
         f.triggerSource = "MAN";
         return f;
     }()},
    {"found_on_external_trigger_and_hold",
     [] {
         FakeFaults f;
         f.triggerSource = "EXT";
         f.held = true;
         return f;
     }()},
    {"averaging_on", with({}, &FakeFaults::averaging)},
};

class ScpiFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(ScpiFaultTest, SweepsAreWholeAndInOrder) {
    FakeScpiAnalyser fake(GetParam().faults);
    const auto analyser = connected(tcpAddress(SourceAddress::Scpi, fake.port()));
    ASSERT_TRUE(analyser);
    EXPECT_EQ(analyser->identity(), "Fake,SCPI analyser,0,1");
    expectSweepsInOrder(*analyser, 1, 3, {FakeScpiAnalyser::frequenciesHz(), [](int k) {
                                              return FakeScpiAnalyser::sweepValues(k);
                                          }});
}

INSTANTIATE_TEST_SUITE_P(Faults, ScpiFaultTest, ::testing::ValuesIn(scpiRows),
                         varnel::testing::RowName());

// Done with the analyser, after sweeps or after a refused one, the program
// leaves its trigger, sweep and data format as it found them.
TEST(ScpiAnalyser, SettingsAreLeftAsFound) {
    for (const bool refused : {false, true}) {
        FakeFaults faults;
        faults.triggerSource = "EXT";
        faults.held = true;
        faults.averaging = true;
        if (refused)
            faults.hostile = FakeFaults::Hostile::NoDataMark;
        FakeScpiAnalyser fake(faults);
        const auto found = fake.settings();
        {
            const auto analyser = connected(tcpAddress(SourceAddress::Scpi, fake.port()));
            ASSERT_TRUE(analyser);
            EXPECT_EQ(std::holds_alternative<LinkError>(analyser->sweep()), refused);
            EXPECT_EQ(fake.settings().at("TRIG:SOUR"), "BUS");
        }
        EXPECT_EQ(fake.settings(), found) << (refused ? "refused" : "swept");
        const auto log = fake.commands();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "*OPC?") << "the settings are awaited before the link closes";
    }
}

// LibreVNA's GUI: a sweep is read only once the acquisition has finished
// (the fake mixes two sweeps in a trace read earlier).
const FaultRow libreRows[] = {
    {"plain", {}},
    {"acquisition_takes_a_while",
     [] {
         FakeFaults f;
         f.sweepMs = 30;
         return f;
     }()},
    {"settings_answered_by_empty_lines", with({}, &FakeFaults::emptyReplies)},
    {"replies_in_small_pieces", pieces(53, 1)},
};

class LibreVnaFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(LibreVnaFaultTest, SweepsAreWholeAndInOrder) {
    FakeLibreVna fake(GetParam().faults);
    const auto analyser = connected(tcpAddress(SourceAddress::LibreVna, fake.port()));
    ASSERT_TRUE(analyser);
    EXPECT_EQ(analyser->identity(), "LibreVNA,LibreVNA-GUI,fake,1.0");
    expectSweepsInOrder(*analyser, 1, 3,
                        {varnel::testing::fakeFrequenciesHz(201),
                         [](int k) { return varnel::testing::fakeSweepValues(k, 201); }, 1e-12, 2});
}

INSTANTIATE_TEST_SUITE_P(Faults, LibreVnaFaultTest, ::testing::ValuesIn(libreRows),
                         varnel::testing::RowName());

// The same numbers as the same sweep saved as a file and read; a 2-port
// when the GUI has the four traces, S11 alone otherwise.
TEST(LibreVna, SweepIsTheFileItsTouchstoneQueryGives) {
    for (const bool four : {true, false}) {
        FakeLibreVna fake({}, four);
        const auto analyser = connected(tcpAddress(SourceAddress::LibreVna, fake.port()));
        ASSERT_TRUE(analyser);
        auto sweep = analyser->sweep();
        ASSERT_TRUE(std::holds_alternative<Network>(sweep));
        auto file = readTouchstoneText(four ? "sweep.s2p" : "sweep.s1p",
                                       FakeLibreVna::touchstone(1, 201, four));
        ASSERT_TRUE(std::holds_alternative<Network>(file));
        EXPECT_EQ(std::get<Network>(sweep).values, std::get<Network>(file).values);
        EXPECT_EQ(std::get<Network>(sweep).frequencyMHz, std::get<Network>(file).frequencyMHz);
        EXPECT_EQ(std::get<Network>(sweep).ports, four ? 2 : 1);
    }
}

// A Touchstone reply with a point more or fewer than the acquisition's is
// refused in those words, and read to its end: the next sweep is whole.
TEST(LibreVna, ReplyOfAnotherPointCountIsRefusedAndTheNextIsWhole) {
    for (const auto &[off, message] :
         {std::pair{1, "the Touchstone reply has 202 points, not the 201 of the acquisition"},
          std::pair{-1, "the Touchstone reply has 200 points, not the 201 of the acquisition"}}) {
        FakeFaults faults;
        faults.linesOffOnce = off;
        FakeLibreVna fake(faults);
        const auto analyser = connected(tcpAddress(SourceAddress::LibreVna, fake.port()));
        ASSERT_TRUE(analyser);
        auto sweep = analyser->sweep();
        ASSERT_TRUE(std::holds_alternative<LinkError>(sweep));
        EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)), message);
        expectSweepsInOrder(*analyser, 2, 2,
                            {varnel::testing::fakeFrequenciesHz(201),
                             [](int k) { return varnel::testing::fakeSweepValues(k, 201); }, 1e-12,
                             2});
    }
}

// NanoVNA shell on a pseudo-terminal.
const FaultRow nanoRows[] = {
    {"binary", {}},
    {"stray_prompts_and_banner", with({}, &FakeFaults::strayPrompts)},
    {"pieces_and_stray_prompts", with(pieces(13, 1), &FakeFaults::strayPrompts)},
    {"text_firmware", with({}, &FakeFaults::asciiOnly)},
    {"text_in_pieces_with_stray_prompts",
     with(with(pieces(5), &FakeFaults::asciiOnly), &FakeFaults::strayPrompts)},
};

class NanoVnaFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(NanoVnaFaultTest, SweepsAreWholeAndInOrder) {
    FakeFaults faults = GetParam().faults;
    faults.points = 101;
    FakeNanoVna fake(faults);
    const auto analyser = connected(serialAddress(fake));
    ASSERT_TRUE(analyser);
    EXPECT_EQ(analyser->identity(), "NanoVNA 1.2.00-fake");
    const bool text = faults.asciiOnly;
    expectSweepsInOrder(*analyser, 1, 4,
                        {FakeNanoVna::frequenciesHz(101),
                         [text](int k) { return FakeNanoVna::sweepValues(k, 101, text); },
                         text ? 1.5e-6 : 0, 2,
                         [text](int k) { return FakeNanoVna::sweepValues(k, 101, text, true); }});
}

INSTANTIATE_TEST_SUITE_P(Faults, NanoVnaFaultTest, ::testing::ValuesIn(nanoRows),
                         varnel::testing::RowName());

// The shell's point limit: a sweep set beyond it is refused in the
// firmware's words, not misread.
TEST(NanoVna, PointsBeyondTheFirmwareLimitAreRefusedInItsWords) {
    FakeFaults faults;
    faults.points = 201;
    FakeNanoVna fake(faults);
    const auto analyser = connected(serialAddress(fake));
    ASSERT_TRUE(analyser);
    auto sweep = analyser->sweep();
    ASSERT_TRUE(std::holds_alternative<LinkError>(sweep));
    EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)),
              "the NanoVNA answered 'sweep points exceeds range 101'");
}

// A scan reply framed wrong says what was wrong once the shell is silent
// for the reply timeout (a header of another count at once), never "no
// reply"; the next sweep is whole.
TEST(NanoVna, FramingErrorsAreNamedSoon) {
    using F = FakeFaults::Framing;
    for (const auto &[framing, message] :
         {std::pair{F::ShortPayload,
                    "the scan's binary reply stopped after 2016 of its 2028 bytes (101 points)"},
          std::pair{F::OtherCount,
                    "the scan declares 100 points of mask 135, not the 101 of mask 135 asked for"},
          std::pair{F::OtherEcho, "the NanoVNA did not echo the command; it sent 'sweep'"}}) {
        FakeFaults faults;
        faults.points = 101;
        faults.framing = framing;
        FakeNanoVna fake(faults);
        AnalyserTimeouts timeouts;
        timeouts.reply = std::chrono::milliseconds(300);
        const auto analyser = connected(serialAddress(fake), timeouts);
        ASSERT_TRUE(analyser);
        const auto start = std::chrono::steady_clock::now();
        auto sweep = analyser->sweep();
        ASSERT_TRUE(std::holds_alternative<LinkError>(sweep)) << message;
        EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)), message);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << message;
        expectSweepsInOrder(*analyser, 2, 1,
                            {FakeNanoVna::frequenciesHz(101),
                             [](int k) { return FakeNanoVna::sweepValues(k, 101, false); }, 0, 2,
                             [](int k) { return FakeNanoVna::sweepValues(k, 101, false, true); }});
    }
}

// A scan pauses the NanoVNA's own sweep: done with it, the program resumes
// it, so that its screen does not stay frozen.
TEST(NanoVna, IsResumedWhenDone) {
    FakeFaults faults;
    faults.points = 101;
    FakeNanoVna fake(faults);
    {
        const auto analyser = connected(serialAddress(fake));
        ASSERT_TRUE(analyser);
        ASSERT_TRUE(std::holds_alternative<Network>(analyser->sweep()));
        EXPECT_EQ(fake.resumed(), 0);
    }
    for (int i = 0; i < 100 && fake.resumed() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fake.resumed(), 1);
}

TEST(NanoVna, NotASerialDeviceIsSaidSo) {
    SourceAddress a;
    a.kind = SourceAddress::NanoVna;
    for (const auto &[device, words] :
         {std::pair{"/dev/null", "not a serial device"},
          std::pair{"/nonexistent/ttyACM9", "no such file or directory"}}) {
        a.device = device;
        auto made = connectAnalyser(a);
        ASSERT_TRUE(std::holds_alternative<LinkError>(made)) << device;
        EXPECT_EQ(linkErrorText(std::get<LinkError>(made)), words);
    }
}

} // namespace
