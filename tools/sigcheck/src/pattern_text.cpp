#include "sigcheck/pattern_text.hpp"

#include <algorithm>
#include <cstdio>

namespace sigcheck {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

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
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSpace(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSpace(text[end])) {
            ++end;
        }
        const std::string_view token = text.substr(i, end - i);
        if (token == "??" || token == "?") {
            elements.push_back({0, false});
        } else if (token.size() == 2 && hexDigit(token[0]) >= 0 && hexDigit(token[1]) >= 0) {
            elements.push_back(
                {static_cast<std::uint8_t>(hexDigit(token[0]) * 16 + hexDigit(token[1])), true});
        } else {
            return brickwright::fail("not a pattern byte: \"" + std::string(token) +
                                     "\" (two hex digits, or ?? for any byte)");
        }
        i = end;
    }
    if (std::none_of(elements.begin(), elements.end(), [](const SDK::PatternByte& e) { return e.fixed; })) {
        return brickwright::fail("a pattern needs at least one fixed byte");
    }
    return elements;
}

} // namespace sigcheck
