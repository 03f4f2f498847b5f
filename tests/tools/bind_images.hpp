// PE images for the checks of sigcheck --loader against a mod that binds by its list of spellings: a
// loader exporting chosen names under a chosen DLL name, and a mod whose .bwbind section holds a chosen
// text. Shared by the native tool tests and the Windows tree's, which writes them from a program.
#pragma once

#include "pe_builder.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bindimages {

inline constexpr std::uint32_t kEdataRva = 0x1000;
inline constexpr std::uint32_t kEdataFileOffset = 0x200;
inline constexpr std::uint32_t kTextRva = 0x8000;

inline std::uint32_t aligned(std::size_t size, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((size + alignment - 1) / alignment * alignment);
}

// A DLL whose export directory names it `dll` and lists `names` in this order (real linkers sort
// them; these need not be). With `dll` empty the directory has no name.
inline std::vector<std::uint8_t> loaderImage(const std::string& dll, const std::vector<std::string>& names) {
    const std::size_t count = names.size();
    const std::size_t functions = 40;
    const std::size_t nameTable = functions + 4 * count;
    const std::size_t ordinals = nameTable + 4 * count;
    std::size_t strings = ordinals + 2 * count;
    std::vector<std::uint8_t> data(strings);
    const auto rva = [](std::size_t offset) { return static_cast<std::uint32_t>(kEdataRva + offset); };
    const auto addString = [&](const std::string& text) {
        const std::size_t at = data.size();
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
        return at;
    };
    pebuilder::put32(data, 12, dll.empty() ? 0 : rva(addString(dll)));
    pebuilder::put32(data, 16, 1); // ordinal base
    pebuilder::put32(data, 20, static_cast<std::uint32_t>(count));
    pebuilder::put32(data, 24, static_cast<std::uint32_t>(count));
    pebuilder::put32(data, 28, rva(functions));
    pebuilder::put32(data, 32, rva(nameTable));
    pebuilder::put32(data, 36, rva(ordinals));
    for (std::size_t i = 0; i < count; ++i) {
        pebuilder::put32(data, functions + 4 * i, static_cast<std::uint32_t>(kTextRva + 16 * i));
        pebuilder::put32(data, nameTable + 4 * i, rva(addString(names[i])));
        pebuilder::put16(data, ordinals + 2 * i, static_cast<std::uint16_t>(i));
    }
    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    data.resize(aligned(data.size(), 0x200));

    pebuilder::FilePlan plan;
    plan.sections.push_back(
        {".edata", kEdataRva, size, kEdataFileOffset, static_cast<std::uint32_t>(data.size()), data});
    plan.sections.push_back({".text", kTextRva, 0x200,
                             kEdataFileOffset + static_cast<std::uint32_t>(data.size()), 0x200,
                             std::vector<std::uint8_t>(0x200, 0xC3)});
    plan.sizeOfImage = aligned(kTextRva + 0x200, 0x1000);
    plan.exportDirectory[0] = kEdataRva;
    plan.exportDirectory[1] = size;
    return pebuilder::build(plan);
}

// A loader without an export directory at all.
inline std::vector<std::uint8_t> exportlessImage() {
    return pebuilder::build(pebuilder::typical());
}

// A DLL with a .bwbind section holding `text`, padded with NULs to its raw size, beside .text; with
// `section` false, the same without it.
inline std::vector<std::uint8_t> modImage(const std::string& text, bool section = true) {
    pebuilder::FilePlan plan;
    plan.sections.push_back({".text", 0x1000, 0x200, 0x200, 0x200, std::vector<std::uint8_t>(0x200, 0xC3)});
    if (section) {
        std::vector<std::uint8_t> data(text.begin(), text.end());
        data.resize(aligned(data.size() + 1, 0x200));
        plan.sections.push_back({".bwbind", 0x2000, static_cast<std::uint32_t>(text.size()), 0x400,
                                 static_cast<std::uint32_t>(data.size()), data});
        plan.sizeOfImage = aligned(0x2000 + data.size(), 0x1000);
    } else {
        plan.sizeOfImage = 0x2000;
    }
    return pebuilder::build(plan);
}

