// How every program here reads its command line: one argument at a time, the same way in each, so
// that "--name=VALUE", "--name VALUE", "--" and "-" mean the same to the game, the checker and the
// bench. What an option means, and what a program says of one it does not know, stays the program's.
#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace brickwright {

// An option begins with '-' and is more than "-" alone (by custom standard input, an operand). "--"
// alone ends the options: every argument after it is an operand, whatever it looks like. An option
// that takes a value has it after '=' ("--controllers=2") or as the next argument ("--controllers 2").
class CommandLine {
public:
    // The arguments after the program's name.
    explicit CommandLine(std::vector<std::string_view> arguments) : arguments_(std::move(arguments)) {}
    CommandLine(int argc, char** argv)
        : CommandLine(
              std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0))) {}

    // Moves to the next argument, passing over the "--" that ends the options; false when none is left.
    [[nodiscard]] bool next() {
        while (next_ < arguments_.size()) {
            current_ = next_++;
            if (!optionsEnded_ && arguments_[current_] == "--") {
                optionsEnded_ = true;
                continue;
            }
            return true;
        }
        return false;
    }

    // The argument next() moved to, as given.
    [[nodiscard]] std::string_view argument() const { return arguments_[current_]; }

    [[nodiscard]] bool isOption() const {
        const std::string_view text = argument();
        return !optionsEnded_ && text.size() > 1 && text.front() == '-';
    }

    // An option's name: the argument up to its first '='.
    [[nodiscard]] std::string_view name() const { return argument().substr(0, argument().find('=')); }

    // Whether the argument is `option`, alone or followed by "=VALUE".
    [[nodiscard]] bool is(std::string_view option) const { return isOption() && name() == option; }

    // Whether the argument is `option` alone: how a flag, which takes no value, is given.
    [[nodiscard]] bool isFlag(std::string_view option) const { return isOption() && argument() == option; }

    // The current option's value: what follows its '=' (perhaps nothing), else the next argument, which
    // next() then passes over; none when the option is the last argument. The option stays current.
    [[nodiscard]] std::optional<std::string_view> value() {
        const std::string_view text = argument();
        if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
            return text.substr(equals + 1);
        }
        if (next_ < arguments_.size()) {
            return arguments_[next_++];
        }
        return std::nullopt;
    }

private:
    std::vector<std::string_view> arguments_;
    std::size_t next_ = 0;
    std::size_t current_ = 0;
    bool optionsEnded_ = false;
};

// `text` as a whole number in `base`, all of it: no sign, space or trailing character ("2x" is none).
template <typename Number>
[[nodiscard]] std::optional<Number> wholeNumber(std::string_view text, int base = 10) {
    Number value{};
    const char* const end = text.data() + text.size();
    const auto [last, status] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || text.front() == '-' || status != std::errc() || last != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace brickwright
