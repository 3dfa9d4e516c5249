#include "start.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

#include <fontconfig/fontconfig.h>

#include <thread>

namespace varnel {

void applyApplicationSettings() {
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    // The window asks for the Windows fonts "宋体" (a Song/Ming typeface) and
    // "Arial"; on Debian they are drawn with AR PL UMing and the
    // metric-compatible Liberation Sans.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("AR PL UMing TW")});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    // Tool tips and the error report use the Song face of the window's own
    // texts, as on a Chinese desktop; it also spares loading a further font.
    QFont song(QStringLiteral("宋体"), 9);
    song.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(song);
}

int start(int argc, char **argv, const std::function<std::unique_ptr<QWidget>()> &createForm) {
    // Reading the system's font configuration takes several milliseconds and
    // the window's first text needs it. It is read on a second thread while
    // the application connects to the display, and is ready before the window
    // is built. The library is safe to call from any thread.
    std::thread fontConfiguration([] { FcInit(); });
    QApplication app(argc, argv);
    applyApplicationSettings();
    fontConfiguration.join();
    const std::unique_ptr<QWidget> form = createForm();
    form->show();
    return app.exec();
}

} // namespace varnel
