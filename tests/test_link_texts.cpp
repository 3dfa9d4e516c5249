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
        {LinkError::Protocol, "the analyser reports -113,\"Undefined header\""}};
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
