// Running a shell command and reading all it writes to standard output, for the tests that run the
// build machine's programs (POSIX only: the Windows tree does not build them).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <string>

namespace testsupport {

struct ShellRun {
    int waitStatus = -1; // as pclose returns it: WIFEXITED, WEXITSTATUS
    std::string out;
};

// Nothing when no shell could be started.
inline std::optional<ShellRun> runShell(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    ShellRun run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, n);
    }
    run.waitStatus = pclose(pipe);
    return run;
}

} // namespace testsupport
