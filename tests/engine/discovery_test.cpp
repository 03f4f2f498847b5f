// The engine's tables found by their layout, in images laid out where the patterns would not put them:
// the object table's header at an odd 8-byte-aligned place of the image's data, the name table on the
// heap with only its pointer in the image, and decoys before the real ones. The image is a block of
// this process's heap described as a module image; the snapshot is the process's own.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "class_lookup.hpp"
#include "platform/os.hpp"
#include "sdk/discovery.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/readable_memory.hpp"
#include "standin/engine_world.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using SDK::Discovery::findNameTable;
using SDK::Discovery::findObjectTable;
using SDK::Layout::ObjectTable;

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// Pages that exist but cannot be read: a read of them faults.
class InaccessiblePages {
public:
    explicit InaccessiblePages(std::size_t bytes) : size_(bytes) {
#if defined(_WIN32)
        base_ = ::VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
#else
        base_ = ::mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base_ == MAP_FAILED) {
            base_ = nullptr;
        }
#endif
    }
    ~InaccessiblePages() {
#if defined(_WIN32)
        ::VirtualFree(base_, 0, MEM_RELEASE);
#else
        ::munmap(base_, size_);
#endif
    }
    InaccessiblePages(const InaccessiblePages&) = delete;
    InaccessiblePages& operator=(const InaccessiblePages&) = delete;

    void* get() const noexcept {
        return base_;
    }

private:
    void* base_ = nullptr;
    std::size_t size_;
};

// The image: zeroed, 8-aligned memory of the test's own, and its description as the platform gives it.
class Image {
public:
    explicit Image(std::size_t bytes) : words_(bytes / 8) {
        image_.base = reinterpret_cast<const std::uint8_t*>(words_.data());
        image_.size = words_.size() * 8;
        image_.spans[0] = platform::MemorySpan{image_.base, image_.size};
        image_.spanCount = 1;
    }

    void* at(std::size_t offset) { return reinterpret_cast<std::uint8_t*>(words_.data()) + offset; }

    void putPointer(std::size_t offset, const void* pointer) {
        std::memcpy(at(offset), &pointer, sizeof pointer);
    }

    const platform::ModuleImage& image() const { return image_; }

private:
    std::vector<std::uint64_t> words_;
    platform::ModuleImage image_{};
};

// A small engine world like a game's: packages, classes of the class for classes, a generated class
// and its default object, instances of several classes, empty elements among them.
struct World {
    explicit World(void* header, std::size_t instances = 300) : engine(header) {
        SDK::UObject* core = engine.addObject("/Script/CoreUObject", nullptr, nullptr);
        SDK::UObject* enginePackage = engine.addObject("/Script/Engine", nullptr, nullptr);
        classClass = static_cast<SDK::UClass*>(engine.addObject("Class", nullptr, core));
        engine.setClass(classClass, classClass);
        SDK::UObject* packageClass = engine.addObject("Package", classClass, core);
        engine.setClass(core, packageClass);
        engine.setClass(enginePackage, packageClass);
        SDK::UObject* mesh = engine.addObject("StaticMesh", classClass, enginePackage);
        SDK::UObject* generated = engine.addObject("BlueprintGeneratedClass", classClass, enginePackage);
        SDK::UObject* wall = engine.addObject("Build_Wall_C", generated, enginePackage);
        engine.addObject("Default__Build_Wall_C", wall, enginePackage);
        objects = 8 + instances;
        for (std::size_t i = 0; i < instances; ++i) {
            engine.addObject("SM_Prop" + std::to_string(i % 13), static_cast<std::int32_t>(i % 4),
                             i % 3 == 0 ? wall : mesh, enginePackage);
            if (i % 11 == 5) {
                engine.addEmptyElement();
            }
        }
    }

    standin::EngineWorld engine;
    SDK::UClass* classClass = nullptr;
    std::size_t objects = 0; // non-empty elements
};

