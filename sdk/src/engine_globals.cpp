#include "sdk/engine.hpp"

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "engine_matches.hpp"
#include "first_use.hpp"
#include "sdk/discovery.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/readable_memory.hpp"
#include "sdk/signature.hpp"

namespace SDK {

std::uintptr_t engineNameTable = 0;
std::uintptr_t engineObjectTable = 0;

namespace detail {

// Both patterns in one pass over each span, lowest address first. The prepared pattern never holds
// the signature's bytes in matching order, so this library's own memory cannot be mistaken for the
// game's instructions. The pass stays on the calling thread: the mod starts no threads in the
// game's process, and setup runs on the host's thread alone.
EngineMatches lowestMatches(const platform::ModuleImage& image) {
    const std::array<PreparedPattern, 2> patterns{PreparedPattern(kNameTablePattern),
                                                  PreparedPattern(kObjectTablePattern)};
    ScanOptions options;
    options.threads = 1;
    EngineMatches matches;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        // Once a pattern has its lowest match, only the other one is looked for in later spans.
        const std::span<const PreparedPattern> wanted =
            matches.nameTable != nullptr     ? std::span<const PreparedPattern>(patterns).subspan(1)
            : matches.objectTable != nullptr ? std::span<const PreparedPattern>(patterns).first(1)
                                             : std::span<const PreparedPattern>(patterns);
        const std::vector<const std::uint8_t*> found = findEach(wanted, span.begin, span.size, options);
        if (matches.nameTable == nullptr && wanted.data() == patterns.data()) {
            matches.nameTable = found.front();
        }
        if (matches.objectTable == nullptr) {
            matches.objectTable = found.back();
        }
        if (matches.nameTable != nullptr && matches.objectTable != nullptr) {
            break;
        }
    }
    return matches;
}

std::uintptr_t matchTarget(const std::uint8_t* match, const platform::ModuleImage& image,
                           std::size_t bytes) noexcept {
    if (match == nullptr) {
        return 0;
    }
    const auto address = static_cast<std::uintptr_t>(
        relativeTarget(reinterpret_cast<std::uintptr_t>(match) + kInstructionLength,
                       readDisplacement(match + kDisplacementOffset)));
    for (const platform::MemorySpan& span : image.readableSpans()) {
        if (span.contains(address, bytes)) {
            return address;
        }
    }
    return 0;
}

} // namespace detail

namespace {

// The match after `previous` in the image's spans, in address order; null when there is none.
const std::uint8_t* nextMatch(const PreparedPattern& pattern, const platform::ModuleImage& image,
                              const std::uint8_t* previous) noexcept {
    const auto at = reinterpret_cast<std::uintptr_t>(previous);
    bool past = false;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        if (past) {
            if (const std::uint8_t* match = pattern.find(span.begin, span.size)) {
                return match;
            }
            continue;
        }
        if (span.contains(at, 1)) {
            past = true;
            if (const std::uint8_t* match = pattern.findNext(span.begin, span.size, previous)) {
                return match;
            }
        }
    }
    return nullptr;
}

// What the proof said of one match: the table it proved (zero when none), or, when the table is
// still empty, the match's target, kept for the first use.
struct Verdict {
    std::uintptr_t table = 0;
    std::uintptr_t keptTarget = 0;
};

std::uintptr_t rvaOf(const std::uint8_t* match, const platform::ModuleImage& image) noexcept {
    return reinterpret_cast<std::uintptr_t>(match) - reinterpret_cast<std::uintptr_t>(image.base);
}

void passOver(PassedOverMatches& passedOver, std::uintptr_t rva) noexcept {
    if (passedOver.count++ == 0 || rva < passedOver.firstRva) {
        passedOver.firstRva = rva;
    }
}

// The first of the pattern's matches, from `lowest` on, whose table `prove` accepts; zero when none of
// the first kMatchesTried does. A match whose table is still empty is kept, not passed over; should a
// later match prove, the kept ones were passed over after all. The pattern is prepared again only when
// a match fails: with the real table at the lowest match nothing more is scanned.
template <std::size_t N, typename Prove>
std::uintptr_t provenMatch(const Signature<N>& signature, const std::uint8_t* lowest,
                           const platform::ModuleImage& image, FoundTable& found, Prove prove) {
    std::optional<PreparedPattern> pattern;
    const std::uint8_t* match = lowest;
    KeptMatches& kept = found.kept;
    for (std::size_t tried = 0; match != nullptr && tried < kMatchesTried; ++tried) {
        const Verdict verdict = prove(match);
        if (verdict.table != 0) {
            for (std::size_t k = 0; k < kept.count; ++k) {
                passOver(found.passedOver, kept.rvas[k]);
            }
            kept = {};
            return verdict.table;
        }
        if (verdict.keptTarget != 0) {
            if (kept.count == 0) {
                kept.firstRva = rvaOf(match, image);
            }
            kept.targets[kept.count] = verdict.keptTarget;
            kept.rvas[kept.count] = rvaOf(match, image);
            ++kept.count;
        } else {
            passOver(found.passedOver, rvaOf(match, image));
        }
        if (tried + 1 == kMatchesTried) {
            break;
        }
        if (!pattern) {
            pattern.emplace(signature);
        }
        match = nextMatch(*pattern, image, match);
    }
    return 0;
}

} // namespace

