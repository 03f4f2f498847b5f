// What the build generates from the compiler's names (spellings.py): the list of spellings, kept in
// the DLL's section .bwbind where a tool can read it, and the pointer each name's import resolves to.
#pragma once

#include <cstddef>

namespace brickwright::hostbinding::detail {

// "brickwright-bind 1", then per name a "function <demangled>" line and its "spelling <decorated>
// [Type=key...]" lines, the header's first, then "end"; lines end in LF.
extern const char kBindList[];

// One slot per function block of the list, in its order.
extern void** const kSlots[];
extern const std::size_t kSlotCount;

} // namespace brickwright::hostbinding::detail
