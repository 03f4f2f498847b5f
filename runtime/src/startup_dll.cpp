// The entry point of every DLL of the Windows build (the mod, the stand-in loader).
// Entry point _DllMainCRTStartup: runs this module's C/C++ initializers on
// attach, and on detach its own atexit table (static destructors), its
// facet list and its RTTI name cache. atexit/_onexit are module-local, kept
// in a ucrtbase.dll onexit table (_initialize_onexit_table & co.).
#include <corecrt_startup.h>
#include <vcruntime_typeinfo.h>

extern "C" {
int __cdecl __bw_run_initializers(void);
void __cdecl __bw_facet_tidy(void);
void __cdecl __security_init_cookie(void);

static _onexit_table_t __bw_module_atexit = {};

int __cdecl atexit(_PVFV func) {
    return _register_onexit_function(&__bw_module_atexit, (_onexit_t)func);
}
_onexit_t __cdecl _onexit(_onexit_t func) {
    return _register_onexit_function(&__bw_module_atexit, func) == 0 ? func : nullptr;
}

// Optional user DllMain; without one the default below is used.
int __stdcall __bw_default_DllMain(void*, unsigned long, void*) {
    return 1;
}
int __stdcall DllMain(void* inst, unsigned long reason, void* reserved);
#pragma comment(linker, "/alternatename:DllMain=__bw_default_DllMain")

int __stdcall _DllMainCRTStartup(void* inst, unsigned long reason, void* reserved) {
    enum { PROCESS_DETACH = 0, PROCESS_ATTACH = 1 };
    if (reason == PROCESS_ATTACH) {
        __security_init_cookie(); // before any protected function runs
        if (_initialize_onexit_table(&__bw_module_atexit) != 0)
            return 0;
        if (__bw_run_initializers() != 0)
            return 0;
        return DllMain(inst, reason, reserved);
    }
    int ok = DllMain(inst, reason, reserved);
    if (reason == PROCESS_DETACH) {
        _execute_onexit_table(&__bw_module_atexit);
        __bw_facet_tidy();
        __std_type_info_destroy_list(&__type_info_root_node);
    }
    return ok;
}
}
