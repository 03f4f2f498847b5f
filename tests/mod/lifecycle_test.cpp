// The mod object's life as the host drives it: ModCreate, setup, secondaryEntry, delete; and the one
// log line through which every message goes.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include <gmock/gmock.h>

#include "mod_test_support.hpp"

namespace {

using modtest::append;
using modtest::logLineEntries;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class ModLifecycle : public modtest::LoadedModTest {};

// What setup logs before its finish line when the engine's tables are not in the image.
std::vector<std::string> setupEntries() {
    std::vector<std::string> entries{"setup"};
    if (!modtest::hasEngineWorld()) {
        append(entries, logLineEntries("Brickwright could not find the engine's name table",
                                       SML::Utility::LogType::Warning));
        append(entries, logLineEntries("Brickwright could not find the engine's object table",
                                       SML::Utility::LogType::Warning));
    }
    entries.push_back("subscribe");
    append(entries, logLineEntries("Finished Brickwright setup!"));
    return entries;
}

// What the host's delete of a mod object records: the cleanup line between the delete and the base
// destructor. The host calls and stream writes of one line are spelled out once, in logLineEntries.
std::vector<std::string> deleteEntries() {
    std::vector<std::string> entries{"delete"};
    append(entries, logLineEntries("Brickwright finished cleanup!"));
    entries.push_back("Mod::~Mod");
    return entries;
}

TEST_F(ModLifecycle, LoadingTheLibraryLogsNothingWhenItsConfigurationIsUsable) {
    EXPECT_THAT(loadEntries, IsEmpty());
}

TEST_F(ModLifecycle, ModCreateBuildsTheBaseFromTheDescriptorAndDoesNothingElse) {
    SML::Mod::Mod* mod = create();
    ASSERT_NE(mod, nullptr);
    EXPECT_THAT(standin::journal(), ElementsAreArray({"ModCreate", "Mod::Mod"}));
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 0u);

    const SML::Mod::Mod::Info& info = mod->info();
    EXPECT_EQ(info.loaderVersion, "1.0.0-pr7");
    EXPECT_EQ(info.name, "Brickwright");
    EXPECT_EQ(info.version, "0.1");
    EXPECT_EQ(info.description, "A Mod that adds Brickwright.");
    EXPECT_EQ(info.authors, "tessavoren, quillmark");
    EXPECT_THAT(info.dependencies, IsEmpty());
}

TEST_F(ModLifecycle, ModCreateTwiceGivesTwoObjectsBuiltFromTheSameDescriptorByReference) {
    SML::Mod::Mod* first = create();
    SML::Mod::Mod* second = create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(&first->info(), &second->info());
    EXPECT_THAT(standin::journal(), ElementsAreArray({"ModCreate", "Mod::Mod", "ModCreate", "Mod::Mod"}));
}

TEST_F(ModLifecycle, OneLogLineIsTheHostCallsAndStreamWritesInTheirExactOrder) {
    SML::Mod::Mod* mod = create();
    standin::clearJournal();
    destroy(mod);
    EXPECT_THAT(standin::journal(), ElementsAreArray(deleteEntries()));

    // The host headed the line in the log file; the mod wrote its text and the line end.
    standin::closeLogFile();
    const std::string log = modtest::readTextFile(scratch->path() / "host.log");
    const std::string_view rest = "] [Brickwright] [Info] Brickwright finished cleanup!\n";
    ASSERT_EQ(log.size(), std::string_view("[hh:mm:ss").size() + rest.size()) << log;
    const auto digit = [&log](std::size_t at) { return log[at] >= '0' && log[at] <= '9'; };
    EXPECT_TRUE(log[0] == '[' && digit(1) && digit(2) && log[3] == ':' && digit(4) && digit(5) &&
                log[6] == ':' && digit(7) && digit(8))
        << log;
    EXPECT_EQ(log.substr(9), rest);
}

