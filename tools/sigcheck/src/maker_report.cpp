#include "sigcheck/maker_report.hpp"

#include "sigcheck/check.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace sigcheck {
namespace {

using Json = nlohmann::ordered_json;

Json optionalName(const std::optional<std::string>& name) {
    return name ? Json(printableName(*name)) : Json(nullptr);
}

std::string dump(const Json& document) {
    // File names need not be UTF-8; a broken sequence becomes U+FFFD rather than an exception.
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string sectionOf(const std::optional<std::string>& name) {
    return name ? printableName(*name) : "(outside every section)";
}

std::string percent(double share) {
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", share * 100);
    return text;
}

// Columns padded to their widest cell; the last one is not padded.
std::string columns(const std::vector<std::vector<std::string>>& rows, const std::string& indent) {
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

std::string matchesText(std::uint64_t matches) {
    return std::to_string(matches) + (matches == 1 ? " match" : " matches");
}

} // namespace

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
        entry["pattern"] = patternText(made.elements);
        entry["length"] = made.elements.size();
        entry["instructions"] = made.instructions;
        entry["matches"] = made.matches;
        entry["unique"] = made.unique();
        patterns.push_back(std::move(entry));
    }
    return dump({{"file", report.file}, {"image_size", report.imageSize}, {"patterns", std::move(patterns)}});
}

std::string toTable(const MakeReport& report) {
    std::string text = report.file + ": image of " + std::to_string(report.imageSize) + " bytes\n";
    std::vector<std::vector<std::string>> rows{{"rva", "matches", "bytes", "pattern"}};
    std::string notes;
    for (const auto& [rva, result] : report.results) {
        if (!result) {
            rows.push_back({hexRva(rva), "-", "-", "(" + result.error().message + ")"});
            continue;
        }
        const MadePattern& made = *result;
        rows.push_back({hexRva(rva), std::to_string(made.matches), std::to_string(made.elements.size()),
                        patternText(made.elements)});
        if (!made.unique()) {
            notes += "  not unique: " + hexRva(rva) + " has no unique pattern within " +
                     std::to_string(kMaxPatternLength) + " bytes; the one shown has the fewest matches\n";
        }
    }
    return text + columns(rows, "  ") + notes;
}

std::string toJson(const SuggestReport& report) {
    Json patterns = Json::array();
    for (const Suggestion& suggestion : report.patterns) {
        Json candidates = Json::array();
        for (const Candidate& candidate : suggestion.candidates) {
            Json entry = {
                {"rva", candidate.rva},
                {"section", optionalName(candidate.section)},
                {"target_rva", candidate.targetRva},
                {"target_section", optionalName(candidate.targetSection)},
                {"instructions", candidate.text},
                {"resemblance", candidate.resemblance ? Json(*candidate.resemblance) : Json(nullptr)},
            };
            if (candidate.pattern) {
                entry["pattern"] = patternText(candidate.pattern->elements);
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
            {"old_rva", suggestion.oldRva ? Json(*suggestion.oldRva) : Json(nullptr)},
            {"candidate_count", suggestion.candidateCount},
            {"best", best ? Json(suggestion.candidates.front().rva) : Json(nullptr)},
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
    std::string text = report.file + ": image of " + std::to_string(report.imageSize) + " bytes\n";
    for (const Suggestion& suggestion : report.patterns) {
        const std::string name(suggestion.name);
        if (!suggestion.needed()) {
            text += "  " + name + ": matches once; nothing to suggest\n";
            continue;
        }
        text += "  " + name + ": " + matchesText(suggestion.matches) + "; " +
                std::to_string(suggestion.candidateCount) + " candidates of the same shape";
        if (suggestion.oldRva) {
            text += ", ranked by resemblance to the match at " + hexRva(*suggestion.oldRva) + " in " +
                    *report.oldFile;
        }
        text += suggestion.candidates.size() < suggestion.candidateCount
                    ? " (the first " + std::to_string(suggestion.candidates.size()) + " shown)\n"
                    : "\n";
        if (suggestion.candidates.empty()) {
            continue;
        }
        std::vector<std::vector<std::string>> rows{
            {"#", "rva", "section", "target rva", "target section", "resemblance", "matches", "pattern"}};
        std::size_t rank = 0;
        for (const Candidate& candidate : suggestion.candidates) {
            const MadePattern* made = candidate.pattern ? &*candidate.pattern : nullptr;
            rows.push_back({std::to_string(++rank), hexRva(candidate.rva), sectionOf(candidate.section),
                            hexRva(candidate.targetRva), sectionOf(candidate.targetSection),
                            candidate.resemblance ? percent(*candidate.resemblance) : "-",
                            made ? std::to_string(made->matches) : "-",
                            made ? patternText(made->elements) : "-"});
        }
        text += columns(rows, "    ");
        const Candidate& best = suggestion.candidates.front();
        std::string instructions;
        for (const std::string& line : best.text) {
            instructions += (instructions.empty() ? "" : "; ") + line;
        }
        text += "    best: " + hexRva(best.rva) + ": " + instructions + "\n";
        if (!best.pattern || !best.pattern->unique()) {
            text += "    warning: the best candidate has no unique pattern within " +
                    std::to_string(kMaxPatternLength) + " bytes\n";
        }
    }
    return text;
}

} // namespace sigcheck
