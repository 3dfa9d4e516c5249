#pragma once

#include "lowpass_prototype/prototype.h"

#include <string>
#include <string_view>

// The four text/number conversions of the Calculate command. The decimal
// separator is always ".", whatever the process locale; no digit grouping is
// read or written. Only Overflow (RunTimeError 6) is ever returned.
namespace varnel {

// Forgiving leading-number reading of a field text.
//   1. Every blank, tab and line feed is removed, wherever it stands.
//   2. The longest prefix of the rest of the form [+|-]digits[.digits]
//      [(E|e)[+|-]digits] is read; a mantissa needs at least one digit, an
//      exponent marker without digits is not part of the number.
//   3. Any other character (carriage return, comma, a letter, any non-ASCII
//      byte) ends the number; a text with no leading number reads as 0.
//   4. A number beyond the double range raises Overflow; one too small for
//      it reads as 0. Decimal-to-double is correctly rounded.
// Our choices: the radix prefixes &H / &O are not read ("&H10" is 0), and
// only E marks an exponent, never D, so "10dB" in the ripple field reads 10.
// Examples: "   5" -> 5, "1 0" -> 10, "10MHz" -> 10, "1,5" -> 1,
//           "1.2.3" -> 1.2, "" / "abc" / "-" -> 0, ".5" -> 0.5, "5." -> 5,
//           "1e3" -> 1000, "1e" -> 1, "1e400" -> Overflow, "1e-400" -> 0.
Result<double> readLeadingNumber(std::string_view text);

// Fifteen-digit rounding: the nearest double to the value rounded (to
// nearest) to 15 significant decimal digits, as if written out as text and
// read back. Values with 15 or fewer significant digits pass unchanged.
// Non-finite values pass unchanged as well.
// Raises Overflow for values so close to the largest double that their
// 15-digit form lies beyond the double range.
// Examples: 0.1 + 0.2 -> 0.3, 13.221485290380942 -> 13.2214852903809,
//           1.7976931348623157e308 -> Overflow.
Result<double> roundToFifteenDigits(double value);

// Order conversion: nearest whole number, an exact half going to the even
// neighbour; Overflow outside -32768..32767.
// Examples: 2.5 -> 2, 3.5 -> 4, -2.5 -> -2, 32767.4 -> 32767,
//           32767.5 -> Overflow, -32768.5 -> -32768, 40000 -> Overflow.
Result<Order> convertOrder(double value);

// Result formatting with the pattern "#.###": three decimals, an exact half
// going away from zero; no leading zero before the point; trailing zeros of
// the decimals removed but the point always written; a leading "-" for a
// negative value; never an exponent or digit grouping.
// Our choices: the value is taken in its 15-significant-digit decimal form,
// the same form fifteen-digit rounding gives, so a half is judged as the user
// reads the number (1.0005 -> "1.001") and digits beyond the 15th of a very
// large value are written as zeros. A value that rounds to zero is "0.",
// without a sign.
// Examples: 48.1489 -> "48.149", -48.1489 -> "-48.149", 0.5 -> ".5",
//           0.0625 -> ".063", 2.5 -> "2.5", 12 -> "12.", 131.7246 ->
//           "131.725", 1234567.8 -> "1234567.8", 0.0004 -> "0.".
// Only an infinite or undefined value, which the Calculate command never
// produces, gives Overflow.
Result<std::string> formatResult(double value);

} // namespace varnel
