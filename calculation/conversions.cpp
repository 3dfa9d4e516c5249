#include "conversions.h"

#include "run_time_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace varnel {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal exponent of the leading significant digit of a scanned number
// "[-]digits[.digits][e[+|-]digits]", saturated; only its sign matters.
long leadingExponent(std::string_view number) {
    std::size_t i = number.empty() || number[0] != '-' ? 0 : 1;
    long intDigits = 0;
    long fractionZeros = 0;
    bool seenNonZero = false;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        seenNonZero = seenNonZero || number[i] != '0';
        if (seenNonZero)
            ++intDigits;
    }
    if (i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && isDigit(number[i]); ++i) {
            if (!seenNonZero && number[i] == '0')
                ++fractionZeros;
            else
                seenNonZero = true;
        }
    }
    long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        for (; i < number.size() && isDigit(number[i]); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 100'000'000L);
        if (negative)
            exponent = -exponent;
    }
    return intDigits > 0 ? intDigits - 1 + exponent : exponent - fractionZeros - 1;
}

} // namespace

double readLeadingNumber(std::string_view text) {
    // Collect the number's characters, blanks removed, into `number`.
    std::string number;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    auto peek = [&]() -> char {
        skipBlanks();
        return i < text.size() ? text[i] : '\0';
    };

    char c = peek();
    if (c == '+' || c == '-') {
        if (c == '-')
            number += '-';
        ++i;
    }
    int mantissaDigits = 0;
    bool seenPoint = false;
    for (c = peek(); i < text.size(); c = peek()) {
        if (isDigit(c)) {
            ++mantissaDigits;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        number += c;
        ++i;
    }
    if (mantissaDigits == 0)
        return 0.0;
    if (c == 'e' || c == 'E') {
        // Tentatively take the exponent; drop it again if it has no digits.
        const std::size_t mantissaEnd = number.size();
        number += 'e';
        ++i;
        c = peek();
        if (c == '+' || c == '-') {
            number += c;
            ++i;
        }
        int exponentDigits = 0;
        for (c = peek(); i < text.size() && isDigit(c); c = peek()) {
            number += c;
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0)
            number.resize(mantissaEnd);
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Out of range either way: too large is an error, too small is zero.
        if (leadingExponent(number) >= 0)
            throw RunTimeError::overflow(); // e.g. "1e400"
        return number[0] == '-' ? -0.0 : 0.0;
    }
    (void)end;
    return value;
}

double roundToFifteenDigits(double value) {
    if (!std::isfinite(value))
        return value;
    char buffer[32];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    double result = 0.0;
    const auto read = std::from_chars(buffer, written.ptr, result, std::chars_format::scientific);
    if (read.ec == std::errc::result_out_of_range)
        throw RunTimeError::overflow(); // e.g. 1.7976931348623157e308 -> "1.79769313486232e+308"
    return result;
}

Order convertOrder(double value) {
    if (!(value >= -32768.5 && value <= 32767.5))
        throw RunTimeError::overflow(); // e.g. 40000, -32769
    double whole = std::floor(value);
    const double fraction = value - whole; // exact at this magnitude
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole > 32767.0)
        throw RunTimeError::overflow(); // 32767.5 goes to the even 32768
    return static_cast<Order>(whole);
}

std::string formatResult(double value) {
    if (!std::isfinite(value))
        throw RunTimeError::overflow(); // never reached by the Calculate command

    // The value's 15 significant digits d0 d1 ... d14 and the decimal
    // exponent of d0.
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, 14);
    const char *exponentMark = std::find(buffer, written.ptr, 'e');
    const int exponent = std::atoi(exponentMark + 1);
    char significant[15];
    significant[0] = buffer[0];
    std::copy(buffer + 2, buffer + 16, significant + 1);

    // Lay the digits out by place, from the highest whole-number place down
    // to the ten-thousandths, which decides the rounding.
    const int wholePlaces = std::max(exponent + 1, 0);
    std::string digits;
    digits.reserve(static_cast<std::size_t>(wholePlaces) + 5);
    for (int place = wholePlaces - 1; place >= -4; --place) {
        const int index = exponent - place;
        digits += index >= 0 && index < 15 ? significant[index] : '0';
    }
    const bool roundUp = digits.back() >= '5'; // a half goes away from zero
    digits.pop_back();
    std::size_t whole = static_cast<std::size_t>(wholePlaces);
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i > 0) {
            ++digits[i - 1];
        } else {
            digits.insert(digits.begin(), '1');
            ++whole;
        }
    }

    std::string decimals = digits.substr(whole);
    while (!decimals.empty() && decimals.back() == '0')
        decimals.pop_back();
    std::string wholePart = digits.substr(0, whole);
    const std::size_t firstNonZero = wholePart.find_first_not_of('0');
    wholePart.erase(0, firstNonZero == std::string::npos ? wholePart.size() : firstNonZero);
    if (wholePart.empty() && decimals.empty())
        return "0."; // rounds to zero: no sign
    std::string text = value < 0 ? "-" : "";
    text += wholePart;
    text += '.';
    text += decimals;
    return text;
}

} // namespace varnel
