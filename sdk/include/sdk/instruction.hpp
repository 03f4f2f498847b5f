// Where an instruction-pointer-relative operand points. On x86-64 the processor adds the operand's
// signed 32-bit displacement to the address of the next instruction; the engine patterns, the
// maintainer tools and whoever lays such instructions out compute it here, one way.
#pragma once

#include <cstdint>

namespace SDK {

// The signed 32-bit little-endian displacement stored at `bytes` (4 readable bytes).
constexpr std::int32_t readDisplacement(const std::uint8_t* bytes) noexcept {
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

// The address (or RVA) that an instruction ending at `instructionEnd` refers to with `displacement`;
// like the processor, it wraps around modulo 2^64.
constexpr std::uint64_t relativeTarget(std::uint64_t instructionEnd, std::int32_t displacement) noexcept {
    return instructionEnd + static_cast<std::uint64_t>(static_cast<std::int64_t>(displacement));
}

} // namespace SDK
