// The one load of the game's memory, and of anything else read where no alignment is promised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sdk/sanitizer.hpp"

namespace SDK {

// The one load of the game's memory: a T at `offset` bytes past `base`, whatever the alignment.
// Under AddressSanitizer memory that is readable may still be poisoned (the redzones between the
// image's globals, heap blocks the game still points at), so the load is not instrumented: what
// makes it safe is the engine's own contract, or a ReadableMemory check before it.
template <typename T> SDK_IMAGE_READER inline T readAt(const void* base, std::size_t offset) noexcept {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

template <typename T> SDK_IMAGE_READER inline T readAt(std::uintptr_t address) noexcept {
    return readAt<T>(reinterpret_cast<const void*>(address), 0);
}

} // namespace SDK
