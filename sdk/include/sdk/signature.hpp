// Byte patterns with wildcards, written as text ("48 8B 05 ?? ...", the grammar of pattern_text.hpp)
// and parsed at compile time.
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

// A 64-bit load of an instruction-pointer-relative variable (the name table pointer), a test of it
// against zero and a jump taken when it is not zero. The displacement's top byte is fixed at 03.
inline constexpr auto kNameTablePattern = parseSignature<"48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0">();

// An instruction-pointer-relative address computation (the object table) followed by three near
// calls. The displacement's top byte is fixed at 04; the calls' offsets' top bytes at 00, 00, 01.
inline constexpr auto kObjectTablePattern =
    parseSignature<"48 8D 0D ?? ?? ?? 04 E8 ?? ?? ?? 00 E8 ?? ?? ?? 00 E8 ?? ?? ?? 01">();

// Both patterns begin with a 7-byte instruction whose 32-bit little-endian displacement lies at 3..6;
// the address it refers to is the match + 7 + displacement.
inline constexpr std::size_t kDisplacementOffset = 3;
inline constexpr std::size_t kInstructionLength = 7;

} // namespace SDK
