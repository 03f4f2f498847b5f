// The masked byte loop that the fast pattern scan must agree with: the oracle of the tests, the
// fuzzer and the benchmarks, and the plain loop the benchmarks measure the scan against. Kept out of
// the scan's code on purpose, as simple as it can be: every start offset from 0 up to and including size - L,
// lowest first, the mask walked from its first character to its NUL; 'x' compares, anything else accepts. A
// null image, an image shorter than the pattern and an empty mask give no match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/signature.hpp"

namespace reference {

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

// Whether the pattern matches at `at`; reads at[i] only where mask[i] is 'x'.
bool matchesAt(const std::uint8_t* pattern, const char* mask, const std::uint8_t* at);

// The lowest match in [base, base + size), or nullptr.
const std::uint8_t* scan(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                         std::size_t size);

// Every offset a match begins at, lowest first.
std::vector<std::size_t> allMatches(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                    std::size_t size);

} // namespace reference
