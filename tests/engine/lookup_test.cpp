// The search behind lookupClassClass, run uncached over well-formed and damaged object tables.
#include <climits>
#include <cstddef>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "engine_test_support.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"

namespace {

using enginetest::InstalledWorld;
using SDK::detail::searchClassClass;

// A package, a class for ordinary objects and `count` ordinary objects.
SDK::UObject* addOrdinaryObjects(InstalledWorld& world, std::size_t count) {
    SDK::UObject* engine = world.addObject("/Script/Engine", nullptr, nullptr);
    SDK::UObject* actorClass = world.addObject("Actor", nullptr, engine);
    for (std::size_t i = 0; i < count; ++i) {
        world.addObject("Actor", static_cast<std::int32_t>(i % 100), actorClass, engine);
    }
    return engine;
}

TEST(ClassClassSearch, FindsTheObjectNamedClassOfClassClassInsideCoreUObject) {
    InstalledWorld world;
    addOrdinaryObjects(world, 50);
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    world.addEmptyElement();
    SDK::UClass* classClass = world.addClassClass(package);
    addOrdinaryObjects(world, 50);
    EXPECT_EQ(searchClassClass(), classClass);
    EXPECT_EQ(SDK::findObjectByFullName("Class CoreUObject.Class"), classClass);
    const SDK::UObject* actor = SDK::findObjectByFullName("Actor Engine.Actor_7");
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(actor->nameNumber(), 7);
    EXPECT_EQ(actor->objectFullName(), "Actor Engine.Actor_7");
}

TEST(ClassClassSearch, ReturnsTheLowerIndexWhenTwoObjectsMatch) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* first = world.addClassClass(package);
    SDK::UClass* second = world.addClassClass(package);
    ASSERT_NE(first, second);
    EXPECT_EQ(searchClassClass(), first);

    // Across chunks: the earlier one lies in chunk 0, the later one in chunk 1.
    InstalledWorld big;
    addOrdinaryObjects(big, 1000);
    SDK::UObject* bigPackage = big.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* early = big.addClassClass(bigPackage);
    addOrdinaryObjects(big, SDK::Layout::kObjectsPerChunk);
    SDK::UClass* late = big.addClassClass(bigPackage);
    ASSERT_GT(big.objectCount(), static_cast<std::int32_t>(SDK::Layout::kObjectsPerChunk));
    EXPECT_EQ(searchClassClass(), early);
    EXPECT_NE(early, late);
}

TEST(ClassClassSearch, MatchesTheWholeFullNameOnly) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UObject* other = world.addObject("/Script/CoreUObjects", nullptr, nullptr);
    SDK::UClass* decoyClass = world.addClassClass(other); // "Class CoreUObjects.Class"
    world.addObject("Class", 1, decoyClass, package);     // "Class CoreUObject.Class_1": longer, same start
    world.addObject("Classes", decoyClass, package);      // "Class CoreUObject.Classes"
    world.addObject("Class", decoyClass, nullptr);        // "Class Class"
    world.addObject("class", decoyClass, package);        // case differs
    SDK::UObject* inner = world.addObject("Inner", decoyClass, package);
    world.addObject("Class", decoyClass, inner); // "Class CoreUObject.Inner.Class"
    world.addObject("Class", world.addObject("Class_1", nullptr, nullptr),
                    package);                                  // "Class_1 CoreUObject.Class"
    world.addObject("CoreUObject.Class", decoyClass, nullptr); // "Class CoreUObject.Class", one piece
    world.addObject("Class", nullptr, package);                // null class
    ASSERT_EQ(world.objectCount(), 13);

    // The one-piece name has the target's bytes: it matches, as comparing the built names would.
    EXPECT_EQ(searchClassClass(), SDK::findObjectByFullName("Class CoreUObject.Class"));
    EXPECT_NE(searchClassClass(), nullptr);
    EXPECT_EQ(searchClassClass()->objectFullName(), "Class CoreUObject.Class");
    EXPECT_EQ(searchClassClass()->objectOuter(), nullptr);
}

TEST(ClassClassSearch, FindsNothingWithoutAMatch) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    world.addObject("Class", 1, world.addClassClass(world.addObject("Other", nullptr, nullptr)), package);
    EXPECT_EQ(searchClassClass(), nullptr);
}

TEST(ClassClassSearch, WalksOnlyTheElementCount) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(package);

    world.setObjectCount(0);
    EXPECT_EQ(searchClassClass(), nullptr);
    world.setObjectCount(-5);
    EXPECT_EQ(searchClassClass(), nullptr);
    world.setObjectCount(INT_MIN);
    EXPECT_EQ(searchClassClass(), nullptr);
    world.setObjectCount(1); // the package only
    EXPECT_EQ(searchClassClass(), nullptr);
    world.setObjectCount(2);
    EXPECT_EQ(searchClassClass(), classClass);
}

TEST(ClassClassSearch, FindsNothingWhileTheObjectTableIsAbsent) {
    InstalledWorld world;
    world.addClassClass(world.addObject("/Script/CoreUObject", nullptr, nullptr));
    SDK::engineObjectTable = 0;
    EXPECT_EQ(searchClassClass(), nullptr);
    EXPECT_EQ(SDK::findObjectByFullName(""), nullptr);
}

TEST(ClassClassSearch, SkipsEmptyElementsNullChunksAndANullChunkList) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* inFirstChunk = world.addClassClass(package);
    for (std::size_t i = static_cast<std::size_t>(world.objectCount()); i < SDK::Layout::kObjectsPerChunk + 3;
         ++i) {
        world.addEmptyElement();
    }
    SDK::UClass* inSecondChunk = world.addClassClass(package);
    EXPECT_EQ(searchClassClass(), inFirstChunk);

    world.clearObjectChunk(0);
    EXPECT_EQ(searchClassClass(), inSecondChunk);

    world.clearChunkList();
    EXPECT_EQ(searchClassClass(), nullptr);
}

// The game never counts past the chunks it has allocated, and the chunk list has no length to check
// against: past its end lies memory the game did not give us. Here the chunk list holds null entries
// for the missing chunks, and the walk skips them a chunk at a time, so even the largest count ends.
TEST(ClassClassSearch, EndsWhenTheCountGoesFarBeyondTheChunksInPlace) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    addOrdinaryObjects(world, 10);
    world.setObjectCount(INT_MAX);
    EXPECT_EQ(searchClassClass(), nullptr);

    SDK::UClass* classClass = world.addClassClass(package);
    world.setObjectCount(INT_MAX);
    EXPECT_EQ(searchClassClass(), classClass);
}

TEST(ClassClassSearch, SkipsObjectsWhoseOuterChainLoops) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    world.setOuter(package, package);
    world.addClassClass(package);
    EXPECT_EQ(searchClassClass(), nullptr);

    SDK::UObject* goodPackage = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(goodPackage);
    EXPECT_EQ(searchClassClass(), classClass);
}

} // namespace
