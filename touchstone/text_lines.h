#pragma once

#include <algorithm>
#include <string_view>

// The pieces of a Touchstone line: blanks, comments and tokens.
//
// Worked example: in "  100 0.5 -45 ! S11\r", withoutComment gives
// "100 0.5 -45", and nextToken then takes "100", "0.5", "-45" and "".
namespace varnel::touchstone_text {

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

inline std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// A line without its comment ("!" to the end) and its outer blanks.
inline std::string_view withoutComment(std::string_view text) {
    if (const std::size_t bang = text.find('!'); bang != std::string_view::npos)
        text = text.substr(0, bang);
    return trim(text);
}

// Splits off the next blank-separated token; empty at the end.
inline std::string_view nextToken(std::string_view &text) {
    std::size_t start = 0;
    while (start < text.size() && isSpace(text[start]))
        ++start;
    std::size_t end = start;
    while (end < text.size() && !isSpace(text[end]))
        ++end;
    const std::string_view token = text.substr(start, end - start);
    text.remove_prefix(end);
    return token;
}

// ASCII letters compared without case ("MHz" equals "mhz").
inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

} // namespace varnel::touchstone_text
