// findEach, several patterns in one pass: against a reference scan per pattern for random pattern
// sets (shared and overlapping anchors, duplicates) at every alignment, under every kernel; an image
// split into parts, with matches across every split, on 1 to 8 threads and when threads cannot start.
#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "reference_scan.hpp"
#include "scan/parts.hpp"
#include "scan/skeleton.hpp"
#include "scan_test_support.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using scantest::EveryKernel;
using scantest::TestPlan;

struct Pattern {
    std::vector<std::uint8_t> bytes;
    std::string mask;
};

struct SetCase {
    std::vector<Pattern> patterns;
    std::vector<std::uint8_t> storage; // the image lies at storage.data() + alignment
    std::size_t alignment = 0;
    std::size_t size = 0;

    const std::uint8_t* base() const { return storage.data() + alignment; }
};

class SetMaker {
public:
    explicit SetMaker(std::uint64_t seed) : random_(seed) {}

    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }

    // 1 to 8 patterns, each new, a duplicate, a window of an earlier one (its anchors shifted or
    // shared) or an earlier one with one byte changed.
    std::vector<Pattern> patterns() {
        std::vector<Pattern> made;
        const std::size_t count = 1 + below(8);
        while (made.size() < count) {
            const unsigned kind = made.empty() ? 0u : static_cast<unsigned>(below(4));
            if (kind == 0) {
                made.push_back(fresh());
            } else {
                const Pattern earlier = made[below(made.size())];
                if (kind == 1) {
                    made.push_back(earlier);
                } else if (kind == 2) {
                    const std::size_t begin = below(earlier.mask.size());
                    const std::size_t end = begin + 1 + below(earlier.mask.size() - begin);
                    Pattern window{{earlier.bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                                    earlier.bytes.begin() + static_cast<std::ptrdiff_t>(end)},
                                   earlier.mask.substr(begin, end - begin)};
                    made.push_back(window);
                } else {
                    Pattern changed = earlier;
                    changed.bytes[below(changed.bytes.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                    made.push_back(changed);
                }
            }
        }
        return made;
    }

    std::uint8_t byte() { return few_ ? kFew[below(sizeof kFew)] : static_cast<std::uint8_t>(below(256)); }

    SetCase make() {
        SetCase c;
        few_ = chance(0.5);
        c.patterns = patterns();
        std::size_t longest = 0;
        for (const Pattern& p : c.patterns) {
            longest = std::max(longest, p.mask.size());
        }
        const unsigned shape = static_cast<unsigned>(below(10));
        c.size = shape == 0 ? below(longest + 1) : shape < 6 ? below(400) : 400 + below(6000);
        c.alignment = below(64);
        c.storage.resize(c.alignment + c.size + 64);
        for (std::uint8_t& b : c.storage) {
            b = byte();
        }
        std::uint8_t* image = c.storage.data() + c.alignment;
        const std::size_t plants = below(6);
        for (std::size_t n = 0; n < plants; ++n) {
            const Pattern& p = c.patterns[below(c.patterns.size())];
            if (c.size < p.mask.size()) {
                continue;
            }
            const std::size_t last = c.size - p.mask.size();
            const unsigned where = static_cast<unsigned>(below(3));
            plant(p, image + (where == 0 ? last : where == 1 ? 0 : below(last + 1)));
        }
        return c;
    }

    static void plant(const Pattern& p, std::uint8_t* at) {
        for (std::size_t i = 0; i < p.mask.size(); ++i) {
            if (p.mask[i] == 'x') {
                at[i] = p.bytes[i];
            }
        }
    }

private:
    static constexpr std::uint8_t kFew[] = {0x00, 0x01, 0x48, 0x8B, 0xFF};

    Pattern fresh() {
        Pattern p;
        const std::size_t length = chance(0.05) ? 100 + below(200) : 1 + below(40);
        static constexpr double kWildcardShare[] = {0.0, 0.3, 0.6, 1.0};
        const double wildcards = kWildcardShare[below(4)];
        for (std::size_t i = 0; i < length; ++i) {
            p.bytes.push_back(byte());
            p.mask.push_back(chance(wildcards) ? '?' : 'x');
        }
        return p;
    }

    std::mt19937_64 random_;
    bool few_ = false;
};

std::string describe(const SetCase& c) {
    std::string text = "size " + std::to_string(c.size) + ", alignment " + std::to_string(c.alignment);
    for (const Pattern& p : c.patterns) {
        text += ", \"" + p.mask + "\"";
    }
    return text;
}

std::vector<const std::uint8_t*> referenceEach(const std::vector<Pattern>& patterns, const std::uint8_t* base,
                                               std::size_t size) {
    std::vector<const std::uint8_t*> found;
    for (const Pattern& p : patterns) {
        found.push_back(reference::scan(p.bytes.data(), p.mask.c_str(), base, size));
    }
    return found;
}

std::vector<SDK::PreparedPattern> prepare(const std::vector<Pattern>& patterns) {
    std::vector<SDK::PreparedPattern> prepared;
    for (const Pattern& p : patterns) {
        prepared.emplace_back(p.bytes.data(), p.mask.c_str());
    }
    return prepared;
}

using FindEachScan = EveryKernel;

TEST_P(FindEachScan, FindsWhatAReferenceScanPerPatternFindsForRandomPatternSets) {
    SetMaker maker(0xEAC4'0000 + static_cast<unsigned>(GetParam()));
    std::size_t found = 0;
    std::size_t missing = 0;
    for (int round = 0; round < 3000; ++round) {
        const SetCase c = maker.make();
        const std::vector<const std::uint8_t*> expected = referenceEach(c.patterns, c.base(), c.size);
        const std::vector<SDK::PreparedPattern> prepared = prepare(c.patterns);
        const SDK::ScanOptions options{GetParam(), static_cast<unsigned>(1 + maker.below(8))};
        ASSERT_EQ(SDK::findEach(prepared, c.base(), c.size, options), expected)
            << "round " << round << ": " << describe(c);
        for (const std::uint8_t* match : expected) {
            (match != nullptr ? found : missing) += 1;
        }
    }
    // Both outcomes must stay common, or the comparison proves little.
    EXPECT_GT(found, 2000u);
    EXPECT_GT(missing, 2000u);
}

TEST_P(FindEachScan, TakesNoPatternsANullImageAndPatternsLongerThanTheImage) {
    const std::uint8_t bytes[] = {0x48, 0x8B, 0x05, 0x00, 0xC3};
    const SDK::PreparedPattern patterns[] = {SDK::PreparedPattern(bytes, "xxx?x"),
                                             SDK::PreparedPattern(bytes, "??"),
                                             SDK::PreparedPattern(bytes, "")};
    const SDK::ScanOptions options{GetParam(), 1};
    EXPECT_TRUE(SDK::findEach({}, bytes, sizeof bytes, options).empty());
    const std::vector<const std::uint8_t*> none = {nullptr, nullptr, nullptr};
    EXPECT_EQ(SDK::findEach(patterns, nullptr, 100, options), none);
    // All wildcards match at the first offset; an empty pattern identifies nothing.
    EXPECT_EQ(SDK::findEach(patterns, bytes, sizeof bytes, options),
              (std::vector<const std::uint8_t*>{bytes, bytes, nullptr}));
    EXPECT_EQ(SDK::findEach(patterns, bytes, 4, options),
              (std::vector<const std::uint8_t*>{nullptr, bytes, nullptr}));
    EXPECT_EQ(SDK::findEach(patterns, bytes, 1, options), none);
}

// More patterns than share one pass: they go in groups, each pattern's answer in its place.
TEST_P(FindEachScan, ScansMoreThanEightPatternsInGroups) {
    std::vector<std::uint8_t> image(5000, 0x90);
    std::vector<Pattern> patterns;
    for (std::uint8_t n = 0; n < 19; ++n) {
        patterns.push_back(Pattern{{0xE8, n, 0x00, 0xC3}, "xx?x"});
        if (n % 3 != 0) {
            SetMaker::plant(patterns.back(), image.data() + 4996 - 200 * n);
        }
    }
    const std::vector<const std::uint8_t*> expected = referenceEach(patterns, image.data(), image.size());
    EXPECT_EQ(SDK::findEach(prepare(patterns), image.data(), image.size(), {GetParam(), 1}), expected);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), nullptr), 7);
}

