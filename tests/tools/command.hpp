// Running a tool as a maintainer runs it from a shell, for the tool tests: its exit status, standard
// output and standard error, with arguments quoted for the shell.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace toolstest {

inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readText(errors);
    std::filesystem::remove(errors);
    return result;
}

} // namespace toolstest
