// 64 start offsets per compare, a cache line: AVX-512BW, with VBMI's byte permutes.
//
// In the body of a scan every anchor's 64 bytes are cut out of two aligned lines by one vpermt2b
// instead of being loaded across a line boundary: loads that split lines cost more than the permute,
// and over an image larger than the caches they slowed the scan below memchr's pace. A compare
// gives a vector, zero where the start offset shows both anchors, and a block's four are joined by
// their minimum, so the block takes one test.
//
// The loop is skeleton.hpp's eachBlock, compiled here for AVX-512 through findWith and findEachWith
// below: a step of its body is four compares (Avx512Lanes::lineHits), 256 start offsets, cut out of
// one block's lines for one plan (OnePlanLines) or for two at once (TwoPlans); anchors a line or more
// apart are loaded where they lie instead (Avx512Lanes::hits, OnePlanLoads).
#include "scan/kernel_common.hpp"

#if defined(SDK_SCAN_X86)
SDK_SCAN_TARGET_BEGIN("avx512f,avx512bw,avx512vbmi")
#include "scan/skeleton.hpp"

namespace SDK::Scan {

namespace {

// The index that cuts, from two neighbouring lines, the 64 bytes `shift` (0 to 63) on from the first.
inline __m512i cutIndex(std::size_t shift) noexcept {
    alignas(64) static constexpr std::uint8_t kIota[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    return _mm512_add_epi8(_mm512_load_si512(kIota), _mm512_set1_epi8(static_cast<char>(shift & 63)));
}

struct Avx512Lanes {
    static constexpr std::size_t kWidth = 64;
    static constexpr std::size_t kPerBlock = 4;
    // Measured on AMD Zen 5 against none and 1 KiB ahead: 4 KiB keeps the aligned lines' scan ahead
    // of memchr over 100 MB, where none falls a quarter behind; in cache all are level.
    static constexpr std::size_t kPrefetchAhead = 4096;
    using Hits = __m512i; // a zero byte for each start offset with both anchors
    using Line = __m512i;

    // Lanes whose lines are aligned at the plan's byte `reference`, at or below both anchors.
    Avx512Lanes(const Plan& plan, std::size_t reference) noexcept
        : want0(_mm512_set1_epi8(static_cast<char>(plan.byte0))),
          want1(_mm512_set1_epi8(static_cast<char>(plan.byte1))), index0(cutIndex(plan.anchor0 - reference)),
          index1(cutIndex(plan.anchor1 - reference)),
          cuts(plan.anchor0 - reference < kWidth && plan.anchor1 - reference < kWidth) {}

    explicit Avx512Lanes(const Plan& plan) noexcept
        : Avx512Lanes(plan, plan.anchor0 < plan.anchor1 ? plan.anchor0 : plan.anchor1) {}

    SDK_IMAGE_READER static Hits both(__m512i a, __m512i want0, __m512i b, __m512i want1) noexcept {
        // (a ^ want0) | (b ^ want1): zero only where both bytes are the wanted ones.
        return _mm512_ternarylogic_epi32(_mm512_xor_si512(a, want0), b, want1, 0xF6);
    }

    SDK_IMAGE_READER Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const noexcept {
        return both(_mm512_loadu_si512(anchor0), want0, _mm512_loadu_si512(anchor1), want1);
    }

    SDK_IMAGE_READER static Line loadLine(const std::uint8_t* line) noexcept {
        return _mm512_load_si512(line);
    }

    // Whether both anchors lie less than a line above the reference, as lineHits needs.
    bool cutsLines() const noexcept { return cuts; }

    // The start offsets whose reference byte lies in the line `low` (`high` is the next one).
    // kAtLine: which anchor is the reference byte itself and needs no cut (0 or 1), -1 for neither.
    template <int kAtLine> SDK_IMAGE_READER Hits lineHits(Line low, Line high) const noexcept {
        const __m512i a = kAtLine == 0 ? low : _mm512_permutex2var_epi8(low, index0, high);
        const __m512i b = kAtLine == 1 ? low : _mm512_permutex2var_epi8(low, index1, high);
        return both(a, want0, b, want1);
    }

    static Hits either(Hits a, Hits b) noexcept { return _mm512_min_epu8(a, b); }
    static bool any(Hits hits) noexcept { return _mm512_testn_epi8_mask(hits, hits) != 0; }
    static std::uint64_t bits(Hits hits) noexcept {
        return static_cast<std::uint64_t>(_mm512_testn_epi8_mask(hits, hits));
    }

    __m512i want0;
    __m512i want1;
    __m512i index0;
    __m512i index1;
    bool cuts;
};

} // namespace

} // namespace SDK::Scan

SDK_SCAN_TARGET_END()

namespace SDK::Scan {

// At the baseline, like its declaration; it calls the walk compiled for the instruction set.
const std::uint8_t* findAvx512(const Plan& plan, const std::uint8_t* base, std::size_t size,
                               std::size_t from) noexcept {
    return findWith<Avx512Lanes>(plan, base, size, from);
}

void findEachAvx512(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                    const std::uint8_t** found) noexcept {
    findEachWith<Avx512Lanes>(plans, count, base, size, found);
}

} // namespace SDK::Scan

#endif
