// The check of the tools' tests that an input is refused: the call throws
// formats::Error, and its message holds the words that name the fault.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "formats/error.hpp"

namespace toolcases {

// Calls `f`, which must throw formats::Error with `message` in its text;
// `what` names the case in a failure. Returns the text of the error (empty
// when `f` accepted its input).
template <class F>
std::string expect_rejected(F&& f, const std::string& message, const std::string& what) {
    try {
        f();
    } catch (const formats::Error& e) {
        EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
            << what << ": " << e.what();
        return e.what();
    }
    ADD_FAILURE() << what << ": accepted";
    return {};
}

}  // namespace toolcases
