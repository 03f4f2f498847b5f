// A plain load of memory already known to be readable (checked against a ReadableMemory snapshot).
#pragma once

#include <cstdint>
#include <cstring>

#include "sdk/sanitizer.hpp"

namespace SDK::detail {

// Under AddressSanitizer memory that is readable may still be poisoned (the redzones between the
// image's globals, heap blocks the game still points at), so the load is not instrumented: the
// snapshot check before it is what keeps it safe.
template <typename T> SDK_IMAGE_READER inline T load(std::uintptr_t address) noexcept {
    T value;
    std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
    return value;
}

} // namespace SDK::detail
