// Byte patterns with wildcards, written as text ("48 8B 05 ?? ...", the grammar of pattern_text.hpp)
// and parsed at compile time. The engine's own two are in engine_patterns.hpp.
//
// Each element keeps its byte and whether it is fixed side by side, so the pattern's own bytes never
// lie in memory in the order they match: a scan of an image that contains this code cannot find the
// pattern's definition instead of the code it describes.
#pragma once

#include "sdk/pattern_text.hpp"

#include <array>
#include <cstddef>

namespace SDK {

template <std::size_t N> struct Signature {
    std::array<PatternByte, N> elements{};

    static constexpr std::size_t size() noexcept { return N; }
};

// The pattern a text holds, as long as the text says; a text that is not a pattern does not compile.
template <PatternLiteral Text>
requires(checkPatternText(Text.view()).ok()) consteval auto parseSignature() {
    Signature<checkPatternText(Text.view()).elements> signature;
    std::size_t count = 0;
    (void)readPatternText(Text.view(), [&](PatternByte element) { signature.elements[count++] = element; });
    return signature;
}

} // namespace SDK
