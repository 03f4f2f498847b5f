// What brickwright-sigcheck finds in one laid-out image, and how it prints it.
#pragma once

#include "pe/image.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sigcheck {

struct PatternReport {
    std::string_view name; // "name-table" or "object-table"
    std::uint64_t matches = 0;
    // The rest is empty when nothing matches.
    std::optional<std::uint64_t> rva;
    std::optional<std::string> section;
    std::optional<std::uint64_t> targetRva;
    std::optional<std::string> targetSection;

    bool found() const noexcept { return rva.has_value(); }
};

struct FileReport {
    std::string file;
    std::uint64_t imageSize = 0;
    std::array<PatternReport, 2> patterns;

    bool complete() const noexcept { return patterns[0].found() && patterns[1].found(); }
};

// Runs the mod's scan for one pattern in the scan's own form (bytes with 00 at wildcards, a mask of
// 'x' for a fixed byte and '?' for any, as long as the bytes): the lowest match, its section, every
// match counted, and the target of the 7-byte instruction it begins with.
[[nodiscard]] PatternReport scanPattern(std::string_view name, std::span<const std::uint8_t> bytes,
                                        const char* mask, const pe::Headers& headers, const pe::Image& image);

// Runs the mod's own scan for both engine patterns over `image`, as the mod does in the game: from
// the image's first byte, lowest match first; then counts every match.
[[nodiscard]] FileReport checkImage(std::string file, const pe::Headers& headers, const pe::Image& image);

// Section names may hold any byte: printable ASCII stays, everything else becomes \xNN.
[[nodiscard]] std::string printableName(std::string_view name);

// One JSON document on one line, without the line break.
[[nodiscard]] std::string toJson(const FileReport& report);

// The readable form: a heading line, one row per pattern, then any warnings; ends with a line break.
[[nodiscard]] std::string toTable(const FileReport& report);

// Exit statuses; with several files the worst one wins.
inline constexpr int kStatusComplete = 0;
inline constexpr int kStatusPatternMissing = 1;
inline constexpr int kStatusUnusable = 2;

} // namespace sigcheck
