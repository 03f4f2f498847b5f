// The pattern side of initEngineGlobals, for the library's benchmarks: where the instructions are and
// what they refer to, before anything is proven.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.hpp"

namespace SDK::detail {

// The lowest match of each engine pattern over the image's readable spans; null for none.
struct EngineMatches {
    const std::uint8_t* nameTable = nullptr;
    const std::uint8_t* objectTable = nullptr;
};

[[nodiscard]] EngineMatches lowestMatches(const platform::ModuleImage& image);

// The address that the match's first instruction refers to; zero when `bytes` bytes there do not lie
// in one span of the image (nothing outside the image is handed on).
[[nodiscard]] std::uintptr_t matchTarget(const std::uint8_t* match, const platform::ModuleImage& image,
                                         std::size_t bytes) noexcept;

} // namespace SDK::detail
