// The masked byte loop that the fast pattern scan must agree with, kept as the oracle of the tests,
// the fuzzer and the benchmarks: every start offset from 0 up to and including size - L, lowest
// first, the mask walked from its first character to its NUL; 'x' compares, anything else accepts.
// A null image, an image shorter than the pattern and an empty mask give no match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Reference {

inline bool matchesAt(const std::uint8_t* pattern, const char* mask, const std::uint8_t* at) {
    for (std::size_t i = 0; mask[i] != '\0'; ++i) {
        if (mask[i] == 'x' && at[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

inline const std::uint8_t* scan(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                std::size_t size) {
    const std::size_t length = std::strlen(mask);
    if (base == nullptr || length == 0 || size < length) {
        return nullptr;
    }
    for (std::size_t offset = 0; offset <= size - length; ++offset) {
        if (matchesAt(pattern, mask, base + offset)) {
            return base + offset;
        }
    }
    return nullptr;
}

// Every offset a match begins at, lowest first.
inline std::vector<std::size_t> allMatches(const std::uint8_t* pattern, const char* mask,
                                           const std::uint8_t* base, std::size_t size) {
    std::vector<std::size_t> offsets;
    const std::size_t length = std::strlen(mask);
    if (base == nullptr || length == 0 || size < length) {
        return offsets;
    }
    for (std::size_t offset = 0; offset <= size - length; ++offset) {
        if (matchesAt(pattern, mask, base + offset)) {
            offsets.push_back(offset);
        }
    }
    return offsets;
}

} // namespace Reference
