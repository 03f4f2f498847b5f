// Arbitrary image, pattern and mask: the fast scan, under every kernel and in both prepared forms,
// must return what the reference byte loop returns, and the walk over all matches must agree too; so
// must findEach for the pattern and windows of it in one pass.
//
// Input layout: byte 0 = pattern length L (0..255), byte 1 = where the image lies (bits 0-5: its
// alignment; bit 6: against an inaccessible page instead; bit 7: findEach on 8 threads rather than
// 1), then L mask selectors (odd = fixed 'x', even = a wildcard character), L pattern bytes, and the
// image.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "reference_scan.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

constexpr std::size_t kGuardedCapacity = std::size_t{1} << 20;

// The end of kGuardedCapacity writable bytes that an inaccessible page follows; mapped once.
std::uint8_t* guardedEnd() {
    static std::uint8_t* const end = [] {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* mapping = mmap(nullptr, kGuardedCapacity + page, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            std::abort();
        }
        auto* bytes = static_cast<std::uint8_t*>(mapping);
        if (mprotect(bytes + kGuardedCapacity, page, PROT_NONE) != 0) {
            std::abort();
        }
        return bytes + kGuardedCapacity;
    }();
    return end;
}

[[noreturn]] void mismatch(const char* what, SDK::ScanKernel kernel, const std::uint8_t* expected,
                           const std::uint8_t* got, const std::uint8_t* base) {
    std::fprintf(stderr, "%s, %s kernel: expected offset %td, got %td\n", what, SDK::scanKernelName(kernel),
                 expected ? expected - base : -1, got ? got - base : -1);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t length = data[0];
    const std::uint8_t selector = data[1];
    const std::size_t alignment = selector % 64;
    data += 2;
    size -= 2;
    if (size < 2 * length) {
        return 0;
    }
    std::string mask;
    std::vector<SDK::PatternByte> elements;
    for (std::size_t i = 0; i < length; ++i) {
        const bool fixed = (data[i] & 1) != 0;
        mask.push_back(fixed ? 'x' : "?X. "[(data[i] >> 1) & 3]);
        elements.push_back(SDK::PatternByte{data[length + i], fixed});
    }
    const std::vector<std::uint8_t> pattern(data + length, data + 2 * length);

    // The image either at a chosen alignment, or ending exactly where an inaccessible page begins: the
    // kernels read the game's image without AddressSanitizer's checks, so a read past the end
    // must fault on its own.
    const std::size_t imageSize = size - 2 * length;
    const std::uint8_t* base = nullptr;
    std::vector<std::uint8_t> storage;
    if ((selector & 64) != 0 && imageSize <= kGuardedCapacity) {
        std::uint8_t* end = guardedEnd();
        std::memcpy(end - imageSize, data + 2 * length, imageSize);
        base = end - imageSize;
    } else {
        storage.resize(alignment + imageSize);
        if (imageSize > 0) {
            std::memcpy(storage.data() + alignment, data + 2 * length, imageSize);
        }
        base = storage.data() + alignment;
    }

    const std::uint8_t* expected = reference::scan(pattern.data(), mask.c_str(), base, imageSize);
    const std::vector<std::size_t> all = reference::allMatches(pattern.data(), mask.c_str(), base, imageSize);

    std::vector<SDK::PreparedPattern> set;
    std::vector<const std::uint8_t*> setExpected;
    for (const auto& [begin, end] :
         {std::pair{std::size_t{0}, length}, std::pair{length / 2, length},
          std::pair{std::size_t{0}, length / 2}, std::pair{length / 3, length - length / 4},
          std::pair{std::size_t{0}, length}}) {
        const std::string window = mask.substr(begin, end - begin);
        set.emplace_back(pattern.data() + begin, window.c_str());
        setExpected.push_back(reference::scan(pattern.data() + begin, window.c_str(), base, imageSize));
    }

    const SDK::PreparedPattern fromBytes(pattern.data(), mask.c_str());
    const SDK::PreparedPattern fromElements{std::span<const SDK::PatternByte>(elements)};
    for (const SDK::ScanKernel kernel :
         {SDK::ScanKernel::Scalar, SDK::ScanKernel::Sse2, SDK::ScanKernel::Avx2, SDK::ScanKernel::Avx512}) {
        if (!SDK::scanKernelSupported(kernel)) {
            continue;
        }
        const std::uint8_t* got = SDK::scanForPattern(pattern.data(), mask.c_str(), base, imageSize, kernel);
        if (got != expected) {
            mismatch("scanForPattern", kernel, expected, got, base);
        }
        if ((got = fromBytes.find(base, imageSize, kernel)) != expected) {
            mismatch("prepared from bytes", kernel, expected, got, base);
        }
        std::size_t walked = 0;
        for (const std::uint8_t* at = fromElements.find(base, imageSize, kernel); at != nullptr;
             at = fromElements.findNext(base, imageSize, at, kernel)) {
            if (walked >= all.size() || at != base + all[walked]) {
                mismatch("walk", kernel, walked < all.size() ? base + all[walked] : nullptr, at, base);
            }
            ++walked;
        }
        if (walked != all.size()) {
            mismatch("walk ended early", kernel, base + all[walked], nullptr, base);
        }

        // One pass for the pattern, windows of it (anchors shared or shifted) and the pattern again,
        // each against its own reference scan.
        const std::vector<const std::uint8_t*> each =
            SDK::findEach(set, base, imageSize, {kernel, static_cast<unsigned>(1 + (selector >> 7) * 7)});
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (each[i] != setExpected[i]) {
                mismatch("findEach", kernel, setExpected[i], each[i], base);
            }
        }
    }
    return 0;
}