// Two patterns, the engine's case, in the blocks and where they hand over to single compares near
// the end: every alignment and every length up to a few blocks, one pattern at the last offset it
// has (at even alignments) and the other anywhere. The engine's pair (both cut from the same lines
// by a kernel that cuts lines), a pair whose lowest anchor belongs to the second pattern, and a pair
// with anchors more than a line apart (loads at the anchors).
TEST_P(FindEachScan, FindsTwoPatternsAtTheEndAndAnywhereInImagesOfEveryAlignmentAndLength) {
    auto fromSignature = [](const auto& signature) {
        Pattern p;
        for (const SDK::PatternByte& element : signature.elements) {
            p.bytes.push_back(element.value);
            p.mask.push_back(element.fixed ? 'x' : '?');
        }
        return p;
    };
    Pattern far{std::vector<std::uint8_t>(100, 0x00), std::string(100, '?')};
    far.bytes[3] = 0x0F, far.mask[3] = 'x';
    far.bytes[97] = 0xC3, far.mask[97] = 'x';
    const std::vector<std::vector<Pattern>> pairs = {
        {fromSignature(SDK::kNameTablePattern), fromSignature(SDK::kObjectTablePattern)},
        {Pattern{{0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB0}, "?x????????x"},
         Pattern{{0x22, 0x33}, "xx"}},
        {far, fromSignature(SDK::kNameTablePattern)}};
    std::vector<std::uint8_t> storage(64 + 700);
    for (const std::vector<Pattern>& pair : pairs) {
        const std::vector<SDK::PreparedPattern> prepared = prepare(pair);
        for (std::size_t alignment = 0; alignment < 64; ++alignment) {
            for (std::size_t size = 0; size <= 700; size += 1 + size / 100) {
                std::uint8_t* base = storage.data() + alignment;
                std::fill(storage.begin(), storage.end(), std::uint8_t{0x90});
                for (std::size_t k = 0; k < 2; ++k) {
                    const std::size_t length = pair[k].mask.size();
                    if (length <= size) {
                        // The first at its last offset (or, at odd alignments, anywhere), the
                        // second anywhere.
                        const std::size_t anywhere = (size * (5 + 2 * k) + alignment) % (size - length + 1);
                        const std::size_t back = k == 0 && alignment % 2 == 0 ? 0 : anywhere;
                        SetMaker::plant(pair[k], base + size - length - back);
                    }
                }
                ASSERT_EQ(SDK::findEach(prepared, base, size, {GetParam(), 1}),
                          referenceEach(pair, base, size))
                    << "pair " << (&pair - pairs.data()) << ", alignment " << alignment << ", size " << size;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, FindEachScan, testing::ValuesIn(scantest::kAllKernels),
                         scantest::kernelTestName);

TEST(ImageParts, SplitsOnlyLargeImagesIntoPartsOfAtLeastFourMiBOnAtMostEightThreads) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    EXPECT_EQ(SDK::Scan::partCount(16 * kMiB - 1, 8), 1u);
    EXPECT_EQ(SDK::Scan::partCount(16 * kMiB, 1), 1u);
    EXPECT_EQ(SDK::Scan::partCount(16 * kMiB, 2), 2u);
    EXPECT_EQ(SDK::Scan::partCount(16 * kMiB, 8), 4u);
    EXPECT_EQ(SDK::Scan::partCount(100'000'000, 3), 3u);
    EXPECT_EQ(SDK::Scan::partCount(100'000'000, 64), 8u);
    const std::size_t machine = SDK::Scan::partCount(100'000'000, 0);
    EXPECT_GE(machine, 1u);
    EXPECT_LE(machine, std::max(1u, std::thread::hardware_concurrency()));

    for (const std::size_t size : {16 * kMiB, 16 * kMiB + 12345, std::size_t{101'524'446}}) {
        for (unsigned threads = 1; threads <= 9; ++threads) {
            const std::size_t count = SDK::Scan::partCount(size, threads);
            std::size_t next = 0;
            for (std::size_t k = 0; k < count; ++k) {
                const SDK::Scan::Part part = SDK::Scan::partOf(size, count, k);
                EXPECT_EQ(part.begin, next) << size << " bytes, part " << k << " of " << count;
                EXPECT_EQ(part.begin % 64, 0u);
                EXPECT_GE(part.end - part.begin, 4 * kMiB);
                next = part.end;
            }
            EXPECT_EQ(next, size);
        }
    }
}

// Scan::findEachInParts on small images split finely, anchors wherever the test plan puts them:
// each pattern planted across each split, at every overlap, and at the image's last offset.
class PartScan : public testing::Test {
protected:
    using Results = std::vector<const std::uint8_t*>;

    static Results inParts(SDK::ScanKernel kernel, const std::vector<TestPlan>& made,
                           const std::uint8_t* base, std::size_t size, std::size_t parts,
                           const SDK::Scan::StartThread& start) {
        std::vector<SDK::Scan::Plan> plans;
        for (const TestPlan& m : made) {
            plans.push_back(m.plan());
        }
        Results found(plans.size(), reinterpret_cast<const std::uint8_t*>(&plans));
        SDK::Scan::findEachInParts(kernel, plans.data(), plans.size(), base, size, parts, start,
                                   found.data());
        return found;
    }
};

TEST_F(PartScan, FindsMatchesAcrossEverySplitOnOneToEightPartsUnderEveryKernel) {
    const std::vector<Pattern> patterns = {
        {{0x48, 0x8D, 0x0D, 0, 0, 0, 0x04, 0xE8}, "xxx???xx"},
        {{0xE8, 0x11, 0x22}, "x?x"},
        {{0x0F, 0xB6}, "xx"},
        {std::vector<std::uint8_t>(37, 0xA5), std::string("x") + std::string(35, '?') + "x"},
    };
    std::vector<TestPlan> made;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        made.emplace_back(patterns[i].bytes, patterns[i].mask, i, i + 1);
    }
    constexpr std::size_t kSize = 4096 + 77;
    std::vector<std::uint8_t> storage(kSize + 64, 0x90);
    std::uint8_t* base = storage.data() + 13;
    std::size_t cases = 0;
    for (const SDK::ScanKernel kernel : scantest::kAllKernels) {
        if (!SDK::scanKernelSupported(kernel)) {
            continue;
        }
        for (std::size_t parts = 1; parts <= 8; ++parts) {
            for (std::size_t k = 1; k < parts; ++k) {
                const std::size_t split = SDK::Scan::partOf(kSize, parts, k).begin;
                for (std::size_t p = 0; p < patterns.size(); ++p) {
                    const std::size_t length = patterns[p].mask.size();
                    // From the first byte beyond the split to the last, at both ends and between.
                    for (const std::size_t before : std::set<std::size_t>{1, 2, length / 2, length - 1}) {
                        if (before == 0 || before >= length) {
                            continue;
                        }
                        std::fill(storage.begin(), storage.end(), std::uint8_t{0x90});
                        SetMaker::plant(patterns[p], base + split - before);
                        SetMaker::plant(patterns[(p + 1) % patterns.size()],
                                        base + kSize - patterns[(p + 1) % patterns.size()].mask.size());
                        const Results expected = referenceEach(patterns, base, kSize);
                        ASSERT_EQ(expected[p], base + split - before);
                        ASSERT_EQ(inParts(kernel, made, base, kSize, parts, SDK::Scan::startThread), expected)
                            << SDK::scanKernelName(kernel) << ", " << parts << " parts, split " << split
                            << ", pattern " << p << " from " << before << " bytes before it";
                        ++cases;
                    }
                }
            }
        }
    }
    EXPECT_GT(cases, 500u);
}

TEST_F(PartScan, GivesTheSameAnswerWhenThreadsCannotBeStarted) {
    SetMaker maker(0xEAC4'7777);
    for (int round = 0; round < 300; ++round) {
        const std::vector<Pattern> patterns = maker.patterns();
        std::vector<TestPlan> made;
        for (const Pattern& p : patterns) {
            made.emplace_back(p.bytes, p.mask, maker.below(64), maker.below(64));
        }
        std::vector<std::uint8_t> image(2000 + maker.below(6000));
        for (std::uint8_t& b : image) {
            b = maker.byte();
        }
        for (int n = 0; n < 6; ++n) {
            const Pattern& p = patterns[maker.below(patterns.size())];
            if (p.mask.size() <= image.size()) {
                SetMaker::plant(p, image.data() + maker.below(image.size() - p.mask.size() + 1));
            }
        }
        const Results expected = referenceEach(patterns, image.data(), image.size());
        const std::size_t parts = 2 + maker.below(7);
        // Threads start until the allowance runs out; the rest of the image falls to the caller.
        const std::size_t allowed = maker.below(parts);
        std::size_t starts = 0;
        const SDK::Scan::StartThread start = [&](std::function<void()> work) {
            if (starts++ >= allowed) {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            return std::thread(std::move(work));
        };
        ASSERT_EQ(inParts(SDK::bestScanKernel(), made, image.data(), image.size(), parts, start), expected)
            << "round " << round << ", " << parts << " parts, " << allowed << " threads allowed";
        EXPECT_EQ(starts, std::min(allowed + 1, parts - 1));
    }
}

TEST(SharedKernelLoop, FindsEachPatternsLowestMatchInOnePassWhicheverBytesAreTheAnchors) {
    SetMaker maker(0xEAC4'0064);
    for (int round = 0; round < 3000; ++round) {
        const SetCase c = maker.make();
        std::vector<SDK::Scan::Plan> plans;
        std::vector<TestPlan> made;
        std::vector<Pattern> anchored;
        for (const Pattern& p : c.patterns) {
            if (p.mask.find('x') != std::string::npos && p.mask.size() <= c.size) {
                made.emplace_back(p.bytes, p.mask, maker.below(64), maker.below(64));
                anchored.push_back(p);
            }
        }
        if (made.empty()) {
            continue;
        }
        for (const TestPlan& m : made) {
            plans.push_back(m.plan());
        }
        std::vector<const std::uint8_t*> found(plans.size());
        SDK::Scan::findEachWith<scantest::PortableLanes64<1024>>(plans.data(), plans.size(), c.base(), c.size,
                                                                 found.data());
        ASSERT_EQ(found, referenceEach(anchored, c.base(), c.size))
            << "round " << round << ": " << describe(c);
    }
}

// A large image through the public interface, with the default kernel (the small images above take
// every kernel) on 1 to 8 threads: each pattern across each split.
TEST(FindEachOnThreads, FindsMatchesAcrossEverySplitOnOneToEightThreads) {
    constexpr std::size_t kSize = (std::size_t{40} << 20) + 4321;
    std::vector<std::uint8_t> image(kSize, 0x90);
    const std::vector<Pattern> patterns = {
        {{0x48, 0x8B, 0x05, 0, 0, 0, 0, 0x48, 0x85, 0xC0}, "xxx????xxx"},
        {{0xE8, 0x11, 0x22, 0x33}, "x??x"},
        {{0xC3, 0xCC, 0xCC}, "xxx"},
        {{0x0F, 0x0B}, "xx"}, // never planted
    };
    const std::vector<SDK::PreparedPattern> prepared = prepare(patterns);
    const std::size_t last = kSize - patterns[2].mask.size();
    for (unsigned threads = 1; threads <= 8; ++threads) {
        const std::size_t parts = SDK::Scan::partCount(kSize, threads);
        EXPECT_EQ(parts, threads);
        for (std::size_t k = 1; k < std::max<std::size_t>(parts, 2); ++k) {
            const std::size_t split = parts > 1 ? SDK::Scan::partOf(kSize, parts, k).begin : kSize / 2;
            for (std::size_t p = 0; p < 2; ++p) {
                // The first pattern from its second-last byte on lies beyond the split, the second
                // from its second byte on.
                const std::size_t at = split - (p == 0 ? 9 : 1);
                SetMaker::plant(patterns[p], image.data() + at);
                SetMaker::plant(patterns[2], image.data() + last);
                std::vector<const std::uint8_t*> expected = {nullptr, nullptr, image.data() + last, nullptr};
                expected[p] = image.data() + at;
                SDK::ScanOptions options;
                options.threads = threads;
                EXPECT_EQ(SDK::findEach(prepared, image.data(), image.size(), options), expected)
                    << threads << " threads, split " << k << ", pattern " << p;
                std::fill(image.begin() + static_cast<std::ptrdiff_t>(at),
                          image.begin() + static_cast<std::ptrdiff_t>(at + patterns[p].mask.size()),
                          std::uint8_t{0x90});
            }
        }
    }
}

} // namespace
