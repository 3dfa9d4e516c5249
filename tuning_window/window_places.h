#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QMainWindow;
class QWidget;

// Where the tuning window puts things: its frame on the screen, the names
// its export dialogs propose, its Help menu, and plain-text labels.
namespace varnel {

// A window frame kept within the screen's available area: no larger than
// it, then moved inside it. Example: 1280 x 800 at (0, 0) on a 1024 x 600
// area at (0, 0) becomes 1024 x 600 at (0, 0); 800 x 600 at (900, 500) on
// 1920 x 1080 becomes 800 x 600 at (900, 480).
QRect clampedToScreen(const QRect &frame, const QRect &available);

// The client area whose window frame (`frame`, around `client`) fits the
// screen's available area, as clampedToScreen keeps a frame. Example: client
// 1024 x 600 at (1, 20) in a frame 1026 x 621 at (0, 0), on a 1024 x 600
// area at (0, 0) -> 1022 x 579 at (1, 20).
QRect clientWithin(const QRect &client, const QRect &frame, const QRect &available);

// An export's proposed file: beside the sweep's file, its name without the
// ending, the stage (or "filter") and what it holds; in `home` for an
// analyser's sweep or none. Example: "/bench/unit7.s2p", stage 2, "target",
// "s1p" gives "/bench/unit7-stage2-target.s1p".
QString proposedExportPath(const QString &origin, bool fromAnalyser, int stage, bool wholeFilter,
                           const QString &what, const QString &suffix, const QString &home);

// A word-wrapped label of plain text named `name`: texts from files,
// names and instruments are never taken for markup.
QLabel *plainLabel(const char *name, const QString &text = QString());
// A tool tip that shows outside text literally, where Qt would take text
// that looks like markup for rich text.
QString plainToolTip(const QString &text);
// Sets a style sheet only when it changes: each setting polishes the
// widget and lays it out again, which a sweep or keystroke need not pay for.
void restyle(QWidget *widget, const QString &sheet);

// Help > About: the program, its version and licence, and where its README
// is installed.
void addHelpMenu(QMainWindow *window);

} // namespace varnel
