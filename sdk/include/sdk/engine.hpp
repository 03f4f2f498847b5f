// The engine's two tables, found in the game's executable image.
#pragma once

#include <cstdint>

#include "platform/os.hpp"

namespace SDK {

// The name table's address: the value that the game variable referred to by pattern 1 held when
// initEngineGlobals ran (a snapshot). Zero before that, and zero when the pattern is not in the
// image or its variable lies outside the image.
extern std::uintptr_t engineNameTable;

// The object table's address, the one that pattern 2 computes; its contents are read when used.
// Zero before initEngineGlobals, and zero when the pattern is not in the image or the table's header
// would lie outside the image.
extern std::uintptr_t engineObjectTable;

// How a table was found by the last initEngineGlobals: through its pattern, by its layout (the
// pattern gave nothing usable; see sdk/discovery.hpp), or not at all (its global is then zero).
enum class TableSource { NotFound, Pattern, Layout };
extern TableSource engineNameTableSource;
extern TableSource engineObjectTableSource;

// Scans the game's image (platform::gameModuleImage) for both patterns and sets the two globals. Each scan
// takes the lowest match over the image's readable spans; each call recomputes both globals from
// zero. A pattern without a usable match (none, a target outside the image, or a name table variable
// holding null) is followed by a search for its table by its layout, reading only what a snapshot of
// the process's readable ranges allows; when both patterns match nothing of that runs. Logs nothing.
void initEngineGlobals();

// The same over a given image description (spans lowest address first).
void initEngineGlobals(const platform::ModuleImage& image);

} // namespace SDK