class EngineGlobalsReset : public ::testing::Test {
protected:
    ~EngineGlobalsReset() override {
        SDK::engineNameTable = 0;
        SDK::engineObjectTable = 0;
    }
};

using TablesByLayout = EngineGlobalsReset;

TEST_F(TablesByLayout, AreFoundBehindDecoysWhereThePatternsWouldNotPutThem) {
    Image image(64 * 1024);

    // Decoy 1: a plausible header whose chunk list cannot be read.
    InaccessiblePages noAccess(64 * 1024);
    ASSERT_NE(noAccess.get(), nullptr);
    auto* unreadable = static_cast<ObjectTable*>(image.at(0x108));
    unreadable->chunks = noAccess.get();
    unreadable->count = 500;

    // Decoy 2: objects whose class chains go round in circles: no class is its own class.
    World loops(image.at(0x400), 3000);
    SDK::UObject* a = loops.engine.addObject("A", nullptr, nullptr);
    SDK::UObject* b = loops.engine.addObject("B", a, nullptr);
    loops.engine.setClass(a, b);
    loops.engine.setClass(loops.classClass, a);

    // Decoy 3: a second object that is its own class besides the class for classes. It is larger than
    // the real table, and would be the best supported if it passed.
    World twoClassClasses(image.at(0x800), 3000);
    SDK::UObject* other = twoClassClasses.engine.addObject("Class", nullptr, nullptr);
    twoClassClasses.engine.setClass(other, other);

    // The real object table at an 8-byte-aligned place that is not 16-aligned.
    World real(image.at(0x1238), 2000);
    ASSERT_GT(twoClassClasses.objects, real.objects);

    // Decoy 4: a name table that names the class for classes something else (the real table's
    // entries, but another text for the one name).
    const auto* realChunks = static_cast<void* const*>(real.engine.nameTable());
    std::vector<void*> otherChunk(SDK::Layout::kNamesPerChunk);
    std::memcpy(otherChunk.data(), realChunks[0], otherChunk.size() * sizeof(void*));
    std::vector<char> klass(SDK::Layout::kNameEntryTextOffset + 8, '\0');
    std::memcpy(klass.data() + SDK::Layout::kNameEntryTextOffset, "Klass", 5);
    otherChunk[static_cast<std::size_t>(real.classClass->nameIndex())] = klass.data();
    std::vector<void*> otherTable(standin::EngineWorld::kNameChunkCapacity, nullptr);
    otherTable[0] = otherChunk.data();
    image.putPointer(0x2000, otherTable.data());
    // The real name table on the heap; only the pointer to it lies in the image, after the decoy.
    image.putPointer(0x3ff8, real.engine.nameTable());

    SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
    ASSERT_FALSE(memory.contains(address(noAccess.get()), 1));
    const SDK::Discovery::ObjectTableFit objects = findObjectTable(image.image(), memory);
    EXPECT_EQ(objects.table, address(image.at(0x1238)));
    EXPECT_EQ(objects.classClass, address(real.classClass));
    EXPECT_EQ(objects.against, 0u);
    EXPECT_EQ(objects.supporting, real.objects);
    EXPECT_EQ(findNameTable(image.image(), memory, objects), address(real.engine.nameTable()));

    // Through initEngineGlobals: the image holds neither pattern, so both are found by their layout,
    // and the class lookup finds the class for classes through them.
    SDK::EngineTables found = SDK::initEngineGlobals(image.image());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(0x1238)));
    EXPECT_EQ(SDK::engineNameTable, address(real.engine.nameTable()));
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Layout);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Layout);
    EXPECT_EQ(SDK::detail::searchClassClass(), real.classClass);

    // Without the real ones only decoys are left, and none of them is taken.
    image.putPointer(0x3ff8, nullptr);
    std::memset(image.at(0x1238), 0, sizeof(ObjectTable));
    found = SDK::initEngineGlobals(image.image());
    EXPECT_EQ(SDK::engineObjectTable, 0u);
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::NotFound);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::NotFound);
}

