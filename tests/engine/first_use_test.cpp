// Tables that the engine fills after setup, on the real platform path (this executable's image is the
// game's, as in globals_process_test.cpp): setup keeps the matches, the first lookup round proves
// them, and rounds share one attempt however many lookups and threads ask.
#include <cstdint>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine_test_support.hpp"
#include "first_use.hpp"
#include "platform/os.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"
#include "standin/engine_world.hpp"
#include "standin/game_image.hpp"

namespace {

constexpr int kThreads = 6;
constexpr int kLookups = 54;

// kLookups lookups on each of kThreads threads at once; every answer.
std::vector<SDK::UClass*> lookUpFromThreads() {
    std::latch start(kThreads);
    std::vector<SDK::UClass*> answers(kThreads * kLookups, reinterpret_cast<SDK::UClass*>(1));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kLookups; ++i) {
                answers[static_cast<std::size_t>(t * kLookups + i)] = SDK::lookupClassClass();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return answers;
}

bool all(const std::vector<SDK::UClass*>& answers, const SDK::UClass* expected) {
    for (const SDK::UClass* answer : answers) {
        if (answer != expected) {
            return false;
        }
    }
    return true;
}

std::uintptr_t rva(const void* at) {
    return reinterpret_cast<std::uintptr_t>(at) -
           reinterpret_cast<std::uintptr_t>(platform::gameModuleImage().base);
}

TEST(TablesFilledAfterSetup, AreKeptThenProvenAtTheFirstRoundThatFindsThemWithOneAttemptPerRound) {
    const standin::GameImageArena arena = standin::gameImageArena();
    const standin::PlantedInstructions planted = standin::plantGameImageArena();
    standin::EngineWorld world(arena.objectTable);
    SDK::UClass* classClass = enginetest::addProvableCore(world, 40);

    // The engine has not filled its tables yet: a zero header, a null variable.
    unsigned char header[sizeof(SDK::Layout::ObjectTable)];
    std::memcpy(header, arena.objectTable, sizeof header);
    std::memset(arena.objectTable, 0, sizeof header);
    standin::setNameTableVariable(arena, nullptr);

    const SDK::EngineTables found = SDK::initEngineGlobals();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.objectTable.kept.because, SDK::KeptBecause::StillEmpty);
    EXPECT_EQ(found.objectTable.kept.firstRva, rva(planted.objectTableMatch));
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.nameTable.kept.because, SDK::KeptBecause::StillEmpty);
    EXPECT_EQ(found.nameTable.kept.firstRva, rva(planted.nameTableMatch));
    EXPECT_EQ(found.objectTable.passedOver.count + found.nameTable.passedOver.count, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);
    EXPECT_EQ(SDK::engineNameTable, 0u);

    // Round 1, still empty: every lookup null, one attempt for all of them, one warning's worth.
    const std::size_t before = SDK::detail::firstUseAttempts();
    const std::uint64_t first = SDK::startLookupRound();
    EXPECT_TRUE(all(lookUpFromThreads(), nullptr));
    EXPECT_EQ(SDK::detail::firstUseAttempts(), before + 1);
    std::optional<SDK::FirstUseReport> report = SDK::takeFirstUseReport(first);
    ASSERT_TRUE(report.has_value());
    EXPECT_FALSE(report->again);
    EXPECT_TRUE(report->objectTable.tried);
    EXPECT_EQ(report->objectTable.source, SDK::TableSource::NotFound);
    EXPECT_TRUE(report->nameTable.tried);
    EXPECT_EQ(report->nameTable.source, SDK::TableSource::NotFound);
    EXPECT_FALSE(SDK::takeFirstUseReport(first).has_value());

    // Filled within the round: the round has had its attempt, so nothing changes until the next.
    std::memcpy(arena.objectTable, header, sizeof header);
    standin::setNameTableVariable(arena, world.nameTable());
    EXPECT_TRUE(all(lookUpFromThreads(), nullptr));
    EXPECT_EQ(SDK::detail::firstUseAttempts(), before + 1);

    // Round 2 proves the kept matches; every lookup gets the class for classes.
    const std::uint64_t second = SDK::startLookupRound();
    EXPECT_FALSE(SDK::takeFirstUseReport(second).has_value());
    EXPECT_TRUE(all(lookUpFromThreads(), classClass));
    EXPECT_EQ(SDK::detail::firstUseAttempts(), before + 2);
    report = SDK::takeFirstUseReport(second);
    ASSERT_TRUE(report.has_value());
    EXPECT_TRUE(report->again);
    EXPECT_EQ(report->objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(report->objectTable.rva, rva(planted.objectTableMatch));
    EXPECT_EQ(report->nameTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(report->nameTable.rva, rva(planted.nameTableMatch));

    // What proved then is what setup would have found over the filled tables.
    const SDK::EngineTables now = SDK::findEngineTables(platform::gameModuleImage());
    EXPECT_EQ(SDK::engineObjectTable, now.objectTable.address);
    EXPECT_EQ(SDK::engineNameTable, now.nameTable.address);
    EXPECT_EQ(SDK::engineObjectTable, reinterpret_cast<std::uintptr_t>(arena.objectTable));
    EXPECT_EQ(SDK::engineNameTable, reinterpret_cast<std::uintptr_t>(world.nameTable()));

    // Proven, the lookup is the cached one: no attempt, no news, in later rounds.
    const std::uint64_t third = SDK::startLookupRound();
    EXPECT_TRUE(all(lookUpFromThreads(), classClass));
    EXPECT_EQ(SDK::detail::firstUseAttempts(), before + 2);
    EXPECT_FALSE(SDK::takeFirstUseReport(third).has_value());
    EXPECT_FALSE(SDK::detail::tablesPending());
}

} // namespace
