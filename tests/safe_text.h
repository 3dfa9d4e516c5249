#pragma once

// Whether text is safe to print, judged independently of the quoting code:
// valid UTF-8 (the standard's table of well-formed sequences) with no
// control character (C0 but the line feed when lines are allowed, DEL, C1),
// no line or paragraph separator and no bidirectional formatting mark.
#include <cstddef>
#include <string_view>

namespace varnel::testing {

inline bool safeToShow(std::string_view text, bool linesAllowed = false) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && !(linesAllowed && byte == '\n')) || byte == 0x7f)
            return false;
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : 2;
        if (byte < 0xc2 || byte > 0xf4 || i + length > text.size())
            return false;
        unsigned code = byte & (0x7fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3fu);
        }
        const unsigned minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
            code <= 0x9f || code == 0x200e || code == 0x200f ||
            (code >= 0x2028 && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069))
            return false;
        i += length;
    }
    return true;
}

} // namespace varnel::testing