TEST_F(TablesByLayout, TheBestSupportedObjectTableWinsAndATieGoesToTheLowerAddress) {
    Image image(16 * 1024);
    World smaller(image.at(0x100), 50);
    World larger(image.at(0x800), 400);
    SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
    EXPECT_EQ(findObjectTable(image.image(), memory).table, address(image.at(0x800)));

    // A copy of the larger table's header further up: the same elements, the same support.
    std::memcpy(image.at(0x1000), image.at(0x800), sizeof(ObjectTable));
    EXPECT_EQ(findObjectTable(image.image(), memory).table, address(image.at(0x800)));
    std::memcpy(image.at(0x300), image.at(0x800), sizeof(ObjectTable));
    EXPECT_EQ(findObjectTable(image.image(), memory).table, address(image.at(0x300)));
}

TEST_F(TablesByLayout, ASearchBoundsTheCandidatesItSamples) {
    // kCandidateBudget plausible headers, each with a readable chunk of empty elements, before the real
    // table: each costs a sample, and the real one would be the first past the budget.
    constexpr std::size_t kStride = 48;
    constexpr std::size_t kDecoys = SDK::Discovery::kCandidateBudget;
    Image image(kDecoys * kStride + 4096);
    std::vector<SDK::Layout::ObjectElement> emptyElements(100);
    void* chunkList[1] = {emptyElements.data()};
    for (std::size_t i = 0; i < kDecoys; ++i) {
        auto* header = static_cast<ObjectTable*>(image.at(i * kStride));
        header->chunks = chunkList;
        header->count = 100;
    }
    World real(image.at(kDecoys * kStride + 64));
    SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
    EXPECT_EQ(findObjectTable(image.image(), memory).table, 0u);

    // With one decoy fewer the budget reaches it.
    std::memset(image.at(0), 0, sizeof(ObjectTable));
    EXPECT_EQ(findObjectTable(image.image(), memory).table, address(image.at(kDecoys * kStride + 64)));
}

// The check that initEngineGlobals applies to a name table a pattern gave, against what the search
// accepts: the same tables pass, with the pointer to them anywhere in the image or nowhere.
TEST_F(TablesByLayout, ANameTableCheckedAloneIsJudgedAsTheSearchJudgesIt) {
    Image image(4096);
    World world(image.at(0x100));
    SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
    const SDK::Discovery::ObjectTableFit objects =
        SDK::Discovery::checkObjectTable(address(image.at(0x100)), memory);
    ASSERT_EQ(objects.classClass, address(world.classClass));
    const auto judged = [&](std::uintptr_t table) {
        image.putPointer(0x800, reinterpret_cast<const void*>(table));
        const bool found = findNameTable(image.image(), memory, objects) == table;
        const bool checked = SDK::Discovery::checkNameTable(table, memory, objects);
        EXPECT_EQ(found, checked) << table;
        return checked;
    };
    const std::uintptr_t real = address(world.engine.nameTable());
    EXPECT_TRUE(judged(real));
    // Without a proven object table nothing is judged good.
    EXPECT_FALSE(SDK::Discovery::checkNameTable(real, memory, SDK::Discovery::ObjectTableFit{}));

    // Junk, a table of null chunks, memory that cannot be read.
    std::vector<std::uint64_t> junk(2048, 0x5A5A5A5A5A5A5A5Au);
    EXPECT_FALSE(judged(address(junk.data())));
    std::vector<void*> nullChunks(standin::EngineWorld::kNameChunkCapacity, nullptr);
    EXPECT_FALSE(judged(address(nullChunks.data())));
    InaccessiblePages noAccess(64 * 1024);
    EXPECT_FALSE(judged(address(noAccess.get())));

    // The class for classes named otherwise ("Class" with a suffix, then after a cut), its outer named
    // otherwise, and a sampled object whose name entry is gone.
    const std::int32_t classIndex = world.classClass->nameIndex();
    world.engine.setName(world.classClass, world.engine.nameIndex("Classy"), 0);
    EXPECT_FALSE(judged(real));
    world.engine.setName(world.classClass, world.engine.nameIndex("/Script/Class"), 0);
    EXPECT_FALSE(judged(real));
    world.engine.setName(world.classClass, classIndex, 0);
    EXPECT_TRUE(judged(real));
    SDK::UObject* core = world.classClass->objectOuter();
    const std::int32_t coreIndex = core->nameIndex();
    world.engine.setName(core, world.engine.nameIndex("/Script/CoreUObjects"), 0);
    EXPECT_FALSE(judged(real));
    world.engine.setName(core, coreIndex, 0);
    ASSERT_TRUE(judged(real));
    for (std::size_t i = 0; i < 13; ++i) {
        world.engine.clearNameEntry(world.engine.nameIndex("SM_Prop" + std::to_string(i)));
    }
    EXPECT_FALSE(judged(real));
}

