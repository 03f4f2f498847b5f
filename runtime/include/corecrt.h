// corecrt.h -- the Windows build's own wrapper around Wine's <corecrt.h>.
// Adds the UCRT's multibyte conversion state type, whose struct name
// (_Mbstatet) is part of MSVC-mangled STL names (codecvt, fpos).
#pragma once
#include_next <corecrt.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef struct _Mbstatet {
    unsigned long _Wchar;
    unsigned short _Byte;
    unsigned short _State;
} _Mbstatet;
typedef _Mbstatet mbstate_t;
#ifdef __cplusplus
}
#endif
