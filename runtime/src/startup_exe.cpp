// The entry point of every program of the Windows build (the stand-in game, the tests, the tools).
// Entry point mainCRTStartup: sets up ucrtbase's argv/environment,
// runs initializers, calls main(argc, argv) and exit()s with its result.
// atexit goes to ucrtbase's process-wide table (_crt_atexit), so exit()
// runs static destructors; the main thread's thread_local destructors are
// run first through _register_thread_local_exe_atexit_callback.
#include <corecrt_startup.h>

extern "C" {
int __cdecl __bw_run_initializers(void);
void __cdecl __bw_facet_tidy(void);
void __cdecl __security_init_cookie(void);
_ACRTIMP int* __cdecl __p___argc(void);
_ACRTIMP char*** __cdecl __p___argv(void);
_ACRTIMP __declspec(noreturn) void __cdecl exit(int);
typedef void(__stdcall* __bw_tls_callback_t)(void*, unsigned long, void*);
_ACRTIMP void __cdecl _register_thread_local_exe_atexit_callback(__bw_tls_callback_t);
void __stdcall __dyn_tls_init(void*, unsigned long, void*); // startup_common.cpp
int __cdecl main(int argc, char** argv);

int __cdecl atexit(_PVFV func) {
    return _crt_atexit(func);
}
_onexit_t __cdecl _onexit(_onexit_t func) {
    return _crt_atexit((_PVFV)func) == 0 ? func : nullptr;
}

int __cdecl mainCRTStartup(void) {
    __security_init_cookie(); // before any protected function runs
    _set_app_type(_crt_console_app);
    _configure_narrow_argv(_crt_argv_unexpanded_arguments);
    _initialize_narrow_environment();
    if (__bw_run_initializers() != 0)
        exit(255);
    _crt_atexit(__bw_facet_tidy);
    _register_thread_local_exe_atexit_callback(__dyn_tls_init);
    exit(main(*__p___argc(), *__p___argv()));
}
}
