#pragma once

// Helpers for table-driven tests whose rows are structs with a `name`.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace varnel::testing {

// Row name as the test's name suffix.
struct RowName {
    template <class Row> std::string operator()(const ::testing::TestParamInfo<Row> &info) const {
        return info.param.name;
    }
};

// Prints a row by its name instead of its bytes; pull it into the rows'
// namespace with `using varnel::testing::PrintTo;`.
template <class Row>
requires requires(const Row &row) {
    row.name;
}
void PrintTo(const Row &row, std::ostream *os) {
    *os << row.name;
}

} // namespace varnel::testing
