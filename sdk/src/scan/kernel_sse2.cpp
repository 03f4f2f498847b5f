// 16 start offsets per compare; SSE2 is part of every x86-64 CPU. The loop is skeleton.hpp's
// eachBlock, compiled here through findWith and findEachWith below: a step of its body is four
// compares (Sse2Lanes::hits), 64 start offsets, loaded at the anchors of one plan (OnePlanLoads) or of
// two at once (TwoPlans).
#include "scan/kernel_common.hpp"

#if defined(SDK_SCAN_X86)
#include "scan/skeleton.hpp"

namespace SDK::Scan {

namespace {

struct Sse2Lanes {
    static constexpr std::size_t kWidth = 16;
    static constexpr std::size_t kPerBlock = 4;
    // Measured against none and 0.5 to 16 KiB: 1 to 2 KiB ahead gains about a tenth over 100 MB and
    // costs nothing in cache, where this kernel is bound by its compares.
    static constexpr std::size_t kPrefetchAhead = 2048;
    using Hits = __m128i;

    explicit Sse2Lanes(const Plan& plan) noexcept
        : want0(_mm_set1_epi8(static_cast<char>(plan.byte0))),
          want1(_mm_set1_epi8(static_cast<char>(plan.byte1))) {}

    SDK_IMAGE_READER Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const noexcept {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(anchor0));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(anchor1));
        return _mm_and_si128(_mm_cmpeq_epi8(a, want0), _mm_cmpeq_epi8(b, want1));
    }
    static Hits either(Hits a, Hits b) noexcept { return _mm_or_si128(a, b); }
    static bool any(Hits hits) noexcept { return _mm_movemask_epi8(hits) != 0; }
    static std::uint64_t bits(Hits hits) noexcept {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)));
    }

    __m128i want0;
    __m128i want1;
};

} // namespace

const std::uint8_t* findSse2(const Plan& plan, const std::uint8_t* base, std::size_t size,
                             std::size_t from) noexcept {
    return findWith<Sse2Lanes>(plan, base, size, from);
}

void findEachSse2(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                  const std::uint8_t** found) noexcept {
    findEachWith<Sse2Lanes>(plans, count, base, size, found);
}

} // namespace SDK::Scan

#endif
