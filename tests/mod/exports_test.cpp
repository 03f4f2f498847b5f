// The mod library shows the host exactly one symbol: ModCreate. (The Windows export directory is
// checked by the Windows build's own tests.)
#include <gmock/gmock.h>

#include "mod_test_support.hpp"

#if defined(__linux__)
#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// The names of the symbols the library defines in its dynamic symbol table, i.e. what it exports.
std::vector<std::string> definedDynamicSymbols(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    Elf64_Ehdr header{};
    if (image.size() < sizeof header) {
        ADD_FAILURE() << "too short for an ELF header";
        return names;
    }
    std::memcpy(&header, image.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
        ADD_FAILURE() << "not a 64-bit ELF file";
        return names;
    }
    auto section = [&](std::size_t index) {
        Elf64_Shdr s{};
        std::memcpy(&s, image.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
        return s;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM) {
            continue;
        }
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= symbols.sh_size;
             offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol{};
            std::memcpy(&symbol, image.data() + symbols.sh_offset + offset, sizeof symbol);
            const unsigned char binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || binding == STB_LOCAL) {
                continue;
            }
            names.emplace_back(image.data() + strings.sh_offset + symbol.st_name);
        }
    }
    return names;
}

TEST(ModLibraryExports, ModCreateIsTheOneAndOnlySymbolTheLibraryExports) {
    EXPECT_THAT(definedDynamicSymbols(modtest::modLibraryPath()), ::testing::ElementsAre("ModCreate"));
}

} // namespace
#endif
