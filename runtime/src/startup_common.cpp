// Linked into every module of the Windows build. It provides what Microsoft's *static* runtime libraries
// normally add to each /MD module and that no DLL exports:
//   * initializer section bounds (.CRT$XI*, .CRT$XC*) and a runner
//   * ::type_info destructor, __type_info_root_node
//   * std::_Facet_Register (per-module list of lazily created locale facets)
//   * __isa_available, _fltused (__chkstk, type_info vftable: intrinsics.S)
//   * thread-safe local statics (_Init_thread_*) and the TLS directory
//   * thread_local dynamic init/destruction (__dyn_tls_on_demand_init,
//     __tls_guard, __tlregdtor, a TLS callback running the destructors)
#include <exception>
#include <malloc.h>
#include <new>
#include <stdlib.h>
#include <typeinfo>
#include <xfacet>

extern "C" {
typedef void(__cdecl* _PVFV)(void);
typedef int(__cdecl* _PIFV)(void);

// ---- initializer tables: the linker sorts .CRT$X?? by suffix ----
#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
#pragma section(".CRT$XLA", long, read)
#pragma section(".CRT$XLZ", long, read)
__declspec(allocate(".CRT$XIA")) __attribute__((used)) _PIFV __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) __attribute__((used)) _PIFV __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) __attribute__((used)) _PVFV __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) __attribute__((used)) _PVFV __xc_z[] = {nullptr};
__declspec(allocate(".CRT$XLA")) __attribute__((used)) void* __xl_a = nullptr; // TLS callbacks
__declspec(allocate(".CRT$XLZ")) __attribute__((used)) void* __xl_z = nullptr;

int __cdecl __bw_run_initializers(void) {
    for (_PIFV* p = __xi_a; p < __xi_z; ++p)
        if (*p)
            if (int r = (**p)())
                return r;
    for (_PVFV* p = __xc_a; p < __xc_z; ++p)
        if (*p)
            (**p)();
    return 0;
}

// ---- TLS directory (needed by __declspec(thread) and _Init_thread_epoch) ----
unsigned long _tls_index = 0;
#pragma section(".tls", long, read, write)
#pragma section(".tls$ZZZ", long, read, write)
__declspec(allocate(".tls")) __attribute__((used)) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) __attribute__((used)) char _tls_end = 0;
struct __bw_tls_directory { // IMAGE_TLS_DIRECTORY64
    const void* StartAddressOfRawData;
    const void* EndAddressOfRawData;
    const void* AddressOfIndex;
    const void* AddressOfCallBacks;
    unsigned int SizeOfZeroFill;
    unsigned int Characteristics;
};
extern const __bw_tls_directory _tls_used;
__attribute__((used))
const __bw_tls_directory _tls_used = {&_tls_start, &_tls_end, &_tls_index, &__xl_a + 1, 0, 0};

// ---- thread_local objects with dynamic initialisation ----
// clang-cl puts their initialisers in .CRT$XDU and, before each access,
// calls __dyn_tls_on_demand_init() unless this thread's __tls_guard is set.
#pragma section(".CRT$XDA", long, read)
#pragma section(".CRT$XDZ", long, read)
#pragma section(".CRT$XLC", long, read)
__declspec(allocate(".CRT$XDA")) __attribute__((used)) _PVFV __xd_a[] = {nullptr};
__declspec(allocate(".CRT$XDZ")) __attribute__((used)) _PVFV __xd_z[] = {nullptr};
__declspec(thread) bool __tls_guard = false;

void __cdecl __dyn_tls_on_demand_init(void) {
    if (__tls_guard)
        return;
    __tls_guard = true;
    for (_PVFV* p = __xd_a; p < __xd_z; ++p)
        if (*p)
            (**p)();
}

// Destructors of this thread's thread_local objects, newest first.
struct __bw_tls_dtor {
    __bw_tls_dtor* next;
    _PVFV fn;
};
__declspec(thread) __bw_tls_dtor* __bw_tls_dtors = nullptr;

void __cdecl __tlregdtor(_PVFV fn) {
    auto* node = static_cast<__bw_tls_dtor*>(malloc(sizeof(__bw_tls_dtor)));
    if (!node)
        return;
    node->next = __bw_tls_dtors;
    node->fn = fn;
    __bw_tls_dtors = node;
}

