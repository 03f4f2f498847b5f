#include "sigcheck/loader_check.hpp"

#include "sigcheck/demangle.hpp"
#include "sigcheck/name_parts.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <utility>

namespace sigcheck {
namespace {

using Json = nlohmann::ordered_json;

bool sameDllName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Named {
    std::string name;
    std::optional<std::string> demangled;
    std::optional<NameParts> parts;
    std::string functionName;
};

Named named(const std::string& name) {
    Named result{name, demangle(name), std::nullopt, name};
    if (result.demangled) {
        result.parts = splitName(*result.demangled);
        if (result.parts) {
            result.functionName = result.parts->qualifiedName;
        }
    }
    return result;
}

std::string shown(const std::optional<std::string>& demangled, const std::string& name) {
    return demangled ? *demangled : name;
}

std::size_t commonPrefix(std::string_view a, std::string_view b) {
    return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

} // namespace

std::size_t LoaderReport::missing() const noexcept {
    return static_cast<std::size_t>(
        std::count_if(imports.begin(), imports.end(), [](const ImportCheck& check) { return !check.found; }));
}

brickwright::Result<LoaderReport> checkLoader(const std::string& modPath,
                                              const std::vector<pe::Import>& modImports,
                                              const std::string& loaderPath,
                                              const std::vector<pe::Export>& loaderExports) {
    const std::string dll = std::filesystem::path(loaderPath).filename().string();
    LoaderReport report{modPath, loaderPath, dll, {}};
    bool imported = false;
    for (const pe::Import& import : modImports) {
        if (!sameDllName(import.dll, dll)) {
            continue;
        }
        if (!imported) {
            report.dll = import.dll;
            imported = true;
        }
        for (const pe::ImportedFunction& function : import.functions) {
            ImportCheck check;
            check.name = function.name;
            check.ordinal = function.ordinal;
            report.imports.push_back(std::move(check));
        }
    }
    if (!imported) {
        std::string dlls;
        for (const pe::Import& import : modImports) {
            dlls += (dlls.empty() ? "" : ", ") + import.dll;
        }
        return brickwright::fail("imports nothing from " + dll + " (the loader's file name); it imports " +
                                 (dlls.empty() ? std::string("no DLL at all") : "from " + dlls));
    }

    // The loader's exports, grouped by the function they name.
    std::map<std::string, std::size_t> exported;
    std::vector<Named> exports;
    for (const pe::Export& entry : loaderExports) {
        exported.emplace(entry.name, exports.size());
        exports.push_back(named(entry.name));
    }
    for (ImportCheck& check : report.imports) {
        if (check.ordinal) {
            // Exports are read by name only; an ordinal cannot be told from here.
            check.functionName = "#" + std::to_string(*check.ordinal);
            continue;
        }
        const Named wanted = named(check.name);
        check.demangled = wanted.demangled;
        check.functionName = wanted.functionName;
        check.found = exported.contains(check.name);
        if (check.found) {
            continue;
        }
        for (const Named& candidate : exports) {
            // Where either name could not be demangled, the decorated names say what they can.
            const bool demangled = wanted.parts && candidate.parts;
            if (demangled ? !sameText(candidate.functionName, wanted.functionName)
                          : decoratedFunctionName(candidate.name) != decoratedFunctionName(check.name)) {
                continue;
            }
            ExportMatch match{candidate.name, candidate.demangled, {}};
            if (demangled) {
                match.differences = nameDifferences(*wanted.parts, *candidate.parts);
            } else {
                match.differences.push_back(decoratedDifference(check.name, candidate.name));
            }
            if (match.differences.empty()) {
                // Demangled alike, decorated apart: something the demangled text does not show.
                match.differences.push_back("decorated names differ where the demangled text does not: " +
                                            check.name + " in the mod, " + candidate.name + " in the loader");
            }
            if (!check.closest || match.differences.size() < check.closest->differences.size() ||
                (!demangled &&
                 commonPrefix(check.name, candidate.name) > commonPrefix(check.name, check.closest->name))) {
                check.closest = std::move(match);
            }
        }
    }
    return report;
}

std::string toJson(const LoaderReport& report) {
    Json imports = Json::array();
    for (const ImportCheck& check : report.imports) {
        Json closest = nullptr;
        if (check.closest) {
            closest = {
                {"name", check.closest->name},
                {"demangled", check.closest->demangled ? Json(*check.closest->demangled) : Json(nullptr)},
                {"differences", check.closest->differences}};
        }
        imports.push_back({{"name", check.name},
                           {"ordinal", check.ordinal ? Json(*check.ordinal) : Json(nullptr)},
                           {"demangled", check.demangled ? Json(*check.demangled) : Json(nullptr)},
                           {"function", check.functionName},
                           {"found", check.found},
                           {"closest", std::move(closest)}});
    }
    const Json document = {{"file", report.file},
                           {"loader", report.loader},
                           {"dll", report.dll},
                           {"imports", std::move(imports)},
                           {"missing", report.missing()}};
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string toTable(const LoaderReport& report) {
    const std::size_t missing = report.missing();
    std::string text = report.file + ": " + std::to_string(report.imports.size()) + " imports from " +
                       report.dll + ", checked against " + report.loader + ": " +
                       std::to_string(report.imports.size() - missing) + " found, " +
                       std::to_string(missing) + " missing\n";
    for (const ImportCheck& check : report.imports) {
        if (check.ordinal) {
            text += "  missing  ordinal " + std::to_string(*check.ordinal) +
                    " (imported by ordinal: the loader's exports are checked by name only)\n";
            continue;
        }
        text += std::string(check.found ? "  found    " : "  missing  ") +
                shown(check.demangled, check.name) + "\n";
        if (check.found) {
            continue;
        }
        // A name the demangler could not read is shown decorated already.
        if (check.demangled) {
            text += "           decorated: " + check.name + "\n";
        }
        if (!check.closest) {
            text += "           the loader exports nothing named " + check.functionName + "\n";
            continue;
        }
        text += "           closest export: " + shown(check.closest->demangled, check.closest->name) + "\n";
        if (check.closest->demangled) {
            text += "           decorated: " + check.closest->name + "\n";
        }
        for (const std::string& difference : check.closest->differences) {
            text += "           differs in " + difference + "\n";
        }
    }
    return text;
}

} // namespace sigcheck
