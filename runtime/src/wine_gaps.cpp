// Module-local definitions of msvcp140.dll helpers that Wine 8 exports only as stubs
// (calling them aborts the process; tools/pe2def.py leaves them out of the
// import library so the link fails until they are provided here). Each one
// just throws the exception the standard requires. On Windows these local
// copies shadow msvcp140's versions, with the same observable behaviour.
// _Thrd_sleep_for is newer than Wine 8's msvcp140 (absent there, not a stub).
#include <functional>
#include <stdexcept>
#include <system_error>
#include <xthreads.h>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace std {
[[noreturn]] void __cdecl _Xbad_function_call() {
    throw bad_function_call();
}
[[noreturn]] void __cdecl _Xoverflow_error(const char* message) {
    throw overflow_error(message);
}

// std::thread / std::mutex failures: the code is one of the enum in <xthreads.h>.
[[noreturn]] void __cdecl _Throw_Cpp_error(int code) {
    static const errc map[] = {errc::device_or_resource_busy,
                               errc::invalid_argument,
                               errc::no_such_process,
                               errc::not_enough_memory,
                               errc::operation_not_permitted,
                               errc::resource_deadlock_would_occur,
                               errc::resource_unavailable_try_again};
    const errc e = (code >= 0 && code < 7) ? map[code] : errc::state_not_recoverable;
    throw system_error(make_error_code(e));
}
} // namespace std

extern "C" void __cdecl _Thrd_sleep_for(unsigned long milliseconds) noexcept {
    Sleep(milliseconds);
}
