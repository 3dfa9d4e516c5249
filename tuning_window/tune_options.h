#pragma once

#include <QCommandLineParser>
#include <QLocale>

// varnel-tune's command line, one table for the parser, its help and the
// man page's options (a test holds the page to the parser's help).
//
// Worked example: "varnel-tune --version" and "varnel-tune sweep.s2p -h"
// ask only for text, so they are answered without a display;
// "varnel-tune sweep.s2p" and "varnel-tune -- --help" open the window.
namespace varnel {

// The options and the FILE argument, on `parser`.
void configureTuneCommandLine(QCommandLineParser &parser);

// Installs the window's translation for `locale` and Qt's own; true when the
// window's was found. Needs only a core application.
bool installTuneTranslations(const QLocale &locale);

// Whether the arguments (argv[1..]) ask for help or the version, which are
// printed without opening a window.
bool asksOnlyForText(int argc, const char *const *argv);

} // namespace varnel
