// The entry point of every program of the Windows build (the stand-in game, the tests, the tools): sets
// the stack cookie, ucrtbase.dll's arguments and environment, runs the initialisers, then exit(main()).
// atexit goes to ucrtbase.dll's table for the process, which exit() runs (the static destructors); the
// main thread's thread_local destructors run before it, through the TLS callback handed to ucrtbase.dll.
#include <corecrt_startup.h>
#include <stdlib.h>

#include <windows.h>

#include "startup.hpp"

extern "C" {

_ACRTIMP void __cdecl _register_thread_local_exe_atexit_callback(PIMAGE_TLS_CALLBACK callback);

int __cdecl main(int argc, char** argv);

int __cdecl atexit(_PVFV function) {
    return _crt_atexit(function);
}

_onexit_t __cdecl _onexit(_onexit_t function) {
    return _crt_atexit(reinterpret_cast<_PVFV>(function)) == 0 ? function : nullptr;
}

// Status 255 when a C initialiser refuses to start the program.
int __cdecl mainCRTStartup() {
    __security_init_cookie(); // before any function that checks it
    _set_app_type(_crt_console_app);
    _configure_narrow_argv(_crt_argv_unexpanded_arguments);
    _initialize_narrow_environment();
    if (brickwright::runtime::runInitializers() != 0) {
        exit(255);
    }
    _crt_atexit(brickwright::runtime::releaseFacets);
    _register_thread_local_exe_atexit_callback(__dyn_tls_init);
    exit(main(__argc, __argv));
}
}
