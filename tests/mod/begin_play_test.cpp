// What one player controller's BeginPlay makes the mod do: 54 recipe classes loaded and registered,
// in table order, between its two log lines.
#include <algorithm>
#include <string>

#include <gmock/gmock.h>

#include "mod_test_support.hpp"
#include "sdk/objects.hpp"

namespace {

using modtest::append;
using modtest::expectedRecipePaths;
using modtest::logLineEntries;
using ::testing::ElementsAreArray;

class BeginPlayHandler : public modtest::LoadedModTest {
protected:
    void SetUp() override {
        LoadedModTest::SetUp();
        mod = create();
        standin::setupMod(mod);
        standin::clearJournal();
    }

    // The entries of one handler run when the host resolves every path but `missing`.
    static std::vector<std::string> handlerEntries(const std::string& missing = {}) {
        const modtest::World& world = modtest::world();
        const std::string classClass = standin::describePointer(world.classClass);
        std::vector<std::string> entries{"handler"};
        append(entries, logLineEntries("Brickwright adding recipes..."));
        std::size_t nulls = 0;
        std::string firstNull;
        for (std::size_t i = 0; i < expectedRecipePaths().size(); ++i) {
            const std::string& path = expectedRecipePaths()[i];
            const SDK::UObject* recipe = path == missing ? nullptr : world.recipes[i];
            entries.push_back("loadObjectFromPak(" + classClass + ", " + path + ")");
            entries.push_back("addRecipe(" + standin::describePointer(recipe) + ")");
            if (recipe == nullptr && nulls++ == 0) {
                firstNull = path;
            }
        }
        append(entries, logLineEntries("Brickwright Recipes added!"));
        if (nulls > 0) {
            append(entries, logLineEntries("Brickwright could not load " + std::to_string(nulls) +
                                               " of 54 recipes (the first: " + firstNull + ")",
                                           SML::Utility::LogType::Warning));
        }
        return entries;
    }

    // The paths of the loadObjectFromPak entries, in order.
    static std::vector<std::string> requestedPaths(const std::vector<std::string>& entries) {
        std::vector<std::string> paths;
        for (const std::string& entry : entries) {
            if (entry.starts_with("loadObjectFromPak(")) {
                const std::size_t comma = entry.find(", ");
                paths.push_back(entry.substr(comma + 2, entry.size() - comma - 3));
            }
        }
        return paths;
    }

    SML::Mod::Mod* mod = nullptr;
    SML::Objects::AFGPlayerController controller;
};

TEST_F(BeginPlayHandler, OneBeginPlayLoadsAndAddsEveryRecipeInTableOrderBetweenTheTwoLines) {
    standin::fireBeginPlay(&controller);

    std::vector<std::string> expected{"BeginPlay"};
    append(expected, handlerEntries());
    EXPECT_THAT(standin::journal(), ElementsAreArray(expected));

    const std::vector<std::string> paths = requestedPaths(standin::journal());
    ASSERT_EQ(paths.size(), 54u);
    EXPECT_EQ(paths[19], "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall021.Recipe_BW_Wall021_C");
    EXPECT_EQ(paths[20],
              "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_PowerPlugMk1.Recipe_BW_PowerPlugMk1_C");
    EXPECT_EQ(paths[21],
              "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_PowerPlugMk2.Recipe_BW_PowerPlugMk2_C");
    EXPECT_EQ(paths[53],
              "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation029.Recipe_BW_Foundation029_C");
    EXPECT_TRUE(std::none_of(paths.begin(), paths.end(), [](const std::string& path) {
        return path.find("Wall020") != std::string::npos;
    }));

    std::vector<SDK::UClass*> expectedRecipes;
    for (SDK::UObject* recipe : modtest::world().recipes) {
        expectedRecipes.push_back(static_cast<SDK::UClass*>(recipe));
    }
    EXPECT_THAT(standin::registeredRecipes(), ElementsAreArray(expectedRecipes));
}

TEST_F(BeginPlayHandler, EveryLoadPassesOneAndTheSameClassObjectTheEnginesClassClass) {
    standin::fireBeginPlay(&controller);
    const std::string classClass = standin::describePointer(modtest::world().classClass);
    int loads = 0;
    for (const std::string& entry : standin::journal()) {
        if (entry.starts_with("loadObjectFromPak(")) {
            ++loads;
            EXPECT_TRUE(entry.starts_with("loadObjectFromPak(" + classClass + ", ")) << entry;
        }
    }
    EXPECT_EQ(loads, 54);
    if (modtest::hasEngineWorld()) {
        EXPECT_NE(modtest::world().classClass, nullptr);
    }
}

TEST_F(BeginPlayHandler, APathThatDoesNotLoadStillReachesAddRecipeAndTheLoopGoesOn) {
    if (!modtest::hasEngineWorld()) {
        GTEST_SKIP() << "without an engine world nothing loads";
    }
    const std::string missing =
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Stair002.Recipe_BW_Stair002_C";
    standin::removeLoadableObject(std::wstring(missing.begin(), missing.end()));
    standin::fireBeginPlay(&controller);

    std::vector<std::string> expected{"BeginPlay"};
    append(expected, handlerEntries(missing));
    EXPECT_THAT(standin::journal(), ElementsAreArray(expected));

    const std::vector<SDK::UClass*> recipes = standin::registeredRecipes();
    ASSERT_EQ(recipes.size(), 54u);
    EXPECT_EQ(std::count(recipes.begin(), recipes.end(), nullptr), 1);
    EXPECT_EQ(recipes[23], nullptr);
}

TEST_F(BeginPlayHandler, RecipesThatDidNotLoadAreCountedInOneWarningNamingTheFirstInTableOrder) {
    if (!modtest::hasEngineWorld()) {
        GTEST_SKIP() << "without an engine world nothing loads";
    }
    const auto path = [](const std::string& item) {
        return "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_" + item + ".Recipe_BW_" + item + "_C";
    };
    const auto closingOf = [](const std::vector<std::string>& entries) {
        const std::vector<std::string> added = logLineEntries("Brickwright Recipes added!");
        const auto at = std::search(entries.begin(), entries.end(), added.begin(), added.end());
        return std::vector<std::string>(at, entries.end());
    };
    // All loaded: the closing line is the last.
    standin::fireBeginPlay(&controller);
    EXPECT_THAT(closingOf(standin::journal()),
                ElementsAreArray(logLineEntries("Brickwright Recipes added!")));

    // Removed last one first: the warning still names the first in table order.
    for (const char* item : {"Foundation029", "Stair003", "Wall007"}) {
        const std::string missing = path(item);
        standin::removeLoadableObject(std::wstring(missing.begin(), missing.end()));
    }
    for (int run = 0; run < 2; ++run) {
        standin::clearJournal();
        standin::fireBeginPlay(&controller);
        std::vector<std::string> expected = logLineEntries("Brickwright Recipes added!");
        append(expected, logLineEntries("Brickwright could not load 3 of 54 recipes (the first: " +
                                            path("Wall007") + ")",
                                        SML::Utility::LogType::Warning));
        const std::vector<std::string> journal = standin::journal();
        EXPECT_THAT(closingOf(journal), ElementsAreArray(expected));
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "addRecipe(null)"), 3);
    }
}

