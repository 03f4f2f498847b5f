// wchar.h -- the Windows build's own replacement for Wine's <wchar.h>.
// Wine's header says `typedef int mbstate_t`; MSVC's C++ ABI needs the
// 8-byte struct _Mbstatet (its name is part of mangled names such as
// std::codecvt<char,char,_Mbstatet>). Everything else comes from Wine's
// corecrt_w*.h headers, as Wine's own wchar.h does.
#pragma once
#define __WINE_WCHAR_H /* keep Wine's own wchar.h out */

#include <corecrt_wctype.h>
#include <corecrt_wdirect.h>
#include <corecrt_wio.h>
#include <corecrt_wprocess.h>
#include <corecrt_wstdio.h>
#include <corecrt_wstdlib.h>
#include <corecrt_wstring.h>
#include <corecrt_wtime.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef WCHAR_MIN
#define WCHAR_MIN 0U
#define WCHAR_MAX 0xffffU
#endif

// _Mbstatet / mbstate_t come from our corecrt.h.

// Wide scanf forms the STL's <cwchar> names but Wine's headers lack.
static inline int __cdecl vswscanf(const wchar_t* _Buf, const wchar_t* _Fmt, va_list _A) {
    return __stdio_common_vswscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buf, (size_t)-1, _Fmt, NULL, _A);
}
static inline int __cdecl vfwscanf(FILE* _F, const wchar_t* _Fmt, va_list _A) {
    return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _F, _Fmt, NULL, _A);
}
static inline int __cdecl vwscanf(const wchar_t* _Fmt, va_list _A) {
    return vfwscanf(stdin, _Fmt, _A);
}
_ACRTIMP double __cdecl _wcstold_l(const wchar_t*, wchar_t**, _locale_t);
static inline long double __cdecl wcstold(const wchar_t* _S, wchar_t** _End) {
    return _wcstold_l(_S, _End, NULL);
}

#ifndef _WLOCALE_DEFINED
#define _WLOCALE_DEFINED
_ACRTIMP wchar_t* __cdecl _wsetlocale(int, const wchar_t*);
#endif

_ACRTIMP wint_t __cdecl btowc(int);
_ACRTIMP size_t __cdecl mbrlen(const char*, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl mbrtowc(wchar_t*, const char*, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl mbsrtowcs(wchar_t*, const char**, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl wcrtomb(char*, wchar_t, mbstate_t*);
_ACRTIMP size_t __cdecl wcsrtombs(char*, const wchar_t**, size_t, mbstate_t*);
_ACRTIMP int __cdecl wctob(wint_t);
_ACRTIMP int __cdecl mbsinit(const mbstate_t*);
_ACRTIMP errno_t __cdecl wmemcpy_s(wchar_t*, size_t, const wchar_t*, size_t);
_ACRTIMP errno_t __cdecl wmemmove_s(wchar_t*, size_t, const wchar_t*, size_t);

// UCRT has no fwide(); like Microsoft's header, answer "orientation unknown".
static inline int __cdecl fwide(FILE* _Stream, int _Mode) {
    (void)_Stream;
    (void)_Mode;
    return 0;
}

static inline const wchar_t* __brickwright_wmemchr(const wchar_t* s, wchar_t c, size_t n) {
    for (const wchar_t* end = s + n; s < end; s++)
        if (*s == c)
            return s;
    return NULL;
}
#ifdef __cplusplus
}
extern "C++" {
inline const wchar_t* wmemchr(const wchar_t* s, wchar_t c, size_t n) {
    return __brickwright_wmemchr(s, c, n);
}
inline wchar_t* wmemchr(wchar_t* s, wchar_t c, size_t n) {
    return (wchar_t*)__brickwright_wmemchr(s, c, n);
}
}
extern "C" {
#else
static inline wchar_t* wmemchr(const wchar_t* s, wchar_t c, size_t n) {
    return (wchar_t*)__brickwright_wmemchr(s, c, n);
}
#endif

static inline int __cdecl wmemcmp(const wchar_t* s1, const wchar_t* s2, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (s1[i] > s2[i])
            return 1;
        if (s1[i] < s2[i])
            return -1;
    }
    return 0;
}
static inline wchar_t* __cdecl wmemcpy(wchar_t* dst, const wchar_t* src, size_t n) {
    return (wchar_t*)memcpy(dst, src, n * sizeof(wchar_t));
}
static inline wchar_t* __cdecl wmemmove(wchar_t* dst, const wchar_t* src, size_t n) {
    return (wchar_t*)memmove(dst, src, n * sizeof(wchar_t));
}
static inline wchar_t* __cdecl wmemset(wchar_t* s, wchar_t c, size_t n) {
    for (size_t i = 0; i < n; i++)
        s[i] = c;
    return s;
}

#ifdef __cplusplus
}
#endif
