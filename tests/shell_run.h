#pragma once

// Runs a shell command line as a script would, for the tests of the built
// programs.
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace varnel::testing {

struct ShellOutcome {
    int status; // the exit status, or 128 + the signal that ended it
    std::string out;
};

// Runs `command` through /bin/sh and returns its standard output.
inline ShellOutcome runShell(const std::string &command) {
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}

} // namespace varnel::testing
