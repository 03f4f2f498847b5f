// Counts every call of the global operator new in this executable.
#pragma once

#include <atomic>

namespace enginetest {
extern std::atomic<long> allocations;
} // namespace enginetest
