#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Number text shared by every room: the shortest exact form, fixed decimals,
// CSV rows and strict decimal reading. "." is the point whatever the locale;
// no digit grouping is read or written.
namespace varnel {

// The shortest decimal form that reads back to the same double, an exponent
// only where shorter; zero of either sign is "0".
// Examples: 0.1 -> "0.1", 48.14890203471687 -> "48.14890203471687",
//           1e21 -> "1e+21", -0.5 -> "-0.5", -0.0 -> "0".
std::string formatShortest(double value);

// Fixed-point text with `decimals` decimals, rounded to nearest; a value that
// rounds to zero is written without a sign.
// Examples: (26.3847, 2) -> "26.38", (-0.001, 2) -> "0.00".
std::string formatFixed(double value, int decimals);

// formatFixed with a "+" before a positive amount, for differences; a value
// that rounds to zero has no sign, so that none reads as a direction.
// Examples: (2, 3) -> "+2.000", (-0.147, 3) -> "-0.147", (0.001, 2) -> "0.00".
std::string formatSigned(double value, int decimals);

// Appends one CSV row: the values in their shortest exact form, separated by
// commas, and a line end. Example: {985, 10.5} -> "985,10.5\n".
void appendCsvRow(std::string &out, std::span<const double> values);
inline void appendCsvRow(std::string &out, std::initializer_list<double> values) {
    appendCsvRow(out, std::span<const double>(values.begin(), values.size()));
}

// A decimal number as data files write one: [+|-]digits[.digits]
// [(e|E)[+|-]digits] with at least one mantissa digit, the whole text; not
// "nan", "inf" or a hexadecimal form. Too small for a double reads as 0; too
// large is nullopt. Examples: "-6.02" -> -6.02, ".5" -> 0.5, "1e-400" -> 0,
// "1e400", "inf", "0x1p3", "1,5", "" -> nullopt.
std::optional<double> parseDecimal(std::string_view text);

} // namespace varnel
