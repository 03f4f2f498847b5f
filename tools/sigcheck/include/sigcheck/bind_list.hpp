// The list of spellings a Windows build of the mod carries in its .bwbind section: for each host name
// it binds at load, the decorated names it accepts, the header's own first. The mod binds from this
// same text, so reading it is how the checker knows what the mod will accept.
#pragma once

#include "brickwright/result.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sigcheck {

inline constexpr std::string_view kBindSection = ".bwbind";
// The module the mod binds its host names from, as the game loads the loader.
inline constexpr std::string_view kHostModule = "xinput1_3.dll";

struct Spelling {
    std::string name; // decorated
    // "SDK::UClass=struct": each class type whose key differs from the header's, with the key it has
    // here. Empty for the header's own spelling.
    std::vector<std::string> changes;
};

struct BindFunction {
    // The header's spelling demangled, as the build's demangler printed it.
    std::string demangled;
    std::vector<Spelling> spellings; // never empty; the header's first
};

// The section's text, up to its first NUL: "brickwright-bind 1", then per function a "function" line
// and its "spelling" lines, then "end". Fails, naming the line and what is wrong with it, on anything
// else.
[[nodiscard]] brickwright::Result<std::vector<BindFunction>>
parseBindList(std::span<const std::uint8_t> section);

// "SDK::UClass=struct SDK::UObject=struct", as the list writes them.
[[nodiscard]] std::string changesText(const std::vector<std::string>& changes);

} // namespace sigcheck
