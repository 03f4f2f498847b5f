// The game's executable file must not carry the engine patterns: the mod scans the game's image from
// its first byte, and a copy in the file (a constant array of the pattern, or bytes that happen to
// match) would be found before the instructions the game plants at run time.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "sdk/engine_patterns.hpp"
#include "sdk/signature.hpp"

namespace {

std::vector<std::uint8_t> readGameFile() {
    std::ifstream file(BRICKWRIGHT_GAME_FILE, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Offsets where every fixed byte of the signature matches (wildcards accept anything).
template <std::size_t N>
std::vector<std::size_t> maskedMatches(const std::vector<std::uint8_t>& bytes,
                                       const SDK::Signature<N>& signature) {
    std::vector<std::size_t> found;
    for (std::size_t at = 0; at + N <= bytes.size(); ++at) {
        std::size_t i = 0;
        while (i < N && (!signature.elements[i].fixed || bytes[at + i] == signature.elements[i].value)) {
            ++i;
        }
        if (i == N) {
            found.push_back(at);
        }
    }
    return found;
}

// Offsets of the pattern as it is stored for a scan: its bytes with 00 at the wildcards.
template <std::size_t N>
std::vector<std::size_t> storedForms(const std::vector<std::uint8_t>& bytes,
                                     const SDK::Signature<N>& signature) {
    std::vector<std::size_t> found;
    for (std::size_t at = 0; at + N <= bytes.size(); ++at) {
        std::size_t i = 0;
        while (i < N && bytes[at + i] == (signature.elements[i].fixed ? signature.elements[i].value : 0)) {
            ++i;
        }
        if (i == N) {
            found.push_back(at);
        }
    }
    return found;
}

template <std::size_t N>
void writeStoredForm(std::vector<std::uint8_t>& bytes, std::size_t at, const SDK::Signature<N>& signature) {
    for (std::size_t i = 0; i < N; ++i) {
        bytes[at + i] = signature.elements[i].fixed ? signature.elements[i].value : std::uint8_t{0};
    }
}

} // namespace

TEST(TheGameExecutableFile, HoldsNeitherEnginePatternMaskedNorInItsStoredForm) {
    const std::vector<std::uint8_t> bytes = readGameFile();
    ASSERT_GT(bytes.size(), 4096u) << "cannot read " << BRICKWRIGHT_GAME_FILE;

    EXPECT_EQ(maskedMatches(bytes, SDK::kNameTablePattern), std::vector<std::size_t>{});
    EXPECT_EQ(maskedMatches(bytes, SDK::kObjectTablePattern), std::vector<std::size_t>{});
    EXPECT_EQ(storedForms(bytes, SDK::kNameTablePattern), std::vector<std::size_t>{});
    EXPECT_EQ(storedForms(bytes, SDK::kObjectTablePattern), std::vector<std::size_t>{});
}

TEST(TheGameExecutableFile, WouldShowEitherPatternWrittenIntoIt) {
    std::vector<std::uint8_t> bytes = readGameFile();
    ASSERT_GT(bytes.size(), 4096u) << "cannot read " << BRICKWRIGHT_GAME_FILE;
    const std::size_t nameAt = bytes.size() / 3;
    const std::size_t objectAt = bytes.size() / 3 * 2;
    writeStoredForm(bytes, nameAt, SDK::kNameTablePattern);
    writeStoredForm(bytes, objectAt, SDK::kObjectTablePattern);

    EXPECT_EQ(maskedMatches(bytes, SDK::kNameTablePattern), std::vector<std::size_t>{nameAt});
    EXPECT_EQ(maskedMatches(bytes, SDK::kObjectTablePattern), std::vector<std::size_t>{objectAt});
    EXPECT_EQ(storedForms(bytes, SDK::kNameTablePattern), std::vector<std::size_t>{nameAt});
    EXPECT_EQ(storedForms(bytes, SDK::kObjectTablePattern), std::vector<std::size_t>{objectAt});
}
