// PreparedPattern: both ways of building one, walking and counting every match, and the property
// that lets a process scan its own image: nothing of ours holds the patterns in matching order.
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/os.hpp"
#include "scan_test_support.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using scantest::EveryKernel;
using scantest::instance;
using scantest::maskedBytes;

using PreparedPatternScan = EveryKernel;

TEST_P(PreparedPatternScan, BuiltFromASignatureOrFromBytesAndMaskFindsWhatScanForPatternFinds) {
    const SDK::ScanKernel kernel = GetParam();
    std::vector<std::uint8_t> image(3000, 0xCC);
    const std::vector<std::uint8_t> match = instance(SDK::kObjectTablePattern, 0x01);
    std::memcpy(image.data() + 2999 - match.size(), match.data(), match.size());
    const scantest::MaskedBytes form = maskedBytes(SDK::kObjectTablePattern);

    const SDK::PreparedPattern fromSignature(SDK::kObjectTablePattern);
    const SDK::PreparedPattern fromBytes(form.bytes.data(), form.mask.c_str());
    EXPECT_EQ(fromSignature.size(), 22u);
    EXPECT_EQ(fromBytes.size(), 22u);
    const std::uint8_t* expected = image.data() + 2999 - match.size();
    EXPECT_EQ(SDK::scanForPattern(form.bytes.data(), form.mask.c_str(), image.data(), image.size(), kernel),
              expected);
    EXPECT_EQ(fromSignature.find(image.data(), image.size(), kernel), expected);
    EXPECT_EQ(fromBytes.find(image.data(), image.size(), kernel), expected);
    EXPECT_EQ(fromSignature.find(image.data(), 2998, kernel), nullptr);
    EXPECT_EQ(fromSignature.find(nullptr, image.size(), kernel), nullptr);
    EXPECT_EQ(fromSignature.find(image.data(), 0, kernel), nullptr);
}

TEST_P(PreparedPatternScan, WalksAndCountsEveryMatchOverlappingOnesIncluded) {
    const SDK::ScanKernel kernel = GetParam();
    // "AA ?? AA" over AA AA AA AA BB AA 00 AA: matches at 0, 1, 3 and 5.
    const std::vector<std::uint8_t> image = {0xAA, 0xAA, 0xAA, 0xAA, 0xBB, 0xAA, 0x00, 0xAA};
    const std::uint8_t bytes[] = {0xAA, 0x00, 0xAA};
    const SDK::PreparedPattern pattern(bytes, "x?x");
    const std::uint8_t* base = image.data();

    const std::uint8_t* first = pattern.find(base, image.size(), kernel);
    ASSERT_EQ(first, base + 0);
    const std::uint8_t* second = pattern.findNext(base, image.size(), first, kernel);
    ASSERT_EQ(second, base + 1);
    const std::uint8_t* third = pattern.findNext(base, image.size(), second, kernel);
    ASSERT_EQ(third, base + 3);
    const std::uint8_t* fourth = pattern.findNext(base, image.size(), third, kernel);
    ASSERT_EQ(fourth, base + 5);
    EXPECT_EQ(pattern.findNext(base, image.size(), fourth, kernel), nullptr);
    EXPECT_EQ(pattern.findNext(base, image.size(), nullptr, kernel), base);
    EXPECT_EQ(pattern.count(base, image.size(), kernel), 4u);
    EXPECT_EQ(pattern.count(base, 7, kernel), 3u);
    EXPECT_EQ(pattern.count(base, 2, kernel), 0u);

    // A "previous" outside the image gives nothing rather than a scan of someone else's memory.
    EXPECT_EQ(pattern.findNext(base, image.size(), base + image.size(), kernel), nullptr);
    EXPECT_EQ(pattern.findNext(base + 1, image.size() - 1, base, kernel), nullptr);
    EXPECT_EQ(pattern.findNext(base, image.size(), base + image.size() - 1, kernel), nullptr);
}

TEST_P(PreparedPatternScan, CountsAnAllWildcardPatternAtEveryStartAndAnEmptyOneNowhere) {
    const SDK::ScanKernel kernel = GetParam();
    const std::vector<std::uint8_t> image(100, 0x00);
    const std::uint8_t bytes[5] = {};
    EXPECT_EQ(SDK::PreparedPattern(bytes, "?????").count(image.data(), image.size(), kernel), 96u);
    EXPECT_EQ(SDK::PreparedPattern(bytes, "?????").find(image.data(), 4, kernel), nullptr);
    EXPECT_EQ(SDK::PreparedPattern(bytes, "").count(image.data(), image.size(), kernel), 0u);
    EXPECT_EQ(SDK::PreparedPattern(bytes, "").find(image.data(), image.size(), kernel), nullptr);
    EXPECT_EQ(
        SDK::PreparedPattern(std::span<const SDK::PatternByte>{}).find(image.data(), image.size(), kernel),
        nullptr);
    EXPECT_EQ(SDK::PreparedPattern(bytes, "xxxxx").count(image.data(), image.size(), kernel), 96u);
}

INSTANTIATE_TEST_SUITE_P(Kernels, PreparedPatternScan, testing::ValuesIn(scantest::kAllKernels),
                         scantest::kernelTestName);

std::size_t countInImage(const SDK::PreparedPattern& pattern, const platform::ModuleImage& image) {
    std::size_t matches = 0;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        matches += pattern.count(span.begin, span.size);
    }
    return matches;
}

// Written at run time only; lies in this executable's image.
std::uint8_t plantedInImage[64];

TEST(PreparedPatternInOwnImage, FindsOnlyWhatWasPlantedNotTheScannersOwnData) {
    // Prepared patterns kept alive, on the heap and in this frame, while the image is scanned.
    const auto onHeap = std::make_unique<SDK::PreparedPattern>(SDK::kNameTablePattern);
    const SDK::PreparedPattern nameTable(SDK::kNameTablePattern);
    const SDK::PreparedPattern objectTable(SDK::kObjectTablePattern);
    const platform::ModuleImage image = platform::gameModuleImage();
    ASSERT_FALSE(image.readableSpans().empty());

    EXPECT_EQ(countInImage(nameTable, image), 0u);
    EXPECT_EQ(countInImage(objectTable, image), 0u);
    EXPECT_EQ(countInImage(*onHeap, image), 0u);

    const std::vector<std::uint8_t> match = instance(SDK::kNameTablePattern, 0x42);
    std::memcpy(plantedInImage + 9, match.data(), match.size());
    EXPECT_EQ(countInImage(nameTable, image), 1u);
    const std::uint8_t* found = nullptr;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        found = found != nullptr ? found : nameTable.find(span.begin, span.size);
    }
    EXPECT_EQ(found, plantedInImage + 9);
    std::memset(plantedInImage, 0, sizeof plantedInImage);
}

} // namespace
