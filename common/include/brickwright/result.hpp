// How everything here that may fail, outside the interfaces fixed by the host and the engine, says so:
// a value, or an Error holding the one-line message a user would see.
#pragma once

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace brickwright {

struct Error {
    std::string message;
};

template <typename T> using Result = tl::expected<T, Error>;

// The error side of a Result, for `return fail("...")`.
[[nodiscard]] inline tl::unexpected<Error> fail(std::string message) {
    return tl::unexpected<Error>(Error{std::move(message)});
}

} // namespace brickwright