struct Listed {
    std::string demangled;
    // Decorated name and its changes ("" for the header's own), the header's first.
    std::vector<std::pair<std::string, std::string>> spellings;
};

inline std::string listText(const std::vector<Listed>& functions) {
    std::string text = "brickwright-bind 1\n";
    for (const Listed& function : functions) {
        text += "function " + function.demangled + "\n";
        for (const auto& [name, changes] : function.spellings) {
            text += "spelling " + name + (changes.empty() ? "" : " " + changes) + "\n";
        }
    }
    return text + "end\n";
}

// Three of the host's names as MSVC decorates them, each with the spellings that differ from the
// header's only in class keys: addRecipe (one open key), loadObjectFromPak (two) and logFile (none).
inline const std::string kAddRecipe = "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z";
inline const std::string kAddRecipeStruct = "?addRecipe@Functions@Mod@SML@@YAXPEAUUClass@SDK@@@Z";
inline const std::string kLoad =
    "?loadObjectFromPak@Functions@Mod@SML@@YAPEAVUObject@SDK@@PEAVUClass@5@PEB_W@Z";
inline const std::string kLoadObjectStruct =
    "?loadObjectFromPak@Functions@Mod@SML@@YAPEAUUObject@SDK@@PEAVUClass@5@PEB_W@Z";
inline const std::string kLoadClassStruct =
    "?loadObjectFromPak@Functions@Mod@SML@@YAPEAVUObject@SDK@@PEAUUClass@5@PEB_W@Z";
inline const std::string kLoadBothStruct =
    "?loadObjectFromPak@Functions@Mod@SML@@YAPEAUUObject@SDK@@PEAUUClass@5@PEB_W@Z";
inline const std::string kLogFile = "?logFile@Utility@SML@@3V?$basic_ofstream@DU?$char_traits@D@std@@@std@@A";

inline const std::string kAddRecipeText = "void __cdecl SML::Mod::Functions::addRecipe(class SDK::UClass *)";
inline const std::string kLoadText =
    "class SDK::UObject * __cdecl SML::Mod::Functions::loadObjectFromPak(class SDK::UClass *, wchar_t const "
    "*)";
inline const std::string kLogFileText =
    "class std::basic_ofstream<char, struct std::char_traits<char>> SML::Utility::logFile";

inline std::string sampleList() {
    return listText({{kAddRecipeText, {{kAddRecipe, ""}, {kAddRecipeStruct, "SDK::UClass=struct"}}},
                     {kLoadText,
                      {{kLoad, ""},
                       {kLoadObjectStruct, "SDK::UObject=struct"},
                       {kLoadClassStruct, "SDK::UClass=struct"},
                       {kLoadBothStruct, "SDK::UObject=struct SDK::UClass=struct"}}},
                     {kLogFileText, {{kLogFile, ""}}}});
}

// addRecipe exported with a const UClass, and with a volatile one: each differs from the header's
// spelling in one part and one letter.
inline const std::string kAddRecipeConst = "?addRecipe@Functions@Mod@SML@@YAXPEBVUClass@SDK@@@Z";
inline const std::string kAddRecipeVolatile = "?addRecipe@Functions@Mod@SML@@YAXPECVUClass@SDK@@@Z";
// addRecipe with a const UClass that is a struct: one letter from the spelling with UClass a struct.
inline const std::string kAddRecipeConstStruct = "?addRecipe@Functions@Mod@SML@@YAXPEBUUClass@SDK@@@Z";
// Exported by a loader that has nothing to do with the mod.
inline const std::string kUnrelated = "?unrelated@Utility@SML@@YAXXZ";

} // namespace bindimages
