#include "pe/image.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace pe {
namespace {

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;
constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSymbolSize = 18;
constexpr std::size_t kMaxLongNameLength = 255;

// The fixed part of the PE32+ optional header, up to and including NumberOfRvaAndSizes.
constexpr std::size_t kOptionalHeaderFixedSize = 112;

// Offsets of the fields read, relative to the structure that holds them.
constexpr std::size_t kFileMachine = 0;
constexpr std::size_t kFileNumberOfSections = 2;
constexpr std::size_t kFilePointerToSymbolTable = 8;
constexpr std::size_t kFileNumberOfSymbols = 12;
constexpr std::size_t kFileSizeOfOptionalHeader = 16;
constexpr std::size_t kOptionalMagic = 0;
constexpr std::size_t kOptionalImageBase = 24;
constexpr std::size_t kOptionalSizeOfImage = 56;
constexpr std::size_t kOptionalSizeOfHeaders = 60;
constexpr std::size_t kOptionalNumberOfRvaAndSizes = 108;
constexpr std::size_t kDataDirectorySize = 8;
constexpr std::size_t kExportName = 12;
constexpr std::size_t kExportNumberOfFunctions = 20;
constexpr std::size_t kExportNumberOfNames = 24;
constexpr std::size_t kExportAddressOfFunctions = 28;
constexpr std::size_t kExportAddressOfNames = 32;
constexpr std::size_t kExportAddressOfNameOrdinals = 36;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kMaxExportNameLength = 4096;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kImportLookupTable = 0;
constexpr std::size_t kImportName = 12;
constexpr std::size_t kImportAddressTable = 16;
constexpr std::size_t kThunkSize = 8;
constexpr std::uint64_t kThunkByOrdinal = std::uint64_t{1} << 63;
constexpr std::size_t kMaxImportNameLength = 4096;
constexpr std::size_t kSectionVirtualSize = 8;
constexpr std::size_t kSectionVirtualAddress = 12;
constexpr std::size_t kSectionSizeOfRawData = 16;
constexpr std::size_t kSectionPointerToRawData = 20;
constexpr std::size_t kSectionCharacteristics = 36;
constexpr std::size_t kSectionNameSize = 8;

static_assert(kOptionalSizeOfHeaders + 4 <= kOptionalHeaderFixedSize);
static_assert(kSectionCharacteristics + 4 == kSectionHeaderSize);

// Little-endian reads; callers have checked that the bytes lie inside the file.
std::uint16_t read16(std::span<const std::uint8_t> file, std::uint64_t offset) noexcept {
    const auto* p = file.data() + offset;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t read32(std::span<const std::uint8_t> file, std::uint64_t offset) noexcept {
    const auto* p = file.data() + offset;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t read64(std::span<const std::uint8_t> file, std::uint64_t offset) noexcept {
    return static_cast<std::uint64_t>(read32(file, offset)) |
           static_cast<std::uint64_t>(read32(file, offset + 4)) << 32;
}

// Whether [offset, offset + length) lies inside a file of `size` bytes. Offsets and lengths come from
// 32-bit fields, so their sums fit in 64 bits, but say so rather than rely on it.
bool inside(std::uint64_t size, std::uint64_t offset, std::uint64_t length) noexcept {
    return offset <= size && length <= size - offset;
}

using brickwright::fail;
using brickwright::Result;

constexpr const char* kNotPe = "not a PE file";
constexpr const char* kNotX64 = "not an x86-64 image";
constexpr const char* kTruncatedHeaders = "truncated headers";
constexpr const char* kTruncatedSectionTable = "truncated section table";
constexpr const char* kSectionDataPastEndOfFile = "section data past the end of the file";
constexpr const char* kSectionPastEndOfImage = "section past the end of the image";
constexpr const char* kOutOfMemory = "cannot allocate the image";

// "/<decimal offset>" names a longer name in the COFF string table, which follows the symbol table.
// Anything that does not resolve cleanly keeps the 8-byte form.
std::string sectionName(std::span<const std::uint8_t> file, std::uint64_t header, std::uint32_t symbolTable,
                        std::uint32_t symbolCount) {
    const auto* raw = reinterpret_cast<const char*>(file.data() + header);
    std::string name(raw, std::find(raw, raw + kSectionNameSize, '\0'));
    if (name.size() < 2 || name[0] != '/' || symbolTable == 0) {
        return name;
    }
    std::uint64_t offset = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return name;
        }
        offset = offset * 10 + static_cast<std::uint64_t>(name[i] - '0');
    }
    const std::uint64_t strings = std::uint64_t{symbolTable} + std::uint64_t{symbolCount} * kSymbolSize;
    if (!inside(file.size(), strings, offset) || strings + offset == file.size()) {
        return name;
    }
    const std::uint64_t start = strings + offset;
    const std::uint64_t end = std::min<std::uint64_t>(file.size(), start + kMaxLongNameLength);
    const auto* first = reinterpret_cast<const char*>(file.data() + start);
    const auto* last = reinterpret_cast<const char*>(file.data() + end);
    const auto* nul = std::find(first, last, '\0');
    if (nul == last || nul == first) {
        return name;
    }
    return std::string(first, nul);
}

// Data directory `index`, when the optional header holds it.
DataDirectory dataDirectory(std::span<const std::uint8_t> file, std::uint64_t optional,
                            std::uint16_t optionalSize, std::uint32_t index) {
    const std::uint64_t entry =
        optional + kOptionalHeaderFixedSize + std::uint64_t{index} * kDataDirectorySize;
    if (read32(file, optional + kOptionalNumberOfRvaAndSizes) <= index ||
        optionalSize < kOptionalHeaderFixedSize + (std::uint64_t{index} + 1) * kDataDirectorySize ||
        !inside(file.size(), entry, kDataDirectorySize)) {
        return {};
    }
    return {read32(file, entry), read32(file, entry + 4)};
}

// The NUL-terminated string at `rva`, at most `limit` bytes before the NUL; nothing when it runs past
// the image or the limit.
std::optional<std::string> stringAt(std::span<const std::uint8_t> image, std::uint64_t rva,
                                    std::size_t limit) {
    if (rva >= image.size()) {
        return std::nullopt;
    }
    const auto* first = reinterpret_cast<const char*>(image.data() + rva);
    const auto* last = first + std::min<std::uint64_t>(image.size() - rva, limit);
    const auto* nul = std::find(first, last, '\0');
    if (nul == last) {
        return std::nullopt;
    }
    return std::string(first, nul);
}

// What must hold for layOut to stay inside both the file and the image.
Result<void> checkLayout(std::uint64_t fileSize, const Headers& headers) {
    if (headers.sizeOfHeaders > fileSize) {
        return fail(kTruncatedHeaders);
    }
    for (const Section& section : headers.sections) {
        const std::uint32_t loaded = section.loadedSize();
        if (loaded != 0 && !inside(fileSize, section.rawDataOffset, loaded)) {
            return fail(kSectionDataPastEndOfFile);
        }
        if (!inside(headers.sizeOfImage, section.virtualAddress, section.virtualExtent())) {
            return fail(kSectionPastEndOfImage);
        }
    }
    return {};
}

} // namespace

