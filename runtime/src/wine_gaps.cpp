// Module-local definitions of msvcp140.dll helpers that Wine 8 exports only as stubs, which abort the
// process when called: tools/pe_tables/pe_tables.py leaves them out of the import library, so that a
// link needing one fails until it is defined here. Each throws the exception the standard requires; on
// Windows these copies stand in for msvcp140.dll's, which behave the same. _Thrd_sleep_for is newer than
// Wine 8's msvcp140.dll (absent there, not a stub).
#include <functional>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <xthreads.h>

#include <windows.h>

namespace std {

[[noreturn]] void __cdecl _Xbad_function_call() {
    throw bad_function_call();
}

[[noreturn]] void __cdecl _Xoverflow_error(const char* message) {
    throw overflow_error(message);
}

// A std::thread or std::mutex failure: `code` is one of <xthreads.h>'s error constants, in their order.
[[noreturn]] void __cdecl _Throw_Cpp_error(int code) {
    static constexpr errc kByCode[] = {errc::device_or_resource_busy,
                                       errc::invalid_argument,
                                       errc::no_such_process,
                                       errc::not_enough_memory,
                                       errc::operation_not_permitted,
                                       errc::resource_deadlock_would_occur,
                                       errc::resource_unavailable_try_again};
    const bool known = code >= 0 && code < static_cast<int>(std::size(kByCode));
    throw system_error(make_error_code(known ? kByCode[code] : errc::state_not_recoverable));
}

} // namespace std

extern "C" void __cdecl _Thrd_sleep_for(unsigned long milliseconds) noexcept {
    Sleep(milliseconds);
}
