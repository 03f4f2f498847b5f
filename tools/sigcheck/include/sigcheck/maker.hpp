// Makes a masked pattern that finds one instruction of a laid-out image and nothing else: whole
// instructions from it onwards, wildcards exactly where an operand moves with code or data.
#pragma once

#include "brickwright/result.hpp"
#include "pe/image.hpp"
#include "sdk/pattern_text.hpp"
#include "sdk/signature.hpp"
#include "sigcheck/decoder.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sigcheck {

// Longer patterns are slower to scan and break sooner; past this a pattern is reported as not unique.
inline constexpr std::size_t kMaxPatternLength = 64;

// A pattern that is not unique names at most this many of its other matches.
inline constexpr std::size_t kListedMatches = 16;

struct MadePattern {
    std::uint64_t rva = 0;
    // Trailing wildcards trimmed.
    std::vector<SDK::PatternByte> elements;
    std::size_t instructions = 0;
    // Every place in the image it matches: the first instruction's matches found by the mod's own scan,
    // then narrowed with each instruction added. 1 when the pattern is unique.
    std::uint64_t matches = 0;
    // When not unique: the other matches, lowest first, at most kListedMatches of them.
    std::vector<std::uint64_t> otherRvas;

    bool unique() const noexcept { return matches == 1; }
};

// The pattern, or why the RVA cannot be used: outside every section, not code, or nothing decodes there.
using MakeResult = brickwright::Result<MadePattern>;

class PatternMaker {
public:
    // How each extension is counted: by narrowing the previous length's matches (what the tool does),
    // or by scanning the whole image again (what the benchmark compares it with).
    enum class Counting { Narrowing, Rescanning };

    PatternMaker(const pe::Headers& headers, std::span<const std::uint8_t> image,
                 Counting counting = Counting::Narrowing);
    ~PatternMaker();

    // Grows the pattern one instruction at a time from `rva` until it matches once or the next
    // instruction would take it past kMaxPatternLength; then the pattern with the fewest matches
    // (the shortest of them) is kept.
    [[nodiscard]] MakeResult make(std::uint64_t rva) const;

    const Decoder& decoder() const noexcept { return decoder_; }

private:
    // 128 MiB of remembered offsets at most.
    static constexpr std::size_t kRememberedMatches = std::size_t{32} << 20;

    // Every match of a first instruction's pattern in the image, by the mod's scan; remembered.
    std::vector<std::uint32_t> firstMatches(std::span<const SDK::PatternByte> elements) const;

    const pe::Headers& headers_;
    std::span<const std::uint8_t> image_;
    Decoder decoder_;
    Counting counting_;
    mutable std::map<std::string, std::vector<std::uint32_t>> firstMatches_;
    mutable std::size_t rememberedMatches_ = 0;
};

// One instruction's bytes in the pattern form, its moving operands as wildcards.
[[nodiscard]] std::vector<SDK::PatternByte> patternElements(const Instruction& instruction);

} // namespace sigcheck
