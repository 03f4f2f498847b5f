// The fast scan against the reference byte loop on many random images and patterns, at every
// alignment and length, and against unreadable pages, under every kernel: first match, every match,
// and both ways of preparing a pattern. The same checks for the kernels' shared loop on its own.
#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reference_scan.hpp"
#include "scan/skeleton.hpp"
#include "scan_test_support.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using scantest::EveryKernel;

struct Case {
    std::vector<std::uint8_t> pattern;
    std::string mask;
    std::vector<std::uint8_t> storage; // the image lies at storage.data() + alignment
    std::size_t alignment = 0;
    std::size_t size = 0;

    const std::uint8_t* base() const { return storage.data() + alignment; }
};

class CaseMaker {
public:
    explicit CaseMaker(std::uint64_t seed) : random_(seed) {}

    Case make() {
        Case c;
        // A few byte values make partial matches and near misses common; all 256 test the rest.
        static constexpr std::uint8_t kFew[] = {0x00, 0x01, 0x03, 0x48, 0xFF};
        const bool fewValues = chance(0.5);
        auto byte = [&] {
            return fewValues ? kFew[below(sizeof kFew)] : static_cast<std::uint8_t>(below(256));
        };

        const std::size_t length = chance(0.03) ? 250 + below(80) : 1 + below(64);
        static constexpr double kWildcardShare[] = {0.0, 0.25, 0.5, 0.9, 1.0};
        const double wildcards = kWildcardShare[below(5)];
        for (std::size_t i = 0; i < length; ++i) {
            const bool fixed = !chance(wildcards);
            c.pattern.push_back(fixed ? byte() : (chance(0.5) ? 0 : byte()));
            c.mask.push_back(fixed ? 'x' : (chance(0.8) ? '?' : ".X*"[below(3)]));
        }

        const unsigned shape = static_cast<unsigned>(below(10));
        c.size = shape == 0  ? below(length + 1)  // shorter than the pattern or exactly as long
                 : shape < 7 ? below(400)         // around the vector widths
                             : 400 + below(6000); // long enough for the unrolled loops
        c.alignment = below(64);
        c.storage.resize(c.alignment + c.size + 64);
        for (std::uint8_t& b : c.storage) {
            b = byte();
        }
        std::uint8_t* image = c.storage.data() + c.alignment;

        if (c.size >= length) {
            const std::size_t last = c.size - length;
            const std::size_t plants = below(4);
            for (std::size_t p = 0; p < plants; ++p) {
                const unsigned where = static_cast<unsigned>(below(3));
                const std::size_t at = where == 0 ? 0 : where == 1 ? last : below(last + 1);
                plant(c, image + at);
                if (chance(0.5)) {
                    spoilOneFixedByte(c, image + at);
                }
            }
        }
        return c;
    }

private:
    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }

    void plant(const Case& c, std::uint8_t* at) {
        for (std::size_t i = 0; i < c.mask.size(); ++i) {
            if (c.mask[i] == 'x') {
                at[i] = c.pattern[i];
            }
        }
    }

    // A near miss: one fixed byte one bit off.
    void spoilOneFixedByte(const Case& c, std::uint8_t* at) {
        std::vector<std::size_t> fixed;
        for (std::size_t i = 0; i < c.mask.size(); ++i) {
            if (c.mask[i] == 'x') {
                fixed.push_back(i);
            }
        }
        if (!fixed.empty()) {
            at[fixed[below(fixed.size())]] ^= static_cast<std::uint8_t>(1u << below(8));
        }
    }

    std::mt19937_64 random_;
};

std::vector<SDK::PatternByte> elementsOf(const Case& c) {
    std::vector<SDK::PatternByte> elements;
    for (std::size_t i = 0; i < c.mask.size(); ++i) {
        elements.push_back(SDK::PatternByte{c.pattern[i], c.mask[i] == 'x'});
    }
    return elements;
}

