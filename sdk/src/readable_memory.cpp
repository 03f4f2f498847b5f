#include "sdk/readable_memory.hpp"

#include <algorithm>

#include "sdk/engine_layout.hpp"

namespace SDK {

using Layout::readAt;

ReadableMemory::ReadableMemory(std::vector<platform::MemorySpan> spans) {
    ranges_.reserve(spans.size());
    for (const platform::MemorySpan& span : spans) {
        const auto begin = reinterpret_cast<std::uintptr_t>(span.begin);
        if (span.size == 0 || begin + span.size < begin) {
            continue;
        }
        ranges_.push_back(Range{begin, begin + span.size});
    }
    std::sort(ranges_.begin(), ranges_.end(),
              [](const Range& a, const Range& b) { return a.begin < b.begin; });
    std::size_t kept = 0;
    for (const Range& range : ranges_) {
        if (kept > 0 && range.begin <= ranges_[kept - 1].end) {
            ranges_[kept - 1].end = std::max(ranges_[kept - 1].end, range.end);
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
    const auto inside = [&](const Range& range) {
        return address >= range.begin && address < range.end && bytes <= range.end - address;
    };
    if (inside(ranges_[last_])) {
        return true;
    }
    // The last range that begins at or below the address is the only one that can hold it.
    const auto after = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                                        [](std::uintptr_t a, const Range& range) { return a < range.begin; });
    if (after == ranges_.begin()) {
        return false;
    }
    const auto index = static_cast<std::size_t>(after - ranges_.begin()) - 1;
    if (!inside(ranges_[index])) {
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
