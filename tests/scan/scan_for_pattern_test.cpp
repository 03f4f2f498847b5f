// scanForPattern with the engine's two patterns: which offset wins, which near misses are rejected,
// what wildcards accept, and the image's edges. Every test runs under every kernel the CPU has.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "scan_test_support.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using scantest::EveryKernel;
using scantest::GuardedImage;
using scantest::instance;
using scantest::maskedBytes;
using scantest::scanWith;

// No byte sequence of this filler comes close to either pattern.
constexpr std::uint8_t kFiller = 0x90;

std::vector<std::uint8_t> fillerImage(std::size_t size) {
    return std::vector<std::uint8_t>(size, kFiller);
}

void place(std::vector<std::uint8_t>& image, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    std::memcpy(image.data() + offset, bytes.data(), bytes.size());
}

template <std::size_t N>
const std::uint8_t* scan(SDK::ScanKernel kernel, const SDK::Signature<N>& signature, const std::uint8_t* base,
                         std::size_t size) {
    const scantest::MaskedBytes form = maskedBytes(signature);
    return SDK::scanForPattern(form.bytes.data(), form.mask.c_str(), base, size, kernel);
}

using ScanForPattern = EveryKernel;

TEST_P(ScanForPattern, ReturnsTheLowerOfTwoOccurrencesOfEitherPattern) {
    const SDK::ScanKernel kernel = GetParam();
    std::vector<std::uint8_t> image = fillerImage(8192);
    place(image, 5000, instance(SDK::kNameTablePattern, 0x11));
    place(image, 1234, instance(SDK::kNameTablePattern, 0x22));
    place(image, 7000, instance(SDK::kObjectTablePattern, 0x33));
    place(image, 3001, instance(SDK::kObjectTablePattern, 0x44));

    EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, image.data(), image.size()), image.data() + 1234);
    EXPECT_EQ(scan(kernel, SDK::kObjectTablePattern, image.data(), image.size()), image.data() + 3001);
    // Overlapping occurrences: the one starting first still wins.
    std::vector<std::uint8_t> zeros(64, 0);
    const scantest::MaskedBytes twoZeros{{0, 0}, "xx"};
    EXPECT_EQ(scanWith(kernel, twoZeros.bytes.data(), twoZeros.mask.c_str(), zeros.data() + 7, 50),
              zeros.data() + 7);
}

TEST_P(ScanForPattern, RejectsNearMissesOnTheDisplacementsTopBytesAndTheLastCallOffset) {
    const SDK::ScanKernel kernel = GetParam();
    // The spots the masks single out, each with a value one off.
    struct Case {
        std::size_t position;
        std::uint8_t wrong;
    };
    std::vector<std::uint8_t> image = fillerImage(4096);
    for (const Case c : {Case{6, 0x02}, Case{6, 0x04}, Case{6, 0x13}, Case{6, 0x00}}) {
        std::vector<std::uint8_t> miss = instance(SDK::kNameTablePattern, 0x00);
        miss[c.position] = c.wrong;
        place(image, 100, miss);
        EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, image.data(), image.size()), nullptr) << int{c.wrong};
    }
    image = fillerImage(4096);
    for (const Case c : {Case{6, 0x03}, Case{6, 0x05}, Case{21, 0x00}, Case{21, 0x02}, Case{21, 0x81},
                         Case{11, 0x01}, Case{16, 0x01}}) {
        std::vector<std::uint8_t> miss = instance(SDK::kObjectTablePattern, 0x00);
        miss[c.position] = c.wrong;
        place(image, 100, miss);
        EXPECT_EQ(scan(kernel, SDK::kObjectTablePattern, image.data(), image.size()), nullptr)
            << c.position << " " << int{c.wrong};
    }
}

TEST_P(ScanForPattern, SkipsAMissOnAnyFixedByteForTheRealMatchAfterIt) {
    const auto check = [kernel = GetParam()](const auto& signature) {
        const std::vector<std::uint8_t> real = instance(signature, 0x5A);
        for (std::size_t position = 0; position < real.size(); ++position) {
            if (!signature.elements[position].fixed) {
                continue;
            }
            for (unsigned value = 0; value < 256; ++value) {
                if (value == real[position]) {
                    continue;
                }
                std::vector<std::uint8_t> image = fillerImage(512);
                std::vector<std::uint8_t> miss = real;
                miss[position] = static_cast<std::uint8_t>(value);
                place(image, 40, miss);
                place(image, 300, real);
                ASSERT_EQ(scan(kernel, signature, image.data(), image.size()), image.data() + 300)
                    << "byte " << position << " = " << value;
            }
        }
    };
    check(SDK::kNameTablePattern);
    check(SDK::kObjectTablePattern);
}

