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

// Scans the game's image (platform::gameModuleImage) for both patterns and sets the two globals. Each scan
// takes the lowest match over the image's readable spans; each call recomputes both globals from
// zero. Logs nothing.
void initEngineGlobals();

// The same over a given image description (spans lowest address first).
void initEngineGlobals(const platform::ModuleImage& image);

} // namespace SDK
