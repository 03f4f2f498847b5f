// The class search over an engine world of one million objects without a match (the whole table is
// walked), allocation-free comparison against building every full name; and initEngineGlobals as a
// whole over the shared image, against the reference scans with the same resolution and against the
// same pattern path without the proof of the tables.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "class_lookup.hpp"
#include "code_image.hpp"
#include "comparison.hpp"
#include "engine_matches.hpp"
#include "reference_scan.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/objects.hpp"
#include "sdk/signature.hpp"
#include "standin/engine_world.hpp"

namespace {

constexpr int kObjects = 1000000;

// A world shaped like a game's: packages, classes whose class is a "Class" (not the one in
// CoreUObject), blueprint classes, default objects and many instances with numbers, none of them the
// target.
const standin::EngineWorld& bigWorld() {
    static const std::unique_ptr<standin::EngineWorld> world = [] {
        auto w = std::make_unique<standin::EngineWorld>();
        SDK::UObject* coreX = w->addObject("/Script/CoreUObjectEditor", nullptr, nullptr);
        SDK::UObject* classLike = w->addObject("Class", nullptr, coreX);
        w->setClass(classLike, classLike);
        std::vector<SDK::UObject*> packages;
        for (const char* package :
             {"/Script/Engine", "/Script/FactoryGame", "/Script/CoreUObject",
              "/Game/FactoryGame/Buildable/Building/Foundation", "/Game/FactoryGame/Buildable/Building/Wall",
              "/Game/FactoryGame/Recipes"}) {
            packages.push_back(w->addObject(package, classLike, nullptr));
        }
        std::vector<SDK::UObject*> classes;
        for (int i = 0; i < 2000; ++i) {
            SDK::UObject* package = packages[static_cast<std::size_t>(i) % packages.size()];
            classes.push_back(
                w->addObject("Build_Generated_" + std::to_string(i) + "_C", classLike, package));
        }
        std::vector<std::string> names;
        for (int i = 0; i < 20000; ++i) {
            // Some decoys whose comparison goes past the first bytes: names ending like the target's.
            if (i % 50 == 0) {
                names.push_back(i % 100 == 0 ? "Class" : "BlueprintGeneratedClass");
                continue;
            }
            names.push_back((i % 3 == 0   ? "Default__Build_Wall_"
                             : i % 3 == 1 ? "Recipe_Foundation_"
                                          : "Actor_") +
                            std::to_string(i));
        }
        while (w->objectCount() < kObjects) {
            const auto n = static_cast<std::size_t>(w->objectCount());
            if (n % 97 == 0) {
                w->addEmptyElement();
                continue;
            }
            SDK::UObject* objectClass = classes[n * 7919 % classes.size()];
            SDK::UObject* outer = n % 5 == 0 ? nullptr : packages[n % packages.size()];
            w->addObject(names[n * 104729 % names.size()], static_cast<std::int32_t>(n % 3 == 0 ? n % 40 : 0),
                         objectClass, outer);
        }
        return w;
    }();
    return *world;
}

// The search as the plain algorithm does it: the full name built for every object and compared.
SDK::UObject* referenceSearch(std::string_view target) {
    const auto* table = reinterpret_cast<const unsigned char*>(SDK::engineObjectTable);
    for (std::size_t i = 0;; ++i) {
        const auto count = SDK::Layout::readAt<std::int32_t>(table, SDK::Layout::kObjectTableCountOffset);
        if (count <= 0 || i >= static_cast<std::size_t>(count)) {
            return nullptr;
        }
        const auto* chunks =
            SDK::Layout::readAt<const unsigned char*>(table, SDK::Layout::kObjectTableChunksOffset);
        const SDK::Layout::Slot slot = SDK::Layout::objectSlot(i);
        const auto* chunk = SDK::Layout::readAt<const unsigned char*>(chunks, slot.chunkOffset);
        auto* object = SDK::Layout::readAt<SDK::UObject*>(chunk, slot.offsetInChunk);
        if (object != nullptr && object->objectFullName() == target) {
            return object;
        }
    }
}

void lookupFast(benchmark::State& state) {
    bigWorld().install();
    if (SDK::detail::searchClassClass() != nullptr ||
        referenceSearch(SDK::detail::kClassClassFullName) != nullptr) {
        state.SkipWithError("the world holds the target");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SDK::detail::searchClassClass());
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}

void lookupReference(benchmark::State& state) {
    bigWorld().install();
    for (auto _ : state) {
        benchmark::DoNotOptimize(referenceSearch(SDK::detail::kClassClassFullName));
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}

BENCHMARK(lookupFast)->Name("lookup/fast")->Unit(benchmark::kMillisecond);
BENCHMARK(lookupReference)->Name("lookup/reference")->Unit(benchmark::kMillisecond);

const bool lookupRegistered = bench::addComparison({
    .name = "class lookup, 1M objects, no match",
    .fast = "lookup/fast",
    .reference = "lookup/reference",
    .measure = bench::Measure::Time,
});

// Whether initEngineGlobals found, through the patterns, what the image was made to hold.
bool globalsAsPlanted(const bench::PlantedWorld& world, const SDK::EngineTables& found) {
    return SDK::engineNameTable == reinterpret_cast<std::uintptr_t>(world.nameTable) &&
           SDK::engineObjectTable == world.objectTable &&
           found.nameTable.source == SDK::TableSource::Pattern &&
           found.objectTable.source == SDK::TableSource::Pattern;
}

// The planted world, or null with the run marked skipped (a raw image file plants none).
const bench::PlantedWorld* plantedWorldOrSkip(benchmark::State& state) {
    const bench::PlantedWorld* world = bench::plantedWorld();
    if (world == nullptr) {
        state.SkipWithError("the image holds no usable matches");
    }
    return world;
}

void globalsFast(benchmark::State& state) {
    const bench::Image& image = bench::image();
    const bench::PlantedWorld* world = plantedWorldOrSkip(state);
    if (world == nullptr) {
        return;
    }
    const platform::ModuleImage module = bench::moduleImage();
    if (!globalsAsPlanted(*world, SDK::initEngineGlobals(module))) {
        state.SkipWithError("initEngineGlobals did not prove the planted instructions' tables");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SDK::initEngineGlobals(module));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(image.nameTableMatch + image.objectTableMatch));
}

// The same work with the plain masked loop: both scans from offset 0, then the two resolutions.
template <std::size_t N>
const std::uint8_t* referenceMatch(const SDK::Signature<N>& signature, const std::uint8_t* base,
                                   std::size_t size) {
    std::uint8_t bytes[N];
    char mask[N + 1];
    for (std::size_t i = 0; i < N; ++i) {
        bytes[i] = signature.elements[i].fixed ? signature.elements[i].value : std::uint8_t{0};
        mask[i] = signature.elements[i].fixed ? 'x' : '?';
    }
    mask[N] = '\0';
    return reference::scan(bytes, mask, base, size);
}

std::uintptr_t referenceTarget(const std::uint8_t* match) {
    std::uint32_t displacement = 0;
    for (int i = 3; i >= 0; --i) {
        displacement = displacement << 8 | match[SDK::kDisplacementOffset + static_cast<std::size_t>(i)];
    }
    return reinterpret_cast<std::uintptr_t>(match) + SDK::kInstructionLength + displacement;
}

void globalsReference(benchmark::State& state) {
    const bench::Image& image = bench::image();
    if (image.nameTableVariable == nullptr || image.objectTableTarget == nullptr) {
        state.SkipWithError("the image holds no usable matches");
        return;
    }
    for (auto _ : state) {
        const std::uint8_t* name =
            referenceMatch(SDK::kNameTablePattern, image.whole.data(), image.whole.size());
        const std::uint8_t* object =
            referenceMatch(SDK::kObjectTablePattern, image.whole.data(), image.whole.size());
        std::uintptr_t nameTable = 0;
        std::memcpy(&nameTable, reinterpret_cast<const void*>(referenceTarget(name)), sizeof nameTable);
        benchmark::DoNotOptimize(nameTable);
        benchmark::DoNotOptimize(referenceTarget(object));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(image.nameTableMatch + image.objectTableMatch));
}

// The pattern path as it was before every table was proven: both lowest matches, their targets, the
// name table variable read; nothing checked.
void globalsUnproven(benchmark::State& state) {
    const bench::Image& image = bench::image();
    const bench::PlantedWorld* world = plantedWorldOrSkip(state);
    if (world == nullptr) {
        return;
    }
    const platform::ModuleImage module = bench::moduleImage();
    const auto once = [&module] {
        const SDK::detail::EngineMatches matches = SDK::detail::lowestMatches(module);
        const std::uintptr_t variable = SDK::detail::matchTarget(matches.nameTable, module, sizeof(void*));
        const std::uintptr_t objectTable =
            SDK::detail::matchTarget(matches.objectTable, module, sizeof(SDK::Layout::ObjectTable));
        return std::pair{variable == 0 ? 0 : SDK::Layout::readAt<std::uintptr_t>(variable), objectTable};
    };
    if (once() != std::pair{reinterpret_cast<std::uintptr_t>(world->nameTable), world->objectTable}) {
        state.SkipWithError("the patterns did not lead to the planted tables");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(once());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(image.nameTableMatch + image.objectTableMatch));
}

BENCHMARK(globalsFast)->Name("initEngineGlobals/fast")->Unit(benchmark::kMillisecond);
BENCHMARK(globalsUnproven)->Name("initEngineGlobals/unproven")->Unit(benchmark::kMillisecond);
BENCHMARK(globalsReference)->Name("initEngineGlobals/reference")->Unit(benchmark::kMillisecond);

const bool globalsRegistered = bench::addComparison({
    .name = "initEngineGlobals, both patterns",
    .fast = "initEngineGlobals/fast",
    .reference = "initEngineGlobals/reference",
    .measure = bench::Measure::Time,
});

// What the proof of both tables costs: ratio = proven time / unproven time.
const bool proofRegistered = bench::addComparison({
    .name = "pattern path: proven vs unproven",
    .fast = "initEngineGlobals/unproven",
    .reference = "initEngineGlobals/fast",
    .measure = bench::Measure::Time,
});

} // namespace
