// The loop of every vector kernel, written once. A kernel brings its lanes: how many start offsets
// one compare covers and how it compares; the skeleton brings the walk.
//
//     struct Lanes {
//         static constexpr std::size_t width;         // start offsets per compare: 16, 32 or 64
//         static constexpr std::size_t perBlock;      // compares per step of the aligned body
//         static constexpr std::size_t prefetchAhead; // bytes ahead of the body's loads to ask for; 0: none
//         using Hits = ...;                           // which of `width` start offsets show both anchors
//         explicit Lanes(const Plan& plan);
//         Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const;
//         static Hits either(Hits a, Hits b);
//         static bool any(Hits hits);
//         static std::uint64_t bits(Hits hits);       // bit k for start offset k
//     };
//
// The walk: one unaligned compare where the scan begins, then aligned loads of the first anchor a
// block at a time (the few start offsets seen twice were rejected the first time), then single
// compares, then the scalar loop for the last start offsets. A compare is issued only while all its
// start offsets are valid starts, so every byte read lies inside the image (an anchor lies inside
// the pattern). Included inside the kernel's instruction-set region; see kernel_common.hpp.
#pragma once

#include "scan/kernel_common.hpp"

namespace SDK::Scan {

template <typename Lanes> struct Skeleton {
    static_assert(Lanes::width <= 64 && 64 % Lanes::width == 0, "a compare's bits fit a 64-bit word");
    static constexpr std::size_t block = Lanes::width * Lanes::perBlock;
    static_assert(block % 64 == 0, "a block is whole 64-bit words of candidates");
    static constexpr std::size_t perWord = 64 / Lanes::width;
    using Hits = typename Lanes::Hits;

    const Plan& plan;
    const std::uint8_t* base;
    const std::uint8_t* end;
    const std::uint8_t* lane0;
    const std::uint8_t* lane1;
    Lanes lanes;

    SDK_IMAGE_READER Hits hitsAt(std::size_t at) const noexcept { return lanes.hits(lane0 + at, lane1 + at); }

    SDK_IMAGE_READER const std::uint8_t* single(std::size_t at) const noexcept {
        const std::uint64_t bits = Lanes::bits(hitsAt(at));
        return bits == 0 ? nullptr : firstVerified(plan, base, end, at, bits);
    }

    // The candidates of word `w` of a block whose compares gave `hits`.
    template <std::size_t... C>
    static std::uint64_t wordBits(const Hits* hits, std::size_t w, std::index_sequence<C...>) noexcept {
        return ((Lanes::bits(hits[w * perWord + C]) << (C * Lanes::width)) | ...);
    }

    template <std::size_t... B, std::size_t... W>
    SDK_IMAGE_READER const std::uint8_t* step(std::size_t at, std::index_sequence<B...>,
                                              std::index_sequence<W...>) const noexcept {
        const Hits hits[] = {hitsAt(at + B * Lanes::width)...};
        Hits all = hits[0];
        ((all = Lanes::either(all, hits[B])), ...);
        if (!Lanes::any(all)) {
            return nullptr;
        }
        const std::uint8_t* found = nullptr;
        static_cast<void>(
            (... ||
             ((found = firstVerified(plan, base, end, at + 64 * W,
                                     wordBits(hits, W, std::make_index_sequence<perWord>{}))) != nullptr)));
        return found;
    }

    SDK_IMAGE_READER const std::uint8_t* find(std::size_t from, std::size_t size) const noexcept {
        const std::size_t starts = size - plan.length + 1;
        std::size_t at = from;
        if (starts - at >= Lanes::width) {
            if (const std::uint8_t* found = single(at)) {
                return found;
            }
            at += Lanes::width - (reinterpret_cast<std::uintptr_t>(lane0 + at) & (Lanes::width - 1));
        }
        for (; starts - at >= block; at += block) {
            if constexpr (Lanes::prefetchAhead != 0) {
                // Only lines inside the image: near the end the last block's lines are asked again.
                const std::size_t ahead =
                    at + Lanes::prefetchAhead < starts - block ? at + Lanes::prefetchAhead : starts - block;
                for (std::size_t line = 0; line < block; line += 64) {
                    prefetchLine(lane0 + ahead + line);
                }
            }
            if (const std::uint8_t* found = step(at, std::make_index_sequence<Lanes::perBlock>{},
                                                 std::make_index_sequence<block / 64>{})) {
                return found;
            }
        }
        for (; starts - at >= Lanes::width; at += Lanes::width) {
            if (const std::uint8_t* found = single(at)) {
                return found;
            }
        }
        return scalarTail(plan, base, size, at, starts);
    }
};

// A kernel's entry point: the lowest match at an offset in [from, size - L], or nullptr.
template <typename Lanes>
SDK_IMAGE_READER const std::uint8_t* findWith(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                              std::size_t from) noexcept {
    const Skeleton<Lanes> skeleton{plan,       base, base + size, base + plan.anchor0, base + plan.anchor1,
                                   Lanes(plan)};
    return skeleton.find(from, size);
}

} // namespace SDK::Scan
