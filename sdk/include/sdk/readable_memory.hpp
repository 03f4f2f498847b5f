// A snapshot of the address ranges that can be read without a fault, and reads checked against it.
//
// Finding the engine's tables by their layout means following pointers found in the game's memory,
// most of which lead nowhere. Every such read goes through this class: a read whose bytes do not all
// lie in one range of the snapshot is refused, and nothing is ever read to find out. No exception or
// signal handling is involved. The reads are plain loads of memory the system called readable when
// the snapshot was taken; a mapping that another thread removes afterwards is not accounted for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/os.hpp"

namespace SDK {

class ReadableMemory {
public:
    ReadableMemory() = default;

    // The ranges in any order; empty ones are dropped, overlapping or touching ones merged.
    explicit ReadableMemory(std::vector<platform::MemorySpan> ranges);

    // The process's readable ranges now (platform::readableRanges).
    [[nodiscard]] static ReadableMemory ofProcess();

    // Whether [address, address + bytes) lies inside one range. Remembers the range it found, so
    // that reads near each other cost no search; not for use by two threads at once.
    [[nodiscard]] bool contains(std::uintptr_t address, std::size_t bytes) noexcept;

    // Checked reads: false (and `value` untouched) when the bytes are not all readable.
    [[nodiscard]] bool read(std::uintptr_t address, std::uint64_t& value) noexcept;
    [[nodiscard]] bool read(std::uintptr_t address, std::uint32_t& value) noexcept;
    [[nodiscard]] bool read(std::uintptr_t address, std::uint8_t& value) noexcept;

    // The lowest readable address and one past the highest; both zero when nothing is readable.
    [[nodiscard]] std::uintptr_t lowest() const noexcept {
        return ranges_.empty() ? 0 : ranges_.front().address();
    }
    [[nodiscard]] std::uintptr_t highest() const noexcept {
        return ranges_.empty() ? 0 : ranges_.back().endAddress();
    }

    // The ranges, lowest first, none empty, none touching another.
    [[nodiscard]] const std::vector<platform::MemorySpan>& ranges() const noexcept { return ranges_; }

private:
    template <typename T> bool readChecked(std::uintptr_t address, T& value) noexcept;

    std::vector<platform::MemorySpan> ranges_;
    std::size_t last_ = 0;
};

} // namespace SDK