EngineTables findEngineTables(const platform::ModuleImage& image) {
    EngineTables found;
    const detail::EngineMatches matches = detail::lowestMatches(image);
    ReadableMemory memory = ReadableMemory::ofProcess();

    // The object table first: the name table is proven through the object table's class for classes.
    // It is the address itself; its contents are read when they are used.
    Discovery::ObjectTableFit objects;
    FoundTable& objectTable = found.objectTable;
    objectTable.address =
        provenMatch(kObjectTablePattern, matches.objectTable, image, objectTable,
                    [&](const std::uint8_t* match) -> Verdict {
                        const std::uintptr_t table =
                            detail::matchTarget(match, image, sizeof(Layout::ObjectTable));
                        if (table == 0) {
                            return {};
                        }
                        objects = Discovery::checkObjectTable(table, memory);
                        if (objects.table != 0) {
                            return {objects.table, 0};
                        }
                        return {0, detail::objectTableStillEmpty(table, memory) ? table : 0};
                    });
    if (objectTable.address != 0) {
        objectTable.source = TableSource::Pattern;
    } else if (objectTable.kept.count > 0) {
        // An empty table is found by no search: the search by layout waits for the first use too.
        objectTable.source = TableSource::Kept;
    } else {
        // No match gave a table that passed: the table is looked for by its layout.
        objects = Discovery::findObjectTable(image, memory);
        if (objects.table != 0) {
            objectTable.address = objects.table;
            objectTable.source = TableSource::Layout;
        }
    }

    FoundTable& nameTable = found.nameTable;
    if (objects.table == 0) {
        if (objectTable.source == TableSource::Kept) {
            // Nothing can judge a name table yet: every match whose variable lies in the image is kept.
            std::uint64_t lowestValue = 0;
            provenMatch(kNameTablePattern, matches.nameTable, image, nameTable,
                        [&](const std::uint8_t* match) -> Verdict {
                            const std::uintptr_t variable =
                                detail::matchTarget(match, image, sizeof(std::uint64_t));
                            std::uint64_t value = 0;
                            if (variable == 0 || !memory.read(variable, value)) {
                                return {};
                            }
                            if (nameTable.kept.count == 0) {
                                lowestValue = value;
                            }
                            return {0, variable};
                        });
            if (nameTable.kept.count > 0) {
                nameTable.source = TableSource::Kept;
                nameTable.kept.because =
                    lowestValue == 0 ? KeptBecause::StillEmpty : KeptBecause::ObjectTableStillEmpty;
            }
        }
        return found;
    }

    // The name table's pointer is read once, through the snapshot: a snapshot of the game variable.
    nameTable.address = provenMatch(
        kNameTablePattern, matches.nameTable, image, nameTable, [&](const std::uint8_t* match) -> Verdict {
            const std::uintptr_t variable = detail::matchTarget(match, image, sizeof(std::uint64_t));
            std::uint64_t table = 0;
            if (variable == 0 || !memory.read(variable, table)) {
                return {};
            }
            if (table == 0) {
                return {0, variable};
            }
            if (!Discovery::checkNameTable(table, memory, objects)) {
                return {};
            }
            return {static_cast<std::uintptr_t>(table), 0};
        });
    if (nameTable.address != 0) {
        nameTable.source = TableSource::Pattern;
    } else if (nameTable.kept.count > 0) {
        nameTable.source = TableSource::Kept;
    } else if (const std::uintptr_t table = Discovery::findNameTable(image, memory, objects)) {
        nameTable.address = table;
        nameTable.source = TableSource::Layout;
    }
    return found;
}

EngineTables initEngineGlobals() {
    return initEngineGlobals(platform::gameModuleImage());
}

EngineTables initEngineGlobals(const platform::ModuleImage& image) {
    // Nothing half-found stays behind should the search throw (memory exhaustion).
    engineNameTable = 0;
    engineObjectTable = 0;
    detail::keepForFirstUse(nullptr, image);
    const EngineTables found = findEngineTables(image);
    engineNameTable = found.nameTable.address;
    engineObjectTable = found.objectTable.address;
    // What did not prove is left to the first lookup; with both proven, the lookup is today's.
    detail::keepForFirstUse(&found, image);
    return found;
}

} // namespace SDK
