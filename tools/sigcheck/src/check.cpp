#include "sigcheck/check.hpp"

#include "sigcheck/engine_patterns.hpp"

#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"

#include <bit>
#include <utility>

namespace sigcheck {
namespace {

static_assert(std::endian::native == std::endian::little, "displacements are read as the game stores them");

std::optional<std::string> sectionName(const pe::Headers& headers, std::uint64_t rva) {
    if (const pe::Section* section = headers.sectionAt(rva)) {
        return section->name;
    }
    return std::nullopt;
}

// The prepared form never holds the pattern's bytes in matching order, so checking this program's
// own file finds no match in its data.
PatternReport scanPrepared(std::string name, const SDK::PreparedPattern& pattern, const pe::Headers& headers,
                           const pe::Image& image) {
    const std::uint8_t* base = image.data();
    const std::size_t size = image.size();

    PatternReport report;
    report.name = std::move(name);
    // The mod takes the lowest match, which it gets from SDK::findEach with both patterns at once;
    // findEach returns what PreparedPattern::find returns for each pattern alone, so find gives the
    // same match here. The count comes from the same prepared pattern.
    const std::uint8_t* first = pattern.find(base, size);
    report.matches = pattern.count(base, size);
    if (first == nullptr) {
        return report;
    }
    const auto rva = static_cast<std::uint64_t>(first - base);
    report.rva = rva;
    report.section = sectionName(headers, rva);
    // Patterns shorter than the instruction have no target.
    if (pattern.size() >= SDK::kInstructionLength) {
        const std::uint64_t target = SDK::relativeTarget(
            rva + SDK::kInstructionLength, SDK::readDisplacement(first + SDK::kDisplacementOffset));
        report.targetRva = target;
        report.targetSection = sectionName(headers, target);
    }
    return report;
}

} // namespace

PatternReport scanPattern(std::string name, std::span<const SDK::PatternByte> elements,
                          const pe::Headers& headers, const pe::Image& image) {
    return scanPrepared(std::move(name), SDK::PreparedPattern(elements), headers, image);
}

PatternReport scanPattern(std::string name, std::span<const std::uint8_t> bytes, const char* mask,
                          const pe::Headers& headers, const pe::Image& image) {
    const SDK::PreparedPattern pattern(bytes.data(), mask);
    return scanPrepared(std::move(name), pattern, headers, image);
}

FileReport checkImage(std::string file, const pe::Headers& headers, const pe::Image& image) {
    FileReport report;
    report.file = std::move(file);
    report.imageSize = image.size();
    for (const EnginePattern& pattern : kEnginePatterns) {
        report.patterns.push_back(scanPattern(std::string(pattern.name), pattern.signature, headers, image));
    }
    return report;
}

} // namespace sigcheck
