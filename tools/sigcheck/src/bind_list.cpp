#include "sigcheck/bind_list.hpp"

#include <algorithm>

namespace sigcheck {
namespace {

constexpr std::string_view kHeading = "brickwright-bind 1";
constexpr std::string_view kFunction = "function ";
constexpr std::string_view kSpelling = "spelling ";
constexpr std::string_view kEnd = "end";

bool validChange(std::string_view change) {
    const std::size_t equals = change.find('=');
    if (equals == 0 || equals == std::string_view::npos) {
        return false;
    }
    const std::string_view key = change.substr(equals + 1);
    return key == "class" || key == "struct";
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> found;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        found.push_back(text.substr(0, space));
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    }
    return found;
}

} // namespace

std::string changesText(const std::vector<std::string>& changes) {
    std::string text;
    for (const std::string& change : changes) {
        text += (text.empty() ? "" : " ") + change;
    }
    return text;
}

brickwright::Result<std::vector<BindFunction>> parseBindList(std::span<const std::uint8_t> section) {
    const auto* first = reinterpret_cast<const char*>(section.data());
    const std::string_view text(
        first, static_cast<std::size_t>(std::find(first, first + section.size(), '\0') - first));
    std::vector<BindFunction> functions;
    std::size_t number = 0;
    const auto malformed = [&](const std::string& why) {
        return brickwright::fail("its list of spellings (" + std::string(kBindSection) +
                                 ") is malformed: line " + std::to_string(number) + ": " + why);
    };
    bool ended = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        ++number;
        if (ended) {
            return malformed("text after the end line");
        }
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
            return malformed("a control character");
        }
        if (number == 1) {
            if (line != kHeading) {
                return malformed(line.starts_with("brickwright-bind ")
                                     ? "version " + std::string(line.substr(17)) +
                                           "; this checker reads version 1"
                                     : "not \"" + std::string(kHeading) + "\"");
            }
            continue;
        }
        if (line == kEnd) {
            if (functions.empty()) {
                return malformed("the list names no function");
            }
            if (functions.back().spellings.empty()) {
                return malformed("the end line where the last function has no spelling");
            }
            ended = true;
            continue;
        }
        if (line.starts_with(kFunction)) {
            if (!functions.empty() && functions.back().spellings.empty()) {
                return malformed("a function line where the previous function has no spelling");
            }
            if (line.size() == kFunction.size()) {
                return malformed("a function line without its name");
            }
            functions.push_back({std::string(line.substr(kFunction.size())), {}});
            continue;
        }
        if (line.starts_with(kSpelling)) {
            if (functions.empty()) {
                return malformed("a spelling before the first function line");
            }
            const std::vector<std::string_view> parts = words(line.substr(kSpelling.size()));
            if (parts.empty() || parts.front().empty()) {
                return malformed("a spelling line without its decorated name");
            }
            Spelling spelling{std::string(parts.front()), {}};
            for (std::size_t i = 1; i < parts.size(); ++i) {
                if (!validChange(parts[i])) {
                    return malformed("\"" + std::string(parts[i]) +
                                     "\" is no change of a class key (Type=class or Type=struct)");
                }
                spelling.changes.emplace_back(parts[i]);
            }
            BindFunction& function = functions.back();
            if (function.spellings.empty() && !spelling.changes.empty()) {
                return malformed("the first spelling of a function is the header's own and changes no key");
            }
            if (!function.spellings.empty() && spelling.changes.empty()) {
                return malformed("a spelling after the header's own that names no changed key");
            }
            function.spellings.push_back(std::move(spelling));
            continue;
        }
        return malformed(line.empty() ? "an empty line" : "not a function, spelling or end line");
    }
    if (number == 0) {
        return brickwright::fail("its list of spellings (" + std::string(kBindSection) + ") is empty");
    }
    if (!ended) {
        ++number;
        return malformed("the list stops without its end line");
    }
    return functions;
}

} // namespace sigcheck
