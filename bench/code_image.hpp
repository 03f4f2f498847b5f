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

} // namespace bench
