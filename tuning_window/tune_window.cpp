#include "tuning_window/tune_window.h"
#include "tuning_window/tune_options.h"

#include "tuning_window/coupling_panel.h"
#include "tuning_window/input_panel.h"
#include "tuning_window/marker_panel.h"
#include "tuning_window/plan_panel.h"
#include "tuning_window/response_chart.h"
#include "tuning_window/verdict_panel.h"
#include "tuning_window/view_panels.h"
#include "tuning_window/view_settings.h"
#include "tuning_window/window_places.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace varnel {

namespace {

QTimer *singleShot(QObject *parent, const char *name, int milliseconds) {
    auto *timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setSingleShot(true);
    timer->setInterval(milliseconds);
    return timer;
}

// The local file a drag carries, if it carries one. A list announced but
// empty (a source that could not give its data at the drop) carries none.
std::optional<QString> localFileOf(const QMimeData *data) {
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return std::nullopt;
    return urls.first().toLocalFile();
}

} // namespace

TuneWindow::TuneWindow(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("TuneWindow"));
    setWindowTitle(tr("Varnel tuning"));
    setWindowIcon(QIcon(QStringLiteral(":/varnel-tune.png")));
    setAcceptDrops(true);
    buildLayout();
    buildStatusBar();
    m_actions = new WindowActions(this, m_session, m_inputs->stageActions(), m_chart->viewActions(),
                                  {[this](const QString &path) { return exportChartPng(path); },
                                   [this](const QString &path) { return exportChartSvg(path); }},
                                  [this] { return m_inputs->stage(); });
    connect(m_actions, &WindowActions::openRequested, this, &TuneWindow::openFile);
    connect(m_actions, &WindowActions::connectRequested, this, &TuneWindow::connectAnalyser);
    connect(m_actions, &WindowActions::status, m_status, &QLabel::setText);
    addHelpMenu(this);
    m_markerPanel = new MarkerPanel(m_actions->markerButtons());
    m_chartSide->layout()->addWidget(m_markerPanel);
    m_markerPanel->follow(m_session);
    m_verdictPanel->followMemory(m_session);

    // The inputs are kept as they change, not only on quitting: a crash or
    // a kill leaves them as they were typed.
    m_saveDelay = singleShot(this, "saveDelay", 500);
    connect(m_saveDelay, &QTimer::timeout, this, &TuneWindow::saveSettings);
    connect(&m_session, &TuningSession::inputsChanged, m_saveDelay, qOverload<>(&QTimer::start));
    connect(&m_session, &TuningSession::viewChanged, m_saveDelay, qOverload<>(&QTimer::start));
    connect(&m_session, &TuningSession::shownChanged, this, &TuneWindow::showReport);
    connect(&m_session, &TuningSession::inputsChanged, this, &TuneWindow::showInputs);
    connect(&m_session, &TuningSession::sweepChanged, this, &TuneWindow::showSweep);
    connect(&m_session, &TuningSession::reportChanged, this, &TuneWindow::showReport);

    // A file dropped anywhere on the window opens, the chart and the fields
    // included: their own drop handling would take the path as text.
    for (QWidget *child : findChildren<QWidget *>()) {
        child->setAcceptDrops(false);
        child->installEventFilter(this);
    }
    // The first start fits the screen it opens on.
    const QRect available = screen() ? screen()->availableGeometry() : QRect(0, 0, 1180, 760);
    resize(std::min(1180, available.width() * 95 / 100),
           std::min(760, available.height() * 90 / 100));
    restoreSettings();
}

TuneWindow::~TuneWindow() = default;

