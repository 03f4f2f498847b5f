// The command-line reader every program uses: how options, their values, operands and "--" are told
// apart, and what counts as a whole number.
#include "brickwright/command_line.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using brickwright::CommandLine;
using brickwright::wholeNumber;

// What a program that knows --value (with a value) and --flag (without) reads, one word an argument:
// "value=<v>", "value missing", "flag", "unknown <argument>", "operand <argument>".
std::vector<std::string> reading(std::vector<std::string_view> arguments) {
    std::vector<std::string> seen;
    CommandLine line(std::move(arguments));
    while (line.next()) {
        if (!line.isOption()) {
            seen.push_back("operand " + std::string(line.argument()));
        } else if (line.is("--value")) {
            const std::optional<std::string_view> value = line.value();
            seen.push_back(value ? "value=" + std::string(*value) : "value missing");
            // The option stays current once its value is read.
            EXPECT_EQ(line.name(), "--value");
        } else if (line.isFlag("--flag")) {
            seen.push_back("flag");
        } else {
            seen.push_back("unknown " + std::string(line.argument()));
        }
    }
    return seen;
}

TEST(CommandLine, TakesAnOptionsValueAfterItsEqualsSignOrAsTheNextArgument) {
    using testing::ElementsAre;
    EXPECT_THAT(reading({"--value=2", "--value", "3"}), ElementsAre("value=2", "value=3"));
    // Whatever follows, even what looks like an option or "--", is the value; an '=' later in the
    // value is the value's own; "--value=" gives an empty one.
    EXPECT_THAT(reading({"--value", "--flag", "--value", "--", "x"}),
                ElementsAre("value=--flag", "value=--", "operand x"));
    EXPECT_THAT(reading({"--value=a=b", "--value="}), ElementsAre("value=a=b", "value="));
    // As the last argument it has none, and reading goes no further.
    EXPECT_THAT(reading({"--flag", "--value"}), ElementsAre("flag", "value missing"));
}

TEST(CommandLine, TellsAFlagFromAFlagGivenAValue) {
    using testing::ElementsAre;
    EXPECT_THAT(reading({"--flag", "--flag=yes", "--flagged"}),
                ElementsAre("flag", "unknown --flag=yes", "unknown --flagged"));
    CommandLine line(std::vector<std::string_view>{"--flag=yes"});
    ASSERT_TRUE(line.next());
    EXPECT_TRUE(line.is("--flag"));
    EXPECT_FALSE(line.isFlag("--flag"));
    EXPECT_EQ(line.name(), "--flag");
}

TEST(CommandLine, ReadsOperandsAndEndsTheOptionsAtADoubleDash) {
    using testing::ElementsAre;
    // "-" alone and an empty argument are operands; a single dash and a letter is an option.
    EXPECT_THAT(reading({"-", "", "-x", "file"}),
                ElementsAre("operand -", "operand ", "unknown -x", "operand file"));
    // After "--" everything is an operand, a second "--" too; before it options are read as ever.
    EXPECT_THAT(reading({"--flag", "--", "--flag", "--value=1", "--", "-"}),
                ElementsAre("flag", "operand --flag", "operand --value=1", "operand --", "operand -"));
    EXPECT_THAT(reading({"--"}), ElementsAre());
    EXPECT_THAT(reading({}), ElementsAre());
}

TEST(CommandLine, ReadsTheArgumentsAfterTheProgramsName) {
    char program[] = "program";
    char flag[] = "--flag";
    char* argv[] = {program, flag, nullptr};
    CommandLine line(2, argv);
    ASSERT_TRUE(line.next());
    EXPECT_EQ(line.argument(), "--flag");
    EXPECT_FALSE(line.next());
    // A program started with no arguments at all, not even its name, has none to read.
    CommandLine none(0, argv + 2);
    EXPECT_FALSE(none.next());
}

TEST(WholeNumber, TakesTheWholeTextAsANumberOrNothing) {
    EXPECT_EQ(wholeNumber<int>("0"), 0);
    EXPECT_EQ(wholeNumber<int>("64"), 64);
    EXPECT_EQ(wholeNumber<std::uint64_t>("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(wholeNumber<std::uint64_t>("fF", 16), 0xFFu);
    for (const std::string_view bad : {"", "2x", " 1", "1 ", "+1", "-1", "0x10", "18446744073709551616"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(wholeNumber<std::uint64_t>(bad), std::nullopt);
    }
    // A signed type takes no sign either: a count given as "-5" is no count.
    EXPECT_EQ(wholeNumber<int>("-5"), std::nullopt);
    EXPECT_EQ(wholeNumber<int>("2147483648"), std::nullopt);
}

} // namespace
