// The project's text form of a masked pattern, "48 8B 05 ?? ?? ?? 03": the form
// sdk/engine_patterns.hpp holds, --make prints and --pattern reads.
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

// Reads what a maintainer pastes, with the grammar and the very reader of the patterns compiled into
// the mod (sdk/pattern_text.hpp): any text that compiles there is read here, and nothing else. Or why
// it cannot be a pattern: a token that is neither a hex pair nor a wildcard, or no fixed byte at all.
[[nodiscard]] brickwright::Result<std::vector<SDK::PatternByte>> parsePatternText(std::string_view text);

} // namespace sigcheck
