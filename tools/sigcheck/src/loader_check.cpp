#include "sigcheck/loader_check.hpp"

#include "sigcheck/demangle.hpp"
#include "sigcheck/name_parts.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>
#include <utility>

namespace sigcheck {
namespace {

using Json = nlohmann::ordered_json;

char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Named {
    std::string name;
    std::optional<std::string> demangled;
    std::optional<NameParts> parts;
    std::string functionName;
};

// `text` is what to take apart when this platform's demangler cannot read the name: the build's own
// demangled text of the header's spelling.
Named named(const std::string& name, const std::optional<std::string>& text = std::nullopt) {
    Named result{name, demangle(name), std::nullopt, name};
    if (!result.demangled) {
        result.demangled = text;
    }
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

// How many characters of two decorated names lie between the start and the end they share, the more
// of the two: 1 where a single letter differs (V for U, B for A).
std::size_t differingSpan(std::string_view a, std::string_view b) {
    const std::size_t prefix =
        static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
    const std::size_t room = std::min(a.size(), b.size()) - prefix;
    std::size_t suffix = 0;
    while (suffix < room && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
        ++suffix;
    }
    return std::max(a.size(), b.size()) - prefix - suffix;
}

// The loader's export of the function that differs least from one of its spellings. Which one is shown
// must not depend on the order of the loader's name table, so ties are broken on the names alone:
// fewest differences first, then the fewest decorated characters apart (see differingSpan), then the
// export's decorated name in byte order, then the mod's own order of spellings.
std::optional<ExportMatch> closestExport(const std::vector<Named>& spellings,
                                         const std::vector<Named>& exports) {
    std::optional<ExportMatch> best;
    std::tuple<std::size_t, std::size_t, std::string_view, std::size_t> bestRank;
    for (std::size_t s = 0; s < spellings.size(); ++s) {
        const Named& wanted = spellings[s];
        for (const Named& candidate : exports) {
            // Where either name could not be demangled, the decorated names say what they can.
            const bool demangled = wanted.parts && candidate.parts;
            if (demangled ? !sameText(candidate.functionName, wanted.functionName)
                          : decoratedFunctionName(candidate.name) != decoratedFunctionName(wanted.name)) {
                continue;
            }
            ExportMatch match{candidate.name, candidate.demangled, {}, s};
            if (demangled) {
                match.differences = nameDifferences(*wanted.parts, *candidate.parts);
            } else {
                match.differences.push_back(decoratedDifference(wanted.name, candidate.name));
            }
            if (match.differences.empty()) {
                // Demangled alike, decorated apart: something the demangled text does not show.
                match.differences.push_back(
                    "decorated names differ where the demangled text does not: " + wanted.name +
                    " in the mod, " + candidate.name + " in the loader");
            }
            const auto rank =
                std::make_tuple(match.differences.size(), differingSpan(wanted.name, candidate.name),
                                std::string_view(candidate.name), s);
            if (!best || rank < bestRank) {
                bestRank = rank;
                best = std::move(match);
            }
        }
    }
    return best;
}

constexpr const char* bindingText(Binding binding) {
    return binding == Binding::Header ? "header" : binding == Binding::Other ? "other" : "missing";
}

} // namespace

bool sameDllName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

Binding FunctionCheck::binding() const noexcept {
    return !bound ? Binding::Missing : *bound == 0 ? Binding::Header : Binding::Other;
}

std::string FunctionCheck::name() const {
    return spellings.empty() ? std::string() : spellings.front().name;
}

std::size_t LoaderReport::count(Binding binding) const noexcept {
    return static_cast<std::size_t>(
        std::count_if(functions.begin(), functions.end(),
                      [&](const FunctionCheck& check) { return check.binding() == binding; }));
}

brickwright::Result<LoaderReport> checkLoader(const std::string& modPath,
                                              const std::optional<std::vector<BindFunction>>& list,
                                              const std::vector<pe::Import>& modImports,
                                              const std::string& loaderPath, const std::string& loaderDll,
                                              const std::vector<pe::Export>& loaderExports) {
    LoaderReport report{modPath, loaderPath, loaderDll, list.has_value(), {}};
    if (list) {
        for (const BindFunction& function : *list) {
            FunctionCheck check;
            check.demangled = function.demangled;
            check.spellings = function.spellings;
            report.functions.push_back(std::move(check));
        }
    }
    bool imported = false;
    for (const pe::Import& import : modImports) {
        if (!sameDllName(import.dll, loaderDll)) {
            continue;
        }
        imported = true;
        for (const pe::ImportedFunction& function : import.functions) {
            FunctionCheck check;
            check.imported = true;
            check.ordinal = function.ordinal;
            if (!function.ordinal) {
                check.spellings.push_back({function.name, {}});
            }
            report.functions.push_back(std::move(check));
        }
    }
    if (!list && !imported) {
        std::string dlls;
        for (const pe::Import& import : modImports) {
            dlls += (dlls.empty() ? "" : ", ") + import.dll;
        }
        return brickwright::fail("carries no list of spellings (" + std::string(kBindSection) +
                                 ") and imports nothing from " + loaderDll +
                                 " (the loader's DLL name); it imports " +
                                 (dlls.empty() ? std::string("no DLL at all") : "from " + dlls));
    }

    std::map<std::string, std::size_t, std::less<>> exported;
    std::vector<Named> exports;
    for (const pe::Export& entry : loaderExports) {
        exported.emplace(entry.name, exports.size());
        exports.push_back(named(entry.name));
    }
    for (FunctionCheck& check : report.functions) {
        if (check.ordinal) {
            // Exports are read by name only; an ordinal cannot be told from here.
            check.functionName = "#" + std::to_string(*check.ordinal);
            continue;
        }
        std::vector<Named> spellings;
        for (const Spelling& spelling : check.spellings) {
            spellings.push_back(named(spelling.name, spellings.empty() ? check.demangled : std::nullopt));
        }
        if (!check.demangled) {
            check.demangled = spellings.front().demangled;
        }
        check.functionName = spellings.front().functionName;
        for (std::size_t s = 0; s < check.spellings.size() && !check.bound; ++s) {
            if (exported.contains(check.spellings[s].name)) {
                check.bound = s;
            }
        }
        if (!check.bound) {
            check.closest = closestExport(spellings, exports);
        }
    }
    return report;
}

std::string toJson(const LoaderReport& report) {
    const auto spellingJson = [](const Spelling& spelling) {
        return Json{{"name", spelling.name}, {"changes", spelling.changes}};
    };
    Json functions = Json::array();
    for (const FunctionCheck& check : report.functions) {
        Json closest = nullptr;
        if (check.closest) {
            closest = {
                {"name", check.closest->name},
                {"demangled", check.closest->demangled ? Json(*check.closest->demangled) : Json(nullptr)},
                {"differences", check.closest->differences},
                {"spelling", check.closest->spelling}};
        }
        Json spellings = Json::array();
        for (const Spelling& spelling : check.spellings) {
            spellings.push_back(spellingJson(spelling));
        }
        functions.push_back(
            {{"name", check.name()},
             {"ordinal", check.ordinal ? Json(*check.ordinal) : Json(nullptr)},
             {"demangled", check.demangled ? Json(*check.demangled) : Json(nullptr)},
             {"function", check.functionName},
             {"imported", check.imported},
             {"spellings", std::move(spellings)},
             {"binding", bindingText(check.binding())},
             {"found", check.bound.has_value()},
             {"bound", check.bound ? spellingJson(check.spellings[*check.bound]) : Json(nullptr)},
             {"closest", std::move(closest)}});
    }
    const Json document = {{"file", report.file},
                           {"loader", report.loader},
                           {"dll", report.dll},
                           {"list", report.list},
                           {"functions", std::move(functions)},
                           {"found", report.functions.size() - report.missing()},
                           {"other", report.count(Binding::Other)},
                           {"missing", report.missing()},
                           {"loads", report.loads()}};
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string toTable(const LoaderReport& report) {
    const std::size_t missing = report.missing();
    const std::size_t other = report.count(Binding::Other);
    const bool importsOnly = !report.list;
    std::string text = report.file + ": " + std::to_string(report.functions.size()) +
                       (importsOnly ? " imports from " : " functions bound from ") + report.dll +
                       ", checked against " + report.loader + ": " +
                       std::to_string(report.functions.size() - missing) + " found" +
                       (other > 0 ? " (" + std::to_string(other) + " by another spelling)" : "") + ", " +
                       std::to_string(missing) + " missing\n";
    for (const FunctionCheck& check : report.functions) {
        if (check.ordinal) {
            text += "  missing  ordinal " + std::to_string(*check.ordinal) +
                    " (imported by ordinal: the loader's exports are checked by name only)\n";
            continue;
        }
        const std::string& header = check.spellings.front().name;
        text +=
            std::string(check.bound ? "  found    " : "  missing  ") + shown(check.demangled, header) + "\n";
        if (check.bound) {
            if (*check.bound != 0) {
                const Spelling& spelling = check.spellings[*check.bound];
                text += "           by another spelling: " + changesText(spelling.changes) + "\n";
                text += "           decorated: " + spelling.name + "\n";
            }
            continue;
        }
        // A name the demangler could not read is shown decorated already.
        if (check.demangled) {
            text += "           decorated: " + header + "\n";
        }
        if (check.spellings.size() > 1) {
            text += "           none of its " + std::to_string(check.spellings.size()) +
                    " spellings is exported (the others differ in class keys only)\n";
        }
        if (!check.closest) {
            text += "           the loader exports nothing named " + check.functionName + "\n";
            continue;
        }
        text += "           closest export: " + shown(check.closest->demangled, check.closest->name) + "\n";
        if (check.closest->demangled) {
            text += "           decorated: " + check.closest->name + "\n";
        }
        if (check.closest->spelling != 0) {
            text += "           compared with the spelling with " +
                    changesText(check.spellings[check.closest->spelling].changes) + "\n";
        }
        for (const std::string& difference : check.closest->differences) {
            text += "           differs in " + difference + "\n";
        }
    }
    const std::string mod = std::filesystem::path(report.file).filename().string();
    if (report.loads()) {
        text += mod + " loads with this loader\n";
    } else {
        text += mod + " does not load with this loader: " + std::to_string(missing) +
                (missing == 1 ? " function" : " functions") + " missing\n";
    }
    return text;
}

} // namespace sigcheck
