// Every file test runs in a fresh, empty directory of its own, made current for the test: the
// configuration path is relative to the current directory, exactly as in the game.
#pragma once

#include <gtest/gtest.h>

#include "files.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace configtest {

namespace fs = std::filesystem;

class ScratchDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        std::random_device entropy;
        const fs::path base = fs::temp_directory_path();
        do {
            directory_ =
                base / ("brickwright-config-" + std::to_string(entropy()) + std::to_string(entropy()));
        } while (!fs::create_directory(directory_));
        fs::current_path(directory_);
    }

    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    const fs::path& directory() const { return directory_; }

private:
    fs::path previous_;
    fs::path directory_;
};

using testsupport::readBytes;

inline void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out) << "could not write " << path;
}

// The names in a directory, sorted: what a failed write may have left behind shows here.
inline std::vector<std::string> entriesOf(const fs::path& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Text as the file holds it: every line break as CR LF.
inline std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

} // namespace configtest
