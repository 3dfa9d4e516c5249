#pragma once

#include <exception>
#include <string>
#include <utility>

namespace varnel {

// The one error type of the program: a numbered run-time error.
//
// Raised by the numeric functions, the text conversions and the Calculate
// command when a step cannot give a finite result:
//   - Overflow (6): an exponential, a product or a quotient beyond the double
//     range, an invalid operation such as 0 / 0, a number text beyond the
//     double range, or a 16-bit whole number out of range.
//   - Division by zero (11): a finite non-zero value divided by zero.
// The core returns it as a value (see Result) so that a failing calculation
// costs no more than a successful one; callers that report it may throw it.
class RunTimeError : public std::exception {
  public:
    enum Number : int { Overflow = 6, DivisionByZero = 11 };

    explicit RunTimeError(Number number) : m_number(number) {}

    static RunTimeError overflow() { return RunTimeError(Overflow); }
    static RunTimeError divisionByZero() { return RunTimeError(DivisionByZero); }

    int number() const noexcept { return m_number; }
    std::string description() const { return what(); }
    const char *what() const noexcept override {
        return m_number == DivisionByZero ? "Division by zero" : "Overflow";
    }

    friend bool operator==(const RunTimeError &a, const RunTimeError &b) noexcept {
        return a.m_number == b.m_number;
    }

  private:
    Number m_number;
};

// A value of type T, or the run-time error that ended the step computing it.
template <class T> class [[nodiscard]] Result {
  public:
    Result(T value) : m_value(std::move(value)) {}
    Result(RunTimeError error) : m_error(error.number()) {}

    bool ok() const noexcept { return m_error == 0; }
    explicit operator bool() const noexcept { return ok(); }

    // The value; only when ok().
    const T &operator*() const &noexcept { return m_value; }
    T &&operator*() &&noexcept { return std::move(m_value); }
    const T *operator->() const noexcept { return &m_value; }

    // The error; only when !ok().
    RunTimeError error() const noexcept {
        return RunTimeError(static_cast<RunTimeError::Number>(m_error));
    }

    // The value, or the error thrown.
    T valueOrThrow() && {
        if (!ok())
            throw error();
        return std::move(m_value);
    }

  private:
    T m_value{};
    int m_error = 0;
};

} // namespace varnel

// Evaluates `expr` (a Result); on an error returns it from the enclosing
// function, otherwise declares `const auto name` holding the value.
#define VARNEL_TRY(name, expr)                                                                     \
    auto name##Result_ = (expr);                                                                   \
    if (!name##Result_)                                                                            \
        return name##Result_.error();                                                              \
    const auto name = *std::move(name##Result_)
