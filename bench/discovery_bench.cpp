// Finding both engine tables by their layout, against the pattern path (initEngineGlobals with both
// patterns, lookup_bench.cpp) over the same image: the shared image with a game-like engine world
// whose object table's header lies just after where the object-table pattern points and whose name
// table's address lies just after the variable the name-table pattern reads (8-aligned, as a compiler places
// such variables; the planted targets themselves need not be). The search ignores the patterns: it reads the
// whole image once for each table, takes the process's snapshot of readable ranges and walks the world's
// elements.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "code_image.hpp"
#include "comparison.hpp"
#include "platform/os.hpp"
#include "sdk/discovery.hpp"
#include "sdk/readable_memory.hpp"
#include "standin/engine_world.hpp"

namespace {

// About as many objects as the stand-in game's world, the class for classes past the first chunk.
constexpr std::size_t kObjects = 72000;

struct World {
    explicit World(void* header) : engine(header) {
        SDK::UObject* core = engine.addObject("/Script/CoreUObject", nullptr, nullptr);
        SDK::UObject* enginePackage = engine.addObject("/Script/Engine", nullptr, nullptr);
        SDK::UObject* packageClass = engine.addObject("Package", nullptr, core);
        SDK::UObject* mesh = engine.addObject("StaticMesh", nullptr, enginePackage);
        SDK::UObject* generated = engine.addObject("BlueprintGeneratedClass", nullptr, enginePackage);
        SDK::UObject* wall = engine.addObject("Build_Wall_C", generated, enginePackage);
        for (std::size_t i = 0; static_cast<std::size_t>(engine.objectCount()) < kObjects; ++i) {
            if (i == 66000) {
                classClass = engine.addClassClass(core);
            } else if (i % 7 == 3) {
                engine.addEmptyElement();
            } else {
                engine.addObject("SM_Prop" + std::to_string(i % 97), static_cast<std::int32_t>(i % 5),
                                 i % 3 == 0 ? wall : mesh, enginePackage);
            }
        }
        for (SDK::UObject* object : {packageClass, mesh, generated}) {
            engine.setClass(object, classClass);
        }
        engine.setClass(core, packageClass);
        engine.setClass(enginePackage, packageClass);
    }

    standin::EngineWorld engine;
    SDK::UClass* classClass = nullptr;
};

void discoveryBoth(benchmark::State& state) {
    const bench::Image& image = bench::image();
    if (image.nameTableVariable == nullptr || image.objectTableTarget == nullptr) {
        state.SkipWithError("the image has no room for the tables");
        return;
    }
    const auto aligned = [](std::uint8_t* at) {
        return reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(at) + 64) &
                                               ~std::uintptr_t{15});
    };
    std::uint8_t* header = aligned(image.objectTableTarget);
    std::uint8_t* variable = aligned(image.nameTableVariable);
    static const std::unique_ptr<World> world = std::make_unique<World>(header);
    const void* nameTable = world->engine.nameTable();
    std::memcpy(variable, &nameTable, sizeof nameTable);
    const platform::ModuleImage module = bench::moduleImage();

    SDK::ReadableMemory first = SDK::ReadableMemory::ofProcess();
    const SDK::Discovery::ObjectTableFit objects = SDK::Discovery::findObjectTable(module, first);
    if (objects.table != reinterpret_cast<std::uintptr_t>(header) ||
        objects.classClass != reinterpret_cast<std::uintptr_t>(world->classClass) ||
        SDK::Discovery::findNameTable(module, first, objects) !=
            reinterpret_cast<std::uintptr_t>(nameTable)) {
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
