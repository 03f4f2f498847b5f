// The PE reader: what it accepts, how it lays an image out, and how it refuses what it cannot use.
#include "pe/image.hpp"
#include "pe_builder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using pebuilder::FilePlan;

bool allEqual(const pe::Image& image, std::size_t begin, std::size_t end, std::uint8_t value) {
    return std::all_of(image.data() + begin, image.data() + end,
                       [value](std::uint8_t b) { return b == value; });
}

std::string failure(const std::vector<std::uint8_t>& file, std::uint64_t limit = pe::kDefaultMaxImageSize) {
    const brickwright::Result<pe::LoadedImage> result = pe::load(file, limit);
    if (result) {
        return "(loaded)";
    }
    return result.error().message;
}

TEST(PeReader, LaysOutHeadersAndSectionsAsTheLoaderMapsThem) {
    const std::vector<std::uint8_t> file = pebuilder::build(pebuilder::typical());
    const brickwright::Result<pe::LoadedImage> result = pe::load(file);
    ASSERT_TRUE(result) << result.error().message;
    const pe::Image& image = result->image;
    ASSERT_EQ(image.size(), 0x4000u);
    EXPECT_EQ(result->headers.imageBase, 0x140000000u);
    EXPECT_EQ(result->headers.sections.size(), 3u);

    // The headers as in the file, then zero up to the first section.
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 0x200, image.data()));
    EXPECT_TRUE(allEqual(image, 0x200, 0x1000, 0));
    // .text has 0x200 raw bytes but a VirtualSize of 0x180: only 0x180 are mapped.
    EXPECT_TRUE(allEqual(image, 0x1000, 0x1180, 0xCC));
    EXPECT_TRUE(allEqual(image, 0x1180, 0x2000, 0));
    EXPECT_TRUE(allEqual(image, 0x2000, 0x2200, 0xDD));
    // .bss and the rest are zero.
    EXPECT_TRUE(allEqual(image, 0x2200, 0x4000, 0));
}

TEST(PeReader, MapsTheWholeRawDataOfASectionWithoutVirtualSizeAndNothingOfOneWithoutRawData) {
    FilePlan plan = pebuilder::typical();
    plan.sections[0].virtualSize = 0;
    plan.sections[1].rawDataOffset = 0; // size given, but no place in the file
    plan.sections[1].data.clear();
    const brickwright::Result<pe::LoadedImage> result = pe::load(pebuilder::build(plan));
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_TRUE(allEqual(result->image, 0x1000, 0x1200, 0xCC));
    EXPECT_TRUE(allEqual(result->image, 0x1200, 0x4000, 0));
    // The raw size stands in for the missing VirtualSize when telling which section holds an RVA.
    ASSERT_NE(result->headers.sectionAt(0x11FF), nullptr);
    EXPECT_EQ(result->headers.sectionAt(0x11FF)->name, ".text");
}

TEST(PeReader, TellsWhichSectionHoldsAnRvaAndNoneForHeadersGapsOrPastTheImage) {
    const brickwright::Result<pe::LoadedImage> result = pe::load(pebuilder::build(pebuilder::typical()));
    ASSERT_TRUE(result);
    const pe::Headers& headers = result->headers;
    const auto name = [&](std::uint64_t rva) {
        const pe::Section* section = headers.sectionAt(rva);
        return section != nullptr ? section->name : std::string("(none)");
    };
    EXPECT_EQ(name(0), "(none)");
    EXPECT_EQ(name(0xFFF), "(none)");
    EXPECT_EQ(name(0x1000), ".text");
    EXPECT_EQ(name(0x117F), ".text");
    EXPECT_EQ(name(0x1180), "(none)");
    EXPECT_EQ(name(0x2000), ".data");
    EXPECT_EQ(name(0x37FF), ".bss");
    EXPECT_EQ(name(0x3800), "(none)");
    EXPECT_EQ(name(0xFFFFFFFFFFFFFFFFull), "(none)");
}

