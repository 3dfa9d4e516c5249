// The reader's inner pieces on their worked examples, exact decimals and
// frequencies, every format, and files read in blocks, failing or rewritten
// while they are read.
#include "number_text/number_text.h"
#include "table_test.h"
#include "touchstone/parser.h"
#include "touchstone/text_lines.h"
#include "touchstone/to_s.h"
#include "touchstone/touchstone.h"
#include "tuning/group_delay.h"
#include "tuning/stage_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;
using Complex = std::complex<double>;

const std::string s2pLine = "1 0.1 0 0.2 0 0.3 0 0.4 0\n";

// The worked examples of the reader's inner pieces.
TEST(Touchstone, LinePiecesWorkedExample) {
    using namespace touchstone_text;
    std::string_view line = withoutComment("  100 0.5 -45 ! S11\r");
    EXPECT_EQ(line, "100 0.5 -45");
    EXPECT_EQ(nextToken(line), "100");
    EXPECT_EQ(nextToken(line), "0.5");
    EXPECT_EQ(nextToken(line), "-45");
    EXPECT_EQ(nextToken(line), "");
    EXPECT_TRUE(equalsIgnoringCase("MHz", "mhz"));
    EXPECT_FALSE(equalsIgnoringCase("MHz", "mhzz"));
}

TEST(Touchstone, ToSWorkedExample) {
    const struct {
        NetworkKind kind;
        double value;
        bool converts;
        double s;
    } rows[] = {
        {NetworkKind::Z, 3, true, 0.5},
        {NetworkKind::Y, 3, true, -0.5},
        {NetworkKind::Z, -1, false, 0},
    };
    for (const auto &row : rows) {
        std::array<Complex, 16> m{};
        m[0] = row.value;
        EXPECT_EQ(toS(m, 1, row.kind), row.converts) << row.value;
        if (row.converts) {
            EXPECT_EQ(m[0], Complex(row.s)) << row.value;
        }
    }
}

TEST(Touchstone, ParserWorkedExample) {
    touchstone_parser::Parser parser("a.s1p", {});
    for (const char *line : {"# MHz S RI", "100 0.5 0", "101 0.25 0"})
        EXPECT_TRUE(parser.line(line)) << line;
    const auto result = parser.finish();
    ASSERT_TRUE(std::holds_alternative<Network>(result));
    const Network &n = std::get<Network>(result);
    EXPECT_EQ(n.ports, 1);
    EXPECT_EQ(n.frequencyMHz, (std::vector<double>{100, 101}));
    EXPECT_EQ(n.parameter({1, 1}), (std::vector<Complex>{0.5, 0.25}));
}

// A 2-port Z matrix against the closed form of its S11 and S21.
TEST(Touchstone, TwoPortZMatchesClosedForm) {
    const Complex z11(1.5, 0.2), z21(0.7, -0.1), z12(0.7, -0.1), z22(0.9, 0.4);
    char line[256];
    std::snprintf(line, sizeof line,
                  "# MHz Z RI\n1 %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", z11.real(),
                  z11.imag(), z21.real(), z21.imag(), z12.real(), z12.imag(), z22.real(),
                  z22.imag());
    const auto result = readTouchstoneText("z.s2p", line);
    ASSERT_TRUE(std::holds_alternative<Network>(result));
    const Network &n = std::get<Network>(result);
    const Complex det = (z11 + 1.0) * (z22 + 1.0) - z12 * z21;
    const Complex s11 = ((z11 - 1.0) * (z22 + 1.0) - z12 * z21) / det;
    const Complex s21 = 2.0 * z21 / det;
    EXPECT_NEAR(std::abs(n.parameter({1, 1})[0] - s11), 0, 1e-14);
    EXPECT_NEAR(std::abs(n.parameter({2, 1})[0] - s21), 0, 1e-14);
}

