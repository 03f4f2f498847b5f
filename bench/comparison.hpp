// What brickwright-bench compares, and the image every benchmark shares.
//
// Each benchmark source registers its Google Benchmark runs as usual (BENCHMARK(...) or
// benchmark::RegisterBenchmark) and pairs a fast run with its reference run through addComparison.
// After all runs main() prints one table row per comparison and writes them to --json PATH:
//
//     static const bool registered = bench::addComparison({
//         .name = "lookup, 1M objects, no match",
//         .fast = "lookup/fast",      // benchmark names as registered, or in full as reported
//         .reference = "lookup/reference",
//         .measure = bench::Measure::Time,
//     });
//
// Registration happens during static initialisation; the image is built in main() before any
// benchmark runs, so benchmark bodies (not static initialisers) call bench::image().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace bench {

enum class Measure {
    // Bytes per second, from state.SetBytesProcessed; shown in GB/s. ratio = fast / reference.
    Throughput,
    // CPU time per iteration; shown in milliseconds. ratio = reference / fast.
    Time,
};

// Either way a ratio above 1 means the fast run beats its reference by that factor.
struct Comparison {
    std::string name;
    std::string fast;
    std::string reference;
    Measure measure = Measure::Time;
};

// Adds a row to the table; returns true so that it can initialise a namespace-scope constant.
bool addComparison(Comparison comparison);

// Every comparison added so far, in the order added.
const std::vector<Comparison>& comparisons();

// The image the scans walk: about 100 MB of real x86-64 machine code (or the file given with
// --image), both engine patterns planted near its end. It is followed in memory by a zero-filled
// reserve in which the planted instructions' targets lie, so that initEngineGlobals can run over it.
struct Image {
    std::span<const std::uint8_t> code; // what the scan benchmarks walk
    std::span<std::uint8_t> whole;      // code followed by the reserve
    // Offsets in `code` of the lowest match of each pattern; kNoMatch when it has none.
    std::size_t nameTableMatch = kNoMatch;
    std::size_t objectTableMatch = kNoMatch;
    // The name-table pattern's target (the 8-byte variable holding the name table's address) and the
    // object-table pattern's target (where the object table lies); null when the match is missing or its
    // target falls outside `whole`. Both lie in the reserve for the default image and are writable.
    std::uint8_t* nameTableVariable = nullptr;
    std::uint8_t* objectTableTarget = nullptr;
    std::string description;

    static constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);
};

// The shared image; built once by main() before the benchmarks run.
const Image& image();

} // namespace bench
