#include "standin/engine_world.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "sdk/engine.hpp"

namespace standin {

namespace {

using SDK::Layout::kNamesPerChunk;
using SDK::Layout::kObjectsPerChunk;
using SDK::Layout::ObjectElement;
using SDK::Layout::ObjectRecord;
using SDK::Layout::ObjectTable;

constexpr std::size_t kRecordsPerBlock = 4096;
constexpr std::size_t kEntryBlockSize = 256 * 1024;

// Chunks are big and mostly untouched in small worlds: calloc leaves their pages lazily zeroed.
void* zeroedBlock(std::size_t bytes) {
    void* block = std::calloc(1, bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

ObjectRecord* record(SDK::UObject* object) noexcept {
    return reinterpret_cast<ObjectRecord*>(object);
}

} // namespace

void EngineWorld::FreeDeleter::operator()(void* p) const noexcept {
    std::free(p);
}

EngineWorld::EngineWorld() : EngineWorld(nullptr) {}

EngineWorld::EngineWorld(void* objectTableHeader)
    : header_(static_cast<ObjectTable*>(objectTableHeader)), nameChunks_(new void*[kNameChunkCapacity]()) {
    if (header_ == nullptr) {
        ownHeader_ = std::make_unique<ObjectTable>();
        header_ = ownHeader_.get();
    }
    std::memset(static_cast<void*>(header_), 0, sizeof(ObjectTable));
}

EngineWorld::~EngineWorld() {
    // A header in someone else's memory must not keep pointing at storage that is about to go.
    std::memset(static_cast<void*>(header_), 0, sizeof(ObjectTable));
}

char* EngineWorld::allocateEntry(std::size_t bytes) {
    bytes = (bytes + 7) & ~std::size_t{7};
    if (entryBlocks_.empty() || entryBlockUsed_ + bytes > entryBlockSize_) {
        entryBlockSize_ = std::max(kEntryBlockSize, bytes);
        entryBlocks_.push_back(std::make_unique<char[]>(entryBlockSize_));
        entryBlockUsed_ = 0;
    }
    char* entry = entryBlocks_.back().get() + entryBlockUsed_;
    entryBlockUsed_ += bytes;
    return entry;
}

std::int32_t EngineWorld::addNameEntry(std::string_view text) {
    const std::size_t index = nameCount_;
    const std::size_t chunk = index / kNamesPerChunk;
    if (chunk >= kNameChunkCapacity) {
        throw std::length_error("the engine world's name table is full");
    }
    if (chunk >= nameChunkStorage_.size()) {
        nameChunkStorage_.emplace_back(zeroedBlock(kNamesPerChunk * sizeof(void*)));
        nameChunks_[chunk] = nameChunkStorage_.back().get();
    }
    char* entry = allocateEntry(SDK::Layout::kNameEntryTextOffset + text.size() + 1);
    std::memset(entry, 0, SDK::Layout::kNameEntryTextOffset);
    std::memcpy(entry + SDK::Layout::kNameEntryTextOffset, text.data(), text.size());
    entry[SDK::Layout::kNameEntryTextOffset + text.size()] = '\0';
    // The chunk may have been cleared as damage; its storage is still ours.
    static_cast<void**>(nameChunkStorage_[chunk].get())[index % kNamesPerChunk] = entry;
    ++nameCount_;
    return static_cast<std::int32_t>(index);
}

std::int32_t EngineWorld::nameIndex(std::string_view text) {
    auto found = nameIndices_.find(std::string(text));
    if (found != nameIndices_.end()) {
        return found->second;
    }
    const std::int32_t index = addNameEntry(text);
    nameIndices_.emplace(std::string(text), index);
    return index;
}

void EngineWorld::clearNameChunk(std::size_t chunk) {
    if (chunk >= kNameChunkCapacity) {
        throw std::out_of_range("no such name chunk");
    }
    nameChunks_[chunk] = nullptr;
}

void EngineWorld::clearNameEntry(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= nameCount_) {
        throw std::out_of_range("no such name entry");
    }
    const auto i = static_cast<std::size_t>(index);
    static_cast<void**>(nameChunkStorage_[i / kNamesPerChunk].get())[i % kNamesPerChunk] = nullptr;
}

void EngineWorld::ensureChunkList(std::size_t chunks) {
    if (chunkList_.size() < chunks) {
        chunkList_.resize(chunks, nullptr);
    }
    syncHeader();
}

void EngineWorld::syncHeader() noexcept {
    header_->chunks = chunkListCleared_ || chunkList_.empty() ? nullptr : chunkList_.data();
}

ObjectElement* EngineWorld::element(std::size_t index) {
    const std::size_t chunk = index / kObjectsPerChunk;
    // A chunk goes into the chunk list when it is made; a chunk cleared later stays cleared.
    while (objectChunkStorage_.size() <= chunk) {
        objectChunkStorage_.emplace_back(zeroedBlock(kObjectsPerChunk * sizeof(ObjectElement)));
        const std::size_t made = objectChunkStorage_.size() - 1;
        ensureChunkList(made + 1);
        chunkList_[made] = objectChunkStorage_[made].get();
    }
    return static_cast<ObjectElement*>(objectChunkStorage_[chunk].get()) + index % kObjectsPerChunk;
}

ObjectRecord* EngineWorld::newRecord() {
    if (recordBlocks_.empty() || recordBlockUsed_ == kRecordsPerBlock) {
        recordBlocks_.push_back(std::make_unique<ObjectRecord[]>(kRecordsPerBlock));
        recordBlockUsed_ = 0;
    }
    return &recordBlocks_.back()[recordBlockUsed_++];
}

SDK::UObject* EngineWorld::addObject(std::string_view name, SDK::UObject* objectClass, SDK::UObject* outer) {
    return addObject(name, 0, objectClass, outer);
}

SDK::UObject* EngineWorld::addObject(std::string_view name, std::int32_t number, SDK::UObject* objectClass,
                                     SDK::UObject* outer) {
    return addObjectWithNameIndex(nameIndex(name), number, objectClass, outer);
}

SDK::UObject* EngineWorld::addObjectWithNameIndex(std::int32_t index, std::int32_t number,
                                                  SDK::UObject* objectClass, SDK::UObject* outer) {
    if (elementCount_ >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw std::length_error("the engine world's object table is full");
    }
    ObjectRecord* r = newRecord();
    r->objectClass = objectClass;
    r->nameIndex = index;
    r->nameNumber = number;
    r->outer = outer;
    element(elementCount_)->object = r;
    ++elementCount_;
    header_->count = static_cast<std::int32_t>(elementCount_);
    return reinterpret_cast<SDK::UObject*>(r);
}

SDK::UClass* EngineWorld::addClassClass(SDK::UObject* package) {
    SDK::UObject* object = addObject("Class", nullptr, package);
    setClass(object, object);
    return static_cast<SDK::UClass*>(object);
}

void EngineWorld::addEmptyElement() {
    if (elementCount_ >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw std::length_error("the engine world's object table is full");
    }
    element(elementCount_)->object = nullptr;
    ++elementCount_;
    header_->count = static_cast<std::int32_t>(elementCount_);
}

void EngineWorld::setClass(SDK::UObject* object, SDK::UObject* objectClass) {
    record(object)->objectClass = objectClass;
}

void EngineWorld::setOuter(SDK::UObject* object, SDK::UObject* outer) {
    record(object)->outer = outer;
}

void EngineWorld::setName(SDK::UObject* object, std::int32_t index, std::int32_t number) {
    record(object)->nameIndex = index;
    record(object)->nameNumber = number;
}

void EngineWorld::clearObjectChunk(std::size_t chunk) {
    ensureChunkList(chunk + 1);
    chunkList_[chunk] = nullptr;
}

void EngineWorld::setObjectCount(std::int32_t count) {
    if (count > 0) {
        ensureChunkList((static_cast<std::size_t>(count) + kObjectsPerChunk - 1) / kObjectsPerChunk);
    }
    header_->count = count;
}

void EngineWorld::clearChunkList() {
    chunkListCleared_ = true;
    syncHeader();
}

void EngineWorld::install() const noexcept {
    SDK::engineNameTable = reinterpret_cast<std::uintptr_t>(nameTable());
    SDK::engineObjectTable = reinterpret_cast<std::uintptr_t>(objectTable());
}

} // namespace standin
