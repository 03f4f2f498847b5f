// brickwright-sigcheck --loader: what a mod DLL will do with a given host loader. The Windows mod binds
// its host names itself at load, each by the first of its spellings (the list in its .bwbind section)
// that the loader exports, and refuses to load when a name has none; a name the mod imports statically
// from the loader's DLL binds by that one decorated name or Windows refuses the DLL. For a function
// that binds to nothing, the loader's closest export of the same function is found and the difference
// named, so that the declaration in host/include/sml/sml.hpp can be put right.
#pragma once

#include "brickwright/result.hpp"
#include "pe/image.hpp"
#include "sigcheck/bind_list.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sigcheck {

struct ExportMatch {
    std::string name; // decorated
    std::optional<std::string> demangled;
    std::vector<std::string> differences; // one line each, see nameDifferences
    // Which of the function's spellings it was compared with (0: the header's own).
    std::size_t spelling = 0;
};

enum class Binding { Header, Other, Missing };

struct FunctionCheck {
    // The header's spelling demangled; for a static import, the import's name demangled.
    std::optional<std::string> demangled;
    // The function's qualified name ("SML::Mod::Functions::addRecipe"), or the name itself when it is
    // not decorated.
    std::string functionName;
    // The accepted spellings, the header's first; a static import has its own name alone, or none when
    // it is by ordinal.
    std::vector<Spelling> spellings;
    std::optional<std::uint16_t> ordinal;
    bool imported = false; // a static import rather than an entry of the list
    // The first spelling, in the mod's order, that the loader exports: the one the mod binds.
    std::optional<std::size_t> bound;
    // For a function that binds to nothing: the loader's export of the same function that differs
    // least from one of its spellings; nothing when the loader exports no function of that name.
    std::optional<ExportMatch> closest;

    [[nodiscard]] Binding binding() const noexcept;
    // The header's decorated name, or the import's; empty for an import by ordinal.
    [[nodiscard]] std::string name() const;
};

struct LoaderReport {
    std::string file;   // the mod
    std::string loader; // the loader's path
    std::string dll;    // the loader's DLL name
    bool list = false;  // the mod carries a list of spellings
    std::vector<FunctionCheck> functions;

    [[nodiscard]] std::size_t count(Binding binding) const noexcept;
    [[nodiscard]] std::size_t missing() const noexcept { return count(Binding::Missing); }
    // Whether the mod loads with this loader: every function binds.
    [[nodiscard]] bool loads() const noexcept { return missing() == 0; }
};

// Two DLL names as Windows compares module names: the same characters, ASCII case aside.
[[nodiscard]] bool sameDllName(std::string_view a, std::string_view b) noexcept;

// What the mod at `modPath`, with its list of spellings (`list`, nothing when it carries none) and its
// imports, will bind of the loader named `loaderDll` that exports `loaderExports`. The list's
// functions come first, then the static imports from a DLL of the loader's name. Fails when the mod
// carries no list and imports nothing from that DLL: there is nothing to check.
[[nodiscard]] brickwright::Result<LoaderReport>
checkLoader(const std::string& modPath, const std::optional<std::vector<BindFunction>>& list,
            const std::vector<pe::Import>& modImports, const std::string& loaderPath,
            const std::string& loaderDll, const std::vector<pe::Export>& loaderExports);

// One JSON document on one line, without the line break: {"file", "loader", "dll", "list", "functions":
// [{"name", "ordinal", "demangled", "function", "imported", "spellings": [{"name", "changes"}], "binding"
// ("header", "other" or "missing"), "found", "bound": {"name", "changes"} or null, "closest": {"name",
// "demangled", "differences", "spelling"} or null}], "found", "other", "missing", "loads"}.
[[nodiscard]] std::string toJson(const LoaderReport& report);

// A heading, a line per function, under one bound by another spelling the key changes, under a
// missing one its closest export and the differences, and a last line saying whether the mod loads.
[[nodiscard]] std::string toTable(const LoaderReport& report);

} // namespace sigcheck