// Frequencies are read straight into MHz from their decimal text, so every
// unit gives the double nearest the frequency, not a product of two roundings.
TEST(Touchstone, FrequenciesInEveryUnitReadExactly) {
    const struct {
        std::string unit, text;
    } rows[] = {{"GHz", "1.015"},
                {"MHz", "1015"},
                {"MHz", "+1015"},
                {"kHz", "1015000"},
                {"Hz", "1015000000"},
                {"GHz", "1.01500000000000000000001"},
                {"GHz", "1.015" + std::string(120, '0') + "1"}, // longer than the stack's room
                {"MHz", "1015.0000000000000001"},
                {"Hz", "1.015e9"}};
    for (const auto &row : rows) {
        const auto read =
            readTouchstoneText("f.s1p", "# " + row.unit + " S RI\n" + row.text + " 0 0\n");
        ASSERT_TRUE(std::holds_alternative<Network>(read)) << row.text;
        EXPECT_EQ(std::get<Network>(read).frequencyMHz[0], 1015.0) << row.unit << ' ' << row.text;
    }
    const auto noise = readTouchstoneText("f.s2p", "# GHz S RI\n"
                                                   "1.015 1 0 0 0 0 0 1 0\n"
                                                   "1.016 1 0 0 0 0 0 1 0\n"
                                                   "1.015 2 0.3 40 0.2\n");
    ASSERT_TRUE(std::holds_alternative<Network>(noise));
    EXPECT_EQ(std::get<Network>(noise).frequencyMHz, (std::vector<double>{1015, 1016}));
}

TEST(Touchstone, ParameterNames) {
    EXPECT_EQ(parseSParameter("S21")->row, 2);
    EXPECT_EQ(parseSParameter("s21")->column, 1);
    for (const char *bad : {"S", "S5", "S10", "S01", "Z11", "S111", ""})
        EXPECT_FALSE(parseSParameter(bad)) << bad;
    const auto missing =
        readTouchstoneText("a.s2p", "# MHz S RI\n" + s2pLine, ReadOptions{SParameter{3, 1}});
    ASSERT_TRUE(std::holds_alternative<TouchstoneError>(missing));
    EXPECT_EQ(std::get<TouchstoneError>(missing).kind, TouchstoneError::NoSuchParameter);
    EXPECT_EQ(std::get<TouchstoneError>(missing).message(),
              "a.s2p: the file has 2 ports: there is no S31");
}

// A parameter's view reads the values where the network holds them: S21 of
// a full 2-port matrix from the third value with stride 4, or the one
// parameter kept.
TEST(Touchstone, ParameterViewsReadInPlace) {
    const std::string text = "# MHz S RI\n1 1 2 3 4 5 6 7 8\n2 9 10 11 12 13 14 15 16\n";
    const Network full = std::get<Network>(readTouchstoneText("a.s2p", text));
    const Network kept = std::get<Network>(readTouchstoneText("a.s2p", text, {SParameter{2, 1}}));
    for (const Network *network : {&full, &kept}) {
        const ParameterView s21 = network->view({2, 1});
        ASSERT_EQ(s21.size(), 2u);
        EXPECT_EQ(s21[0], Complex(3, 4)); // version 1 writes S11 S21 S12 S22
        EXPECT_EQ(s21[1], Complex(11, 12));
    }
    EXPECT_EQ(full.view({2, 1}).stride, 4u);
    EXPECT_EQ(full.view({2, 2})[1], Complex(15, 16));
}

// parseDecimal, the header's examples.
TEST(Touchstone, DecimalNumbers) {
    EXPECT_EQ(parseDecimal("-6.02"), -6.02);
    EXPECT_EQ(parseDecimal(".5"), 0.5);
    EXPECT_EQ(parseDecimal("1e-400"), 0.0);
    for (const char *bad : {"1e400", "inf", "0x1p3", "1,5", "", "-", "+", ".", "e5", "1e", "nan"})
        EXPECT_FALSE(parseDecimal(bad)) << bad;
}

