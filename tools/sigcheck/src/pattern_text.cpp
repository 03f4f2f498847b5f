#include "sigcheck/pattern_text.hpp"

#include "sdk/pattern_text.hpp"

#include <cstdio>

namespace sigcheck {

std::string patternText(std::span<const SDK::PatternByte> elements) {
    std::string text;
    for (const SDK::PatternByte& element : elements) {
        if (!text.empty()) {
            text += ' ';
        }
        if (element.fixed) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", element.value);
            text += hex;
        } else {
            text += "??";
        }
    }
    return text;
}

brickwright::Result<std::vector<SDK::PatternByte>> parsePatternText(std::string_view text) {
    std::vector<SDK::PatternByte> elements;
    const SDK::PatternTextRead read =
        SDK::readPatternText(text, [&](SDK::PatternByte element) { elements.push_back(element); });
    switch (read.fault) {
    case SDK::PatternTextFault::None:
        break;
    case SDK::PatternTextFault::NotAByte:
        return brickwright::fail("not a pattern byte: \"" + std::string(read.badToken) +
                                 "\" (two hex digits, or ?? for any byte)");
    case SDK::PatternTextFault::NoFixedByte:
        return brickwright::fail("a pattern needs at least one fixed byte");
    }
    return elements;
}

} // namespace sigcheck