TEST(PeReader, ResolvesLongSectionNamesFromTheStringTableAndKeepsReferencesThatDoNotResolve) {
    FilePlan plan = pebuilder::typical();
    plan.symbolTable = 0x600;
    plan.symbolCount = 2;
    const std::string strings = std::string("\x20\0\0\0", 4) + ".debug_info" + '\0' + ".bss.engine" + '\0';
    plan.stringTable.assign(strings.begin(), strings.end());
    plan.sections[0].name = "/4";
    plan.sections[1].name = "/16";
    plan.sections[2].name = "/4x";
    plan.sections.push_back({"/999999", 0x3800, 0x100, 0, 0, {}});
    plan.sections.push_back({"/27", 0x3900, 0x100, 0, 0, {}}); // the final NUL: an empty name
    const brickwright::Result<pe::LoadedImage> result = pe::load(pebuilder::build(plan));
    ASSERT_TRUE(result) << result.error().message;
    const auto& sections = result->headers.sections;
    EXPECT_EQ(sections[0].name, ".debug_info");
    EXPECT_EQ(sections[1].name, ".bss.engine");
    EXPECT_EQ(sections[2].name, "/4x");
    EXPECT_EQ(sections[3].name, "/999999");
    EXPECT_EQ(sections[4].name, "/27");

    // A name that runs into the end of the file without its NUL does not resolve either.
    plan.stringTable.pop_back();
    plan.sections.resize(2);
    plan.sections[1].name = "/16";
    const brickwright::Result<pe::LoadedImage> unterminated = pe::load(pebuilder::build(plan));
    ASSERT_TRUE(unterminated);
    EXPECT_EQ(unterminated->headers.sections[1].name, "/16");
}

TEST(PeReader, RefusesFilesThatAreNotPeImages) {
    EXPECT_EQ(failure({}), "not a PE file");
    EXPECT_EQ(failure(std::vector<std::uint8_t>(63, 'M')), "not a PE file");
    std::vector<std::uint8_t> text(4096, 'x');
    EXPECT_EQ(failure(text), "not a PE file");

    std::vector<std::uint8_t> file = pebuilder::build(pebuilder::typical());
    file[1] = 'X';
    EXPECT_EQ(failure(file), "not a PE file");

    FilePlan plan = pebuilder::typical();
    file = pebuilder::build(plan);
    pebuilder::put32(file, 0x3C, 0xFFFFFFFF); // the PE header offset far past the end
    EXPECT_EQ(failure(file), "not a PE file");
    pebuilder::put32(file, 0x3C, static_cast<std::uint32_t>(file.size() - 3));
    EXPECT_EQ(failure(file), "not a PE file");
    file = pebuilder::build(plan);
    file[0x42] = 'X'; // "PX\0\0"
    EXPECT_EQ(failure(file), "not a PE file");
}

TEST(PeReader, RefusesImagesForOtherMachinesAndPe32Images) {
    FilePlan plan = pebuilder::typical();
    plan.machine = 0x14C; // i386
    EXPECT_EQ(failure(pebuilder::build(plan)), "not an x86-64 image");
    plan.machine = 0xAA64; // arm64
    EXPECT_EQ(failure(pebuilder::build(plan)), "not an x86-64 image");
    plan = pebuilder::typical();
    plan.magic = 0x10B; // a PE32 optional header behind an x86-64 machine field
    EXPECT_EQ(failure(pebuilder::build(plan)), "not an x86-64 image");
    plan = pebuilder::typical();
    plan.optionalHeaderSize = 0; // an object file's header behind an MZ stub
    EXPECT_EQ(failure(pebuilder::build(plan)), "not an x86-64 image");
}

TEST(PeReader, RefusesTruncatedHeadersAndSectionTables) {
    const std::vector<std::uint8_t> file = pebuilder::build(pebuilder::typical());
    const auto cut = [&](std::size_t size) {
        return failure(
            std::vector<std::uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)));
    };
    EXPECT_EQ(cut(0x44), "truncated headers");        // the signature, no file header
    EXPECT_EQ(cut(0x44 + 19), "truncated headers");   // one byte short of the file header
    EXPECT_EQ(cut(0x58 + 111), "truncated headers");  // one byte short of the optional header's fields
    EXPECT_EQ(cut(0x148), "truncated section table"); // the table begins at 0x148
    EXPECT_EQ(cut(0x148 + 3 * 40 - 1), "truncated section table");

    FilePlan plan = pebuilder::typical();
    plan.optionalHeaderSize = 100; // claims fewer bytes than its own fixed fields
    EXPECT_EQ(failure(pebuilder::build(plan)), "truncated headers");
    plan = pebuilder::typical();
    plan.sectionCountOverride = 0xFFFF;
    EXPECT_EQ(failure(pebuilder::build(plan)), "truncated section table");
    plan = pebuilder::typical();
    plan.sizeOfHeaders = 0x10000; // more headers than the file holds
    std::vector<std::uint8_t> headersOnly = pebuilder::build(plan);
    headersOnly.resize(0x600);
    EXPECT_EQ(failure(headersOnly), "truncated headers");
}