// The reader's own decimal conversion gives the correctly rounded double
// that std::strtod gives, for numbers of every length and exponent.
TEST(Touchstone, DecimalNumbersRoundCorrectly) {
    std::mt19937_64 random(20261207);
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int n = 0; n < 200000; ++n) {
        std::string text = random() % 2 ? "-" : "";
        const int whole = static_cast<int>(random() % 24),
                  fraction = static_cast<int>(random() % 24);
        text += digits(whole == 0 && fraction == 0 ? 1 : whole);
        if (fraction > 0)
            text.append(".").append(digits(fraction));
        if (random() % 3 == 0)
            text.append("e").append(std::to_string(static_cast<int>(random() % 700) - 350));
        const double expected = std::strtod(text.c_str(), nullptr);
        const std::optional<double> read = parseDecimal(text);
        if (std::isinf(expected)) {
            EXPECT_FALSE(read) << text;
        } else {
            ASSERT_TRUE(read) << text;
            EXPECT_EQ(std::signbit(*read), std::signbit(expected)) << text;
            EXPECT_EQ(*read, expected) << text;
        }
    }
}

// One network written in each format and frequency unit, with tabs, CRLF and
// comments, reads back to the same group delay.
TEST(Touchstone, EveryFormatAndUnitGivesTheSameDelay) {
    const TuningTable t = std::get<TuningTable>(tuningTable("5", "10", "0.01", std::nullopt));
    const StageModel model = stageModel(t, 2, 1000, 1500.0);
    std::vector<double> f;
    std::vector<Complex> s;
    for (int i = 0; i <= 200; ++i) {
        f.push_back(985 + 0.15 * i);
        s.push_back(stageResponse(model, f.back()).s11);
    }
    const double expected =
        *interpolate(groupDelay(f, s, 2, 0).fMHz, groupDelay(f, s, 2, 0).delayNs, 1000);
    const struct {
        const char *name;
        double perMHz;
    } units[] = {{"Hz", 1e6}, {"kHz", 1e3}, {"MHz", 1}, {"GHz", 1e-3}};
    for (const char *format : {"RI", "MA", "DB"})
        for (const auto &unit : units) {
            std::string text = "! synthetic stage 2 sweep\r\n  # " + std::string(unit.name) +
                               " s " + format + " r 50\r\n";
            for (std::size_t i = 0; i < f.size(); ++i) {
                double a = s[i].real(), b = s[i].imag();
                if (std::string(format) != "RI") {
                    a = std::abs(s[i]);
                    b = std::arg(s[i]) * 180 / std::numbers::pi;
                    if (std::string(format) == "DB")
                        a = 20 * std::log10(a);
                }
                char line[160];
                std::snprintf(line, sizeof line, "%.12g\t%.12g %.12g%s", f[i] * unit.perMHz, a, b,
                              i % 3 == 0   ? "\r\n"
                              : i % 3 == 1 ? " ! note\n"
                                           : "\n");
                text += line;
            }
            const auto result = readTouchstoneText("sweep.s1p", text);
            ASSERT_TRUE(std::holds_alternative<Network>(result)) << format << ' ' << unit.name;
            const Network &n = std::get<Network>(result);
            const DelayTrace trace = groupDelay(n.frequencyMHz, n.values, 2, 0);
            EXPECT_NEAR(*interpolate(trace.fMHz, trace.delayNs, 1000), expected, 1e-6 * expected)
                << format << ' ' << unit.name;
        }
}

// The file reader's outcome is the text reader's: the same error, or the
// same frequencies and values.
void expectSameOutcome(const std::variant<Network, TouchstoneError> &fromFile,
                       const std::variant<Network, TouchstoneError> &fromText, const char *name) {
    ASSERT_EQ(fromFile.index(), fromText.index()) << name;
    if (const auto *error = std::get_if<TouchstoneError>(&fromText)) {
        EXPECT_EQ(std::get<TouchstoneError>(fromFile).message(), error->message()) << name;
        return;
    }
    EXPECT_EQ(std::get<Network>(fromFile).frequencyMHz, std::get<Network>(fromText).frequencyMHz)
        << name;
    EXPECT_EQ(std::get<Network>(fromFile).values, std::get<Network>(fromText).values) << name;
}

