#include "sdk/readable_memory.hpp"

#include <algorithm>
#include <utility>

#include "sdk/engine_layout.hpp"

namespace SDK {

using Layout::readAt;

ReadableMemory::ReadableMemory(std::vector<platform::MemorySpan> spans) : ranges_(std::move(spans)) {
    std::erase_if(ranges_, [](const platform::MemorySpan& span) {
        return span.size == 0 || span.endAddress() < span.address();
    });
    std::sort(ranges_.begin(), ranges_.end(),
              [](const platform::MemorySpan& a, const platform::MemorySpan& b) {
                  return a.address() < b.address();
              });
    std::size_t kept = 0;
    for (const platform::MemorySpan& range : ranges_) {
        platform::MemorySpan* last = kept > 0 ? &ranges_[kept - 1] : nullptr;
        if (last != nullptr && range.address() <= last->endAddress()) {
            last->size = std::max(last->endAddress(), range.endAddress()) - last->address();
        } else {
            ranges_[kept++] = range;
        }
    }
    ranges_.resize(kept);
}

ReadableMemory ReadableMemory::ofProcess() {
    return ReadableMemory(platform::readableRanges());
}

bool ReadableMemory::contains(std::uintptr_t address, std::size_t bytes) noexcept {
    if (ranges_.empty()) {
        return false;
    }
    if (ranges_[last_].contains(address, bytes)) {
        return true;
    }
    // The last range that begins at or below the address is the only one that can hold it.
    const auto after = std::upper_bound(
        ranges_.begin(), ranges_.end(), address,
        [](std::uintptr_t a, const platform::MemorySpan& range) { return a < range.address(); });
    if (after == ranges_.begin()) {
        return false;
    }
    const auto index = static_cast<std::size_t>(after - ranges_.begin()) - 1;
    if (!ranges_[index].contains(address, bytes)) {
        return false;
    }
    last_ = index;
    return true;
}

template <typename T> bool ReadableMemory::readChecked(std::uintptr_t address, T& value) noexcept {
    if (!contains(address, sizeof value)) {
        return false;
    }
    value = readAt<T>(address);
    return true;
}

bool ReadableMemory::read(std::uintptr_t address, std::uint64_t& value) noexcept {
    return readChecked(address, value);
}

bool ReadableMemory::read(std::uintptr_t address, std::uint32_t& value) noexcept {
    return readChecked(address, value);
}

bool ReadableMemory::read(std::uintptr_t address, std::uint8_t& value) noexcept {
    return readChecked(address, value);
}

} // namespace SDK
