// Document comparison and description that tell the number types apart.
#pragma once

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <string>

#include "json_identical.hpp"

namespace configtest {

using testsupport::identical;

// The document as JSON text with every integer marked: 4u unsigned, 4s signed (floats show a point).
inline std::string describe(const nlohmann::json& value) {
    if (value.is_object()) {
        std::string text = "{";
        for (auto it = value.begin(); it != value.end(); ++it) {
            text += (it == value.begin() ? "" : ",") + nlohmann::json(it.key()).dump() + ":" +
                    describe(it.value());
        }
        return text + "}";
    }
    if (value.is_array()) {
        std::string text = "[";
        for (std::size_t i = 0; i < value.size(); ++i) {
            text += (i == 0 ? "" : ",") + describe(value[i]);
        }
        return text + "]";
    }
    return value.dump() + (value.is_number_unsigned() ? "u" : value.is_number_integer() ? "s" : "");
}

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
