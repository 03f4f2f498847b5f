// The text form of a masked byte pattern, "48 8B 05 ?? ?? ?? 03": one grammar, read by one function,
// for the patterns compiled into the mod (engine_patterns.hpp) and the ones a maintainer pastes into the
// tools at run time. Tokens are separated by any white space; a token is two hex digits in either
// case (a fixed byte) or "??" or "?" (any byte). A text needs at least one fixed byte: wildcards alone
// match everywhere and identify nothing. The tools print patterns in one form: patternText.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brickwright/result.hpp"

namespace SDK {

struct PatternByte {
    std::uint8_t value = 0;
    bool fixed = false;
};

enum class PatternTextFault {
    None,
    NotAByte,    // a token that is neither two hex digits nor a wildcard
    NoFixedByte, // no token at all, or wildcards only
};

struct PatternTextRead {
    PatternTextFault fault = PatternTextFault::None;
    // Elements read: all of them when the text is a pattern, those before the fault otherwise.
    std::size_t elements = 0;
    // For NotAByte: the offending token, a view into the text read.
    std::string_view badToken;

    constexpr bool ok() const noexcept { return fault == PatternTextFault::None; }
};

namespace detail {

constexpr bool isPatternSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// -1 for anything but a hex digit.
constexpr int hexValue(char c) noexcept {
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

} // namespace detail

// Reads `text`, handing each element in order to `element` (called with a PatternByte); stops at the
// first token that is not a pattern byte. The same function runs in constant evaluation, where it
// gives the compiled patterns their length and bytes, and at run time.
template <typename ElementSink>
constexpr PatternTextRead readPatternText(std::string_view text, ElementSink&& element) {
    PatternTextRead read;
    bool anyFixed = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (detail::isPatternSpace(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !detail::isPatternSpace(text[end])) {
            ++end;
        }
        const std::string_view token = text.substr(i, end - i);
        if (token == "??" || token == "?") {
            element(PatternByte{0, false});
        } else if (token.size() == 2 && detail::hexValue(token[0]) >= 0 && detail::hexValue(token[1]) >= 0) {
            element(PatternByte{
                static_cast<std::uint8_t>(detail::hexValue(token[0]) * 16 + detail::hexValue(token[1])),
                true});
            anyFixed = true;
        } else {
            read.fault = PatternTextFault::NotAByte;
            read.badToken = token;
            return read;
        }
        ++read.elements;
        i = end;
    }
    if (!anyFixed) {
        read.fault = PatternTextFault::NoFixedByte;
    }
    return read;
}

// Whether `text` is a pattern, and how many elements it holds.
constexpr PatternTextRead checkPatternText(std::string_view text) {
    return readPatternText(text, [](PatternByte) {});
}

// A string literal as a template argument, so that the number of elements of the pattern it holds can
// be a template argument in turn.
template <std::size_t Size> struct PatternLiteral {
    char text[Size]{};

    consteval PatternLiteral(const char (&literal)[Size]) {
        for (std::size_t i = 0; i < Size; ++i) {
            text[i] = literal[i];
        }
    }

    constexpr std::string_view view() const noexcept { return std::string_view(text, Size - 1); }
};

// The printed form, "48 8B 05 ?? ?? ?? 03": upper-case hex pairs for fixed bytes and "??" for
// wildcards, separated by single spaces. readPatternText reads it back as the same elements.
[[nodiscard]] std::string patternText(std::span<const PatternByte> elements);

// Reads what a maintainer pastes, with readPatternText: any text that compiles into the mod is read
// here, and nothing else. Or why it cannot be a pattern: a token that is neither a hex pair nor a
// wildcard, or no fixed byte at all.
[[nodiscard]] brickwright::Result<std::vector<PatternByte>> parsePatternText(std::string_view text);

} // namespace SDK
