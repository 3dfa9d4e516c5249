// An analyser's failures reach the window as values and are said in its
// language: in English as varnel-calc says them, in Chinese translated.
#include "analyser_link/connection.h"
#include "tuning_window/tune_window.h"
#include "tuning_window/window_texts.h"
#include "wait_for.h"

#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>

using namespace varnel;

namespace {

// The link's own failures, made by the link itself.
std::vector<LinkError> madeFailures() {
    std::vector<LinkError> made;
    if (auto refused = connectTcp("127.0.0.1", 1, std::chrono::milliseconds(500));
        auto *e = std::get_if<LinkError>(&refused))
        made.push_back(*e);
    if (auto serial = openSerial("/dev/null"); auto *e = std::get_if<LinkError>(&serial))
        made.push_back(*e);
    if (auto missing = openSerial("/nonexistent/ttyACM0");
        auto *e = std::get_if<LinkError>(&missing))
        made.push_back(*e);
    return made;
}

TEST(LinkTexts, EnglishAsTheCommandLineSaysIt) {
    const std::vector<LinkError> made = madeFailures();
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0].said, LinkError::Said::System);
    EXPECT_EQ(made[0].code, ECONNREFUSED);
    EXPECT_EQ(made[1].said, LinkError::Said::NotSerial);
    for (const LinkError &e : made)
        EXPECT_EQ(linkErrorFor(e), QString::fromStdString(linkErrorText(e))) << e.what;
    const LinkError rows[] = {
        {LinkError::Timeout, "no reply within 2000 ms", LinkError::Said::NoReply, 0, 2000},
        {LinkError::Closed, "the analyser closed the connection", LinkError::Said::PeerClosed, 0,
         0},
        {LinkError::Protocol, "the analyser reports -113,\"Undefined header\""},
        [] {
            LinkError e{LinkError::Timeout,
                        "the reply stopped after 1611 bytes: nothing more within 150 ms",
                        LinkError::Said::ReplyCut, 0, 150};
            e.bytes = 1611;
            return e;
        }()};
    for (const LinkError &e : rows)
        EXPECT_EQ(linkErrorFor(e), QString::fromStdString(e.what)) << e.what;
}

TEST(LinkTexts, ChineseTranslated) {
    loadTranslations(QLocale(QLocale::Chinese, QLocale::China));
    const LinkError noReply{LinkError::Timeout, "no reply within 2000 ms", LinkError::Said::NoReply,
                            0, 2000};
    EXPECT_EQ(linkErrorFor(noReply), QString::fromUtf8("2000 ms 内无应答"));
    const LinkError gone{LinkError::Closed, "the device has gone", LinkError::Said::DeviceGone};
    EXPECT_EQ(linkErrorFor(gone), QString::fromUtf8("设备已断开"));
    loadTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(linkErrorFor(gone), "the device has gone");
}

// One finding of every kind, with the instrument's words and numbers.
std::vector<ProtocolFinding> everyFinding() {
    std::vector<ProtocolFinding> all;
    for (int kind = ProtocolFinding::BlockStart; kind <= ProtocolFinding::Unanswered; ++kind)
        all.push_back(
            {static_cast<ProtocolFinding::Kind>(kind), "R&D <x>", 17, 23, 101, 131, "R&D <x>"});
    return all;
}

// Each protocol finding in the window is the command line's sentence in
// English and translated in Chinese, its numbers and the instrument's words
// (quoted, never markup) kept.
TEST(LinkTexts, ProtocolFindingsAsTheCommandLineSaysThemAndTranslated) {
    const std::vector<ProtocolFinding> all = everyFinding();
    ASSERT_EQ(all.size(), 34u);
    for (const ProtocolFinding &f : all) {
        EXPECT_EQ(protocolFindingFor(f), QString::fromStdString(findingText(f))) << f.kind;
        EXPECT_EQ(linkErrorFor(protocolError(f)), QString::fromStdString(findingText(f)));
    }
    loadTranslations(QLocale(QLocale::Chinese, QLocale::China));
    for (const ProtocolFinding &f : all) {
        const QString english = QString::fromStdString(findingText(f));
        const QString chinese = protocolFindingFor(f);
        if (f.kind != ProtocolFinding::TouchstoneReply) { // the reader's own message
            EXPECT_NE(chinese, english) << f.kind;
        }
        for (const char *kept : {"17", "23", "101", "131", "'R&D <x>'"}) {
            if (english.contains(QLatin1String(kept))) {
                EXPECT_TRUE(chinese.contains(QLatin1String(kept))) << f.kind << " " << kept;
            }
        }
    }
    const LinkError unfinished{LinkError::Timeout, "the sweep did not finish within 5000 ms",
                               LinkError::Said::SweepUnfinished, 0, 5000};
    EXPECT_TRUE(linkErrorFor(unfinished).contains("5000"));
    EXPECT_NE(linkErrorFor(unfinished), QString::fromStdString(unfinished.what));
    loadTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(linkErrorFor(unfinished), QString::fromStdString(unfinished.what));
}

// A refused connection reaches the session as a value, not only as text.
TEST(LinkTexts, TheSessionKeepsTheValue) {
    TuningSession session;
    session.openAnalyser("scpi://127.0.0.1:1");
    ASSERT_TRUE(waitFor([&] { return session.sweepFailure().has_value(); }));
    const SweepFailure &f = *session.sweepFailure();
    ASSERT_TRUE(f.link);
    EXPECT_EQ(f.link->said, LinkError::Said::System);
    EXPECT_EQ(f.link->code, ECONNREFUSED);
    EXPECT_EQ(failureFor(f), "scpi://127.0.0.1:1: connection refused. Connecting again.");
    session.disconnectAnalyser();
}

} // namespace
