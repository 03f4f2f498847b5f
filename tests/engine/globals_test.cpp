// initEngineGlobals over images laid out by hand: which match is used, how its displacement is read,
// what each global holds, what happens without a usable match, and how a match whose table fails the
// proof is passed over.
//
// An image here is an 81 MiB zeroed reservation (its pages cost nothing until touched) described by a
// few small spans: the code, and the places where the instructions' targets lie. The tables the
// instructions lead to are small engine worlds: a copy of a world's object table header lies where the
// object-table instruction points, the name table variable holds the world's name table.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "engine_test_support.hpp"
#include "platform/os.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "standin/engine_world.hpp"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kReserve = 81 * kMiB;

class Image {
public:
    Image() : base_(static_cast<std::uint8_t*>(std::calloc(1, kReserve))) {}
    ~Image() { std::free(base_); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    std::uint8_t* at(std::size_t offset) { return base_ + offset; }

    // Spans must be added lowest first, as the platform layer gives them.
    Image& span(std::size_t offset, std::size_t size) {
        image_.spans[image_.spanCount++] = platform::MemorySpan{base_ + offset, size};
        image_.base = base_;
        image_.size = offset + size;
        return *this;
    }

    const platform::ModuleImage& image() const { return image_; }

    SDK::EngineTables init() { return SDK::initEngineGlobals(image_); }

private:
    std::uint8_t* base_;
    platform::ModuleImage image_{};
};

void put(std::uint8_t* at, std::initializer_list<std::uint8_t> bytes) {
    std::memcpy(at, bytes.begin(), bytes.size());
}

void putDisplacement(std::uint8_t* at, std::uint32_t displacement) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(displacement >> (8 * i));
    }
}

// 48 8B 05 <disp32> 48 85 C0 0F 85 B0: the name table pattern.
void putNameTableLoad(std::uint8_t* at, std::uint32_t displacement) {
    put(at, {0x48, 0x8B, 0x05, 0, 0, 0, 0, 0x48, 0x85, 0xC0, 0x0F, 0x85, 0xB0});
    putDisplacement(at + 3, displacement);
}

// 48 8D 0D <disp32> E8 ?? ?? ?? 00 E8 ?? ?? ?? 00 E8 ?? ?? ?? 01: the object table pattern.
void putObjectTableLea(std::uint8_t* at, std::uint32_t displacement, std::uint8_t wildcard = 0x5C) {
    put(at, {0x48, 0x8D, 0x0D,     0,    0,    0,    0,    0xE8, wildcard, wildcard, wildcard,
             0x00, 0xE8, wildcard, 0xFF, 0x00, 0x00, 0xE8, 0x00, wildcard, 0xFF,     0x01});
    putDisplacement(at + 3, displacement);
}

void putPointer(std::uint8_t* at, std::uint64_t value) {
    std::memcpy(at, &value, sizeof value);
}

std::uint64_t readPointer(const std::uint8_t* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uintptr_t address(const std::uint8_t* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// A world that passes the proof: every class chain ends at the class for classes, which is named
// "Class" inside "/Script/CoreUObject".
class ProvableWorld {
public:
    ProvableWorld() { enginetest::addProvableCore(engine_, 12); }

    // The header's bytes at `at`, which need not be aligned; the chunk list stays the world's.
    void copyHeaderTo(std::uint8_t* at) const {
        std::memcpy(at, engine_.objectTable(), sizeof(SDK::Layout::ObjectTable));
    }
    std::uint64_t nameTable() const { return reinterpret_cast<std::uintptr_t>(engine_.nameTable()); }

private:
    standin::EngineWorld engine_;
};

class EngineGlobals : public ::testing::Test {
protected:
    void TearDown() override {
        SDK::engineNameTable = 0;
        SDK::engineObjectTable = 0;
    }
};

TEST_F(EngineGlobals, ReadTheDisplacementLittleEndianFromSevenBytesPastTheMatch) {
    Image image;
    // Only the top byte (at match + 6) is fixed; read the other way round the target would lie far
    // outside the image.
    const ProvableWorld world;
    putNameTableLoad(image.at(100), 0x03123456);
    const std::size_t variable = 100 + 7 + 0x03123456;
    putPointer(image.at(variable), world.nameTable());
    putObjectTableLea(image.at(200), 0x04ABCDEF);
    const std::size_t table = 200 + 7 + 0x04ABCDEF;
    world.copyHeaderTo(image.at(table));
    image.span(0, 4096).span(variable - 64, 128).span(table - 64, 4096);
    const SDK::EngineTables found = image.init();
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(table)));
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.nameTable.passedOver.count + found.objectTable.passedOver.count, 0u);
}

