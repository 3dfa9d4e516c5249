#include "start.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QStringList>
#include <QWidget>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <thread>

namespace varnel {

namespace {

// The Windows font families the window asks for, and the Debian families
// that stand in for them: AR PL UMing for the Song typeface "宋体", the
// metric-compatible Liberation Sans for "Arial".
struct Substitutes {
    QString family;
    QStringList standIns;
};

const std::array<Substitutes, 2> &substituteTable() {
    static const std::array<Substitutes, 2> table{{
        {QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW")}},
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
    // Asking the font database about a family it does not hold makes it
    // search the system's aliases, which takes about a millisecond; the
    // window asks for the same two families many times over.
    static QHash<QString, QString> known;
    if (const auto found = known.constFind(family); found != known.cend())
        return *found;
    QString drawn = family;
    if (!QFontDatabase::hasFamily(family)) {
        for (const Substitutes &entry : substituteTable()) {
            if (entry.family.compare(family, Qt::CaseInsensitive) != 0)
                continue;
            const auto standIn = std::find_if(entry.standIns.cbegin(), entry.standIns.cend(),
                                              &QFontDatabase::hasFamily);
            if (standIn != entry.standIns.cend())
                drawn = *standIn;
        }
    }
    known.insert(family, drawn);
    return drawn;
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
