// Object names and full names, read from well-formed and damaged engine tables.
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "engine_test_support.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"

namespace {

using enginetest::InstalledWorld;

std::string nameOf(InstalledWorld& world, const char* text, int number) {
    return world.addObject(text, number, nullptr, nullptr)->objectName();
}

TEST(ObjectName, AppendsTheNumberSuffixThenCutsAfterTheLastSlash) {
    InstalledWorld world;
    EXPECT_EQ(nameOf(world, "abc", 0), "abc");
    EXPECT_EQ(nameOf(world, "a/b/c", 0), "c");
    EXPECT_EQ(nameOf(world, "x/y", 3), "y_3");
    EXPECT_EQ(nameOf(world, "abc/", 0), "");
    EXPECT_EQ(nameOf(world, "abc/", 2), "_2");
    EXPECT_EQ(nameOf(world, "abc", -1), "abc");

    // The stored number itself is shown, in decimal, without sign or padding.
    EXPECT_EQ(nameOf(world, "abc", 1), "abc_1");
    EXPECT_EQ(nameOf(world, "abc", 10), "abc_10");
    EXPECT_EQ(nameOf(world, "abc", INT_MAX), "abc_2147483647");
    EXPECT_EQ(nameOf(world, "abc", INT_MIN), "abc");
    EXPECT_EQ(nameOf(world, "", 0), "");
    EXPECT_EQ(nameOf(world, "/", 5), "_5");
    EXPECT_EQ(nameOf(world, "/Script/CoreUObject", 0), "CoreUObject");
    // Only "/" cuts: full stops, spaces and backslashes are part of the name.
    EXPECT_EQ(nameOf(world, "a.b c\\d", 0), "a.b c\\d");
}

TEST(ObjectName, ReadsTheEntryInTheChunkAndPositionOfItsIndex) {
    InstalledWorld world;
    const std::size_t names = 2 * SDK::Layout::kNamesPerChunk + 10;
    for (std::size_t i = 0; i < names; ++i) {
        world.addNameEntry("n" + std::to_string(i));
    }
    for (const std::size_t index : {std::size_t{0}, std::size_t{16383}, std::size_t{16384},
                                    std::size_t{16385}, std::size_t{32767}, std::size_t{32768}, names - 1}) {
        SDK::UObject* object =
            world.addObjectWithNameIndex(static_cast<std::int32_t>(index), 0, nullptr, nullptr);
        EXPECT_EQ(object->objectName(), "n" + std::to_string(index)) << "index " << index;
    }
}

TEST(ObjectName, IsEmptyWhereTheNameTableCannotGiveOne) {
    InstalledWorld world;
    SDK::UObject* first = world.addObject("first", 0, nullptr, nullptr);
    SDK::UObject* negative = world.addObjectWithNameIndex(-1, 4, nullptr, nullptr);
    SDK::UObject* lowest = world.addObjectWithNameIndex(INT_MIN, 0, nullptr, nullptr);
    EXPECT_EQ(negative->objectName(), "");
    EXPECT_EQ(lowest->objectName(), "");

    // A null entry.
    const std::int32_t cleared = world.addNameEntry("cleared");
    SDK::UObject* nullEntry = world.addObjectWithNameIndex(cleared, 0, nullptr, nullptr);
    EXPECT_EQ(nullEntry->objectName(), "cleared");
    world.clearNameEntry(cleared);
    EXPECT_EQ(nullEntry->objectName(), "");
    EXPECT_EQ(first->objectName(), "first");

    // A null chunk: the names in it are gone, the others stay.
    for (std::size_t i = world.nameCount(); i <= SDK::Layout::kNamesPerChunk; ++i) {
        world.addNameEntry("filler");
    }
    const std::int32_t inSecond = world.addNameEntry("second chunk");
    SDK::UObject* second = world.addObjectWithNameIndex(inSecond, 0, nullptr, nullptr);
    world.clearNameChunk(0);
    EXPECT_EQ(first->objectName(), "");
    EXPECT_EQ(second->objectName(), "second chunk");

    // A chunk that was never in place reads as a null chunk pointer too.
    SDK::UObject* unplaced = world.addObjectWithNameIndex(
        static_cast<std::int32_t>(5 * SDK::Layout::kNamesPerChunk + 1), 0, nullptr, nullptr);
    EXPECT_EQ(unplaced->objectName(), "");
}

TEST(ObjectName, IsEmptyForEveryObjectWhileTheNameTableIsAbsent) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(package);
    SDK::engineNameTable = 0;
    EXPECT_EQ(package->objectName(), "");
    EXPECT_EQ(classClass->objectName(), "");
    // Every piece is empty; the separators remain.
    EXPECT_EQ(classClass->objectFullName(), " .");
    EXPECT_TRUE(classClass->hasFullName(" ."));
    EXPECT_FALSE(classClass->hasFullName("Class CoreUObject.Class"));
}

