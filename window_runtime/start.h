#pragma once

#include <functional>
#include <memory>

class QWidget;

namespace varnel {

// The start service: creates the application, the window (through
// createForm) and shows it, then dispatches window events until the program
// ends. Returns the exit status. The program's entry point only calls this.
// The command line is not handed to Qt. When no window can be opened (no
// display) it says so on standard error and exits with status 1.
int start(int argc, char **argv, const std::function<std::unique_ptr<QWidget>()> &createForm);

// Makes Qt's fatal message when no window can be opened (no display, no
// platform plug-in) a plain line "PROGRAM: cannot open the window: REASON" on
// standard error and exit status 1, instead of an abort. Call before the
// application object is made.
void sayPlainlyWhenNoWindowOpens(const char *program);

// Application-wide settings: name and version. start() applies them; tests
// that build the window without start() call this after creating the
// application.
void applyApplicationSettings();

} // namespace varnel
