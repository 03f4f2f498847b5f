// vcruntime.h -- the Windows build's own version of the compiler-support
// base header that MSVC's STL includes first. It only gathers the basic
// types from Wine's open CRT headers and defines the handful of macros the
// STL headers use. Nothing here is copied from Microsoft's header.
#pragma once
#define _VCRUNTIME_H
#include <corecrt.h> // Wine: size_t, ptrdiff_t, intptr_t, _ACRTIMP, <sal.h>
#include <vadefs.h>  // Wine: va_list

#define _VCRT_COMPILER_PREPROCESSOR 1

#ifndef _CRT_PACKING
#define _CRT_PACKING 8
#endif

#ifdef __cplusplus
#define _CRT_BEGIN_C_HEADER extern "C" {
#define _CRT_END_C_HEADER }
#else
#define _CRT_BEGIN_C_HEADER
#define _CRT_END_C_HEADER
#endif

// Functions exported by vcruntime140.dll.
#ifndef _VCRTIMP
#define _VCRTIMP __declspec(dllimport)
#endif
#ifndef __CRTDECL
#define __CRTDECL __cdecl
#endif

#define _CRT_STRINGIZE_(x) #x
#define _CRT_STRINGIZE(x) _CRT_STRINGIZE_(x)
#define _CRT_WIDE_(s) L##s
#define _CRT_WIDE(s) _CRT_WIDE_(s)
#define _CRT_CONCATENATE_(a, b) a##b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__

#define _VCRT_NOALIAS __declspec(noalias)
#define _VCRT_RESTRICT __declspec(restrict)
#define _VCRT_ALLOCATOR __declspec(allocator)
#define _CRT_GUARDOVERFLOW
#define _CRT_DEPRECATE_TEXT(_Text) __declspec(deprecated(_Text))
#define _CRT_INSECURE_DEPRECATE(_Replacement)
#define _CRT_UNUSED(x) (void)x
#define _CRT_ALIGN(x) __declspec(align(x))

// C++ exceptions are on unless the project says otherwise (/EHs- builds
// must define _HAS_EXCEPTIONS=0 themselves, as with Microsoft's toolset).
#ifndef _HAS_EXCEPTIONS
#define _HAS_EXCEPTIONS 1
#endif

// Language-mode switches the STL reads from this header.
#ifdef _MSVC_LANG
#define __BW_CPLUSPLUS _MSVC_LANG
#elif defined(__cplusplus)
#define __BW_CPLUSPLUS __cplusplus
#else
#define __BW_CPLUSPLUS 0L
#endif
#ifndef _HAS_CXX17
#define _HAS_CXX17 (__BW_CPLUSPLUS > 201402L)
#endif
#ifndef _HAS_CXX20
#define _HAS_CXX20 (_HAS_CXX17 && __BW_CPLUSPLUS > 201703L)
#endif
#ifndef _HAS_CXX23
#define _HAS_CXX23 (_HAS_CXX20 && __BW_CPLUSPLUS > 202002L)
#endif
#ifndef _HAS_CXX26
#define _HAS_CXX26 (_HAS_CXX23 && __BW_CPLUSPLUS > 202302L)
#endif
#define _CRT_HAS_CXX17 _HAS_CXX17

// Marks per-appdomain globals under /clr:pure; nothing here.
#ifndef _PGLOBAL
#define _PGLOBAL
#endif

#ifdef __cplusplus
typedef bool __vcrt_bool;
#else
typedef _Bool __vcrt_bool;
#endif

#ifndef _countof
#define _countof(a) (sizeof(a) / sizeof((a)[0]))
#endif

// Calling-convention spellings the STL uses for /clr builds; empty/cdecl here.
#ifndef __CLR_OR_THIS_CALL
#define __CLR_OR_THIS_CALL
#endif
#ifndef __CLRCALL_OR_CDECL
#define __CLRCALL_OR_CDECL __cdecl
#endif
#ifndef __CLRCALL_PURE_OR_CDECL
#define __CLRCALL_PURE_OR_CDECL __cdecl
#endif

// [[nodiscard]] on STL functions (the STL reads _NODISCARD from here).
#ifndef _HAS_NODISCARD
#define _HAS_NODISCARD 1
#endif
#if _HAS_NODISCARD
#define _NODISCARD [[nodiscard]]
#else
#define _NODISCARD
#endif

// Import spellings. Functions of msvcp140.dll are reached through the
// import library's thunks (no dllimport needed); the STL itself marks data
// and classes with _CRTIMP2_IMPORT / _CRTDATA2_IMPORT (dllimport under /MD).
#ifndef _CRTIMP2
#define _CRTIMP2
#endif
#ifndef _MRTIMP2
#define _MRTIMP2
#endif
// Satellite DLLs of msvcp140 (msvcp140_1: memory_resource, msvcp140_2:
// special math, msvcp140_codecvt_ids: char16/32/8 codecvt ids).
#ifndef _CRT_SATELLITE_1
#define _CRT_SATELLITE_1 __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_2
#define _CRT_SATELLITE_2 __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_CODECVT_IDS
#define _CRT_SATELLITE_CODECVT_IDS __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#endif

// SAL annotations used by the STL that Wine's <sal.h> lacks (no-ops here).
#ifndef _Analysis_assume_
#define _Analysis_assume_(expr)
#endif
#ifndef _Pre_satisfies_
#define _Pre_satisfies_(cond)
#endif
#ifndef _Check_return_opt_
#define _Check_return_opt_
#endif
#ifndef _Field_z_
#define _Field_z_
#endif

// MSVC-only [[msvc::constexpr]] marker; clang needs nothing.
#ifndef _MSVC_CONSTEXPR
#define _MSVC_CONSTEXPR
#endif
