// The console's colours and the host's clock.
#include <cstdio>
#include <ctime>
#include <iostream>

#include "host_state.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace standin::detail {
namespace {

#if defined(_WIN32)

struct Console {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WORD original = 0;
    bool coloured = false;
    bool changed = false;
};

Console& console() {
    static Console c = [] {
        Console result;
        result.handle = GetStdHandle(STD_OUTPUT_HANDLE);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (result.handle != INVALID_HANDLE_VALUE && result.handle != nullptr &&
            GetConsoleScreenBufferInfo(result.handle, &info)) {
            result.coloured = true;
            result.original = info.wAttributes;
        }
        return result;
    }();
    return c;
}

#else

struct Console {
    bool coloured = false;
    bool changed = false;
};

Console& console() {
    static Console c = [] {
        Console result;
        result.coloured = ::isatty(STDOUT_FILENO) == 1;
        return result;
    }();
    return c;
}

// The console palette's sixteen colours as ANSI foreground colours.
constexpr int kAnsiForeground[16] = {30, 34, 32, 36, 31, 35, 33, 37, 90, 94, 92, 96, 91, 95, 93, 97};

#endif

// Text already written must come out in the colour that was set when it was written.
void flushConsole() {
    consoleBuffer()->pubsync();
    std::fflush(stdout);
}

// A game that ends while a mod's colour is set must not leave the terminal in it.
struct ConsoleRestorer {
    ~ConsoleRestorer() { standin::resetConsoleColor(); }
} restoreAtExit;

} // namespace

void applyConsoleColor(int color) {
    Console& c = console();
    if (!c.coloured || color < 0 || color > 15) {
        return;
    }
    c.changed = true;
#if defined(_WIN32)
    flushConsole();
    SetConsoleTextAttribute(c.handle, static_cast<WORD>((c.original & 0xF0) | color));
#else
    const std::string code = "\033[" + std::to_string(kAnsiForeground[color]) + "m";
    consoleBuffer()->sputn(code.data(), static_cast<std::streamsize>(code.size()));
#endif
}

std::string clockTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::string describePath(const wchar_t* path) {
    if (path == nullptr) {
        return "null";
    }
    std::string text;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        const auto code = static_cast<unsigned long>(*p);
        if (code >= 0x20 && code <= 0x7e) {
            text += static_cast<char>(code);
        } else {
            char escaped[24];
            std::snprintf(escaped, sizeof escaped, "\\u{%lx}", code);
            text += escaped;
        }
    }
    return text;
}

} // namespace standin::detail

namespace standin {

bool consoleIsColoured() {
    return detail::console().coloured;
}

void resetConsoleColor() {
    detail::Console& c = detail::console();
    if (!c.coloured || !c.changed) {
        return;
    }
    c.changed = false;
#if defined(_WIN32)
    detail::flushConsole();
    SetConsoleTextAttribute(c.handle, c.original);
#else
    static constexpr char kReset[] = "\033[0m";
    detail::consoleBuffer()->sputn(kReset, sizeof kReset - 1);
    detail::flushConsole();
#endif
}

} // namespace standin
