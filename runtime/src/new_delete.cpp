// The replaceable allocation functions of every module, in a library member of their own: a program
// that defines its own (a test counting allocations) replaces them, as it would Microsoft's.
//
// A sized delete checks the size it is given against the block's, as the native trees' sanitizers do:
// a block freed as one of another size (an object allocated with room to spare by its class's operator
// new, freed by the sized global form) ends the process with a line on stderr instead of passing.
#include <malloc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <new>

#include <windows.h>

// ucrtbase.dll's, which Wine's headers do not declare.
extern "C" {
_ACRTIMP int __cdecl _callnewh(size_t size);
_ACRTIMP size_t __cdecl _aligned_msize(void* block, size_t alignment, size_t offset);
}

namespace {

// The status Windows reports for a heap found corrupt.
constexpr UINT kHeapCorruption = 0xC0000374u;

// The size a block of `size` bytes is allocated with: a request for none still gets a unique address.
size_t blockSize(size_t size) noexcept {
    return size == 0 ? 1 : size;
}

// Until the allocation succeeds, runs the new handler (ucrtbase.dll's, which std::set_new_handler and
// _set_new_handler set); when there is none, or it reports failure, throws.
template <typename Allocate> void* allocateOrThrow(size_t size, Allocate allocate) {
    for (;;) {
        if (void* block = allocate(blockSize(size))) {
            return block;
        }
        if (_callnewh(blockSize(size)) == 0) {
            if (size == SIZE_MAX) {
                throw std::bad_array_new_length(); // what the compiler asks for when n * sizeof(T) overflows
            }
            throw std::bad_alloc();
        }
    }
}

void* allocatePlain(size_t size) {
    return allocateOrThrow(size, [](size_t bytes) { return malloc(bytes); });
}

void* allocateAligned(size_t size, std::align_val_t alignment) {
    return allocateOrThrow(
        size, [alignment](size_t bytes) { return _aligned_malloc(bytes, static_cast<size_t>(alignment)); });
}

void checkFreedSize(size_t allocated, size_t freed) noexcept {
    if (allocated == blockSize(freed)) {
        return;
    }
    fprintf(stderr, "operator delete: a block of %zu bytes freed as one of %zu bytes\n", allocated, freed);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kHeapCorruption);
}

} // namespace

void* __cdecl operator new(size_t size) {
    return allocatePlain(size);
}
void* __cdecl operator new[](size_t size) {
    return allocatePlain(size);
}
void* __cdecl operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocatePlain(size);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocatePlain(size);
    } catch (...) {
        return nullptr;
    }
}
void __cdecl operator delete(void* block) noexcept {
    free(block);
}
void __cdecl operator delete[](void* block) noexcept {
    free(block);
}
void __cdecl operator delete(void* block, const std::nothrow_t&) noexcept {
    free(block);
}
void __cdecl operator delete[](void* block, const std::nothrow_t&) noexcept {
    free(block);
}
void __cdecl operator delete(void* block, size_t size) noexcept {
    if (block != nullptr) {
        checkFreedSize(_msize(block), size);
    }
    free(block);
}
void __cdecl operator delete[](void* block, size_t size) noexcept {
    if (block != nullptr) {
        checkFreedSize(_msize(block), size);
    }
    free(block);
}

void* __cdecl operator new(size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void* __cdecl operator new[](size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void* __cdecl operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* __cdecl operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void __cdecl operator delete(void* block, std::align_val_t) noexcept {
    _aligned_free(block);
}
void __cdecl operator delete[](void* block, std::align_val_t) noexcept {
    _aligned_free(block);
}
void __cdecl operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(block);
}
void __cdecl operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    _aligned_free(block);
}
void __cdecl operator delete(void* block, size_t size, std::align_val_t alignment) noexcept {
    if (block != nullptr) {
        checkFreedSize(_aligned_msize(block, static_cast<size_t>(alignment), 0), size);
    }
    _aligned_free(block);
}
void __cdecl operator delete[](void* block, size_t size, std::align_val_t alignment) noexcept {
    if (block != nullptr) {
        checkFreedSize(_aligned_msize(block, static_cast<size_t>(alignment), 0), size);
    }
    _aligned_free(block);
}
