#pragma once

#include "analyser_protocols/finding.h"
#include "touchstone/touchstone.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// What a NanoVNA (the -H and -H4 family) says on its USB serial shell, read
// without Qt. From the firmware's shell command reference:
//   the shell ends lines with CR LF, prompts with "ch> ", echoes every
//   command line as it is typed (the command, then CR LF), answers an
//   unknown command with its name and '?', and takes at most 63 characters
//   a line;
//   "sweep" with no arguments answers "START STOP POINTS" (Hz), the sweep
//   the instrument is set to, within its firmware's point limit;
//   "scan START STOP POINTS MASK" sweeps once on demand, then pauses, and
//   answers point by point what the mask asks: 0x01 the frequency, 0x02
//   S11, 0x04 S21; with 0x80 in binary: a little-endian uint16 mask and
//   uint16 point count, then for each point a uint32 frequency (Hz) and
//   float32 real and imaginary pairs; without it, one text line a point
//   ("985000000 0.125 -0.5").
// A reply is framed by the echo of its own command and the length it
// declares (binary) or the points asked for (text), then the prompt; never
// by "the first prompt": a banner or a stray prompt before the echo is
// dropped, so it cannot shift later replies.
// Worked example: after "ch> " (stray), the echo "scan 1000 2000 2 131\r\n",
// the header 83 00 02 00, two points (1000, 0.5, 0) and (2000, 0.25, 0) and
// "ch> ": Complete, all the bytes used, S11 0.5 at 0.001 MHz and 0.25 at
// 0.002 MHz. The same with only one point before the prompt: NeedMore until
// 12 more bytes come, then Malformed if they are not a point and "ch> ".
namespace varnel {

inline constexpr std::size_t nanoVnaLineLimit = 63;
inline constexpr std::string_view nanoVnaPrompt = "ch> ";
inline constexpr unsigned nanoVnaFrequency = 0x01, nanoVnaS11 = 0x02, nanoVnaS21 = 0x04,
                          nanoVnaBinary = 0x80;

struct NanoVnaSweep {
    std::uint32_t startHz = 0, stopHz = 0;
    int points = 0;
};

// The settings of a "sweep" reply ("985000000 1015000000 101").
std::optional<NanoVnaSweep> parseNanoVnaSweep(std::string_view reply);

// "scan 985000000 1015000000 101 131".
std::string nanoVnaScanCommand(const NanoVnaSweep &sweep, unsigned mask);

struct NanoVnaRead {
    enum Status { NeedMore, Complete, Malformed } status = NeedMore;
    std::size_t consumed = 0;               // bytes used, whatever came before the echo too
    std::string text;                       // a text command's reply, lines joined by '\n'
    Network network;                        // a scan's sweep
    std::optional<ProtocolFinding> finding; // with Malformed
    bool binary = false;                    // a scan answered in binary
};

// The reply to a text command (its lines between the echo and the prompt).
NanoVnaRead readNanoVnaText(std::string_view bytes, std::string_view command);

// The reply to a scan `command` with `mask` (frequency and S11 at least),
// binary or text whatever the mask asked: a firmware without binary output
// answers in text. Checked: the header's mask and count, every point, the
// prompt after the last, frequencies rising.
NanoVnaRead readNanoVnaScan(std::string_view bytes, std::string_view command, int points,
                            unsigned mask);

// What a reply that has gone silent means, from its bytes so far (for a
// text command `points` is 0): Sweeping while only the scan's echo has
// come (the instrument sweeps before it answers), Wrong with the finding
// when the echo is another line or the points stopped short, Cut when
// nothing more can be said.
// Example: "scan 1000 2000 2 131\r\n" and the header 83 00 02 00 alone:
// Wrong, "the scan's binary reply stopped after 4 of its 32 bytes (2
// points)"; "sweep\r\n" instead of the echo: Wrong, "the NanoVNA did not
// echo the command; it sent 'sweep'".
struct NanoVnaSilence {
    enum What { Cut, Sweeping, Wrong } what = Cut;
    std::optional<ProtocolFinding> finding{};
};
NanoVnaSilence nanoVnaSilence(std::string_view bytes, std::string_view command, int points,
                              unsigned mask);

} // namespace varnel
