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
// Lanes may also cut both anchors' bytes out of aligned lines (kernel_avx512.cpp), which the body of
// the walk then loads once each, for every plan of the pass:
//
//         Lanes(const Plan& plan, std::size_t reference); // lines aligned at the plan's byte `reference`
//         using Line = ...;
//         static Line loadLine(const std::uint8_t* line);  // line: aligned
//         bool cutsLines() const;                          // both anchors less than a line above it
//         // Start offsets whose reference byte lies in `low` (`high` the next line); kAtLine: the
//         // anchor (0 or 1) that is the reference byte itself, needing no cut, or -1.
//         template <int kAtLine> Hits lineHits(Line low, Line high) const;
//
// The walk: one unaligned compare where the scan begins, then a block at a time the aligned loads
// of the first anchor (or of the lines) (the few start offsets seen twice were rejected the first
// time), then single compares, then the scalar loop for the last start offsets. A compare is made
// only while all its start offsets are valid starts, and a block of lines only while its lines lie
// inside the image, so every byte read lies inside the image (an anchor lies inside the pattern).
// Included inside the kernel's instruction-set region; see kernel_common.hpp.
#pragma once

#include "scan/kernel_common.hpp"

namespace SDK::Scan {

template <typename Lanes>
concept CutsLines = requires(const Lanes& lanes, typename Lanes::Line line, const std::uint8_t* at) {
    Lanes::loadLine(at);
    lanes.cutsLines();
    lanes.template lineHits<-1>(line, line);
};

// The lanes' line where they cut lines, a placeholder otherwise.
template <typename Lanes> struct LineOf {
    struct type {};
};
template <CutsLines Lanes> struct LineOf<Lanes> { using type = typename Lanes::Line; };

// The aligned lines a block of lines reads, each loaded once: the block's own and the next.
template <typename Lanes> struct BlockLines {
    using Line = typename Lanes::Line;
    using Hits = typename Lanes::Hits;
    static constexpr std::size_t kCount = Lanes::kPerBlock + 1;

    Line line[kCount];

    // The lines from `at` (aligned): `low`, the first, is the previous block's last; on return
    // `low` is this block's last.
    template <std::size_t... B>
    SDK_SCAN_INLINE SDK_IMAGE_READER BlockLines(Line& low, const std::uint8_t* at,
                                                std::index_sequence<B...>) noexcept
        : line{low, Lanes::loadLine(at + (B + 1) * Lanes::kWidth)...} {
        low = line[kCount - 1];
    }

    // Which start offsets of the block show both anchors of the plan of `lanes`.
    template <int kAtLine, std::size_t... B>
    SDK_SCAN_INLINE SDK_IMAGE_READER Hits hits(const Lanes& lanes, std::index_sequence<B...>) const noexcept {
        const Hits each[] = {lanes.template lineHits<kAtLine>(line[B], line[B + 1])...};
        Hits all = each[0];
        ((all = Lanes::either(all, each[B])), ...);
        return all;
    }
};

// Asks for the lines of a block from `from`.
template <std::size_t... L>
SDK_IMAGE_READER inline void prefetchLines(const std::uint8_t* from, std::index_sequence<L...>) noexcept {
    (prefetchLine(from + 64 * L), ...);
}
template <std::size_t bytes> SDK_IMAGE_READER inline void prefetchBlock(const std::uint8_t* from) noexcept {
    prefetchLines(from, std::make_index_sequence<bytes / 64>{});
}

// The bound on a block's end (`at + block`) that keeps the lines of a block of lines, aligned at
// the image's byte `reference + at` and one line past the block, inside the image of `size` bytes.
inline std::size_t lineBound(std::size_t size, std::size_t reference, std::size_t width) noexcept {
    return size >= reference + width ? size - reference - width : 0;
}

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
                prefetchBlock<kBlock>(lane0 + at + ahead);
            }
            if (Lanes::any(blockHits(lanes, at))) {
                if (const std::uint8_t* found = blockMatch(at)) {
                    return found;
                }
            }
        }
        return nullptr;
    }

    // The same with the anchors cut from lines aligned at the image's byte `reference + at`, where
    // anchor kAtLine lies.
    template <std::size_t ahead, int kAtLine>
    SDK_IMAGE_READER const std::uint8_t* lineBlocks(const Lanes& lanes, std::size_t& at, std::size_t until,
                                                    std::size_t reference) const noexcept {
        const std::uint8_t* line = base + reference;
        if (until - at < kBlock) {
            return nullptr;
        }
        typename Lanes::Line low = Lanes::loadLine(line + at);
        for (; until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                prefetchBlock<kBlock>(line + at + ahead);
            }
            constexpr auto steps = std::make_index_sequence<Lanes::kPerBlock>{};
            const BlockLines<Lanes> lines(low, line + at, steps);
            if (Lanes::any(lines.template hits<kAtLine>(lanes, steps))) {
                if (const std::uint8_t* found = blockMatch(at)) {
                    return found;
                }
            }
        }
        return nullptr;
    }

    // The blocks from `at` while a whole block lies below `until`: with lines where the lanes cut
    // them (`lines`, aligned at the image's byte `reference + at`), by loads at the anchors otherwise.
    template <std::size_t ahead>
    SDK_IMAGE_READER const std::uint8_t* blocksFrom(const Lanes& lanes, std::size_t& at, std::size_t until,
                                                    [[maybe_unused]] std::size_t reference,
                                                    [[maybe_unused]] bool lines) const noexcept {
        if constexpr (CutsLines<Lanes>) {
            if (lines) {
                return plan.anchor0 == reference ? lineBlocks<ahead, 0>(lanes, at, until, reference)
                                                 : lineBlocks<ahead, 1>(lanes, at, until, reference);
            }
        }
        return blocks<ahead>(lanes, at, until);
    }

    SDK_IMAGE_READER const std::uint8_t* find(std::size_t from, std::size_t size) const noexcept {
        const Lanes lanes(plan);
        const std::size_t starts = size - plan.length + 1;
        // Where the blocks align: the first anchor, or with lines the lower anchor.
        std::size_t reference = plan.anchor0;
        std::size_t until = starts;
        bool lines = false;
        if constexpr (CutsLines<Lanes>) {
            lines = lanes.cutsLines();
            if (lines) {
                reference = plan.anchor0 < plan.anchor1 ? plan.anchor0 : plan.anchor1;
                const std::size_t bound = lineBound(size, reference, Lanes::kWidth);
                until = bound < starts ? bound : starts;
            }
        }
        std::size_t at = from;
        if (starts - at >= Lanes::kWidth) {
            if (const std::uint8_t* found = single(lanes, at)) {
                return found;
            }
            at += Lanes::kWidth -
                  (reinterpret_cast<std::uintptr_t>(base + reference + at) & (Lanes::kWidth - 1));
        }
        until = until > at ? until : at;
        const std::uint8_t* inBlocks = nullptr;
        if constexpr (Lanes::kPrefetchAhead != 0) {
            // Lines are asked for only inside the image: the last blocks go without.
            if (until - at > Lanes::kPrefetchAhead) {
                inBlocks = blocksFrom<Lanes::kPrefetchAhead>(lanes, at, until - Lanes::kPrefetchAhead,
                                                             reference, lines);
            }
        }
        if (inBlocks == nullptr) {
            inBlocks = blocksFrom<0>(lanes, at, until, reference, lines);
        }
        if (inBlocks != nullptr) {
            return inBlocks;
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

    // A plan's lanes for lines aligned at the image's byte `reference + at`, where the lanes cut
    // lines; otherwise its lanes (their loads are at its own anchors).
    static Lanes lanesFor(const Plan& plan, [[maybe_unused]] std::size_t reference) noexcept {
        if constexpr (CutsLines<Lanes>) {
            return Lanes(plan, reference);
        } else {
            return Lanes(plan);
        }
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
    // the block's compares are made inline (the general walk below makes the lanes afresh for each
    // plan and block, out of line). With `lines`, both plans' anchors are cut from the same lines,
    // aligned at the image's byte `reference + at`. Returns once a plan has found its match, with
    // `at` past that block, or when the blocks are done.
    template <std::size_t ahead, bool kLines, int kFirstAtLine = -1>
    SDK_IMAGE_READER void blocksOfTwo(std::size_t& at, std::size_t until, std::size_t reference) noexcept {
        const One first = one(0);
        const One second = one(1);
        const Lanes firstLanes = lanesFor(first.plan, reference);
        const Lanes secondLanes = lanesFor(second.plan, reference);
        const std::uint8_t* line = base + reference;
        typename LineOf<Lanes>::type low{};
        if constexpr (kLines) {
            if (until - at >= kBlock) {
                low = Lanes::loadLine(line + at);
            }
        }
        for (; until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                prefetchBlock<kBlock>(line + at + ahead);
            }
            Hits firstHits;
            Hits secondHits;
            if constexpr (kLines) {
                constexpr auto steps = std::make_index_sequence<Lanes::kPerBlock>{};
                const BlockLines<Lanes> block(low, line + at, steps);
                firstHits = block.template hits<kFirstAtLine>(firstLanes, steps);
                secondHits = block.template hits<-1>(secondLanes, steps);
            } else {
                firstHits = first.blockHits(firstLanes, at);
                secondHits = second.blockHits(secondLanes, at);
            }
            if (Lanes::any(Lanes::either(firstHits, secondHits))) {
                // Only a plan with candidates looks again.
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

    // Blocks while more than one plan is open; a plan left alone finishes with its own walk.
    template <std::size_t ahead>
    SDK_IMAGE_READER void blocks(std::size_t& at, std::size_t until, std::size_t reference,
                                 [[maybe_unused]] bool lines) noexcept {
        if (openCount == 2) {
            if constexpr (CutsLines<Lanes>) {
                if (lines) {
                    // The first plan's anchor at the reference needs no cut (run puts it first).
                    if (plans[open[0]].anchor0 == reference) {
                        blocksOfTwo<ahead, true, 0>(at, until, reference);
                    } else {
                        blocksOfTwo<ahead, true, 1>(at, until, reference);
                    }
                } else {
                    blocksOfTwo<ahead, false>(at, until, reference);
                }
            } else {
                blocksOfTwo<ahead, false>(at, until, reference);
            }
        }
        for (; openCount > 1 && until - at >= kBlock; at += kBlock) {
            if constexpr (ahead != 0) {
                prefetchBlock<kBlock>(base + at + ahead);
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
        std::size_t until = starts; // where the blocks end
        std::size_t reference = 0;  // the blocks align the image's byte `reference + at`
        bool lines = false;
        if (starts >= Lanes::kWidth) {
            for (std::size_t k = 0; k < openCount;) {
                if (const std::uint8_t* match = one(k).single(Lanes(plans[open[k]]), 0)) {
                    close(k, match);
                } else {
                    ++k;
                }
            }
            if (openCount == 0) {
                return;
            }
            // Aligned to the first anchor of one plan: the loads of the others may straddle lines.
            // Two plans whose lanes cut lines: to the lowest of their anchors.
            reference = plans[open[0]].anchor0;
            if constexpr (CutsLines<Lanes>) {
                if (openCount == 2) {
                    std::size_t lowest = reference;
                    for (const std::size_t k : {open[0], open[1]}) {
                        lowest = plans[k].anchor0 < lowest ? plans[k].anchor0 : lowest;
                        lowest = plans[k].anchor1 < lowest ? plans[k].anchor1 : lowest;
                    }
                    lines = Lanes(plans[open[0]], lowest).cutsLines() &&
                            Lanes(plans[open[1]], lowest).cutsLines();
                    if (lines) {
                        reference = lowest;
                        if (plans[open[1]].anchor0 == lowest || plans[open[1]].anchor1 == lowest) {
                            std::swap(open[0], open[1]);
                        }
                        const std::size_t bound = lineBound(size, reference, Lanes::kWidth);
                        until = bound < starts ? bound : starts;
                    }
                }
            }
            at = Lanes::kWidth - (reinterpret_cast<std::uintptr_t>(base + reference) & (Lanes::kWidth - 1));
        }
        if constexpr (Lanes::kPrefetchAhead != 0) {
            // Lines are asked for only inside the image: the last blocks go without.
            if (until > at && until - at > Lanes::kPrefetchAhead + longest) {
                blocks<Lanes::kPrefetchAhead>(at, until - Lanes::kPrefetchAhead - longest, reference, lines);
            }
        }
        if (until > at) {
            blocks<0>(at, until, reference, lines);
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
