#include "tuning_window/tune_window.h"
#include "tuning_window/window_texts.h"

#include "quoting/quote.h"

#include <netdb.h>

#include <cstring>

// The analyser link's failures in the window's language: the system's words
// in the user's, the link's own sentences and the protocols' findings
// translated, the instrument's words quoted as it sent them.
namespace varnel {

namespace {

// The instrument's words, quoted and escaped as varnel-calc shows them.
QString quoted(const std::string &words) {
    return qs(quotedToken(words));
}

// The findings about blocks, numbers and a sweep as sent.
QString blockFindingFor(const ProtocolFinding &f) {
    using K = ProtocolFinding;
    const auto n = [](std::size_t value) { return QString::number(value); };
    switch (f.kind) {
    case K::BlockStart:
        return TuneWindow::tr("a block starts with '#'");
    case K::IndefiniteBlock:
        return TuneWindow::tr("an indefinite-length block (#0) cannot be framed on a socket");
    case K::BlockLengthDigit:
        return TuneWindow::tr("the block's length digit is not 1 to 9");
    case K::BlockCountNotNumber:
        return TuneWindow::tr("the block's byte count is not a number");
    case K::BlockNotEnded:
        return TuneWindow::tr("the block is not ended by a line feed after its %1 bytes")
            .arg(n(f.a));
    case K::NotANumber:
        return TuneWindow::tr("value %1 is not a number").arg(n(f.a));
    case K::BlockNotDoubles:
        return TuneWindow::tr("a block of doubles whose length is not a multiple of 8");
    case K::BlockTooLong:
        return TuneWindow::tr("the block declares %1 bytes, more than the %2 a sweep of up to %3 "
                              "points needs")
            .arg(n(f.a), n(f.b), n(mostPoints));
    case K::ReplyTooLong:
        return TuneWindow::tr("the reply runs past %1 bytes, more than a sweep of up to %2 points "
                              "needs")
            .arg(n(f.a), n(mostPoints));
    case K::NoDataMark:
        return TuneWindow::tr("value %1 is 9.91E37 or 9.9E37, the analyser's mark for no data: not "
                              "a number")
            .arg(n(f.a));
    case K::CountMismatch:
        return TuneWindow::tr("%1 frequencies but %2 data values (two a frequency expected)")
            .arg(n(f.a), n(f.b));
    case K::NotRising:
        return TuneWindow::tr("the frequencies do not rise at point %1").arg(n(f.a));
    case K::NotFinite:
        return TuneWindow::tr("value %1 is not a finite number").arg(n(f.a));
    case K::TooFew:
        return TuneWindow::tr("a sweep needs at least 2 points, the analyser sent %1").arg(n(f.a));
    default:
        break;
    }
    return {};
}

} // namespace

QString protocolFindingFor(const ProtocolFinding &f) {
    using K = ProtocolFinding;
    const auto n = [](std::size_t value) { return QString::number(value); };
    switch (f.kind) {
    case K::ScanDeclares:
        return TuneWindow::tr("the scan declares %1 points of mask %2, not the %3 of mask %4 asked "
                              "for")
            .arg(n(f.a), n(f.b), n(f.c), n(f.d));
    case K::NoPrompt:
        return TuneWindow::tr("the scan's %1 points are not followed by the prompt").arg(n(f.a));
    case K::UnknownCommand:
        return TuneWindow::tr("the NanoVNA does not know %1").arg(quoted(f.words));
    case K::Answered:
        return TuneWindow::tr("the NanoVNA answered %1").arg(quoted(f.words));
    case K::BadPoint:
        return TuneWindow::tr("point %1 of the scan is %2").arg(n(f.a), quoted(f.words));
    case K::SweepSettings:
        return TuneWindow::tr("the sweep settings are %1, not START STOP POINTS")
            .arg(quoted(f.words));
    case K::CommandTooLong:
        return TuneWindow::tr("the scan command is longer than the shell takes");
    case K::ScanShort:
        return TuneWindow::tr(
                   "the scan's binary reply stopped after %1 of its %2 bytes (%3 points)")
            .arg(f.a)
            .arg(f.b)
            .arg(f.c);
    case K::ScanStopped:
        return TuneWindow::tr("the scan stopped after %1 of its %2 points").arg(f.a).arg(f.b);
    case K::NoEcho:
        return TuneWindow::tr("the NanoVNA did not echo the command; it sent %1")
            .arg(quoted(f.words));
    case K::NoPoints:
        return TuneWindow::tr("the analyser has no points to send");
    case K::NotTouchstone:
        return TuneWindow::tr("the reply is not Touchstone: %1").arg(quoted(f.words));
    case K::TouchstoneReply:
        return shownName(qs(f.words)); // the reader's own message
    case K::NoS11Trace:
        return TuneWindow::tr("no trace measures S11");
    case K::PointsNotACount:
        return TuneWindow::tr("the acquisition's points are %1, not a count").arg(quoted(f.words));
    case K::TouchstonePoints:
        return TuneWindow::tr("the Touchstone reply has %1 points, not the %2 of the acquisition")
            .arg(f.a)
            .arg(f.b);
    case K::AcquisitionState:
        return TuneWindow::tr("the acquisition's state is %1").arg(quoted(f.words));
    case K::NotComplete:
        return TuneWindow::tr("the sweep did not complete (*OPC? answered %1)")
            .arg(quoted(f.words));
    case K::Reports:
    case K::Unanswered:
        break;
    default:
        return blockFindingFor(f);
    }
    // Escaped and cut, as varnel-calc shows it.
    const QString words = shownName(qs(f.words.substr(0, 200)));
    const QString reports = f.words.size() > 200 ? words + QStringLiteral("...") : words;
    if (f.kind == K::Reports)
        return TuneWindow::tr("the analyser reports %1").arg(reports);
    return TuneWindow::tr("no reply to %1 within %2 ms: the analyser reports %3")
        .arg(quoted(f.sent))
        .arg(f.a)
        .arg(reports);
}

QString linkErrorFor(const LinkError &e) {
    using Said = LinkError::Said;
    switch (e.said) {
    case Said::System: { // the C library's words, in the user's language, as a clause
        QString words = QString::fromLocal8Bit(std::strerror(e.code));
        if (!words.isEmpty() && words[0].isUpper() && words[0].unicode() < 128)
            words[0] = words[0].toLower();
        return words;
    }
    case Said::Resolve:
        return QString::fromLocal8Bit(::gai_strerror(e.code));
    case Said::NoReply:
        return TuneWindow::tr("no reply within %1 ms").arg(e.milliseconds);
    case Said::NoConnection:
        return TuneWindow::tr("no connection within %1 ms").arg(e.milliseconds);
    case Said::DeviceGone:
        return TuneWindow::tr("the device has gone");
    case Said::PeerClosed:
        return TuneWindow::tr("the analyser closed the connection");
    case Said::NotSerial:
        return TuneWindow::tr("not a serial device");
    case Said::NotAnAddress:
        return TuneWindow::tr("not an analyser's address");
    case Said::NoAddress:
        return TuneWindow::tr("no address to connect to");
    case Said::SweepUnfinished:
        return TuneWindow::tr("the sweep did not finish within %1 ms").arg(e.milliseconds);
    case Said::ReplyCut:
        return TuneWindow::tr("the reply stopped after %1 bytes: nothing more within %2 ms")
            .arg(e.bytes)
            .arg(e.milliseconds);
    case Said::SendStalled:
        return TuneWindow::tr("the analyser takes no more bytes: nothing sent within 5000 ms");
    case Said::Interrupted:
        return TuneWindow::tr("interrupted");
    case Said::Finding:
        if (e.finding)
            return protocolFindingFor(*e.finding);
        break;
    case Said::Text:
        break;
    }
    return shownName(qs(e.what));
}

} // namespace varnel