const Section* Headers::sectionAt(std::uint64_t rva) const noexcept {
    for (const Section& section : sections) {
        if (section.contains(rva)) {
            return &section;
        }
    }
    return nullptr;
}

Result<Headers> parseHeaders(std::span<const std::uint8_t> file, std::uint64_t maxImageSize) {
    const std::uint64_t size = file.size();
    if (size < kDosHeaderSize || file[0] != 'M' || file[1] != 'Z') {
        return fail(kNotPe);
    }
    const std::uint64_t pe = read32(file, kNewHeaderOffsetField);
    if (!inside(size, pe, kSignatureSize) || std::memcmp(file.data() + pe, "PE\0\0", kSignatureSize) != 0) {
        return fail(kNotPe);
    }
    const std::uint64_t coff = pe + kSignatureSize;
    if (!inside(size, coff, kFileHeaderSize)) {
        return fail(kTruncatedHeaders);
    }
    Headers headers;
    headers.machine = read16(file, coff + kFileMachine);
    if (headers.machine != kMachineAmd64) {
        return fail(kNotX64);
    }
    const std::uint64_t optional = coff + kFileHeaderSize;
    const std::uint16_t optionalSize = read16(file, coff + kFileSizeOfOptionalHeader);
    if (!inside(size, optional, 2)) {
        return fail(kTruncatedHeaders);
    }
    if (optionalSize < 2 || read16(file, optional + kOptionalMagic) != kOptionalMagicPe32Plus) {
        return fail(kNotX64);
    }
    if (optionalSize < kOptionalHeaderFixedSize || !inside(size, optional, kOptionalHeaderFixedSize)) {
        return fail(kTruncatedHeaders);
    }
    headers.imageBase = read64(file, optional + kOptionalImageBase);
    headers.sizeOfImage = read32(file, optional + kOptionalSizeOfImage);
    headers.sizeOfHeaders = read32(file, optional + kOptionalSizeOfHeaders);
    headers.exportDirectory = dataDirectory(file, optional, optionalSize, 0);
    headers.importDirectory = dataDirectory(file, optional, optionalSize, 1);

    const std::uint64_t table = optional + optionalSize;
    const std::uint16_t count = read16(file, coff + kFileNumberOfSections);
    if (!inside(size, table, std::uint64_t{count} * kSectionHeaderSize)) {
        return fail(kTruncatedSectionTable);
    }
    if (headers.sizeOfImage > maxImageSize) {
        return fail("image too large: SizeOfImage is " + std::to_string(headers.sizeOfImage) +
                    " bytes, over the limit of " + std::to_string(maxImageSize) + " bytes");
    }

    const std::uint32_t symbolTable = read32(file, coff + kFilePointerToSymbolTable);
    const std::uint32_t symbolCount = read32(file, coff + kFileNumberOfSymbols);
    headers.sections.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t header = table + i * kSectionHeaderSize;
        Section section;
        section.name = sectionName(file, header, symbolTable, symbolCount);
        section.virtualSize = read32(file, header + kSectionVirtualSize);
        section.virtualAddress = read32(file, header + kSectionVirtualAddress);
        section.rawDataSize = read32(file, header + kSectionSizeOfRawData);
        section.rawDataOffset = read32(file, header + kSectionPointerToRawData);
        section.characteristics = read32(file, header + kSectionCharacteristics);
        headers.sections.push_back(std::move(section));
    }
    if (Result<void> checked = checkLayout(size, headers); !checked) {
        return tl::unexpected(std::move(checked.error()));
    }
    return headers;
}