TEST_F(EngineGlobals, HoldASnapshotOfTheNameTableVariableAndTheObjectTableAddress) {
    Image image;
    putNameTableLoad(image.at(0), 0x03000000);
    putObjectTableLea(image.at(64), 0x04000000);
    const std::size_t variable = 0 + 7 + 0x03000000;
    const std::size_t table = 64 + 7 + 0x04000000;
    const ProvableWorld world;
    putPointer(image.at(variable), world.nameTable());
    world.copyHeaderTo(image.at(table));
    image.span(0, 4096).span(variable, 8).span(table, 64);
    image.init();
    // Name-table pattern: the value stored in the variable; object-table pattern: the target itself, not
    // what it holds.
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(table)));

    // A later change of the variable is not seen.
    putPointer(image.at(variable), 0x1111111111111111u);
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(readPointer(image.at(variable)), 0x1111111111111111u);
}

TEST_F(EngineGlobals, UseTheLowestMatchInTheImage) {
    Image image;
    // Two of each in the first span; the lower ones point at variable A and table A.
    putNameTableLoad(image.at(300), 0x03200000);
    putNameTableLoad(image.at(100), 0x03100000);
    putObjectTableLea(image.at(500), 0x04200000);
    putObjectTableLea(image.at(400), 0x04100000);
    const std::size_t variableA = 100 + 7 + 0x03100000;
    const std::size_t variableB = 300 + 7 + 0x03200000;
    const std::size_t tableA = 400 + 7 + 0x04100000;
    const ProvableWorld a;
    const ProvableWorld b;
    const ProvableWorld c;
    putPointer(image.at(variableA), a.nameTable());
    putPointer(image.at(variableB), b.nameTable());
    a.copyHeaderTo(image.at(tableA));
    b.copyHeaderTo(image.at(500 + 7 + 0x04200000));
    // And one of each in a later span.
    putNameTableLoad(image.at(8192), 0x03000000);
    putObjectTableLea(image.at(8192 + 64), 0x04000000);
    putPointer(image.at(8192 + 7 + 0x03000000), c.nameTable());
    c.copyHeaderTo(image.at(8192 + 64 + 7 + 0x04000000));
    image.span(0, 4096)
        .span(8192, 4096)
        .span(8192 + 7 + 0x03000000, 8)
        .span(variableA, 8)
        .span(variableB, 8)
        .span(8192 + 64 + 7 + 0x04000000, 64)
        .span(tableA, 64)
        .span(500 + 7 + 0x04200000, 64);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, a.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(tableA)));

    // Without matches in the first span, the later span's are used.
    std::memset(image.at(0), 0x90, 4096);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, c.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(8192 + 64 + 7 + 0x04000000)));
}

TEST_F(EngineGlobals, IgnoreNearMissesOnTheFixedBytes) {
    Image image;
    const std::size_t variable = 7 + 0x03000000;
    image.span(0, 4096).span(variable - 4096, 8192).span(64 + 7 + 0x04000000, 4096);
    const ProvableWorld world;
    putPointer(image.at(variable), world.nameTable());
    world.copyHeaderTo(image.at(64 + 7 + 0x04000000));
    // (Neither table is where the search by layout looks: both addresses are odd.)

    putNameTableLoad(image.at(0), 0x02FFFFFF);
    putObjectTableLea(image.at(64), 0x03FFFFFF);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    putNameTableLoad(image.at(0), 0x05000000);
    putObjectTableLea(image.at(64), 0x05000000);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    // The last call offset's top byte 00 instead of 01, the jump offset's low byte B1 instead of B0.
    putNameTableLoad(image.at(0), 0x03000000);
    image.at(12)[0] = 0xB1;
    putObjectTableLea(image.at(64), 0x04000000);
    image.at(64 + 21)[0] = 0x00;
    image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    // Mended, both are found; every byte value at the wildcards is accepted.
    image.at(12)[0] = 0xB0;
    image.at(64 + 21)[0] = 0x01;
    image.init();
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(64 + 7 + 0x04000000)));
    for (const int wildcard : {0x00, 0x01, 0x48, 0x7F, 0x80, 0xE8, 0xFF}) {
        putObjectTableLea(image.at(64), 0x04000000, static_cast<std::uint8_t>(wildcard));
        image.init();
        EXPECT_EQ(SDK::engineObjectTable, address(image.at(64 + 7 + 0x04000000))) << wildcard;
    }
}

