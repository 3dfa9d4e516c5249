#include "calculator_window/window_fonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

#include <algorithm>
#include <array>

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

void applyWindowFonts() {
    static bool applied = false;
    if (applied)
        return;
    applied = true;
    for (const Substitutes &entry : substituteTable())
        QFont::insertSubstitutions(entry.family, entry.standIns);
    // Tool tips and the error report use the Song face of the window's own
    // texts, as on a Chinese desktop; it also spares loading a further font.
    QFont song(installedFamily(QStringLiteral("宋体")), 9);
    song.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(song);
}

} // namespace varnel
