#pragma once

#include "analyser_protocols/finding.h"
#include "touchstone/touchstone.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What LibreVNA's GUI says through its SCPI server (TCP, port 19542), read
// without Qt. From its programming guide:
//   ":VNA:TRACe:LIST?"        the trace names, separated by commas;
//   ":VNA:TRACe:PARAMeter? T" what trace T measures ("S11");
//   ":VNA:TRACe:TOUCHSTONE? T1 T2 ..."  the traces as a Touchstone file,
//                             one trace a 1-port, four (S11 S12 S21 S22) a
//                             2-port, frequencies in GHz with 12 decimals;
//   every reply ends with a newline, and a Touchstone reply with an empty
//   line after its data: it is framed by that end, and holds as many
//   points as the acquisition has (":VNA:ACQuisition:POINTS?") or is
//   refused, whole, so that the next reply is read from its own start.
//   Older versions answer a setting command with an empty line: empty
//   lines before a reply are skipped.
// Worked example: "# GHZ S RI R 50\n1.0 0.5 0\n" with 2 points: 0 (more is
// needed); with "1.1 0.25 0\n\n" after it: the reply's 38 bytes, and the
// sweep 1000 and 1100 MHz, S11 0.5 and 0.25; ended after its first point:
// "the Touchstone reply has 1 points, not the 2 of the acquisition".
// "ERROR\n": "the reply is not Touchstone: 'ERROR'".
namespace varnel {

// The names of a ":VNA:TRACe:LIST?" reply, spaces trimmed.
std::vector<std::string> libreVnaTraceNames(std::string_view reply);

// How many bytes of `bytes` a whole Touchstone reply takes, up to and with
// the empty line that ends it, leading empty lines included; 0 while more
// is needed; or why not (a reply of other than `points` points once whole).
std::variant<std::size_t, ProtocolFinding> libreVnaTouchstoneLength(std::string_view bytes,
                                                                    std::size_t points);

// The sweep in a whole Touchstone reply of `ports` ports, read by the
// Touchstone reader (its message the finding's words); `source` names it
// in messages.
std::variant<Network, ProtocolFinding> libreVnaSweep(std::string_view reply, int ports,
                                                     std::string_view source);

} // namespace varnel
