#include "analyser_link/scpi_analyser.h"
#include "analyser_link/source_address.h"
#include "fake_scpi_analyser.h"
#include "table_test.h"

#include <gtest/gtest.h>

using namespace varnel;
using varnel::testing::FakeScpiAnalyser;
using varnel::testing::PrintTo;

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

INSTANTIATE_TEST_SUITE_P(Addresses, AddressTest, ::testing::ValuesIn(addressRows),
                         varnel::testing::RowName());

SourceAddress addressOf(const FakeScpiAnalyser &fake) {
    SourceAddress a;
    a.kind = SourceAddress::Scpi;
    a.host = "127.0.0.1";
    a.port = fake.port();
    return a;
}

// Three sweeps in a row, each the fake's sweep k to the last bit: none
// mixed, repeated or stale.
void expectSweepsInOrder(ScpiAnalyser &analyser, int first, int count) {
    for (int k = first; k < first + count; ++k) {
        auto sweep = analyser.sweep();
        ASSERT_TRUE(std::holds_alternative<Network>(sweep))
            << linkErrorText(std::get<LinkError>(sweep));
        const Network &n = std::get<Network>(sweep);
        ASSERT_EQ(n.size(), 201u);
        EXPECT_EQ(n.frequencyMHz.front(), 985);
        EXPECT_EQ(n.frequencyMHz.back(), 1015);
        EXPECT_EQ(n.values, FakeScpiAnalyser::sweepValues(k)) << "sweep " << k;
    }
}

struct FaultRow {
    const char *name;
    FakeScpiAnalyser::Faults faults;
};

const FaultRow faultRows[] = {
    {"binary", {}},
    {"ascii_only", {0, 0, false, 0, true}},
    {"replies_in_small_pieces", {61, 1, false, 0, false}},
    {"ascii_in_small_pieces", {7, 0, false, 0, true}},
};

class ScpiFaultTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(ScpiFaultTest, SweepsAreWholeAndInOrder) {
    FakeScpiAnalyser fake(GetParam().faults);
    auto connected = ScpiAnalyser::connect(addressOf(fake));
    ASSERT_TRUE(std::holds_alternative<ScpiAnalyser>(connected))
        << linkErrorText(std::get<LinkError>(connected));
    ScpiAnalyser &analyser = std::get<ScpiAnalyser>(connected);
    EXPECT_EQ(analyser.identity(), "Fake,SCPI analyser,0,1");
    expectSweepsInOrder(analyser, 1, 3);
}

INSTANTIATE_TEST_SUITE_P(Faults, ScpiFaultTest, ::testing::ValuesIn(faultRows),
                         varnel::testing::RowName());

// A connection dropped halfway through a block ends the sweep with a clear
// message, never a partial sweep; connecting again gives whole sweeps.
TEST(ScpiAnalyser, DroppedConnectionEndsTheSweepAndReconnects) {
    FakeScpiAnalyser::Faults faults;
    faults.dropMidBlock = true;
    FakeScpiAnalyser fake(faults);
    auto first = ScpiAnalyser::connect(addressOf(fake));
    ASSERT_TRUE(std::holds_alternative<ScpiAnalyser>(first));
    auto broken = std::get<ScpiAnalyser>(first).sweep();
    ASSERT_TRUE(std::holds_alternative<LinkError>(broken));
    EXPECT_EQ(linkErrorText(std::get<LinkError>(broken)), "the analyser closed the connection");
    auto again = ScpiAnalyser::connect(addressOf(fake));
    ASSERT_TRUE(std::holds_alternative<ScpiAnalyser>(again));
    expectSweepsInOrder(std::get<ScpiAnalyser>(again), 2, 2);
}

// A reply slower than the timeout ends in a timeout, bounded.
TEST(ScpiAnalyser, SlowReplyTimesOut) {
    FakeScpiAnalyser::Faults faults;
    faults.replyDelayMs = 600;
    FakeScpiAnalyser fake(faults);
    ScpiTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(150);
    auto connected = ScpiAnalyser::connect(addressOf(fake), timeouts);
    ASSERT_TRUE(std::holds_alternative<ScpiAnalyser>(connected));
    const auto start = std::chrono::steady_clock::now();
    auto sweep = std::get<ScpiAnalyser>(connected).sweep();
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(std::holds_alternative<LinkError>(sweep));
    EXPECT_EQ(std::get<LinkError>(sweep).kind, LinkError::Timeout);
    EXPECT_EQ(linkErrorText(std::get<LinkError>(sweep)), "no reply within 150 ms");
    EXPECT_LT(waited, std::chrono::milliseconds(550)) << "bounded by the timeout";
}

// Nobody listening: refused, said as the system says it.
TEST(ScpiAnalyser, ConnectionRefused) {
    int port = 0;
    {
        FakeScpiAnalyser fake;
        port = fake.port();
    } // its port is free again
    SourceAddress a;
    a.kind = SourceAddress::Scpi;
    a.host = "127.0.0.1";
    a.port = port;
    auto connected = ScpiAnalyser::connect(a);
    ASSERT_TRUE(std::holds_alternative<LinkError>(connected));
    EXPECT_EQ(linkErrorText(std::get<LinkError>(connected)), "connection refused");
}

} // namespace
