#include "tuning_window/window_actions.h"

#include "tuning_window/connect_dialog.h"
#include "tuning_window/window_places.h"
#include "tuning_window/window_texts.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

namespace varnel {

namespace {

constexpr int maxRecentFiles = 8;

QAction *checkable(QMenu *menu, const QString &text, const char *name) {
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    return action;
}

} // namespace

QString menuText(const QString &text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

WindowActions::WindowActions(QMainWindow *window, TuningSession &session,
                             QList<QAction *> stageActions, QList<QAction *> chartActions,
                             ChartExports exports, std::function<int()> stage)
    : QObject(window), m_window(window), m_session(session),
      m_stageActions(std::move(stageActions)), m_chartActions(std::move(chartActions)),
      m_exports(std::move(exports)), m_stage(std::move(stage)) {
    buildFile();
    buildMeasurement();
    buildView();
    buildMarkers();
    QToolBar *tools = window->addToolBar(tr("Tools"));
    tools->setObjectName(QStringLiteral("tools"));
    tools->addAction(m_open);
    if (!m_chartActions.isEmpty())
        tools->addAction(m_chartActions.first());
    tools->addAction(m_showDb);
    m_link = new QLabel;
    m_link->setObjectName(QStringLiteral("link"));
    m_link->setTextFormat(Qt::PlainText); // the instrument's own name
    window->statusBar()->addPermanentWidget(m_link);
    connect(&m_session, &TuningSession::sweepChanged, this, &WindowActions::showLink);
    connect(&m_session, &TuningSession::linkChanged, this, &WindowActions::showLink);
    connect(&m_session, &TuningSession::memoryChanged, this,
            [this] { m_clearMemory->setEnabled(m_session.memory() != nullptr); });
    connect(&m_session, &TuningSession::viewChanged, this, &WindowActions::showView);
    showLink();
    showView();
    fillRecentMenu();
}

void WindowActions::buildFile() {
    QMenu *file = m_window->menuBar()->addMenu(tr("&File"));
    m_open = file->addAction(tr("&Open sweep..."), this, [this] {
        emit openRequested(QFileDialog::getOpenFileName(
            m_window, tr("Open sweep"), QFileInfo(m_session.origin()).absolutePath(),
            tr("Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)")));
    });
    m_open->setShortcut(QKeySequence::Open);
    m_recentMenu = file->addMenu(tr("Open &recent"));
    file->addSeparator();
    const auto session = [this](QString (TuningSession::*exporter)(const QString &) const) {
        return [this, exporter](const QString &path) { return (m_session.*exporter)(path); };
    };
    QAction *save = file->addAction(tr("&Save comparison as CSV..."), this, [=, this] {
        exportWithDialog(tr("Save comparison"), tr("CSV files (*.csv)"),
                         QStringLiteral("comparison"),
                         session(&TuningSession::exportComparisonCsv));
    });
    save->setShortcut(QKeySequence::Save);
    file->addAction(tr("Export target as .s1p..."), this, [=, this] {
        exportWithDialog(tr("Export target curve"), tr("Touchstone files (*.s1p)"),
                         QStringLiteral("target"), session(&TuningSession::exportTargetS1p));
    });
    file->addAction(tr("Export chart as PNG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("PNG images (*.png)"), QStringLiteral("chart"),
                         m_exports.png);
    });
    file->addAction(tr("Export chart as SVG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("SVG images (*.svg)"), QStringLiteral("chart"),
                         m_exports.svg);
    });
    file->addSeparator();
    file->addAction(tr("&Quit"), m_window, &QWidget::close)->setShortcut(QKeySequence::Quit);
}

