// How brickwright-sigcheck prints what it found, per file: one JSON document on one line, or a
// readable table. The check, --pattern, --make and --suggest share the formatting below.
#pragma once

#include "sigcheck/check.hpp"
#include "sigcheck/maker.hpp"
#include "sigcheck/suggest.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sigcheck {

// "0x0001a2b0": how every RVA is printed in the tables and in messages.
[[nodiscard]] std::string hex(std::uint64_t value);

// Section names may hold any byte: printable ASCII stays, everything else becomes \xNN.
[[nodiscard]] std::string printableName(std::string_view name);

struct MakeReport {
    std::string file;
    std::uint64_t imageSize = 0;
    std::vector<std::pair<std::uint64_t, MakeResult>> results; // in the order asked

    // 0 every RVA has a unique pattern, 1 some has none within the limit, 2 some RVA cannot be used.
    [[nodiscard]] int status() const noexcept;
};

// 0 every engine pattern matches once or has a first candidate with a unique pattern, 1 otherwise.
[[nodiscard]] int suggestStatus(const SuggestReport& report) noexcept;

// One JSON document on one line, without the line break.
[[nodiscard]] std::string toJson(const FileReport& report);
[[nodiscard]] std::string toJson(const MakeReport& report);
[[nodiscard]] std::string toJson(const SuggestReport& report);

// The one document that --json prints for any number of files: {"files": [...]}, each element one of
// the documents above.
[[nodiscard]] std::string filesDocument(const std::vector<std::string>& documents);

// The readable form: a heading line naming the file, the rows, then any notes; ends with a line break.
[[nodiscard]] std::string toTable(const FileReport& report);
[[nodiscard]] std::string toTable(const MakeReport& report);
[[nodiscard]] std::string toTable(const SuggestReport& report);

} // namespace sigcheck
