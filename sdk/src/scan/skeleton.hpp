// The walk of every vector kernel, written once. A kernel brings its lanes: how many start offsets
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
// The walk, for one plan (Walk::find) or for several in one pass (OnePass::run), has three parts:
//
//   head  one unaligned compare where the scan begins, then on to where the blocks align;
//   body  eachBlock, the one loop over blocks, with a block step that says what a block computes:
//           OnePlanLoads  one plan, its compares loaded at its two anchors (SSE2, AVX2)
//           OnePlanLines  one plan, both anchors cut out of aligned lines (AVX-512)
//           TwoPlans      two plans, both lanes kept in registers, by loads or lines (the engine's case)
//           ManyPlans     three plans or more, each plan's lanes made afresh for each block
//         first asking for the lines kPrefetchAhead bytes on, then without for the last blocks;
//   tail  single compares, then the scalar loop for the last start offsets (OnePass: each plan
//         still open goes on alone, with Walk::find).
//
// The blocks' aligned loads are of the first anchor (or of the lines); the few start offsets the head
// and the body both see were rejected the first time. A compare is made only while all its start
// offsets are valid starts, and a block of lines only while its lines lie inside the image, so every
// byte read lies inside the image (an anchor lies inside the pattern).
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

// Where a walk's blocks lie: aligned at the image's byte `reference + at`, while a whole block of
// start offsets lies below `until`; with `lines`, the lanes cut every anchor out of lines aligned
// there.
struct BlockRange {
    std::size_t reference = 0;
    std::size_t until = 0;
    bool lines = false;
};

// The first start offset past a compare at `at` whose byte `reference` is aligned to the lanes' width.
template <typename Lanes>
inline std::size_t alignedAfter(const std::uint8_t* base, std::size_t reference, std::size_t at) noexcept {
    return at + Lanes::kWidth -
           (reinterpret_cast<std::uintptr_t>(base + reference + at) & (Lanes::kWidth - 1));
}

// The one loop over blocks: from `at` while a whole block of start offsets lies below `until`, asking
// for the lines `ahead` bytes past each block of `line + at`. The step computes the block's candidates
// inline and, only where there are some, looks again out of line; it says when the walk is done, and
// the loop then returns true with `at` past that block.
template <std::size_t kBlock, std::size_t ahead, typename Step>
SDK_SCAN_INLINE SDK_IMAGE_READER bool eachBlock(Step& step, const std::uint8_t* line, std::size_t& at,
                                                std::size_t until) noexcept {
    if (until - at < kBlock) {
        return false;
    }
    step.start(at);
    for (; until - at >= kBlock; at += kBlock) {
        if constexpr (ahead != 0) {
            prefetchBlock<kBlock>(line + at + ahead);
        }
        // Blocks with candidates are rare: the compiler keeps the lanes in registers for the others.
        if (const auto hits = step.candidates(at); Step::any(hits)) [[unlikely]] {
            if (step.done(at, hits)) {
                at += kBlock;
                return true;
            }
        }
    }
    return false;
}

// The body of a walk, the blocks from `at` (at most `until`): first asking for lines ahead, then
// without for the last blocks, since lines are asked for only inside the image.
template <typename Lanes, typename Step>
SDK_SCAN_INLINE SDK_IMAGE_READER bool eachBlockOf(Step& step, const std::uint8_t* line, std::size_t& at,
                                                  std::size_t until) noexcept {
    constexpr std::size_t kBlock = Lanes::kWidth * Lanes::kPerBlock;
    if constexpr (Lanes::kPrefetchAhead != 0) {
        if (until - at > Lanes::kPrefetchAhead &&
            eachBlock<kBlock, Lanes::kPrefetchAhead>(step, line, at, until - Lanes::kPrefetchAhead)) {
            return true;
        }
    }
    return eachBlock<kBlock, 0>(step, line, at, until);
}

