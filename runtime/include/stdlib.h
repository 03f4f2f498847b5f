// stdlib.h -- the Windows build's own wrapper around Wine's <stdlib.h>:
// adds quick_exit / at_quick_exit (ucrtbase: quick_exit, _crt_at_quick_exit) and _dupenv_s.
#pragma once
// atexit/_onexit are module-local with MSVC /MD (they live in the static
// startup code, not in ucrtbase.dll); hide Wine's dllimport declarations.
#define atexit __brickwright_wine_atexit
#define _onexit __brickwright_wine_onexit
#include_next <stdlib.h>
#undef atexit
#undef _onexit
#include <errno.h> /* the STL uses ERANGE after including only <cstdlib> */
#ifdef __cplusplus
extern "C" {
#endif
int __cdecl atexit(void(__cdecl* _Func)(void)); /* src/startup_dll.cpp, src/startup_exe.cpp */
_onexit_t __cdecl _onexit(_onexit_t _Func);     /* src/startup_dll.cpp, src/startup_exe.cpp */
_ACRTIMP DECLSPEC_NORETURN void __cdecl quick_exit(int _Code);
_ACRTIMP errno_t __cdecl _dupenv_s(char** _Buffer, size_t* _Count, const char* _Name);
_ACRTIMP int __cdecl _crt_at_quick_exit(void(__cdecl* _Func)(void));
static inline int __cdecl at_quick_exit(void(__cdecl* _Func)(void)) {
    return _crt_at_quick_exit(_Func);
}
#ifdef __cplusplus
}
// C++ overloads the UCRT header provides (the STL's <cstdlib> relies on them).
extern "C++" {
inline long __cdecl abs(long _X) noexcept {
    return labs(_X);
}
inline long long __cdecl abs(long long _X) noexcept {
    return llabs(_X);
}
inline ldiv_t __cdecl div(long _A, long _B) noexcept {
    return ldiv(_A, _B);
}
inline lldiv_t __cdecl div(long long _A, long long _B) noexcept {
    return lldiv(_A, _B);
}
}
#endif
