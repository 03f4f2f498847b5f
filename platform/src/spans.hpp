// Building span lists, the same on every OS: spans come lowest address first, and one that touches or
// overlaps the last joins it, so that nothing reads across a border that is not really there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/os.hpp"

namespace platform::detail {

// Grows `last` to take in [begin, end) when that touches or overlaps it.
inline bool extendSpan(MemorySpan& last, std::uintptr_t begin, std::uintptr_t end) noexcept {
    const std::uintptr_t lastBegin = last.address();
    const std::uintptr_t lastEnd = last.endAddress();
    if (begin < lastBegin || begin > lastEnd) {
        return false;
    }
    last.size = (end > lastEnd ? end : lastEnd) - lastBegin;
    return true;
}

// Appends [begin, end) to an image's spans; spans beyond kMaxImageSpans are left out.
inline void appendSpan(ModuleImage& image, std::uintptr_t begin, std::uintptr_t end) noexcept {
    if (image.spanCount > 0 && extendSpan(image.spans[image.spanCount - 1], begin, end)) {
        return;
    }
    if (image.spanCount < image.spans.size()) {
        image.spans[image.spanCount++] =
            MemorySpan{reinterpret_cast<const std::uint8_t*>(begin), end - begin};
    }
}

inline void appendSpan(std::vector<MemorySpan>& spans, std::uintptr_t begin, std::uintptr_t end) {
    if (spans.empty() || !extendSpan(spans.back(), begin, end)) {
        spans.push_back(MemorySpan{reinterpret_cast<const std::uint8_t*>(begin), end - begin});
    }
}

// Sets the image's base and size from its spans; an image without spans is the empty image.
inline ModuleImage withExtent(ModuleImage image) noexcept {
    const std::span<const MemorySpan> spans = image.readableSpans();
    if (spans.empty()) {
        return {};
    }
    image.base = spans.front().begin;
    image.size = static_cast<std::size_t>(spans.back().endAddress() - spans.front().address());
    return image;
}

} // namespace platform::detail
