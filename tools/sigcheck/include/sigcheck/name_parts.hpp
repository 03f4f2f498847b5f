// A demangled MSVC name taken apart, so that two of them can be compared part by part and the
// difference named: what a user must change when the mod's import and the loader's export differ.
// Works on the text of either demangler (LLVM's or dbghelp's): spacing and "__ptr64" do not count.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sigcheck {

struct NameParts {
    // "SML::Mod::Functions::addRecipe", template arguments and all: what makes two names the same
    // function, whatever their signatures.
    std::string qualifiedName;
    // "public: static", "public: virtual", or empty for a free function or variable.
    std::string memberKind;
    // A function's return type (empty for constructors and destructors) or a variable's type.
    std::string type;
    std::string callingConvention;
    // Nothing for a variable; "(void)" is no parameter.
    std::optional<std::vector<std::string>> parameters;
    // What follows the parameters: "const", "&"...
    std::string qualifiers;
};

// The parts of a demangled name, as written; a text that is no name (empty) gives nothing.
[[nodiscard]] std::optional<NameParts> splitName(std::string_view demangled);

// Two demangled names compared in canonical form: spacing and "__ptr64" aside.
[[nodiscard]] bool sameText(std::string_view a, std::string_view b);

// What differs between the name a mod imports and the name a loader exports, one line per
// difference, naming the part and its kind ("parameter 1: class/struct key of SDK::UClass: class in
// the mod, struct in the loader"). Empty when they agree in every part the comparison knows.
[[nodiscard]] std::vector<std::string> nameDifferences(const NameParts& mod, const NameParts& loader);

// For names a demangler cannot read (Wine's dbghelp fails on some templates): the function's own name,
// the identifier after the leading '?' ("subscribe" of "?subscribe@?$HookInvoker@..."), or the whole
// name when it is not decorated.
[[nodiscard]] std::string decoratedFunctionName(std::string_view decorated);

// The difference of two decorated names told from the decoration itself: where they first part, and
// the class key when that is what the letters there mean (U struct, V class, T union).
[[nodiscard]] std::string decoratedDifference(std::string_view mod, std::string_view loader);

} // namespace sigcheck
