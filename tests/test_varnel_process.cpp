// Runs the built window program as a separate process, without a display.
#include "shell_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs `ENV varnel ARGS` with no display; its standard error is the output.
varnel::testing::ShellOutcome runVarnel(const std::string &env, const std::string &args) {
    return varnel::testing::runShell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env +
                                     " '" + VARNEL_PATH + "' " + args + " 2>&1 >/dev/null");
}

TEST(VarnelProcess, NoDisplayIsSaidPlainlyWithStatusOne) {
    const auto r = runVarnel("", "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("varnel: cannot open the window: no display (DISPLAY is not set)"),
              std::string::npos)
        << r.out;
}

// Qt's own options do not reach it: told to use the X11 platform, which has
// no display here, it would fail at once; instead it runs on the offscreen
// platform until the time limit ends it.
TEST(VarnelProcess, QtOptionsAreNotTaken) {
    const auto r = runVarnel("QT_QPA_PLATFORM=offscreen timeout 2",
                             "-platform xcb -geometry 300x200 -style windows");
    EXPECT_EQ(r.status, 124) << r.out;
}

} // namespace
