#include "sigcheck/suggest.hpp"

#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/pattern_text.hpp"

#include <algorithm>
#include <utility>

namespace sigcheck {
namespace {

// The first instruction of a shape, recognised from its bytes before anything is decoded: a REX
// prefix with W set, the opcode, and a ModRM byte that selects [rip + disp32] (and the register, where
// the step names one). An opening with no such encoding is left to the decoder.
bool mayBeginShape(const ShapeStep& opening, const std::uint8_t* at) {
    std::uint8_t opcode = 0;
    switch (opening.operation) {
    case Operation::LoadRipQword:
        opcode = 0x8B;
        break;
    case Operation::LeaRip:
        opcode = 0x8D;
        break;
    default:
        return true;
    }
    const bool rexW = (at[0] & 0xF8) == 0x48;
    const bool ripRelative = (at[2] & 0xC7) == 0x05;
    if (!rexW || at[1] != opcode || !ripRelative) {
        return false;
    }
    if (opening.reg == RegisterRule::Rcx) {
        // REX.R extends ModRM.reg to the upper eight registers.
        return (at[0] & 0x04) == 0 && (at[2] >> 3 & 7) == kRegisterRcx;
    }
    return true;
}

// The pattern's instructions from `rva` on, each fitting its step of the shape; the first must refer
// somewhere RIP-relative.
std::optional<Candidate> shapeAt(const Decoder& decoder, const EnginePattern& pattern, std::uint64_t rva) {
    Candidate candidate;
    candidate.rva = rva;
    std::uint64_t next = rva;
    for (const ShapeStep& step : pattern.shape) {
        std::optional<Instruction> instruction = decoder.decode(next);
        if (!instruction) {
            return std::nullopt;
        }
        const bool opening = candidate.instructions.empty();
        const int firstReg = opening ? instruction->reg : candidate.instructions.front().reg;
        if (!fitsStep(step, instruction->operation, instruction->reg, firstReg) ||
            (opening && !instruction->target)) {
            return std::nullopt;
        }
        next += instruction->length;
        candidate.instructions.push_back(*instruction);
    }
    if (candidate.instructions.empty()) {
        return std::nullopt;
    }
    candidate.targetRva = *candidate.instructions.front().target;
    return candidate;
}

std::vector<std::string> tokens(const std::vector<Instruction>& instructions) {
    std::vector<std::string> out;
    out.reserve(instructions.size());
    for (const Instruction& instruction : instructions) {
        out.push_back(SDK::patternText(patternElements(instruction)));
    }
    return out;
}

std::size_t commonSubsequence(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (const std::string& x : a) {
        std::size_t diagonal = 0;
        for (std::size_t j = 0; j < b.size(); ++j) {
            const std::size_t above = row[j + 1];
            row[j + 1] = x == b[j] ? diagonal + 1 : std::max(row[j + 1], row[j]);
            diagonal = above;
        }
    }
    return row.back();
}

// The fields the ranking needs besides the resemblance.
void measure(Candidate& candidate, const Decoder& decoder, std::span<const SDK::PatternByte> broken) {
    std::vector<std::uint8_t> bytes;
    for (const Instruction& instruction : candidate.instructions) {
        bytes.insert(bytes.end(), instruction.bytes.begin(),
                     instruction.bytes.begin() + static_cast<std::ptrdiff_t>(instruction.length));
    }
    const std::size_t displacementEnd = SDK::kDisplacementOffset + 4;
    for (std::size_t i = 0; i < std::min(bytes.size(), broken.size()); ++i) {
        const bool displacement = i >= SDK::kDisplacementOffset && i < displacementEnd;
        if (!displacement && broken[i].fixed && bytes[i] == broken[i].value) {
            ++candidate.agreement;
        }
    }
    const Instruction& first = candidate.instructions.front();
    if (first.ripDisplacementOffset && broken.size() >= displacementEnd &&
        broken[displacementEnd - 1].fixed) {
        const std::int64_t displacement =
            SDK::readDisplacement(first.bytes.data() + *first.ripDisplacementOffset);
        // The top byte carries the displacement's sign: 0xFF allows [-2^24, 0).
        const std::int64_t low =
            std::int64_t{static_cast<std::int8_t>(broken[displacementEnd - 1].value)} * (1 << 24);
        const std::int64_t high = low + (std::int64_t{1} << 24);
        candidate.distance = displacement < low     ? static_cast<std::uint64_t>(low - displacement)
                             : displacement >= high ? static_cast<std::uint64_t>(displacement - high + 1)
                                                    : 0;
    }
    const pe::Headers& headers = decoder.headers();
    if (const pe::Section* section = headers.sectionAt(candidate.rva)) {
        candidate.section = section->name;
    }
    if (const pe::Section* section = headers.sectionAt(candidate.targetRva)) {
        candidate.targetSection = section->name;
        candidate.writableTarget = section->writable();
    }
    candidate.score = scoreOf(candidate, broken);
}

bool ranksBefore(const Candidate& a, const Candidate& b) {
    if (a.resemblance.value_or(0) != b.resemblance.value_or(0)) {
        return a.resemblance.value_or(0) > b.resemblance.value_or(0);
    }
    if (a.score != b.score) {
        return a.score > b.score;
    }
    return a.rva < b.rva;
}

Suggestion suggestFor(const EnginePattern& pattern, const PatternMaker& maker,
                      const std::optional<Surroundings>& oldSurroundings, std::size_t shown) {
    const std::span<const SDK::PatternByte> broken = pattern.signature;
    const Decoder& decoder = maker.decoder();
    const std::span<const std::uint8_t> image = decoder.image();
    Suggestion suggestion;
    suggestion.name = pattern.name;
    suggestion.matches = SDK::PreparedPattern(broken).count(image.data(), image.size());
    if (!suggestion.needed()) {
        return suggestion;
    }
    std::vector<Candidate> candidates = findCandidates(decoder, pattern);
    for (Candidate& candidate : candidates) {
        measure(candidate, decoder, broken);
        if (oldSurroundings) {
            candidate.resemblance = resemblance(
                *oldSurroundings, surroundingsOf(decoder, candidate.rva, candidate.instructions.size()));
        }
    }
    std::sort(candidates.begin(), candidates.end(), ranksBefore);
    suggestion.candidateCount = candidates.size();
    candidates.resize(std::min(candidates.size(), shown));
    for (Candidate& candidate : candidates) {
        for (const Instruction& instruction : candidate.instructions) {
            candidate.text.push_back(decoder.format(instruction));
        }
        if (MakeResult made = maker.make(candidate.rva)) {
            candidate.pattern = std::move(*made);
        }
    }
    suggestion.candidates = std::move(candidates);
    return suggestion;
}

} // namespace

double scoreOf(const Candidate& candidate, std::span<const SDK::PatternByte> broken) {
    std::size_t fixed = 0;
    for (std::size_t i = 0; i < broken.size(); ++i) {
        const bool displacement = i >= SDK::kDisplacementOffset && i < SDK::kDisplacementOffset + 4;
        fixed += !displacement && broken[i].fixed ? 1u : 0u;
    }
    const double agreement =
        fixed == 0 ? 0.0 : static_cast<double>(candidate.agreement) / static_cast<double>(fixed);
    const double writable = candidate.writableTarget ? 1.0 : 0.0;
    if (!candidate.distance) {
        return 0.8 * agreement + 0.2 * writable;
    }
    constexpr double kWindow = 1 << 24; // what one fixed top byte of the displacement leaves open
    const double nearness = 1.0 / (1.0 + static_cast<double>(*candidate.distance) / kWindow);
    return 0.5 * nearness + 0.4 * agreement + 0.1 * writable;
}

std::vector<Candidate> findCandidates(const Decoder& decoder, const EnginePattern& pattern) {
    std::vector<Candidate> candidates;
    const std::span<const std::uint8_t> image = decoder.image();
    for (const pe::Section& section : decoder.headers().sections) {
        if (!section.executable()) {
            continue;
        }
        const std::uint64_t begin = section.virtualAddress;
        const std::uint64_t end =
            std::min<std::uint64_t>(image.size(), begin + std::uint64_t{section.virtualExtent()});
        for (std::uint64_t rva = begin; rva + 3 <= end; ++rva) {
            if (!mayBeginShape(pattern.shape.front(), image.data() + rva)) {
                continue;
            }
            // Sections may overlap; a place is a candidate once, for the section that holds it.
            if (decoder.headers().sectionAt(rva) != &section) {
                continue;
            }
            if (std::optional<Candidate> candidate = shapeAt(decoder, pattern, rva)) {
                candidates.push_back(std::move(*candidate));
            }
        }
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.rva < b.rva; });
    return candidates;
}

