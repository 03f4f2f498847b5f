// One grammar for pattern text: every text here goes through the run-time reader the tools use
// and, as the same literal, through the compile-time parser of the mod's own patterns. Both must
// accept the same texts and read the same elements from them.
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_text.hpp"
#include "sdk/signature.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Whether the literal compiles as one of the mod's signatures.
template <SDK::PatternLiteral Text> constexpr bool kCompiles = requires {
    SDK::parseSignature<Text>();
};

static_assert(kCompiles<"48 8b 05 ?? ?">);
static_assert(SDK::parseSignature<"48 8b 05 ?? ?">().size() == 5);
static_assert(SDK::parseSignature<" \t0f\n">().elements[0].value == 0x0F);
static_assert(!kCompiles<"48 8B 5">);
static_assert(!kCompiles<"?? ??">);
static_assert(!kCompiles<"">);

bool sameElements(std::span<const SDK::PatternByte> a, std::span<const SDK::PatternByte> b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].fixed != b[i].fixed || (a[i].fixed && a[i].value != b[i].value)) {
            return false;
        }
    }
    return true;
}

// `expected`: the pattern in the tools' printed form when the text is one, the run-time reader's
// message when it is not.
template <SDK::PatternLiteral Text> void expectOneGrammar(std::string_view expected) {
    const std::string_view text = Text.view();
    SCOPED_TRACE("text \"" + std::string(text) + "\"");
    const brickwright::Result<std::vector<SDK::PatternByte>> read = SDK::parsePatternText(text);
    if constexpr (kCompiles<Text>) {
        constexpr auto compiled = SDK::parseSignature<Text>();
        ASSERT_TRUE(read.has_value()) << "compiles, but is refused at run time: " << read.error().message;
        EXPECT_TRUE(sameElements(compiled.elements, *read));
        EXPECT_EQ(SDK::patternText(compiled.elements), expected);
        EXPECT_EQ(SDK::patternText(*read), expected);
    } else {
        ASSERT_FALSE(read.has_value()) << "read at run time, but does not compile";
        EXPECT_EQ(read.error().message, expected);
    }
}

TEST(PatternText, IsOneGrammarForTheCompiledPatternsAndThePastedOnes) {
    // Patterns, as engine_patterns.hpp holds them and as a maintainer pastes them.
    expectOneGrammar<"48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0">("48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0");
    expectOneGrammar<"48 8b 05 ?? ?? ?? 03 48 85 c0 0f 85 b0">("48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0");
    expectOneGrammar<"aB Cd eF 09">("AB CD EF 09");
    expectOneGrammar<"e8 ? ? ? ? 00">("E8 ?? ?? ?? ?? 00");
    expectOneGrammar<"?? 00 ?">("?? 00 ??");
    expectOneGrammar<"  48\t8B\n05\r\n??\v\f03   ">("48 8B 05 ?? 03");
    expectOneGrammar<"\n\n00\n\n">("00");
    expectOneGrammar<"FF">("FF");
    // 64 elements, the most --make ever prints.
    expectOneGrammar<"00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f "
                     "10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f "
                     "20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f "
                     "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f">(
        "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "
        "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F "
        "20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F "
        "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F");

    // Tokens that are not pattern bytes: the first one is named.
    expectOneGrammar<"48 8B 5">("not a pattern byte: \"5\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 8B GG">("not a pattern byte: \"GG\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"488B05">("not a pattern byte: \"488B05\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48,8B">("not a pattern byte: \"48,8B\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"0x48 8B">("not a pattern byte: \"0x48\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 ??? 8B">("not a pattern byte: \"???\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 ?A">("not a pattern byte: \"?A\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 +F 8B">("not a pattern byte: \"+F\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 -1">("not a pattern byte: \"-1\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48 g0 zz">("not a pattern byte: \"g0\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"?? ?? 4">("not a pattern byte: \"4\" (two hex digits, or ?? for any byte)");
    expectOneGrammar<"48\x01"
                     "8B">("not a pattern byte: \"48\x01"
                           "8B\" (two hex digits, or ?? for any byte)");

    // No fixed byte: matches everywhere, identifies nothing.
    expectOneGrammar<"">("a pattern needs at least one fixed byte");
    expectOneGrammar<" \t\n ">("a pattern needs at least one fixed byte");
    expectOneGrammar<"?? ??">("a pattern needs at least one fixed byte");
    expectOneGrammar<"? ? ?">("a pattern needs at least one fixed byte");
}

TEST(PatternText, KeepsTheEnginePatternsAsTheModHasAlwaysScannedForThem) {
    // -1: any byte.
    constexpr std::array<int, 13> kNameTable = {0x48, 0x8B, 0x05, -1,   -1,   -1,  0x03,
                                                0x48, 0x85, 0xC0, 0x0F, 0x85, 0xB0};
    constexpr std::array<int, 22> kObjectTable = {0x48, 0x8D, 0x0D, -1, -1, -1,   0x04, 0xE8, -1, -1, -1,
                                                  0x00, 0xE8, -1,   -1, -1, 0x00, 0xE8, -1,   -1, -1, 0x01};
    const auto expectElements = [](std::span<const SDK::PatternByte> elements,
                                   std::span<const int> expected) {
        ASSERT_EQ(elements.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(elements[i].fixed, expected[i] >= 0);
            EXPECT_EQ(elements[i].value, expected[i] >= 0 ? expected[i] : 0);
        }
    };
    static_assert(SDK::kNameTablePattern.size() == kNameTable.size());
    static_assert(SDK::kObjectTablePattern.size() == kObjectTable.size());
    expectElements(SDK::kNameTablePattern.elements, kNameTable);
    expectElements(SDK::kObjectTablePattern.elements, kObjectTable);

    // Printed and read back at run time, each is the same pattern again.
    for (std::span<const SDK::PatternByte> pattern :
         {std::span<const SDK::PatternByte>(SDK::kNameTablePattern.elements),
          std::span<const SDK::PatternByte>(SDK::kObjectTablePattern.elements)}) {
        const brickwright::Result<std::vector<SDK::PatternByte>> read =
            SDK::parsePatternText(SDK::patternText(pattern));
        ASSERT_TRUE(read.has_value());
        EXPECT_TRUE(sameElements(pattern, *read));
    }
}

} // namespace