void TuneWindow::buildLayout() {
    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    m_inputs = new InputPanel(m_session);
    m_inputs->followJournal(m_journal);
    leftLayout->addWidget(m_inputs);
    m_verdictPanel = new VerdictPanel;
    leftLayout->addWidget(m_verdictPanel);
    leftLayout->addStretch(1);
    // The panel scrolls rather than clip its texts on a small screen.
    m_panelScroll = new QScrollArea;
    m_panelScroll->setWidget(left);
    m_panelScroll->setWidgetResizable(true);
    m_panelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Wide enough for every column of the stage table.
    m_panelScroll->setMinimumWidth(m_inputs->tableWidth() + 56 +
                                   m_panelScroll->verticalScrollBar()->sizeHint().width());
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_panelScroll);
    // The views with the marker table under them.
    m_chartSide = new QWidget;
    auto *side = new QVBoxLayout(m_chartSide);
    side->setContentsMargins(0, 0, 0, 0);
    // The response, and the reflection as a Smith chart and in time.
    auto *views = new QTabWidget;
    views->setObjectName(QStringLiteral("views"));
    views->setDocumentMode(true);
    m_chart = new ResponseChart(m_session);
    views->addTab(m_chart, tr("Response"));
    views->addTab(new SmithPanel(m_session), tr("Smith chart"));
    views->addTab(new TimePanel(m_session), tr("Time domain"));
    views->addTab(new CouplingPanel(m_session), tr("Coupling diagram"));
    views->addTab(new PlanPanel(m_session, m_journal), tr("Tuning plan"));
    side->addWidget(views, 1);
    m_splitter->addWidget(m_chartSide);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({m_panelScroll->minimumWidth(), 4 * m_panelScroll->minimumWidth()});
    setCentralWidget(m_splitter);
}

void TuneWindow::buildStatusBar() {
    m_status = plainLabel("status");
    m_status->setWordWrap(false);
    m_readout = plainLabel("readout");
    m_readout->setWordWrap(false);
    connect(m_chart, &ResponseChart::hovered, m_readout, &QLabel::setText);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 0); // busy, with no measure of how far
    m_progress->setMaximumWidth(160);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_readout);
    m_progressDelay = singleShot(this, "progressDelay", 300);
    connect(m_progressDelay, &QTimer::timeout, m_progress, &QWidget::show);
    connect(&m_session, &TuningSession::loadingChanged, this, [this](bool loading) {
        if (loading) {
            m_progressDelay->start();
        } else {
            m_progressDelay->stop();
            m_progress->hide();
        }
    });
}

bool TuneWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::DragEnter) {
        dragEnterEvent(static_cast<QDragEnterEvent *>(event));
        return event->isAccepted();
    }
    if (event->type() == QEvent::Drop) {
        dropEvent(static_cast<QDropEvent *>(event));
        return true;
    }
    // The wheel over a stage or parameter box the tuner has not clicked
    // scrolls the panel: scrolling past it must not change the stage.
    if (event->type() == QEvent::Wheel &&
        (qobject_cast<QAbstractSpinBox *>(watched) || qobject_cast<QComboBox *>(watched)) &&
        !static_cast<QWidget *>(watched)->hasFocus()) {
        QCoreApplication::sendEvent(m_panelScroll->verticalScrollBar(), event);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TuneWindow::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    // A size saved on a larger screen is kept within this one's.
    if (const QScreen *here = screen())
        setGeometry(clampedToScreen(geometry(), here->availableGeometry()));
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    m_splitter->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray());
    m_inputs->restore(settings);
    m_session.setViewState(readViewState(settings));
    m_session.setMarkers(readMarkers(settings));
    // A golden unit's file is loaded again; a stored sweep was this run's.
    const QString memory = settings.value(QStringLiteral("memory/file")).toString();
    if (!memory.isEmpty()) {
        const QString why = openMemory(memory);
        if (!why.isEmpty())
            m_status->setText(tr("The memory was not loaded: %1").arg(why));
    }
}

void TuneWindow::saveSettings() const {
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    settings.setValue(QStringLiteral("window/splitter"), m_splitter->saveState());
    m_inputs->save(settings);
    writeViewState(settings, m_session.viewState());
    writeMarkers(settings, m_session.markers().markers());
    settings.setValue(QStringLiteral("memory/file"), m_session.memoryFile());
    settings.sync();
}

void TuneWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // The frame is known once the window manager has framed the window:
    // then the whole frame, title bar included, is kept within the screen.
    // Without a frame (no window manager) the restored size was kept
    // within the screen already.
    QTimer::singleShot(150, this, [this] {
        if (const QScreen *here = screen(); here && frameGeometry() != geometry())
            if (const QRect kept =
                    clientWithin(geometry(), frameGeometry(), here->availableGeometry());
                kept != geometry()) {
                // move() places the frame, resize() the client area.
                const QPoint frame = kept.topLeft() - (geometry().topLeft() - pos());
                resize(kept.size());
                move(frame);
            }
    });
}

void TuneWindow::closeEvent(QCloseEvent *event) {
    saveSettings();
    QMainWindow::closeEvent(event);
}

void TuneWindow::showInputs() {
    QString runTimeError;
    for (const InputProblem &problem : m_session.problems())
        if (problem.kind == InputProblem::RunTime)
            runTimeError = problemFor(problem);
    m_status->setText(runTimeError);
    emit modelUpdated();
}

void TuneWindow::showSweep() {
    const auto &failure = m_session.sweepFailure();
    if (failure) {
        const QString message = failureFor(*failure);
        m_status->setText(message);
        emit sweepFailed(message);
    } else {
        m_status->clear();
    }
    if (!m_session.network())
        return;
    setWindowTitle(tr("%1 - Varnel tuning").arg(sweepName(m_session)));
    if (!m_session.fromAnalyser())
        m_actions->addRecent(m_session.origin());
}

void TuneWindow::showReport() {
    // A current verdict stays as it is, with the trace it is of, while the
    // next sweep is checked, until the session greys it (shownCurrent).
    const bool current = m_session.reportCurrent();
    if (!current && m_session.shownCurrent())
        return;
    m_verdictPanel->setEnabled(current);
    const bool problems = !m_session.problems().empty();
    // An analyser's next sweep under check: the last verdict (of an earlier
    // sweep) is shown, greyed with the panel, rather than a flicker of
    // "Checking..." each sweep.
    const bool analyserChecking =
        !current && !problems && !m_session.sweepFailure() && m_session.fromAnalyser() &&
        (m_session.report() || m_session.diagnosis() || m_session.matrixDiagnosis());
    if (!current && !analyserChecking) {
        // What stays on screen is marked as not belonging to the inputs.
        m_verdictPanel->showNone(problems ? tr("No verdict: correct the inputs")
                                 : m_session.sweepFailure()
                                     ? (m_session.fromAnalyser()
                                            ? tr("No verdict: the analyser does not answer")
                                            : tr("No verdict: the file does not read"))
                                 : m_session.network() ? tr("Checking...")
                                                       : tr("No sweep loaded"),
                                 !m_session.network());
        return;
    }
    if (m_session.wholeFilter())
        return showDiagnosis();
    if (const auto &refusal = m_session.refusal())
        m_verdictPanel->showRefusal(*refusal);
    else if (const auto &report = m_session.report())
        m_verdictPanel->showStage(*report);
    else
        return;
    emit sweepShown();
}

void TuneWindow::showDiagnosis() {
    if (const auto &refusal = m_session.diagnoseRefusal())
        m_verdictPanel->showRefusal(*refusal);
    else if (m_session.diagnosis() && m_session.network())
        m_verdictPanel->showDiagnosis(*m_session.diagnosis());
    else if (m_session.matrixDiagnosis() && m_session.network())
        m_verdictPanel->showDiagnosis(*m_session.matrixDiagnosis());
    else
        return;
    emit sweepShown();
}

void TuneWindow::placeMarker(double fMHz) {
    m_session.placeMarker(fMHz);
}

std::optional<QPointF> TuneWindow::markerDrawnAt(int marker) const {
    return m_chart->markerDrawnAt(marker);
}

QLineSeries *TuneWindow::memorySeries() const {
    return m_chart->memorySeries();
}

