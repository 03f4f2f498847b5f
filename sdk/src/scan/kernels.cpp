// The scan kernels: find candidates by the two anchor bytes, then verify the whole pattern.
//
// Every kernel walks the start offsets [from, size - L] in order and returns the first verified one,
// so all of them give the reference byte loop's answer. A vector load covers the anchor bytes of
// W consecutive start offsets; it is issued only while all W offsets are valid starts, which keeps
// every byte read inside the image (the anchor lies inside the pattern). The last few offsets go
// through the scalar loop.
//
// The kernels read every byte of the game's image, the redzones that AddressSanitizer keeps around
// globals included, so they are exempt from its checks (SDK_IMAGE_READER).
#include "scan/plan.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64)
#define BRICKWRIGHT_SCAN_X86 1
#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#endif
// The AVX2 kernel is compiled for AVX2 on its own; the rest of the library stays at the baseline,
// and the kernel only runs once the CPU has been asked.
#if defined(__GNUC__) || defined(__clang__)
#define BRICKWRIGHT_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define BRICKWRIGHT_TARGET_AVX2
#endif
#endif

namespace SDK::Scan {

namespace {

// Bit k of `bits` stands for start offset `at + k`; returns the first that verifies.
SDK_IMAGE_READER inline const std::uint8_t* firstVerified(const Plan& plan, const std::uint8_t* base,
                                                          const std::uint8_t* end, std::size_t at,
                                                          std::uint64_t bits) noexcept {
    while (bits != 0) {
        const std::uint8_t* candidate = base + at + static_cast<unsigned>(std::countr_zero(bits));
        if (verify(plan, candidate, end)) {
            return candidate;
        }
        bits &= bits - 1;
    }
    return nullptr;
}

// Start offsets [at, starts) one by one.
SDK_IMAGE_READER const std::uint8_t* scalarTail(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                                std::size_t at, std::size_t starts) noexcept {
    const std::uint8_t* end = base + size;
    for (; at < starts; ++at) {
        if (base[at + plan.anchor0] == plan.byte0 && base[at + plan.anchor1] == plan.byte1 &&
            verify(plan, base + at, end)) {
            return base + at;
        }
    }
    return nullptr;
}

// memchr; in an AddressSanitizer build a plain loop, since the interceptor of memchr would check the
// span it searched.
SDK_IMAGE_READER const std::uint8_t* findByte(const std::uint8_t* p, std::uint8_t byte,
                                              std::size_t count) noexcept {
#if defined(SDK_ADDRESS_SANITIZER)
    for (std::size_t i = 0; i < count; ++i) {
        if (p[i] == byte) {
            return p + i;
        }
    }
    return nullptr;
#else
    return static_cast<const std::uint8_t*>(std::memchr(p, byte, count));
#endif
}

// Portable: memchr finds the next place of the first anchor byte.
SDK_IMAGE_READER const std::uint8_t* findScalar(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                                std::size_t from) noexcept {
    const std::size_t starts = size - plan.length + 1;
    const std::uint8_t* end = base + size;
    const std::uint8_t* lane0 = base + plan.anchor0;
    std::size_t at = from;
    while (at < starts) {
        const std::uint8_t* hit = findByte(lane0 + at, plan.byte0, starts - at);
        if (hit == nullptr) {
            return nullptr;
        }
        at = static_cast<std::size_t>(hit - lane0);
        if (base[at + plan.anchor1] == plan.byte1 && verify(plan, base + at, end)) {
            return base + at;
        }
        ++at;
    }
    return nullptr;
}

#if defined(BRICKWRIGHT_SCAN_X86)

// Over an image that is not in the nearer caches, the hardware prefetcher alone keeps the loops
// waiting for memory; asking for the lines this far ahead of the first anchor's loads makes up
// much of the distance to memchr. Only lines inside the image are asked for: the loops ask for the
// lines of their own last block once they get near the end.
constexpr std::size_t kPrefetchAhead = 4096;

SDK_IMAGE_READER inline void prefetchLine(const std::uint8_t* p) noexcept {
    _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
}

// Which of 16 consecutive start offsets show both anchor bytes (one byte of FF each).
SDK_IMAGE_READER inline __m128i hits16(const std::uint8_t* lane0, const std::uint8_t* lane1, std::size_t at,
                                       __m128i want0, __m128i want1) noexcept {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane0 + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane1 + at));
    return _mm_and_si128(_mm_cmpeq_epi8(a, want0), _mm_cmpeq_epi8(b, want1));
}

