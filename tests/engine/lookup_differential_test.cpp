// The allocation-free comparison against the plain one (build the full name, compare the strings) on
// random engine worlds: outers and outer loops, numbers, slashes, null classes, damaged names, decoys.
#include <climits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "engine_test_support.hpp"
#include "name_table.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"
#include "sdk/readable_memory.hpp"

namespace {

using enginetest::InstalledWorld;
using SDK::detail::kClassClassFullName;

const char* const kTexts[] = {"Class",
                              "CoreUObject",
                              "/Script/CoreUObject",
                              "/Script/CoreUObject/",
                              "Script/CoreUObject",
                              "Class_1",
                              "a/Class",
                              "Class/",
                              "Core",
                              "UObject",
                              "CoreUObject.Class",
                              "Class CoreUObject",
                              "Class CoreUObject.Class",
                              "Classes",
                              "lass",
                              "",
                              "/",
                              "x/y/",
                              ".",
                              " "};
const std::int32_t kNumbers[] = {0, 0, 0, 0, 0, 1, 2, 11, -1, INT_MIN, INT_MAX};

struct RandomWorld {
    InstalledWorld world;
    std::vector<SDK::UObject*> elements; // null for empty elements, in element order
    std::vector<SDK::UObject*> objects;
};

template <typename T, std::size_t N> const T& pick(std::mt19937& rng, const T (&values)[N]) {
    return values[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

bool chance(std::mt19937& rng, double p) {
    return std::bernoulli_distribution(p)(rng);
}

void add(RandomWorld& random, SDK::UObject* object) {
    random.elements.push_back(object);
    random.objects.push_back(object);
}

void build(RandomWorld& random, std::mt19937& rng) {
    auto& world = random.world;
    const int count = std::uniform_int_distribution<int>(1, 60)(rng);
    for (int i = 0; i < count; ++i) {
        if (chance(rng, 0.08)) {
            world.addEmptyElement();
            random.elements.push_back(nullptr);
        } else if (chance(rng, 0.08)) {
            // The real one, anywhere in the table (its package may be rewired below, like any object).
            SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
            add(random, package);
            add(random, world.addClassClass(package));
        } else if (chance(rng, 0.05)) {
            add(random, world.addObjectWithNameIndex(chance(rng, 0.5) ? -1 : INT_MIN, pick(rng, kNumbers),
                                                     nullptr, nullptr));
        } else {
            add(random, world.addObject(pick(rng, kTexts), pick(rng, kNumbers), nullptr, nullptr));
        }
    }
    if (random.objects.empty()) {
        add(random, world.addObject("Class", nullptr, nullptr));
    }
    auto anyObject = [&] {
        return random.objects[std::uniform_int_distribution<std::size_t>(0, random.objects.size() - 1)(rng)];
    };
    for (SDK::UObject* object : random.objects) {
        const bool classClass = object->objectClass() == object;
        if (!classClass) {
            world.setClass(object, chance(rng, 0.15) ? nullptr : anyObject());
        }
        // Mostly short chains; a loop now and then.
        if (object->objectOuter() == nullptr && !classClass && chance(rng, 0.6)) {
            world.setOuter(object, anyObject());
        }
    }
    if (chance(rng, 0.1)) {
        world.clearNameEntry(std::uniform_int_distribution<std::int32_t>(
            0, static_cast<std::int32_t>(world.nameCount()) - 1)(rng));
    }
}

SDK::UObject* referenceSearch(const RandomWorld& random, std::string_view target) {
    for (SDK::UObject* object : random.elements) {
        if (object != nullptr && object->objectFullName() == target) {
            return object;
        }
    }
    return nullptr;
}

TEST(FullNameComparison, AgreesWithComparingBuiltFullNamesOnRandomWorlds) {
    std::mt19937 rng(20240611);
    int worldsWithAMatch = 0;
    int positiveComparisons = 0;
    for (int round = 0; round < 400; ++round) {
        RandomWorld random;
        build(random, rng);

        // The search itself.
        SDK::UObject* expected = referenceSearch(random, kClassClassFullName);
        ASSERT_EQ(SDK::detail::searchClassClass(), expected) << "round " << round;
        worldsWithAMatch += expected != nullptr;

        // The comparison, against the target, the empty name, other objects' full names and near misses.
        std::vector<std::string> targets = {std::string(kClassClassFullName), "", " ",
                                            "Class CoreUObject.Class_1"};
        for (int t = 0; t < 4; ++t) {
            std::string name =
                random.objects[std::uniform_int_distribution<std::size_t>(0, random.objects.size() - 1)(rng)]
                    ->objectFullName();
            targets.push_back(name);
            if (!name.empty()) {
                targets.push_back(name.substr(1));
                targets.push_back(name.substr(0, name.size() - 1));
                std::string changed = name;
                changed[std::uniform_int_distribution<std::size_t>(0, name.size() - 1)(rng)] ^= 1;
                targets.push_back(changed);
            }
            targets.push_back(name + "_1");
            targets.push_back("x" + name);
        }
        for (const SDK::UObject* object : random.objects) {
            const std::string fullName = object->objectFullName();
            for (const std::string& target : targets) {
                const bool same = fullName == target;
                ASSERT_EQ(object->hasFullName(target), same)
                    << "round " << round << ": \"" << fullName << "\" against \"" << target << '"';
                positiveComparisons += same;
            }
        }
        for (const std::string& target : targets) {
            ASSERT_EQ(SDK::findObjectByFullName(target), referenceSearch(random, target))
                << "round " << round;
        }
    }
    // The worlds must exercise matches, not only misses.
    EXPECT_GT(worldsWithAMatch, 40);
    EXPECT_GT(positiveComparisons, 1000);
}

// An object's name read by hand, with nothing of the layer's: the chunk n / 16384 of the name
// table, the entry n mod 16384 in it, the text 16 bytes in, the number suffix, the cut after the last
// "/"; empty where the table gives no entry.
std::string handReadName(const SDK::UObject& object) {
    const auto* chunks = static_cast<const char* const*>(reinterpret_cast<const void*>(SDK::engineNameTable));
    const std::int32_t index = object.nameIndex();
    if (chunks == nullptr || index < 0) {
        return {};
    }
    const auto n = static_cast<std::size_t>(index);
    const auto* chunk = reinterpret_cast<const char* const*>(chunks[n / 16384]);
    if (chunk == nullptr || chunk[n % 16384] == nullptr) {
        return {};
    }
    std::string name = chunk[n % 16384] + 16;
    if (object.nameNumber() > 0) {
        name += "_" + std::to_string(object.nameNumber());
    }
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The one walk of the name table, through the reader that trusts the engine (naming, lookup) and
// through the checked snapshot (the proof, the search by layout), against the name read by hand.
TEST(NameTableWalk, NamesEveryObjectAsAHandReadingDoesThroughEitherReader) {
    std::mt19937 rng(20261208);
    int named = 0;
    int nameless = 0;
    for (int round = 0; round < 200; ++round) {
        RandomWorld random;
        build(random, rng);
        SDK::ReadableMemory checked = SDK::ReadableMemory::ofProcess();
        SDK::detail::TrustedMemory trusted;
        for (const SDK::UObject* object : random.objects) {
            const std::string expected = handReadName(*object);
            ASSERT_EQ(object->objectName(), expected) << "round " << round;

            const std::uintptr_t viaTrusted =
                SDK::detail::nameText(trusted, SDK::engineNameTable, object->nameIndex());
            const std::uintptr_t viaChecked =
                SDK::detail::nameText(checked, SDK::engineNameTable, object->nameIndex());
            ASSERT_EQ(viaChecked, viaTrusted) << "round " << round;
            if (viaTrusted == 0) {
                ASSERT_EQ(expected, "");
                ++nameless;
                continue;
            }
            // The naming rule alone (no suffix): the text after its last "/" begins where the hand
            // reading's does, and nothing else ending the same way matches.
            const std::string_view text(reinterpret_cast<const char*>(viaTrusted));
            const std::string_view cut = text.substr(text.rfind('/') + 1);
            const auto charAt = [&](std::size_t i) { return text[i]; };
            const std::string padded = "x" + std::string(cut);
            EXPECT_EQ(SDK::detail::nameBeginsIn(text.size(), charAt, padded, padded.size()), std::size_t{1});
            EXPECT_EQ(SDK::detail::nameBeginsIn(text.size(), charAt, cut, cut.size()), std::size_t{0});
            if (!cut.empty()) {
                EXPECT_EQ(SDK::detail::nameBeginsIn(text.size(), charAt, cut.substr(1), cut.size() - 1),
                          std::nullopt);
            }
            ++named;
        }
    }
    // Both kinds must occur: names to compare, and objects the table gives no name.
    EXPECT_GT(named, 1000);
    EXPECT_GT(nameless, 20);
}

} // namespace
