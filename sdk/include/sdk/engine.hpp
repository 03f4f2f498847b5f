// The engine's two tables, found in the game's executable image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/os.hpp"

namespace SDK {

// The name table's address: the value that the game variable referred to by the name-table pattern
// held when initEngineGlobals ran (a snapshot). Zero before that, and zero when no table was proven.
extern std::uintptr_t engineNameTable;

// The object table's address, the one that the object-table pattern computes (or the search by layout
// found); its contents are read when used. Zero before initEngineGlobals, and zero when no table was
// proven.
extern std::uintptr_t engineObjectTable;

// At most this many matches of each pattern are tried, lowest address first.
inline constexpr std::size_t kMatchesTried = 16;

// How a table was found: through its pattern, by its layout (no match of the pattern led to a table
// that passed the proof; see sdk/discovery.hpp), not at all, or not yet: its pattern's matches are
// kept, to be proven when the table is first used (see KeptMatches).
enum class TableSource { NotFound, Pattern, Layout, Kept };

// Why a table's matches were kept unproven. A loader may set the mod up before the engine has filled
// its tables: the object table's header then has no elements or no chunk list, the name table's
// variable is still null. That is not yet filled, which is not the same as wrong. The name table is
// proven through the object table, so while that one is still empty no name table can be judged.
enum class KeptBecause { StillEmpty, ObjectTableStillEmpty };

// The matches of a pattern kept for the first use, lowest first: the addresses their instructions
// refer to (the object table's header, the name table's variable), and the first one's offset from
// the image's base.
struct KeptMatches {
    std::array<std::uintptr_t, kMatchesTried> targets{};
    std::array<std::uintptr_t, kMatchesTried> rvas{}; // of the instructions
    std::size_t count = 0;
    std::uintptr_t firstRva = 0;
    KeptBecause because = KeptBecause::StillEmpty;
};

// The matches of a pattern that were passed over because the table they lead to failed the proof
// (or lies outside the image): how many, and the lowest one's offset from the image's base.
struct PassedOverMatches {
    std::size_t count = 0;
    std::uintptr_t firstRva = 0;
};

// One table as initEngineGlobals found it. `address` is what its global is set to: zero when the
// table was not found.
struct FoundTable {
    std::uintptr_t address = 0;
    TableSource source = TableSource::NotFound;
    PassedOverMatches passedOver;
    KeptMatches kept; // what source Kept keeps
};

// What initEngineGlobals found: both tables, each with how it was found and what was passed over.
struct EngineTables {
    FoundTable nameTable;
    FoundTable objectTable;
};

// What one attempt at first use (sdk/objects.hpp) made of a table that was not proven before it:
// found through a kept match (source Pattern, `rva` that match's instruction), by its layout, or not.
struct FirstUseTable {
    bool tried = false; // false: the table had been proven already; nothing else here is set
    TableSource source = TableSource::NotFound;
    std::uintptr_t rva = 0;
};

// What an attempt at first use found, for the mod to say after the lookups that made it.
struct FirstUseReport {
    bool again = false; // an attempt had been made before this one
    FirstUseTable nameTable;
    FirstUseTable objectTable;
};

// Finds both tables in the game's image (platform::gameModuleImage), without touching the globals.
// No table is taken on trust: whatever found it, it is proven first with the checks the search by
// layout applies (Discovery::checkObjectTable, then Discovery::checkNameTable against that object
// table), every read through a snapshot of the process's readable ranges. The lowest match of a
// pattern over the image's readable spans is tried first; one whose table fails the proof is passed
// over for the next match in address order (at most kMatchesTried in all), then for the search by
// layout. A match whose table is still empty (an object table header with a zero element count or no
// chunk list, a null name table variable) is kept instead, and when no match proves, the table is
// Kept: its search by layout waits for the first use too, since an empty table is found by nothing.
// While the object table is kept, so are the name table's matches whose variable lies in the image.
// The name table cannot be proven without an object table. Logs nothing.
[[nodiscard]] EngineTables findEngineTables(const platform::ModuleImage& image);

// findEngineTables over the game's image, then both globals set from what it found (each call
// recomputes them from zero); returns what it found, for the setup to report. A table that did not
// prove is left to the first lookupClassClass (sdk/objects.hpp), which proves the kept matches then or
// searches by layout, and tries again at the next lookup round as long as it does not prove.
EngineTables initEngineGlobals();

// The same over a given image description (spans lowest address first).
EngineTables initEngineGlobals(const platform::ModuleImage& image);

} // namespace SDK