int TuneWindow::bandStretchesShown() const {
    return m_chart->bandStretchesShown();
}

QString TuneWindow::openMemory(const QString &path) {
    if (const auto failure = m_session.openMemory(path))
        return failureFor(*failure);
    return QString();
}

QString TuneWindow::memoryVerdictText() const {
    return VerdictPanel::memoryText(m_session);
}

void TuneWindow::connectAnalyser(const QString &address) {
    m_status->setText(tr("Connecting to %1 ...").arg(shownName(address)));
    m_session.openAnalyser(address);
}

void TuneWindow::openFile(const QString &path) {
    if (path.isEmpty())
        return;
    m_status->setText(tr("Reading %1 ...").arg(shownName(QFileInfo(path).fileName())));
    m_session.openFile(path);
}

void TuneWindow::dragEnterEvent(QDragEnterEvent *event) {
    if (localFileOf(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TuneWindow::dropEvent(QDropEvent *event) {
    const std::optional<QString> path = localFileOf(event->mimeData());
    if (!path)
        return event->ignore();
    openFile(*path);
    event->acceptProposedAction();
}

QString TuneWindow::verdictWord() const {
    if (m_session.wholeFilter() && m_session.diagnosis() && !m_session.diagnoseRefusal())
        return VerdictPanel::word(m_session.diagnosis()->outcome);
    if (m_session.wholeFilter() && m_session.matrixDiagnosis() && !m_session.diagnoseRefusal())
        return VerdictPanel::word(m_session.matrixDiagnosis()->outcome);
    if (!m_session.wholeFilter() && m_session.report() && !m_session.refusal())
        return VerdictPanel::word(m_session.report()->verdict.outcome);
    return m_session.network() ? tr("No verdict") : tr("No sweep loaded");
}

QString TuneWindow::chartCaption() const {
    QStringList parts;
    if (m_session.network())
        parts << sweepName(m_session);
    parts << (m_session.wholeFilter() ? tr("whole filter") : tr("stage %1").arg(m_inputs->stage()));
    parts << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QString verdict = verdictWord();
    if (!m_session.reportCurrent())
        verdict = tr("%1 (not of the sweep and inputs on screen)").arg(verdict);
    parts << verdict;
    return parts.join(QStringLiteral("  \u00b7  "));
}

QString TuneWindow::exportChartPng(const QString &path) {
    const QByteArray bytes = m_chart->png(chartCaption());
    return bytes.isEmpty() ? tr("Cannot draw the chart as PNG") : saveFile(path, bytes);
}

QString TuneWindow::exportChartSvg(const QString &path) {
    return saveFile(path, m_chart->svg(chartCaption(), windowTitle()));
}

QString TuneWindow::exportComparisonCsv(const QString &path) {
    return m_session.exportComparisonCsv(path);
}

QString TuneWindow::exportTargetS1p(const QString &path) {
    return m_session.exportTargetS1p(path);
}

QString TuneWindow::exportSweep(const QString &path) {
    return m_session.exportSweep(path);
}

QString TuneWindow::statusText() const {
    return m_status->text();
}

QString TuneWindow::sweepMessage() const {
    return m_inputs->sweepMessage();
}

std::size_t TuneWindow::measuredPoints() const {
    return m_session.network() ? m_session.network()->size() : 0;
}

QChartView *TuneWindow::chartView() const {
    return m_chart;
}

void loadTranslations(const QLocale &locale) {
    // In Chinese, Latin text in a sans-serif face and CJK text in a sans
    // CJK face (WenQuanYi Micro Hei): the serif CJK faces draw Latin text in
    // a serif and lose underscores.
    static const QFont standard = QApplication::font();
    QFont font = standard;
    if (locale.language() == QLocale::Chinese)
        font.setFamilies(
            {QStringLiteral("Liberation Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    QApplication::setFont(font);
    setTextsTranslated(installTuneTranslations(locale));
}

} // namespace varnel
