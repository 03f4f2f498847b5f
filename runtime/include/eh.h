// eh.h -- the Windows build's own replacement for Wine's <eh.h>, which
// declares these functions with C++ linkage; the DLLs export them with C
// names (terminate/set_terminate/_get_terminate/_set_se_translator:
// ucrtbase.dll; set_unexpected/_get_unexpected: vcruntime140.dll).
#pragma once
#include <vcruntime.h>
#ifndef __cplusplus
#error "eh.h is for C++"
#endif

#pragma pack(push, _CRT_PACKING)
extern "C" {
typedef void(__cdecl* terminate_handler)(void);
typedef void(__cdecl* terminate_function)(void);
typedef void(__cdecl* unexpected_handler)(void);
typedef void(__cdecl* unexpected_function)(void);
struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

_ACRTIMP __declspec(noreturn) void __cdecl terminate(void) noexcept;
_ACRTIMP terminate_handler __cdecl set_terminate(terminate_handler _Handler) noexcept;
_ACRTIMP terminate_handler __cdecl _get_terminate(void);
_ACRTIMP _se_translator_function __cdecl _set_se_translator(_se_translator_function _Func);
_VCRTIMP unexpected_handler __cdecl set_unexpected(unexpected_handler _Handler) noexcept;
_VCRTIMP unexpected_handler __cdecl _get_unexpected(void);
_VCRTIMP __declspec(noreturn) void __cdecl unexpected(void); // a stub in Wine 8
_VCRTIMP int __cdecl __uncaught_exceptions(void);
}
#pragma pack(pop)
