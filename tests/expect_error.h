#pragma once

#include "lowpass_prototype/run_time_error.h"

#include <gtest/gtest.h>

#include <optional>

namespace varnel::testing {

// The run-time error number of a result, or nullopt if it holds a value.
template <class T> std::optional<int> errorOf(const Result<T> &result) {
    if (result)
        return std::nullopt;
    return result.error().number();
}

// Expects `got` to hold `expected`, or Overflow when nothing is expected.
template <class T, class U>
void expectValueOrOverflow(const Result<T> &got, const std::optional<U> &expected) {
    if (expected) {
        ASSERT_TRUE(got.ok()) << "error " << got.error().number();
        EXPECT_EQ(*got, *expected);
    } else {
        EXPECT_EQ(errorOf(got), RunTimeError::Overflow);
    }
}

inline constexpr int kOverflow = RunTimeError::Overflow;
inline constexpr int kDivisionByZero = RunTimeError::DivisionByZero;

} // namespace varnel::testing
