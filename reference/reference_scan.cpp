#include "reference_scan.hpp"

#include <cstring>

namespace reference {

namespace {

// Internal, so that the loops below inline it: an exported function of a position-independent
// library may be replaced at load time, and the compiler then calls it for every offset.
bool matches(const std::uint8_t* pattern, const char* mask, const std::uint8_t* at) {
    for (std::size_t i = 0; mask[i] != '\0'; ++i) {
        if (mask[i] == 'x' && at[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool matchesAt(const std::uint8_t* pattern, const char* mask, const std::uint8_t* at) {
    return matches(pattern, mask, at);
}

const std::uint8_t* scan(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                         std::size_t size) {
    const std::size_t length = std::strlen(mask);
    if (base == nullptr || length == 0 || size < length) {
        return nullptr;
    }
    for (std::size_t offset = 0; offset <= size - length; ++offset) {
        if (matches(pattern, mask, base + offset)) {
            return base + offset;
        }
    }
    return nullptr;
}

std::vector<std::size_t> allMatches(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                    std::size_t size) {
    std::vector<std::size_t> offsets;
    const std::size_t length = std::strlen(mask);
    if (base == nullptr || length == 0 || size < length) {
        return offsets;
    }
    for (std::size_t offset = 0; offset <= size - length; ++offset) {
        if (matches(pattern, mask, base + offset)) {
            offsets.push_back(offset);
        }
    }
    return offsets;
}

} // namespace reference
