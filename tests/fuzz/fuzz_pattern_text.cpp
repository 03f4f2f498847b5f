// The pattern text grammar (sdk/pattern_text.hpp) against a reader written apart from it, on any text:
// the tools' parsePatternText must accept exactly what the reference accepts, read the same
// elements and refuse with the same message. What it reads, printed in the tools' form and read
// again, is the same pattern.
#include "sdk/pattern_text.hpp"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "fuzz-pattern-text: the requirement on line %d does not hold\n", line);
        std::abort();
    }
}
#define REQUIRE(condition) require(condition, __LINE__)

struct Reference {
    std::vector<SDK::PatternByte> elements;
    std::optional<std::string> error;
};

// Whitespace as the C locale's isspace has it; tokens as a stream extracts them; bytes by strtoul.
Reference referenceRead(const std::string& text) {
    Reference reference;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::string token;
    bool anyFixed = false;
    while (in >> token) {
        if (token == "?" || token == "??") {
            reference.elements.push_back({0, false});
            continue;
        }
        const bool hexPair = token.size() == 2 && std::isxdigit(static_cast<unsigned char>(token[0])) != 0 &&
                             std::isxdigit(static_cast<unsigned char>(token[1])) != 0;
        if (!hexPair) {
            reference.error = "not a pattern byte: \"" + token + "\" (two hex digits, or ?? for any byte)";
            return reference;
        }
        reference.elements.push_back(
            {static_cast<std::uint8_t>(std::strtoul(token.c_str(), nullptr, 16)), true});
        anyFixed = true;
    }
    if (!anyFixed) {
        reference.error = "a pattern needs at least one fixed byte";
    }
    return reference;
}

bool same(const std::vector<SDK::PatternByte>& a, const std::vector<SDK::PatternByte>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].fixed != b[i].fixed || a[i].value != b[i].value) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const brickwright::Result<std::vector<SDK::PatternByte>> read = SDK::parsePatternText(text);
    const Reference reference = referenceRead(text);
    REQUIRE(read.has_value() == !reference.error.has_value());
    if (!read) {
        REQUIRE(read.error().message == *reference.error);
        return 0;
    }
    REQUIRE(same(*read, reference.elements));
    const brickwright::Result<std::vector<SDK::PatternByte>> again =
        SDK::parsePatternText(SDK::patternText(*read));
    REQUIRE(again.has_value() && same(*again, *read));
    return 0;
}