TEST_P(ScanForPattern, AcceptsEveryByteValueAtEveryWildcardIncludingTheStoredZero) {
    const auto check = [kernel = GetParam()](const auto& signature) {
        for (std::size_t position = 0; position < signature.size(); ++position) {
            if (signature.elements[position].fixed) {
                continue;
            }
            for (unsigned value = 0; value < 256; ++value) {
                std::vector<std::uint8_t> image = fillerImage(256);
                std::vector<std::uint8_t> match = instance(signature, 0xEE);
                match[position] = static_cast<std::uint8_t>(value);
                place(image, 77, match);
                ASSERT_EQ(scan(kernel, signature, image.data(), image.size()), image.data() + 77)
                    << "byte " << position << " = " << value;
            }
        }
    };
    check(SDK::kNameTablePattern);
    check(SDK::kObjectTablePattern);
}

TEST_P(ScanForPattern, FindsAMatchEndingOnTheImagesLastByteAndNoneCutShortByTheEnd) {
    const auto check = [kernel = GetParam()](const auto& signature) {
        const std::size_t length = signature.size();
        for (const std::size_t size : {length, length + 1, std::size_t{63}, std::size_t{64}, std::size_t{100},
                                       std::size_t{4095}, std::size_t{4096}, std::size_t{70001}}) {
            GuardedImage image(size, GuardedImage::Guard::AfterEnd);
            std::memset(image.data(), kFiller, size);
            const std::vector<std::uint8_t> match = instance(signature, 0x00);
            std::memcpy(image.data() + size - length, match.data(), length);
            EXPECT_EQ(scan(kernel, signature, image.data(), size), image.data() + size - length) << size;

            // The same bytes one further on: the last byte falls outside the image.
            std::memset(image.data(), kFiller, size);
            std::memcpy(image.data() + size - length + 1, match.data(), length - 1);
            EXPECT_EQ(scan(kernel, signature, image.data(), size), nullptr) << size;
        }
    };
    check(SDK::kNameTablePattern);
    check(SDK::kObjectTablePattern);
}

TEST_P(ScanForPattern, ReadsNothingPastTheImagesEndWithPatternsShorterThanAWord) {
    const SDK::ScanKernel kernel = GetParam();
    // Patterns of 1 to 9 bytes, fixed at both ends, at the last offset and nowhere, in images that
    // end where an inaccessible page begins.
    for (std::size_t length = 1; length <= 9; ++length) {
        std::vector<std::uint8_t> pattern(length, 0x11);
        pattern.back() = 0x7E;
        std::string mask(length, '?');
        mask.front() = 'x';
        mask.back() = 'x';
        for (const std::size_t size : {length, length + 1, length + 7, std::size_t{40}, std::size_t{200}}) {
            GuardedImage image(size, GuardedImage::Guard::AfterEnd);
            std::memset(image.data(), 0x11, size);
            EXPECT_EQ(scanWith(kernel, pattern.data(), mask.c_str(), image.data(), size), nullptr);
            image.data()[size - 1] = 0x7E;
            EXPECT_EQ(scanWith(kernel, pattern.data(), mask.c_str(), image.data(), size),
                      image.data() + size - length)
                << "length " << length << ", size " << size;
        }
    }
}

TEST_P(ScanForPattern, FindsAMatchAtTheImagesFirstByte) {
    const SDK::ScanKernel kernel = GetParam();
    for (const std::size_t size : {std::size_t{22}, std::size_t{23}, std::size_t{200}, std::size_t{5000}}) {
        GuardedImage image(size, GuardedImage::Guard::BeforeStart);
        std::memset(image.data(), kFiller, size);
        const std::vector<std::uint8_t> match = instance(SDK::kObjectTablePattern, 0xC3);
        std::memcpy(image.data(), match.data(), match.size());
        EXPECT_EQ(scan(kernel, SDK::kObjectTablePattern, image.data(), size), image.data()) << size;
        EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, image.data(), size), nullptr) << size;
    }
}

