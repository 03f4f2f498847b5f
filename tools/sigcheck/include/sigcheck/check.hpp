// What brickwright-sigcheck finds in one laid-out image: where each pattern matches, how often, and
// what the instruction there refers to.
#pragma once

#include "pe/image.hpp"
#include "sdk/signature.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sigcheck {

struct PatternReport {
    std::string name; // "name-table", "object-table", or the text of a pattern given on the command line
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
    std::vector<PatternReport> patterns;

    bool complete() const noexcept {
        for (const PatternReport& pattern : patterns) {
            if (!pattern.found()) {
                return false;
            }
        }
        return true;
    }
};

// Runs the mod's scan for one pattern over the whole image: the lowest match, its section, every
// match counted, and, for a pattern at least 7 bytes long, the target the mod would take from it
// (the match + 7 + the displacement at 3..6), as for the engine patterns.
[[nodiscard]] PatternReport scanPattern(std::string name, std::span<const SDK::PatternByte> elements,
                                        const pe::Headers& headers, const pe::Image& image);

// The same for a pattern in the scan's byte form: bytes with 00 at wildcards, and a NUL-terminated
// mask of 'x' for a fixed byte and '?' for any, as long as the bytes.
[[nodiscard]] PatternReport scanPattern(std::string name, std::span<const std::uint8_t> bytes,
                                        const char* mask, const pe::Headers& headers, const pe::Image& image);

// Runs the mod's own scan for both engine patterns over `image`, as the mod does in the game: from
// the image's first byte, lowest match first; then counts every match.
[[nodiscard]] FileReport checkImage(std::string file, const pe::Headers& headers, const pe::Image& image);

// Exit statuses; with several files the worst one wins.
inline constexpr int kStatusComplete = 0;
inline constexpr int kStatusPatternMissing = 1;
inline constexpr int kStatusUnusable = 2;

} // namespace sigcheck