SDK_IMAGE_READER const std::uint8_t* findSse2(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                              std::size_t from) noexcept {
    const std::size_t starts = size - plan.length + 1;
    const std::uint8_t* end = base + size;
    const std::uint8_t* lane0 = base + plan.anchor0;
    const std::uint8_t* lane1 = base + plan.anchor1;
    const __m128i want0 = _mm_set1_epi8(static_cast<char>(plan.byte0));
    const __m128i want1 = _mm_set1_epi8(static_cast<char>(plan.byte1));
    auto hits = [&](std::size_t at) { return hits16(lane0, lane1, at, want0, want1); };
    auto bitsOf = [](__m128i v) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v)));
    };
    std::size_t at = from;
    if (starts - at >= 16) {
        // As in the AVX2 kernel: one block, then aligned loads of the first anchor.
        if (const std::uint64_t bits = bitsOf(hits(at)); bits != 0) {
            if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                return found;
            }
        }
        at += 16 - (reinterpret_cast<std::uintptr_t>(lane0 + at) & 15);
    }
    for (; starts - at >= 64; at += 64) {
        prefetchLine(lane0 + std::min(at + kPrefetchAhead, starts - 64));
        const __m128i h0 = hits(at);
        const __m128i h1 = hits(at + 16);
        const __m128i h2 = hits(at + 32);
        const __m128i h3 = hits(at + 48);
        const __m128i any = _mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3));
        if (_mm_movemask_epi8(any) != 0) {
            const std::uint64_t bits = bitsOf(h0) | bitsOf(h1) << 16 | bitsOf(h2) << 32 | bitsOf(h3) << 48;
            if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                return found;
            }
        }
    }
    for (; starts - at >= 16; at += 16) {
        if (const std::uint64_t bits = bitsOf(hits(at)); bits != 0) {
            if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                return found;
            }
        }
    }
    return scalarTail(plan, base, size, at, starts);
}

// Which of 32 consecutive start offsets show both anchor bytes (one byte of FF each).
BRICKWRIGHT_TARGET_AVX2 SDK_IMAGE_READER inline __m256i hits32(const std::uint8_t* lane0,
                                                               const std::uint8_t* lane1, std::size_t at,
                                                               __m256i want0, __m256i want1) noexcept {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane0 + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane1 + at));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, want0), _mm256_cmpeq_epi8(b, want1));
}

BRICKWRIGHT_TARGET_AVX2
inline std::uint64_t bits64(__m256i low, __m256i high) noexcept {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(low))) |
           static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(high))) << 32;
}

BRICKWRIGHT_TARGET_AVX2 SDK_IMAGE_READER const std::uint8_t*
findAvx2(const Plan& plan, const std::uint8_t* base, std::size_t size, std::size_t from) noexcept {
    const std::size_t starts = size - plan.length + 1;
    const std::uint8_t* end = base + size;
    const std::uint8_t* lane0 = base + plan.anchor0;
    const std::uint8_t* lane1 = base + plan.anchor1;
    const __m256i want0 = _mm256_set1_epi8(static_cast<char>(plan.byte0));
    const __m256i want1 = _mm256_set1_epi8(static_cast<char>(plan.byte1));
    std::size_t at = from;
    if (starts - at >= 32) {
        // One block where the image begins, then on from where the first anchor's loads are aligned
        // (the few start offsets seen twice were rejected the first time).
        if (const std::uint64_t bits =
                bits64(hits32(lane0, lane1, at, want0, want1), _mm256_setzero_si256())) {
            if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                return found;
            }
        }
        at += 32 - (reinterpret_cast<std::uintptr_t>(lane0 + at) & 31);
    }
    for (; starts - at >= 128; at += 128) {
        const std::size_t ahead = std::min(at + kPrefetchAhead, starts - 128);
        prefetchLine(lane0 + ahead);
        prefetchLine(lane0 + ahead + 64);
        const __m256i h0 = hits32(lane0, lane1, at, want0, want1);
        const __m256i h1 = hits32(lane0, lane1, at + 32, want0, want1);
        const __m256i h2 = hits32(lane0, lane1, at + 64, want0, want1);
        const __m256i h3 = hits32(lane0, lane1, at + 96, want0, want1);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(h0, h1), _mm256_or_si256(h2, h3));
        if (_mm256_testz_si256(any, any) == 0) {
            if (const std::uint64_t bits = bits64(h0, h1)) {
                if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                    return found;
                }
            }
            if (const std::uint64_t bits = bits64(h2, h3)) {
                if (const std::uint8_t* found = firstVerified(plan, base, end, at + 64, bits)) {
                    return found;
                }
            }
        }
    }
    for (; starts - at >= 32; at += 32) {
        if (const std::uint64_t bits =
                bits64(hits32(lane0, lane1, at, want0, want1), _mm256_setzero_si256())) {
            if (const std::uint8_t* found = firstVerified(plan, base, end, at, bits)) {
                return found;
            }
        }
    }
    return scalarTail(plan, base, size, at, starts);
}

