// The stack-protection cookie of code built with /GS: one value per module, chosen when the module
// starts (before any protected function runs), compared by each protected function before it returns.
// What Microsoft's static startup library does for a /MD module, written here from its documented
// contract; the check itself is in intrinsics.S, so that it keeps every register the caller relies on.
#include <stdint.h>

#include <windows.h>

#include "startup.hpp"

namespace {

// The documented default: a module whose cookie still holds it was never initialised.
constexpr uintptr_t kDefaultCookie = 0x00002B992DDFA232ull;
// Microsoft's runtime keeps the top 16 bits clear.
constexpr uintptr_t kCookieBits = 0x0000FFFFFFFFFFFFull;
// The status Windows reports for a process ended by a failed check.
constexpr UINT kStackBufferOverrun = 0xC0000409u;

} // namespace

extern "C" {

uintptr_t __security_cookie = kDefaultCookie;
uintptr_t __security_cookie_complement = ~kDefaultCookie;

void __cdecl __security_init_cookie() {
    if (__security_cookie != kDefaultCookie) {
        return; // a second entry (a DLL attached again) keeps the value its frames were built with
    }
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const auto count = static_cast<uintptr_t>(counter.QuadPart);
    uintptr_t cookie = (uintptr_t{time.dwHighDateTime} << 32 | time.dwLowDateTime) ^ GetCurrentProcessId() ^
                       (uintptr_t{GetCurrentThreadId()} << 16) ^ count << 32 ^ count ^
                       reinterpret_cast<uintptr_t>(&cookie);
    cookie &= kCookieBits;
    if (cookie == kDefaultCookie || cookie == 0) {
        cookie = kDefaultCookie + 1;
    }
    __security_cookie = cookie;
    __security_cookie_complement = ~cookie;
}

// A protected frame's cookie was overwritten: the stack is corrupt, so nothing of this process may run on.
[[noreturn]] void __cdecl __report_gsfailure(uintptr_t) {
    TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    for (;;) {
    }
}
}