TEST_F(EngineGlobals, StayZeroWithoutAMatchAndAreResetByEveryCall) {
    Image image;
    putNameTableLoad(image.at(0), 0x03000000);
    putObjectTableLea(image.at(64), 0x04000000);
    const ProvableWorld world;
    putPointer(image.at(7 + 0x03000000), world.nameTable());
    world.copyHeaderTo(image.at(64 + 7 + 0x04000000));
    image.span(0, 4096).span(7 + 0x03000000, 8).span(64 + 7 + 0x04000000, 64);
    image.init();
    ASSERT_EQ(SDK::engineNameTable, world.nameTable());
    ASSERT_NE(SDK::engineObjectTable, 0u);

    // The same image with the instructions gone.
    std::memset(image.at(0), 0xCC, 4096);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    // No image at all (a failed module query).
    SDK::engineNameTable = 1;
    SDK::engineObjectTable = 1;
    SDK::initEngineGlobals(platform::ModuleImage{});
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);
}

TEST_F(EngineGlobals, TreatATargetOutsideTheImageAsNoMatch) {
    Image image;
    putNameTableLoad(image.at(0), 0x03000000);
    putObjectTableLea(image.at(64), 0x04000000);
    const std::size_t variable = 7 + 0x03000000;
    const std::size_t table = 64 + 7 + 0x04000000;
    const ProvableWorld world;
    putPointer(image.at(variable), world.nameTable());
    world.copyHeaderTo(image.at(table));

    // Neither target in a span: nothing is read there.
    image.span(0, 4096);
    image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    // The variable needs all 8 bytes, the object table's header all of its 40.
    Image partial;
    putNameTableLoad(partial.at(0), 0x03000000);
    putObjectTableLea(partial.at(64), 0x04000000);
    putPointer(partial.at(variable), world.nameTable());
    world.copyHeaderTo(partial.at(table));
    partial.span(0, 4096).span(variable - 100, 107).span(table - 100, 139);
    partial.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);

    Image whole;
    putNameTableLoad(whole.at(0), 0x03000000);
    putObjectTableLea(whole.at(64), 0x04000000);
    putPointer(whole.at(variable), world.nameTable());
    world.copyHeaderTo(whole.at(table));
    whole.span(0, 4096).span(variable - 100, 108).span(table - 100, 140);
    whole.init();
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(whole.at(table)));
}

TEST_F(EngineGlobals, FindAMatchEndingOnASpansLastByteButNotOneSplitBetweenSpans) {
    Image image;
    // The name-table pattern ends on the code span's last byte.
    putNameTableLoad(image.at(4096 - 13), 0x03000000);
    const std::size_t variable = 4096 - 13 + 7 + 0x03000000;
    const ProvableWorld world;
    putPointer(image.at(variable), world.nameTable());
    world.copyHeaderTo(image.at(8192 - 10 + 7 + 0x04000000));
    // The object-table pattern lies across two spans that do not touch (its byte at offset 10 is outside
    // both).
    putObjectTableLea(image.at(8192 - 10), 0x04000000);
    image.span(0, 4096).span(4096 + 64, 8192 - 4096 - 64).span(8192 + 1, 4096).span(variable, 8);
    image.span(8192 - 10 + 7 + 0x04000000, 64);
    image.init();
    // Without an object table the name table cannot be proven: the pattern's name table is not used.
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);
}

} // namespace

namespace {

// An object table header of the engine's shape whose elements point at junk: count and chunk list
// agree, the objects do not.
class JunkTable {
public:
    JunkTable() : elements_(kCount * SDK::Layout::kObjectElementSize / 8), chunkList_(1) {
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            elements_[i] = 0xA5A5A5A5A5A5A5A5u ^ (i * 0x9E3779B97F4A7C15u);
        }
        chunkList_[0] = reinterpret_cast<std::uintptr_t>(elements_.data());
    }

    void copyHeaderTo(std::uint8_t* at) const {
        SDK::Layout::ObjectTable header{};
        header.chunks = const_cast<std::uint64_t*>(chunkList_.data());
        header.count = static_cast<std::int32_t>(kCount);
        std::memcpy(at, &header, sizeof header);
    }

private:
    static constexpr std::size_t kCount = 100;
    std::vector<std::uint64_t> elements_;
    std::vector<std::uint64_t> chunkList_;
};

