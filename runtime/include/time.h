// time.h -- the Windows build's own wrapper around Wine's <time.h>: adds
// C11 struct timespec / timespec_get (ucrtbase: _timespec64_get), used by
// the STL's <ctime>, <xtimec.h> and <chrono>.
#pragma once
#include_next <time.h>
#ifdef __cplusplus
extern "C" {
#endif
#ifndef _CRT_TIMESPEC_DEFINED
#define _CRT_TIMESPEC_DEFINED
struct _timespec32 {
    __time32_t tv_sec;
    long tv_nsec;
};
struct _timespec64 {
    __time64_t tv_sec;
    long tv_nsec;
};
struct timespec {
    time_t tv_sec;
    long tv_nsec;
};
#endif
#ifndef TIME_UTC
#define TIME_UTC 1
#endif
_ACRTIMP errno_t __cdecl _localtime64_s(struct tm* _Tm, const __time64_t* _Time);
static inline errno_t __cdecl localtime_s(struct tm* _Tm, const time_t* _Time) {
    return _localtime64_s(_Tm, _Time);
}
_ACRTIMP int __cdecl _timespec64_get(struct _timespec64* _Ts, int _Base);
static inline int __cdecl timespec_get(struct timespec* _Ts, int _Base) {
    return _timespec64_get((struct _timespec64*)_Ts, _Base);
}
#ifdef __cplusplus
}
#endif
