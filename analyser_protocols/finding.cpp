#include "analyser_protocols/finding.h"

#include "quoting/quote.h"

namespace varnel {

namespace {

std::string n(std::size_t value) {
    return std::to_string(value);
}

// The findings about blocks, numbers and a sweep as sent.
std::string blockFindingText(const ProtocolFinding &f) {
    using K = ProtocolFinding;
    switch (f.kind) {
    case K::BlockStart:
        return "a block starts with '#'";
    case K::IndefiniteBlock:
        return "an indefinite-length block (#0) cannot be framed on a socket";
    case K::BlockLengthDigit:
        return "the block's length digit is not 1 to 9";
    case K::BlockCountNotNumber:
        return "the block's byte count is not a number";
    case K::BlockNotEnded:
        return "the block is not ended by a line feed after its " + n(f.a) + " bytes";
    case K::NotANumber:
        return "value " + n(f.a) + " is not a number";
    case K::BlockNotDoubles:
        return "a block of doubles whose length is not a multiple of 8";
    case K::BlockTooLong:
        return "the block declares " + n(f.a) + " bytes, more than the " + n(f.b) +
               " a sweep of up to " + n(mostPoints) + " points needs";
    case K::ReplyTooLong:
        return "the reply runs past " + n(f.a) + " bytes, more than a sweep of up to " +
               n(mostPoints) + " points needs";
    case K::NoDataMark:
        return "value " + n(f.a) +
               " is 9.91E37 or 9.9E37, the analyser's mark for no data: not a "
               "number";
    case K::CountMismatch:
        return n(f.a) + " frequencies but " + n(f.b) + " data values (two a frequency expected)";
    case K::NotRising:
        return "the frequencies do not rise at point " + n(f.a);
    case K::NotFinite:
        return "value " + n(f.a) + " is not a finite number";
    case K::TooFew:
        return "a sweep needs at least 2 points, the analyser sent " + n(f.a);
    default:
        break;
    }
    return {};
}

} // namespace

std::string findingText(const ProtocolFinding &f) {
    using K = ProtocolFinding;
    switch (f.kind) {
    case K::ScanDeclares:
        return "the scan declares " + n(f.a) + " points of mask " + n(f.b) + ", not the " + n(f.c) +
               " of mask " + n(f.d) + " asked for";
    case K::NoPrompt:
        return "the scan's " + n(f.a) + " points are not followed by the prompt";
    case K::UnknownCommand:
        return "the NanoVNA does not know " + quotedToken(f.words);
    case K::Answered:
        return "the NanoVNA answered " + quotedToken(f.words);
    case K::BadPoint:
        return "point " + n(f.a) + " of the scan is " + quotedToken(f.words);
    case K::SweepSettings:
        return "the sweep settings are " + quotedToken(f.words) + ", not START STOP POINTS";
    case K::CommandTooLong:
        return "the scan command is longer than the shell takes";
    case K::ScanShort:
        return "the scan's binary reply stopped after " + n(f.a) + " of its " + n(f.b) +
               " bytes (" + n(f.c) + " points)";
    case K::ScanStopped:
        return "the scan stopped after " + n(f.a) + " of its " + n(f.b) + " points";
    case K::NoEcho:
        return "the NanoVNA did not echo the command; it sent " + quotedToken(f.words);
    case K::NoPoints:
        return "the analyser has no points to send";
    case K::NotTouchstone:
        return "the reply is not Touchstone: " + quotedToken(f.words);
    case K::TouchstoneReply:
        return f.words;
    case K::NoS11Trace:
        return "no trace measures S11";
    case K::PointsNotACount:
        return "the acquisition's points are " + quotedToken(f.words) + ", not a count";
    case K::TouchstonePoints:
        return "the Touchstone reply has " + n(f.a) + " points, not the " + n(f.b) +
               " of the acquisition";
    case K::AcquisitionState:
        return "the acquisition's state is " + quotedToken(f.words);
    case K::NotComplete:
        return "the sweep did not complete (*OPC? answered " + quotedToken(f.words) + ")";
    case K::Reports:
    case K::Unanswered:
        break;
    default:
        return blockFindingText(f);
    }
    // The error queue's text, escaped and cut: an instrument's bytes never
    // reach a terminal or a label as they came.
    constexpr std::size_t shown = 200;
    const std::string reports = "the analyser reports " +
                                escapedText(std::string_view(f.words).substr(0, shown)) +
                                (f.words.size() > shown ? "..." : "");
    if (f.kind == K::Reports)
        return reports;
    return "no reply to " + quotedToken(f.sent) + " within " + n(f.a) + " ms: " + reports;
}

} // namespace varnel
