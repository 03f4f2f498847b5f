// The class search allocates nothing per object it visits. This executable replaces the global
// allocation functions to count every allocation made while the search runs.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "engine_test_support.hpp"
#include "sdk/objects.hpp"

#include "allocation_counter.hpp"

namespace {

using enginetest::InstalledWorld;

// Names long enough that building them as strings would need the heap.
SDK::UObject* fill(InstalledWorld& world, int objects) {
    SDK::UObject* package =
        world.addObject("/Game/FactoryGame/Buildable/Building/Foundation", nullptr, nullptr);
    SDK::UObject* objectClass = world.addObject("/Script/Engine/BlueprintGeneratedClass", nullptr, package);
    SDK::UObject* last = nullptr;
    for (int i = 0; i < objects; ++i) {
        last = world.addObject("Build_Foundation_Concrete_8x4_C", i % 300, objectClass, package);
    }
    world.addClassClass(world.addObject("/Script/CoreUObjectX", nullptr, nullptr));
    return last;
}

TEST(ClassClassSearch, AllocatesNothingPerVisitedObject) {
    InstalledWorld world;
    constexpr int kObjects = 200000;
    const SDK::UObject* sample = fill(world, kObjects);

    // The counter sees allocations made from here.
    const long before = enginetest::allocations.load();
    ::operator delete(::operator new(16));
    ASSERT_EQ(enginetest::allocations.load() - before, 1);

    const long start = enginetest::allocations.load();
    EXPECT_EQ(SDK::detail::searchClassClass(), nullptr);
    EXPECT_EQ(SDK::findObjectByFullName("Build_Foundation_Concrete_8x4_C Foundation.Missing"), nullptr);
    const long during = enginetest::allocations.load() - start;
    EXPECT_EQ(during, 0) << "allocations during two searches over " << kObjects << " objects";

    // The plain comparison, building the full name, does allocate.
    const long referenceStart = enginetest::allocations.load();
    std::size_t length = 0;
    for (int i = 0; i < 1000; ++i) {
        length += sample->objectFullName().size();
    }
    EXPECT_EQ(
        length,
        1000 * std::string("BlueprintGeneratedClass Foundation.Build_Foundation_Concrete_8x4_C_199").size());
    EXPECT_GE(enginetest::allocations.load() - referenceStart, 1000);
}

} // namespace
