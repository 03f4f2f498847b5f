#include "sigcheck/demangle.hpp"

#include <llvm/Demangle/Demangle.h>

#include <cstdlib>
#include <memory>

namespace sigcheck {

std::optional<std::string> demangle(std::string_view decorated) {
    if (!decorated.starts_with('?')) {
        return std::nullopt;
    }
    int status = 0;
    std::size_t read = 0;
    const std::unique_ptr<char, decltype(&std::free)> text(llvm::microsoftDemangle(decorated, &read, &status),
                                                           &std::free);
    // A name the demangler reads only in part is not one it understood.
    if (status != llvm::demangle_success || !text || read != decorated.size()) {
        return std::nullopt;
    }
    return std::string(text.get());
}

} // namespace sigcheck
