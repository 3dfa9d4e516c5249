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

} // namespace varnel::fuzz
