// 32 start offsets per compare. The loop is skeleton.hpp's eachBlock, compiled here for AVX2 through
// findWith and findEachWith below: a step of its body is four compares (Avx2Lanes::hits), 128 start
// offsets, loaded at the anchors of one plan (OnePlanLoads) or of two at once (TwoPlans).
#include "scan/kernel_common.hpp"

#if defined(SDK_SCAN_X86)
SDK_SCAN_TARGET_BEGIN("avx2")
#include "scan/skeleton.hpp"

namespace SDK::Scan {

namespace {

struct Avx2Lanes {
    static constexpr std::size_t kWidth = 32;
    static constexpr std::size_t kPerBlock = 4;
    // Measured against none and 0.25 to 6 KiB, side by side with memchr: over 100 MB 512 bytes ahead
    // is best (about 0.9 of memchr's pace; none and 4 KiB about 0.8); in cache every distance up to
    // 4 KiB is within noise of the best.
    static constexpr std::size_t kPrefetchAhead = 512;
    using Hits = __m256i;

    explicit Avx2Lanes(const Plan& plan) noexcept
        : want0(_mm256_set1_epi8(static_cast<char>(plan.byte0))),
          want1(_mm256_set1_epi8(static_cast<char>(plan.byte1))) {}

    SDK_IMAGE_READER Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const noexcept {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(anchor0));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(anchor1));
        return _mm256_and_si256(_mm256_cmpeq_epi8(a, want0), _mm256_cmpeq_epi8(b, want1));
    }
    static Hits either(Hits a, Hits b) noexcept { return _mm256_or_si256(a, b); }
    static bool any(Hits hits) noexcept { return _mm256_testz_si256(hits, hits) == 0; }
    static std::uint64_t bits(Hits hits) noexcept {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(hits)));
    }

    __m256i want0;
    __m256i want1;
};

} // namespace

} // namespace SDK::Scan

SDK_SCAN_TARGET_END()

namespace SDK::Scan {

// At the baseline, like its declaration; it calls the walk compiled for the instruction set.
const std::uint8_t* findAvx2(const Plan& plan, const std::uint8_t* base, std::size_t size,
                             std::size_t from) noexcept {
    return findWith<Avx2Lanes>(plan, base, size, from);
}

void findEachAvx2(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                  const std::uint8_t** found) noexcept {
    findEachWith<Avx2Lanes>(plans, count, base, size, found);
}

} // namespace SDK::Scan

#endif
