// The replaceable allocation functions of every module, in a library member of their own: a program
// that defines its own (a test counting allocations) replaces them, as it would Microsoft's.
#include <malloc.h>
#include <new>
#include <stdlib.h>

extern "C" _ACRTIMP int __cdecl _callnewh(size_t size); // ucrtbase: run the new handler

static void* __bw_alloc(size_t size) {
    if (size == 0)
        size = 1;
    for (;;) {
        if (void* p = malloc(size))
            return p;
        if (_callnewh(size) == 0) {
            if (size == static_cast<size_t>(-1))
                throw std::bad_array_new_length();
            throw std::bad_alloc();
        }
    }
}
static void* __bw_alloc_aligned(size_t size, std::align_val_t al) {
    if (size == 0)
        size = 1;
    for (;;) {
        if (void* p = _aligned_malloc(size, static_cast<size_t>(al)))
            return p;
        if (_callnewh(size) == 0)
            throw std::bad_alloc();
    }
}

void* __cdecl operator new(size_t n) {
    return __bw_alloc(n);
}
void* __cdecl operator new[](size_t n) {
    return __bw_alloc(n);
}
void* __cdecl operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return __bw_alloc(n);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t n, const std::nothrow_t&) noexcept {
    try {
        return __bw_alloc(n);
    } catch (...) {
        return nullptr;
    }
}
void __cdecl operator delete(void* p) noexcept {
    free(p);
}
void __cdecl operator delete[](void* p) noexcept {
    free(p);
}
void __cdecl operator delete(void* p, const std::nothrow_t&) noexcept {
    free(p);
}
void __cdecl operator delete[](void* p, const std::nothrow_t&) noexcept {
    free(p);
}
void __cdecl operator delete(void* p, size_t) noexcept {
    free(p);
}
void __cdecl operator delete[](void* p, size_t) noexcept {
    free(p);
}

void* __cdecl operator new(size_t n, std::align_val_t al) {
    return __bw_alloc_aligned(n, al);
}
void* __cdecl operator new[](size_t n, std::align_val_t al) {
    return __bw_alloc_aligned(n, al);
}
void* __cdecl operator new(size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    try {
        return __bw_alloc_aligned(n, al);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    try {
        return __bw_alloc_aligned(n, al);
    } catch (...) {
        return nullptr;
    }
}
void __cdecl operator delete(void* p, std::align_val_t) noexcept {
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, std::align_val_t) noexcept {
    _aligned_free(p);
}
void __cdecl operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(p);
}
void __cdecl operator delete(void* p, size_t, std::align_val_t) noexcept {
    _aligned_free(p);
}
void __cdecl operator delete[](void* p, size_t, std::align_val_t) noexcept {
    _aligned_free(p);
}