Result<LoadedImage> layOut(std::span<const std::uint8_t> file, Headers headers) {
    if (Result<void> checked = checkLayout(file.size(), headers); !checked) {
        return tl::unexpected(std::move(checked.error()));
    }
    const std::size_t size = headers.sizeOfImage;
    // calloc(0) may give nullptr or a unique pointer; ask for one byte so that success is unambiguous.
    auto* bytes = static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(size, 1), 1));
    if (bytes == nullptr) {
        return fail(kOutOfMemory);
    }
    LoadedImage result;
    result.image.bytes_.reset(bytes);
    result.image.size_ = size;

    std::memcpy(bytes, file.data(), std::min<std::size_t>(headers.sizeOfHeaders, size));
    // In table order, so a later section overwrites an earlier one where they overlap.
    for (const Section& section : headers.sections) {
        const std::uint32_t loaded = section.loadedSize();
        if (loaded != 0) {
            std::memcpy(bytes + section.virtualAddress, file.data() + section.rawDataOffset, loaded);
        }
    }
    result.headers = std::move(headers);
    return result;
}

Result<LoadedImage> load(std::span<const std::uint8_t> file, std::uint64_t maxImageSize) {
    return parseHeaders(file, maxImageSize).and_then([&](Headers headers) {
        return layOut(file, std::move(headers));
    });
}

