// After an update broke an engine pattern: the instructions of the new build that have the pattern's
// shape, ranked, each with a unique pattern of its own. With the build in which the pattern still
// matched, the ranking follows how closely each candidate's surroundings resemble the old match's;
// without it, a score of what the broken pattern itself still says (a guess, and shown as one).
#pragma once

#include "brickwright/result.hpp"
#include "pe/image.hpp"
#include "sigcheck/decoder.hpp"
#include "sigcheck/engine_patterns.hpp"
#include "sigcheck/maker.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sigcheck {

// How many instructions on either side of a match are compared with the old build's.
inline constexpr std::size_t kSurroundingInstructions = 16;

// Candidates shown (and given a pattern) per engine pattern unless asked otherwise.
inline constexpr std::size_t kDefaultShownCandidates = 5;

struct Candidate {
    std::uint64_t rva = 0;
    std::vector<Instruction> instructions; // the shape's own
    std::vector<std::string> text;         // and in Intel syntax, for the candidates shown
    std::uint64_t targetRva = 0;
    std::optional<std::string> section;
    std::optional<std::string> targetSection;
    bool writableTarget = false;
    // The broken pattern's fixed bytes outside the displacement that the candidate shows at the same
    // offsets: the same registers and encodings score higher.
    std::size_t agreement = 0;
    // How far the displacement lies from the range the pattern's fixed top byte allowed; empty when
    // the pattern leaves that byte open.
    std::optional<std::uint64_t> distance;
    // 0 to 1, from the three above: see scoreOf().
    double score = 0;
    // With an old build: 0 to 1, the share of the old match's surroundings found around this one.
    std::optional<double> resemblance;
    // Made for the candidates shown.
    std::optional<MadePattern> pattern;
};

// What the broken pattern still says about a candidate, 0 to 1. An update moves data, so the
// displacement changes, but mostly by less than the window its fixed top byte allowed: its nearness
// to that window (1 inside it, 1/2 one window away) weighs half. The compiler may pick other registers
// or a shorter jump, so the share of the pattern's other fixed bytes the candidate shows weighs 40%;
// a target in a writable section, as a variable has, the rest. Without a fixed top byte the other
// two share the whole.
[[nodiscard]] double scoreOf(const Candidate& candidate, std::span<const SDK::PatternByte> broken);

// Every place in the executable sections where the shape's instructions follow one another, lowest
// RVA first; the ranking fields other than `section` and `targetSection` are left to the ranking.
[[nodiscard]] std::vector<Candidate> findCandidates(const Decoder& decoder, const EnginePattern& pattern);

// The instructions around [rva, end): up to kSurroundingInstructions before (decoded backwards by
// finding a start from which decoding lands exactly on `rva`) and after, with moving operands masked.
struct Surroundings {
    std::vector<std::string> before;
    std::vector<std::string> shape;
    std::vector<std::string> after;
};
[[nodiscard]] Surroundings surroundingsOf(const Decoder& decoder, std::uint64_t rva,
                                          std::size_t shapeInstructions);

// The share of `old`'s instructions that `candidate` has in the same order (longest common
// subsequence on each side, the shape itself compared one to one).
[[nodiscard]] double resemblance(const Surroundings& old, const Surroundings& candidate);

struct Suggestion {
    std::string_view name; // "name-table" or "object-table"
    std::uint64_t matches = 0;
    std::optional<std::uint64_t> oldRva;
    std::size_t candidateCount = 0;
    std::vector<Candidate> candidates; // ranked, first the likeliest; at most the number asked for

    bool needed() const noexcept { return matches != 1; }
    // Ranked by score alone: there was no old match to compare the candidates with.
    bool guessed() const noexcept { return !oldRva.has_value(); }
    // Nothing to do, or the first candidate has a unique pattern.
    bool answered() const noexcept {
        return !needed() ||
               (!candidates.empty() && candidates.front().pattern && candidates.front().pattern->unique());
    }
};

struct OldBuild {
    std::string file;
    const pe::Headers* headers = nullptr;
    std::span<const std::uint8_t> image;
};

struct SuggestReport {
    std::string file;
    std::uint64_t imageSize = 0;
    std::optional<std::string> oldFile;
    std::array<Suggestion, kEnginePatterns.size()> patterns;
    // Problems with the old build: a pattern it does not hold cannot guide the ranking.
    std::vector<brickwright::Error> oldProblems;
};

[[nodiscard]] SuggestReport suggest(std::string file, const pe::Headers& headers,
                                    std::span<const std::uint8_t> image, const OldBuild* old,
                                    std::size_t shown = kDefaultShownCandidates);

} // namespace sigcheck