Surroundings surroundingsOf(const Decoder& decoder, std::uint64_t rva, std::size_t shapeInstructions) {
    Surroundings surroundings;
    const pe::Section* section = decoder.headers().sectionAt(rva);
    if (section == nullptr) {
        return surroundings;
    }
    // Instructions from `next` on into `into` until it holds `count`, or one does not decode.
    std::uint64_t next = rva;
    auto decodeInto = [&](std::vector<Instruction>& into, std::size_t count) {
        while (into.size() < count) {
            std::optional<Instruction> instruction = decoder.decode(next);
            if (!instruction) {
                return;
            }
            next += instruction->length;
            into.push_back(*instruction);
        }
    };
    std::vector<Instruction> shape;
    decodeInto(shape, shapeInstructions);
    std::vector<Instruction> after;
    if (shape.size() == shapeInstructions) {
        decodeInto(after, kSurroundingInstructions);
    }

    // x86 code decodes back into step within a few instructions from almost any byte: of the starts a
    // window before `rva`, the first from which decoding lands exactly on it gives the instructions.
    std::vector<Instruction> before;
    const std::uint64_t window =
        std::min<std::uint64_t>(kSurroundingInstructions * 8, rva - section->virtualAddress);
    for (std::uint64_t start = rva - window; start < rva && start < rva - window + kMaxInstructionLength;
         ++start) {
        std::vector<Instruction> run;
        std::uint64_t at = start;
        while (at < rva) {
            std::optional<Instruction> instruction = decoder.decode(at);
            if (!instruction) {
                break;
            }
            at += instruction->length;
            run.push_back(*instruction);
        }
        if (at == rva) {
            const std::size_t keep = std::min(run.size(), kSurroundingInstructions);
            before.assign(run.end() - static_cast<std::ptrdiff_t>(keep), run.end());
            break;
        }
    }
    surroundings.before = tokens(before);
    surroundings.shape = tokens(shape);
    surroundings.after = tokens(after);
    return surroundings;
}

