#include "scan/parts.hpp"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

namespace SDK::Scan {

namespace {

// Joins every thread it holds when it goes, however the scope is left.
struct Joining {
    std::vector<std::thread> threads;

    Joining() = default;
    Joining(const Joining&) = delete;
    Joining& operator=(const Joining&) = delete;
    ~Joining() {
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
};

} // namespace

std::size_t partCount(std::size_t size, unsigned threads) noexcept {
    if (size < kSplitFrom) {
        return 1;
    }
    const std::size_t wanted = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
    return std::min({wanted, kMostParts, size / kSmallestPart});
}

Part partOf(std::size_t size, std::size_t count, std::size_t k) noexcept {
    const std::size_t step = (size / count) & ~std::size_t{63};
    return Part{k * step, k + 1 == count ? size : (k + 1) * step};
}

std::thread startThread(std::function<void()> work) {
    return std::thread(std::move(work));
}

void findEachInParts(ScanKernel kernel, const Plan* plans, std::size_t count, const std::uint8_t* base,
                     std::size_t size, std::size_t parts, const StartThread& start,
                     const std::uint8_t** found) {
    if (parts <= 1 || count == 0 || base == nullptr) {
        findEach(kernel, plans, count, base, size, found);
        return;
    }
    std::size_t longest = 1;
    for (std::size_t i = 0; i < count; ++i) {
        longest = std::max(longest, plans[i].length);
    }
    std::vector<Part> split(parts);
    for (std::size_t k = 0; k < parts; ++k) {
        split[k] = partOf(size, parts, k);
    }
    std::vector<const std::uint8_t*> partFound(parts * count);
    auto scan = [=, &split, &partFound](std::size_t k) noexcept {
        const Part part = split[k];
        const std::size_t end = size - part.end < longest - 1 ? size : part.end + longest - 1;
        findEach(kernel, plans, count, base + part.begin, end - part.begin, partFound.data() + k * count);
    };

    Joining running;
    running.threads.reserve(parts - 1);
    std::size_t started = 1;
    for (; started < parts; ++started) {
        try {
            running.threads.push_back(start([&scan, started] { scan(started); }));
        } catch (const std::system_error&) {
            break; // no thread for this part: the calling thread takes it below
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    scan(0);
    if (started < parts) {
        // No thread reads this element: the threads started took the parts before it.
        split[started].end = size;
        scan(started);
        parts = started + 1;
    }
    for (std::thread& thread : running.threads) {
        thread.join();
    }
    running.threads.clear();

    // Parts in image order: the first that found a plan holds its lowest match.
    for (std::size_t i = 0; i < count; ++i) {
        found[i] = nullptr;
        for (std::size_t k = 0; k < parts && found[i] == nullptr; ++k) {
            found[i] = partFound[k * count + i];
        }
    }
}

} // namespace SDK::Scan
