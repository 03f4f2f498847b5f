// The project's text form of a masked pattern, "48 8B 05 ?? ?? ?? 03": the form signature.hpp holds,
// --make prints and --pattern reads.
#pragma once

#include "brickwright/result.hpp"
#include "sdk/signature.hpp"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sigcheck {

// Upper-case hex pairs for fixed bytes and "??" for wildcards, separated by single spaces.
[[nodiscard]] std::string patternText(std::span<const SDK::PatternByte> elements);

// Reads what a maintainer pastes: hex pairs in either case and "??" (or "?") for wildcards, separated
// by any white space. Or why it cannot be a pattern: a token that is neither, or no fixed byte at all
// (such a pattern matches everywhere and identifies nothing).
[[nodiscard]] brickwright::Result<std::vector<SDK::PatternByte>> parsePatternText(std::string_view text);

} // namespace sigcheck