TEST(ObjectFullName, IsClassSpaceOutersFromTheOutermostThenTheName) {
    InstalledWorld world;
    SDK::UObject* k = world.addObject("K", nullptr, nullptr);
    SDK::UObject* p = world.addObject("P", k, nullptr);
    SDK::UObject* q = world.addObject("Q", k, p);
    SDK::UObject* n = world.addObject("N", k, q);
    EXPECT_EQ(n->objectFullName(), "K P.Q.N");
    EXPECT_EQ(q->objectFullName(), "K P.Q");
    EXPECT_EQ(p->objectFullName(), "K P");

    // Every piece is an objectName: cut and suffixed; the class's own outers are not part of it.
    SDK::UObject* classPackage = world.addObject("/Script/Engine", nullptr, nullptr);
    SDK::UObject* blueprint = world.addObject("/Game/Walls/BP_Wall", 0, k, classPackage);
    SDK::UObject* generated = world.addObject("/Game/Walls/BP_Wall_C", 2, blueprint, p);
    SDK::UObject* object = world.addObject("Default__BP_Wall_C", 7, generated, q);
    EXPECT_EQ(object->objectFullName(), "BP_Wall_C_2 P.Q.Default__BP_Wall_C_7");
}

TEST(ObjectFullName, OfTheClassClassIsClassCoreUObjectClass) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(package);
    EXPECT_EQ(classClass->objectClass(), classClass);
    EXPECT_EQ(classClass->objectOuter(), package);
    EXPECT_EQ(classClass->objectFullName(), "Class CoreUObject.Class");
    EXPECT_TRUE(classClass->hasFullName("Class CoreUObject.Class"));
    // The package has no class: no full name.
    EXPECT_EQ(package->objectFullName(), "");
}

TEST(ObjectFullName, IsEmptyForANullClassWhateverTheOuters) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UObject* inner = world.addObject("Inner", nullptr, package);
    SDK::UObject* object = world.addObject("Class", nullptr, inner);
    EXPECT_EQ(object->objectFullName(), "");
    EXPECT_TRUE(object->hasFullName(""));
    EXPECT_FALSE(object->hasFullName(" "));
    EXPECT_FALSE(object->hasFullName("Class CoreUObject.Inner.Class"));
}

TEST(ObjectFullName, IsEmptyWhenTheOuterChainLoopsAndNeverHangs) {
    InstalledWorld world;
    SDK::UObject* k = world.addObject("Class", nullptr, nullptr);
    world.setClass(k, k);

    // An object that is its own outer.
    SDK::UObject* self = world.addObject("CoreUObject", k, nullptr);
    world.setOuter(self, self);
    SDK::UObject* inSelf = world.addObject("Class", k, self);
    EXPECT_EQ(self->objectFullName(), "");
    EXPECT_EQ(inSelf->objectFullName(), "");
    // Cut once around the loop, it would read "Class CoreUObject.Class": it must not match.
    EXPECT_FALSE(inSelf->hasFullName("Class CoreUObject.Class"));
    EXPECT_TRUE(inSelf->hasFullName(""));

    // A tail that runs into a loop of two.
    SDK::UObject* a = world.addObject("A", k, nullptr);
    SDK::UObject* b = world.addObject("B", k, a);
    world.setOuter(a, b);
    SDK::UObject* tail = world.addObject("T", k, world.addObject("U", k, a));
    EXPECT_EQ(tail->objectFullName(), "");
    EXPECT_FALSE(tail->hasFullName("Class B.A.U.T"));

    // A long loop.
    SDK::UObject* first = world.addObject("L", k, nullptr);
    SDK::UObject* last = first;
    for (int i = 0; i < 5000; ++i) {
        last = world.addObject("L", i, k, last);
    }
    world.setOuter(first, last);
    EXPECT_EQ(last->objectFullName(), "");
    EXPECT_FALSE(last->hasFullName("Class L.L_1"));

    // A long chain without a loop is named in full.
    SDK::UObject* chain = nullptr;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        chain = world.addObject("o", k, chain);
        expected += "o.";
    }
    SDK::UObject* leaf = world.addObject("leaf", k, chain);
    EXPECT_EQ(leaf->objectFullName(), "Class " + expected + "leaf");
    EXPECT_TRUE(leaf->hasFullName("Class " + expected + "leaf"));
}

TEST(HasFullName, AnswersExactlyWhatComparingTheFullNameAnswers) {
    InstalledWorld world;
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(package);
    SDK::UObject* numbered = world.addObject("Class", 1, classClass, package);
    SDK::UObject* noOuter = world.addObject("Class", classClass, nullptr);
    const char* targets[] = {"Class CoreUObject.Class",
                             "Class CoreUObject.Class_1",
                             "Class Class",
                             "Class CoreUObject.Clas",
                             "lass CoreUObject.Class",
                             "Class CoreUObject Class",
                             "Class CoreUObjectXClass",
                             "",
                             " ",
                             "Class  CoreUObject.Class"};
    for (const SDK::UObject* object : {static_cast<SDK::UObject*>(classClass), numbered, noOuter, package}) {
        for (const char* target : targets) {
            EXPECT_EQ(object->hasFullName(target), object->objectFullName() == target)
                << '"' << object->objectFullName() << "\" against \"" << target << '"';
        }
    }
    EXPECT_TRUE(numbered->hasFullName("Class CoreUObject.Class_1"));
    EXPECT_TRUE(noOuter->hasFullName("Class Class"));
}

} // namespace
