// The stack-protection cookie of code built with /GS: one value per module, chosen when the module
// starts (before any protected function runs), compared by each protected function before it returns.
// What Microsoft's static startup library does for a /MD module, written here from its documented
// contract; the check itself is in intrinsics.S, so that it keeps every register the caller relies on.
#include <stdint.h>

extern "C" {
struct BrickwrightFileTime {
    unsigned long low;
    unsigned long high;
};
__declspec(dllimport) void __stdcall GetSystemTimeAsFileTime(BrickwrightFileTime* time);
__declspec(dllimport) unsigned long __stdcall GetCurrentProcessId(void);
__declspec(dllimport) unsigned long __stdcall GetCurrentThreadId(void);
__declspec(dllimport) int __stdcall QueryPerformanceCounter(long long* count);
__declspec(dllimport) void* __stdcall GetCurrentProcess(void);
__declspec(dllimport) int __stdcall TerminateProcess(void* process, unsigned int code);

// The documented default: a module whose cookie still holds it was never initialised.
constexpr uintptr_t kDefaultCookie = 0x00002B992DDFA232ull;

uintptr_t __security_cookie = kDefaultCookie;
uintptr_t __security_cookie_complement = ~kDefaultCookie;

void __cdecl __security_init_cookie(void) {
    if (__security_cookie != kDefaultCookie) {
        return; // a second entry (a DLL attached again) keeps the value its frames were built with
    }
    BrickwrightFileTime time{};
    GetSystemTimeAsFileTime(&time);
    long long counter = 0;
    QueryPerformanceCounter(&counter);
    uintptr_t cookie = (uintptr_t{time.high} << 32 | time.low) ^ GetCurrentProcessId() ^
                       (uintptr_t{GetCurrentThreadId()} << 16) ^ static_cast<uintptr_t>(counter) << 32 ^
                       static_cast<uintptr_t>(counter) ^ reinterpret_cast<uintptr_t>(&cookie);
    // The top 16 bits stay clear, as Microsoft's runtime keeps them, and never the default again.
    cookie &= 0x0000FFFFFFFFFFFFull;
    if (cookie == kDefaultCookie || cookie == 0) {
        cookie = kDefaultCookie + 1;
    }
    __security_cookie = cookie;
    __security_cookie_complement = ~cookie;
}

// A protected frame's cookie was overwritten: the stack is corrupt, so nothing of this process may run
// on. STATUS_STACK_BUFFER_OVERRUN is the exit status Windows reports for it.
[[noreturn]] void __cdecl __report_gsfailure(uintptr_t) {
    TerminateProcess(GetCurrentProcess(), 0xC0000409u);
    for (;;) {
    }
}
}
