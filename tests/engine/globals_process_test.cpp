// initEngineGlobals() on the real platform path: this executable's own image is the game's. The arena
// of standin/world lies in this executable; the engine instructions are planted there at run time, and
// nothing else in the executable holds the pattern bytes (this file has no pattern test vectors).
#include <cstdint>
#include <cstring>
#include <span>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "platform/os.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"
#include "standin/engine_world.hpp"
#include "standin/game_image.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// Every match of a signature in the image's spans. The byte string is made at run time through a
// volatile view, so that no constant copy of it lies in this executable.
template <std::size_t N>
std::size_t countMatches(const SDK::Signature<N>& signature, const platform::ModuleImage& image,
                         const std::uint8_t** lowest) {
    std::uint8_t bytes[N];
    char mask[N + 1];
    const volatile SDK::PatternByte* elements = signature.elements.data();
    for (std::size_t i = 0; i < N; ++i) {
        const bool fixed = elements[i].fixed;
        bytes[i] = fixed ? elements[i].value : std::uint8_t{0};
        mask[i] = fixed ? 'x' : '?';
    }
    mask[N] = '\0';
    std::size_t count = 0;
    *lowest = nullptr;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        const std::uint8_t* begin = span.begin;
        const std::uint8_t* end = begin + span.size;
        while (const std::uint8_t* match =
                   SDK::scanForPattern(bytes, mask, begin, static_cast<std::size_t>(end - begin))) {
            if (count++ == 0) {
                *lowest = match;
            }
            begin = match + 1;
        }
    }
    return count;
}

bool covers(const platform::ModuleImage& image, std::uintptr_t p, std::size_t bytes = 1) {
    for (const platform::MemorySpan& span : image.readableSpans()) {
        if (p >= span.address() && p + bytes <= span.endAddress()) {
            return true;
        }
    }
    return false;
}

// Objects enough for the proof of the tables: nearly every class chain ends at the class for classes.
void addPackages(standin::EngineWorld& world, SDK::UObject* core, SDK::UClass* classClass) {
    SDK::UObject* packageClass = world.addObject("Package", classClass, core);
    world.setClass(core, packageClass);
    for (int i = 0; i < 40; ++i) {
        world.addObject("/Game/Pack", i, packageClass, nullptr);
    }
}

TEST(EngineGlobalsInThisProcess, AreFoundThroughThePlantedInstructionsOfTheExecutablesOwnImage) {
    const standin::GameImageArena arena = standin::gameImageArena();
    const standin::PlantedInstructions planted = standin::plantGameImageArena();
    standin::EngineWorld world(arena.objectTable);
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UObject* other = world.addObject("Class", nullptr, package);
    world.addObject("Class", 1, other, package);
    SDK::UClass* classClass = world.addClassClass(package);
    addPackages(world, package, classClass);
    standin::setNameTableVariable(arena, world.nameTable());

    SDK::initEngineGlobals();
    EXPECT_EQ(SDK::engineNameTable, address(world.nameTable()));
    EXPECT_EQ(SDK::engineObjectTable, address(arena.objectTable));
    EXPECT_EQ(SDK::detail::searchClassClass(), classClass);
    EXPECT_EQ(classClass->objectFullName(), "Class CoreUObject.Class");

    // The planted ones are the only ones (the near misses before them included), so they are the ones used.
    const platform::ModuleImage image = platform::gameModuleImage();
    const std::uint8_t* lowest = nullptr;
    EXPECT_EQ(countMatches(SDK::kNameTablePattern, image, &lowest), 1u);
    EXPECT_EQ(lowest, planted.nameTableMatch);
    EXPECT_EQ(countMatches(SDK::kObjectTablePattern, image, &lowest), 1u);
    EXPECT_EQ(lowest, planted.objectTableMatch);

    // The name table pointer is a snapshot; the object table is read where it lies.
    standin::setNameTableVariable(arena, nullptr);
    EXPECT_EQ(SDK::engineNameTable, address(world.nameTable()));
    SDK::UObject* later = world.addObject("Later", classClass, package);
    EXPECT_EQ(SDK::findObjectByFullName("Class CoreUObject.Later"), later);
    SDK::initEngineGlobals();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, address(arena.objectTable));
}

