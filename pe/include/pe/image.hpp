// Reads a PE32+ (x86-64) file and lays it out in memory as the Windows loader maps it, without ever
// reading past the bytes it was given: every header field is checked against the file's size first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brickwright/result.hpp"

namespace pe {

// SizeOfImage is a 32-bit field, so no image can reach this; callers that cannot afford the memory
// (the fuzzer) pass a smaller limit.
inline constexpr std::uint64_t kDefaultMaxImageSize = std::uint64_t{4} << 30;

inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kOptionalMagicPe32Plus = 0x20B;

inline constexpr std::uint32_t kSectionContainsCode = 0x00000020;
inline constexpr std::uint32_t kSectionExecutable = 0x20000000;
inline constexpr std::uint32_t kSectionWritable = 0x80000000;

struct Section {
    // The name as written: up to 8 bytes, or the full name from the symbol string table when the
    // header holds "/<offset>". May contain any byte.
    std::string name;
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawDataOffset = 0;
    std::uint32_t rawDataSize = 0;
    std::uint32_t characteristics = 0;

    // The section's extent in the image: VirtualSize, or SizeOfRawData when VirtualSize is 0.
    std::uint32_t virtualExtent() const noexcept { return virtualSize != 0 ? virtualSize : rawDataSize; }

    // How many bytes of file data the loader copies: never more than the section's extent, nothing
    // for a section without raw data.
    std::uint32_t loadedSize() const noexcept {
        if (rawDataOffset == 0) {
            return 0;
        }
        return virtualSize != 0 && virtualSize < rawDataSize ? virtualSize : rawDataSize;
    }

    bool contains(std::uint64_t rva) const noexcept {
        return rva >= virtualAddress && rva - virtualAddress < virtualExtent();
    }

    // Code as the loader maps it: marked executable, or as holding code.
    bool executable() const noexcept {
        return (characteristics & (kSectionExecutable | kSectionContainsCode)) != 0;
    }
    bool writable() const noexcept { return (characteristics & kSectionWritable) != 0; }
};

// Where a data directory lies in the image; both zero when the file has none.
struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Headers {
    std::uint16_t machine = 0;
    std::uint64_t imageBase = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    DataDirectory exportDirectory;
    DataDirectory importDirectory;
    std::vector<Section> sections;

    // The first section, in table order, whose extent holds `rva`; nullptr for the headers, the gaps
    // between sections and anything past the image.
    [[nodiscard]] const Section* sectionAt(std::uint64_t rva) const noexcept;
};

// The headers and section table of `file`, checked so that laying the file out cannot fail or read
// outside it; or why the file cannot be used.
[[nodiscard]] brickwright::Result<Headers> parseHeaders(std::span<const std::uint8_t> file,
                                                        std::uint64_t maxImageSize = kDefaultMaxImageSize);

struct LoadedImage;

// Lays out `file` with `headers` from parseHeaders of that same file.
[[nodiscard]] brickwright::Result<LoadedImage> layOut(std::span<const std::uint8_t> file, Headers headers);

// SizeOfImage bytes as the loader maps them: the first SizeOfHeaders bytes of the file, then each
// section's loaded bytes at its virtual address, zero everywhere else. Relocations and imports are
// not applied. The zeroed memory comes from calloc, so the untouched part of a large image costs
// no memory until it is read.
class Image {
public:
    Image() = default;

    const std::uint8_t* data() const noexcept { return bytes_.get(); }
    std::size_t size() const noexcept { return size_; }
    std::span<const std::uint8_t> bytes() const noexcept { return {bytes_.get(), size_}; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> bytes_;
    std::size_t size_ = 0;

    friend brickwright::Result<LoadedImage> layOut(std::span<const std::uint8_t> file, Headers headers);
};

struct LoadedImage {
    Headers headers;
    Image image;
};

// parseHeaders, then layOut.
[[nodiscard]] brickwright::Result<LoadedImage> load(std::span<const std::uint8_t> file,
                                                    std::uint64_t maxImageSize = kDefaultMaxImageSize);

struct Export {
    std::string name;
    std::uint32_t rva = 0;
    // The RVA names a "DLL.function" string in the export directory rather than code or data.
    bool forwarder = false;
};

// The named exports of a laid-out image, in the order of its name table. Whatever lies outside the
// image is skipped, so a malformed directory gives fewer exports, never a read past the image.
[[nodiscard]] std::vector<Export> exports(const Headers& headers, std::span<const std::uint8_t> image);

// The DLL name the export directory gives the image ("xinput1_3.dll"), as written; nothing when the
// image has no export directory or the name does not lie inside it.
[[nodiscard]] std::optional<std::string> exportedDllName(const Headers& headers,
                                                         std::span<const std::uint8_t> image);

// The bytes of the first section, in table order, named `name`, as laid out: its whole extent, cut
// short where the image ends; nothing when no section has that name.
[[nodiscard]] std::optional<std::span<const std::uint8_t>>
sectionBytes(const Headers& headers, std::span<const std::uint8_t> image, std::string_view name);

struct ImportedFunction {
    // Empty when the function is imported by ordinal.
    std::string name;
    std::optional<std::uint16_t> ordinal;
    // Where the exporter's name table probably holds `name`; only a hint to the loader.
    std::uint16_t hint = 0;
};

struct Import {
    std::string dll; // as written, in whatever case
    std::vector<ImportedFunction> functions;
};

// The import directory of a laid-out image, one entry per descriptor in table order, each with its
// functions in thunk order (the lookup table, or the address table when there is none). As with
// exports, whatever lies outside the image is skipped: a malformed directory gives fewer entries,
// never a read past the image.
[[nodiscard]] std::vector<Import> imports(const Headers& headers, std::span<const std::uint8_t> image);

} // namespace pe
