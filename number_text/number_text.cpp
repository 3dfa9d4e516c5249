#include "number_text/number_text.h"

#include "number_text/decimal_reader.h"

#include <charconv>

namespace varnel {

namespace {

// The shortest form of `value` into `buffer`; zero of either sign as "0".
char *writeShortest(char (&buffer)[32], double value) {
    return std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value).ptr;
}

} // namespace

std::string formatFixed(double value, int decimals) {
    char buffer[400];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals)
            .ptr;
    std::string text(buffer, end);
    // "-0.00" reads as a negative amount where there is none.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string formatSigned(double value, int decimals) {
    std::string text = formatFixed(value, decimals);
    if (text.front() != '-' && text.find_first_not_of("0.") != std::string::npos)
        text.insert(0, 1, '+');
    return text;
}

std::string formatShortest(double value) {
    char buffer[32];
    return std::string(buffer, writeShortest(buffer, value));
}

void appendCsvRow(std::string &out, std::span<const double> values) {
    char buffer[32];
    for (const double value : values) {
        out.append(buffer, writeShortest(buffer, value));
        out += ',';
    }
    out.back() = '\n';
}

std::optional<double> parseDecimal(std::string_view text) {
    double value = 0;
    const char *end = readDecimal(text.data(), text.data() + text.size(), value);
    if (!end || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace varnel
