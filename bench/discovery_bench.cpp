// Finding both engine tables by their layout, against the pattern path (initEngineGlobals with both
// patterns, lookup_bench.cpp) over the same image: the shared image with a game-like engine world
// laid out where the planted instructions point (code_image.hpp). The search ignores the patterns: it
// reads the whole image once for each table, takes the process's snapshot of readable ranges and
// walks the world's elements.
#include <benchmark/benchmark.h>

#include "code_image.hpp"
#include "comparison.hpp"
#include "platform/os.hpp"
#include "sdk/discovery.hpp"
#include "sdk/readable_memory.hpp"

namespace {

void discoveryBoth(benchmark::State& state) {
    const bench::Image& image = bench::image();
    const bench::PlantedWorld* world = bench::plantedWorld();
    if (world == nullptr) {
        state.SkipWithError("the image has no room for the tables");
        return;
    }
    const platform::ModuleImage module = bench::moduleImage();

    SDK::ReadableMemory first = SDK::ReadableMemory::ofProcess();
    const SDK::Discovery::ObjectTableFit objects = SDK::Discovery::findObjectTable(module, first);
    if (objects.table != world->objectTable || objects.classClass != world->classClass ||
        SDK::Discovery::findNameTable(module, first, objects) !=
            reinterpret_cast<std::uintptr_t>(world->nameTable)) {
        state.SkipWithError("the search did not find the world's tables");
        return;
    }
    for (auto _ : state) {
        SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
        const SDK::Discovery::ObjectTableFit found = SDK::Discovery::findObjectTable(module, memory);
        benchmark::DoNotOptimize(SDK::Discovery::findNameTable(module, memory, found));
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(image.whole.size()));
}

BENCHMARK(discoveryBoth)->Name("discovery/both")->Unit(benchmark::kMillisecond);

// The pattern path is the fast column: the ratio is how many times the search by layout costs it.
const bool registered = bench::addComparison({
    .name = "pattern path vs discovery, both tables",
    .fast = "initEngineGlobals/fast",
    .reference = "discovery/both",
    .measure = bench::Measure::Time,
});

} // namespace