TEST(PeReader, RefusesSectionsWhoseMappedDataLiesPastTheEndOfTheFile) {
    FilePlan plan = pebuilder::typical();
    std::vector<std::uint8_t> file = pebuilder::build(plan);
    ASSERT_EQ(file.size(), 0x600u);
    EXPECT_EQ(failure(std::vector<std::uint8_t>(file.begin(), file.end() - 1)),
              "section data past the end of the file");

    plan.sections[1].rawDataOffset = 0xFFFFFF00; // the sum wraps in 32 bits
    plan.sections[1].data.clear();
    EXPECT_EQ(failure(pebuilder::build(plan)), "section data past the end of the file");

    // Raw bytes beyond VirtualSize are never mapped, so they need not be in the file.
    plan = pebuilder::typical();
    file = pebuilder::build(plan);
    plan.sections[1].virtualSize = 0x100;
    file = pebuilder::build(plan);
    file.resize(0x500);
    EXPECT_EQ(failure(file), "(loaded)");
}

TEST(PeReader, RefusesSectionsThatReachPastSizeOfImage) {
    FilePlan plan = pebuilder::typical();
    plan.sections[2].virtualSize = 0x1001;
    EXPECT_EQ(failure(pebuilder::build(plan)), "section past the end of the image");
    plan.sections[2].virtualSize = 0x1000;
    EXPECT_EQ(failure(pebuilder::build(plan)), "(loaded)");
    plan.sections[2].virtualAddress = 0xFFFFF000;
    plan.sections[2].virtualSize = 0x2000;
    EXPECT_EQ(failure(pebuilder::build(plan)), "section past the end of the image");
}

TEST(PeReader, RefusesImagesAboveTheCallersLimitAndSaysHowLarge) {
    const std::vector<std::uint8_t> file = pebuilder::build(pebuilder::typical());
    EXPECT_EQ(failure(file, 0x3FFF),
              "image too large: SizeOfImage is 16384 bytes, over the limit of 16383 bytes");
    EXPECT_EQ(failure(file, 0x4000), "(loaded)");
}

TEST(PeReader, LaysOutAnImageWithoutSectionsOrBytes) {
    FilePlan plan;
    plan.sizeOfImage = 0;
    plan.sizeOfHeaders = 0;
    const brickwright::Result<pe::LoadedImage> empty = pe::load(pebuilder::build(plan));
    ASSERT_TRUE(empty) << empty.error().message;
    EXPECT_EQ(empty->image.size(), 0u);
    EXPECT_TRUE(empty->headers.sections.empty());

    plan.sizeOfImage = 0x100;
    plan.sizeOfHeaders = 0x400; // larger than the image: only what fits is mapped
    const std::vector<std::uint8_t> file = pebuilder::build(plan);
    const brickwright::Result<pe::LoadedImage> clipped = pe::load(file);
    ASSERT_TRUE(clipped) << clipped.error().message;
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 0x100, clipped->image.data()));
}

TEST(PeReader, ChecksHeadersItIsHandedBeforeLayingThemOut) {
    const std::vector<std::uint8_t> file = pebuilder::build(pebuilder::typical());
    const brickwright::Result<pe::Headers> parsed = pe::parseHeaders(file);
    ASSERT_TRUE(parsed) << parsed.error().message;
    pe::Headers headers = *parsed;
    headers.sections[0].rawDataOffset = 0x10000;
    const brickwright::Result<pe::LoadedImage> pastTheFile = pe::layOut(file, headers);
    ASSERT_FALSE(pastTheFile);
    EXPECT_EQ(pastTheFile.error().message, "section data past the end of the file");
    headers = *parsed;
    headers.sizeOfImage = 0x1000;
    const brickwright::Result<pe::LoadedImage> pastTheImage = pe::layOut(file, headers);
    ASSERT_FALSE(pastTheImage);
    EXPECT_EQ(pastTheImage.error().message, "section past the end of the image");
}

// Writes into the .data section of pebuilder::typical() (RVA 0x2000, 0x200 bytes) by RVA.
struct DataWriter {
    std::vector<std::uint8_t>& data;

