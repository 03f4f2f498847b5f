// brickwright-sigcheck --make for many instructions of a game-sized image: each extension of a
// pattern counted by narrowing the previous length's matches, against scanning the whole image again
// for every extension. Both must make the same patterns.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "comparison.hpp"
#include "pe/image.hpp"
#include "sigcheck/maker.hpp"

namespace {

constexpr std::size_t kInstructions = 20;

struct MakeSetup {
    pe::Headers headers;
    std::vector<std::uint64_t> rvas;
};

// The shared image as one executable section, and kInstructions function starts spread over it:
// 16-byte aligned offsets that follow int3 padding, as compilers place functions.
const MakeSetup& setup() {
    static const MakeSetup shared = [] {
        const std::span<const std::uint8_t> code = bench::image().code;
        MakeSetup made;
        const auto size = static_cast<std::uint32_t>(code.size());
        made.headers.machine = pe::kMachineAmd64;
        made.headers.imageBase = 0x140000000;
        made.headers.sizeOfImage = size;
        made.headers.sections.push_back(
            {".text", 0, size, 0, size, pe::kSectionExecutable | pe::kSectionContainsCode});
        for (std::size_t k = 0; k < kInstructions; ++k) {
            for (std::size_t offset = (k * code.size() / kInstructions + 15) & ~std::size_t{15};
                 offset + 64 < code.size(); offset += 16) {
                if (offset > 0 && code[offset - 1] == 0xCC && code[offset] != 0xCC) {
                    made.rvas.push_back(offset);
                    break;
                }
            }
        }
        // A benchmark of wrong answers is worthless: both ways must agree on every pattern.
        const sigcheck::PatternMaker narrowing(made.headers, code,
                                               sigcheck::PatternMaker::Counting::Narrowing);
        const sigcheck::PatternMaker rescanning(made.headers, code,
                                                sigcheck::PatternMaker::Counting::Rescanning);
        for (const std::uint64_t rva : made.rvas) {
            const sigcheck::MakeResult a = narrowing.make(rva);
            const sigcheck::MakeResult b = rescanning.make(rva);
            const bool same = a.has_value() == b.has_value() &&
                              (a ? a->matches == b->matches && a->elements.size() == b->elements.size() &&
                                       SDK::patternText(a->elements) == SDK::patternText(b->elements)
                                 : a.error().message == b.error().message);
            if (!same) {
                std::fprintf(stderr, "brickwright-bench: narrowing and rescanning disagree at RVA %llu\n",
                             static_cast<unsigned long long>(rva));
                std::exit(1);
            }
        }
        return made;
    }();
    return shared;
}

void makePatterns(benchmark::State& state, sigcheck::PatternMaker::Counting counting) {
    const MakeSetup& made = setup();
    const sigcheck::PatternMaker maker(made.headers, bench::image().code, counting);
    std::size_t unique = 0;
    for (auto _ : state) {
        unique = 0;
        for (const std::uint64_t rva : made.rvas) {
            const sigcheck::MakeResult result = maker.make(rva);
            unique += result && result->unique() ? 1u : 0u;
        }
        benchmark::DoNotOptimize(unique);
    }
    state.counters["instructions"] = static_cast<double>(made.rvas.size());
    state.counters["unique"] = static_cast<double>(unique);
}

BENCHMARK_CAPTURE(makePatterns, narrowing, sigcheck::PatternMaker::Counting::Narrowing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(makePatterns, rescanning, sigcheck::PatternMaker::Counting::Rescanning)
    ->Unit(benchmark::kMillisecond);

const bool registered = bench::addComparison({
    .name = "make 20 patterns (--make), narrowing vs rescanning",
    .fast = "makePatterns/narrowing",
    .reference = "makePatterns/rescanning",
    .measure = bench::Measure::Time,
});

} // namespace
