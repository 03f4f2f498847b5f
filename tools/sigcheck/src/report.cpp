#include "sigcheck/report.hpp"

#include "sdk/pattern_text.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace sigcheck {
namespace {

using Json = nlohmann::ordered_json;
using Rows = std::vector<std::vector<std::string>>;

std::string dump(const Json& document) {
    // File names need not be UTF-8; a broken sequence becomes U+FFFD rather than an exception.
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json optionalJson(const std::optional<std::uint64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json optionalJson(const std::optional<std::string>& name) {
    return name ? Json(printableName(*name)) : Json(nullptr);
}

std::string sectionOf(const std::optional<std::string>& name) {
    return name ? printableName(*name) : "(outside every section)";
}

std::string percent(double share) {
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", share * 100);
    return text;
}

// Columns padded to their widest cell and two spaces apart; the last one is not padded.
std::string columns(const Rows& rows, const std::string& indent) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line = indent;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        text += line + '\n';
    }
    return text;
}

std::string heading(const std::string& file, std::uint64_t imageSize) {
    return file + ": image of " + std::to_string(imageSize) + " bytes\n";
}

std::string matchesText(std::uint64_t matches) {
    return std::to_string(matches) + (matches == 1 ? " match" : " matches");
}

std::string rvaList(const std::vector<std::uint64_t>& rvas) {
    std::string text;
    for (const std::uint64_t rva : rvas) {
        text += (text.empty() ? "" : ", ") + hex(rva);
    }
    return text;
}

// Why the candidates are ranked by score alone.
std::string guessReason(const SuggestReport& report, const Suggestion& suggestion) {
    if (!report.oldFile) {
        return "no old build to compare with";
    }
    return suggestion.matches == 0 ? "the old build lacks this pattern too"
                                   : "the old build lacks this pattern";
}

} // namespace

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

std::string printableName(std::string_view name) {
    std::string printable;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            printable += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            printable += escaped;
        }
    }
    return printable;
}

std::string filesDocument(const std::vector<std::string>& documents) {
    // Each document is a whole JSON value already, so joining them makes a JSON array.
    std::string text = "{\"files\":[";
    for (std::size_t i = 0; i < documents.size(); ++i) {
        text += (i == 0 ? "" : ",") + documents[i];
    }
    return text + "]}";
}

int MakeReport::status() const noexcept {
    int status = kStatusComplete;
    for (const auto& [rva, result] : results) {
        if (!result) {
            status = std::max(status, kStatusUnusable);
        } else if (!result->unique()) {
            status = std::max(status, kStatusPatternMissing);
        }
    }
    return status;
}

int suggestStatus(const SuggestReport& report) noexcept {
    return std::all_of(report.patterns.begin(), report.patterns.end(),
                       [](const Suggestion& suggestion) { return suggestion.answered(); })
               ? kStatusComplete
               : kStatusPatternMissing;
}

std::string toJson(const FileReport& report) {
    Json patterns = Json::array();
    for (const PatternReport& pattern : report.patterns) {
        patterns.push_back({
            {"name", pattern.name},
            {"found", pattern.found()},
            {"rva", optionalJson(pattern.rva)},
            {"section", optionalJson(pattern.section)},
            {"matches", pattern.matches},
            {"target_rva", optionalJson(pattern.targetRva)},
            {"target_section", optionalJson(pattern.targetSection)},
        });
    }
    return dump({{"file", report.file}, {"image_size", report.imageSize}, {"patterns", std::move(patterns)}});
}

std::string toTable(const FileReport& report) {
    Rows rows{{"pattern", "found", "rva", "section", "matches", "target rva", "target section"}};
    for (const PatternReport& pattern : report.patterns) {
        if (!pattern.found()) {
            rows.push_back({pattern.name, "no", "-", "-", "0", "-", "-"});
            continue;
        }
        rows.push_back({pattern.name, "yes", hex(*pattern.rva),
                        pattern.section ? printableName(*pattern.section) : "(no section)",
                        std::to_string(pattern.matches), pattern.targetRva ? hex(*pattern.targetRva) : "-",
                        pattern.targetRva ? sectionOf(pattern.targetSection) : "-"});
    }
    std::string text = heading(report.file, report.imageSize) + columns(rows, "  ");
    for (const PatternReport& pattern : report.patterns) {
        if (!pattern.found()) {
            text += "  missing: " + pattern.name + " does not match anywhere in the image\n";
            continue;
        }
        if (pattern.matches > 1) {
            text += "  warning: " + pattern.name + " matches " + std::to_string(pattern.matches) +
                    " times; the mod takes the lowest, and a later update may reorder them\n";
        }
        if (pattern.targetRva && !pattern.targetSection) {
            text += "  warning: " + pattern.name + " refers to " + hex(*pattern.targetRva) +
                    ", outside every section\n";
        }
    }
    return text;
}

std::string toJson(const MakeReport& report) {
    Json patterns = Json::array();
    for (const auto& [rva, result] : report.results) {
        Json entry = {{"rva", rva}};
        if (!result) {
            entry["error"] = result.error().message;
            patterns.push_back(std::move(entry));
            continue;
        }
        const MadePattern& made = *result;
        entry["pattern"] = SDK::patternText(made.elements);
        entry["length"] = made.elements.size();
        entry["instructions"] = made.instructions;
        entry["matches"] = made.matches;
        entry["unique"] = made.unique();
        if (!made.unique()) {
            entry["other_rvas"] = made.otherRvas;
        }
        patterns.push_back(std::move(entry));
    }
    return dump({{"file", report.file}, {"image_size", report.imageSize}, {"patterns", std::move(patterns)}});
}

