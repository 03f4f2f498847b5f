// The loop of every vector kernel, written once. A kernel brings its lanes: how many start offsets
// one compare covers and how it compares; the skeleton brings the walk.
//
//     struct Lanes {
//         static constexpr std::size_t kWidth;         // start offsets per compare: 16, 32 or 64
//         static constexpr std::size_t kPerBlock;      // compares per step of the aligned body
//         static constexpr std::size_t kPrefetchAhead; // bytes ahead of the body's loads to ask for; 0: none
//         using Hits = ...;                            // which of `kWidth` start offsets show both anchors
//         explicit Lanes(const Plan& plan);
//         Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const;
//         static Hits either(Hits a, Hits b);
//         static bool any(Hits hits);
//         static std::uint64_t bits(Hits hits);       // bit k for start offset k
//     };
//
// The walk: one unaligned compare where the scan begins, then aligned loads of the first anchor a
// block at a time (the few start offsets seen twice were rejected the first time), then single
// compares, then the scalar loop for the last start offsets. A compare is made only while all its
// start offsets are valid starts, so every byte read lies inside the image (an anchor lies inside
// the pattern). Included inside the kernel's instruction-set region; see kernel_common.hpp.
#pragma once

#include "scan/kernel_common.hpp"

namespace SDK::Scan {

template <typename Lanes> struct Skeleton {
    static_assert(Lanes::kWidth <= 64 && 64 % Lanes::kWidth == 0, "a compare's bits fit a 64-bit word");
    static constexpr std::size_t kBlock = Lanes::kWidth * Lanes::kPerBlock;
    static_assert(kBlock % 64 == 0, "a block is whole 64-bit words of candidates");
    static constexpr std::size_t kPerWord = 64 / Lanes::kWidth;
    using Hits = typename Lanes::Hits;

    const Plan& plan;
    const std::uint8_t* base;
    const std::uint8_t* end;
    const std::uint8_t* lane0;
    const std::uint8_t* lane1;
    // The lanes' vectors are not members but arguments: the object holds no over-aligned member,
    // and the out-of-line call below passes none.

    SDK_IMAGE_READER Hits hitsAt(const Lanes& lanes, std::size_t at) const noexcept {
        return lanes.hits(lane0 + at, lane1 + at);
    }

    SDK_IMAGE_READER const std::uint8_t* single(const Lanes& lanes, std::size_t at) const noexcept {
        const std::uint64_t bits = Lanes::bits(hitsAt(lanes, at));
        return bits == 0 ? nullptr : firstVerified(plan, base, end, at, bits);
    }

    // Which start offsets of the block at `at` show both anchors, joined: all the hot loop computes.
    template <std::size_t... B>
    SDK_IMAGE_READER Hits blockHits(const Lanes& lanes, std::size_t at,
                                    std::index_sequence<B...>) const noexcept {
        const Hits hits[] = {hitsAt(lanes, at + B * Lanes::kWidth)...};
        Hits all = hits[0];
        ((all = Lanes::either(all, hits[B])), ...);
        return all;
    }

    SDK_IMAGE_READER Hits blockHits(const Lanes& lanes, std::size_t at) const noexcept {
        return blockHits(lanes, at, std::make_index_sequence<Lanes::kPerBlock>{});
    }

    // The candidates of 64 start offsets from `at`.
    template <std::size_t... C>
    SDK_IMAGE_READER std::uint64_t wordBits(const Lanes& lanes, std::size_t at,
                                            std::index_sequence<C...>) const noexcept {
        return ((Lanes::bits(hitsAt(lanes, at + C * Lanes::kWidth)) << (C * Lanes::kWidth)) | ...);
    }

    // A block with candidates, compared again (its lines are in the nearest cache now) a word at a
    // time; out of line, so that the hot loop keeps its registers.
    SDK_SCAN_NOINLINE SDK_IMAGE_READER const std::uint8_t* blockMatch(std::size_t at) const noexcept {
        const Lanes lanes(plan);
        for (std::size_t word = at; word < at + kBlock; word += 64) {
            const std::uint64_t bits = wordBits(lanes, word, std::make_index_sequence<kPerWord>{});
            if (const std::uint8_t* found = firstVerified(plan, base, end, word, bits)) {
                return found;
            }
        }
        return nullptr;
    }

    // Blocks from `at` while a whole block of start offsets lies below `until`, asking for the first
    // anchor's lines `ahead` bytes on.
    template <std::size_t ahead>
    SDK_IMAGE_READER const std::uint8_t* blocks(const Lanes& lanes, std::size_t& at,
                                                std::size_t until) const noexcept {
        for (; until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                for (std::size_t line = 0; line < kBlock; line += 64) {
                    prefetchLine(lane0 + at + ahead + line);
                }
            }
            if (Lanes::any(blockHits(lanes, at))) {
                if (const std::uint8_t* found = blockMatch(at)) {
                    return found;
                }
            }
        }
        return nullptr;
    }

