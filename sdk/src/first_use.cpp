#include "first_use.hpp"

#include <atomic>
#include <mutex>
#include <optional>

#include "sdk/discovery.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"

namespace SDK {

namespace detail {

namespace {

// Read on every lookup: a plain flag, so that with both tables proven at setup the lookup costs what
// it did before (one load more).
std::atomic<bool> unprovenTables{false};
std::atomic<std::uint64_t> currentRound{1};
std::atomic<std::size_t> attempts{0};

// Everything else, touched only under `mutex`. The attempt writes the globals under it too and then
// releases `unprovenTables`: a caller that reads the globals has either taken the lock after the attempt or
// seen `unprovenTables` false, and so sees them whole.
struct FirstUseState {
    std::mutex mutex;
    PendingTables tables;
    std::uint64_t attemptedRound = 0; // none yet
    bool warned = false;
    std::optional<FirstUseReport> report;
    std::uint64_t reportRound = 0;
};

FirstUseState& state() {
    static FirstUseState kept;
    return kept;
}

bool unproven(TableSource source) noexcept {
    return source != TableSource::Pattern && source != TableSource::Layout;
}

// A kept match's table, proven now: the object table at its address.
std::uintptr_t provenObjectMatch(const KeptMatches& kept, ReadableMemory& memory,
                                 Discovery::ObjectTableFit& objects, FirstUseTable& table) noexcept {
    for (std::size_t k = 0; k < kept.count; ++k) {
        objects = Discovery::checkObjectTable(kept.targets[k], memory);
        if (objects.table != 0) {
            table.source = TableSource::Pattern;
            table.rva = kept.rvas[k];
            return objects.table;
        }
    }
    return 0;
}

// The name table's variable of a kept match, read again now, and its table proven.
std::uintptr_t provenNameMatch(const KeptMatches& kept, ReadableMemory& memory,
                               const Discovery::ObjectTableFit& objects, FirstUseTable& table) noexcept {
    for (std::size_t k = 0; k < kept.count; ++k) {
        std::uint64_t value = 0;
        if (memory.read(kept.targets[k], value) && value != 0 &&
            Discovery::checkNameTable(static_cast<std::uintptr_t>(value), memory, objects)) {
            table.source = TableSource::Pattern;
            table.rva = kept.rvas[k];
            return static_cast<std::uintptr_t>(value);
        }
    }
    return 0;
}

} // namespace

bool objectTableStillEmpty(std::uintptr_t table, ReadableMemory& memory) noexcept {
    std::uint64_t chunks = 0;
    std::uint32_t count = 0;
    return memory.read(table + Layout::kObjectTableChunksOffset, chunks) &&
           memory.read(table + Layout::kObjectTableCountOffset, count) && (count == 0 || chunks == 0);
}

ProvenTables proveTables(const PendingTables& pending) {
    ProvenTables proven;
    ReadableMemory memory = ReadableMemory::ofProcess();
    Discovery::ObjectTableFit objects;
    FirstUseTable& objectTable = proven.report.objectTable;
    if (pending.object) {
        objectTable.tried = true;
        proven.objectTable = provenObjectMatch(pending.objectMatches, memory, objects, objectTable);
        if (proven.objectTable == 0) {
            objects = Discovery::findObjectTable(pending.image, memory);
            if (objects.table != 0) {
                proven.objectTable = objects.table;
                objectTable.source = TableSource::Layout;
            }
        }
    } else {
        // Proven at setup; the name table's proof needs what its elements say.
        proven.objectTable = pending.objectTable;
        objects = Discovery::checkObjectTable(pending.objectTable, memory);
    }
    if (!pending.name) {
        return proven;
    }
    FirstUseTable& nameTable = proven.report.nameTable;
    nameTable.tried = true;
    if (objects.table == 0) {
        return proven;
    }
    proven.nameTable = provenNameMatch(pending.nameMatches, memory, objects, nameTable);
    if (proven.nameTable == 0) {
        proven.nameTable = Discovery::findNameTable(pending.image, memory, objects);
        if (proven.nameTable != 0) {
            nameTable.source = TableSource::Layout;
        }
    }
    return proven;
}

void keepForFirstUse(const EngineTables* found, const platform::ModuleImage& image) {
    FirstUseState& kept = state();
    const std::lock_guard<std::mutex> lock(kept.mutex);
    kept.tables = {};
    kept.attemptedRound = 0;
    kept.warned = false;
    kept.report.reset();
    if (found == nullptr) {
        unprovenTables.store(false, std::memory_order_release);
        return;
    }
    PendingTables& tables = kept.tables;
    tables.name = unproven(found->nameTable.source);
    tables.object = unproven(found->objectTable.source);
    tables.nameKept = found->nameTable.source == TableSource::Kept;
    tables.objectKept = found->objectTable.source == TableSource::Kept;
    tables.nameMatches = found->nameTable.kept;
    tables.objectMatches = found->objectTable.kept;
    tables.objectTable = found->objectTable.address;
    tables.image = image;
    unprovenTables.store(tables.name || tables.object, std::memory_order_release);
}

bool tablesPending() noexcept {
    return unprovenTables.load(std::memory_order_acquire);
}

bool proveAtFirstUse() {
    FirstUseState& kept = state();
    const std::lock_guard<std::mutex> lock(kept.mutex);
    if (!unprovenTables.load(std::memory_order_relaxed)) {
        return true;
    }
    const std::uint64_t round = currentRound.load(std::memory_order_relaxed);
    if (kept.attemptedRound == round) {
        return false;
    }
    // Marked before the attempt: one that throws (memory exhaustion) is the round's attempt all the same.
    const bool again = kept.attemptedRound != 0;
    kept.attemptedRound = round;
    attempts.fetch_add(1, std::memory_order_relaxed);

    PendingTables& tables = kept.tables;
    ProvenTables proven = proveTables(tables);
    proven.report.again = again;
    const FirstUseTable& name = proven.report.nameTable;
    const FirstUseTable& object = proven.report.objectTable;
    bool found = false;
    bool keptMissing = false;
    if (object.tried) {
        if (proven.objectTable != 0) {
            engineObjectTable = proven.objectTable;
            tables.object = false;
            tables.objectTable = proven.objectTable;
            found = true;
        } else {
            keptMissing = keptMissing || tables.objectKept;
        }
    }
    if (name.tried) {
        if (proven.nameTable != 0) {
            engineNameTable = proven.nameTable;
            tables.name = false;
            found = true;
        } else {
            keptMissing = keptMissing || tables.nameKept;
        }
    }
    if (found || (keptMissing && !kept.warned)) {
        kept.warned = kept.warned || keptMissing;
        kept.report = proven.report;
        kept.reportRound = round;
    }
    const bool stillPending = tables.name || tables.object;
    unprovenTables.store(stillPending, std::memory_order_release);
    return !stillPending;
}

std::size_t firstUseAttempts() noexcept {
    return attempts.load(std::memory_order_relaxed);
}

} // namespace detail

std::uint64_t startLookupRound() noexcept {
    return detail::currentRound.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::optional<FirstUseReport> takeFirstUseReport(std::uint64_t round) {
    detail::FirstUseState& kept = detail::state();
    const std::lock_guard<std::mutex> lock(kept.mutex);
    if (!kept.report || kept.reportRound != round) {
        return std::nullopt;
    }
    std::optional<FirstUseReport> report = kept.report;
    kept.report.reset();
    return report;
}

} // namespace SDK
