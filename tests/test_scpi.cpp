#include "analyser_protocols/librevna.h"
#include "analyser_protocols/nanovna.h"
#include "analyser_protocols/scpi.h"
#include "table_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace varnel;
using varnel::testing::PrintTo;

namespace {

// Two doubles as an analyser sends them: each value's 8 bytes, most or
// least significant first, written here byte by byte from the IEEE 754
// bit patterns (1.5 is 0x3FF8000000000000, -2 is 0xC000000000000000).
std::string realBytes(ByteOrder order) {
    const unsigned char msbFirst[] = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    std::string bytes(reinterpret_cast<const char *>(msbFirst), sizeof msbFirst);
    if (order == ByteOrder::LeastSignificantFirst)
        for (std::size_t v = 0; v < 2; ++v)
            std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(8 * v),
                         bytes.begin() + static_cast<std::ptrdiff_t>(8 * v + 8));
    return bytes;
}

// The header's worked example, in both byte orders.
TEST(Scpi, WorkedExample) {
    for (const ByteOrder order :
         {ByteOrder::MostSignificantFirst, ByteOrder::LeastSignificantFirst}) {
        const std::string reply = "#216" + realBytes(order) + "\n";
        const BlockRead read = readDefiniteBlock(reply);
        ASSERT_EQ(read.status, BlockRead::Complete);
        EXPECT_EQ(read.consumed, 21u);
        const auto values = decodeReal64(read.payload, order);
        ASSERT_TRUE(values);
        EXPECT_EQ(*values, (std::vector<double>{1.5, -2}));
    }
    EXPECT_EQ(
        readDefiniteBlock("#216" + realBytes(ByteOrder::MostSignificantFirst).substr(0, 10)).status,
        BlockRead::NeedMore);
    const BlockRead bad = readDefiniteBlock("#A16");
    EXPECT_EQ(bad.status, BlockRead::Malformed);
    EXPECT_EQ(findingText(*bad.finding), "the block's length digit is not 1 to 9");
}

// The header's examples of the findings' English.
TEST(FindingText, HeaderExamples) {
    EXPECT_EQ(findingText({ProtocolFinding::BlockNotEnded, "", 16}),
              "the block is not ended by a line feed after its 16 bytes");
    EXPECT_EQ(findingText({ProtocolFinding::Answered, "ch>"}), "the NanoVNA answered 'ch>'");
    ProtocolFinding unanswered{ProtocolFinding::Unanswered, "-113,\"Undefined header\"", 5000};
    unanswered.sent = ":CALC:X?";
    EXPECT_EQ(findingText(unanswered), "no reply to ':CALC:X?' within 5000 ms: the analyser "
                                       "reports -113,\"Undefined header\"");
}

struct BlockRow {
    const char *name;
    std::string buffer;
    BlockRead::Status status;
    std::size_t consumed = 0;
    std::string payload{};
};

const BlockRow blockRows[] = {
    {"empty", "", BlockRead::NeedMore},
    {"hash_only", "#", BlockRead::NeedMore},
    {"count_cut", "#3", BlockRead::NeedMore},
    {"count_cut_within", "#31", BlockRead::NeedMore},
    {"bytes_cut", "#15abc", BlockRead::NeedMore},
    {"terminator_not_yet", "#13abc", BlockRead::NeedMore},
    {"carriage_return_not_yet_line_feed", "#13abc\r", BlockRead::NeedMore},
    {"line_feed", "#13abc\n", BlockRead::Complete, 7, "abc"},
    {"carriage_return_line_feed", "#13abc\r\n", BlockRead::Complete, 8, "abc"},
    {"bytes_may_hold_line_feeds", "#14a\nb\n\n", BlockRead::Complete, 8, "a\nb\n"},
    {"next_reply_left_in_the_buffer", "#12ab\n+1.0\n", BlockRead::Complete, 6, "ab"},
    {"empty_block", "#10\n", BlockRead::Complete, 4, ""},
    {"not_a_block", "+1.0,2.0\n", BlockRead::Malformed},
    {"indefinite", "#0abc\n", BlockRead::Malformed},
    {"count_not_digits", "#2x5abc\n", BlockRead::Malformed},
    {"no_terminator_after_bytes", "#13abcd", BlockRead::Malformed},
    {"count_beyond_any_sweep", "#9999999999", BlockRead::Malformed},
    {"count_at_the_cap_waits", "#71665552abc", BlockRead::NeedMore},
};

