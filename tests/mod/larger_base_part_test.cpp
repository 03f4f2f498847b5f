// The mod on a host whose base part is 1 KiB larger than the mod's declaration of it, as the real
// loader's may be: the host's base constructor fills those bytes in the object the mod allocated and
// its destructor finds them intact. This executable and that host lie in a folder of their own, and
// the mod is the one the build puts in mods/ beside the other tests; it imports the host by name and so
// gets the one already loaded.
#include <cstddef>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "mod_test_support.hpp"
#include "sdk/objects.hpp"

namespace {

using ::testing::ElementsAreArray;

constexpr std::size_t kExtra = 1024;

std::filesystem::path builtModLibrary() {
    return modtest::executableDirectory().parent_path() / "mods" / modtest::modLibraryPath().filename();
}

// The mod's messages in the host's log file, one per line, without the headers.
std::vector<std::string> loggedMessages(const std::filesystem::path& log) {
    std::vector<std::string> messages;
    std::istringstream lines(modtest::readTextFile(log));
    const std::string head = "] [Brickwright] [Info] ";
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(head);
        if (at != std::string::npos) {
            messages.push_back(line.substr(at + head.size()));
        }
    }
    return messages;
}

TEST(LargerHostBasePart, TheModWorksAndEveryByteOfTheBasePartSurvivesUntilTheHostDeletesIt) {
    ASSERT_EQ(standin::basePartExtra(), kExtra) << "this test must run on the host with the larger base part";
    ASSERT_TRUE(modtest::hasEngineWorld());
    const standin::BasePartCounts before = standin::basePartCounts();

    modtest::ScratchDirectory scratch;
    ASSERT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
    modtest::registerWorldWithHost();
    standin::clearRegisteredRecipes();
    const auto loaded = standin::loadModLibrary(builtModLibrary());
    ASSERT_TRUE(loaded) << loaded.error().message;

    // Two objects made one right after the other: were each only as large as the declared base part,
    // the host's bytes of the first would lie where the allocator puts the second.
    SML::Mod::Mod* first = standin::createMod(*loaded);
    SML::Mod::Mod* second = standin::createMod(*loaded);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->info().name, "Brickwright");
    EXPECT_EQ(&first->info(), &second->info());

    standin::setupMod(first);
    standin::secondaryEntry(first);
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 1u);
    SML::Objects::AFGPlayerController controller;
    standin::fireBeginPlay(&controller);

    std::vector<SDK::UClass*> expected;
    for (SDK::UObject* recipe : modtest::world().recipes) {
        expected.push_back(static_cast<SDK::UClass*>(recipe));
    }
    EXPECT_EQ(expected.size(), 54u);
    EXPECT_THAT(standin::registeredRecipes(), ElementsAreArray(expected));

    // Deleted through the base pointer: the mod's deleting destructor frees what its operator new
    // allocated (a leak or a mismatched free is the sanitizers' to report).
    standin::destroyMod(second);
    standin::destroyMod(first);
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 0u);
    const standin::BasePartCounts after = standin::basePartCounts();
    EXPECT_EQ(after.built - before.built, 2u);
    EXPECT_EQ(after.destroyed - before.destroyed, 2u);
    EXPECT_EQ(after.damaged - before.damaged, 0u)
        << "the host's bytes past the declared base part were overwritten";

    EXPECT_TRUE(standin::unloadModLibrary(*loaded));
    standin::clearRegisteredRecipes();
    standin::closeLogFile();
    EXPECT_THAT(loggedMessages(scratch.path() / "host.log"),
                ElementsAreArray({"Finished Brickwright setup!", "Brickwright adding recipes...",
                                  "Brickwright Recipes added!", "Brickwright finished cleanup!",
                                  "Brickwright finished cleanup!"}));
}

} // namespace
