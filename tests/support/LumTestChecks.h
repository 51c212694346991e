#pragma once
// Checks shared by the tests: what a call raises.

#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <string>

/// The message of the E that the call raises; a failure of the test (and an empty text) when
/// it raises nothing.
template <class E, class F> std::u16string MessageOf(F&& call) {
    try {
        call();
    } catch (const E& error) {
        return error.Message();
    }
    ADD_FAILURE() << "no exception raised";
    return {};
}

/// Expects the call to raise exactly the class with exactly the text.
template <class E, class F>
void ExpectRaises(F&& call, const char* className, std::u16string_view text) {
    try {
        call();
        ADD_FAILURE() << "no exception, expected " << className;
    } catch (const E& error) {
        EXPECT_STREQ(error.ClassName(), className);
        EXPECT_EQ(WideToUtf8(error.Message()), WideToUtf8(text));
    }
}