void WindowActions::buildMeasurement() {
    QMenu *measurement = m_window->menuBar()->addMenu(tr("&Measurement"));
    measurement->addActions(m_stageActions);
    measurement->addSeparator();
    measurement->addAction(tr("&Connect to analyser..."), this, [this] {
        ConnectDialog dialog(m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
        dialog.remember();
        emit connectRequested(dialog.address());
    });
    m_disconnect =
        measurement->addAction(tr("&Disconnect"), &m_session, &TuningSession::disconnectAnalyser);
    m_hold = checkable(measurement, tr("&Hold"), "hold");
    m_hold->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(m_hold, &QAction::toggled, &m_session, &TuningSession::setHeld);
    measurement->addSeparator();
    QAction *store = measurement->addAction(tr("Store sweep as &memory"), &m_session,
                                            &TuningSession::storeMemory);
    store->setObjectName(QStringLiteral("storeMemory"));
    store->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    measurement->addAction(tr("Memory from &file..."), this, &WindowActions::chooseMemory);
    m_clearMemory =
        measurement->addAction(tr("C&lear memory"), &m_session, &TuningSession::clearMemory);
    m_clearMemory->setEnabled(false);
    measurement->addSeparator();
    m_saveSweep = measurement->addAction(tr("&Save sweep as Touchstone..."), this, [this] {
        const auto &network = m_session.network();
        const bool twoPort =
            network && network->ports == 2 && !network->only && !network->forwardOnly;
        exportWithDialog(tr("Save sweep"),
                         twoPort ? tr("Touchstone files (*.s2p)") : tr("Touchstone files (*.s1p)"),
                         QStringLiteral("sweep"),
                         [this](const QString &path) { return m_session.exportSweep(path); });
    });
}

void WindowActions::buildView() {
    QMenu *view = m_window->menuBar()->addMenu(tr("&View"));
    view->addActions(m_chartActions);
    m_showBand = checkable(view, tr("&Tolerance band"), "showBand");
    m_showBand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(m_showBand, &QAction::toggled, this,
            [this](bool on) { setView([&](ViewState &v) { v.band = on; }); });
    m_againstMemory = checkable(view, tr("Verdict against the &memory"), "againstMemory");
    connect(m_againstMemory, &QAction::toggled, this,
            [this](bool on) { setView([&](ViewState &v) { v.againstMemory = on; }); });
    m_showDb = checkable(view, tr("|S11| in dB"), "showDb");
    connect(m_showDb, &QAction::toggled, this,
            [this](bool on) { setView([&](ViewState &v) { v.showDb = on; }); });
}

void WindowActions::buildMarkers() {
    QMenu *menu = m_window->menuBar()->addMenu(tr("Mar&kers"));
    QAction *atF0 = menu->addAction(tr("Marker at &f0"), this, [this] {
        m_session.addMarker({Marker::AtF0, 0, 0});
    });
    atF0->setObjectName(QStringLiteral("markerAtF0"));
    atF0->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    QAction *lobes = menu->addAction(tr("Markers at the &lobe peaks"), &m_session,
                                     &TuningSession::markersAtLobePeaks);
    lobes->setObjectName(QStringLiteral("markersAtLobes"));
    lobes->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    m_delta = checkable(menu, tr("&Delta to marker 1"), "delta");
    m_delta->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    connect(m_delta, &QAction::toggled, &m_session, &TuningSession::setDelta);
    menu->addSeparator();
    menu->addAction(tr("Move the marker a point &left"), this, [this] { m_session.moveMarker(-1); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    menu->addAction(tr("Move the marker a point &right"), this, [this] { m_session.moveMarker(1); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    for (int n = 0; n < static_cast<int>(maxMarkers); ++n)
        menu->addAction(tr("Select marker %1").arg(n + 1), this,
                        [this, n] { m_session.selectMarker(n); })
            ->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + n)));
    QAction *remove = menu->addAction(tr("Re&move the marker"), this, [this] {
        m_session.removeMarker(m_session.markers().selected());
    });
    remove->setObjectName(QStringLiteral("removeMarker"));
    QAction *clear =
        menu->addAction(tr("&Clear markers"), &m_session, &TuningSession::clearMarkers);
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    m_markerButtons = {atF0, lobes, m_delta, clear};
}

void WindowActions::setView(const std::function<void(ViewState &)> &change) {
    ViewState view = m_session.viewState();
    change(view);
    m_session.setViewState(view);
}

void WindowActions::showView() {
    const ViewState &view = m_session.viewState();
    const std::pair<QAction *, bool> checks[] = {{m_showBand, view.band},
                                                 {m_againstMemory, view.againstMemory},
                                                 {m_showDb, view.showDb},
                                                 {m_delta, view.delta}};
    for (const auto &[action, on] : checks)
        if (action->isChecked() != on) {
            const QSignalBlocker block(action);
            action->setChecked(on);
        }
    m_showDb->setEnabled(!view.wholeFilter); // the whole filter's chart is all dB
}

void WindowActions::chooseMemory() {
    const QString path = QFileDialog::getOpenFileName(
        m_window, tr("Memory from file"), QFileInfo(m_session.origin()).path(),
        tr("Touchstone files (*.s1p *.s2p *.S1P *.S2P);;All files (*)"));
    if (path.isEmpty())
        return;
    if (const auto failure = m_session.openMemory(path))
        warn(tr("Memory from file"), failureFor(*failure));
}

void WindowActions::showLink() {
    using Link = TuningSession::Link;
    const Link link = m_session.link();
    const QString source = shownName(m_session.analyserAddress());
    QString text;
    switch (link) {
    case Link::None:
        break;
    case Link::Connecting:
        text = tr("Connecting to %1").arg(source);
        break;
    case Link::Connected:
        text = tr("Connected: %1").arg(m_session.identity());
        break;
    case Link::Lost:
        text = tr("Connection lost: connecting again");
        break;
    case Link::Held:
        text = tr("Held: the sweep on screen stays");
        break;
    case Link::Closed:
        text = tr("Disconnected: the last sweep stays");
        break;
    }
    m_link->setText(text);
    m_link->setVisible(!text.isEmpty());
    const bool live = link != Link::None && link != Link::Closed;
    m_disconnect->setEnabled(live);
    m_hold->setEnabled(live);
    {
        const QSignalBlocker block(m_hold);
        m_hold->setChecked(link == Link::Held);
    }
    m_saveSweep->setEnabled(m_session.network() != nullptr);
}

void WindowActions::addRecent(const QString &path) {
    QSettings settings;
    QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!recent.isEmpty() && recent.first() == absolute)
        return;
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > maxRecentFiles)
        recent.removeLast();
    settings.setValue(QStringLiteral("recentFiles"), recent);
    fillRecentMenu();
}