TEST_F(ModLifecycle, DestroyingAnObjectThatWasNeverSetUpWritesOnlyTheCleanupLine) {
    SML::Mod::Mod* mod = create();
    standin::clearJournal();
    destroy(mod);
    EXPECT_THAT(standin::journal(), ElementsAreArray(deleteEntries()));
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 0u);
}

TEST_F(ModLifecycle, SecondaryEntryDoesNothingHoweverOftenItIsCalled) {
    SML::Mod::Mod* mod = create();
    standin::clearJournal();
    for (int i = 0; i < 3; ++i) {
        standin::secondaryEntry(mod);
    }
    EXPECT_THAT(standin::journal(), ElementsAreArray({"secondaryEntry", "secondaryEntry", "secondaryEntry"}));
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 0u);
    EXPECT_THAT(standin::registeredRecipes(), IsEmpty());
}

TEST_F(ModLifecycle, SetupScansSubscribesOnceAndLogsItsFinishLine) {
    SML::Mod::Mod* mod = create();
    standin::clearJournal();
    standin::setupMod(mod);
    EXPECT_THAT(standin::journal(), ElementsAreArray(setupEntries()));
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 1u);
    // Nothing is registered until a player controller begins play.
    EXPECT_THAT(standin::registeredRecipes(), IsEmpty());
}

TEST_F(ModLifecycle, ASecondSetupSubscribesASecondCallableAndBothRun) {
    SML::Mod::Mod* mod = create();
    standin::setupMod(mod);
    standin::clearJournal();
    standin::setupMod(mod);
    EXPECT_THAT(standin::journal(), ElementsAreArray(setupEntries()));
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 2u);

    SML::Objects::AFGPlayerController controller;
    standin::fireBeginPlay(&controller);
    EXPECT_EQ(standin::registeredRecipes().size(), 2 * modtest::expectedRecipePaths().size());
}

TEST_F(ModLifecycle, TheHostStopsCallingADeletedModsHandlerWhileOthersGoOn) {
    SML::Mod::Mod* first = create();
    SML::Mod::Mod* second = create();
    standin::setupMod(first);
    standin::setupMod(second);
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 2u);

    destroy(first);
    EXPECT_EQ(standin::beginPlaySubscriptionCount(), 1u);
    standin::clearJournal();
    SML::Objects::AFGPlayerController controller;
    standin::fireBeginPlay(&controller);
    const std::vector<std::string> entries = standin::journal();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "handler"), 1);
    EXPECT_EQ(standin::registeredRecipes().size(), modtest::expectedRecipePaths().size());
}

#if defined(__GNUC__)
// g++, clang and MinGW all lay out vtables by the Itanium C++ ABI: the object starts with a pointer to
// its virtual functions in declaration order, and a virtual destructor takes two slots (complete, then
// deleting). So the base's order setup, secondaryEntry, destructor is slots 0, 1, 2 and 3.
TEST_F(ModLifecycle, TheVirtualSlotsAreSetupThenSecondaryEntryThenTheDestructor) {
    using Slot = void (*)(SML::Mod::Mod*);
    SML::Mod::Mod* mod = create();
    Slot const* vtable = nullptr;
    std::memcpy(&vtable, static_cast<const void*>(mod), sizeof vtable);
    standin::clearJournal();

    vtable[1](mod);
    EXPECT_THAT(standin::journal(), IsEmpty());

    vtable[0](mod);
    std::vector<std::string> expected = setupEntries();
    expected.erase(expected.begin()); // the host did not call it: no "setup" entry
    EXPECT_THAT(standin::journal(), ElementsAreArray(expected));
    standin::clearSubscriptions();

    standin::clearJournal();
    mods.clear();
    vtable[3](mod); // deleting destructor: the mod frees its own storage
    std::vector<std::string> cleanup = deleteEntries();
    cleanup.erase(cleanup.begin()); // nor did it delete: no "delete" entry
    EXPECT_THAT(standin::journal(), ElementsAreArray(cleanup));
}
#endif

} // namespace