// The walk for one plan.
template <typename Lanes> struct Walk {
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

    // The blocks of the start offsets [0, starts) of an image of `size` bytes: aligned at the first
    // anchor, or where the lanes cut lines at the lower anchor, as far as those lines lie inside.
    BlockRange blockRange(const Lanes& lanes, std::size_t size, std::size_t starts) const noexcept {
        BlockRange range{plan.anchor0, starts, false};
        if constexpr (CutsLines<Lanes>) {
            if (lanes.cutsLines()) {
                range.lines = true;
                range.reference = plan.anchor0 < plan.anchor1 ? plan.anchor0 : plan.anchor1;
                const std::size_t bound = lineBound(size, range.reference, Lanes::kWidth);
                range.until = bound < starts ? bound : starts;
            }
        }
        return range;
    }

    SDK_IMAGE_READER const std::uint8_t* inBlocks(const Lanes& lanes, const BlockRange& range,
                                                  std::size_t& at) const noexcept;

    SDK_IMAGE_READER const std::uint8_t* tail(const Lanes& lanes, std::size_t at,
                                              std::size_t starts) const noexcept {
        for (; starts - at >= Lanes::kWidth; at += Lanes::kWidth) {
            if (const std::uint8_t* found = single(lanes, at)) {
                return found;
            }
        }
        return scalarTail(plan, base, static_cast<std::size_t>(end - base), at, starts);
    }

    // The lowest match at a start offset in [from, size - L], or nullptr.
    SDK_IMAGE_READER const std::uint8_t* find(std::size_t from, std::size_t size) const noexcept {
        const Lanes lanes(plan);
        const std::size_t starts = size - plan.length + 1;
        const BlockRange range = blockRange(lanes, size, starts);
        std::size_t at = from;
        if (starts - at >= Lanes::kWidth) {
            if (const std::uint8_t* found = single(lanes, at)) {
                return found;
            }
            at = alignedAfter<Lanes>(base, range.reference, at);
        }
        if (const std::uint8_t* found = inBlocks(lanes, range, at)) {
            return found;
        }
        return tail(lanes, at, starts);
    }
};

// The block steps: what the loop computes for a block (`candidates`, inline), what it does with a
// block that has some (`done`, out of line but for the step's bookkeeping: whether the walk ends
// there), and what it loads before the first block (`start`). A step holds its lanes and holds its
// walk by reference: the walk's out-of-line calls take the walk's address, never the step's, so that
// the step (the lanes, what it keeps from block to block) stays in registers.

// One plan, each compare loading at the plan's anchors.
template <typename Lanes> struct OnePlanLoads {
    const Walk<Lanes>& walk;
    const Lanes lanes;
    const std::uint8_t*& found;

    SDK_SCAN_INLINE void start(std::size_t) noexcept {}
    SDK_SCAN_INLINE SDK_IMAGE_READER typename Lanes::Hits candidates(std::size_t at) const noexcept {
        return walk.blockHits(lanes, at);
    }
    static bool any(typename Lanes::Hits hits) noexcept { return Lanes::any(hits); }
    SDK_SCAN_INLINE SDK_IMAGE_READER bool done(std::size_t at, typename Lanes::Hits) noexcept {
        found = walk.blockMatch(at);
        return found != nullptr;
    }
};

// One plan, both anchors cut out of the lines from `line`, where anchor kAtLine lies.
template <typename Lanes, int kAtLine> struct OnePlanLines {
    const Walk<Lanes>& walk;
    const Lanes lanes;
    const std::uint8_t* line;
    const std::uint8_t*& found;
    typename Lanes::Line low{};

    SDK_SCAN_INLINE SDK_IMAGE_READER void start(std::size_t at) noexcept { low = Lanes::loadLine(line + at); }
    SDK_SCAN_INLINE SDK_IMAGE_READER typename Lanes::Hits candidates(std::size_t at) noexcept {
        constexpr auto steps = std::make_index_sequence<Lanes::kPerBlock>{};
        const BlockLines<Lanes> lines(low, line + at, steps);
        return lines.template hits<kAtLine>(lanes, steps);
    }
    static bool any(typename Lanes::Hits hits) noexcept { return Lanes::any(hits); }
    SDK_SCAN_INLINE SDK_IMAGE_READER bool done(std::size_t at, typename Lanes::Hits) noexcept {
        found = walk.blockMatch(at);
        return found != nullptr;
    }
};

template <typename Lanes> struct OnePass;

