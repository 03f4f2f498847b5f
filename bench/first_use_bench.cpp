// What the first lookup costs when setup could not prove the tables (the engine had not filled them
// yet), against today's first lookup over tables proven at setup: the kept matches proven then (a
// fresh snapshot of readable memory, both proofs), or, with none kept, both tables searched for by
// their layout over the shared image; each followed by the search for the class for classes.
#include <benchmark/benchmark.h>

#include "class_lookup.hpp"
#include "code_image.hpp"
#include "comparison.hpp"
#include "first_use.hpp"
#include "sdk/engine.hpp"

namespace {

// The planted world's tables as setup would have kept them, still empty; `kept` false: no match kept.
SDK::detail::PendingTables pendingTables(bool kept) {
    const bench::Image& image = bench::image();
    SDK::detail::PendingTables pending;
    pending.name = true;
    pending.object = true;
    pending.image = bench::moduleImage();
    if (kept) {
        pending.nameKept = true;
        pending.objectKept = true;
        pending.nameMatches.targets[0] = reinterpret_cast<std::uintptr_t>(image.nameTableVariable);
        pending.nameMatches.count = 1;
        pending.objectMatches.targets[0] = reinterpret_cast<std::uintptr_t>(image.objectTableTarget);
        pending.objectMatches.count = 1;
    }
    return pending;
}

// The attempt and the search, the globals set from what proved as the first use sets them.
SDK::UClass* firstUse(const SDK::detail::PendingTables& pending) {
    const SDK::detail::ProvenTables proven = SDK::detail::proveTables(pending);
    SDK::engineNameTable = proven.nameTable;
    SDK::engineObjectTable = proven.objectTable;
    return SDK::detail::searchClassClass();
}

void runFirstUse(benchmark::State& state, bool kept) {
    const bench::PlantedWorld* world = bench::plantedWorld();
    if (world == nullptr) {
        state.SkipWithError("the image has no room for the tables");
        return;
    }
    const SDK::detail::PendingTables pending = pendingTables(kept);
    if (reinterpret_cast<std::uintptr_t>(firstUse(pending)) != world->classClass ||
        SDK::engineObjectTable != world->objectTable) {
        state.SkipWithError("the first use did not prove the planted world's tables");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(firstUse(pending));
    }
}

void firstUseToday(benchmark::State& state) {
    const bench::PlantedWorld* world = bench::plantedWorld();
    if (world == nullptr) {
        state.SkipWithError("the image has no room for the tables");
        return;
    }
    const SDK::EngineTables found = SDK::initEngineGlobals(bench::moduleImage());
    if (found.objectTable.source != SDK::TableSource::Pattern ||
        reinterpret_cast<std::uintptr_t>(SDK::detail::searchClassClass()) != world->classClass) {
        state.SkipWithError("setup did not prove the planted world's tables");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SDK::detail::searchClassClass());
    }
}

BENCHMARK(firstUseToday)->Name("firstUse/today")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runFirstUse, kept, true)->Name("firstUse/prove")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runFirstUse, layout, false)->Name("firstUse/layout")->Unit(benchmark::kMillisecond);

// Today's first lookup is the fast column: the ratio is how many of them the first use costs.
const bool provedRegistered = bench::addComparison({
    .name = "first lookup: kept matches proven first vs today",
    .fast = "firstUse/today",
    .reference = "firstUse/prove",
    .measure = bench::Measure::Time,
});

const bool layoutRegistered = bench::addComparison({
    .name = "first lookup: tables searched by layout first vs today",
    .fast = "firstUse/today",
    .reference = "firstUse/layout",
    .measure = bench::Measure::Time,
});

} // namespace
