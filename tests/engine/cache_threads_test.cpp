// Concurrent first lookups: one search runs, every caller gets its result.
#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "engine_test_support.hpp"
#include "sdk/objects.hpp"

namespace {

std::atomic<int> searches{0};

// The real search, made slow enough that the other callers arrive while it runs.
SDK::UClass* slowSearch() {
    searches.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return SDK::detail::searchClassClass();
}

TEST(ClassClassCache, RunsOneSearchForConcurrentFirstCallsAndGivesAllTheSamePointer) {
    enginetest::InstalledWorld world;
    SDK::UObject* engine = world.addObject("/Script/Engine", nullptr, nullptr);
    SDK::UObject* actor = world.addObject("Actor", nullptr, engine);
    for (int i = 0; i < 100000; ++i) {
        world.addObject("Actor", i, actor, engine);
    }
    SDK::UClass* classClass = world.addClassClass(world.addObject("/Script/CoreUObject", nullptr, nullptr));

    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<SDK::UClass*> results(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[static_cast<std::size_t>(t)] = SDK::detail::cachedClassClass(&slowSearch);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (SDK::UClass* result : results) {
        EXPECT_EQ(result, classClass);
    }
    EXPECT_EQ(searches.load(), 1);
    // lookupClassClass is the same cache: built, it searches no more.
    EXPECT_EQ(SDK::lookupClassClass(), classClass);
    EXPECT_EQ(searches.load(), 1);
}

} // namespace
