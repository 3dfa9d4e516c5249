#pragma once

#include "analyser_protocols/finding.h"
#include "touchstone/touchstone.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What an SCPI analyser says over a raw socket, read without Qt so that the
// faces and the tests share one reading: IEEE 488.2 definite-length blocks,
// IEEE 754 doubles in either byte order, ASCII number lists, and a sweep
// assembled from the frequency and data queries and checked.
//
//   A definite-length block is '#', one digit d (1..9), d digits giving the
//   byte count n, then n bytes, then the message terminator (LF, or CR LF).
//   ":FORM:DATA REAL,64" sends doubles in it; ":FORM:BORD NORM" puts the most
//   significant byte first, "SWAP" the least (the instruments' programming
//   guides, FORMat subsystem). "#0" (indefinite length) is not a raw
//   socket's: refused.
//   ASCII (":FORM:DATA ASC") sends numbers separated by commas, ended by LF.
//
// Worked example: "#216" then 16 bytes (two doubles 1.5 and -2, most
// significant byte first) then "\n": Complete, 21 bytes used, the payload
// the 16 bytes, decoding to {1.5, -2}. "#216" and 10 bytes: NeedMore.
// "#A16...": Malformed ("the block's length digit is not 1 to 9");
// "#9999999999": Malformed at once (BlockTooLong: more than blockCap).
namespace varnel {

enum class ByteOrder { MostSignificantFirst, LeastSignificantFirst };

struct BlockRead {
    enum Status { NeedMore, Complete, Malformed } status = NeedMore;
    std::size_t consumed = 0;               // bytes of the buffer the block used
    std::string_view payload;               // with Complete
    std::optional<ProtocolFinding> finding; // with Malformed
};

// Reads a definite-length block at the start of `buffer`.
BlockRead readDefiniteBlock(std::string_view buffer);

// The doubles of a REAL,64 payload; none when its length is not a multiple
// of 8.
std::optional<std::vector<double>> decodeReal64(std::string_view payload, ByteOrder order);

// The numbers of an ASCII reply ("+1.00E+09,-2.5\n"), or why not.
std::variant<std::vector<double>, ProtocolFinding> parseAsciiNumbers(std::string_view reply);

// Why a sweep an analyser sent cannot be taken.
struct SweepProblem {
    enum Kind {
        CountMismatch, // frequencies against data pairs (points, values)
        NotRising,     // frequencies not strictly rising, at index `at`
        NotFinite,     // a value that is not a finite number, at index `at`
        NoDataMark,    // SCPI's 9.91E37 (or +-9.9E37) at index `at`: no data
        TooFew,        // fewer than 2 points
    } kind;
    std::size_t points = 0, values = 0, at = 0;
};
ProtocolFinding findingOf(const SweepProblem &problem);
std::string sweepProblemText(const SweepProblem &problem);

// A 1-port sweep (S11) from ":SENS1:FREQ:DATA?" (Hz) and
// ":CALC1:DATA:SDAT?" (real and imaginary, point by point): frequencies
// strictly rising, every value finite and none SCPI's mark for no data
// (9.91E37, +-9.9E37), two data values a frequency.
std::variant<Network, SweepProblem> scpiSweep(const std::vector<double> &frequenciesHz,
                                              const std::vector<double> &data);
// The same for S11 alone (one trace), a forward 2-port sweep (S11 and S21:
// Network::forwardOnly) or a 2-port sweep (four traces, in the order S11,
// S21, S12, S22), every trace checked as above.
std::variant<Network, SweepProblem> scpiSweep(const std::vector<double> &frequenciesHz,
                                              std::span<const std::vector<double>> traces);

} // namespace varnel
