// The checker on real Windows code: the DLLs that Wine installs. None of them is the game, so the
// engine patterns are absent; patterns of the same shape with other fixed bytes match thousands of
// times, and every answer must agree with a plain byte-by-byte masked search of the same image.
#include "pe/image.hpp"
#include "sigcheck/check.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kWineDlls = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

struct Reference {
    std::uint64_t matches = 0;
    std::optional<std::uint64_t> first;
};

// Every start offset from 0 to size - length, every mask position compared.
Reference plainSearch(const pe::Image& image, const std::vector<std::uint8_t>& bytes,
                      const std::string& mask) {
    Reference reference;
    const std::size_t length = mask.size();
    for (std::size_t offset = 0; offset + length <= image.size(); ++offset) {
        bool match = true;
        for (std::size_t i = 0; i < length; ++i) {
            if (mask[i] == 'x' && image.data()[offset + i] != bytes[i]) {
                match = false;
                break;
            }
        }
        if (match) {
            reference.first = reference.first.value_or(offset);
            ++reference.matches;
        }
    }
    return reference;
}

struct Pattern {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string mask;
};

TEST(SigcheckOnWineDlls, AgreesWithAPlainMaskedSearchOfTheLaidOutImage) {
    if (!fs::is_directory(kWineDlls)) {
        GTEST_SKIP() << "Wine's Windows DLLs are not installed";
    }
    const std::vector<Pattern> patterns = {
        {"name-table",
         {0x48, 0x8B, 0x05, 0, 0, 0, 0x03, 0x48, 0x85, 0xC0, 0x0F, 0x85, 0xB0},
         "xxx???xxxxxxx"},
        {"object-table",
         {0x48, 0x8D, 0x0D, 0, 0, 0, 0x04, 0xE8, 0, 0, 0, 0x00, 0xE8, 0, 0, 0, 0x00, 0xE8, 0, 0, 0, 0x01},
         "xxx???xx???xx???xx???x"},
        // The same instructions with near displacements, as ordinary code has them.
        {"near-load", {0x48, 0x8B, 0x05, 0, 0, 0, 0x00, 0x48, 0x85, 0xC0}, "xxx???xxxx"},
        {"near-lea-call", {0x48, 0x8D, 0x0D, 0, 0, 0, 0x00, 0xE8, 0, 0, 0, 0xFF}, "xxx???xx???x"},
    };

    int checked = 0;
    std::uint64_t nearMatches = 0;
    for (const char* dll : {"ntdll.dll", "kernelbase.dll", "user32.dll", "mshtml.dll"}) {
        const fs::path path = kWineDlls / dll;
        if (!fs::exists(path)) {
            continue;
        }
        SCOPED_TRACE(dll);
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
        const brickwright::Result<pe::LoadedImage> loaded = pe::load(file);
        ASSERT_TRUE(loaded) << loaded.error().message;

        const sigcheck::FileReport report = sigcheck::checkImage(dll, loaded->headers, loaded->image);
        EXPECT_EQ(report.imageSize, loaded->headers.sizeOfImage);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const Pattern& pattern = patterns[i];
            SCOPED_TRACE(pattern.name);
            const Reference reference = plainSearch(loaded->image, pattern.bytes, pattern.mask);
            const sigcheck::PatternReport found =
                i < 2 ? report.patterns[i]
                      : sigcheck::scanPattern(pattern.name, pattern.bytes, pattern.mask.c_str(),
                                              loaded->headers, loaded->image);
            EXPECT_EQ(found.matches, reference.matches);
            EXPECT_EQ(found.rva, reference.first);
            if (i >= 2) {
                nearMatches += reference.matches;
            }
            if (!reference.first) {
                continue;
            }
            std::uint32_t displacement = 0;
            std::memcpy(&displacement, loaded->image.data() + *reference.first + 3, 4);
            EXPECT_EQ(found.targetRva, *reference.first + 7 + displacement);
            const pe::Section* section = loaded->headers.sectionAt(*reference.first);
            EXPECT_EQ(found.section, section ? std::optional<std::string>(section->name) : std::nullopt);
        }
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of the chosen Wine DLLs is installed";
    }
    // Otherwise the comparison above would prove little.
    EXPECT_GT(nearMatches, 100u);
}

} // namespace