// TLS callback (lld-link requires this name once __tls_guard is used):
// nothing to do on attach (initialisation is on demand); on thread exit (3)
// and process exit (0) run this thread's thread_local destructors.
void __stdcall __dyn_tls_init(void*, unsigned long reason, void*) {
    if (reason != 0 && reason != 3)
        return;
    while (__bw_tls_dtor* node = __bw_tls_dtors) {
        __bw_tls_dtors = node->next;
        node->fn();
        free(node);
    }
}
__declspec(allocate(".CRT$XLC"))
    __attribute__((used)) void(__stdcall* __bw_tls_callback_ptr)(void*, unsigned long,
                                                                 void*) = __dyn_tls_init;

// ---- misc symbols the compiler or the STL headers reference ----
int _fltused = 0x9875;
_ACRTIMP int __cdecl _callnewh(size_t size); // ucrtbase: run the new handler
int __isa_available = 0;                     // 0 = baseline SSE2; STL then skips lzcnt/tzcnt fast paths

// ---- thread-safe local statics (clang-cl /Zc:threadSafeInit) ----
struct __bw_srwlock {
    void* p;
};
__declspec(dllimport) void __stdcall AcquireSRWLockExclusive(__bw_srwlock*);
__declspec(dllimport) void __stdcall ReleaseSRWLockExclusive(__bw_srwlock*);
__declspec(dllimport) int __stdcall SleepConditionVariableSRW(void**, __bw_srwlock*, unsigned long,
                                                              unsigned long);
__declspec(dllimport) void __stdcall WakeAllConditionVariable(void**);

static __bw_srwlock __bw_init_lock = {nullptr};
static void* __bw_init_cv = nullptr;
static int __bw_init_global_epoch = (-2147483647 - 1);
__declspec(thread) int _Init_thread_epoch = (-2147483647 - 1);

// guard: 0 = not yet, -1 = being initialised, else epoch it completed in.
void __cdecl _Init_thread_header(int* guard) {
    AcquireSRWLockExclusive(&__bw_init_lock);
    while (*guard == -1)
        SleepConditionVariableSRW(&__bw_init_cv, &__bw_init_lock, 0xFFFFFFFFu, 0);
    if (*guard == 0)
        *guard = -1; // caller initialises
    else
        _Init_thread_epoch = __bw_init_global_epoch; // done by someone else
    ReleaseSRWLockExclusive(&__bw_init_lock);
}
void __cdecl _Init_thread_footer(int* guard) {
    AcquireSRWLockExclusive(&__bw_init_lock);
    ++__bw_init_global_epoch;
    *guard = __bw_init_global_epoch;
    _Init_thread_epoch = __bw_init_global_epoch;
    ReleaseSRWLockExclusive(&__bw_init_lock);
    WakeAllConditionVariable(&__bw_init_cv);
}
void __cdecl _Init_thread_abort(int* guard) {
    AcquireSRWLockExclusive(&__bw_init_lock);
    *guard = 0;
    ReleaseSRWLockExclusive(&__bw_init_lock);
    WakeAllConditionVariable(&__bw_init_cv);
}

// __chkstk and ::type_info's vftable live in intrinsics.S.

// ---- per-module RTTI name cache ----
__type_info_node __type_info_root_node = {};
} // extern "C"

type_info::~type_info() noexcept {} // vftable itself: intrinsics.S

// std::nothrow lives apart from the allocation functions, which a program may replace.
namespace std {
const nothrow_t nothrow{};
}

// ---- locale facets created by use_facet<> in this module ----
namespace {
struct _Fac_node {
    _Fac_node* _Next;
    std::_Facet_base* _Facptr;
};
_Fac_node* _Fac_head = nullptr;
} // namespace

extern "C" void __cdecl __bw_facet_tidy(void) {
    while (_Fac_head) {
        _Fac_node* n = _Fac_head;
        _Fac_head = n->_Next;
        if (std::_Facet_base* dead = n->_Facptr->_Decref())
            delete dead;
        free(n);
    }
}

namespace std {
// Called by use_facet<> with the locale lock held.
void __cdecl _Facet_Register(_Facet_base* facet) {
    _Fac_node* n = static_cast<_Fac_node*>(malloc(sizeof(_Fac_node)));
    if (!n)
        return; // leak the facet rather than fail
    n->_Next = _Fac_head;
    n->_Facptr = facet;
    _Fac_head = n;
}
} // namespace std
