// Finding the engine's tables by their layout, for when a game update has moved the code that the
// patterns describe, and the same judgement applied to a table that a pattern gave. initEngineGlobals
// proves every table with checkObjectTable and checkNameTable before it uses it, and searches for a
// table whose pattern gave nothing that passes; the pieces are public for the tests, the fuzzer and
// the benchmark.
//
// Object table. Candidates are the 8-byte-aligned places of the image whose element count (offset
// 36) is 1 to kMaxElements and whose chunk list (offset 16) is an 8-aligned pointer into readable
// memory, with a readable, non-null chunk for every chunk the count reaches ("count and chunk list
// agree"). A candidate is then judged by the engine's own invariants on what its first
// kElementsWalked elements point to, names left aside:
//   - following the class pointer from an object reaches, within kClassSteps steps, an object whose
//     class is itself: the class for classes (an instance of a generated class takes one step more
//     than a class does);
//   - nearly all non-empty elements (all but one in kToleranceDivisor) reach the same such object,
//     classClass;
//   - classClass is itself an element, and it is the only element whose class is itself;
//   - at least kMinObjects elements are non-empty.
// A sample of kSampledElements elements decides first, cheaply, whether the walk is worth it.
// Among candidates that pass, the best supported wins: the most elements reaching classClass, then the fewest
// that do not, then the lowest address (the first one found).
//
// Name table. Candidates are the 8-byte-aligned values in the image that are 8-aligned pointers into
// readable memory (the name table variable holds the address of the table's chunk array). One passes
// when, read through it, classClass is named exactly "Class", its outer (after the cut at the last
// "/") "CoreUObject",
// and the names of kNameSamples other objects of the object table are readable NUL-terminated text
// of printable bytes, at most kMaxNameLength long. The first one that passes, in address order, wins.
//
// Bounds: the image is read once per table, 8 bytes at a time; at most kCandidateBudget object-table
// candidates are sampled and kElementBudget elements walked in all, and at most kNameCandidateBudget
// name-table candidates that name classClass "Class" are examined further. A check of one table reads
// at most what one candidate of the search costs. Nothing is allocated per candidate
// and no copy of the image is made.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.hpp"
#include "sdk/readable_memory.hpp"

namespace SDK::Discovery {

inline constexpr std::size_t kMaxElements = std::size_t{1} << 25;
inline constexpr std::size_t kElementsWalked = std::size_t{1} << 18;
inline constexpr std::size_t kElementBudget = std::size_t{1} << 22;
inline constexpr std::size_t kCandidateBudget = std::size_t{1} << 16;
inline constexpr std::size_t kSampledElements = 64;
inline constexpr std::size_t kClassSteps = 4;
inline constexpr std::size_t kMinObjects = 8;
inline constexpr std::size_t kToleranceDivisor = 16;
inline constexpr std::size_t kNameSamples = 16;
inline constexpr std::size_t kMaxNameLength = 1024;
inline constexpr std::size_t kNameCandidateBudget = 65536;

// An object table and what its elements said about it. `table` is zero when none passed.
struct ObjectTableFit {
    std::uintptr_t table = 0;
    std::uintptr_t classClass = 0; // the class for classes: its own class
    std::size_t supporting = 0;    // walked elements whose class chain reaches classClass
    std::size_t against = 0;       // walked non-empty elements whose chain does not
};

// The best supported object table in the image's readable spans (those not in `memory` are skipped).
[[nodiscard]] ObjectTableFit findObjectTable(const platform::ModuleImage& image,
                                             ReadableMemory& memory) noexcept;

// Judges the object table at `table` (one that a pattern gave) by the same invariants; `table` is
// zero in the result when it fails them.
[[nodiscard]] ObjectTableFit checkObjectTable(std::uintptr_t table, ReadableMemory& memory) noexcept;

// The name table whose pointer lies in the image, checked against an object table that passed.
// Zero when none passes.
[[nodiscard]] std::uintptr_t findNameTable(const platform::ModuleImage& image, ReadableMemory& memory,
                                           const ObjectTableFit& objects) noexcept;

// Whether `table` (the value a name table variable holds) passes the checks a candidate of the search
// passes, against an object table that passed. False for any table when `objects` did not pass.
[[nodiscard]] bool checkNameTable(std::uintptr_t table, ReadableMemory& memory,
                                  const ObjectTableFit& objects) noexcept;

} // namespace SDK::Discovery
