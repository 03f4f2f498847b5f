// Reading a file whole, byte for byte, as the tests compare what programs wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// The same as unsigned bytes, as an image reader takes them; empty when the file cannot be opened.
inline std::vector<std::uint8_t> readByteVector(const std::filesystem::path& path) {
    const std::string bytes = readBytes(path).value_or(std::string());
    return {bytes.begin(), bytes.end()};
}

} // namespace testsupport