// Large files are read in blocks whose numbers are read on two threads; the
// outcome, data or the error with its line, is the text reader's, whatever
// stands where in the file.
TEST(Touchstone, FileReaderAgreesWithTextReader) {
    auto sweep = [](int points, const std::function<std::string(int)> &extra) {
        std::string text = "! big\r\n# GHz S RI R 50\n";
        for (int i = 1; i <= points; ++i) {
            char line[128];
            std::snprintf(line, sizeof line, "%.6f %d.25 -0.5 0.001 0.002 0.003 0.004 %d.5 1e-3%s",
                          1 + i * 1e-5, i % 7, i % 3, i % 5 ? "\n" : "\r\n");
            text += extra(i) + line;
        }
        return text;
    };
    const struct {
        const char *name;
        std::string text;
        bool reads;
    } files[] = {
        {"plain", sweep(120000, [](int) { return ""; }), true},
        {"comments_and_blanks",
         sweep(120000, [](int i) { return i % 1000 == 0 ? "! note\n\n   \t\n" : ""; }), true},
        {"wrapped_points",
         sweep(120000,
               [](int i) {
                   if (i % 997 != 0)
                       return std::string();
                   char wrapped[96];
                   std::snprintf(wrapped, sizeof wrapped, "%.7f 0 0 0\n 0 0 0 0 0\n",
                                 1 + (i - 0.5) * 1e-5);
                   return std::string(wrapped);
               }),
         true},
        // Room for the points is made from the first block's bytes a point:
        // points that take more room early, or later, read all the same.
        {"long_lines_early",
         sweep(120000,
               [](int i) {
                   return std::string(i < 30000 ? "! a comment that makes each early point "
                                                  "look twice as long as it is\n"
                                                : "");
               }),
         true},
        {"long_lines_late",
         sweep(120000,
               [](int i) {
                   return std::string(i > 60000 ? "! a comment that makes each late point "
                                                  "look twice as long as it is\n"
                                                : "");
               }),
         true},
        // A repeated frequency late in the file starts a noise block that the
        // network lines after it do not fit.
        {"repeated_frequency_late",
         sweep(120000, [](int i) { return i == 100000 ? "1.0 2 0.3 40 0.2\n" : ""; }), false},
        {"bad_token_late", sweep(120000, [](int i) { return i == 90001 ? "1 2 x\n" : ""; }), false},
        {"short_line_late", sweep(120000, [](int i) { return i == 110017 ? "9 1 2\n" : ""; }),
         false},
    };
    for (const auto &file : files) {
        const std::string path = ::testing::TempDir() + "varnel_" + file.name + ".s2p";
        std::ofstream(path, std::ios::binary) << file.text;
        const auto fromFile = readTouchstoneFile(path, ReadOptions{SParameter{2, 2}});
        const auto fromText = readTouchstoneText(path, file.text, ReadOptions{SParameter{2, 2}});
        EXPECT_EQ(std::holds_alternative<Network>(fromText), file.reads) << file.name;
        expectSameOutcome(fromFile, fromText, file.name);
    }
}

// The file reader streams in blocks: a file larger than one block, and a file
// that cannot be read, give what the text reader gives.
TEST(Touchstone, FilesAndTheirFailures) {
    const std::string path = ::testing::TempDir() + "varnel_big.s2p";
    std::string text = "# MHz S RI\n";
    for (int i = 1; i <= 200000; ++i)
        text += std::to_string(i) + " 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8\n";
    std::ofstream(path, std::ios::binary) << text;
    const auto file = readTouchstoneFile(path, ReadOptions{SParameter{2, 2}});
    ASSERT_TRUE(std::holds_alternative<Network>(file));
    EXPECT_EQ(std::get<Network>(file).size(), 200000u);
    EXPECT_EQ(std::get<Network>(file).values.back(), Complex(0.7, 0.8));

    const auto missing = readTouchstoneFile("/nonexistent/varnel.s1p");
    ASSERT_TRUE(std::holds_alternative<TouchstoneError>(missing));
    EXPECT_EQ(std::get<TouchstoneError>(missing).message(),
              "/nonexistent/varnel.s1p: No such file or directory");
    const auto directory = readTouchstoneFile("/");
    ASSERT_TRUE(std::holds_alternative<TouchstoneError>(directory));
    EXPECT_EQ(std::get<TouchstoneError>(directory).message(), "/: Is a directory");
}

