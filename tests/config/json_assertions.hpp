// The configuration tests' assertion on documents: identical, number types included, and described
// with them when not.
#pragma once

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "json_identity.hpp"

namespace configtest {

using testsupport::describe;
using testsupport::identical;

// For EXPECT_PRED_FORMAT2(Identical, expected, actual).
inline ::testing::AssertionResult Identical(const char* expectedExpr, const char* actualExpr,
                                            const nlohmann::json& expected, const nlohmann::json& actual) {
    if (identical(expected, actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actualExpr << " is " << describe(actual) << ", but "
                                         << expectedExpr << " is " << describe(expected);
}

} // namespace configtest
