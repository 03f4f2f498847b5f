// The entry point of every DLL of the Windows build (the mod, the stand-in loader). On attach it sets the
// stack cookie and runs this module's initialisers, then the DLL's own DllMain; on detach, after DllMain,
// this module's atexit table (its static destructors), its facets and its type names. atexit and _onexit
// are the module's own, as with Microsoft's /MD runtime: a table of ucrtbase.dll's kept here.
#include <corecrt_startup.h>
#include <stdlib.h>
#include <vcruntime_typeinfo.h>

#include <windows.h>

#include "startup.hpp"

namespace {

_onexit_table_t moduleAtexit = {};

} // namespace

extern "C" {

int __cdecl atexit(_PVFV function) {
    return _register_onexit_function(&moduleAtexit, reinterpret_cast<_onexit_t>(function));
}

_onexit_t __cdecl _onexit(_onexit_t function) {
    return _register_onexit_function(&moduleAtexit, function) == 0 ? function : nullptr;
}

// The DLL's own, or where it defines none this default.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
BOOL WINAPI __brickwright_default_DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#pragma comment(linker, "/alternatename:DllMain=__brickwright_default_DllMain")

// A C initialiser that returns non-zero refuses the load.
BOOL WINAPI _DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        __security_init_cookie(); // before any function that checks it
        if (_initialize_onexit_table(&moduleAtexit) != 0) {
            return FALSE;
        }
        if (brickwright::runtime::runInitializers() != 0) {
            return FALSE;
        }
        return DllMain(module, reason, reserved);
    }
    const BOOL result = DllMain(module, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) {
        _execute_onexit_table(&moduleAtexit);
        brickwright::runtime::releaseFacets();
        __std_type_info_destroy_list(&__type_info_root_node);
    }
    return result;
}
}
