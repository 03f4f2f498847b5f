// Document equality that also tells the number types apart: the library's own == finds 3 == 3.0 and a
// signed 4 equal to an unsigned 4, which is exactly what the configuration must not blur.
#pragma once

#include <cstddef>

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

} // namespace testsupport
