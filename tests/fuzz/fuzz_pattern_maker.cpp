// The decoder path of brickwright-sigcheck (--make and --suggest) over arbitrary code. An input that
// begins with "MZ" is a whole file for the PE reader; any other is the bytes of one executable
// section, beside a writable one its instructions may refer to. Beyond not crashing: every pattern
// made is at most 64 bytes, begins and ends with a fixed byte, matches at its RVA, and matches exactly
// as often as a plain masked comparison finds.
#include "pe/image.hpp"
#include "sigcheck/maker.hpp"
#include "sigcheck/suggest.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

constexpr std::uint64_t kMaxImageSize = 1 << 20;
constexpr std::uint32_t kCodeRva = 0x1000;

void require(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "fuzz-pattern-maker: the requirement on line %d does not hold\n", line);
        std::abort();
    }
}
#define REQUIRE(condition) require(condition, __LINE__)

bool matchesAt(std::span<const SDK::PatternByte> elements, std::span<const std::uint8_t> image,
               std::size_t at) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].fixed && image[at + i] != elements[i].value) {
            return false;
        }
    }
    return true;
}

// Every start compared; memchr only skips to the places that hold the first byte (always fixed).
std::uint64_t plainCount(std::span<const SDK::PatternByte> elements, std::span<const std::uint8_t> image) {
    std::uint64_t count = 0;
    if (elements.size() > image.size()) {
        return 0;
    }
    const std::size_t last = image.size() - elements.size();
    for (std::size_t at = 0; at <= last; ++at) {
        const void* found = std::memchr(image.data() + at, elements[0].value, last - at + 1);
        if (found == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - image.data());
        count += matchesAt(elements, image, at) ? 1u : 0u;
    }
    return count;
}

void exercise(const pe::Headers& headers, std::span<const std::uint8_t> image,
              const std::vector<std::uint64_t>& rvas) {
    const sigcheck::PatternMaker maker(headers, image);
    for (const std::uint64_t rva : rvas) {
        const sigcheck::MakeResult result = maker.make(rva);
        if (!result) {
            REQUIRE(!result.error().message.empty());
            continue;
        }
        const sigcheck::MadePattern& made = *result;
        REQUIRE(!made.elements.empty() && made.elements.size() <= sigcheck::kMaxPatternLength);
        REQUIRE(made.elements.front().fixed && made.elements.back().fixed);
        REQUIRE(rva + made.elements.size() <= image.size() && matchesAt(made.elements, image, rva));
        REQUIRE(made.matches == plainCount(made.elements, image));
        (void)sigcheck::surroundingsOf(maker.decoder(), rva, 3);
    }
    // The image as its own old build.
    const sigcheck::OldBuild old{"old", &headers, image};
    const sigcheck::SuggestReport report = sigcheck::suggest("new", headers, image, &old, 2);
    for (const sigcheck::Suggestion& suggestion : report.patterns) {
        for (const sigcheck::Candidate& candidate : suggestion.candidates) {
            // Ranked by resemblance exactly when the old build holds the pattern.
            REQUIRE(candidate.resemblance.has_value() == suggestion.oldRva.has_value());
            REQUIRE(!candidate.resemblance || (*candidate.resemblance >= 0 && *candidate.resemblance <= 1));
            REQUIRE(candidate.section.has_value());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
        const brickwright::Result<pe::LoadedImage> loaded = pe::load(std::span(data, size), kMaxImageSize);
        if (!loaded) {
            return 0;
        }
        std::vector<std::uint64_t> rvas;
        // A few per file: each is counted by plain comparison over the whole image.
        for (const pe::Section& section : loaded->headers.sections) {
            if (rvas.size() >= 4) {
                break;
            }
            rvas.push_back(section.virtualAddress);
            rvas.push_back(std::uint64_t{section.virtualAddress} + section.virtualExtent() / 2);
        }
        rvas.push_back(loaded->headers.sizeOfImage);
        exercise(loaded->headers, loaded->image.bytes(), rvas);
        return 0;
    }

    // One code section at 0x1000, then a writable one; the headers' page stays zero.
    const std::uint32_t codeSize = static_cast<std::uint32_t>(std::min<std::size_t>(size, 4096));
    pe::Headers headers;
    headers.machine = pe::kMachineAmd64;
    headers.imageBase = 0x140000000;
    headers.sizeOfHeaders = 0x400;
    const std::uint32_t dataRva = kCodeRva + ((codeSize + 0xFFF) & ~0xFFFu);
    headers.sizeOfImage = dataRva + 0x1000;
    headers.sections.push_back(
        {".text", kCodeRva, codeSize, 0x400, codeSize, pe::kSectionExecutable | pe::kSectionContainsCode});
    headers.sections.push_back({".data", dataRva, 0x1000, 0, 0, pe::kSectionWritable});
    std::vector<std::uint8_t> image(headers.sizeOfImage, 0);
    std::memcpy(image.data() + kCodeRva, data, codeSize);

    std::vector<std::uint64_t> rvas;
    for (std::uint64_t offset = 0; offset < codeSize && offset < 8; ++offset) {
        rvas.push_back(kCodeRva + offset);
    }
    rvas.push_back(0);                       // the headers
    rvas.push_back(dataRva);                 // data
    rvas.push_back(headers.sizeOfImage + 5); // past the image
    exercise(headers, image, rvas);
    return 0;
}
