#include "sigcheck/pattern_text.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <system_error>

namespace sigcheck {
namespace {

// Two hex digits, either case, and nothing else.
std::optional<std::uint8_t> hexByte(std::string_view token) {
    unsigned value = 0;
    const char* end = token.data() + token.size();
    const auto [last, ec] = std::from_chars(token.data(), end, value, 16);
    if (token.size() != 2 || ec != std::errc{} || last != end) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
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
        } else if (const std::optional<std::uint8_t> value = hexByte(token)) {
            elements.push_back({*value, true});
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