TEST_F(EngineGlobals, PassOverMatchesWhoseTablesFailTheProofForTheNextInAddressOrder) {
    Image image;
    const ProvableWorld world;
    const JunkTable junk;
    std::vector<std::uint64_t> junkNames(64, 0x4242424242424242u);
    // Below the real instructions: a name-table load whose variable points at junk, one whose variable
    // is null, and one whose variable lies outside the image; an object-table lea to a junk header.
    putNameTableLoad(image.at(100), 0x03100000);
    putPointer(image.at(100 + 7 + 0x03100000), reinterpret_cast<std::uintptr_t>(junkNames.data()));
    putNameTableLoad(image.at(200), 0x03200000);
    putNameTableLoad(image.at(300), 0x03300000);
    putObjectTableLea(image.at(400), 0x04100000);
    junk.copyHeaderTo(image.at(400 + 7 + 0x04100000));
    // The real ones.
    putNameTableLoad(image.at(1000), 0x03000000);
    putPointer(image.at(1000 + 7 + 0x03000000), world.nameTable());
    putObjectTableLea(image.at(1100), 0x04000000);
    world.copyHeaderTo(image.at(1100 + 7 + 0x04000000));
    image.span(0, 4096)
        .span(1000 + 7 + 0x03000000, 8)
        .span(100 + 7 + 0x03100000, 8)
        .span(200 + 7 + 0x03200000, 8)
        .span(1100 + 7 + 0x04000000, 64)
        .span(400 + 7 + 0x04100000, 64);
    SDK::EngineTables found = image.init();
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(1100 + 7 + 0x04000000)));
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.nameTable.passedOver.count, 3u);
    EXPECT_EQ(found.nameTable.passedOver.firstRva, 100u);
    EXPECT_EQ(found.objectTable.passedOver.count, 1u);
    EXPECT_EQ(found.objectTable.passedOver.firstRva, 400u);

    // Without the real instructions nothing the look-alikes lead to is used: both tables lie where the
    // search by layout does not look (odd addresses, no pointer in the image), so neither is found.
    std::memset(image.at(1000), 0xCC, 200);
    found = image.init();
    EXPECT_EQ(SDK::engineNameTable, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::NotFound);
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::NotFound);
    // The name table is never judged without an object table.
    EXPECT_EQ(found.nameTable.passedOver.count, 0u);
    EXPECT_EQ(found.objectTable.passedOver.count, 1u);
}

TEST_F(EngineGlobals, TrySixteenMatchesOfAPatternAtMostThenSearchByLayout) {
    Image image;
    const ProvableWorld world;
    const JunkTable junk;
    constexpr std::size_t kSpacing = 64;
    // Seventeen look-alikes, then the real instruction, whose table lies 8-aligned in the image where
    // the search by layout finds it; the name table variable likewise.
    const auto putLookAlikes = [&](std::size_t count) {
        std::memset(image.at(0), 0xCC, 4096);
        for (std::size_t i = 0; i < count; ++i) {
            putObjectTableLea(image.at(i * kSpacing), 0x04000000);
            junk.copyHeaderTo(image.at(i * kSpacing + 7 + 0x04000000));
        }
        putObjectTableLea(image.at(count * kSpacing), 0x04000000 + 1);
        world.copyHeaderTo(image.at(count * kSpacing + 7 + 0x04000000 + 1));
        putNameTableLoad(image.at(2048), 0x03000000 + 1);
        putPointer(image.at(2048 + 7 + 0x03000000 + 1), world.nameTable());
    };
    static_assert((17 * kSpacing + 8) % 8 == 0 && (2048 + 8) % 8 == 0);
    image.span(0, 4096).span(2048 + 8 + 0x03000000, 8).span(0x04000000, 4096);

    putLookAlikes(17);
    SDK::EngineTables found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Layout);
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(17 * kSpacing + 8 + 0x04000000)));
    EXPECT_EQ(found.objectTable.passedOver.count, SDK::kMatchesTried);
    EXPECT_EQ(found.objectTable.passedOver.firstRva, 0u);
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());

    // One look-alike fewer: the real instruction is the sixteenth match.
    putLookAlikes(15);
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(15 * kSpacing + 8 + 0x04000000)));
    EXPECT_EQ(found.objectTable.passedOver.count, 15u);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Pattern);
}

} // namespace

