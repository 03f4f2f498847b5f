// The module's TLS directory, which __declspec(thread), thread_local and the thread-safe statics' epoch
// need, and the life of thread_local objects with dynamic initialisation: clang-cl puts their
// initialisers in .CRT$XDU and, before each access, calls __dyn_tls_on_demand_init unless this thread's
// __tls_guard is set; their destructors are registered with __tlregdtor and run by the TLS callback.
#include <corecrt_startup.h>
#include <stdlib.h>

#include <windows.h>

#include "startup.hpp"

#pragma section(".tls", long, read, write)
#pragma section(".tls$ZZZ", long, read, write)
#pragma section(".CRT$XLA", long, read)
#pragma section(".CRT$XLC", long, read)
#pragma section(".CRT$XLZ", long, read)
#pragma section(".CRT$XDA", long, read)
#pragma section(".CRT$XDZ", long, read)

namespace brickwright::runtime {

// IMAGE_TLS_DIRECTORY64, with pointers where <winnt.h> has integers: the linker fills them in, so the
// directory needs no code to run.
struct TlsDirectory {
    const void* startOfRawData;
    const void* endOfRawData;
    const void* indexAddress;
    const void* callbacks;
    unsigned int sizeOfZeroFill;
    unsigned int characteristics;
};
static_assert(sizeof(TlsDirectory) == sizeof(IMAGE_TLS_DIRECTORY64));

} // namespace brickwright::runtime

namespace {

// Destructors of this thread's thread_local objects, newest first.
struct TlsDestructor {
    TlsDestructor* next;
    _PVFV destroy;
};
__declspec(thread) TlsDestructor* threadDestructors = nullptr;

} // namespace

extern "C" {

unsigned long _tls_index = 0;
__declspec(allocate(".tls")) __attribute__((used)) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) __attribute__((used)) char _tls_end = 0;
__declspec(allocate(".CRT$XLA")) __attribute__((used)) PIMAGE_TLS_CALLBACK __xl_a = nullptr;
__declspec(allocate(".CRT$XLZ")) __attribute__((used)) PIMAGE_TLS_CALLBACK __xl_z = nullptr;

extern const brickwright::runtime::TlsDirectory _tls_used;
__attribute__((used))
const brickwright::runtime::TlsDirectory _tls_used = {&_tls_start, &_tls_end, &_tls_index, &__xl_a + 1, 0, 0};

__declspec(allocate(".CRT$XDA")) __attribute__((used)) _PVFV __xd_a[] = {nullptr};
__declspec(allocate(".CRT$XDZ")) __attribute__((used)) _PVFV __xd_z[] = {nullptr};
__declspec(thread) bool __tls_guard = false;

void __cdecl __dyn_tls_on_demand_init() {
    if (__tls_guard) {
        return;
    }
    __tls_guard = true;
    for (_PVFV* entry = __xd_a; entry < __xd_z; ++entry) {
        if (*entry != nullptr) {
            (*entry)();
        }
    }
}

void __cdecl __tlregdtor(_PVFV destroy) {
    auto* node = static_cast<TlsDestructor*>(malloc(sizeof(TlsDestructor)));
    if (node == nullptr) {
        return; // the object then lives on past its thread, as it would were the thread never to end
    }
    node->next = threadDestructors;
    node->destroy = destroy;
    threadDestructors = node;
}

// lld-link requires this name once __tls_guard is used. Nothing to do when a thread starts (the objects
// are initialised on demand); when it ends, and when the process does, its destructors run.
void __stdcall __dyn_tls_init(void*, unsigned long reason, void*) {
    if (reason != DLL_THREAD_DETACH && reason != DLL_PROCESS_DETACH) {
        return;
    }
    while (TlsDestructor* node = threadDestructors) {
        threadDestructors = node->next;
        node->destroy();
        free(node);
    }
}
}

namespace {
__declspec(allocate(".CRT$XLC")) __attribute__((used)) PIMAGE_TLS_CALLBACK tlsCallback = __dyn_tls_init;
} // namespace
