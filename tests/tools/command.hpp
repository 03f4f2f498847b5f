// Running a tool as a maintainer runs it from a shell, for the tool tests: its exit status, standard
// output and standard error, with arguments quoted for the shell.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files.hpp"
#include "shell.hpp"

namespace toolstest {

inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The file's bytes; empty when it cannot be opened.
inline std::string readText(const std::filesystem::path& path) {
    return testsupport::readBytes(path).value_or(std::string());
}

// Standard output of a shell command.
inline std::string capture(const std::string& command) {
    std::optional<testsupport::ShellRun> ran = testsupport::runShell(command);
    if (!ran) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    return std::move(ran->out);
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// `program` with `arguments`; standard error passes through a scratch file of this process's own.
inline Outcome run(const std::string& program, const std::vector<std::string>& arguments) {
    static int runs = 0;
    const std::filesystem::path errors =
        std::filesystem::temp_directory_path() /
        ("brickwright-tool-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs));
    std::string command = quote(program);
    for (const std::string& argument : arguments) {
        command += ' ' + quote(argument);
    }
    command += " 2>" + quote(errors.string());
    Outcome result;
    std::optional<testsupport::ShellRun> ran = testsupport::runShell(command);
    if (!ran) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    result.out = std::move(ran->out);
    result.status = WIFEXITED(ran->waitStatus) ? WEXITSTATUS(ran->waitStatus) : -1;
    result.err = readText(errors);
    std::filesystem::remove(errors);
    return result;
}

// A suite whose tests write files: a scratch folder of this process's own, made before the suite's
// first test and removed after its last.
class ScratchSuite : public testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = std::filesystem::temp_directory_path() /
                   ("brickwright-tool-test-" + std::to_string(getpid()) + "-scratch");
        std::filesystem::create_directories(scratch_);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(scratch_); }

    static std::filesystem::path scratch(const std::string& name) { return scratch_ / name; }

private:
    static inline std::filesystem::path scratch_;
};

} // namespace toolstest
