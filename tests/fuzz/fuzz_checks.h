#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel::fuzz {

// Each check runs one input and aborts (through a failed check) when an
// invariant does not hold; it returns normally otherwise.

// Input: up to three tab-separated field texts (order, bandwidth, ripple).
// The answer is a result text of the pattern -?digits?.digits{0,3} with no
// trailing zero, or run-time error 6 or 11; the same input gives the same
// answer; the text reads back to within half a unit of its last place.
void checkCalculate(const std::uint8_t *data, std::size_t size);

// Input: batch-mode bytes, fed in chunks whose sizes the input chooses.
// Exactly one answer line per input line, each a result, an error or an
// "invalid:" line, whatever the chunking.
void checkBatch(const std::uint8_t *data, std::size_t size);

// Input: a Touchstone file's bytes after one byte that chooses the file name
// (.s1p to .s4p, .ts, .txt). The reader gives data or an error naming the
// file, safe to print (valid UTF-8, no control character) and bounded; the
// bytes quoted as a token or a name are safe and bounded too; data has 1 to
// 4 ports, at least one point, finite values and frequencies rising
// strictly; keeping S11 alone reads or fails exactly as the full read does,
// with S11's values.
void checkTouchstone(const std::uint8_t *data, std::size_t size);

} // namespace varnel::fuzz
