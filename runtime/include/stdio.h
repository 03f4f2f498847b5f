// stdio.h -- the Windows build's own wrapper around Wine's <stdio.h>: adds the
// C99 v*scanf forms and _get_stream_buffer_pointers that MSVC's <cstdio> and
// <fstream> use; all map onto documented ucrtbase.dll exports.
#pragma once
#include_next <stdio.h>
#ifdef __cplusplus
extern "C" {
#endif
static inline int __cdecl vfscanf(FILE* _F, const char* _Fmt, va_list _A) {
    return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _F, _Fmt, NULL, _A);
}
static inline int __cdecl vscanf(const char* _Fmt, va_list _A) {
    return vfscanf(stdin, _Fmt, _A);
}
static inline int __cdecl vsscanf(const char* _Buf, const char* _Fmt, va_list _A) {
    return __stdio_common_vsscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buf, (size_t)-1, _Fmt, NULL, _A);
}
_ACRTIMP errno_t __cdecl _get_stream_buffer_pointers(FILE* _Stream, char*** _Base, char*** _Ptr,
                                                     int** _Count);
#ifdef __cplusplus
}
#endif