    SDK_IMAGE_READER const std::uint8_t* find(std::size_t from, std::size_t size) const noexcept {
        const Lanes lanes(plan);
        const std::size_t starts = size - plan.length + 1;
        std::size_t at = from;
        if (starts - at >= Lanes::kWidth) {
            if (const std::uint8_t* found = single(lanes, at)) {
                return found;
            }
            at += Lanes::kWidth - (reinterpret_cast<std::uintptr_t>(lane0 + at) & (Lanes::kWidth - 1));
        }
        if constexpr (Lanes::kPrefetchAhead != 0) {
            // Lines are asked for only inside the image: the last blocks go without.
            if (starts - at > Lanes::kPrefetchAhead) {
                if (const std::uint8_t* found =
                        blocks<Lanes::kPrefetchAhead>(lanes, at, starts - Lanes::kPrefetchAhead)) {
                    return found;
                }
            }
        }
        if (const std::uint8_t* found = blocks<0>(lanes, at, starts)) {
            return found;
        }
        for (; starts - at >= Lanes::kWidth; at += Lanes::kWidth) {
            if (const std::uint8_t* found = single(lanes, at)) {
                return found;
            }
        }
        return scalarTail(plan, base, size, at, starts);
    }
};

// The walk for several plans at once: the same steps as Skeleton::find over the start offsets that
// every plan has, each compare made for every plan still without a match and their candidates
// joined, so that the lines a block reads are loaded once for all plans and the hot loop takes one
// branch per block. A plan leaves the walk at its first verified match, the lowest; the start
// offsets only the shorter plans have are left to each plan's own walk.
template <typename Lanes> struct OnePass {
    using One = Skeleton<Lanes>;
    using Hits = typename Lanes::Hits;
    static constexpr std::size_t kBlock = One::kBlock;

    const Plan* plans;
    const std::uint8_t* base;
    std::size_t size;
    const std::uint8_t** found;
    std::size_t open[kMaxOnePass] = {}; // the plans without a match yet
    std::size_t openCount = 0;

    One one(std::size_t k) const noexcept {
        const Plan& plan = plans[open[k]];
        return One{plan, base, base + size, base + plan.anchor0, base + plan.anchor1};
    }

    // The lanes are made afresh for each plan and block rather than kept in an array: an array of
    // vectors on the stack needs an alignment that not every compiler's stack keeps.
    SDK_IMAGE_READER Hits blockHits(std::size_t at) const noexcept {
        Hits all = one(0).blockHits(Lanes(plans[open[0]]), at);
        for (std::size_t k = 1; k < openCount; ++k) {
            all = Lanes::either(all, one(k).blockHits(Lanes(plans[open[k]]), at));
        }
        return all;
    }

    void close(std::size_t k, const std::uint8_t* match) noexcept {
        found[open[k]] = match;
        open[k] = open[--openCount];
    }

    // The candidates of the block at `at`, plan by plan; out of line, as for one plan.
    SDK_SCAN_NOINLINE SDK_IMAGE_READER void blockMatches(std::size_t at) noexcept {
        for (std::size_t k = 0; k < openCount;) {
            const One walk = one(k);
            const std::uint8_t* match =
                Lanes::any(walk.blockHits(Lanes(plans[open[k]]), at)) ? walk.blockMatch(at) : nullptr;
            if (match != nullptr) {
                close(k, match);
            } else {
                ++k;
            }
        }
    }

    // Two plans open, the engine's case: both plans' lanes stay in registers for the whole walk and
    // the block's compares are made inline (the general walk above makes the lanes afresh for each
    // plan and block, out of line). Returns once a plan has found its match, with `at` past that
    // block, or when the blocks are done.
    template <std::size_t ahead>
    SDK_IMAGE_READER void blocksOfTwo(std::size_t& at, std::size_t until) noexcept {
        const One first = one(0);
        const One second = one(1);
        const Lanes firstLanes(first.plan);
        const Lanes secondLanes(second.plan);
        for (; until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                for (std::size_t line = 0; line < kBlock; line += 64) {
                    prefetchLine(base + at + ahead + line);
                }
            }
            const Hits firstHits = first.blockHits(firstLanes, at);
            const Hits secondHits = second.blockHits(secondLanes, at);
            if (Lanes::any(Lanes::either(firstHits, secondHits))) {
                // Only a plan with candidates looks again, and nothing is compared twice to find it.
                const std::uint8_t* firstMatch = Lanes::any(firstHits) ? first.blockMatch(at) : nullptr;
                const std::uint8_t* secondMatch = Lanes::any(secondHits) ? second.blockMatch(at) : nullptr;
                if (firstMatch != nullptr || secondMatch != nullptr) {
                    // The second first: closing a plan moves the last open one into its place.
                    if (secondMatch != nullptr) {
                        close(1, secondMatch);
                    }
                    if (firstMatch != nullptr) {
                        close(0, firstMatch);
                    }
                    at += kBlock;
                    return;
                }
            }
        }
    }

    template <std::size_t ahead> SDK_IMAGE_READER void blocks(std::size_t& at, std::size_t until) noexcept {
        if (openCount == 2) {
            blocksOfTwo<ahead>(at, until);
        }
        for (; openCount != 0 && until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                for (std::size_t line = 0; line < kBlock; line += 64) {
                    prefetchLine(base + at + ahead + line);
                }
            }
            if (Lanes::any(blockHits(at))) {
                blockMatches(at);
            }
        }
    }

    SDK_IMAGE_READER void run(std::size_t count) noexcept {
        std::size_t longest = 0;
        for (std::size_t i = 0; i < count; ++i) {
            found[i] = nullptr;
            open[i] = i;
            longest = plans[i].length > longest ? plans[i].length : longest;
        }
        openCount = count;
        const std::size_t starts = size - longest + 1; // the start offsets every plan has
        std::size_t at = 0;
        if (starts >= Lanes::kWidth) {
            for (std::size_t k = 0; k < openCount;) {
                if (const std::uint8_t* match = one(k).single(Lanes(plans[open[k]]), 0)) {
                    close(k, match);
                } else {
                    ++k;
                }
            }
            // Aligned to the first anchor of one plan: the loads of the others may straddle lines.
            const std::uint8_t* lane0 = base + plans[openCount == 0 ? 0 : open[0]].anchor0;
            at = Lanes::kWidth - (reinterpret_cast<std::uintptr_t>(lane0) & (Lanes::kWidth - 1));
        }
        if constexpr (Lanes::kPrefetchAhead != 0) {
            // Lines are asked for only inside the image: the last blocks go without.
            if (starts > at && starts - at > Lanes::kPrefetchAhead + longest) {
                blocks<Lanes::kPrefetchAhead>(at, starts - Lanes::kPrefetchAhead - longest);
            }
        }
        if (starts > at) {
            blocks<0>(at, starts);
        }
        for (std::size_t k = 0; k < openCount; ++k) {
            const Plan& plan = plans[open[k]];
            found[open[k]] = at <= size - plan.length ? one(k).find(at, size) : nullptr;
        }
    }
};

// A kernel's entry point: the lowest match at an offset in [from, size - L], or nullptr.
template <typename Lanes>
SDK_IMAGE_READER const std::uint8_t* findWith(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                              std::size_t from) noexcept {
    const Skeleton<Lanes> skeleton{plan, base, base + size, base + plan.anchor0, base + plan.anchor1};
    return skeleton.find(from, size);
}

} // namespace SDK::Scan

namespace SDK::Scan {

// A kernel's one-pass entry point; see findEachScalar.
template <typename Lanes>
SDK_IMAGE_READER void findEachWith(const Plan* plans, std::size_t count, const std::uint8_t* base,
                                   std::size_t size, const std::uint8_t** found) noexcept {
    OnePass<Lanes> pass{plans, base, size, found};
    pass.run(count);
}

} // namespace SDK::Scan