bool cpuHasAvx2() noexcept {
#if defined(_MSC_VER)
    int info[4] = {};
    __cpuid(info, 0);
    if (info[0] < 7) {
        return false;
    }
    __cpuid(info, 1);
    const bool osSavesYmm = (info[2] & (1 << 27)) != 0 && (info[2] & (1 << 28)) != 0 && (_xgetbv(0) & 6) == 6;
    if (!osSavesYmm) {
        return false;
    }
    __cpuidex(info, 7, 0);
    return (info[1] & (1 << 5)) != 0;
#else
    // Checks the OS's saving of the YMM registers too.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#endif
}

#endif // BRICKWRIGHT_SCAN_X86

// All-wildcard patterns match at every start offset.
bool unanchoredMatch(const Plan& plan) noexcept {
    return !plan.anchored;
}

} // namespace

bool kernelSupported(Kernel kernel) noexcept {
    switch (kernel) {
    case Kernel::Scalar:
        return true;
#if defined(BRICKWRIGHT_SCAN_X86)
    case Kernel::Sse2:
        return true;
    case Kernel::Avx2: {
        static const bool hasAvx2 = cpuHasAvx2();
        return hasAvx2;
    }
#else
    case Kernel::Sse2:
    case Kernel::Avx2:
        return false;
#endif
    }
    return false;
}

Kernel bestKernel() noexcept {
    static const Kernel best = kernelSupported(Kernel::Avx2)   ? Kernel::Avx2
                               : kernelSupported(Kernel::Sse2) ? Kernel::Sse2
                                                               : Kernel::Scalar;
    return best;
}

const char* kernelName(Kernel kernel) noexcept {
    switch (kernel) {
    case Kernel::Scalar:
        return "scalar";
    case Kernel::Sse2:
        return "sse2";
    case Kernel::Avx2:
        return "avx2";
    }
    return "?";
}

namespace {
std::atomic<int> chosenKernel{-1};
} // namespace

Kernel activeKernel() noexcept {
    const int chosen = chosenKernel.load(std::memory_order_relaxed);
    return chosen < 0 ? bestKernel() : static_cast<Kernel>(chosen);
}

Kernel useKernel(Kernel kernel) noexcept {
    const Kernel previous = activeKernel();
    if (kernelSupported(kernel)) {
        chosenKernel.store(static_cast<int>(kernel), std::memory_order_relaxed);
    }
    return previous;
}

const std::uint8_t* findFirstWith(Kernel kernel, const Plan& plan, const std::uint8_t* base, std::size_t size,
                                  std::size_t from) noexcept {
    if (unanchoredMatch(plan)) {
        return base + from;
    }
    switch (kernel) {
#if defined(BRICKWRIGHT_SCAN_X86)
    case Kernel::Avx2:
        return findAvx2(plan, base, size, from);
    case Kernel::Sse2:
        return findSse2(plan, base, size, from);
#else
    case Kernel::Avx2:
    case Kernel::Sse2:
#endif
    case Kernel::Scalar:
        break;
    }
    return findScalar(plan, base, size, from);
}

const std::uint8_t* findFirst(const Plan& plan, const std::uint8_t* base, std::size_t size,
                              std::size_t from) noexcept {
    return findFirstWith(activeKernel(), plan, base, size, from);
}

} // namespace SDK::Scan