// Indexes on both sides of a chunk border, read by the naming, the lookup and the proof, laid out by
// the stand-in world's own arithmetic.
TEST_F(TablesByLayout, IndexesOnBothSidesOfAChunkBorderAreReadFromTheirOwnChunks) {
    static_assert(SDK::Layout::nameSlot(16383).chunkOffset == 0);
    static_assert(SDK::Layout::nameSlot(16383).offsetInChunk == 16383 * 8);
    static_assert(SDK::Layout::nameSlot(16384).chunkOffset == 8);
    static_assert(SDK::Layout::nameSlot(16384).offsetInChunk == 0);
    static_assert(SDK::Layout::objectSlot(65535).chunkOffset == 0);
    static_assert(SDK::Layout::objectSlot(65535).offsetInChunk == 65535 * 24);
    static_assert(SDK::Layout::objectSlot(65536).chunkOffset == 8);
    static_assert(SDK::Layout::objectSlot(65536).offsetInChunk == 0);

    Image image(4096);
    standin::EngineWorld engine(image.at(0x100));
    SDK::UObject* core = engine.addObject("/Script/CoreUObject", nullptr, nullptr);
    // Names 16383 and 16384 for the class for classes and its last-but-one object.
    while (engine.nameCount() < 16383) {
        engine.addNameEntry("Filler");
    }
    const std::int32_t beforeBorder = engine.addNameEntry("Class");
    const std::int32_t afterBorder = engine.addNameEntry("Package");
    ASSERT_EQ(beforeBorder, 16383);
    SDK::UObject* packageClass = engine.addObject("Package", nullptr, core);
    engine.setName(packageClass, afterBorder, 0);
    engine.setClass(core, packageClass);
    for (int i = 0; i < 20; ++i) {
        engine.addObject("/Game/Pack", i, packageClass, nullptr);
    }
    // Elements 65535 and 65536: an instance, then the class for classes.
    while (engine.objectCount() < 65535) {
        engine.addEmptyElement();
    }
    SDK::UObject* last = engine.addObject("Last", packageClass, core);
    SDK::UObject* classClass = engine.addObjectWithNameIndex(beforeBorder, 0, nullptr, core);
    engine.setClass(classClass, classClass);
    engine.setClass(packageClass, classClass);
    ASSERT_EQ(engine.objectCount(), 65537);

    SDK::ReadableMemory memory = SDK::ReadableMemory::ofProcess();
    const SDK::Discovery::ObjectTableFit objects =
        SDK::Discovery::checkObjectTable(address(image.at(0x100)), memory);
    EXPECT_EQ(objects.classClass, address(classClass));
    EXPECT_TRUE(SDK::Discovery::checkNameTable(address(engine.nameTable()), memory, objects));

    engine.install();
    EXPECT_EQ(classClass->objectName(), "Class");
    EXPECT_EQ(packageClass->objectName(), "Package");
    EXPECT_EQ(last->objectFullName(), "Package CoreUObject.Last");
    EXPECT_EQ(SDK::findObjectByFullName("Package CoreUObject.Last"), last);
    EXPECT_EQ(SDK::findObjectByFullName("Class CoreUObject.Class"), classClass);
}

