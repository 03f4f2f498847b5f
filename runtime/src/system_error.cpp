// What microsoft/STL keeps in the static part of its import library (msvcprt.lib) for
// std::system_category rather than in msvcp140.dll: the system's message text for an error code. Written
// here against the contract its header declares (<__msvc_system_error_abi.hpp>).
#include <__msvc_system_error_abi.hpp>

#include <windows.h>

extern "C" {

// The system's text for an error code, without the line end it comes with; freed by the next function.
size_t __stdcall __std_system_error_allocate_message(unsigned long messageId, char** text) noexcept {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, messageId, 0, reinterpret_cast<char*>(text), 0, nullptr);
    if (length == 0) {
        *text = nullptr;
        return 0;
    }
    while (length > 0 &&
           ((*text)[length - 1] == '\n' || (*text)[length - 1] == '\r' || (*text)[length - 1] == ' ')) {
        --length;
    }
    return length;
}

void __stdcall __std_system_error_deallocate_message(char* text) noexcept {
    LocalFree(text);
}
}