namespace {

// What one table of the result holds, for a comparison that names every field when it fails.
testing::AssertionResult isFound(const SDK::FoundTable& found, std::uintptr_t address,
                                 SDK::TableSource source, std::size_t passedOver,
                                 std::uintptr_t firstRva = 0) {
    if (found.address == address && found.source == source && found.passedOver.count == passedOver &&
        (passedOver == 0 || found.passedOver.firstRva == firstRva)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "address " << found.address << " (want " << address << "), source "
           << static_cast<int>(found.source) << " (want " << static_cast<int>(source) << "), passed over "
           << found.passedOver.count << " from RVA " << found.passedOver.firstRva << " (want " << passedOver
           << " from " << firstRva << ")";
}

TEST_F(EngineGlobals, ReportEachTableByPatternAfterPassingOverByLayoutOrNotFoundInOneValue) {
    Image image;
    const ProvableWorld world;
    const JunkTable junk;
    std::vector<std::uint64_t> junkNames(64, 0x4242424242424242u);
    // The real instructions lead to 8-aligned places, where the search by layout finds the tables too.
    constexpr std::size_t kVariable = 2048 + 8 + 0x03000000;
    constexpr std::size_t kTable = 1024 + 8 + 0x04000000;
    const auto putReal = [&] {
        putObjectTableLea(image.at(1024), 0x04000000 + 1);
        putNameTableLoad(image.at(2048), 0x03000000 + 1);
    };
    putReal();
    world.copyHeaderTo(image.at(kTable));
    putPointer(image.at(kVariable), world.nameTable());
    image.span(0, 4096).span(0x03000000, 4096).span(0x04000000, 4096);
    const std::uintptr_t table = address(image.at(kTable));

    // Through both patterns, nothing passed over; the globals are the result's addresses.
    SDK::EngineTables found = image.init();
    EXPECT_TRUE(isFound(found.objectTable, table, SDK::TableSource::Pattern, 0));
    EXPECT_TRUE(isFound(found.nameTable, world.nameTable(), SDK::TableSource::Pattern, 0));
    EXPECT_EQ(SDK::engineObjectTable, table);
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());

    // Look-alikes below the real instructions (their targets odd, where the search by layout does not
    // look): each passed over, then the real one's table taken.
    putObjectTableLea(image.at(64), 0x04000000);
    junk.copyHeaderTo(image.at(64 + 7 + 0x04000000));
    putNameTableLoad(image.at(128), 0x03000000);
    putPointer(image.at(128 + 7 + 0x03000000), address(reinterpret_cast<std::uint8_t*>(junkNames.data())));
    found = image.init();
    EXPECT_TRUE(isFound(found.objectTable, table, SDK::TableSource::Pattern, 1, 64));
    EXPECT_TRUE(isFound(found.nameTable, world.nameTable(), SDK::TableSource::Pattern, 1, 128));

    // Only the object table's real instruction gone: that table by its layout, the name table still
    // by its pattern.
    std::memset(image.at(1024), 0xCC, 22);
    found = image.init();
    EXPECT_TRUE(isFound(found.objectTable, table, SDK::TableSource::Layout, 1, 64));
    EXPECT_TRUE(isFound(found.nameTable, world.nameTable(), SDK::TableSource::Pattern, 1, 128));

    // Both real instructions gone: both look-alikes passed over, both tables by their layout.
    std::memset(image.at(2048), 0xCC, 13);
    found = image.init();
    EXPECT_TRUE(isFound(found.objectTable, table, SDK::TableSource::Layout, 1, 64));
    EXPECT_TRUE(isFound(found.nameTable, world.nameTable(), SDK::TableSource::Layout, 1, 128));
    EXPECT_EQ(SDK::engineObjectTable, table);
    EXPECT_EQ(SDK::engineNameTable, world.nameTable());

    // The object table gone too: not found, its look-alike passed over; the name table not found and
    // not judged, nothing passed over. The globals follow.
    std::memset(image.at(kTable), 0, sizeof(SDK::Layout::ObjectTable));
    found = image.init();
    EXPECT_TRUE(isFound(found.objectTable, 0, SDK::TableSource::NotFound, 1, 64));
    EXPECT_TRUE(isFound(found.nameTable, 0, SDK::TableSource::NotFound, 0));
    EXPECT_EQ(SDK::engineObjectTable, 0u);
    EXPECT_EQ(SDK::engineNameTable, 0u);

    // findEngineTables computes the same value and leaves the globals alone.
    world.copyHeaderTo(image.at(kTable));
    putReal();
    SDK::engineNameTable = 1;
    SDK::engineObjectTable = 2;
    found = SDK::findEngineTables(image.image());
    EXPECT_TRUE(isFound(found.objectTable, table, SDK::TableSource::Pattern, 1, 64));
    EXPECT_TRUE(isFound(found.nameTable, world.nameTable(), SDK::TableSource::Pattern, 1, 128));
    EXPECT_EQ(SDK::engineNameTable, 1u);
    EXPECT_EQ(SDK::engineObjectTable, 2u);
}

} // namespace

