// What the entry points (startup_exe.cpp, startup_dll.cpp) call in the rest of the runtime layer,
// declared once: a definition that differs from its use fails to compile or to link.
#pragma once

namespace brickwright::runtime {

// Runs this module's C initialisers (.CRT$XI*) in section order and stops at the first that returns
// non-zero, returning that value; then its C++ initialisers (.CRT$XC*), in section order. 0 when all ran.
[[nodiscard]] int runInitializers();

// Releases the locale facets that use_facet<> created in this module.
void releaseFacets() noexcept;

} // namespace brickwright::runtime

extern "C" {

// Chooses this module's stack cookie (security_cookie.cpp): the first call of an entry point.
void __cdecl __security_init_cookie();

// The TLS callback that runs this thread's thread_local destructors (tls.cpp).
void __stdcall __dyn_tls_init(void* module, unsigned long reason, void* reserved);
}
