// The engine's two tables, found in the game's executable image.
#pragma once

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
// that passed the proof; see sdk/discovery.hpp), or not at all.
enum class TableSource { NotFound, Pattern, Layout };

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
};

// What initEngineGlobals found: both tables, each with how it was found and what was passed over.
struct EngineTables {
    FoundTable nameTable;
    FoundTable objectTable;
};

// Finds both tables in the game's image (platform::gameModuleImage), without touching the globals.
// No table is taken on trust: whatever found it, it is proven first with the checks the search by
// layout applies (Discovery::checkObjectTable, then Discovery::checkNameTable against that object
// table), every read through a snapshot of the process's readable ranges. The lowest match of a
// pattern over the image's readable spans is tried first; one whose table fails the proof is passed
// over for the next match in address order (at most kMatchesTried in all), then for the search by
// layout. The name table cannot be proven without an object table. Logs nothing.
[[nodiscard]] EngineTables findEngineTables(const platform::ModuleImage& image);

// findEngineTables over the game's image, then both globals set from what it found (each call
// recomputes them from zero); returns what it found, for the setup to report.
EngineTables initEngineGlobals();

// The same over a given image description (spans lowest address first).
EngineTables initEngineGlobals(const platform::ModuleImage& image);

} // namespace SDK
