// Document equality that also tells the number types apart, and a description that shows them: the
// library's own == finds 3 == 3.0 and a signed 4 equal to an unsigned 4, which is exactly what the
// configuration must not blur. No GoogleTest here: the fuzz targets use it too.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace testsupport {

inline bool identical(const nlohmann::json& a, const nlohmann::json& b) {
    if (a.type() != b.type() || a.size() != b.size()) {
        return false;
    }
    if (a.is_object()) {
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
            if (ia.key() != ib.key() || !identical(ia.value(), ib.value())) {
                return false;
            }
        }
        return true;
    }
    if (a.is_array()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!identical(a[i], b[i])) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

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

} // namespace testsupport
