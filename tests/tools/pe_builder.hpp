// Hand-made PE32+ files for the reader's tests: just the fields the reader looks at, every one of them
// settable to nonsense.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pebuilder {

struct SectionPlan {
    std::string name; // up to 8 bytes go into the header as they are
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawDataOffset = 0;
    std::uint32_t rawDataSize = 0;
    std::vector<std::uint8_t> data; // written at rawDataOffset; the file grows to hold it
};

struct FilePlan {
    std::uint16_t machine = 0x8664;
    std::uint16_t magic = 0x20B;
    std::uint32_t peOffset = 0x40;
    std::uint16_t optionalHeaderSize = 240;
    std::uint64_t imageBase = 0x140000000;
    std::uint32_t sizeOfImage = 0x4000;
    std::uint32_t sizeOfHeaders = 0x200;
    std::uint32_t symbolTable = 0;
    std::uint32_t symbolCount = 0;
    std::vector<std::uint8_t> stringTable; // written at symbolTable + 18 * symbolCount
    std::vector<SectionPlan> sections;
    // Data directories 0 and 1 (exports, imports) as {rva, size}; NumberOfRvaAndSizes is 16.
    std::uint32_t exportDirectory[2] = {0, 0};
    std::uint32_t importDirectory[2] = {0, 0};
    // When set, the section count written into the header instead of sections.size().
    int sectionCountOverride = -1;
};

inline void put16(std::vector<std::uint8_t>& file, std::size_t at, std::uint16_t value) {
    file[at] = static_cast<std::uint8_t>(value);
    file[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void put64(std::vector<std::uint8_t>& file, std::size_t at, std::uint64_t value) {
    put32(file, at, static_cast<std::uint32_t>(value));
    put32(file, at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline void fit(std::vector<std::uint8_t>& file, std::size_t size) {
    if (file.size() < size) {
        file.resize(size);
    }
}

inline std::vector<std::uint8_t> build(const FilePlan& plan) {
    const std::size_t coff = plan.peOffset + 4;
    const std::size_t optional = coff + 20;
    const std::size_t table = optional + plan.optionalHeaderSize;
    std::vector<std::uint8_t> file(
        std::max<std::size_t>(plan.sizeOfHeaders, table + 40 * plan.sections.size()));
    file[0] = 'M';
    file[1] = 'Z';
    put32(file, 0x3C, plan.peOffset);
    std::memcpy(file.data() + plan.peOffset, "PE\0\0", 4);
    put16(file, coff, plan.machine);
    put16(file, coff + 2,
          static_cast<std::uint16_t>(plan.sectionCountOverride >= 0
                                         ? plan.sectionCountOverride
                                         : static_cast<int>(plan.sections.size())));
    put32(file, coff + 8, plan.symbolTable);
    put32(file, coff + 12, plan.symbolCount);
    put16(file, coff + 16, plan.optionalHeaderSize);
    put16(file, optional, plan.magic);
    put64(file, optional + 24, plan.imageBase);
    put32(file, optional + 32, 0x1000); // SectionAlignment
    put32(file, optional + 36, 0x200);  // FileAlignment
    put32(file, optional + 56, plan.sizeOfImage);
    put32(file, optional + 60, plan.sizeOfHeaders);
    if (plan.optionalHeaderSize >= 112 + 16 * 8) {
        put32(file, optional + 108, 16);
        put32(file, optional + 112, plan.exportDirectory[0]);
        put32(file, optional + 116, plan.exportDirectory[1]);
        put32(file, optional + 120, plan.importDirectory[0]);
        put32(file, optional + 124, plan.importDirectory[1]);
    }
    for (std::size_t i = 0; i < plan.sections.size(); ++i) {
        const SectionPlan& section = plan.sections[i];
        const std::size_t header = table + 40 * i;
        std::memcpy(file.data() + header, section.name.data(), std::min<std::size_t>(section.name.size(), 8));
        put32(file, header + 8, section.virtualSize);
        put32(file, header + 12, section.virtualAddress);
        put32(file, header + 16, section.rawDataSize);
        put32(file, header + 20, section.rawDataOffset);
        put32(file, header + 36, 0x60000020);
    }
    for (const SectionPlan& section : plan.sections) {
        if (!section.data.empty()) {
            fit(file, section.rawDataOffset + section.data.size());
            std::copy(section.data.begin(), section.data.end(),
                      file.begin() + static_cast<std::ptrdiff_t>(section.rawDataOffset));
        }
    }
    if (!plan.stringTable.empty()) {
        const std::size_t strings = plan.symbolTable + std::size_t{18} * plan.symbolCount;
        fit(file, strings + plan.stringTable.size());
        std::copy(plan.stringTable.begin(), plan.stringTable.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(strings));
    }
    return file;
}

// A small well-formed image: headers, .text at 0x1000 with 0x200 raw bytes, .data at 0x2000 with 0x200
// raw bytes, .bss at 0x3000 without raw data.
inline FilePlan typical() {
    FilePlan plan;
    plan.sections.push_back({".text", 0x1000, 0x180, 0x200, 0x200, std::vector<std::uint8_t>(0x200, 0xCC)});
    plan.sections.push_back({".data", 0x2000, 0x200, 0x400, 0x200, std::vector<std::uint8_t>(0x200, 0xDD)});
    plan.sections.push_back({".bss", 0x3000, 0x800, 0, 0, {}});
    return plan;
}

} // namespace pebuilder