    void put32(std::uint32_t rva, std::uint32_t value) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            data.at(rva - 0x2000 + i) = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    void put64(std::uint32_t rva, std::uint64_t value) {
        put32(rva, static_cast<std::uint32_t>(value));
        put32(rva + 4, static_cast<std::uint32_t>(value >> 32));
    }
    void text(std::uint32_t rva, const std::string& value) {
        std::copy(value.begin(), value.end(), data.begin() + (rva - 0x2000));
        data.at(rva - 0x2000 + value.size()) = 0;
    }
    void descriptor(std::uint32_t rva, std::uint32_t lookup, std::uint32_t name, std::uint32_t address) {
        put32(rva, lookup);
        put32(rva + 12, name);
        put32(rva + 16, address);
    }
    void hintName(std::uint32_t rva, std::uint16_t hint, const std::string& name) {
        data.at(rva - 0x2000) = static_cast<std::uint8_t>(hint);
        data.at(rva - 0x2000 + 1) = static_cast<std::uint8_t>(hint >> 8);
        text(rva + 2, name);
    }
};

std::vector<pe::Import> importsOf(const FilePlan& plan) {
    const brickwright::Result<pe::LoadedImage> loaded = pe::load(pebuilder::build(plan));
    if (!loaded) {
        ADD_FAILURE() << loaded.error().message;
        return {};
    }
    return pe::imports(loaded->headers, loaded->image.bytes());
}

// Two DLLs: one with a lookup table holding names and an ordinal, one with only an address table.
FilePlan planWithImports() {
    FilePlan plan = pebuilder::typical();
    std::vector<std::uint8_t>& data = plan.sections[1].data;
    std::fill(data.begin(), data.end(), 0);
    DataWriter at{data};
    at.descriptor(0x2000, 0x2080, 0x2100, 0x20C0);
    at.descriptor(0x2014, 0, 0x2110, 0x20A0);
    at.put64(0x2080, 0x2120);
    at.put64(0x2088, 0x8000000000000005);
    at.put64(0x2090, 0x2160);
    at.put64(0x20A0, 0x21A0);
    at.put64(0x20C0, 0x2120); // the address table as on disk, before binding: not read beside a lookup table
    at.text(0x2100, "xinput1_3.dll");
    at.text(0x2110, "KERNEL32.dll");
    at.hintName(0x2120, 7, "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z");
    at.hintName(0x2160, 0, "?log@Utility@SML@@YAXW4LogType@12@@Z");
    at.hintName(0x21A0, 0x1234, "ExitProcess");
    plan.importDirectory[0] = 0x2000;
    plan.importDirectory[1] = 0x3C;
    return plan;
}

TEST(PeReader, ReadsEachImportedDllWithItsNamesAndOrdinalsInThunkOrder) {
    const std::vector<pe::Import> found = importsOf(planWithImports());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].dll, "xinput1_3.dll");
    ASSERT_EQ(found[0].functions.size(), 3u);
    EXPECT_EQ(found[0].functions[0].name, "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z");
    EXPECT_EQ(found[0].functions[0].hint, 7);
    EXPECT_FALSE(found[0].functions[0].ordinal);
    EXPECT_EQ(found[0].functions[1].name, "");
    EXPECT_EQ(found[0].functions[1].ordinal, std::optional<std::uint16_t>(5));
    EXPECT_EQ(found[0].functions[2].name, "?log@Utility@SML@@YAXW4LogType@12@@Z");
    EXPECT_EQ(found[1].dll, "KERNEL32.dll");
    ASSERT_EQ(found[1].functions.size(), 1u);
    EXPECT_EQ(found[1].functions[0].name, "ExitProcess");
    EXPECT_EQ(found[1].functions[0].hint, 0x1234);

    FilePlan none = planWithImports();
    none.importDirectory[0] = 0;
    EXPECT_TRUE(importsOf(none).empty());
}

