// The wording of what the mod logs about the engine's tables. The stand-in game reads these lines
// back for its summary, so both build them from here: reworded once, read the same way. `table` is
// "name" or "object".
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace brickwright::table_lines {

// An offset from the game image's base as the mod's lines give it: "RVA 0x" and lowercase hex digits.
inline constexpr std::string_view kRvaPrefix = "RVA 0x";

inline std::string rvaText(std::uintptr_t rva) {
    char digits[2 * sizeof(std::uintptr_t)] = {};
    const auto end = std::to_chars(digits, digits + sizeof digits, rva, 16).ptr;
    return std::string(kRvaPrefix) + std::string(digits, end);
}

// The pattern as the lines name it: "the engine's name table pattern".
inline std::string pattern(std::string_view table) {
    return "the engine's " + std::string(table) + " table pattern";
}

// Heads both lines about passed-over instructions; the count (or "an") follows.
inline constexpr std::string_view kPassedOver = "Brickwright passed over ";

// A kept match's line: this head, its RVA, then one of the two endings.
inline std::string keptHead(std::string_view table) {
    return "Brickwright found the engine's " + std::string(table) + " table (";
}
inline constexpr std::string_view kKeptStillEmpty = ") still empty; it is checked again when first used";
inline constexpr std::string_view kKeptUnchecked =
    "), which cannot be checked while the object table is still empty; it is checked again when first used";

inline std::string foundByLayout(std::string_view table) {
    return "Brickwright found the engine's " + std::string(table) + " table by its layout";
}

inline std::string notFound(std::string_view table) {
    return "Brickwright could not find the engine's " + std::string(table) + " table";
}

} // namespace brickwright::table_lines
