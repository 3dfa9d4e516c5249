#pragma once

#include <stdexcept>
#include <string>

namespace varnel {

// The one error type of the program: a numbered run-time error.
//
// Raised by the numeric functions, the text conversions and the Calculate
// command when a step cannot give a finite result:
//   - Overflow (6): an exponential, a product or a quotient beyond the double
//     range, an invalid operation such as 0 / 0, a number text beyond the
//     double range, or a 16-bit whole number out of range.
//   - Division by zero (11): a finite non-zero value divided by zero.
// Nothing inside the core catches it; the caller that started the command
// (the window's dispatch or the command-line calculator) reports it.
class RunTimeError : public std::runtime_error {
public:
    enum Number : int { Overflow = 6, DivisionByZero = 11 };

    explicit RunTimeError(Number number)
        : std::runtime_error(describe(number)), m_number(number) {}

    static RunTimeError overflow() { return RunTimeError(Overflow); }
    static RunTimeError divisionByZero() { return RunTimeError(DivisionByZero); }

    int number() const noexcept { return m_number; }
    std::string description() const { return what(); }

    static const char *describe(Number number) noexcept {
        return number == DivisionByZero ? "Division by zero" : "Overflow";
    }

    friend bool operator==(const RunTimeError &a, const RunTimeError &b) noexcept {
        return a.m_number == b.m_number;
    }

private:
    Number m_number;
};

} // namespace varnel
