// Byte patterns with wildcards, written as text ("48 8B 05 ?? ...") and parsed at compile time.
//
// Each element keeps its byte and whether it is fixed side by side, so the pattern's own bytes never
// lie in memory in the order they match: a scan of an image that contains this code cannot find the
// pattern's definition instead of the code it describes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace SDK {

struct PatternByte {
    std::uint8_t value = 0;
    bool fixed = false;
};

template <std::size_t N> struct Signature {
    std::array<PatternByte, N> elements{};

    static constexpr std::size_t size() noexcept { return N; }

    // Pairs of hex digits for fixed bytes, "??" for wildcards, separated by single spaces. A malformed
    // text or a length other than N fails to compile.
    static consteval Signature parse(std::string_view text) {
        Signature signature;
        std::size_t count = 0;
        std::size_t i = 0;
        while (i < text.size()) {
            if (count == N || i + 2 > text.size()) {
                throw "signature text does not hold exactly N bytes";
            }
            if (text[i] == '?' && text[i + 1] == '?') {
                signature.elements[count] = PatternByte{0, false};
            } else {
                signature.elements[count] = PatternByte{
                    static_cast<std::uint8_t>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1])), true};
            }
            ++count;
            i += 2;
            if (i < text.size()) {
                if (text[i] != ' ') {
                    throw "signature bytes are separated by single spaces";
                }
                ++i;
            }
        }
        if (count != N) {
            throw "signature text does not hold exactly N bytes";
        }
        return signature;
    }

private:
    static consteval int hexDigit(char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        throw "not a hex digit";
    }
};

// A 64-bit load of an instruction-pointer-relative variable (the name table pointer), a test of it
// against zero and a jump taken when it is not zero. The displacement's top byte is fixed at 03.
inline constexpr auto kNameTablePattern = Signature<13>::parse("48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0");

// An instruction-pointer-relative address computation (the object table) followed by three near
// calls. The displacement's top byte is fixed at 04; the calls' offsets' top bytes at 00, 00, 01.
inline constexpr auto kObjectTablePattern =
    Signature<22>::parse("48 8D 0D ?? ?? ?? 04 E8 ?? ?? ?? 00 E8 ?? ?? ?? 00 E8 ?? ?? ?? 01");

// Both patterns begin with a 7-byte instruction whose 32-bit little-endian displacement lies at 3..6;
// the address it refers to is the match + 7 + displacement.
inline constexpr std::size_t kDisplacementOffset = 3;
inline constexpr std::size_t kInstructionLength = 7;

} // namespace SDK