TEST_F(BeginPlayHandler, AClassObjectTheEngineRefusesMakesEveryRecipeNullButChangesNothingElse) {
    standin::setClassClass(nullptr);
    standin::fireBeginPlay(&controller);
    const std::vector<SDK::UClass*> recipes = standin::registeredRecipes();
    ASSERT_EQ(recipes.size(), 54u);
    EXPECT_EQ(std::count(recipes.begin(), recipes.end(), nullptr), 54);
    const std::vector<std::string> entries = standin::journal();
    std::vector<std::string> closing = logLineEntries("Brickwright Recipes added!");
    append(closing,
           logLineEntries("Brickwright could not load 54 of 54 recipes (the first: "
                          "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall001.Recipe_BW_Wall001_C)",
                          SML::Utility::LogType::Warning));
    ASSERT_GE(entries.size(), closing.size());
    EXPECT_TRUE(std::equal(closing.begin(), closing.end(),
                           entries.end() - static_cast<std::ptrdiff_t>(closing.size())));
}

TEST_F(BeginPlayHandler, ASecondBeginPlayRegistersAllRecipesAgainInTheSameOrder) {
    standin::fireBeginPlay(&controller);
    const std::vector<std::string> first = standin::journal();
    standin::clearJournal();
    standin::fireBeginPlay(&controller);
    EXPECT_THAT(standin::journal(), ElementsAreArray(first));

    const std::vector<SDK::UClass*> recipes = standin::registeredRecipes();
    ASSERT_EQ(recipes.size(), 108u);
    EXPECT_TRUE(std::equal(recipes.begin(), recipes.begin() + 54, recipes.begin() + 54));
}

TEST_F(BeginPlayHandler, TheHandlerDoesTheSameWhateverReturnsRecordAndControllerItGets) {
    // Stand-ins for a record and a controller the handler must not even look at.
    alignas(16) unsigned char opaque[64] = {};
    auto* returns = reinterpret_cast<SML::Mod::Functions::ModReturns*>(opaque);

    standin::invokeBeginPlayHandlers(nullptr, nullptr);
    const std::vector<std::string> withNulls = standin::journal();
    EXPECT_THAT(withNulls, ElementsAreArray(handlerEntries()));

    standin::clearJournal();
    standin::invokeBeginPlayHandlers(returns, &controller);
    EXPECT_THAT(standin::journal(), ElementsAreArray(withNulls));

    standin::clearJournal();
    standin::invokeBeginPlayHandlers(nullptr, &controller);
    EXPECT_THAT(standin::journal(), ElementsAreArray(withNulls));
    EXPECT_EQ(standin::registeredRecipes().size(), 3 * 54u);
}

} // namespace