std::vector<Export> exports(const Headers& headers, std::span<const std::uint8_t> image) {
    std::vector<Export> found;
    const DataDirectory directory = headers.exportDirectory;
    if (directory.rva == 0 || !inside(image.size(), directory.rva, kExportDirectorySize)) {
        return found;
    }
    const std::uint32_t functionCount = read32(image, directory.rva + kExportNumberOfFunctions);
    const std::uint32_t nameCount = read32(image, directory.rva + kExportNumberOfNames);
    const std::uint32_t functions = read32(image, directory.rva + kExportAddressOfFunctions);
    const std::uint32_t names = read32(image, directory.rva + kExportAddressOfNames);
    const std::uint32_t ordinals = read32(image, directory.rva + kExportAddressOfNameOrdinals);
    if (!inside(image.size(), names, std::uint64_t{nameCount} * 4) ||
        !inside(image.size(), ordinals, std::uint64_t{nameCount} * 2) ||
        !inside(image.size(), functions, std::uint64_t{functionCount} * 4)) {
        return found;
    }
    for (std::uint64_t i = 0; i < nameCount; ++i) {
        const std::uint16_t ordinal = read16(image, ordinals + i * 2);
        const std::uint32_t nameRva = read32(image, names + i * 4);
        if (ordinal >= functionCount) {
            continue;
        }
        std::optional<std::string> name = stringAt(image, nameRva, kMaxExportNameLength);
        if (!name) {
            continue;
        }
        Export entry;
        entry.name = std::move(*name);
        entry.rva = read32(image, functions + std::uint64_t{ordinal} * 4);
        entry.forwarder = entry.rva >= directory.rva && entry.rva - directory.rva < directory.size;
        found.push_back(std::move(entry));
    }
    return found;
}

std::optional<std::string> exportedDllName(const Headers& headers, std::span<const std::uint8_t> image) {
    const DataDirectory directory = headers.exportDirectory;
    if (directory.rva == 0 || !inside(image.size(), directory.rva, kExportDirectorySize)) {
        return std::nullopt;
    }
    const std::uint32_t name = read32(image, directory.rva + kExportName);
    if (name == 0) {
        return std::nullopt;
    }
    return stringAt(image, name, kMaxImportNameLength);
}

std::optional<std::span<const std::uint8_t>>
sectionBytes(const Headers& headers, std::span<const std::uint8_t> image, std::string_view name) {
    for (const Section& section : headers.sections) {
        if (section.name != name) {
            continue;
        }
        if (section.virtualAddress >= image.size()) {
            return std::span<const std::uint8_t>{};
        }
        const std::uint64_t size =
            std::min<std::uint64_t>(section.virtualExtent(), image.size() - section.virtualAddress);
        return image.subspan(section.virtualAddress, static_cast<std::size_t>(size));
    }
    return std::nullopt;
}

std::vector<Import> imports(const Headers& headers, std::span<const std::uint8_t> image) {
    std::vector<Import> found;
    const DataDirectory directory = headers.importDirectory;
    if (directory.rva == 0) {
        return found;
    }
    // Real thunk arrays never overlap, so an image holds at most size / 8 thunks in all; descriptors
    // that share one array cannot make the walk longer than that.
    std::uint64_t thunkBudget = image.size() / kThunkSize;
    for (std::uint64_t descriptor = directory.rva; inside(image.size(), descriptor, kImportDescriptorSize);
         descriptor += kImportDescriptorSize) {
        const std::uint32_t lookupTable = read32(image, descriptor + kImportLookupTable);
        const std::uint32_t nameRva = read32(image, descriptor + kImportName);
        const std::uint32_t addressTable = read32(image, descriptor + kImportAddressTable);
        if (nameRva == 0 && lookupTable == 0 && addressTable == 0) {
            break; // the descriptor that ends the table
        }
        std::optional<std::string> dll = stringAt(image, nameRva, kMaxImportNameLength);
        if (!dll) {
            continue;
        }
        Import entry;
        entry.dll = std::move(*dll);
        const std::uint64_t thunks = lookupTable != 0 ? lookupTable : addressTable;
        for (std::uint64_t thunk = thunks; thunkBudget > 0 && inside(image.size(), thunk, kThunkSize);
             thunk += kThunkSize, --thunkBudget) {
            const std::uint64_t value = read64(image, thunk);
            if (value == 0) {
                break;
            }
            ImportedFunction function;
            if ((value & kThunkByOrdinal) != 0) {
                function.ordinal = static_cast<std::uint16_t>(value);
            } else {
                // A hint/name RVA has 31 bits; anything above them is no RVA.
                const std::uint64_t hintName = value;
                if (hintName > 0x7FFFFFFFu || !inside(image.size(), hintName, 2)) {
                    continue;
                }
                std::optional<std::string> name = stringAt(image, hintName + 2, kMaxImportNameLength);
                if (!name) {
                    continue;
                }
                function.hint = read16(image, hintName);
                function.name = std::move(*name);
            }
            entry.functions.push_back(std::move(function));
        }
        found.push_back(std::move(entry));
    }
    return found;
}

} // namespace pe
