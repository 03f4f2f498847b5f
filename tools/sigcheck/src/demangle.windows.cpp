#include "sigcheck/demangle.hpp"

#include <windows.h>

#include <dbghelp.h>

#include <vector>

namespace sigcheck {

std::optional<std::string> demangle(std::string_view decorated) {
    if (!decorated.starts_with('?')) {
        return std::nullopt;
    }
    const std::string name(decorated);
    // Names in the host interface run to a few hundred characters; templates can take more.
    std::vector<char> text(8192);
    const DWORD length =
        UnDecorateSymbolName(name.c_str(), text.data(), static_cast<DWORD>(text.size()), UNDNAME_COMPLETE);
    // A name it cannot read comes back as it went in.
    if (length == 0 || std::string_view(text.data(), length) == decorated) {
        return std::nullopt;
    }
    return std::string(text.data(), length);
}

} // namespace sigcheck