// Makes [page, page + bytes) of this image unreadable, or readable and writable again.
bool setAccess(void* page, std::size_t bytes, bool accessible) {
#if defined(_WIN32)
    DWORD previous = 0;
    return ::VirtualProtect(page, bytes, accessible ? PAGE_READWRITE : PAGE_NOACCESS, &previous) != 0;
#else
    return ::mprotect(page, bytes, accessible ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
#endif
}

TEST(EngineGlobalsInThisProcess, LeaveOutAnInaccessiblePageOfTheImage) {
    const standin::GameImageArena arena = standin::gameImageArena();
    standin::plantGameImageArena();
    standin::EngineWorld world(arena.objectTable);
    SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    addPackages(world, package, world.addClassClass(package));
    standin::setNameTableVariable(arena, world.nameTable());

    // A page between the instructions and the tables: a scan that read it would fault.
    constexpr std::size_t kPage = 64 * 1024;
    auto* page = reinterpret_cast<std::uint8_t*>((address(arena.begin) + 30 * standin::kMiB) & ~(kPage - 1));
    ASSERT_TRUE(setAccess(page, kPage, false));
    const platform::ModuleImage image = platform::gameModuleImage();
    EXPECT_FALSE(covers(image, address(page)));
    EXPECT_FALSE(covers(image, address(page) + kPage - 1));
    EXPECT_TRUE(covers(image, address(page) - 1));
    EXPECT_TRUE(covers(image, address(page) + kPage));
    const SDK::EngineTables found = SDK::initEngineGlobals();
    EXPECT_EQ(SDK::engineNameTable, address(world.nameTable()));
    EXPECT_EQ(SDK::engineObjectTable, address(arena.objectTable));
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    ASSERT_TRUE(setAccess(page, kPage, true));
    EXPECT_TRUE(covers(platform::gameModuleImage(), address(page), kPage));
}

// Things of each kind that an executable's image holds.
int codeInThisImage(int x) {
    return x * 3 + 1;
}
extern const unsigned char kReadOnlyData[64];
const unsigned char kReadOnlyData[64] = {1, 2, 3, 4, 5, 6, 7, 8};
unsigned char zeroData[4096];

TEST(ModuleImage, CoversThisExecutablesCodeDataAndUninitialisedDataInAddressOrder) {
    const platform::ModuleImage image = platform::gameModuleImage();
    const std::span<const platform::MemorySpan> spans = image.readableSpans();
    ASSERT_FALSE(spans.empty());
    ASSERT_LE(image.spanCount, image.spans.size());
    EXPECT_EQ(spans.size(), image.spanCount);
    EXPECT_EQ(image.base, spans.front().begin);
    EXPECT_EQ(address(image.base) + image.size, spans.back().endAddress());
    for (std::size_t s = 0; s < spans.size(); ++s) {
        EXPECT_GT(spans[s].size, 0u);
        if (s > 0) {
            // In order, apart, and not touching (touching spans are merged into one).
            EXPECT_GT(spans[s].address(), spans[s - 1].endAddress());
        }
    }

    EXPECT_TRUE(covers(image, reinterpret_cast<std::uintptr_t>(&codeInThisImage)));
    EXPECT_TRUE(covers(image, address(kReadOnlyData), sizeof kReadOnlyData));
    EXPECT_TRUE(covers(image, address(zeroData), sizeof zeroData));
    const standin::GameImageArena arena = standin::gameImageArena();
    EXPECT_TRUE(covers(image, address(arena.begin), arena.size));
    EXPECT_FALSE(covers(image, address(&image))); // the stack is not part of it
    EXPECT_EQ(codeInThisImage(kReadOnlyData[1]), 7);

#if defined(_WIN32)
    // One span: every page of the image is readable, SizeOfImage from its PE header.
    EXPECT_EQ(image.readableSpans().size(), 1u);
    ASSERT_EQ(std::memcmp(image.base, "MZ", 2), 0);
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, image.base + 0x3C, sizeof peOffset);
    ASSERT_EQ(std::memcmp(image.base + peOffset, "PE\0\0", 4), 0);
    std::uint32_t sizeOfImage = 0;
    std::memcpy(&sizeOfImage, image.base + peOffset + 24 + 56, sizeof sizeOfImage);
    EXPECT_EQ(image.size, sizeOfImage);
#else
    // The first loaded segment begins with the executable's ELF header.
    EXPECT_EQ(std::memcmp(image.base,
                          "\x7f"
                          "ELF",
                          4),
              0);
#endif
}

} // namespace

namespace {

TEST(ModuleImage, HandsOutOnlyTheSpansInUseAndEachSpanHoldsExactlyItsBytes) {
    std::uint8_t bytes[64] = {};
    platform::ModuleImage image;
    EXPECT_TRUE(image.readableSpans().empty());
    image.spans[0] = platform::MemorySpan{bytes, 16};
    image.spans[1] = platform::MemorySpan{bytes + 32, 32};
    image.spanCount = 1;
    ASSERT_EQ(image.readableSpans().size(), 1u);
    EXPECT_EQ(image.readableSpans().data(), image.spans.data());
    image.spanCount = 2;
    EXPECT_EQ(image.readableSpans().size(), 2u);
    // A count past the array hands out the array, never more.
    image.spanCount = image.spans.size() + 5;
    EXPECT_EQ(image.readableSpans().size(), image.spans.size());

    const platform::MemorySpan& span = image.spans[1];
    EXPECT_EQ(span.address(), address(bytes + 32));
    EXPECT_EQ(span.endAddress(), address(bytes + 64));
    EXPECT_TRUE(span.contains(address(bytes + 32), 32));
    EXPECT_TRUE(span.contains(address(bytes + 63), 1));
    EXPECT_FALSE(span.contains(address(bytes + 31), 1));
    EXPECT_FALSE(span.contains(address(bytes + 33), 32));
    EXPECT_FALSE(span.contains(address(bytes + 64), 1));
    EXPECT_FALSE(span.contains(0, 1));
    EXPECT_FALSE(span.contains(static_cast<std::uintptr_t>(-1), 1));
}

} // namespace
