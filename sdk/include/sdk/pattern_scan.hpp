// Masked byte-pattern search over a module image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace SDK {

// Finds the lowest offset in [base, base + size) at which `pattern` matches under `mask`: where the
// mask has 'x' the image byte must equal the pattern byte, any other mask character accepts any byte.
// The mask is NUL-terminated and as long as the pattern. Returns the match's address, or nullptr.
const std::uint8_t* scanForPattern(const std::uint8_t* pattern, const char* mask,
                                   const std::uint8_t* base, std::size_t size) noexcept;

} // namespace SDK
