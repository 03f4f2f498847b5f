#include "sdk/pattern_scan.hpp"

namespace SDK {

const std::uint8_t* scanForPattern(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                   std::size_t size) noexcept {
    std::size_t length = 0;
    while (mask[length] != '\0') {
        ++length;
    }
    if (base == nullptr || size < length) {
        return nullptr;
    }
    for (std::size_t offset = 0; offset <= size - length; ++offset) {
        std::size_t i = 0;
        while (i < length && (mask[i] != 'x' || base[offset + i] == pattern[i])) {
            ++i;
        }
        if (i == length) {
            return base + offset;
        }
    }
    return nullptr;
}

} // namespace SDK
