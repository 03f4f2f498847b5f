// The engine's two patterns, by which the mod finds its name and object tables in the game's code,
// and where their first instruction keeps the table's address. Beside the mod, the maintainer's tools
// (brickwright-sigcheck), the stand-in game that plants them and the benchmarks read them here.
#pragma once

#include "sdk/signature.hpp"

#include <cstddef>

namespace SDK {

// A 64-bit load of an instruction-pointer-relative variable (the name table pointer), a test of it
// against zero and a jump taken when it is not zero. The displacement's top byte is fixed at 03.
inline constexpr auto kNameTablePattern = parseSignature<"48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0">();

// An instruction-pointer-relative address computation (the object table) followed by three near
// calls. The displacement's top byte is fixed at 04; the calls' offsets' top bytes at 00, 00, 01.
inline constexpr auto kObjectTablePattern =
    parseSignature<"48 8D 0D ?? ?? ?? 04 E8 ?? ?? ?? 00 E8 ?? ?? ?? 00 E8 ?? ?? ?? 01">();

// Both patterns begin with a 7-byte instruction whose 32-bit little-endian displacement lies at 3..6;
// the address it refers to is the match + 7 + displacement.
inline constexpr std::size_t kDisplacementOffset = 3;
inline constexpr std::size_t kInstructionLength = 7;

} // namespace SDK
