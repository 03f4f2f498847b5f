// An engine world in ordinary memory: a name table and an object table laid out exactly as the game
// lays out its own (see sdk/engine_layout.hpp), with object records that the engine access layer can
// name and search. The stand-in game, the tests, the fuzzers and the benchmarks build theirs with it.
//
//     standin::EngineWorld world;
//     SDK::UObject* package = world.addObject("/Script/CoreUObject", nullptr, nullptr);
//     SDK::UClass* classClass = world.addClassClass(package);   // "Class CoreUObject.Class"
//     world.addObject("Wall_8x4", 2, classClass, package);        // "Class CoreUObject.Wall_8x4_2"
//     world.install();                                            // SDK::engine*Table now point here
//
// Besides well-formed worlds it can build the damaged ones that the engine access layer must
// survive: null chunk pointers in either table, null name entries, negative or unknown name indices,
// negative numbers, outer chains that loop, and element counts beyond the chunks in place (the chunk
// list then holds null entries for the missing chunks).
//
// Everything the world hands out (records, name entries, chunks, the name table) keeps its address
// for the world's life; the object table's chunk list may move as it grows, and the header always
// points to its current place. The world is neither copyable nor movable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"

namespace standin {

class EngineWorld {
public:
    // The name table's chunk array has room for this many chunks (16384 names each); chunks that are
    // not in place are null.
    static constexpr std::size_t kNameChunkCapacity = 1024;

    // The object table's header lies in the world's own storage.
    EngineWorld();

    // The object table's header (sizeof(SDK::Layout::ObjectTable) bytes, suitably aligned) lies at
    // `objectTableHeader`, for example inside the executable's own image where the planted
    // instructions refer to it. The world zeroes it now and again when it is destroyed.
    explicit EngineWorld(void* objectTableHeader);

    ~EngineWorld();
    EngineWorld(const EngineWorld&) = delete;
    EngineWorld& operator=(const EngineWorld&) = delete;

    // Names ------------------------------------------------------------------------------------------

    // The index of `text` in the name table, added on first use (the engine keeps each text once).
    std::int32_t nameIndex(std::string_view text);

    // Adds an entry for `text` even if the text is already there; returns its index.
    std::int32_t addNameEntry(std::string_view text);

    // Damage: the chunk pointer of name chunk `chunk`, or the entry pointer of name `index`, becomes null.
    void clearNameChunk(std::size_t chunk);
    void clearNameEntry(std::int32_t index);

    std::size_t nameCount() const noexcept { return nameCount_; }

    // Objects ----------------------------------------------------------------------------------------

    // Appends an object record to the object table. The name is the entry text as stored (it may
    // hold slashes, as package paths do); `number` above 0 shows as "_<number>" in the object's name.
    SDK::UObject* addObject(std::string_view name, SDK::UObject* objectClass, SDK::UObject* outer);
    SDK::UObject* addObject(std::string_view name, std::int32_t number, SDK::UObject* objectClass,
                            SDK::UObject* outer);

    // The same with a raw name index, which may be negative or name no entry in place.
    SDK::UObject* addObjectWithNameIndex(std::int32_t nameIndex, std::int32_t number,
                                         SDK::UObject* objectClass, SDK::UObject* outer);

    // The engine's class for classes: an object named "Class" whose class is itself, inside `package`
    // (normally the object named "/Script/CoreUObject").
    SDK::UClass* addClassClass(SDK::UObject* package);

    // Appends an element whose object pointer is null.
    void addEmptyElement();

    // Changes a record that this world made (for outer cycles, class changes and the like).
    void setClass(SDK::UObject* object, SDK::UObject* objectClass);
    void setOuter(SDK::UObject* object, SDK::UObject* outer);
    void setName(SDK::UObject* object, std::int32_t nameIndex, std::int32_t number);

    // Damage: the chunk list entry of object chunk `chunk` becomes null (its elements read as empty).
    void clearObjectChunk(std::size_t chunk);

    // Overrides the element count in the header (it may be negative, or beyond the chunks in place:
    // the chunk list is then extended with null entries up to the chunk that the count reaches).
    // Adding an object afterwards sets the count to the number of elements again.
    void setObjectCount(std::int32_t count);

    // Removes every chunk list entry: the header's chunk list pointer becomes null.
    void clearChunkList();

    // The number of elements added (empty ones included).
    std::int32_t objectCount() const noexcept { return static_cast<std::int32_t>(elementCount_); }

    // Addresses ------------------------------------------------------------------------------------

    // The name table: the array of name chunk pointers; what the game variable that the name-table
    // pattern reads holds.
    const void* nameTable() const noexcept { return nameChunks_.get(); }

    // The object table's header; what the object-table pattern refers to.
    void* objectTable() const noexcept { return header_; }

    // Points SDK::engineNameTable and SDK::engineObjectTable at this world.
    void install() const noexcept;

private:
    SDK::Layout::ObjectRecord* newRecord();
    SDK::Layout::ObjectElement* element(std::size_t index);
    void ensureChunkList(std::size_t chunks);
    void syncHeader() noexcept;
    char* allocateEntry(std::size_t bytes);

    struct FreeDeleter {
        void operator()(void* p) const noexcept;
    };

    SDK::Layout::ObjectTable* header_;
    std::unique_ptr<SDK::Layout::ObjectTable> ownHeader_;

    std::unique_ptr<void*[]> nameChunks_;
    std::vector<std::unique_ptr<void, FreeDeleter>> nameChunkStorage_;
    std::size_t nameCount_ = 0;
    std::unordered_map<std::string, std::int32_t> nameIndices_;
    std::vector<std::unique_ptr<char[]>> entryBlocks_;
    std::size_t entryBlockUsed_ = 0;
    std::size_t entryBlockSize_ = 0;

    std::vector<void*> chunkList_;
    std::vector<std::unique_ptr<void, FreeDeleter>> objectChunkStorage_;
    std::size_t elementCount_ = 0;
    std::vector<std::unique_ptr<SDK::Layout::ObjectRecord[]>> recordBlocks_;
    std::size_t recordBlockUsed_ = 0;
    bool chunkListCleared_ = false;
};

} // namespace standin
