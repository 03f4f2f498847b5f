// brickwright-sigcheck --loader: whether a mod DLL will bind to a given host loader. Every name the mod
// imports from the loader's DLL is looked up among the loader's exports by its exact decorated name;
// for one that is missing, the loader's closest export of the same function is found and the
// difference named, so that the declaration in host/include/sml/sml.hpp can be put right.
#pragma once

#include "brickwright/result.hpp"
#include "pe/image.hpp"

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
};

struct ImportCheck {
    std::string name; // decorated; empty for an import by ordinal
    std::optional<std::uint16_t> ordinal;
    std::optional<std::string> demangled;
    // The function's qualified name ("SML::Mod::Functions::addRecipe"), or the name itself when it is
    // not decorated.
    std::string functionName;
    bool found = false;
    // For a missing import: the loader's export of the same function that differs least; nothing when
    // the loader exports no function of that name.
    std::optional<ExportMatch> closest;
};

struct LoaderReport {
    std::string file;   // the mod
    std::string loader; // the loader's path
    std::string dll;    // the DLL name as the mod imports it
    std::vector<ImportCheck> imports;

    [[nodiscard]] std::size_t missing() const noexcept;
};

// Checks what `modImports` take from the DLL named as the loader's file is (`loaderPath`'s file name,
// compared without regard to case) against `loaderExports`. Fails when the mod imports no DLL of that
// name.
[[nodiscard]] brickwright::Result<LoaderReport> checkLoader(const std::string& modPath,
                                                            const std::vector<pe::Import>& modImports,
                                                            const std::string& loaderPath,
                                                            const std::vector<pe::Export>& loaderExports);

// One JSON document on one line, without the line break: {"file", "loader", "dll", "imports": [{"name",
// "ordinal", "demangled", "function", "found", "closest": {"name", "demangled", "differences"} or null}],
// "missing"}.
[[nodiscard]] std::string toJson(const LoaderReport& report);

// A heading, a line per import, and under each missing one its closest export and the differences.
[[nodiscard]] std::string toTable(const LoaderReport& report);

} // namespace sigcheck
