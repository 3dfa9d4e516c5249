#pragma once

#include "journal/journal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A journal opened for a test, or none and the test failed with the reason.
namespace varnel::testing {

inline std::unique_ptr<Journal> opened(const std::string &where) {
    auto made = Journal::open(where);
    if (auto *error = std::get_if<JournalError>(&made)) {
        ADD_FAILURE() << journalErrorText(*error);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Journal>>(made));
}

} // namespace varnel::testing
