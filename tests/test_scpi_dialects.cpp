#include "analyser_protocols/scpi_dialect.h"
#include "link_test.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The SCPI families: found from "*IDN?" or forced in the address, each
// against a fake written from its programming guide; two ports where the
// analyser measures them; the analyser left as it was found.
namespace {

using namespace varnel;
using varnel::testing::FakeFaults;
using varnel::testing::FakeScpiAnalyser;

// The header's worked examples.
TEST(ScpiDialect, WorkedExamples) {
    EXPECT_EQ(scpiDialectOf("Keysight Technologies,E5080B,MY1,A.16"), ScpiDialectKind::Pna);
    EXPECT_EQ(scpiDialectOf("Rohde-Schwarz,ZNB8-4Port,1,3.45"), ScpiDialectKind::Znb);
    EXPECT_EQ(scpiDialectOf("Keysight Technologies,E5071C,MY1,B.14"), ScpiDialectKind::Ena);
    EXPECT_EQ(scpiCommand("CALC1:PAR:SEL '%n'", "CH1_S11_1"), "CALC1:PAR:SEL 'CH1_S11_1'");
    EXPECT_EQ(parseScpiCatalog("'Trc1,S11,Trc2,S21'"),
              (std::vector<ScpiMeasurement>{{"Trc1", "S11"}, {"Trc2", "S21"}}));
}

struct IdentityRow {
    const char *name, *identity;
    ScpiDialectKind kind;
};
const IdentityRow identityRows[] = {
    {"pna_l", "Agilent Technologies,N5230C,MY1,A.09", ScpiDialectKind::Pna},
    {"pna_x", "Keysight Technologies,N5242B,MY1,A.13", ScpiDialectKind::Pna},
    {"streamline", "Keysight Technologies,P5024A,MY1,A.14", ScpiDialectKind::Pna},
    {"zna", "Rohde-Schwarz,ZNA26-4Port,1,2.20", ScpiDialectKind::Znb},
    {"zva_old_spelling", "ROHDE&SCHWARZ,ZVA24-4Port,1,3.60", ScpiDialectKind::Znb},
    {"ena_e5061b", "Agilent Technologies,E5061B,MY1,A.03", ScpiDialectKind::Ena},
    {"copper_mountain", "CMT,S5048,00000001,22.1", ScpiDialectKind::Ena},
    {"keysight_not_a_pna_model", "Keysight Technologies,E5063A,MY1,A.03", ScpiDialectKind::Ena},
    {"no_commas", "anything", ScpiDialectKind::Ena},
    {"empty", "", ScpiDialectKind::Ena},
};

TEST(ScpiDialect, FoundFromTheIdentity) {
    for (const IdentityRow &row : identityRows)
        EXPECT_EQ(scpiDialectOf(row.identity), row.kind) << row.name;
}

struct CatalogRow {
    const char *name, *reply;
    std::vector<ScpiMeasurement> measurements;
};
const CatalogRow catalogRows[] = {
    {"pna", "\"CH1_S11_1,S11,CH1_S21_2,S21\"", {{"CH1_S11_1", "S11"}, {"CH1_S21_2", "S21"}}},
    {"znb_spaced_lower_case", "'Trc1, s11 ,Trc2,S22'", {{"Trc1", "S11"}, {"Trc2", "S22"}}},
    {"none", "\"NO CATALOG\"", {}},
    {"empty", "\"\"", {}},
    {"odd_count_drops_the_last", "'Trc1,S11,Trc2'", {{"Trc1", "S11"}}},
};

TEST(ScpiDialect, CatalogsRead) {
    for (const CatalogRow &row : catalogRows)
        EXPECT_EQ(parseScpiCatalog(row.reply), row.measurements) << row.name;
}

TEST(ScpiDialect, OnlyPlainValuesGoBack) {
    EXPECT_TRUE(plainScpiValue("CH1_S11_1"));
    EXPECT_TRUE(plainScpiValue("REAL,64"));
    EXPECT_FALSE(plainScpiValue("a'b")) << "a quote would end the name early";
    EXPECT_FALSE(plainScpiValue("x\nRST")) << "a line feed would start a command";
    EXPECT_FALSE(plainScpiValue(""));
    EXPECT_FALSE(plainScpiValue(std::string(33, 'A')));
}

struct AddressRow {
    const char *name, *text, *dialect, *refusal;
};
const AddressRow addressRows[] = {
    {"forced", "scpi://10.0.0.7?dialect=znb", "znb", nullptr},
    {"with_a_timeout", "scpi://10.0.0.7:5025?timeout=10&dialect=pna", "pna", nullptr},
    {"timeout_after", "scpi://pna?dialect=ena&timeout=2,60", "ena", nullptr},
    {"unknown_dialect", "scpi://10.0.0.7?dialect=hp8510", nullptr,
     "an SCPI dialect is ena, pna or znb, got 'hp8510'"},
    {"not_for_librevna", "librevna://host?dialect=pna", nullptr,
     "an address takes ?timeout=SECONDS, got 'dialect=pna'"},
    {"unknown_option", "scpi://host?speed=9", nullptr,
     "an address takes ?timeout=SECONDS and &dialect=NAME, got 'speed=9'"},
};

TEST(ScpiDialect, ForcedInTheAddress) {
    for (const AddressRow &row : addressRows) {
        const auto read = parseSourceAddress(row.text);
        if (row.refusal) {
            ASSERT_TRUE(std::holds_alternative<std::string>(read)) << row.name;
            EXPECT_EQ(std::get<std::string>(read), row.refusal) << row.name;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<SourceAddress>(read)) << row.name;
        EXPECT_EQ(std::get<SourceAddress>(read).dialect, row.dialect) << row.name;
        EXPECT_EQ(std::get<SourceAddress>(read).host.find('?'), std::string::npos) << row.name;
    }
    AnalyserTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(10000);
    EXPECT_EQ(addressText(SourceAddress::Scpi, "znb", 5025, "", timeouts, "znb"),
              "scpi://znb:5025?timeout=10,30&dialect=znb");
    EXPECT_EQ(addressText(SourceAddress::Scpi, "pna", 5025, "", {}, "pna"),
              "scpi://pna:5025?dialect=pna");
}

// Each family against its fake: the sweeps whole and in order, four
// parameters from a 2-port analyser (found or defined), S11 alone from a
// 1-port one, and everything as found once the program is done.
struct FamilyRow {
    const char *name;
    FakeFaults faults;
    int ports;
};
FakeFaults family(const char *dialect, int ports, void (*more)(FakeFaults &) = nullptr) {
    FakeFaults f;
    f.dialect = dialect;
    f.analyserPorts = ports;
    f.triggerSource = f.dialect == "ena" ? "INT" : "IMM";
    if (more)
        more(f);
    return f;
}
const FamilyRow familyRows[] = {
    {"ena_one_port", family("ena", 1), 1},
    {"ena_two_ports_defined", family("ena", 2), 2},
    {"ena_two_ports_found", family("ena", 2, [](FakeFaults &f) { f.allFourFound = true; }), 2},
    {"ena_two_ports_averaging", family("ena", 2, [](FakeFaults &f) { f.averaging = true; }), 2},
    {"copper_mountain_ascii",
     family("ena", 2,
            [](FakeFaults &f) {
                f.asciiOnly = true;
                f.identity = "CMT,S5048,00000001,22.1";
            }),
     2},
    {"e5071c_spells_real",
     family("ena", 2,
            [](FakeFaults &f) {
                f.refuses = FakeFaults::Refuses::Real64;
                f.identity = "Keysight Technologies,E5071C,MY1,B.14";
            }),
     2},
    {"pna_one_port", family("pna", 1), 1},
    {"pna_two_ports_defined", family("pna", 2), 2},
    {"pna_two_ports_found", family("pna", 2, [](FakeFaults &f) { f.allFourFound = true; }), 2},
    {"pna_found_on_manual_trigger_sweeping",
     family("pna", 2, [](FakeFaults &f) { f.triggerSource = "MAN"; }), 2},
    {"pna_averaging_finished", family("pna", 2, [](FakeFaults &f) { f.averaging = true; }), 2},
    {"pna_in_small_pieces", family("pna", 2, [](FakeFaults &f) { f.pieceBytes = 97; }), 2},
    {"znb_one_port", family("znb", 1), 1},
    {"znb_two_ports_defined", family("znb", 2), 2},
    {"znb_found_on_external_trigger_held",
     family("znb", 2,
            [](FakeFaults &f) {
                f.triggerSource = "EXT";
                f.held = true;
            }),
     2},
    {"znb_averaging_ascii",
     family("znb", 2,
            [](FakeFaults &f) {
                f.averaging = true;
                f.asciiOnly = true;
            }),
     2},
    {"znb_identity_unknown_forced",
     family("znb", 2, [](FakeFaults &f) { f.identity = "Fake,SCPI analyser,0,1"; }), 2},
};

void expectFourParameters(const Network &n, int k) {
    for (const SParameter p : {SParameter{1, 1}, {2, 1}, {1, 2}, {2, 2}}) {
        const auto want = FakeScpiAnalyser::parameterValues(k, p.name());
        const auto got = n.parameter(p);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(std::abs(got[i] - want[i]), 0, 1e-15)
                << p.name() << " of sweep " << k << " point " << i;
    }
}

class ScpiFamilyTest : public ::testing::TestWithParam<FamilyRow> {};

TEST_P(ScpiFamilyTest, SweepsInOrderAndLeftAsFound) {
    const FamilyRow &row = GetParam();
    FakeScpiAnalyser fake(row.faults);
    const auto found = fake.settings();
    SourceAddress address = varnel::testing::tcpAddress(SourceAddress::Scpi, fake.port());
    if (!row.faults.identity.empty() && row.faults.identity.starts_with("Fake"))
        address.dialect = row.faults.dialect;
    {
        const auto analyser = varnel::testing::connected(address);
        ASSERT_TRUE(analyser);
        for (int k = 1; k <= 3; ++k) {
            auto sweep = analyser->sweep();
            ASSERT_TRUE(std::holds_alternative<Network>(sweep))
                << "sweep " << k << ": " << linkErrorText(std::get<LinkError>(sweep));
            const Network &n = std::get<Network>(sweep);
            ASSERT_EQ(n.ports, row.ports);
            const auto frequencies = FakeScpiAnalyser::frequenciesHz();
            ASSERT_EQ(n.size(), frequencies.size());
            EXPECT_NEAR(n.frequencyMHz.back(), frequencies.back() / 1e6, 1e-9);
            if (row.ports == 2) {
                expectFourParameters(n, k);
            } else {
                const auto want = FakeScpiAnalyser::sweepValues(k);
                const auto got = n.parameter({1, 1});
                for (std::size_t i = 0; i < got.size(); ++i)
                    ASSERT_NEAR(std::abs(got[i] - want[i]), 0, 1e-15) << "point " << i;
            }
        }
    }
    EXPECT_EQ(fake.settings(), found);
    EXPECT_EQ(fake.commands().back(), "*OPC?");
}

INSTANTIATE_TEST_SUITE_P(Families, ScpiFamilyTest, ::testing::ValuesIn(familyRows),
                         varnel::testing::RowName());

// Without the dialect forced, an analyser whose identity names no family
// is spoken to as an ENA: a ZNB that does not answer those queries is a
// failure (never a sweep read from the wrong commands), which names the
// query and what the error queue says of it.
TEST(ScpiFamily, UnknownIdentityNotForcedFails) {
    FakeFaults faults = family("znb", 2);
    faults.identity = "Fake,SCPI analyser,0,1";
    FakeScpiAnalyser fake(faults);
    AnalyserTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(300);
    auto made =
        connectAnalyser(varnel::testing::tcpAddress(SourceAddress::Scpi, fake.port()), timeouts);
    ASSERT_TRUE(std::holds_alternative<LinkError>(made));
    EXPECT_EQ(linkErrorText(std::get<LinkError>(made)),
              "no reply to ':TRIG:SOUR?' within 300 ms: the analyser reports -113,\"Undefined "
              "header\"");
}

} // namespace
