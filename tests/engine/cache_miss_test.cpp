// A first lookup that finds nothing is final for the process: null is cached like any result.
#include <gtest/gtest.h>

#include "engine_test_support.hpp"
#include "sdk/objects.hpp"

namespace {

TEST(ClassClassCache, KeepsAFirstMissEvenAfterAMatchIsAdded) {
    enginetest::InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    world.addObject("Class", 1, world.addClassClass(world.addObject("Other", nullptr, nullptr)), package);
    EXPECT_EQ(SDK::lookupClassClass(), nullptr);

    SDK::UClass* classClass = world.addClassClass(package);
    ASSERT_EQ(SDK::findObjectByFullName("Class CoreUObject.Class"), classClass);
    EXPECT_EQ(SDK::lookupClassClass(), nullptr);
    EXPECT_EQ(SDK::lookupClassClass(), nullptr);
}

} // namespace