TEST_P(ScanForPattern, GivesNoMatchForAnImageShorterThanThePatternAnEmptyImageOrANullBase) {
    const SDK::ScanKernel kernel = GetParam();
    const std::vector<std::uint8_t> match = instance(SDK::kNameTablePattern, 0x00);
    GuardedImage shorter(match.size() - 1, GuardedImage::Guard::AfterEnd);
    std::memcpy(shorter.data(), match.data(), match.size() - 1);
    EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, shorter.data(), shorter.size()), nullptr);
    for (std::size_t size = 0; size < match.size(); ++size) {
        EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, match.data(), size), nullptr) << size;
    }
    EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, match.data(), match.size()), match.data());

    // A null base is never read, whatever size comes with it.
    EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, nullptr, 0), nullptr);
    EXPECT_EQ(scan(kernel, SDK::kNameTablePattern, nullptr, 1 << 20), nullptr);
    const scantest::MaskedBytes any{{0}, "?"};
    EXPECT_EQ(scanWith(kernel, any.bytes.data(), any.mask.c_str(), nullptr, 100), nullptr);
    EXPECT_EQ(scanWith(kernel, nullptr, "x", match.data(), match.size()), nullptr);
    EXPECT_EQ(scanWith(kernel, match.data(), nullptr, match.data(), match.size()), nullptr);
}

TEST_P(ScanForPattern, TakesEveryMaskCharacterOtherThanLowercaseXAsAWildcard) {
    const SDK::ScanKernel kernel = GetParam();
    const std::vector<std::uint8_t> image = {0x10, 0x20, 0x30, 0x40, 0x50};
    const std::uint8_t pattern[] = {0x20, 0xFF, 0x40};
    EXPECT_EQ(scanWith(kernel, pattern, "x?x", image.data(), image.size()), image.data() + 1);
    EXPECT_EQ(scanWith(kernel, pattern, "xXx", image.data(), image.size()), image.data() + 1);
    EXPECT_EQ(scanWith(kernel, pattern, "x x", image.data(), image.size()), image.data() + 1);
    EXPECT_EQ(scanWith(kernel, pattern, "xxx", image.data(), image.size()), nullptr);
    // The mask's NUL ends the pattern: a one-byte pattern here.
    EXPECT_EQ(scanWith(kernel, pattern + 2, "x\0xx", image.data(), image.size()), image.data() + 3);
}

TEST_P(ScanForPattern, MatchesAnAllWildcardMaskAtTheFirstByteAndAnEmptyMaskNowhere) {
    const SDK::ScanKernel kernel = GetParam();
    const std::vector<std::uint8_t> image(10, 0xAB);
    const std::uint8_t pattern[4] = {};
    EXPECT_EQ(scanWith(kernel, pattern, "????", image.data(), image.size()), image.data());
    EXPECT_EQ(scanWith(kernel, pattern, "????", image.data(), 4), image.data());
    EXPECT_EQ(scanWith(kernel, pattern, "????", image.data(), 3), nullptr);
    EXPECT_EQ(scanWith(kernel, pattern, "", image.data(), image.size()), nullptr);
    EXPECT_EQ(scanWith(kernel, pattern, "", image.data(), 0), nullptr);
}

TEST_P(ScanForPattern, ComparesPatternsLongerThanItPreparesOnItsStackToTheirLastByte) {
    const SDK::ScanKernel kernel = GetParam();
    // 600 fixed bytes; the scan prepares a prefix and compares the rest with the caller's bytes.
    std::vector<std::uint8_t> pattern(600);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    std::string mask(pattern.size(), 'x');
    mask[450] = '?';
    std::vector<std::uint8_t> image(4000, 0);
    std::memcpy(image.data() + 1000, pattern.data(), pattern.size());
    image[1000 + 599] ^= 1; // a miss on the very last byte
    std::memcpy(image.data() + 3000, pattern.data(), pattern.size());
    image[3000 + 450] ^= 0xFF; // a wildcard in the tail
    EXPECT_EQ(scanWith(kernel, pattern.data(), mask.c_str(), image.data(), image.size()),
              image.data() + 3000);
    image[3000 + 451] ^= 1;
    EXPECT_EQ(scanWith(kernel, pattern.data(), mask.c_str(), image.data(), image.size()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ScanForPattern, testing::ValuesIn(scantest::kAllKernels),
                         scantest::kernelTestName);

} // namespace