namespace {

// Not yet filled is not wrong: a header with no elements or no chunk list, a null variable.
TEST_F(EngineGlobals, KeepMatchesWhoseTablesAreStillEmptyAndPassOverOnesThatAreFilledButWrong) {
    Image image;
    const ProvableWorld world;
    const JunkTable junk;
    constexpr std::size_t kVariable = 2048 + 7 + 0x03000000;
    constexpr std::size_t kTable = 1024 + 7 + 0x04000000;
    putObjectTableLea(image.at(1024), 0x04000000);
    putNameTableLoad(image.at(2048), 0x03000000);
    putPointer(image.at(kVariable), world.nameTable());
    image.span(0, 4096).span(kVariable, 8).span(kTable, 64);
    const auto header = [&](std::int32_t count, bool chunks) {
        world.copyHeaderTo(image.at(kTable));
        std::memcpy(image.at(kTable + SDK::Layout::kObjectTableCountOffset), &count, sizeof count);
        if (!chunks) {
            putPointer(image.at(kTable + SDK::Layout::kObjectTableChunksOffset), 0);
        }
    };

    // No elements yet: kept, and so is the name table, which nothing can judge before it.
    header(0, true);
    SDK::EngineTables found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.objectTable.kept.count, 1u);
    EXPECT_EQ(found.objectTable.kept.firstRva, 1024u);
    EXPECT_EQ(found.objectTable.kept.targets[0], address(image.at(kTable)));
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.nameTable.kept.because, SDK::KeptBecause::ObjectTableStillEmpty);
    EXPECT_EQ(found.nameTable.kept.targets[0], address(image.at(kVariable)));
    EXPECT_EQ(found.objectTable.passedOver.count + found.nameTable.passedOver.count, 0u);
    EXPECT_EQ(SDK::engineObjectTable, 0u);
    EXPECT_EQ(SDK::engineNameTable, 0u);

    // A count but no chunk list yet: kept; the variable null as well: the name table still empty.
    header(12, false);
    putPointer(image.at(kVariable), 0);
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.nameTable.kept.because, SDK::KeptBecause::StillEmpty);

    // A negative count with a chunk list is filled, and wrong: passed over as before, and the search
    // by layout (which cannot reach the odd address) finds nothing.
    header(-5, true);
    putPointer(image.at(kVariable), world.nameTable());
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::NotFound);
    EXPECT_EQ(found.objectTable.passedOver.count, 1u);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::NotFound);

    // The object table proven, the name table's variable null: only the name table is kept.
    header(12, true);
    putPointer(image.at(kVariable), 0);
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.nameTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.nameTable.kept.because, SDK::KeptBecause::StillEmpty);
    EXPECT_EQ(SDK::engineObjectTable, address(image.at(kTable)));
    EXPECT_EQ(SDK::engineNameTable, 0u);

    // A still-empty match below a junk one and the real one: once the real one proves, both below it
    // were passed over, the lowest first.
    putPointer(image.at(kVariable), world.nameTable());
    putObjectTableLea(image.at(64), 0x04100000);
    putObjectTableLea(image.at(128), 0x04200000);
    junk.copyHeaderTo(image.at(128 + 7 + 0x04200000));
    image.span(64 + 7 + 0x04100000, 64).span(128 + 7 + 0x04200000, 64);
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Pattern);
    EXPECT_EQ(found.objectTable.passedOver.count, 2u);
    EXPECT_EQ(found.objectTable.passedOver.firstRva, 64u);
    EXPECT_EQ(found.objectTable.kept.count, 0u);

    // The real one still empty as well: both empty ones kept, the junk one passed over.
    header(0, true);
    found = image.init();
    EXPECT_EQ(found.objectTable.source, SDK::TableSource::Kept);
    EXPECT_EQ(found.objectTable.kept.count, 2u);
    EXPECT_EQ(found.objectTable.kept.firstRva, 64u);
    EXPECT_EQ(found.objectTable.kept.rvas[1], 1024u);
    EXPECT_EQ(found.objectTable.passedOver.count, 1u);
    EXPECT_EQ(found.objectTable.passedOver.firstRva, 128u);
}

} // namespace
