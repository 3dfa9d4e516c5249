#pragma once

#include <cstddef>
#include <string>

// What an analyser's reply did wrong, as a value that each face says in its
// own language: the kind, the instrument's own words where they matter
// (shown quoted) and the numbers it concerns. findingText is the English,
// as varnel-calc prints it.
// Example: {BlockNotEnded, "", 16} -> "the block is not ended by a line feed
// after its 16 bytes"; {Answered, "ch>"} -> "the NanoVNA answered 'ch>'";
// {Unanswered, "-113,\"Undefined header\"", 5000} sent ":CALC:X?" ->
// "no reply to ':CALC:X?' within 5000 ms: the analyser reports
// -113,\"Undefined header\"".
namespace varnel {

// What a reply may hold: a sweep of at most mostPoints points and 64 KiB of
// the rest, 16 bytes a point in a binary block (two doubles), 128 in any
// reply (a point's line of text: two numbers of 17 digits, or a Touchstone
// line); beyond it a reply is refused rather than read on. Example: a
// block: 100001 x 16 + 65536 = 1665552 bytes; a reply: 12865664 bytes.
inline constexpr std::size_t mostPoints = 100001;
inline constexpr std::size_t blockCap = 16 * mostPoints + 65536;
inline constexpr std::size_t replyCap = 128 * mostPoints + 65536;
// SCPI's number for "not a number" (IEEE 488.2): an analyser's mark for a
// point it has no data for; 9.9E37 and -9.9E37 stand for the infinities.
inline constexpr double scpiNotANumber = 9.91e37, scpiInfinity = 9.9e37;

struct ProtocolFinding {
    enum Kind {
        // SCPI definite-length blocks and ASCII numbers.
        BlockStart,          // the block does not start with '#'
        IndefiniteBlock,     // "#0"
        BlockLengthDigit,    // the length digit is not 1 to 9
        BlockCountNotNumber, // the byte count is not a number
        BlockNotEnded,       // no line feed after the `a` bytes
        NotANumber,          // value `a` (from 1) of an ASCII list
        BlockNotDoubles,     // a REAL,64 block whose length is not a multiple of 8
        BlockTooLong,        // a block declaring `a` bytes, over the cap `b`
        ReplyTooLong,        // a reply running past the cap `a` (bytes) unframed
        // A sweep as sent.
        CountMismatch, // `a` frequencies but `b` data values
        NotRising,     // the frequencies do not rise at point `a` (from 1)
        NotFinite,     // value `a` (from 1) is not finite
        NoDataMark,    // value `a` (from 1) is SCPI's 9.91E37 or +-9.9E37
        TooFew,        // `a` points, fewer than 2
        // A NanoVNA's shell.
        ScanDeclares,   // `a` points of mask `b`, not the `c` of mask `d` asked for
        NoPrompt,       // the scan's `a` points are not followed by the prompt
        UnknownCommand, // the NanoVNA does not know `words`
        Answered,       // the NanoVNA answered `words` instead of points
        BadPoint,       // point `a` (from 1) of the scan is `words`
        SweepSettings,  // the sweep settings are `words`, not START STOP POINTS
        CommandTooLong, // the scan command is longer than the shell takes
        ScanShort,      // a binary scan stopped after `a` of its `b` bytes (`c` points)
        ScanStopped,    // a text scan stopped after `a` of its `b` points
        NoEcho,         // the NanoVNA did not echo the command; it sent `words`
        // LibreVNA.
        NoPoints,         // the analyser has no points to send
        NotTouchstone,    // the reply does not start as Touchstone: `words` (a line)
        TouchstoneReply,  // the reply's Touchstone does not read: `words` (the reader's)
        NoS11Trace,       // no trace measures S11
        PointsNotACount,  // the acquisition's points are `words`, not a count
        TouchstonePoints, // the reply has `a` points, the acquisition `b`
        AcquisitionState, // the acquisition's state is `words`
        // An SCPI analyser.
        NotComplete, // the sweep did not complete: *OPC? answered `words`
        Reports,     // the analyser reports `words` (its error queue)
        Unanswered,  // no reply to `sent` within `a` ms; the error queue holds `words`
    } kind;
    std::string words{};
    std::size_t a = 0, b = 0, c = 0, d = 0;
    std::string sent{}; // with Unanswered: the query, as sent
};

std::string findingText(const ProtocolFinding &finding);

} // namespace varnel