TEST(PeReader, SkipsWhatAMalformedImportDirectoryPutsOutsideTheImage) {
    // The directory itself past the image, or too close to its end for one descriptor.
    FilePlan plan = planWithImports();
    plan.importDirectory[0] = 0x4000;
    EXPECT_TRUE(importsOf(plan).empty());
    plan.importDirectory[0] = 0x4000 - 19;
    EXPECT_TRUE(importsOf(plan).empty());

    // A DLL name outside the image drops that descriptor only; a name and thunks outside, or a thunk
    // with bits that no RVA has, drop those functions only.
    plan = planWithImports();
    DataWriter at{plan.sections[1].data};
    at.put32(0x2000 + 12, 0x9000);
    at.put64(0x2088, 0x7FFFFFF0);
    at.put64(0x2090, 0x0000000100002160);
    std::vector<pe::Import> found = importsOf(plan);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].dll, "KERNEL32.dll");

    plan = planWithImports();
    DataWriter again{plan.sections[1].data};
    again.put64(0x2088, 0x7FFFFFF0);
    again.put64(0x2090, 0x0000000100002160);
    found = importsOf(plan);
    ASSERT_EQ(found.size(), 2u);
    ASSERT_EQ(found[0].functions.size(), 1u);
    EXPECT_EQ(found[0].functions[0].hint, 7);

    // A name that runs to the end of the image without its NUL, and a thunk list without its end:
    // .data is the last mapped section, so make it fill the image to its very end.
    FilePlan shortImage = planWithImports();
    shortImage.sizeOfImage = 0x2200;
    shortImage.sections.pop_back();
    plan = shortImage;
    std::vector<std::uint8_t>& data = plan.sections[1].data;
    std::fill(data.begin() + 0x1F0, data.end(), 'x');
    DataWriter unterminated{data};
    unterminated.put64(0x20A0, 0x21F0 - 2);
    found = importsOf(plan);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].functions.size(), 3u);
    EXPECT_TRUE(found[1].functions.empty());

    plan = shortImage;
    DataWriter endless{plan.sections[1].data};
    endless.descriptor(0x2028, 0x21E0, 0x2110, 0);
    endless.put64(0x21E0, 0x2120);
    endless.put64(0x21E8, 0x2160);
    endless.put64(0x21F0, 0x2120);
    endless.put64(0x21F8, 0x2160);
    found = importsOf(plan);
    ASSERT_EQ(found.size(), 3u);
    ASSERT_EQ(found[2].functions.size(), 4u);
    EXPECT_EQ(found[2].functions[3].name, "?log@Utility@SML@@YAXW4LogType@12@@Z");
}

} // namespace

namespace {

TEST(PeReader, ReadsTheExportDirectorysDllNameAndASectionsBytesByNameStayingInsideTheImage) {
    std::vector<std::uint8_t> edata(0x200);
    const std::string name = "xinput1_3.dll";
    std::copy(name.begin(), name.end(), edata.begin() + 0x40);
    pebuilder::put32(edata, 12, 0x1040);
    FilePlan plan;
    plan.sections.push_back({".edata", 0x1000, 0x60, 0x200, 0x200, edata});
    plan.sections.push_back({".bwbind", 0x2000, 0x2000, 0x400, 0x200, std::vector<std::uint8_t>(0x200, 'b')});
    plan.sections.push_back({".bwbind", 0x3000, 0x10, 0, 0, {}});
    plan.exportDirectory[0] = 0x1000;
    plan.exportDirectory[1] = 0x60;
    std::vector<std::uint8_t> file = pebuilder::build(plan);
    brickwright::Result<pe::LoadedImage> loaded = pe::load(file);
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(pe::exportedDllName(loaded->headers, loaded->image.bytes()), name);
    // The first section of the name, its whole extent: the raw bytes, then zeros up to the image's end.
    const auto bytes = pe::sectionBytes(loaded->headers, loaded->image.bytes(), ".bwbind");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->data(), loaded->image.data() + 0x2000);
    EXPECT_EQ(bytes->size(), 0x2000u);
    EXPECT_EQ((*bytes)[0x1FF], 'b');
    EXPECT_EQ((*bytes)[0x200], 0);
    EXPECT_FALSE(pe::sectionBytes(loaded->headers, loaded->image.bytes(), ".bwbin"));
    EXPECT_FALSE(pe::sectionBytes(loaded->headers, loaded->image.bytes(), ".bwbind2"));

    // A name outside the image, or no name at all: nothing.
    pebuilder::put32(file, 0x200 + 12, 0x7FFFFFFF);
    loaded = pe::load(file);
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(pe::exportedDllName(loaded->headers, loaded->image.bytes()));
    pebuilder::put32(file, 0x200 + 12, 0);
    loaded = pe::load(file);
    EXPECT_FALSE(pe::exportedDllName(loaded->headers, loaded->image.bytes()));
    // No export directory at all.
    plan.exportDirectory[0] = 0;
    loaded = pe::load(pebuilder::build(plan));
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(pe::exportedDllName(loaded->headers, loaded->image.bytes()));
}

} // namespace
