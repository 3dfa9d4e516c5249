// Runs the built window program as a separate process, without a display.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status;
    std::string err;
};

// Runs `ENV varnel ARGS` through the shell with standard error captured.
Outcome runVarnel(const std::string &env, const std::string &args) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env +
                                " '" + VARNEL_PATH + "' " + args + " 2>&1 >/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    std::string err;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        err.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), err};
}

TEST(VarnelProcess, NoDisplayIsSaidPlainlyWithStatusOne) {
    const Outcome r = runVarnel("", "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("varnel: cannot open the window: no display (DISPLAY is not set)"),
              std::string::npos)
        << r.err;
}

// Qt's own options do not reach it: told to use the X11 platform, which has
// no display here, it would fail at once; instead it runs on the offscreen
// platform until the time limit ends it.
TEST(VarnelProcess, QtOptionsAreNotTaken) {
    const Outcome r = runVarnel("QT_QPA_PLATFORM=offscreen timeout 2",
                                "-platform xcb -geometry 300x200 -style windows");
    EXPECT_EQ(r.status, 124) << r.err;
}

} // namespace