// Two plans, the engine's case: both plans' lanes stay in registers for the whole walk and the block's
// compares are made inline. With kLines, both plans' anchors are cut from the same lines from `line`;
// the first plan's anchor kFirstAtLine lies at them. Done once a plan has found its match.
template <typename Lanes, bool kLines, int kFirstAtLine> struct TwoPlans {
    using Hits = typename Lanes::Hits;

    OnePass<Lanes>& pass;
    const Walk<Lanes>& first;
    const Walk<Lanes>& second;
    const Lanes firstLanes;
    const Lanes secondLanes;
    const std::uint8_t* line;
    typename LineOf<Lanes>::type low{};

    struct BothHits {
        Hits first;
        Hits second;
    };

    SDK_SCAN_INLINE SDK_IMAGE_READER void start(std::size_t at) noexcept {
        if constexpr (kLines) {
            low = Lanes::loadLine(line + at);
        }
    }
    SDK_SCAN_INLINE SDK_IMAGE_READER BothHits candidates(std::size_t at) noexcept {
        if constexpr (kLines) {
            // One load of each line for both plans.
            constexpr auto steps = std::make_index_sequence<Lanes::kPerBlock>{};
            const BlockLines<Lanes> lines(low, line + at, steps);
            return {lines.template hits<kFirstAtLine>(firstLanes, steps),
                    lines.template hits<-1>(secondLanes, steps)};
        } else {
            return {first.blockHits(firstLanes, at), second.blockHits(secondLanes, at)};
        }
    }
    static bool any(const BothHits& hits) noexcept {
        return Lanes::any(Lanes::either(hits.first, hits.second));
    }
    SDK_SCAN_INLINE SDK_IMAGE_READER bool done(std::size_t at, const BothHits& hits) noexcept {
        // Only a plan with candidates looks again.
        const std::uint8_t* firstMatch = Lanes::any(hits.first) ? first.blockMatch(at) : nullptr;
        const std::uint8_t* secondMatch = Lanes::any(hits.second) ? second.blockMatch(at) : nullptr;
        // The second first: closing a plan moves the last open one into its place.
        if (secondMatch != nullptr) {
            pass.close(1, secondMatch);
        }
        if (firstMatch != nullptr) {
            pass.close(0, firstMatch);
        }
        return firstMatch != nullptr || secondMatch != nullptr;
    }
};

// Three plans or more: each plan's lanes are made afresh for each block rather than kept in an array,
// since an array of vectors on the stack needs an alignment that not every compiler's stack keeps.
// Done once a single plan is left open, to go on alone.
template <typename Lanes> struct ManyPlans {
    OnePass<Lanes>& pass;

    SDK_SCAN_INLINE void start(std::size_t) noexcept {}
    SDK_SCAN_INLINE SDK_IMAGE_READER typename Lanes::Hits candidates(std::size_t at) const noexcept {
        return pass.blockHits(at);
    }
    static bool any(typename Lanes::Hits hits) noexcept { return Lanes::any(hits); }
    SDK_SCAN_INLINE SDK_IMAGE_READER bool done(std::size_t at, typename Lanes::Hits) noexcept {
        pass.blockMatches(at);
        return pass.openCount <= 1;
    }
};

template <typename Lanes>
SDK_IMAGE_READER const std::uint8_t* Walk<Lanes>::inBlocks(const Lanes& lanes, const BlockRange& range,
                                                           std::size_t& at) const noexcept {
    const std::size_t until = range.until > at ? range.until : at;
    const std::uint8_t* line = base + range.reference;
    const std::uint8_t* found = nullptr;
    if constexpr (CutsLines<Lanes>) {
        if (range.lines) {
            if (plan.anchor0 == range.reference) {
                OnePlanLines<Lanes, 0> step{*this, lanes, line, found};
                eachBlockOf<Lanes>(step, line, at, until);
            } else {
                OnePlanLines<Lanes, 1> step{*this, lanes, line, found};
                eachBlockOf<Lanes>(step, line, at, until);
            }
            return found;
        }
    }
    OnePlanLoads<Lanes> step{*this, lanes, found};
    eachBlockOf<Lanes>(step, line, at, until);
    return found;
}

