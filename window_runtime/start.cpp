#include "window_runtime/start.h"

#include "generated/version.h"

#include <QApplication>
#include <QWidget>

#if VARNEL_FONTCONFIG
#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace varnel {

namespace {

QtMessageHandler previousHandler = nullptr;
const char *programName = "varnel";

// Qt ends the program through a fatal message when it cannot open the window
// (no display, no platform plug-in); that would abort with a core dump. Say it
// plainly on standard error instead and exit with status 1.
void reportFatal(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type != QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    QString reason = message.section(QLatin1Char('\n'), 0, 0);
    if (message.contains(QLatin1String("platform plugin"))) {
        const QString display = qEnvironmentVariable("DISPLAY");
        reason = display.isEmpty()
                     ? QStringLiteral("no display (DISPLAY is not set)")
                     : QStringLiteral("cannot connect to the display \"%1\"").arg(display);
    }
    std::fprintf(stderr, "%s: cannot open the window: %s\n", programName, qPrintable(reason));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

void sayPlainlyWhenNoWindowOpens(const char *program) {
    programName = program;
    previousHandler = qInstallMessageHandler(reportFatal);
}

void applyApplicationSettings() {
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    QApplication::setApplicationVersion(QString::fromLatin1(version));
}

int start(int argc, char **argv, const std::function<std::unique_ptr<QWidget>()> &createForm) {
#if VARNEL_FONTCONFIG
    // Reading the system's font configuration takes several milliseconds and
    // the window's first text needs it. It is read on a second thread while
    // the application connects to the display, and is ready before the window
    // is built. The library is safe to call from any thread. The thread runs
    // at the lowest priority (on Linux a thread has its own), so that it takes
    // only time the connection to the display leaves idle.
    std::thread fontConfiguration([] {
        setpriority(PRIO_PROCESS, 0, 19);
        FcInit();
    });
#endif
    // The window takes no command line: Qt's own options (-geometry, -style,
    // ...) would change the window and with it the exit animation, so Qt is
    // handed the program name alone.
    int qtArgc = argc > 0 ? 1 : 0;
    sayPlainlyWhenNoWindowOpens("varnel");
    QApplication app(qtArgc, argv);
    applyApplicationSettings();
#if VARNEL_FONTCONFIG
    fontConfiguration.join();
#endif
    const std::unique_ptr<QWidget> form = createForm();
    form->show();
    return app.exec();
}

} // namespace varnel
