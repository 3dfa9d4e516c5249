#pragma once

#include <functional>
#include <memory>

class QString;
class QWidget;

namespace varnel {

// The start service: creates the application, the window (through
// createForm) and shows it, then dispatches window events until the program
// ends. Returns the exit status. The program's entry point only calls this.
int start(int argc, char **argv, const std::function<std::unique_ptr<QWidget>()> &createForm);

// Application-wide settings the window relies on: name, version and the
// font substitutes for the window's fonts. start() applies them; tests that
// build the window without start() call this after creating the application.
void applyApplicationSettings();

// The family a font request for `family` is drawn with: the family itself
// when it is installed, else its first installed substitute (for example
// "宋体" gives "AR PL UMing CN" on Debian), else `family` unchanged. Asking
// for the installed family directly spares Qt a search through every font
// on the system for each request it cannot match by name.
QString installedFamily(const QString &family);

} // namespace varnel