TEST(ReadableMemory, RefusesEveryReadThatLeavesItsRanges) {
    std::vector<std::uint8_t> block(64, 0xAB);
    std::vector<std::uint8_t> other(64, 0xCD);
    SDK::ReadableMemory memory(
        {{block.data(), 32}, {block.data() + 16, 32}, {other.data(), 8}, {other.data(), 0}});
    ASSERT_EQ(memory.ranges().size(), 2u);
    std::uint64_t value = 7;
    EXPECT_TRUE(memory.read(address(block.data()) + 40, value));
    EXPECT_EQ(value, 0xABABABABABABABABu);
    value = 7;
    EXPECT_FALSE(memory.read(address(block.data()) + 41, value));
    EXPECT_FALSE(memory.read(address(block.data()) - 1, value));
    EXPECT_FALSE(memory.read(address(other.data()) + 1, value));
    EXPECT_FALSE(memory.read(static_cast<std::uintptr_t>(-4), value));
    EXPECT_EQ(value, 7u);
    std::uint8_t byte = 0;
    EXPECT_TRUE(memory.read(address(other.data()) + 7, byte));
    EXPECT_EQ(byte, 0xCD);
    EXPECT_FALSE(memory.read(address(other.data()) + 8, byte));
}

// The process's snapshot holds this program's stack, heap and image, and leaves out an inaccessible
// mapping; the game image's spans leave out a page made inaccessible after loading.
TEST(ReadableRanges, HoldWhatThisProcessCanReadAndNothingElse) {
    const std::vector<platform::MemorySpan> ranges = platform::readableRanges();
    ASSERT_FALSE(ranges.empty());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        EXPECT_GT(address(ranges[i].begin), address(ranges[i - 1].begin) + ranges[i - 1].size);
    }
    SDK::ReadableMemory memory(ranges);
    int local = 0;
    const auto heap = std::make_unique<int>(1);
    EXPECT_TRUE(memory.contains(address(&local), sizeof local));
    EXPECT_TRUE(memory.contains(address(heap.get()), sizeof(int)));
    EXPECT_TRUE(memory.contains(address(platform::gameModuleImage().base), 1));
    InaccessiblePages noAccess(3 * 65536);
    ASSERT_NE(noAccess.get(), nullptr);
    EXPECT_FALSE(SDK::ReadableMemory::ofProcess().contains(address(noAccess.get()) + 65536, 1));
#if defined(__linux__)
    // The kernel's [vvar] pages are mapped readable, but some of them fault when read.
    std::ifstream maps("/proc/self/maps");
    std::string line;
    bool seen = false;
    while (std::getline(maps, line)) {
        if (line.ends_with("[vvar]")) {
            seen = true;
            const std::uintptr_t begin = std::stoull(line.substr(0, line.find('-')), nullptr, 16);
            EXPECT_FALSE(memory.contains(begin, 1)) << line;
        }
    }
    EXPECT_TRUE(seen);

    // A file mapping whose file was cut short afterwards: the pages past the file's end fault.
    char path[] = "/tmp/brickwright-discovery-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    ASSERT_EQ(::ftruncate(file, static_cast<off_t>(3 * page)), 0);
    void* mapped = ::mmap(nullptr, 3 * page, PROT_READ, MAP_SHARED, file, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    ASSERT_EQ(::ftruncate(file, static_cast<off_t>(page / 2)), 0);
    SDK::ReadableMemory now = SDK::ReadableMemory::ofProcess();
    EXPECT_TRUE(now.contains(address(mapped), page));
    EXPECT_FALSE(now.contains(address(mapped) + page, 1));
    ::munmap(mapped, 3 * page);
    ::close(file);
    ::unlink(path);
#endif
}

} // namespace
