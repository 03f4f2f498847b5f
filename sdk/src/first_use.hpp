// The tables setup could not prove, left to the first lookup: kept by initEngineGlobals, proven (or
// searched for) by lookupClassClass, at most once per lookup round.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.hpp"
#include "sdk/engine.hpp"
#include "sdk/readable_memory.hpp"

namespace SDK::detail {

// Whether the object table header at `table` is still empty: readable, with a zero element count or
// no chunk list. A header that holds a count and a chunk list is filled, whether it proves or not.
[[nodiscard]] bool objectTableStillEmpty(std::uintptr_t table, ReadableMemory& memory) noexcept;

// What the first use has to prove: the tables that were not proven, their kept matches (none: only
// the search by layout is left), the image to search, and the object table when it was proven.
struct PendingTables {
    bool name = false;
    bool object = false;
    bool nameKept = false; // setup kept its matches (and said so); a miss is then news
    bool objectKept = false;
    KeptMatches nameMatches;
    KeptMatches objectMatches;
    std::uintptr_t objectTable = 0;
    platform::ModuleImage image;
};

// What an attempt proved: the tables' addresses (zero where not proven) and what it found how.
struct ProvenTables {
    std::uintptr_t nameTable = 0;
    std::uintptr_t objectTable = 0;
    FirstUseReport report;
};

// One attempt over `pending`, touching no global: the kept matches in address order, then the search
// by layout, all reads through a fresh snapshot of readable memory.
[[nodiscard]] ProvenTables proveTables(const PendingTables& pending);

// Called by initEngineGlobals: with null, forgets what an earlier call kept; with what it found, keeps
// whatever did not prove for the first lookup. Not for use while lookups run.
void keepForFirstUse(const EngineTables* found, const platform::ModuleImage& image);

// Whether a table is still to be proven (an acquire load: a false answer makes the globals that the
// attempt set visible).
[[nodiscard]] bool tablesPending() noexcept;

// The round's attempt, or none when the round has had one: true when both tables are proven (now or
// by another caller meanwhile). Serialised by one lock, held during the attempt.
[[nodiscard]] bool proveAtFirstUse();

// The attempts made in this process, for the tests.
[[nodiscard]] std::size_t firstUseAttempts() noexcept;

} // namespace SDK::detail
