#include "tuning_window/window_places.h"

#include "generated/version.h"
#include "tuning_window/window_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include <algorithm>

namespace varnel {

QRect clampedToScreen(const QRect &frame, const QRect &available) {
    if (!available.isValid())
        return frame;
    QRect kept(frame.topLeft(), frame.size().boundedTo(available.size()));
    kept.moveLeft(std::clamp(kept.left(), available.left(), available.right() - kept.width() + 1));
    kept.moveTop(std::clamp(kept.top(), available.top(), available.bottom() - kept.height() + 1));
    return kept;
}

QRect clientWithin(const QRect &client, const QRect &frame, const QRect &available) {
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    return clampedToScreen(frame, available).marginsRemoved(margins);
}

QString proposedExportPath(const QString &origin, bool fromAnalyser, int stage, bool wholeFilter,
                           const QString &what, const QString &suffix, const QString &home) {
    const bool file = !fromAnalyser && !origin.isEmpty();
    const QFileInfo sweep(origin);
    const QString base = file ? sweep.completeBaseName() : QStringLiteral("sweep");
    const QString part =
        wholeFilter ? QStringLiteral("filter") : QStringLiteral("stage%1").arg(stage);
    const QString name =
        base + QLatin1Char('-') + part + QLatin1Char('-') + what + QLatin1Char('.') + suffix;
    return QDir(file ? sweep.path() : home).filePath(name);
}

QLabel *plainLabel(const char *name, const QString &text) {
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QString plainToolTip(const QString &text) {
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(shownName(text).toHtmlEscaped());
}

void restyle(QWidget *widget, const QString &sheet) {
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

namespace {

// The README installed beside the program's folder (bin/../share/doc/...),
// else the source tree's for a program run where it was built.
QString readmePath() {
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/../" VARNEL_README_INSTALLED));
    return QFileInfo::exists(installed) || !QFileInfo::exists(QStringLiteral(VARNEL_README_SOURCE))
               ? installed
               : QStringLiteral(VARNEL_README_SOURCE);
}

} // namespace

void addHelpMenu(QMainWindow *window) {
    QMenu *help = window->menuBar()->addMenu(QCoreApplication::translate("varnel::Help", "&Help"));
    help->addAction(
        QCoreApplication::translate("varnel::Help", "&About Varnel tuning"), window, [window] {
            QMessageBox box(window);
            box.setWindowTitle(QCoreApplication::translate("varnel::Help", "About Varnel tuning"));
            box.setTextFormat(Qt::PlainText);
            box.setText(QCoreApplication::translate(
                            "varnel::Help",
                            "varnel-tune %1\nTuning band-pass cavity filters by the "
                            "group-delay method and a fit of the whole filter.\n\nLicence: "
                            "GNU General Public License, version 3 or later.\nThe README: "
                            "%2")
                            .arg(QString::fromLatin1(version), readmePath()));
            box.exec();
        });
}

} // namespace varnel
