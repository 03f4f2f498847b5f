// The mod's binding to its loader on Windows. The DLL has no import of xinput1_3.dll: each host name's
// import resolves to a slot of ours (host_binding_list.hpp), which this fills from the loader already
// in the process before any of the library's static initialisers run, trying each name's spellings in
// the order of the list. When one name binds to none, nothing is filled, the reason is written out and
// the library's load fails: its entry returns FALSE.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brickwright/host_binding.hpp"
#include "host_binding_list.hpp"

#include <windows.h>

namespace brickwright::hostbinding {
namespace {

struct Spelling {
    std::string_view name;
    std::string_view changes; // "Type=key ...", empty for the header's own
};

struct Function {
    std::string_view text;
    std::vector<Spelling> spellings;
};

// The list as the build wrote it; nullopt when it is not one (a damaged DLL).
std::optional<std::vector<Function>> parseList(std::string_view text) {
    std::vector<Function> functions;
    bool header = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!header) {
            if (line != "brickwright-bind 1") {
                return std::nullopt;
            }
            header = true;
        } else if (line == "end") {
            return functions.empty() ? std::nullopt : std::optional(std::move(functions));
        } else if (line.starts_with("function ")) {
            functions.push_back(Function{line.substr(9), {}});
        } else if (line.starts_with("spelling ") && !functions.empty()) {
            const std::string_view rest = line.substr(9);
            const std::size_t space = rest.find(' ');
            functions.back().spellings.push_back(
                space == std::string_view::npos ? Spelling{rest, {}}
                                                : Spelling{rest.substr(0, space), rest.substr(space + 1)});
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Which spelling of each function bound, written at load before anything else runs; a plain array so
// that no static initialiser comes after and resets it.
constexpr std::size_t kMaxFunctions = 64;
unsigned char boundSpelling[kMaxFunctions] = {};

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(size - 1));
    return result;
}

std::string modulePath(HMODULE module) {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : utf8(path);
}

// The loader's console is the process's standard output; a debugger sees the same lines.
void say(const std::string& line) {
    const std::string text = line + "\n";
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    OutputDebugStringA(text.c_str());
}

void refuse(const std::vector<std::string>& reasons, const std::string& loaderPath) {
    for (const std::string& reason : reasons) {
        say("Brickwright cannot load: " + reason);
    }
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&boundSpelling), &self);
    const std::string mod = self != nullptr ? modulePath(self) : std::string();
    say("Brickwright: to see what the loader has instead, run checker\\brickwright-sigcheck --loader \"" +
        (loaderPath.empty() ? std::string("path\\to\\xinput1_3.dll") : loaderPath) + "\" \"" +
        (mod.empty() ? std::string("path\\to\\Brickwright.dll") : mod) + "\"");
}

int bind() {
    const std::optional<std::vector<Function>> functions = parseList(detail::kBindList);
    if (!functions || functions->size() != detail::kSlotCount || functions->size() > kMaxFunctions) {
        refuse({"its list of the loader's functions is damaged (section .bwbind)"}, {});
        return 1;
    }
    HMODULE loader = GetModuleHandleW(L"xinput1_3.dll");
    if (loader == nullptr) {
        refuse({"no mod loader (xinput1_3.dll) is loaded in this process"}, {});
        return 1;
    }
    std::vector<void*> found(functions->size(), nullptr);
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < functions->size(); ++i) {
        const Function& function = (*functions)[i];
        for (std::size_t j = 0; j < function.spellings.size() && found[i] == nullptr; ++j) {
            const std::string name(function.spellings[j].name);
            found[i] = reinterpret_cast<void*>(GetProcAddress(loader, name.c_str()));
            boundSpelling[i] = static_cast<unsigned char>(j);
        }
        if (found[i] == nullptr) {
            missing.push_back("the loader has no " + std::string(function.text));
        }
    }
    if (!missing.empty()) {
        refuse(missing, modulePath(loader));
        return 1;
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        *detail::kSlots[i] = found[i];
    }
    return 0;
}

} // namespace

std::vector<std::string> differingKeys() {
    std::vector<std::string> keys;
    const std::optional<std::vector<Function>> functions = parseList(detail::kBindList);
    if (!functions) {
        return keys;
    }
    for (std::size_t i = 0; i < functions->size() && i < kMaxFunctions; ++i) {
        std::string_view changes = (*functions)[i].spellings[boundSpelling[i]].changes;
        while (!changes.empty()) {
            const std::size_t space = changes.find(' ');
            const std::string key(changes.substr(0, space));
            changes.remove_prefix(space == std::string_view::npos ? changes.size() : space + 1);
            bool known = false;
            for (const std::string& seen : keys) {
                known = known || seen == key;
            }
            if (!known) {
                keys.push_back(key);
            }
        }
    }
    return keys;
}

} // namespace brickwright::hostbinding

// Run by the C runtime's start-up code among the C initialisers, all of which come before the C++ ones;
// a non-zero result fails the library's load (Microsoft's runtime and runtime/ treat it alike).
extern "C" int __cdecl brickwrightBindHostAtLoad() {
    try {
        return brickwright::hostbinding::bind();
    } catch (const std::exception&) {
        return 1;
    }
}

#pragma section(".CRT$XIU", long, read)
extern "C" __declspec(allocate(".CRT$XIU")) int(__cdecl* const brickwrightBindHostInitializer)() =
    brickwrightBindHostAtLoad;
#pragma comment(linker, "/include:brickwrightBindHostInitializer")
