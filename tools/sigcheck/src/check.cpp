#include "sigcheck/check.hpp"

#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <utility>
#include <vector>

namespace sigcheck {
namespace {

static_assert(std::endian::native == std::endian::little, "displacements are read as the game stores them");

// The scan takes a pattern as bytes (00 at wildcards) beside a mask of 'x' and '?'.
template <std::size_t N> struct MaskedPattern {
    std::array<std::uint8_t, N> bytes{};
    std::array<char, N + 1> mask{};
};

// Built at run time through a volatile view: folded into a constant, the bytes would lie in this
// program's own image, and checking the checker would report them as a match.
template <std::size_t N> MaskedPattern<N> masked(const SDK::Signature<N>& signature) {
    const volatile SDK::PatternByte* elements = signature.elements.data();
    MaskedPattern<N> pattern;
    for (std::size_t i = 0; i < N; ++i) {
        const bool fixed = elements[i].fixed;
        pattern.bytes[i] = fixed ? elements[i].value : std::uint8_t{0};
        pattern.mask[i] = fixed ? 'x' : '?';
    }
    pattern.mask[N] = '\0';
    return pattern;
}

std::optional<std::string> sectionName(const pe::Headers& headers, std::uint64_t rva) {
    if (const pe::Section* section = headers.sectionAt(rva)) {
        return section->name;
    }
    return std::nullopt;
}

template <std::size_t N>
PatternReport scan(std::string_view name, const SDK::Signature<N>& signature, const pe::Headers& headers,
                   const pe::Image& image) {
    const MaskedPattern<N> pattern = masked(signature);
    return scanPattern(name, pattern.bytes, pattern.mask.data(), headers, image);
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

nlohmann::ordered_json optionalJson(const std::optional<std::uint64_t>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json optionalJson(const std::optional<std::string>& value) {
    return value ? nlohmann::ordered_json(printableName(*value)) : nlohmann::ordered_json(nullptr);
}

} // namespace

PatternReport scanPattern(std::string_view name, std::span<const std::uint8_t> bytes, const char* mask,
                          const pe::Headers& headers, const pe::Image& image) {
    const std::uint8_t* base = image.data();
    const std::size_t size = image.size();

    PatternReport report;
    report.name = name;
    // The match the mod takes comes from the very function the mod calls; the count from the prepared
    // form of the same scan, which finds exactly the same matches in one pass.
    const std::uint8_t* first = SDK::scanForPattern(bytes.data(), mask, base, size);
    report.matches = SDK::PreparedPattern(bytes.data(), mask).count(base, size);
    if (first == nullptr) {
        return report;
    }
    const auto rva = static_cast<std::uint64_t>(first - base);
    report.rva = rva;
    report.section = sectionName(headers, rva);
    // Patterns shorter than the instruction have no target.
    if (bytes.size() >= SDK::kInstructionLength) {
        const std::uint64_t target = SDK::relativeTarget(
            rva + SDK::kInstructionLength, SDK::readDisplacement(first + SDK::kDisplacementOffset));
        report.targetRva = target;
        report.targetSection = sectionName(headers, target);
    }
    return report;
}

FileReport checkImage(std::string file, const pe::Headers& headers, const pe::Image& image) {
    FileReport report;
    report.file = std::move(file);
    report.imageSize = image.size();
    report.patterns[0] = scan("name-table", SDK::kNameTablePattern, headers, image);
    report.patterns[1] = scan("object-table", SDK::kObjectTablePattern, headers, image);
    return report;
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

std::string toJson(const FileReport& report) {
    nlohmann::ordered_json patterns = nlohmann::ordered_json::array();
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
    const nlohmann::ordered_json document = {
        {"file", report.file},
        {"image_size", report.imageSize},
        {"patterns", std::move(patterns)},
    };
    // File names need not be UTF-8; a broken sequence becomes U+FFFD rather than an exception.
    return document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string toTable(const FileReport& report) {
    using Row = std::array<std::string, 7>;
    std::vector<Row> rows{{"pattern", "found", "rva", "section", "matches", "target rva", "target section"}};
    for (const PatternReport& pattern : report.patterns) {
        if (!pattern.found()) {
            rows.push_back({std::string(pattern.name), "no", "-", "-", "0", "-", "-"});
            continue;
        }
        rows.push_back({std::string(pattern.name), "yes", hex(*pattern.rva),
                        pattern.section ? printableName(*pattern.section) : "(no section)",
                        std::to_string(pattern.matches), pattern.targetRva ? hex(*pattern.targetRva) : "-",
                        !pattern.targetRva      ? "-"
                        : pattern.targetSection ? printableName(*pattern.targetSection)
                                                : "(outside every section)"});
    }
    std::array<std::size_t, 7> widths{};
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }

    std::string text = report.file + ": image of " + std::to_string(report.imageSize) + " bytes\n";
    for (const Row& row : rows) {
        std::string line = " ";
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += ' ';
            line += row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - row[column].size() + 1, ' ');
            }
        }
        text += line + '\n';
    }
    for (const PatternReport& pattern : report.patterns) {
        if (!pattern.found()) {
            text += "  missing: " + std::string(pattern.name) + " does not match anywhere in the image\n";
            continue;
        }
        if (pattern.matches > 1) {
            text += "  warning: " + std::string(pattern.name) + " matches " +
                    std::to_string(pattern.matches) +
                    " times; the mod takes the lowest, and a later update may reorder them\n";
        }
        if (pattern.targetRva && !pattern.targetSection) {
            text += "  warning: " + std::string(pattern.name) + " refers to " + hex(*pattern.targetRva) +
                    ", outside every section\n";
        }
    }
    return text;
}

} // namespace sigcheck
