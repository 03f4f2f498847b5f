// The masked byte loop that the fast pattern scan must agree with, kept as the oracle of the tests,
// the fuzzer and the benchmarks: every start offset from 0 up to and including size - L, lowest
// first, the mask walked from its first character to its NUL; 'x' compares, anything else accepts.
// A null image, an image shorter than the pattern and an empty mask give no match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sdk/signature.hpp"

namespace Reference {

// A pattern as a byte string (00 at its wildcards) and a mask of 'x' and '?', built at run time so that
// the executable's own data never holds a pattern in matching order.
struct MaskedBytes {
    std::vector<std::uint8_t> bytes;
    std::string mask;
};

template <std::size_t N> MaskedBytes maskedBytes(const SDK::Signature<N>& signature) {
    MaskedBytes form;
    for (const SDK::PatternByte& element : signature.elements) {
        form.bytes.push_back(element.fixed ? element.value : 0);
        form.mask.push_back(element.fixed ? 'x' : '?');
    }
    return form;
}

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
