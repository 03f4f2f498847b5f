// The engine instructions that the game's image carries, planted into an executable's own image.
//
// The engine access layer finds the engine's tables by scanning the executable's image for two
// instruction patterns (SDK::kNameTablePattern, SDK::kObjectTablePattern) and following their
// instruction-pointer-relative displacements. The masks fix the displacements' top bytes (03 and 04),
// so the name table's pointer variable lies 48 to 64 MiB after the first instruction and the object
// table 64 to 80 MiB after the second.
//
// The instruction bytes are built at run time from the signatures' elements (fixed bytes from the
// signature, wildcards filled with the computed displacement or arbitrary call offsets), so the
// pattern bytes never lie anywhere in the executable's file: the planted copy is the only one a scan
// of the running image can find.
//
// A stand-in game (or a test) that wants to be scanned like the game:
//
//     standin::GameImageArena arena = standin::gameImageArena();   // inside this executable's image
//     standin::plantGameImageArena();                              // instructions at arena.code
//     standin::EngineWorld world(arena.objectTable);               // header: object-table target
//     ... add objects ...
//     standin::setNameTableVariable(arena, world.nameTable());     // name-table variable's value
//     SDK::initEngineGlobals();                                    // finds both
#pragma once

#include <cstddef>
#include <cstdint>

namespace standin {

inline constexpr std::size_t kMiB = std::size_t{1} << 20;

// Where the planted instructions lie in the region given to plantEngineInstructions.
struct PlantedInstructions {
    std::uint8_t* nameTableMatch = nullptr;   // the one real match of the name-table pattern
    std::uint8_t* objectTableMatch = nullptr; // the one real match of the object-table pattern
    // Filler below the real matches, where plantLookAlike writes an instruction of each pattern.
    std::uint8_t* nameTableLookAlike = nullptr;
    std::uint8_t* objectTableLookAlike = nullptr;
    std::size_t size = 0; // bytes written from the region's start
};

// The number of bytes plantEngineInstructions writes.
inline constexpr std::size_t kPlantedInstructionsSize = 512;

// Writes into `code` (a writable region of the executable's own image, at least
// kPlantedInstructionsSize bytes): first near misses of both patterns (the name-table pattern with
// its displacement's top byte 02 or 05, or another jump offset; the object-table pattern with its
// displacement's top byte 03, a call offset's top byte wrong, or its last call offset's top byte 00),
// then room for a look-alike of each pattern (filler until plantLookAlike fills it), then exactly one
// real instance of the name-table pattern whose displacement leads to `nameTableVariable`, then one of
// the object-table pattern whose displacement leads to `objectTable`. Throws std::invalid_argument
// when the region is too small or a target is out of the patterns' reach (48 to 64 MiB, 64 to 80 MiB
// after the instruction's end).
PlantedInstructions plantEngineInstructions(std::uint8_t* code, std::size_t size,
                                            const void* nameTableVariable, const void* objectTable);

// The arena: one large zero-initialised array inside the executable that links this (it lies in the
// executable's uninitialised data, which costs no memory until touched). Layout from its start:
// the code area at 0, the 8-byte name table variable at 56 MiB, the object table's header at 72 MiB,
// and for the look-alikes a variable and a header just after those, and junk from 76 MiB.
struct GameImageArena {
    std::uint8_t* begin = nullptr;
    std::size_t size = 0;
    std::uint8_t* code = nullptr; // kArenaCodeSize bytes for the planted instructions
    std::size_t codeSize = 0;
    void* nameTableVariable = nullptr; // 8 bytes, 8-aligned: the game variable the name-table pattern loads
    void* objectTable = nullptr;       // 64 bytes, 16-aligned: room for the object table's header
};

inline constexpr std::size_t kArenaCodeSize = 64 * 1024;
inline constexpr std::size_t kArenaNameTableVariableOffset = 56 * kMiB;
inline constexpr std::size_t kArenaObjectTableOffset = 72 * kMiB;
inline constexpr std::size_t kArenaNameLookAlikeOffset = 56 * kMiB + 64;
inline constexpr std::size_t kArenaObjectLookAlikeOffset = 72 * kMiB + 4096;
inline constexpr std::size_t kArenaJunkOffset = 76 * kMiB;
inline constexpr std::size_t kArenaJunkSize = 3 * kMiB;
inline constexpr std::size_t kArenaSize = 80 * kMiB + 64 * 1024;

// This executable's arena. The arena's definition is in its own object file of brickwright_world:
// it becomes part of an executable only when the executable calls this, and it must be an
// executable (not a shared library) for the arena to lie in the main image that the layer scans.
GameImageArena gameImageArena() noexcept;

// Plants the instructions into the arena's code area (once per process; later calls return the same).
PlantedInstructions plantGameImageArena();

// Stores `nameTable` in the arena's name table variable, as the engine does when it creates its names.
void setNameTableVariable(const GameImageArena& arena, const void* nameTable) noexcept;

// The tables whose pattern gets a look-alike.
enum class LookAlike { NameTable, ObjectTable };

// Writes into the planted instructions, below the real match of `which`'s pattern, an instruction of
// that pattern's exact bytes whose target is no table: for the name table a variable holding a
// pointer to junk bytes, for the object table a header whose chunk list leads to objects of junk
// bytes (their class and outer pointers lead nowhere readable). Targets and junk lie in the arena.
// Returns the look-alike's address.
std::uint8_t* plantLookAlike(const GameImageArena& arena, const PlantedInstructions& planted,
                             LookAlike which);

} // namespace standin
