#include "sdk/pattern_text.hpp"

#include <cstdio>

namespace SDK {

std::string patternText(std::span<const PatternByte> elements) {
    std::string text;
    for (const PatternByte& element : elements) {
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

brickwright::Result<std::vector<PatternByte>> parsePatternText(std::string_view text) {
    std::vector<PatternByte> elements;
    const PatternTextRead read =
        readPatternText(text, [&](PatternByte element) { elements.push_back(element); });
    switch (read.fault) {
    case PatternTextFault::None:
        break;
    case PatternTextFault::NotAByte:
        return brickwright::fail("not a pattern byte: \"" + std::string(read.badToken) +
                                 "\" (two hex digits, or ?? for any byte)");
    case PatternTextFault::NoFixedByte:
        return brickwright::fail("a pattern needs at least one fixed byte");
    }
    return elements;
}

} // namespace SDK
