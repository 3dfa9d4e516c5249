#pragma once

class QString;

namespace varnel {

// The family a font request for `family` is drawn with: the family itself
// when it is installed, else its first installed stand-in (for example
// "宋体" gives "AR PL UMing CN" on Debian), else `family` unchanged. Asking
// for the installed family directly spares Qt a search through every font
// on the system for each request it cannot match by name.
QString installedFamily(const QString &family);

// The window's font choices made application-wide, once: the stand-ins for
// the Windows families it names, and the Song face for tool tips and the
// error report. The window applies them before building its controls.
void applyWindowFonts();

} // namespace varnel