class BlockTest : public ::testing::TestWithParam<BlockRow> {};

TEST_P(BlockTest, ReadsOrWaitsOrRefuses) {
    const BlockRow &row = GetParam();
    const BlockRead read = readDefiniteBlock(row.buffer);
    EXPECT_EQ(read.status, row.status) << (read.finding ? findingText(*read.finding) : "");
    if (row.status == BlockRead::Complete) {
        EXPECT_EQ(read.consumed, row.consumed);
        EXPECT_EQ(read.payload, row.payload);
    }
    if (row.status == BlockRead::Malformed) {
        EXPECT_TRUE(read.finding.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlockTest, ::testing::ValuesIn(blockRows),
                         varnel::testing::RowName());

TEST(Scpi, Real64NeedsWholeValues) {
    EXPECT_FALSE(decodeReal64("1234567", ByteOrder::MostSignificantFirst));
    EXPECT_TRUE(decodeReal64("", ByteOrder::MostSignificantFirst)->empty());
}

TEST(Scpi, AsciiNumbers) {
    const auto read = parseAsciiNumbers("+1.00000000000E+009,-2.5, 3\r\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<double>>(read));
    EXPECT_EQ(std::get<std::vector<double>>(read), (std::vector<double>{1e9, -2.5, 3}));
    EXPECT_EQ(findingText(std::get<ProtocolFinding>(parseAsciiNumbers("1,,2\n"))),
              "value 2 is not a number");
    EXPECT_EQ(findingText(std::get<ProtocolFinding>(parseAsciiNumbers("1,2x\n"))),
              "value 2 is not a number");
}

// A sweep is taken only whole and sane: two data values a frequency,
// frequencies strictly rising, every value finite, none SCPI's mark for
// no data.
TEST(Scpi, SweepIsChecked) {
    const auto good = scpiSweep({1e9, 1.001e9}, {0.5, 0, -0.5, 0.25});
    ASSERT_TRUE(std::holds_alternative<Network>(good));
    const Network &n = std::get<Network>(good);
    EXPECT_EQ(n.frequencyMHz, (std::vector<double>{1000, 1001}));
    EXPECT_EQ(n.values[1], std::complex<double>(-0.5, 0.25));
    const struct {
        std::vector<double> f, data;
        const char *text;
    } rows[] = {
        {{1e9}, {0, 0}, "a sweep needs at least 2 points, the analyser sent 1"},
        {{1e9, 2e9}, {0, 0, 0}, "2 frequencies but 3 data values (two a frequency expected)"},
        {{1e9, 1e9}, {0, 0, 0, 0}, "the frequencies do not rise at point 2"},
        {{1e9, 2e9}, {0, 0, 0, NAN}, "value 4 is not a finite number"},
        {{1e9, 2e9},
         {0, 9.91e37, 0, 0},
         "value 2 is 9.91E37 or 9.9E37, the analyser's mark for no data: not a number"},
        {{1e9, 2e9},
         {0, 0, -9.9e37, 0},
         "value 3 is 9.91E37 or 9.9E37, the analyser's mark for no data: not a number"},
        {{1e9, 9.91e37},
         {0, 0, 0, 0},
         "value 2 is 9.91E37 or 9.9E37, the analyser's mark for no data: not a number"},
    };
    for (const auto &row : rows) {
        const auto refused = scpiSweep(row.f, row.data);
        ASSERT_TRUE(std::holds_alternative<SweepProblem>(refused)) << row.text;
        EXPECT_EQ(sweepProblemText(std::get<SweepProblem>(refused)), row.text);
    }
}

// The LibreVNA header's worked example.
TEST(LibreVna, TouchstoneReplyIsFramedByItsEnd) {
    const std::string half = "# GHZ S RI R 50\n1.0 0.5 0\n";
    EXPECT_EQ(std::get<std::size_t>(libreVnaTouchstoneLength(half, 2)), 0u);
    const std::string whole = half + "1.1 0.25 0\n\n";
    EXPECT_EQ(std::get<std::size_t>(libreVnaTouchstoneLength(whole + "*IDN", 2)), whole.size());
    EXPECT_EQ(whole.size(), 38u);
    const auto sweep = libreVnaSweep(whole, 1, "librevna://fake");
    ASSERT_TRUE(std::holds_alternative<Network>(sweep));
    EXPECT_EQ(std::get<Network>(sweep).frequencyMHz, (std::vector<double>{1000, 1100}));
    EXPECT_EQ(std::get<Network>(sweep).values, (std::vector<std::complex<double>>{0.5, 0.25}));
    EXPECT_EQ(findingText(std::get<ProtocolFinding>(libreVnaTouchstoneLength(half + "\n", 2))),
              "the Touchstone reply has 1 points, not the 2 of the acquisition");
    EXPECT_EQ(findingText(std::get<ProtocolFinding>(libreVnaTouchstoneLength("ERROR\n", 2))),
              "the reply is not Touchstone: 'ERROR'");
    // Empty lines (older versions' replies to settings) and comments first.
    const std::string later = "\n\n! LibreVNA\n" + whole;
    EXPECT_EQ(std::get<std::size_t>(libreVnaTouchstoneLength(later, 2)), later.size());
    // Points beyond the acquisition's: the reply is still read to its end.
    const std::string longer = half + "1.1 0.25 0\n1.2 0.1 0\n\n";
    EXPECT_EQ(std::get<ProtocolFinding>(libreVnaTouchstoneLength(longer, 2)).a, 3u);
    EXPECT_EQ(std::get<std::size_t>(libreVnaTouchstoneLength(half + "1.1 0.25 0\n", 2)), 0u);
    EXPECT_EQ(libreVnaTraceNames(" S11, S21 ,Mine\n"),
              (std::vector<std::string>{"S11", "S21", "Mine"}));
}

// Bytes of a binary scan reply, written from the shell's description: a
// uint16 mask and count, then per point a uint32 frequency and two float32,
// all least significant byte first (0.5f is 0x3F000000, 0.25f 0x3E800000).
std::string scanBytes(std::initializer_list<std::pair<unsigned, unsigned>> points, unsigned count) {
    std::string out = {char(0x83), 0, char(count), 0};
    for (const auto &[hz, bits] : points) {
        for (int b = 0; b < 4; ++b)
            out += char((hz >> (8 * b)) & 0xff);
        for (int b = 0; b < 4; ++b)
            out += char((bits >> (8 * b)) & 0xff);
        out += std::string(4, '\0'); // the imaginary part, 0.0f
    }
    return out;
}

// The NanoVNA header's worked example, and the ways a reply goes wrong.
TEST(NanoVna, ScanIsFramedByItsEchoAndLength) {
    const std::string command = "scan 1000 2000 2 131";
    const std::string echo = "ch> " + command + "\r\n";
    const std::string both = scanBytes({{1000, 0x3F000000}, {2000, 0x3E800000}}, 2);
    NanoVnaRead read = readNanoVnaScan(echo + both + "ch> ", command, 2, 131);
    ASSERT_EQ(read.status, NanoVnaRead::Complete);
    EXPECT_EQ(read.consumed, echo.size() + both.size() + 4);
    EXPECT_EQ(read.network.frequencyMHz, (std::vector<double>{0.001, 0.002}));
    EXPECT_EQ(read.network.values, (std::vector<std::complex<double>>{0.5, 0.25}));
    EXPECT_TRUE(read.binary);

    const std::string one = scanBytes({{1000, 0x3F000000}}, 2);
    EXPECT_EQ(readNanoVnaScan(echo + one + "ch> ", command, 2, 131).status, NanoVnaRead::NeedMore);
    EXPECT_EQ(findingText(*readNanoVnaScan(echo + both + "ch>!", command, 2, 131).finding),
              "the scan's 2 points are not followed by the prompt");
    // A header of another count is refused as soon as it comes.
    EXPECT_EQ(findingText(*readNanoVnaScan(echo + scanBytes({}, 3), command, 2, 131).finding),
              "the scan declares 3 points of mask 131, not the 2 of mask 131 asked for");
    EXPECT_EQ(readNanoVnaScan(echo + scanBytes({}, 2), command, 2, 131).status,
              NanoVnaRead::NeedMore);
    EXPECT_EQ(findingText(*readNanoVnaScan(echo + "1000 0.5 0\r\nch> ", command, 2, 131).finding),
              "the scan stopped after 1 of its 2 points");

    const struct {
        const char *name, *reply, *problem;
    } rows[] = {
        {"unknown", "scan?\r\nch> ", "the NanoVNA does not know 'scan'"},
        {"refused", "sweep points exceeds range 101\r\nch> ",
         "the NanoVNA answered 'sweep points exceeds range 101'"},
        {"text_first_line_not_a_point", "1000 0.5\r\n", "the NanoVNA answered '1000 0.5'"},
        {"text_short_line", "1000 0.5 0\r\n2000 0.5\r\n", "point 2 of the scan is '2000 0.5'"},
        {"text_not_rising", "2000 0.5 0 \r\n1000 0.25 0 \r\nch> ",
         "the frequencies do not rise at point 2"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(findingText(*readNanoVnaScan(echo + row.reply, command, 2, 131).finding),
                  row.problem)
            << row.name;
    const NanoVnaRead text =
        readNanoVnaScan(echo + "1000 0.5 0 \r\n2000 0.25 -0.125 \r\nch> ", command, 2, 131);
    ASSERT_EQ(text.status, NanoVnaRead::Complete);
    EXPECT_EQ(text.network.values[1], std::complex<double>(0.25, -0.125));
    EXPECT_FALSE(text.binary) << "a firmware that answers in text is asked in text";
    EXPECT_EQ(readNanoVnaScan("ch> scan 1000 2000 2 13", command, 2, 131).status,
              NanoVnaRead::NeedMore)
        << "no echo yet";
}

// The silence rule's worked example: what a reply that stopped means.
// S11 and S21 asked for (mask 0x87, binary, or 0x07 in text): a forward
// 2-port sweep, S12 and S22 not measured (NaN) and said so by has().
TEST(NanoVna, ScanWithS21IsAForwardSweep) {
    // One point at 1000 Hz: S11 0.5 (0x3F000000), S21 -0.25j (0xBE800000).
    std::string binary = {char(0x87), 0, 1, 0};
    for (const unsigned word : {1000u, 0x3F000000u, 0u, 0u, 0xBE800000u})
        for (int b = 0; b < 4; ++b)
            binary += char((word >> (8 * b)) & 0xff);
    // Two points are needed for a sweep: the same point again at 2000 Hz.
    binary[2] = 2;
    std::string second = binary.substr(4);
    second[0] = char(2000 & 0xff);
    second[1] = char(2000 >> 8);
    binary += second;
    const struct {
        const char *name;
        std::string command, reply;
        unsigned mask;
    } rows[] = {
        {"binary", "scan 1000 2000 2 135", binary, 135},
        {"text", "scan 1000 2000 2 7", "1000 0.5 0 0 -0.25 \r\n2000 0.5 0 0 -0.25 \r\n", 7},
    };
    for (const auto &row : rows) {
        const NanoVnaRead read =
            readNanoVnaScan(row.command + "\r\n" + row.reply + "ch> ", row.command, 2, row.mask);
        ASSERT_EQ(read.status, NanoVnaRead::Complete) << row.name;
        const Network &n = read.network;
        EXPECT_EQ(n.ports, 2) << row.name;
        EXPECT_TRUE(n.forwardOnly) << row.name;
        EXPECT_TRUE(n.has({1, 1}) && n.has({2, 1})) << row.name;
        EXPECT_FALSE(n.has({1, 2}) || n.has({2, 2})) << row.name;
        EXPECT_EQ(n.parameter({2, 1})[1], std::complex<double>(0, -0.25)) << row.name;
        EXPECT_EQ(n.parameter({1, 1})[0], 0.5) << row.name;
        EXPECT_TRUE(std::isnan(n.parameter({2, 2})[0].real())) << row.name;
        Network s21 = n;
        EXPECT_TRUE(s21.keepOnly({2, 1})) << row.name;
        Network s22 = n;
        EXPECT_FALSE(s22.keepOnly({2, 2})) << row.name << ": not measured";
    }
}

TEST(NanoVna, SilenceSaysWhatStopped) {
    const std::string command = "scan 1000 2000 2 131";
    const std::string echo = command + "\r\n";
    const struct {
        const char *name;
        std::string bytes;
        NanoVnaSilence::What what;
        const char *finding;
    } rows[] = {
        {"header_alone", echo + scanBytes({}, 2), NanoVnaSilence::Wrong,
         "the scan's binary reply stopped after 4 of its 32 bytes (2 points)"},
        {"a_point_short", echo + scanBytes({{1000, 0x3F000000}}, 2) + "ch> ", NanoVnaSilence::Wrong,
         "the scan's binary reply stopped after 20 of its 32 bytes (2 points)"},
        {"another_echo", "ch> sweep\r\n", NanoVnaSilence::Wrong,
         "the NanoVNA did not echo the command; it sent 'sweep'"},
        {"text_stopped", echo + "1000 0.5 0\r\n", NanoVnaSilence::Wrong,
         "the scan stopped after 1 of its 2 points"},
        {"echo_alone_while_it_sweeps", echo, NanoVnaSilence::Sweeping, ""},
        {"nothing", "", NanoVnaSilence::Cut, ""},
        {"a_prompt_alone", "ch> ", NanoVnaSilence::Cut, ""},
    };
    for (const auto &row : rows) {
        const NanoVnaSilence silence = nanoVnaSilence(row.bytes, command, 2, 131);
        EXPECT_EQ(silence.what, row.what) << row.name;
        EXPECT_EQ(silence.finding ? findingText(*silence.finding) : "", row.finding) << row.name;
    }
    EXPECT_EQ(nanoVnaSilence("version\r\n1.2", "version", 0, 0).what, NanoVnaSilence::Cut);
}

TEST(NanoVna, TextRepliesAndSettings) {
    const NanoVnaRead read =
        readNanoVnaText("\r\nNanoVNA Shell\r\nch> version\r\n1.2.00\r\nch> ", "version");
    ASSERT_EQ(read.status, NanoVnaRead::Complete);
    EXPECT_EQ(read.text, "1.2.00");
    const auto sweep = parseNanoVnaSweep("985000000 1015000000 101");
    ASSERT_TRUE(sweep);
    EXPECT_EQ(nanoVnaScanCommand(*sweep, 0x83), "scan 985000000 1015000000 101 131");
    for (const char *bad : {"985000000 1015000000", "2 1 101", "1 2 1", "1 5000000000 11", "a b c"})
        EXPECT_FALSE(parseNanoVnaSweep(bad)) << bad;
}

} // namespace
