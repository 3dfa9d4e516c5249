#include "calculation/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>

namespace varnel {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

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

// A finite value's 15 significant digits, rounded to nearest from its exact
// binary value: value = d0.d1...d14 * 10^exponent. `text` holds the same
// number in scientific notation, and `unchanged` tells whether the value had
// no more than 15 significant digits, so that reading `text` back gives the
// value itself.
struct FifteenDigits {
    char text[32];
    std::size_t length; // of text
    char digits[15];
    int exponent;
    bool unchanged;
};

FifteenDigits fifteenDigits(double value) {
    FifteenDigits form;
    // The shortest round-trip form is cheap; if it has at most 15 digits it
    // is also the 15-digit rounding, since the value lies within half an ulp
    // of it and the 15-digit grid is coarser than that.
    const char *end =
        std::to_chars(form.text, form.text + sizeof form.text, value, std::chars_format::scientific)
            .ptr;
    const char *mark = std::find(static_cast<const char *>(form.text), end, 'e');
    form.unchanged = std::count_if(static_cast<const char *>(form.text), mark, isDigit) <= 15;
    if (!form.unchanged) {
        end = std::to_chars(form.text, form.text + sizeof form.text, value,
                            std::chars_format::scientific, 14)
                  .ptr;
        mark = std::find(static_cast<const char *>(form.text), end, 'e');
    }
    std::fill(std::begin(form.digits), std::end(form.digits), '0');
    std::copy_if(static_cast<const char *>(form.text), mark, form.digits, isDigit);
    std::from_chars(mark + 1 + (mark[1] == '+'), end, form.exponent);
    form.length = static_cast<std::size_t>(end - form.text);
    return form;
}

} // namespace

Result<double> readLeadingNumber(std::string_view text) {
    // Collect the number's characters, blanks removed, into `number`.
    std::string number;
    std::size_t i = 0;
    auto peek = [&]() -> char {
        while (i < text.size() && isBlank(text[i]))
            ++i;
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
    const auto read = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        // Out of range either way: too large is an error, too small is zero.
        if (leadingExponent(number) >= 0)
            return RunTimeError::overflow(); // e.g. "1e400"
        return number[0] == '-' ? -0.0 : 0.0;
    }
    return value;
}

Result<double> roundToFifteenDigits(double value) {
    if (!std::isfinite(value))
        return value;
    const FifteenDigits form = fifteenDigits(value);
    if (form.unchanged)
        return value;
    double result = 0.0;
    const auto read =
        std::from_chars(form.text, form.text + form.length, result, std::chars_format::scientific);
    if (read.ec == std::errc::result_out_of_range)
        return RunTimeError::overflow(); // 1.7976931348623157e308 -> "1.79769313486232e+308"
    return result;
}

Result<Order> convertOrder(double value) {
    if (!(value >= -32768.5 && value <= 32767.5))
        return RunTimeError::overflow(); // e.g. 40000, -32769
    double whole = std::floor(value);
    const double fraction = value - whole; // exact at this magnitude
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole > 32767.0)
        return RunTimeError::overflow(); // 32767.5 goes to the even 32768
    return static_cast<Order>(whole);
}

Result<std::string> formatResult(double value) {
    if (!std::isfinite(value))
        return RunTimeError::overflow();

    // The 15 significant digits d0 d1 ... d14 and the decimal exponent of d0.
    const FifteenDigits form = fifteenDigits(std::fabs(value));
    const int exponent = form.exponent;
    const char *significant = form.digits;

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
        return std::string("0."); // rounds to zero: no sign
    std::string text = value < 0 ? "-" : "";
    text += wholePart;
    text += '.';
    text += decimals;
    return text;
}

} // namespace varnel
