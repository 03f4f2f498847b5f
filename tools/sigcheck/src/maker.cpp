#include "sigcheck/maker.hpp"

#include "sigcheck/report.hpp"

#include "sdk/pattern_scan.hpp"

#include <algorithm>
#include <cstdio>

namespace sigcheck {
namespace {

// A pattern's trailing wildcards compare nothing; without them it matches the same places, and also
// where the image ends too soon for the whole pattern. Patterns are counted in that trimmed form.
std::span<const SDK::PatternByte> trimmed(std::span<const SDK::PatternByte> elements) {
    std::size_t length = elements.size();
    while (length > 0 && !elements[length - 1].fixed) {
        --length;
    }
    return elements.first(length);
}

std::uint64_t countMatches(std::span<const SDK::PatternByte> elements, std::span<const std::uint8_t> image) {
    return SDK::PreparedPattern(trimmed(elements)).count(image.data(), image.size());
}

// Every offset at which `elements` matches, lowest first, found with the mod's scan.
std::vector<std::uint32_t> allMatches(std::span<const SDK::PatternByte> elements,
                                      std::span<const std::uint8_t> image) {
    const SDK::PreparedPattern pattern(trimmed(elements));
    std::vector<std::uint32_t> offsets;
    for (const std::uint8_t* match = pattern.find(image.data(), image.size()); match != nullptr;
         match = pattern.findNext(image.data(), image.size(), match)) {
        offsets.push_back(static_cast<std::uint32_t>(match - image.data()));
    }
    return offsets;
}

// Up to `limit` offsets other than `own` at which `elements` matches, lowest first.
std::vector<std::uint64_t> otherMatches(std::span<const SDK::PatternByte> elements,
                                        std::span<const std::uint8_t> image, std::uint64_t own,
                                        std::size_t limit) {
    const SDK::PreparedPattern pattern(trimmed(elements));
    std::vector<std::uint64_t> offsets;
    for (const std::uint8_t* match = pattern.find(image.data(), image.size());
         match != nullptr && offsets.size() < limit;
         match = pattern.findNext(image.data(), image.size(), match)) {
        const auto offset = static_cast<std::uint64_t>(match - image.data());
        if (offset != own) {
            offsets.push_back(offset);
        }
    }
    return offsets;
}

// Keeps the offsets at which the fixed elements from `from` on match too; the earlier ones already do.
void narrow(std::vector<std::uint32_t>& offsets, std::span<const SDK::PatternByte> elements, std::size_t from,
            std::span<const std::uint8_t> image) {
    const std::size_t to = trimmed(elements).size();
    if (to <= from) {
        return;
    }
    std::erase_if(offsets, [&](std::uint32_t offset) {
        if (offset + to > image.size()) {
            return true;
        }
        const std::uint8_t* at = image.data() + offset;
        for (std::size_t i = from; i < to; ++i) {
            if (elements[i].fixed && at[i] != elements[i].value) {
                return true;
            }
        }
        return false;
    });
}

} // namespace

std::vector<SDK::PatternByte> patternElements(const Instruction& instruction) {
    std::vector<SDK::PatternByte> elements(instruction.length);
    for (std::size_t i = 0; i < instruction.length; ++i) {
        elements[i] = instruction.wildcard(i) ? SDK::PatternByte{0, false}
                                              : SDK::PatternByte{instruction.bytes[i], true};
    }
    return elements;
}

PatternMaker::PatternMaker(const pe::Headers& headers, std::span<const std::uint8_t> image, Counting counting)
    : headers_(headers), image_(image), decoder_(headers, image), counting_(counting) {}

PatternMaker::~PatternMaker() = default;

std::vector<std::uint32_t> PatternMaker::firstMatches(std::span<const SDK::PatternByte> elements) const {
    // Functions often begin alike (sub rsp, 0x28; push rbx): one scan serves every RVA that does. What
    // is remembered stays within a memory budget; past it they are all forgotten.
    const std::string key = SDK::patternText(trimmed(elements));
    if (const auto found = firstMatches_.find(key); found != firstMatches_.end()) {
        return found->second;
    }
    std::vector<std::uint32_t> matches = allMatches(elements, image_);
    if (matches.size() <= kRememberedMatches) {
        if (rememberedMatches_ + matches.size() > kRememberedMatches) {
            firstMatches_.clear();
            rememberedMatches_ = 0;
        }
        rememberedMatches_ += matches.size();
        firstMatches_.emplace(key, matches);
    }
    return matches;
}

MakeResult PatternMaker::make(std::uint64_t rva) const {
    using brickwright::fail;
    const pe::Section* section = headers_.sectionAt(rva);
    if (section == nullptr || rva >= image_.size()) {
        return fail("RVA " + hex(rva) + " lies outside every section");
    }
    if (!section->executable()) {
        return fail("RVA " + hex(rva) + " lies in " + section->name + ", which is not executable code");
    }
    std::optional<Instruction> instruction = decoder_.decode(rva);
    if (!instruction) {
        return fail("no instruction can be decoded at RVA " + hex(rva));
    }

    std::vector<SDK::PatternByte> elements = patternElements(*instruction);
    std::vector<std::uint32_t> candidates;
    std::uint64_t count = 0;
    if (counting_ == Counting::Narrowing) {
        candidates = firstMatches(elements);
        count = candidates.size();
    } else {
        count = countMatches(elements, image_);
    }
    std::size_t instructions = 1;
    std::size_t bestLength = elements.size();
    std::size_t bestInstructions = 1;
    std::uint64_t bestCount = count;

    while (count > 1) {
        const std::optional<Instruction> next = decoder_.decode(rva + elements.size());
        if (!next || elements.size() + next->length > kMaxPatternLength) {
            break;
        }
        const std::size_t compared = trimmed(elements).size();
        const std::vector<SDK::PatternByte> more = patternElements(*next);
        elements.insert(elements.end(), more.begin(), more.end());
        ++instructions;
        if (counting_ == Counting::Narrowing) {
            narrow(candidates, elements, compared, image_);
            count = candidates.size();
        } else {
            count = countMatches(elements, image_);
        }
        if (count < bestCount) {
            bestCount = count;
            bestLength = elements.size();
            bestInstructions = instructions;
        }
    }

    elements.resize(bestLength);
    const std::span<const SDK::PatternByte> kept = trimmed(elements);
    MadePattern made;
    made.rva = rva;
    made.instructions = bestInstructions;
    made.elements.assign(kept.begin(), kept.end());
    made.matches = bestCount;
    if (!made.unique()) {
        made.otherRvas = otherMatches(made.elements, image_, rva, kListedMatches);
    }
    return made;
}

} // namespace sigcheck
