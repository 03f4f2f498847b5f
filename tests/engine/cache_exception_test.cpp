// An exception that leaves the first search leaves the cache unbuilt: the next call searches again.
// The search itself allocates nothing and cannot throw, so the exception comes from a search put in
// its place through the cache's own entry point.
#include <new>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "engine_test_support.hpp"
#include "sdk/objects.hpp"

namespace {

int throwingCalls = 0;

SDK::UClass* throwingSearch() {
    ++throwingCalls;
    throw std::bad_alloc();
}

TEST(ClassClassCache, StaysUnbuiltWhenTheFirstSearchThrowsAndIsBuiltByTheNextOne) {
    enginetest::InstalledWorld world;
    SDK::UClass* classClass = world.addClassClass(world.addObject("/Script/CoreUObject", nullptr, nullptr));

    EXPECT_THROW(SDK::detail::cachedClassClass(&throwingSearch), std::bad_alloc);
    EXPECT_THROW(SDK::detail::cachedClassClass(&throwingSearch), std::bad_alloc);
    EXPECT_EQ(throwingCalls, 2);

    EXPECT_EQ(SDK::lookupClassClass(), classClass);

    // Built now: no search runs again, whatever is passed.
    EXPECT_EQ(SDK::detail::cachedClassClass(&throwingSearch), classClass);
    EXPECT_EQ(throwingCalls, 2);
    world.setObjectCount(0);
    EXPECT_EQ(SDK::lookupClassClass(), classClass);
}

} // namespace