// The walk for several plans at once: the same steps as Walk::find over the start offsets that every
// plan has, each compare made for every plan still without a match and their candidates joined, so
// that the lines a block reads are loaded once for all plans and the hot loop takes one branch per
// block. A plan leaves the walk at its first verified match, the lowest; the start offsets only the
// shorter plans have are left to each plan's own walk.
template <typename Lanes> struct OnePass {
    using One = Walk<Lanes>;
    using Hits = typename Lanes::Hits;

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

    SDK_SCAN_INLINE SDK_IMAGE_READER Hits blockHits(std::size_t at) const noexcept {
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

    // Opens the first `count` plans; returns the longest one's length.
    std::size_t openAll(std::size_t count) noexcept {
        std::size_t longest = 0;
        for (std::size_t i = 0; i < count; ++i) {
            found[i] = nullptr;
            open[i] = i;
            longest = plans[i].length > longest ? plans[i].length : longest;
        }
        openCount = count;
        return longest;
    }

    // The head: each plan's unaligned compare at the image's start. False where it leaves none open.
    SDK_IMAGE_READER bool firstCompares() noexcept {
        for (std::size_t k = 0; k < openCount;) {
            if (const std::uint8_t* match = one(k).single(Lanes(plans[open[k]]), 0)) {
                close(k, match);
            } else {
                ++k;
            }
        }
        return openCount != 0;
    }

    // The blocks of the start offsets [0, starts) that every plan has: aligned at the first anchor of
    // one plan (the loads of the others may straddle lines); for two plans whose lanes cut lines, at
    // the lowest of their anchors, as far as those lines lie inside, that plan put first.
    BlockRange blockRange(std::size_t starts) noexcept {
        BlockRange range{plans[open[0]].anchor0, starts, false};
        if constexpr (CutsLines<Lanes>) {
            if (openCount == 2) {
                std::size_t lowest = range.reference;
                for (const std::size_t k : {open[0], open[1]}) {
                    lowest = plans[k].anchor0 < lowest ? plans[k].anchor0 : lowest;
                    lowest = plans[k].anchor1 < lowest ? plans[k].anchor1 : lowest;
                }
                range.lines =
                    Lanes(plans[open[0]], lowest).cutsLines() && Lanes(plans[open[1]], lowest).cutsLines();
                if (range.lines) {
                    range.reference = lowest;
                    if (plans[open[1]].anchor0 == lowest || plans[open[1]].anchor1 == lowest) {
                        std::swap(open[0], open[1]);
                    }
                    const std::size_t bound = lineBound(size, lowest, Lanes::kWidth);
                    range.until = bound < starts ? bound : starts;
                }
            }
        }
        return range;
    }

    // Out of line: a function of its own, its loop keeps both plans' lanes in registers (inlined into
    // run, g++ 12 reloaded them from the stack for every block).
    template <bool kLines, int kFirstAtLine = -1>
    SDK_SCAN_NOINLINE SDK_IMAGE_READER void twoPlans(const BlockRange& range, std::size_t& at,
                                                     std::size_t until) noexcept {
        // The walks are apart from the step: their out-of-line calls take their address, and the step's
        // own values (the lanes' hits) stay in registers only while nothing takes its address.
        const One first = one(0);
        const One second = one(1);
        const std::uint8_t* line = base + range.reference;
        TwoPlans<Lanes, kLines, kFirstAtLine> step{*this,
                                                   first,
                                                   second,
                                                   lanesFor(first.plan, range.reference),
                                                   lanesFor(second.plan, range.reference),
                                                   line};
        eachBlockOf<Lanes>(step, line, at, until);
    }

    // The body while more than one plan is open.
    SDK_IMAGE_READER void inBlocks(const BlockRange& range, std::size_t& at) noexcept {
        const std::size_t until = range.until > at ? range.until : at;
        if (openCount > 2) {
            ManyPlans<Lanes> step{*this};
            eachBlockOf<Lanes>(step, base + range.reference, at, until);
        } else if (openCount == 2) {
            if constexpr (CutsLines<Lanes>) {
                if (range.lines) {
                    // The first plan's anchor at the reference needs no cut.
                    if (plans[open[0]].anchor0 == range.reference) {
                        twoPlans<true, 0>(range, at, until);
                    } else {
                        twoPlans<true, 1>(range, at, until);
                    }
                    return;
                }
            }
            twoPlans<false>(range, at, until);
        }
    }

    // The tail: each plan still open goes on alone from `at`.
    SDK_IMAGE_READER void finish(std::size_t at) noexcept {
        for (std::size_t k = 0; k < openCount; ++k) {
            const Plan& plan = plans[open[k]];
            found[open[k]] = at <= size - plan.length ? one(k).find(at, size) : nullptr;
        }
    }

    SDK_IMAGE_READER void run(std::size_t count) noexcept {
        const std::size_t starts = size - openAll(count) + 1; // the start offsets every plan has
        std::size_t at = 0;
        if (starts >= Lanes::kWidth) {
            if (!firstCompares()) {
                return;
            }
            const BlockRange range = blockRange(starts);
            at = alignedAfter<Lanes>(base, range.reference, 0);
            inBlocks(range, at);
        }
        finish(at);
    }
};

// A kernel's entry point: the lowest match at an offset in [from, size - L], or nullptr.
template <typename Lanes>
SDK_IMAGE_READER const std::uint8_t* findWith(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                              std::size_t from) noexcept {
    const Walk<Lanes> walk{plan, base, base + size, base + plan.anchor0, base + plan.anchor1};
    return walk.find(from, size);
}

// A kernel's one-pass entry point; see findEachScalar.
template <typename Lanes>
SDK_IMAGE_READER void findEachWith(const Plan* plans, std::size_t count, const std::uint8_t* base,
                                   std::size_t size, const std::uint8_t** found) noexcept {
    OnePass<Lanes> pass{plans, base, size, found};
    pass.run(count);
}

} // namespace SDK::Scan
