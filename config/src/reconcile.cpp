#include "config/config.hpp"

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace {

using json = nlohmann::json;

// A "$" key keeps whatever type was loaded; only object defaults still shape it.
bool isDollarKey(const std::string& key) {
    return !key.empty() && key.front() == '$';
}

// Either integer type stands for the other, and an integer is a good enough floating-point number;
// every other loaded type must be the default's own. Equal types are handled by the caller.
bool fitsNumerically(json::value_t defaultType, json::value_t loadedType) {
    const bool loadedInteger =
        loadedType == json::value_t::number_integer || loadedType == json::value_t::number_unsigned;
    switch (defaultType) {
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
        return loadedInteger;
    case json::value_t::number_float:
        return loadedInteger || loadedType == json::value_t::number_float;
    default:
        return false;
    }
}

// reconcileConfig, keeping in `at` the keys from the top down to the document at hand: when a type
// error leaves, `at` names the value that raised it.
json reconcileWithin(json loaded, const json& defaults, std::vector<std::string>& at) {
    // Defaults into the loaded document. items() gives the entries as documented for every type:
    // members of an object, decimal indices of an array, nothing for null, one "" entry for a scalar.
    for (const auto& entry : defaults.items()) {
        const std::string& key = entry.key();
        const json& fallback = entry.value();

        if (!loaded.contains(key)) {
            // operator[] turns null into an object and raises type error 305 on any other non-object.
            loaded[key] = fallback;
            continue;
        }

        json& member = loaded[key];
        if (!isDollarKey(key) && member.type() != fallback.type()) {
            if (!fitsNumerically(fallback.type(), member.type())) {
                member = fallback;
            }
            continue;
        }
        if (fallback.is_object()) {
            // The member is ours to give away: this document is a copy, and a raised error discards it.
            at.push_back(key);
            member = reconcileWithin(std::move(member), fallback, at);
            at.pop_back();
        }
    }

    // Whatever the defaults do not hold goes. The keys are gathered first so that erasing cannot
    // disturb the walk; erase() on anything but an object raises type error 307.
    std::vector<std::string> doomed;
    for (const auto& entry : loaded.items()) {
        if (!defaults.is_object() || !defaults.contains(entry.key())) {
            doomed.push_back(entry.key());
        }
    }
    for (const std::string& key : doomed) {
        loaded.erase(key);
    }
    return loaded;
}

} // namespace

nlohmann::json reconcileConfig(nlohmann::json loaded, const nlohmann::json& defaults) {
    std::vector<std::string> at;
    return reconcileWithin(std::move(loaded), defaults, at);
}

namespace brickwright {

Reconciliation reconcileOrRefuse(nlohmann::json loaded, const nlohmann::json& defaults) {
    Reconciliation result;
    try {
        result.document = reconcileWithin(std::move(loaded), defaults, result.refusedAt);
    } catch (const json::type_error&) {
        result.refusal = std::current_exception();
        result.document = nullptr;
    }
    return result;
}

} // namespace brickwright
