// Public result codes in test failures by name: EXPECT_RESULT(ZUKVerifyPIN(1, 4, "1234"), ZUK_OK)
// fails with "ZUKVerifyPIN(1, 4, "1234") gave ZUK_ERR_PIN_WRONG (3), not ZUK_OK (0)" rather than
// with two numbers.  The names come from the rows of status/result_table.h (the macro alone, so
// that a test program needs no library code for it); a code the library does not define is shown
// as a number.  Shared by the native and the Wine tests.
#ifndef ZUK_TESTS_RESULT_EXPECT_H
#define ZUK_TESTS_RESULT_EXPECT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "ZUKcntrl.h"
#include "status/result_table.h"

// The header's name of a result code ("ZUK_ERR_PIN_WRONG"), or null for a code it does not define.
inline const char *ResultMacroName(std::int64_t code) {
    switch (code) {
#define ZUK_TEST_RESULT_NAME(result, value, ...)                                                   \
    case value: return #result;
        ZUK_RESULTS(ZUK_TEST_RESULT_NAME)
#undef ZUK_TEST_RESULT_NAME
    default: return nullptr;
    }
}

// Whether a code is one of the results the public header defines.
inline bool IsDocumentedResult(std::int64_t code) { return ResultMacroName(code) != nullptr; }

// "ZUK_ERR_PIN_WRONG (3)", "ZUK_ERR_PARAM (0x10000)", or "no result code (12)".
inline std::string ResultName(std::int64_t code) {
    const char *name = ResultMacroName(code);
    char text[96];
    const bool hex = code >= 0x10000;
    if (name != nullptr) {
        std::snprintf(text, sizeof text, hex ? "%s (0x%llX)" : "%s (%lld)", name,
                      static_cast<long long>(code));
    } else {
        std::snprintf(text, sizeof text, hex ? "no result code (0x%llX)" : "no result code (%lld)",
                      static_cast<long long>(code));
    }
    return text;
}

// The predicate of EXPECT_RESULT and ASSERT_RESULT.
inline ::testing::AssertionResult ResultIs(const char *actualText, const char * /*expectedText*/,
                                           std::int64_t actual, std::int64_t expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actualText << " gave " << ResultName(actual) << ", not " << ResultName(expected);
}

#define EXPECT_RESULT(actual, expected) EXPECT_PRED_FORMAT2(ResultIs, actual, expected)
#define ASSERT_RESULT(actual, expected) ASSERT_PRED_FORMAT2(ResultIs, actual, expected)

#endif
