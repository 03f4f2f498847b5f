// Splitting a large image into parts that threads scan side by side (findEach).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "scan/plan.hpp"

namespace SDK::Scan {

// Images below kSplitFrom bytes are scanned on the calling thread alone; larger ones in up to
// kMostParts parts of at least kSmallestPart bytes. Below those sizes a thread's start costs more
// than the part it would scan.
inline constexpr std::size_t kSplitFrom = std::size_t{16} << 20;
inline constexpr std::size_t kSmallestPart = std::size_t{4} << 20;
inline constexpr std::size_t kMostParts = 8;

// The start offsets [begin, end) a part scans for; its bytes reach up to the longest plan's length
// minus one further, so that a match across the split is found.
struct Part {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// How many parts an image of `size` bytes is split into with up to `threads` threads (0: as many as
// the machine runs at once).
[[nodiscard]] std::size_t partCount(std::size_t size, unsigned threads) noexcept;

// Part k of `count` (k < count, count <= size / 64) of an image of `size` bytes: neighbours touch,
// the first begins at 0 and the last ends at `size`; every split lies on a multiple of 64 bytes from
// the image's start.
[[nodiscard]] Part partOf(std::size_t size, std::size_t count, std::size_t k) noexcept;

// Starts `work` on a thread of its own, or throws std::system_error.
using StartThread = std::function<std::thread(std::function<void()>)>;

// What findEach uses: a std::thread.
[[nodiscard]] std::thread startThread(std::function<void()> work);

// Scan::findEach over an image split into `parts` parts (partOf), the first scanned by the calling
// thread and each other one by a thread from `start`. Where a thread cannot be started, the calling
// thread scans that part and all after it as one part: fewer parts, the same answer. Throws only
// std::bad_alloc, and only before any thread has started.
void findEachInParts(ScanKernel kernel, const Plan* plans, std::size_t count, const std::uint8_t* base,
                     std::size_t size, std::size_t parts, const StartThread& start,
                     const std::uint8_t** found);

} // namespace SDK::Scan