std::string describe(const Case& c) {
    std::string text = "size " + std::to_string(c.size) + ", alignment " + std::to_string(c.alignment) +
                       ", mask \"" + c.mask + "\", pattern";
    for (std::uint8_t b : c.pattern) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        text += ' ';
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

// A scan under test: the lowest match of `pattern` under `mask` in [base, base + size), or nullptr.
using Finder = std::function<const std::uint8_t*(const std::uint8_t* pattern, const char* mask,
                                                 const std::uint8_t* base, std::size_t size)>;

// Random images and patterns from `seed`: the first match, and where `prepared` is given, both
// prepared forms, every match and the count.
void expectAgreementOnRandomCases(std::uint64_t seed, const Finder& find,
                                  const std::optional<SDK::ScanKernel>& prepared) {
    CaseMaker maker(seed);
    std::size_t withMatch = 0;
    std::size_t withoutMatch = 0;
    for (int round = 0; round < 2500; ++round) {
        const Case c = maker.make();
        const std::uint8_t* expected = reference::scan(c.pattern.data(), c.mask.c_str(), c.base(), c.size);
        (expected != nullptr ? withMatch : withoutMatch) += 1;
        ASSERT_EQ(find(c.pattern.data(), c.mask.c_str(), c.base(), c.size), expected)
            << "round " << round << ": " << describe(c);
        if (!prepared) {
            continue;
        }
        const SDK::ScanKernel kernel = *prepared;
        const SDK::PreparedPattern fromBytes(c.pattern.data(), c.mask.c_str());
        const std::vector<SDK::PatternByte> elements = elementsOf(c);
        const SDK::PreparedPattern fromElements{std::span<const SDK::PatternByte>(elements)};
        ASSERT_EQ(fromBytes.find(c.base(), c.size, kernel), expected)
            << "round " << round << ": " << describe(c);
        ASSERT_EQ(fromElements.find(c.base(), c.size, kernel), expected)
            << "round " << round << ": " << describe(c);

        const std::vector<std::size_t> all =
            reference::allMatches(c.pattern.data(), c.mask.c_str(), c.base(), c.size);
        std::vector<std::size_t> walked;
        for (const std::uint8_t* at = fromElements.find(c.base(), c.size, kernel);
             at != nullptr && walked.size() <= all.size();
             at = fromElements.findNext(c.base(), c.size, at, kernel)) {
            walked.push_back(static_cast<std::size_t>(at - c.base()));
        }
        ASSERT_EQ(walked, all) << "round " << round << ": " << describe(c);
        ASSERT_EQ(fromBytes.count(c.base(), c.size, kernel), all.size())
            << "round " << round << ": " << describe(c);
    }
    // The generator must keep producing both outcomes, or the comparison proves little.
    EXPECT_GT(withMatch, 500u);
    EXPECT_GT(withoutMatch, 500u);
}

// One pattern with both anchors far apart, planted at the first and the last offset of images of
// every length up to a few of the widest kernel's blocks (4 x 64 bytes), at every start alignment.
void expectAgreementAtEveryAlignmentAndLength(const Finder& find) {
    const std::uint8_t pattern[] = {0x48, 0x8B, 0x00, 0x00, 0xB0, 0x03, 0x00, 0x01, 0x7F};
    const char* mask = "xx??xx?xx";
    constexpr std::size_t kLongest = 700;
    std::vector<std::uint8_t> storage(64 + kLongest + 64);
    for (std::size_t alignment = 0; alignment < 64; ++alignment) {
        for (std::size_t size = 0; size <= kLongest; ++size) {
            std::fill(storage.begin(), storage.end(), std::uint8_t{0x03});
            std::uint8_t* base = storage.data() + alignment;
            if (size >= sizeof pattern) {
                std::memcpy(base + size - sizeof pattern, pattern, sizeof pattern);
                if (size % 3 == 0) {
                    std::memcpy(base, pattern, sizeof pattern);
                }
            }
            ASSERT_EQ(find(pattern, mask, base, size), reference::scan(pattern, mask, base, size))
                << "alignment " << alignment << ", size " << size;
        }
    }
}

// Images that end where an inaccessible page begins, or begin where one ends, of every length up to
// a few blocks: the last possible match is found, and nothing beyond the image is read (a read
// there crashes the test). Patterns whose first anchor comes after the second, and one fixed byte.
void expectAgreementAgainstAnUnreadablePage(const Finder& find) {
    const std::uint8_t pattern[] = {0xC4, 0x00, 0x00, 0x00, 0xE9, 0xA7};
    for (const char* mask : {"x???xx", "?????x", "x?????"}) {
        for (const auto guard :
             {scantest::GuardedImage::Guard::AfterEnd, scantest::GuardedImage::Guard::BeforeStart}) {
            for (std::size_t size = 0; size <= 600; ++size) {
                scantest::GuardedImage image(size, guard);
                std::memset(image.data(), 0xA7, size);
                if (size >= sizeof pattern) {
                    std::memcpy(image.data() + size - sizeof pattern, pattern, sizeof pattern);
                }
                ASSERT_EQ(find(pattern, mask, image.data(), size),
                          reference::scan(pattern, mask, image.data(), size))
                    << "mask " << mask << ", size " << size;
            }
        }
    }
}

using DifferentialScan = EveryKernel;

Finder publicScan(SDK::ScanKernel kernel) {
    return [kernel](const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                    std::size_t size) { return SDK::scanForPattern(pattern, mask, base, size, kernel); };
}

TEST_P(DifferentialScan, AgreesWithTheReferenceLoopOnRandomImagesAndPatterns) {
    expectAgreementOnRandomCases(0x5CA9'0000 + static_cast<unsigned>(GetParam()), publicScan(GetParam()),
                                 GetParam());
}

TEST_P(DifferentialScan, AgreesWithTheReferenceLoopAtEveryImageAlignmentAndLength) {
    expectAgreementAtEveryAlignmentAndLength(publicScan(GetParam()));
}

TEST_P(DifferentialScan, AgreesWithTheReferenceLoopAgainstAnUnreadablePage) {
    expectAgreementAgainstAnUnreadablePage(publicScan(GetParam()));
}

// The anchors are any two fixed bytes, in either order and at any distance: the same byte, neighbours,
// 63 apart (the farthest that one line and the next hold together), 64 and 65 (further: loads at
// the anchors), at every alignment, with the match at the last offset or in the middle.
TEST_P(DifferentialScan, FindsEveryMatchWhicheverFixedBytesAreTheAnchorsAndHowFarApart) {
    constexpr std::size_t kLength = 80;
    std::vector<std::uint8_t> pattern(kLength, 0x00);
    std::string mask(kLength, '?');
    const std::size_t fixedAt[] = {0, 1, 15, 63, 64, 65, 79};
    for (std::size_t i = 0; i < std::size(fixedAt); ++i) {
        pattern[fixedAt[i]] = static_cast<std::uint8_t>(0xA0 + i);
        mask[fixedAt[i]] = 'x';
    }
    // Pairs of indices into fixedAt: distances 0, 1, 14, 63, 64, 65 and 79, both ways round.
    const std::pair<std::size_t, std::size_t> anchors[] = {{2, 2}, {0, 1}, {1, 2}, {0, 3}, {3, 0}, {0, 4},
                                                           {4, 0}, {0, 5}, {1, 5}, {6, 0}, {5, 1}, {2, 6}};
    std::vector<std::uint8_t> storage(64 + 700);
    for (const auto& [first, second] : anchors) {
        const scantest::TestPlan made(pattern, mask, first, second);
        for (std::size_t alignment = 0; alignment < 64; alignment += 3) {
            for (std::size_t size = kLength; size <= 700; size += 1 + size / 50) {
                std::uint8_t* base = storage.data() + alignment;
                for (const bool last : {true, false}) {
                    std::fill(storage.begin(), storage.end(), std::uint8_t{0xA3}); // one fixed byte's value
                    std::memcpy(base + (last ? size - kLength : (size - kLength) / 2), pattern.data(),
                                kLength);
                    ASSERT_EQ(SDK::Scan::findFirst(GetParam(), made.plan(), base, size, 0),
                              reference::scan(pattern.data(), mask.c_str(), base, size))
                        << "anchors at " << made.plan().anchor0 << " and " << made.plan().anchor1
                        << ", alignment " << alignment << ", size " << size
                        << (last ? ", at the end" : ", in the middle");
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, DifferentialScan, testing::ValuesIn(scantest::kAllKernels),
                         scantest::kernelTestName);

const std::uint8_t* portableWideScan(const std::uint8_t* pattern, const char* mask, const std::uint8_t* base,
                                     std::size_t size) {
    std::vector<SDK::PatternByte> elements;
    for (std::size_t i = 0; mask[i] != '\0'; ++i) {
        elements.push_back(SDK::PatternByte{pattern[i], mask[i] == 'x'});
    }
    if (base == nullptr || elements.empty() || size < elements.size()) {
        return nullptr;
    }
    const std::vector<std::uint8_t> bytes(pattern, pattern + elements.size());
    const scantest::TestPlan made(bytes, mask, elements.size() / 3, elements.size() - 1);
    if (!made.plan().anchored) {
        return base;
    }
    return SDK::Scan::findWith<scantest::PortableLanes64<4096>>(made.plan(), base, size, 0);
}

TEST(SharedKernelLoop, AgreesWithTheReferenceLoopAtTheWidestKernelsGeometry) {
    expectAgreementOnRandomCases(0x5CA9'0064, portableWideScan, std::nullopt);
    expectAgreementAtEveryAlignmentAndLength(portableWideScan);
    expectAgreementAgainstAnUnreadablePage(portableWideScan);
}

} // namespace