// A pipe has no size to start from: its buffer starts at 64 KiB and grows
// for a longer line, up to the limit; the outcome is the text reader's,
// with the pipe written in pieces of every size.
TEST(Touchstone, PipeLinesGrowTheBufferUpToTheLimit) {
    auto file = [](std::size_t comment) {
        std::string text = "# MHz S RI\n!" + std::string(comment, 'c') + "\n";
        for (int i = 1; i <= 30000; ++i)
            text += std::to_string(i) + " 0." + std::to_string(i % 97) + " -0.25\n";
        return text;
    };
    const struct {
        const char *name;
        std::string text;
        std::size_t piece;
    } rows[] = {
        {"short_lines", file(10), 4096},
        {"a_line_of_200_kib", file(200 << 10), 1000},
        {"a_line_just_under_1_mib", file((1 << 20) - 8), 65536},
        {"a_line_over_1_mib", file((1 << 20) + 8), 77777},
    };
    // A reader that stops at an error leaves the writer a closed pipe.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    for (const auto &row : rows) {
        const std::string path = ::testing::TempDir() + "varnel_pipe_" + row.name + ".s1p";
        ::unlink(path.c_str());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << row.name;
        std::thread writer([&] {
            const int fd = ::open(path.c_str(), O_WRONLY);
            for (std::size_t at = 0; fd >= 0 && at < row.text.size(); at += row.piece)
                if (::write(fd, row.text.data() + at, std::min(row.piece, row.text.size() - at)) <
                    0)
                    break;
            ::close(fd);
        });
        const auto fromPipe = readTouchstoneFile(path);
        writer.join();
        ::unlink(path.c_str());
        const auto fromText = readTouchstoneText(path, row.text);
        expectSameOutcome(fromPipe, fromText, row.name);
    }
    std::signal(SIGPIPE, previous);
}

} // namespace

// A file saved again and again, in pieces that end at line ends (so that a
// part reads as a shorter whole file), while it is read: every read that
// succeeds gives one whole version, never a part. A part is read again, and
// a file that keeps changing is reported as such.
TEST(Touchstone, FileRewrittenWhileReadIsNeverTakenInPart) {
    auto version = [](int points, int value) {
        std::vector<std::string> pieces = {"# MHz S RI\n"};
        char line[32];
        for (int i = 0; i < points; ++i) {
            if (i % 100 == 0)
                pieces.emplace_back();
            std::snprintf(line, sizeof line, "%d 0.%d 0.5\n", 1000 + i, value);
            pieces.back() += line;
        }
        return pieces;
    };
    const std::vector<std::string> versions[] = {version(3000, 1), version(2000, 2)};
    const std::string path = ::testing::TempDir() + "varnel_rewritten.s1p";
    std::ofstream(path, std::ios::binary) << "# MHz S RI\n1 0 0\n";
    std::atomic<bool> done = false;
    std::thread writer([&] {
        using namespace std::chrono_literals;
        for (int i = 0; !done; ++i) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd < 0)
                return;
            for (const std::string &piece : versions[i % 2]) {
                if (::write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size()))
                    ADD_FAILURE() << "short write";
                std::this_thread::sleep_for(1ms);
            }
            ::close(fd);
            std::this_thread::sleep_for(300ms);
        }
    });
    ReadOptions options;
    options.settleMs = 200; // far above a test machine's pauses between pieces
    int whole = 0, changing = 0, other = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        const auto result = readTouchstoneFile(path, options);
        if (const auto *network = std::get_if<Network>(&result)) {
            const std::size_t size = network->size();
            if (size == 1)
                continue; // the first file, before the writer began
            ASSERT_TRUE(size == 3000 || size == 2000) << "a part of " << size << " points";
            const std::complex<double> expected(size == 3000 ? 0.1 : 0.2, 0.5);
            for (const std::complex<double> &value : network->values)
                ASSERT_EQ(value, expected) << size << " points";
            ++whole;
        } else if (std::get<TouchstoneError>(result).kind == TouchstoneError::Changing) {
            ++changing;
        } else {
            ++other; // an empty file between the truncation and the first piece
        }
    }
    done = true;
    writer.join();
    std::remove(path.c_str());
    EXPECT_GT(whole, 0);
    std::printf("reads: %d whole, %d changing, %d other\n", whole, changing, other);
}