double resemblance(const Surroundings& old, const Surroundings& candidate) {
    std::size_t same =
        commonSubsequence(old.before, candidate.before) + commonSubsequence(old.after, candidate.after);
    for (std::size_t i = 0; i < std::min(old.shape.size(), candidate.shape.size()); ++i) {
        same += old.shape[i] == candidate.shape[i] ? 1u : 0u;
    }
    const std::size_t total = std::max(old.before.size(), candidate.before.size()) +
                              std::max(old.after.size(), candidate.after.size()) +
                              std::max(old.shape.size(), candidate.shape.size());
    return total == 0 ? 0.0 : static_cast<double>(same) / static_cast<double>(total);
}

SuggestReport suggest(std::string file, const pe::Headers& headers, std::span<const std::uint8_t> image,
                      const OldBuild* old, std::size_t shown) {
    SuggestReport report;
    report.file = std::move(file);
    report.imageSize = image.size();
    const PatternMaker maker(headers, image);
    std::optional<Decoder> oldDecoder;
    if (old != nullptr) {
        report.oldFile = old->file;
        oldDecoder.emplace(*old->headers, old->image);
    }

    for (std::size_t i = 0; i < kEnginePatterns.size(); ++i) {
        const EnginePattern& pattern = kEnginePatterns[i];
        std::optional<Surroundings> oldSurroundings;
        std::optional<std::uint64_t> oldRva;
        if (oldDecoder) {
            // The match the mod took in the old build: the lowest.
            const std::uint8_t* match =
                SDK::PreparedPattern(pattern.signature).find(old->image.data(), old->image.size());
            if (match != nullptr) {
                oldRva = static_cast<std::uint64_t>(match - old->image.data());
                oldSurroundings = surroundingsOf(*oldDecoder, *oldRva, pattern.shape.size());
            } else {
                report.oldProblems.push_back(
                    brickwright::Error{"the " + std::string(pattern.name) +
                                       " pattern does not match there, so it cannot guide the ranking"});
            }
        }
        report.patterns[i] = suggestFor(pattern, maker, oldSurroundings, shown);
        report.patterns[i].oldRva = oldRva;
    }
    return report;
}

} // namespace sigcheck
