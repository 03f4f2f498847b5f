// The PE reader, the loader-style layout and the mod's scan over the result, fed arbitrary bytes as the
// file. Beyond not crashing: the layout holds exactly the file's bytes where sections map them and
// zero elsewhere, the scan's lowest match and count agree, and the export and import
// directories are read safely.
#include "pe/image.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

// Keeps each run's allocation and scan small; the reader must refuse anything larger.
constexpr std::uint64_t kMaxImageSize = 1 << 20;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <std::size_t N>
void scan(const SDK::Signature<N>& signature, const pe::Headers& headers, const pe::Image& image) {
    std::array<std::uint8_t, N> bytes{};
    std::array<char, N + 1> mask{};
    for (std::size_t i = 0; i < N; ++i) {
        bytes[i] = signature.elements[i].fixed ? signature.elements[i].value : std::uint8_t{0};
        mask[i] = signature.elements[i].fixed ? 'x' : '?';
    }
    const std::uint8_t* first = SDK::scanForPattern(bytes.data(), mask.data(), image.data(), image.size());
    const std::size_t count =
        SDK::PreparedPattern(bytes.data(), mask.data()).count(image.data(), image.size());
    require((first == nullptr) == (count == 0));
    if (first == nullptr) {
        return;
    }
    const auto rva = static_cast<std::uint64_t>(first - image.data());
    require(rva + N <= image.size());
    const pe::Section* section = headers.sectionAt(rva);
    const pe::Section* target = headers.sectionAt(SDK::relativeTarget(
        rva + SDK::kInstructionLength, SDK::readDisplacement(first + SDK::kDisplacementOffset)));
    require(section == nullptr || section->contains(rva));
    require(target == nullptr || target->virtualAddress < image.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const brickwright::Result<pe::LoadedImage> loaded = pe::load(file, kMaxImageSize);
    if (!loaded) {
        require(!loaded.error().message.empty());
        return 0;
    }
    const pe::Headers& headers = loaded->headers;
    const pe::Image& image = loaded->image;
    require(image.size() == headers.sizeOfImage && image.size() <= kMaxImageSize);

    // Which image bytes come from the file: the headers, then each section's loaded bytes in table
    // order (a later section wins where they overlap). Everything else must be zero.
    std::vector<std::int32_t> source(image.size(), -1);
    const std::size_t headerBytes = std::min<std::size_t>(headers.sizeOfHeaders, image.size());
    require(headerBytes <= size);
    for (std::size_t i = 0; i < headerBytes; ++i) {
        source[i] = -2;
    }
    for (std::size_t s = 0; s < headers.sections.size(); ++s) {
        const pe::Section& section = headers.sections[s];
        const std::uint64_t loadedSize = section.loadedSize();
        require(section.virtualAddress + std::uint64_t{section.virtualExtent()} <= image.size());
        require(loadedSize == 0 || section.rawDataOffset + loadedSize <= size);
        for (std::uint64_t i = 0; i < loadedSize; ++i) {
            source[section.virtualAddress + i] = static_cast<std::int32_t>(s);
        }
    }
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (source[i] == -1) {
            require(image.data()[i] == 0);
        } else if (source[i] == -2) {
            require(image.data()[i] == data[i]);
        } else {
            const pe::Section& section = headers.sections[static_cast<std::size_t>(source[i])];
            require(image.data()[i] == data[section.rawDataOffset + (i - section.virtualAddress)]);
        }
    }

    scan(SDK::kNameTablePattern, headers, image);
    scan(SDK::kObjectTablePattern, headers, image);

    // The export directory is read from the image, whatever it claims.
    for (const pe::Export& entry : pe::exports(headers, image.bytes())) {
        require(entry.name.size() < 4096 && entry.name.find('\0') == std::string::npos);
    }
    // So is the import directory: names end before their NUL, and an entry is either a name or an
    // ordinal. Thunk arrays cannot hold more than the image has room for.
    std::size_t thunks = 0;
    for (const pe::Import& entry : pe::imports(headers, image.bytes())) {
        require(entry.dll.size() < 4096 && entry.dll.find('\0') == std::string::npos);
        for (const pe::ImportedFunction& function : entry.functions) {
            require(function.name.size() < 4096 && function.name.find('\0') == std::string::npos);
            require(!function.ordinal || function.name.empty());
            ++thunks;
        }
    }
    require(thunks <= image.size() / 8);
    return 0;
}