void WindowActions::fillRecentMenu() {
    m_recentMenu->clear();
    const QStringList recent = QSettings().value(QStringLiteral("recentFiles")).toStringList();
    for (const QString &path : recent)
        m_recentMenu
            ->addAction(menuText(shownName(QFileInfo(path).fileName())), this,
                        [this, path] { emit openRequested(path); })
            ->setToolTip(plainToolTip(path));
    m_recentMenu->setToolTipsVisible(true);
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void WindowActions::warn(const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, m_window);
    box.setTextFormat(Qt::PlainText); // paths and system messages are not markup
    box.exec();
}

void WindowActions::exportWithDialog(const QString &title, const QString &filter,
                                     const QString &what,
                                     const std::function<QString(const QString &)> &exporter) {
    // A name from the sweep's, beside its file.
    const QString suffix =
        filter.section(QStringLiteral("*."), 1, 1).section(QLatin1Char(')'), 0, 0);
    const QString proposed =
        proposedExportPath(m_session.origin(), m_session.fromAnalyser(), m_stage(),
                           m_session.wholeFilter(), what, suffix, QDir::homePath());
    QString path = QFileDialog::getSaveFileName(m_window, title, proposed, filter);
    if (path.isEmpty())
        return;
    // A name typed without its ending gets the one of the filter ("*.csv").
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + suffix;
    if (const QString error = exporter(path); !error.isEmpty())
        warn(title, error);
    else
        emit status(tr("Saved %1").arg(shownName(path)));
}

} // namespace varnel
