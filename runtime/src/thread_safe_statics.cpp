// Thread-safe initialisation of local statics (clang-cl's /Zc:threadSafeInit): the compiler guards each
// static with an int and calls these around its initialiser. A guard holds 0 before, -1 while one thread
// initialises it, and afterwards the epoch it was completed in, which each thread compares with its own
// _Init_thread_epoch to skip the lock once it has seen that epoch.
#include <limits.h>

#include <windows.h>

namespace {

SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE completed = CONDITION_VARIABLE_INIT;
constexpr int kNotInitialised = 0;
constexpr int kBeingInitialised = -1;
int globalEpoch = INT_MIN;

} // namespace

extern "C" {

__declspec(thread) int _Init_thread_epoch = INT_MIN;

void __cdecl _Init_thread_header(int* guard) {
    AcquireSRWLockExclusive(&lock);
    while (*guard == kBeingInitialised) {
        SleepConditionVariableSRW(&completed, &lock, INFINITE, 0);
    }
    if (*guard == kNotInitialised) {
        *guard = kBeingInitialised; // the caller initialises it
    } else {
        _Init_thread_epoch = globalEpoch; // another thread did
    }
    ReleaseSRWLockExclusive(&lock);
}

void __cdecl _Init_thread_footer(int* guard) {
    AcquireSRWLockExclusive(&lock);
    ++globalEpoch;
    *guard = globalEpoch;
    _Init_thread_epoch = globalEpoch;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&completed);
}

// The initialiser threw: the next thread to come tries again.
void __cdecl _Init_thread_abort(int* guard) {
    AcquireSRWLockExclusive(&lock);
    *guard = kNotInitialised;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&completed);
}
}
