// How brickwright-sigcheck prints what --make and --suggest found: one JSON document on one line, or
// a readable table, per file.
#pragma once

#include "sigcheck/maker.hpp"
#include "sigcheck/suggest.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sigcheck {

struct MakeReport {
    std::string file;
    std::uint64_t imageSize = 0;
    std::vector<std::pair<std::uint64_t, MakeResult>> results; // in the order asked

    // 0 every RVA has a unique pattern, 1 some has none within the limit, 2 some RVA cannot be used.
    [[nodiscard]] int status() const noexcept;
};

// 0 every engine pattern matches once or has a best candidate with a unique pattern, 1 otherwise.
[[nodiscard]] int suggestStatus(const SuggestReport& report) noexcept;

[[nodiscard]] std::string toJson(const MakeReport& report);
[[nodiscard]] std::string toTable(const MakeReport& report);
[[nodiscard]] std::string toJson(const SuggestReport& report);
[[nodiscard]] std::string toTable(const SuggestReport& report);

} // namespace sigcheck
