// Two arbitrary JSON documents reconciled: the loaded one before the first NUL byte, the defaults
// after it. Inputs that are not two JSON texts are skipped.
// Holds when: the only exceptions are the type errors 305 and 307; every member of the result is a
// member of the defaults, at every level where both are objects, and a non-empty object as defaults
// leaves exactly its members; every member without a dollar key has a type that fits its default;
// reconciling the result again changes nothing; the inputs are untouched.
#include "config/config.hpp"
#include "json_identity.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using json = nlohmann::json;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

using testsupport::identical;

bool isInteger(json::value_t type) {
    return type == json::value_t::number_integer || type == json::value_t::number_unsigned;
}

bool fits(json::value_t defaultType, json::value_t loadedType) {
    if (defaultType == loadedType) {
        return true;
    }
    if (isInteger(defaultType)) {
        return isInteger(loadedType);
    }
    return defaultType == json::value_t::number_float && isInteger(loadedType);
}

// The result against the defaults it came from, level by level where both are objects.
void checkMembers(const json& result, const json& defaults) {
    if (!result.is_object()) {
        return;
    }
    for (const auto& member : result.items()) {
        if (!defaults.is_object() || !defaults.contains(member.key())) {
            fail("a member of the result is not a member of the defaults");
        }
    }
    if (!defaults.is_object()) {
        return;
    }
    if (!defaults.empty() && result.size() != defaults.size()) {
        fail("a member of the defaults is missing from the result");
    }
    for (const auto& member : result.items()) {
        const json& fallback = defaults[member.key()];
        const bool dollar = !member.key().empty() && member.key().front() == '$';
        if (!dollar && !fits(fallback.type(), member.value().type())) {
            fail("a member's type does not fit its default");
        }
        if (fallback.is_object()) {
            checkMembers(member.value(), fallback);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const auto* split = static_cast<const char*>(std::memchr(text, '\0', size));
    if (split == nullptr) {
        return 0;
    }
    const json loaded = json::parse(text, split, nullptr, false);
    const json defaults = json::parse(split + 1, text + size, nullptr, false);
    if (loaded.is_discarded() || defaults.is_discarded()) {
        return 0;
    }
    const json loadedBefore = loaded;
    const json defaultsBefore = defaults;

    json result;
    try {
        result = reconcileConfig(loaded, defaults);
    } catch (const json::type_error& e) {
        if (e.id != 305 && e.id != 307) {
            fail("a type error other than 305 or 307");
        }
        if (!identical(loaded, loadedBefore) || !identical(defaults, defaultsBefore)) {
            fail("an input changed");
        }
        return 0;
    } catch (...) {
        fail("an exception other than the library's type errors");
    }

    if (!identical(loaded, loadedBefore) || !identical(defaults, defaultsBefore)) {
        fail("an input changed");
    }
    checkMembers(result, defaults);
    if (!result.is_object() && !result.empty()) {
        fail("a result that is neither an object nor empty");
    }
    try {
        if (!identical(reconcileConfig(result, defaults), result)) {
            fail("reconciling the result again changed it");
        }
    } catch (...) {
        fail("reconciling the result again raised");
    }
    return 0;
}
