// The engine's two tables, found in the game's executable image.
#pragma once

#include <cstdint>

#include "sdk/os.hpp"

namespace SDK {

// The name table's address, read once from the game variable that pattern 1 refers to; zero until
// initEngineGlobals has run, and zero when that pattern is not in the image.
extern std::uintptr_t engineNameTable;

// The object table's address, the one that pattern 2 computes; zero until initEngineGlobals has run,
// and zero when that pattern is not in the image.
extern std::uintptr_t engineObjectTable;

// Scans the game's image for both patterns and sets the two globals.
void initEngineGlobals();

// The same over a given image description.
void initEngineGlobals(const os::ModuleImage& image);

} // namespace SDK
