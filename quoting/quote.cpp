#include "quoting/quote.h"

#include <cstdint>

namespace varnel {

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

void appendByte(std::string &out, unsigned char byte) {
    out += "\\x";
    out += hexDigits[byte >> 4];
    out += hexDigits[byte & 15];
}

void appendCodePoint(std::string &out, std::uint32_t code) {
    out += "\\u{";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hexDigits[(code >> shift) & 15];
    out += '}';
}

// Characters a terminal acts on or that reorder or break a line.
bool isUnsafeCodePoint(std::uint32_t code) {
    return (code >= 0x80 && code <= 0x9f) || code == 0x200e || code == 0x200f ||
           (code >= 0x2028 && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

// The length of the valid UTF-8 sequence at the start of `text` and its
// code point, or 0 when it is not one (overlong, surrogate, beyond U+10FFFF,
// cut short).
std::size_t utf8Sequence(std::string_view text, std::uint32_t &code) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
        minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
        minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3f);
    }
    if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return 0;
    return length;
}

// Appends the escaped form of `text`, at most `limit` characters of it;
// true when all of it went in.
bool appendEscaped(std::string &out, std::string_view text, char quote, std::size_t limit) {
    std::size_t characters = 0;
    while (!text.empty()) {
        if (characters == limit)
            return false;
        ++characters;
        const auto byte = static_cast<unsigned char>(text[0]);
        if (byte < 0x80) {
            if (byte == '\\' || (quote && byte == static_cast<unsigned char>(quote))) {
                out += '\\';
                out += static_cast<char>(byte);
            } else if (byte == '\t') {
                out += "\\t";
            } else if (byte == '\n') {
                out += "\\n";
            } else if (byte == '\r') {
                out += "\\r";
            } else if (byte < 0x20 || byte == 0x7f) {
                appendByte(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
            text.remove_prefix(1);
            continue;
        }
        std::uint32_t code = 0;
        const std::size_t length = utf8Sequence(text, code);
        if (length == 0) {
            appendByte(out, byte);
            text.remove_prefix(1);
        } else {
            if (isUnsafeCodePoint(code))
                appendCodePoint(out, code);
            else
                out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return true;
}

bool isPlainNameByte(unsigned char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte >= 0x80 ||
           std::string_view("._-+/,:@%=~").find(static_cast<char>(byte)) != std::string_view::npos;
}

} // namespace

std::string escapedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text, 0, std::string_view::npos);
    return out;
}

std::string escapedToken(std::string_view text) {
    std::string out;
    if (!appendEscaped(out, text, 0, quotedTokenLength))
        out += "...";
    return out;
}

std::string quotedToken(std::string_view text) {
    std::string out = "'";
    if (!appendEscaped(out, text, '\'', quotedTokenLength))
        out += "...";
    out += '\'';
    return out;
}

std::string quotedName(std::string_view name) {
    bool plain = !name.empty();
    for (const char c : name)
        plain = plain && isPlainNameByte(static_cast<unsigned char>(c));
    if (plain) {
        // Non-ASCII bytes must also be valid, safe UTF-8 to stand unquoted.
        std::string escaped = escapedText(name);
        if (escaped == name)
            return escaped;
    }
    std::string out = "'";
    appendEscaped(out, name, '\'', std::string_view::npos);
    out += '\'';
    return out;
}

std::string csvField(std::string_view text) {
    std::string field = escapedText(text);
    if (!field.empty() && std::string_view("=+-@").find(field.front()) != std::string_view::npos)
        field.insert(field.begin(), '\'');
    if (field.find_first_of(",\"") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field)
        quoted.append(c == '"' ? 2 : 1, c);
    return quoted.append(1, '"');
}

std::string htmlText(std::string_view text) {
    std::string html;
    for (const char c : escapedText(text)) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

std::string asciiUpper(std::string_view text) {
    std::string upper(text);
    for (char &c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

} // namespace varnel
