#pragma once

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

// The decimal reader behind parseDecimal and the Touchstone reader, inline
// so that a file's numbers are read without a call per number.
namespace varnel {

namespace decimal_detail {

// The digits read so far: at most 19 kept, the power of ten they are off by,
// whether any was dropped, whether there was one at all.
struct Mantissa {
    std::uint64_t digits = 0;
    int significant = 0;
    int exponent = 0;
    bool exact = true;
    bool anyDigit = false;
};

[[gnu::always_inline]] inline bool isDigitAt(const char *at, const char *end) {
    return at < end && *at >= '0' && *at <= '9';
}

// Whether every byte of the word read from text is a digit 0x30..0x39: its
// high nibble 3, and adding 6 keeps it 3.
template <class Word> [[gnu::always_inline]] inline bool allDigits(Word v) {
    constexpr Word ones = static_cast<Word>(~Word(0) / 0xFF); // 0x0101...
    constexpr Word high = ones * 0xF0;
    return ((v & high) | (((v + ones * 0x06) & high) >> 4)) == ones * 0x33;
}

// Eight digits at once while they fit in the 19 kept (most numbers in a
// sweep have 10 to 15): false when the next eight bytes are not all digits.
[[gnu::always_inline]] inline bool eightDigits(const char *at, const char *end, int significant,
                                               std::uint64_t &eight) {
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if (end - at < 8 || significant > 11)
        return false;
    std::uint64_t v;
    std::memcpy(&v, at, 8);
    if (!allDigits(v))
        return false;
    v -= 0x3030303030303030;
    v = v * 10 + (v >> 8); // pairs of digits
    v = (((v & 0x000000FF000000FF) * 0x000F424000000064) +
         (((v >> 16) & 0x000000FF000000FF) * 0x0000271000000001)) >>
        32;
    eight = v & 0xFFFFFFFF;
    return true;
}

// Four digits at once, as eightDigits: false when the next four bytes are
// not all digits or would take the kept digits past 19.
[[gnu::always_inline]] inline bool fourDigits(const char *at, const char *end, int significant,
                                              std::uint64_t &four) {
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if (end - at < 4 || significant > 15)
        return false;
    std::uint32_t v;
    std::memcpy(&v, at, 4);
    if (!allDigits(v))
        return false;
    v -= 0x30303030;
    v = v * 10 + (v >> 8); // pairs of digits in the first and third bytes
    four = (v & 0xFF) * 100 + ((v >> 16) & 0xFF);
    return true;
}

// The digits of the integer part, or of the fraction, from `s`: a kept
// digit of the fraction lowers the exponent, a dropped digit of the integer
// part raises it. Returns where they end.
[[gnu::always_inline]] inline const char *readDigits(const char *s, const char *end, Mantissa &m,
                                                     bool fraction) {
    for (std::uint64_t eight; eightDigits(s, end, m.significant, eight); s += 8) {
        m.digits = m.digits * 100000000 + eight;
        m.significant += 8;
        m.exponent -= fraction ? 8 : 0;
        m.anyDigit = true;
    }
    if (std::uint64_t four; fourDigits(s, end, m.significant, four)) {
        m.digits = m.digits * 10000 + four;
        m.significant += 4;
        m.exponent -= fraction ? 4 : 0;
        m.anyDigit = true;
        s += 4;
    }
    for (; isDigitAt(s, end); ++s) {
        m.anyDigit = true;
        if (m.significant < 19) {
            m.digits = m.digits * 10 + static_cast<std::uint64_t>(*s - '0');
            m.significant += m.digits != 0;
            m.exponent -= fraction ? 1 : 0;
        } else {
            m.exact = false;
            m.exponent += fraction ? 0 : 1;
        }
    }
    return s;
}

// The exponent part at `s` ("e-7"), if there is one, into `written`;
// returns where it ends (`s` without one: "1e" ends after "1").
[[gnu::always_inline]] inline const char *readExponent(const char *s, const char *end,
                                                       int &written) {
    if (!(s < end && (*s == 'e' || *s == 'E')))
        return s;
    const char *t = s + 1;
    const bool negative = t < end && *t == '-';
    if (t < end && (*t == '+' || *t == '-'))
        ++t;
    if (!isDigitAt(t, end))
        return s;
    for (; isDigitAt(t, end); ++t)
        if (written < 100000)
            written = written * 10 + (*t - '0');
    written = negative ? -written : written;
    return t;
}

// The slow path: the text [from, to) through std::from_chars (strtod where
// it is out of range, to tell too large from too small). False beyond the
// double range or when it does not read to its end.
inline bool readText(const char *from, const char *to, double &value) {
    const auto [stop, error] = std::from_chars(from, to, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        const double wide = std::strtod(std::string(from, to).c_str(), nullptr);
        if (std::isinf(wide))
            return false;
        value = wide;
        return true;
    }
    return error == std::errc() && stop == to;
}

// The mantissa [from, to) as written with the exponent `exponent`: built on
// the stack for any number a file writes, on the heap for a longer one.
inline bool readSlowly(const char *from, const char *to, int exponent, double &value) {
    char local[96];
    const auto length = static_cast<std::size_t>(to - from);
    if (length + 16 > sizeof local) {
        std::string text(from, to);
        text.append("e").append(std::to_string(exponent));
        return readText(text.data(), text.data() + text.size(), value);
    }
    std::memcpy(local, from, length);
    local[length] = 'e';
    const auto written = std::to_chars(local + length + 1, local + sizeof local, exponent);
    return readText(local, written.ptr, value);
}

} // namespace decimal_detail

// Reads the decimal number [+|-]digits[.digits][(e|E)[+|-]digits] (at least
// one mantissa digit) at the start of [begin, end); returns where it ends, or
// nullptr when there is none or it is beyond the double range. The caller
// decides whether what follows may end a number ("1e" ends after "1").
// Numbers of at most 19 significant digits and a decimal exponent within
// +-22 take the exact fast path: the digits and the power of ten are both
// exact doubles, so one multiplication or division rounds correctly.
// Others go through std::from_chars.
// With `convert` false the value is not needed, only whether the text is a
// number in range: the fast path then skips its division. `shift` moves the
// decimal point before rounding (3: the text is in GHz, the value in MHz),
// so "1.015" GHz reads as exactly the double nearest 1015 MHz.
[[gnu::always_inline]] inline const char *readDecimal(const char *const begin,
                                                      const char *const end, double &value,
                                                      bool convert = true, int shift = 0) {
    using namespace decimal_detail;
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char *s = begin;
    const bool negative = s < end && *s == '-';
    if (s < end && (*s == '+' || *s == '-'))
        ++s;
    const char *const unsignedStart = s;
    Mantissa m;
    for (; s < end && *s == '0'; ++s)
        m.anyDigit = true; // leading zeros carry nothing
    s = readDigits(s, end, m, false);
    if (s < end && *s == '.') {
        ++s;
        if (m.digits == 0)
            for (; s < end && *s == '0'; ++s) {
                m.anyDigit = true;
                --m.exponent;
            }
        s = readDigits(s, end, m, true);
    }
    if (!m.anyDigit)
        return nullptr;
    const char *const mantissaEnd = s;
    int written = 0; // the exponent as written
    s = readExponent(s, end, written);
    const int exponent = m.exponent + written + shift;
    if (m.digits == 0) {
        value = negative ? -0.0 : 0.0;
        return s;
    }
    if (m.exact && m.digits <= (std::uint64_t(1) << 53) && exponent >= -22 && exponent <= 22) {
        if (!convert)
            return s;
        const double mantissa = static_cast<double>(m.digits);
        const double magnitude =
            exponent < 0 ? mantissa / powersOfTen[-exponent] : mantissa * powersOfTen[exponent];
        value = negative ? -magnitude : magnitude;
        return s;
    }
    // The number as written, or its mantissa with the shifted exponent.
    const char *const from = negative ? unsignedStart - 1 : unsignedStart;
    if (!(shift == 0 ? readText(from, s, value)
                     : readSlowly(from, mantissaEnd, written + shift, value)))
        return nullptr;
    return s;
}

} // namespace varnel
