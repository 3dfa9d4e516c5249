#include "start.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

#if VARNEL_FONTCONFIG
#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <array>
#include <thread>

namespace varnel {

namespace {

// The Windows font families the window asks for, and the families that stand
// in for them, in order of preference: SimSun (the Song typeface "宋体" under
// its English name) or AR PL UMing, and the metric-compatible Liberation Sans
// for "Arial".
struct Substitutes {
    QString family;
    QStringList standIns;
};

const std::array<Substitutes, 2> &substituteTable() {
    static const std::array<Substitutes, 2> table{{
        {QStringLiteral("宋体"),
         {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
          QStringLiteral("AR PL UMing TW")}},
        {QStringLiteral("Arial"), {QStringLiteral("Liberation Sans")}},
    }};
    return table;
}

} // namespace

void applyApplicationSettings() {
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    for (const Substitutes &entry : substituteTable())
        QFont::insertSubstitutions(entry.family, entry.standIns);
    // Tool tips and the error report use the Song face of the window's own
    // texts, as on a Chinese desktop; it also spares loading a further font.
    QFont song(installedFamily(QStringLiteral("宋体")), 9);
    song.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(song);
}

QString installedFamily(const QString &family) {
    // The installed families, read once. Looking names up in this list rather
    // than through QFontDatabase::hasFamily skips running the system's font
    // alias rules for every name, a fraction of a millisecond each.
    static const QStringList installed = QFontDatabase::families();
    const auto isInstalled = [](const QString &name) {
        return installed.contains(name, Qt::CaseInsensitive);
    };
    if (isInstalled(family))
        return family;
    for (const Substitutes &entry : substituteTable()) {
        if (entry.family.compare(family, Qt::CaseInsensitive) != 0)
            continue;
        const auto standIn =
            std::find_if(entry.standIns.cbegin(), entry.standIns.cend(), isInstalled);
        if (standIn != entry.standIns.cend())
            return *standIn;
    }
    return family;
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
    QApplication app(argc, argv);
    applyApplicationSettings();
#if VARNEL_FONTCONFIG
    fontConfiguration.join();
#endif
    const std::unique_ptr<QWidget> form = createForm();
    form->show();
    return app.exec();
}

} // namespace varnel
