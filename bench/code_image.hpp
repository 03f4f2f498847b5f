// Building the benchmarks' image from real machine code, or from a raw file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "brickwright/result.hpp"
#include "comparison.hpp"
#include "platform/os.hpp"

namespace bench {

// The bytes of the code sections of a PE (".text") or ELF (".text") file; empty when the file
// cannot be read or is neither.
[[nodiscard]] std::vector<std::uint8_t> codeSections(const std::string& path);

// The default image (the .text of Wine's Windows DLLs, then of LLVM's shared library, both patterns
// planted near its end) or, for a non-empty `rawFile`, that file's bytes as they are; or why no
// image can be built. The storage lives until the process ends.
[[nodiscard]] brickwright::Result<Image> buildImage(const std::string& rawFile);

// How often each byte value occurs in `bytes`, per 65536 bytes, as the C++ initialiser of
// kCodeByteFrequency in sdk/src/pattern_scan.cpp: 16 values a line, byte 00 first.
[[nodiscard]] std::string byteFrequencyTable(std::span<const std::uint8_t> bytes);

// The shared image as the platform layer would describe the game's: one span over code and reserve.
[[nodiscard]] platform::ModuleImage moduleImage();

// A game-like engine world of 72000 elements (the class for classes past the first chunk) laid out
// where the planted instructions point: its object table's header at the object-table target, its
// name table's address in the name-table variable. Built by the first call; null when the image has
// no such targets (a raw image file).
struct PlantedWorld {
    const void* nameTable = nullptr;
    std::uintptr_t objectTable = 0;
    std::uintptr_t classClass = 0;
};
[[nodiscard]] const PlantedWorld* plantedWorld();

} // namespace bench