std::string toTable(const MakeReport& report) {
    Rows rows{{"rva", "matches", "bytes", "pattern"}};
    std::string notes;
    for (const auto& [rva, result] : report.results) {
        if (!result) {
            rows.push_back({hex(rva), "-", "-", "(" + result.error().message + ")"});
            continue;
        }
        const MadePattern& made = *result;
        rows.push_back({hex(rva), std::to_string(made.matches), std::to_string(made.elements.size()),
                        SDK::patternText(made.elements)});
        if (!made.unique()) {
            notes += "  not unique: " + hex(rva) + " has no unique pattern within " +
                     std::to_string(kMaxPatternLength) + " bytes; the one shown has the fewest matches\n";
            const std::uint64_t others = made.matches - 1;
            notes += "    it also matches at " + rvaList(made.otherRvas);
            notes += made.otherRvas.size() < others
                         ? " and " + std::to_string(others - made.otherRvas.size()) + " more places\n"
                         : "\n";
        }
    }
    return heading(report.file, report.imageSize) + columns(rows, "  ") + notes;
}

std::string toJson(const SuggestReport& report) {
    Json patterns = Json::array();
    for (const Suggestion& suggestion : report.patterns) {
        Json candidates = Json::array();
        for (const Candidate& candidate : suggestion.candidates) {
            Json entry = {
                {"rva", candidate.rva},
                {"section", optionalJson(candidate.section)},
                {"target_rva", candidate.targetRva},
                {"target_section", optionalJson(candidate.targetSection)},
                {"instructions", candidate.text},
                {"resemblance", candidate.resemblance ? Json(*candidate.resemblance) : Json(nullptr)},
                {"score", candidate.score},
            };
            if (candidate.pattern) {
                entry["pattern"] = SDK::patternText(candidate.pattern->elements);
                entry["pattern_matches"] = candidate.pattern->matches;
                entry["unique"] = candidate.pattern->unique();
            } else {
                entry["pattern"] = nullptr;
                entry["pattern_matches"] = nullptr;
                entry["unique"] = false;
            }
            candidates.push_back(std::move(entry));
        }
        const bool best = suggestion.needed() && !suggestion.candidates.empty();
        patterns.push_back({
            {"name", suggestion.name},
            {"matches", suggestion.matches},
            {"old_rva", optionalJson(suggestion.oldRva)},
            {"candidate_count", suggestion.candidateCount},
            {"ranked_by",
             suggestion.needed() ? Json(suggestion.guessed() ? "score" : "resemblance") : Json(nullptr)},
            {"best", best ? Json(suggestion.candidates.front().rva) : Json(nullptr)},
            {"guess", suggestion.needed() && suggestion.guessed() ? Json(guessReason(report, suggestion))
                                                                  : Json(nullptr)},
            {"candidates", std::move(candidates)},
        });
    }
    Json oldProblems = Json::array();
    for (const brickwright::Error& problem : report.oldProblems) {
        oldProblems.push_back(problem.message);
    }
    return dump({{"file", report.file},
                 {"image_size", report.imageSize},
                 {"old_file", report.oldFile ? Json(*report.oldFile) : Json(nullptr)},
                 {"patterns", std::move(patterns)},
                 {"old_problems", std::move(oldProblems)}});
}

std::string toTable(const SuggestReport& report) {
    std::string text = heading(report.file, report.imageSize);
    for (const Suggestion& suggestion : report.patterns) {
        const std::string name(suggestion.name);
        if (!suggestion.needed()) {
            text += "  " + name + ": matches once; nothing to suggest\n";
            continue;
        }
        text += "  " + name + ": " + matchesText(suggestion.matches) + "; " +
                std::to_string(suggestion.candidateCount) + " candidates of the same shape";
        if (suggestion.guessed()) {
            text += ", ranked by score (a guess: " + guessReason(report, suggestion) + ")";
        } else {
            text += ", ranked by resemblance to the match at " + hex(*suggestion.oldRva) + " in " +
                    *report.oldFile;
        }
        text += suggestion.candidates.size() < suggestion.candidateCount
                    ? " (the first " + std::to_string(suggestion.candidates.size()) + " shown)\n"
                    : "\n";
        if (suggestion.candidates.empty()) {
            continue;
        }
        Rows rows{{"#", "rva", "section", "target rva", "target section", "resemblance", "score", "matches",
                   "pattern"}};
        std::size_t rank = 0;
        for (const Candidate& candidate : suggestion.candidates) {
            const MadePattern* made = candidate.pattern ? &*candidate.pattern : nullptr;
            rows.push_back({std::to_string(++rank), hex(candidate.rva), sectionOf(candidate.section),
                            hex(candidate.targetRva), sectionOf(candidate.targetSection),
                            candidate.resemblance ? percent(*candidate.resemblance) : "-",
                            percent(candidate.score), made ? std::to_string(made->matches) : "-",
                            made ? SDK::patternText(made->elements) : "-"});
        }
        text += columns(rows, "    ");
        const Candidate& first = suggestion.candidates.front();
        const std::string label = suggestion.guessed() ? "likely" : "best";
        std::string instructions;
        for (const std::string& line : first.text) {
            instructions += (instructions.empty() ? "" : "; ") + line;
        }
        text += "    " + label + ": " + hex(first.rva) + ": " + instructions + "\n";
        if (!first.pattern || !first.pattern->unique()) {
            text += "    warning: the " + label + " candidate has no unique pattern within " +
                    std::to_string(kMaxPatternLength) + " bytes\n";
        }
    }
    return text;
}

} // namespace sigcheck
