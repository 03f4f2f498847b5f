#include "sdk/pattern_scan.hpp"

#include <array>
#include <cstring>
#include <functional>

#include "scan/parts.hpp"
#include "scan/plan.hpp"

namespace SDK {

namespace {

// How often each byte value occurs in x86-64 machine code, per 65536 bytes (counted over the .text
// of about 100 MB of Windows DLLs and of a large Linux shared library; `brickwright-bench
// --byte-frequencies` prints this table for the bench's image, or for the file given with --image). Anchors
// are the rarest fixed bytes: a candidate must show both, so the rarer they are the fewer candidates reach
// the full comparison. 00, 48, 89, FF, 0F, 8B and E8 are everywhere; A0..BF (other than B8) are rare.
constexpr std::array<std::uint16_t, 256> kCodeByteFrequency = {
    9363, 1284, 478, 454,  565,  555, 202, 183, 691,  150,  92,  82,   148,  282,  70,  2003, //
    602,  210,  65,  61,   115,  253, 49,  44,  268,  41,   38,  39,   74,   51,   35,  492,  //
    441,  66,   40,  33,   2271, 153, 31,  30,  368,  113,  37,  42,   73,   48,   148, 38,   //
    299,  408,  34,  48,   65,   74,  33,  34,  237,  299,  38,  113,  99,   75,   38,  42,   //
    398,  926,  71,  188,  1053, 312, 101, 100, 4812, 626,  56,  79,   1329, 212,  55,  50,   //
    246,  75,   36,  172,  255,  131, 144, 143, 147,  68,   33,  183,  174,  135,  167, 132,  //
    140,  28,   27,  61,   114,  61,  599, 27,  109,  35,   26,  34,   116,  34,   50,  56,   //
    120,  32,   71,  70,   562,  313, 58,  65,  114,  37,   28,  54,   177,  45,   60,  71,   //
    290,  168,  45,  1009, 900,  631, 49,  58,  132,  2817, 46,  1733, 118,  1193, 35,  30,   //
    737,  28,   27,  30,   139,  36,  26,  25,  69,   23,   21,  21,   59,   23,   22,  24,   //
    79,   21,   21,  28,   43,   28,  30,  21,  81,   27,   37,  26,   59,   22,   21,  35,   //
    83,   26,   24,  25,   80,   25,  142, 119, 197,  186,  154, 43,   132,  41,   86,  54,   //
    584,  402,  167, 383,  235,  117, 200, 427, 143,  182,  66,  69,   59,   48,   68,  52,   //
    139,  98,   166, 72,   36,   56,  77,  58,  132,  108,  77,  91,   32,   42,   63,  112,  //
    182,  88,   81,  47,   53,   49,  68,  78,  916,  405,  92,  270,  170,  97,   86,  122,  //
    166,  106,  128, 210,  41,   51,  288, 137, 218,  130,  128, 98,   91,   209,  371, 2330, //
};

// scanForPattern prepares at most this many bytes into words on its stack; the rest of a longer
// pattern is compared with the caller's bytes directly.
constexpr std::size_t kStackCoverage = 256;
constexpr std::size_t kStackWords = 2 * (kStackCoverage / 8);

struct Element {
    bool fixed;
    std::uint8_t value;
};

// Fills in the anchors and the words of `plan` for the pattern's first `covered` bytes;
// `fixedAt(i)` gives element i. `words` holds 2 * ceil(covered / 8) values.
template <typename FixedAt>
void describe(Scan::Plan& plan, std::size_t length, std::size_t covered, std::uint64_t* words,
              FixedAt fixedAt) {
    plan.length = length;
    plan.covered = covered;
    plan.words = words;
    plan.wordCount = (covered + 7) / 8;

    // The two rarest fixed bytes; ties go to the earlier position.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t first = kNone;
    std::size_t second = kNone;
    auto rarer = [&](std::size_t i, std::size_t than) {
        return than == kNone ||
               kCodeByteFrequency[fixedAt(i).value] < kCodeByteFrequency[fixedAt(than).value];
    };
    for (std::size_t i = 0; i < length; ++i) {
        if (!fixedAt(i).fixed) {
            continue;
        }
        if (rarer(i, first)) {
            second = first;
            first = i;
        } else if (rarer(i, second)) {
            second = i;
        }
    }
    plan.anchored = first != kNone;
    if (plan.anchored) {
        if (second == kNone) {
            second = first;
        }
        plan.anchor0 = first;
        plan.anchor1 = second;
        plan.byte0 = fixedAt(first).value;
        plan.byte1 = fixedAt(second).value;
    }

    // Built byte by byte through memcpy so that byte i of a word is the byte that a load from
    // image + offset + i puts there, whatever the byte order.
    for (std::size_t k = 0; k < plan.wordCount; ++k) {
        const std::size_t begin = covered < 8 ? 0 : (k + 1 == plan.wordCount ? covered - 8 : 8 * k);
        std::array<std::uint8_t, 8> flipped{};
        std::array<std::uint8_t, 8> mask{};
        for (std::size_t b = 0; b < 8 && begin + b < covered; ++b) {
            const Element element = fixedAt(begin + b);
            if (element.fixed) {
                flipped[b] = static_cast<std::uint8_t>(~element.value);
                mask[b] = 0xFF;
            }
        }
        std::memcpy(&words[2 * k], flipped.data(), 8);
        std::memcpy(&words[2 * k + 1], mask.data(), 8);
    }
}

bool startsInside(const std::uint8_t* base, std::size_t size, std::size_t length) noexcept {
    return base != nullptr && length != 0 && size >= length;
}

} // namespace

const std::uint8_t* scanForPattern(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                   std::size_t size, ScanKernel kernel) noexcept {
    if (pattern == nullptr || mask == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(mask);
    if (!startsInside(base, size, length)) {
        return nullptr;
    }
    auto fixedAt = [&](std::size_t i) { return Element{mask[i] == 'x', pattern[i]}; };
    std::array<std::uint64_t, kStackWords> words;
    Scan::Plan plan;
    describe(plan, length, length < kStackCoverage ? length : kStackCoverage, words.data(), fixedAt);
    plan.tailPattern = pattern;
    plan.tailMask = mask;
    return Scan::findFirst(kernel, plan, base, size, 0);
}

PreparedPattern::PreparedPattern(const std::uint8_t* pattern, const char* mask) {
    const std::size_t length = std::strlen(mask);
    prepare(length, [&](std::size_t i) { return Element{mask[i] == 'x', pattern[i]}; });
}

PreparedPattern::PreparedPattern(std::span<const PatternByte> elements) {
    prepare(elements.size(), [&](std::size_t i) { return Element{elements[i].fixed, elements[i].value}; });
}

template <typename FixedAt> void PreparedPattern::prepare(std::size_t length, FixedAt fixedAt) {
    words_.assign(2 * ((length + 7) / 8), 0);
    Scan::Plan plan;
    describe(plan, length, length, words_.data(), fixedAt);
    length_ = length;
    anchored_ = plan.anchored;
    anchor0_ = plan.anchor0;
    anchor1_ = plan.anchor1;
    byte0_ = plan.byte0;
    byte1_ = plan.byte1;
}

const std::uint8_t* PreparedPattern::findFrom(const std::uint8_t* base, std::size_t size, std::size_t from,
                                              ScanKernel kernel) const noexcept {
    if (!startsInside(base, size, length_) || from > size - length_) {
        return nullptr;
    }
    Scan::Plan plan;
    describeTo(plan);
    return Scan::findFirst(kernel, plan, base, size, from);
}

void PreparedPattern::describeTo(Scan::Plan& plan) const noexcept {
    plan.length = length_;
    plan.covered = length_;
    plan.anchored = anchored_;
    plan.anchor0 = anchor0_;
    plan.anchor1 = anchor1_;
    plan.byte0 = byte0_;
    plan.byte1 = byte1_;
    plan.words = words_.data();
    plan.wordCount = words_.size() / 2;
}

const std::uint8_t* PreparedPattern::find(const std::uint8_t* base, std::size_t size,
                                          ScanKernel kernel) const noexcept {
    return findFrom(base, size, 0, kernel);
}

const std::uint8_t* PreparedPattern::findNext(const std::uint8_t* base, std::size_t size,
                                              const std::uint8_t* previous,
                                              ScanKernel kernel) const noexcept {
    if (previous == nullptr || base == nullptr) {
        return findFrom(base, size, 0, kernel);
    }
    // Pointers into unrelated storage compare safely only through std::less.
    if (std::less<const std::uint8_t*>{}(previous, base) ||
        !std::less<const std::uint8_t*>{}(previous, base + size)) {
        return nullptr;
    }
    return findFrom(base, size, static_cast<std::size_t>(previous - base) + 1, kernel);
}

std::size_t PreparedPattern::count(const std::uint8_t* base, std::size_t size,
                                   ScanKernel kernel) const noexcept {
    std::size_t matches = 0;
    for (const std::uint8_t* at = find(base, size, kernel); at != nullptr;
         at = findNext(base, size, at, kernel)) {
        ++matches;
    }
    return matches;
}

std::vector<const std::uint8_t*> findEach(std::span<const PreparedPattern> patterns, const std::uint8_t* base,
                                          std::size_t size, const ScanOptions& options) {
    std::vector<const std::uint8_t*> found(patterns.size(), nullptr);
    std::vector<Scan::Plan> plans(patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        patterns[i].describeTo(plans[i]);
    }
    Scan::findEachInParts(options.kernel, plans.data(), plans.size(), base, size,
                          Scan::partCount(size, options.threads), Scan::startThread, found.data());
    return found;
}

} // namespace SDK
