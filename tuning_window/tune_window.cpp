#include "tuning_window/tune_window.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "tuning/group_delay.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QToolBar>
#include <QTranslator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <functional>

namespace varnel {

namespace {

constexpr int curvePoints = 801;
constexpr int maxShownPoints = 2000; // of a measured trace, per series
constexpr int maxRecentFiles = 8;

QString qs(const std::string &text) {
    return QString::fromStdString(text);
}

QString number(double value, int decimals) {
    return qs(formatFixed(value, decimals));
}

// At most about `limit` points of a trace for drawing: the lowest and the
// highest of each run of neighbouring points, so that no peak is lost.
QList<QPointF> pointsForDrawing(const std::vector<double> &x, const std::vector<double> &y,
                                std::size_t limit) {
    QList<QPointF> points;
    if (x.size() <= limit) {
        points.reserve(static_cast<qsizetype>(x.size()));
        for (std::size_t i = 0; i < x.size(); ++i)
            points.append(QPointF(x[i], y[i]));
        return points;
    }
    const std::size_t run = (2 * x.size() + limit - 1) / limit;
    for (std::size_t start = 0; start < x.size(); start += run) {
        const std::size_t end = std::min(start + run, x.size());
        const auto [low, high] = std::minmax_element(y.begin() + static_cast<long>(start),
                                                     y.begin() + static_cast<long>(end));
        const std::size_t a = static_cast<std::size_t>(low - y.begin());
        const std::size_t b = static_cast<std::size_t>(high - y.begin());
        points.append(QPointF(x[std::min(a, b)], y[std::min(a, b)]));
        if (a != b)
            points.append(QPointF(x[std::max(a, b)], y[std::max(a, b)]));
    }
    return points;
}

// A row of a form: a line edit with its unit beside it, and below it the
// label that gives the reason when its value cannot be used.
QLineEdit *addField(QFormLayout *form, const char *name, const QString &label, const QString &text,
                    const QString &unit, QLabel *&reason) {
    auto *edit = new QLineEdit(text);
    edit->setObjectName(QString::fromLatin1(name));
    auto *row = new QWidget;
    auto *rowLayout = new QVBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *line = new QHBoxLayout;
    line->addWidget(edit);
    if (!unit.isEmpty())
        line->addWidget(new QLabel(unit));
    rowLayout->addLayout(line);
    reason = new QLabel;
    reason->setObjectName(QString::fromLatin1(name) + QStringLiteral("Reason"));
    reason->setWordWrap(true);
    reason->setStyleSheet(QStringLiteral("color: #b00020"));
    reason->hide();
    rowLayout->addWidget(reason);
    form->addRow(label, row);
    return edit;
}

} // namespace

QString adviceFor(const CheckReport &r) {
    const int k = r.settings.stage;
    QString text;
    switch (r.cause) {
    case CheckReport::Cause::Frequency:
        if (k == 1)
            text = r.tunedHigh ? TuneWindow::tr("Resonator %1 is tuned high: the delay peak sits "
                                                "above its target frequency. Tune resonator %1 "
                                                "down in frequency.")
                               : TuneWindow::tr("Resonator %1 is tuned low: the delay peak sits "
                                                "below its target frequency. Tune resonator %1 "
                                                "up in frequency.");
        else
            text = r.tunedHigh ? TuneWindow::tr("Resonator %1 is tuned high: the upper lobe stands "
                                                "higher than the target's. Tune resonator %1 down "
                                                "in frequency.")
                               : TuneWindow::tr("Resonator %1 is tuned low: the lower lobe stands "
                                                "higher than the target's. Tune resonator %1 up in "
                                                "frequency.");
        text = text.arg(k);
        if (r.pass)
            text += TuneWindow::tr(" The centre delay is within tolerance.");
        break;
    case CheckReport::Cause::Coupling:
        if (k == 1)
            text = r.deviationPercent > 0
                       ? TuneWindow::tr("The centre delay is too long: the input coupling is too "
                                        "weak. Strengthen it.")
                       : TuneWindow::tr("The centre delay is too short: the input coupling is too "
                                        "strong. Weaken it.");
        else
            text = (r.deviationPercent > 0
                        ? TuneWindow::tr("The centre delay is too long: the coupling into "
                                         "resonator %1 (between resonators %2 and %1) is too "
                                         "weak. Strengthen it.")
                        : TuneWindow::tr("The centre delay is too short: the coupling into "
                                         "resonator %1 (between resonators %2 and %1) is too "
                                         "strong. Weaken it."))
                       .arg(k)
                       .arg(k - 1);
        break;
    case CheckReport::Cause::None:
        text = k == r.order ? TuneWindow::tr("Within tolerance: every resonator is tuned.")
                            : TuneWindow::tr("Within tolerance: go on to stage %1.").arg(k + 1);
        break;
    }
    if (r.lossNotModelled)
        text += TuneWindow::tr(" The sweep shows loss (S11 %1 dB at f0) that the lossless target "
                               "leaves out: give the resonators' unloaded Q.")
                    .arg(number(r.s11DbMeasured, 2));
    return text;
}

// The chart with a readout of the point under the mouse pointer; drag a
// rectangle to zoom.
class ChartView : public QChartView {
  public:
    using QChartView::QChartView;
    std::function<void(QPointF)> onHover;

  protected:
    void mouseMoveEvent(QMouseEvent *event) override {
        if (onHover && chart())
            onHover(chart()->mapToValue(event->position()));
        QChartView::mouseMoveEvent(event);
    }
};

TuneWindow::TuneWindow(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("TuneWindow"));
    setWindowTitle(tr("Varnel tuning"));
    setWindowIcon(QIcon(QStringLiteral(":/varnel-tune.png")));
    setAcceptDrops(true);

    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    buildInputs(left);
    buildVerdict(left);
    buildMeasurement(left);
    leftLayout->addStretch(1);
    buildChart();

    // The panel scrolls rather than clip its texts on a small screen.
    auto *scroll = new QScrollArea;
    scroll->setWidget(left);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Wide enough for every column of the stage table.
    int tableWidth = 0;
    for (int c = 0; c < m_stages->columnCount(); ++c)
        tableWidth +=
            m_stages->fontMetrics().horizontalAdvance(m_stages->horizontalHeaderItem(c)->text()) +
            24;
    scroll->setMinimumWidth(tableWidth + 40 + scroll->verticalScrollBar()->sizeHint().width());
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(scroll);
    m_splitter->addWidget(m_view);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({scroll->minimumWidth(), 4 * scroll->minimumWidth()});
    setCentralWidget(m_splitter);

    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("status"));
    m_readout = new QLabel;
    m_progress = new QProgressBar;
    m_progress->setRange(0, 0); // busy, with no measure of how far
    m_progress->setMaximumWidth(160);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_readout);
    buildMenus();

    m_rereadDelay.setSingleShot(true);
    // The changes of one write, however many pieces, make one read.
    m_rereadDelay.setInterval(0);
    connect(&m_rereadDelay, &QTimer::timeout, this, [this] { openFile(m_path); });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &TuneWindow::fileChanged);
    m_progressDelay.setSingleShot(true);
    m_progressDelay.setInterval(300);
    connect(&m_progressDelay, &QTimer::timeout, this, [this] {
        m_progress->show();
        m_status->setText(tr("Reading %1 ...").arg(QFileInfo(m_pendingPath).fileName()));
    });
    connect(&m_loadWatcher, &QFutureWatcher<Loaded>::finished, this, &TuneWindow::loadFinished);
    connect(&m_checkWatcher, &QFutureWatcher<std::variant<CheckReport, std::string>>::finished,
            this, &TuneWindow::showReport);

    resize(1180, 760); // until the size of the last run is restored
    restoreSettings();
    updateModel();
}

TuneWindow::~TuneWindow() {
    m_loadWatcher.waitForFinished();
    m_checkWatcher.waitForFinished();
}

void TuneWindow::buildInputs(QWidget *panel) {
    auto *box = new QGroupBox(tr("Filter"));
    auto *form = new QFormLayout(box);
    auto field = [&](const char *name, const QString &label, const QString &text,
                     const QString &unit, QLabel *&reason) {
        QLineEdit *edit = addField(form, name, label, text, unit, reason);
        connect(edit, &QLineEdit::textChanged, this, &TuneWindow::updateModel);
        return edit;
    };
    m_order = field("order", tr("Order"), QStringLiteral("5"), QString(), m_orderReason);
    m_bandwidth =
        field("bandwidth", tr("Bandwidth"), QStringLiteral("10"), tr("MHz"), m_bandwidthReason);
    m_ripple = field("ripple", tr("Ripple"), QStringLiteral("0.01"), tr("dB"), m_rippleReason);
    m_f0 = field("f0", tr("Band centre f0"), QStringLiteral("1000"), tr("MHz"), m_f0Reason);
    m_qu = field("qu", tr("Unloaded Q"), QString(), QString(), m_quReason);
    m_qu->setPlaceholderText(tr("lossless"));
    m_stage = new QSpinBox;
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stage->setRange(1, 5);
    form->addRow(tr("Stage"), m_stage);
    connect(m_stage, &QSpinBox::valueChanged, this, &TuneWindow::updateModel);
    panel->layout()->addWidget(box);

    m_stages = new QTableWidget(0, 5);
    m_stages->setObjectName(QStringLiteral("stageTable"));
    m_stages->setHorizontalHeaderLabels(
        {tr("Stage"), tr("g"), tr("Target delay (ns)"), tr("Coupling to next"), tr("External Q")});
    m_stages->verticalHeader()->hide();
    m_stages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_stages->setSelectionMode(QAbstractItemView::SingleSelection);
    m_stages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_stages->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_stages->horizontalHeader()->setStretchLastSection(true);
    m_stages->verticalHeader()->setDefaultSectionSize(m_stages->fontMetrics().height() + 6);
    m_stages->setMinimumHeight(5 * (m_stages->fontMetrics().height() + 6) +
                               m_stages->horizontalHeader()->sizeHint().height() + 4);
    m_stages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_stages->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    connect(m_stages, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto rows = m_stages->selectionModel()->selectedRows();
        if (!rows.isEmpty() && rows.first().row() + 1 != m_stage->value())
            m_stage->setValue(rows.first().row() + 1);
    });
    panel->layout()->addWidget(m_stages);
}

void TuneWindow::buildMeasurement(QWidget *panel) {
    auto *box = new QGroupBox(tr("Measurement"));
    auto *form = new QFormLayout(box);
    m_file = new QLabel(tr("No sweep: open a Touchstone file (Ctrl+O) or drop one here."));
    m_file->setObjectName(QStringLiteral("file"));
    m_file->setWordWrap(true);
    form->addRow(m_file);
    m_parameter = new QComboBox;
    m_parameter->setObjectName(QStringLiteral("parameter"));
    for (const char *name : {"S11", "S22", "S21", "S12"})
        m_parameter->addItem(QString::fromLatin1(name));
    form->addRow(tr("Parameter"), m_parameter);
    connect(m_parameter, &QComboBox::currentTextChanged, this, &TuneWindow::recheck);
    auto option = [&](const char *name, const QString &label, const QString &text,
                      const QString &tip, QLabel *&reason) {
        QLineEdit *edit = addField(form, name, label, text, QString(), reason);
        edit->setToolTip(tip);
        connect(edit, &QLineEdit::textChanged, this, &TuneWindow::recheck);
        return edit;
    };
    m_aperture = option("aperture", tr("Aperture"), QStringLiteral("2"),
                        tr("Frequency steps (2), a percentage of the span (5%) or a width in MHz "
                           "(1.5MHz)"),
                        m_apertureReason);
    m_edelay = option("edelay", tr("Electrical delay (ns)"), QStringLiteral("0"),
                      tr("Removed from the phase before the group delay is taken"), m_edelayReason);
    m_tolerance =
        option("tolerance", tr("Tolerance (%)"), QStringLiteral("2"),
               tr("The largest deviation of the delay at f0 that passes"), m_toleranceReason);
    m_sweepMessage = new QLabel;
    m_sweepMessage->setObjectName(QStringLiteral("sweepMessage"));
    m_sweepMessage->setWordWrap(true);
    m_sweepMessage->setStyleSheet(QStringLiteral("color: #b00020"));
    m_sweepMessage->hide();
    form->addRow(m_sweepMessage);
    panel->layout()->addWidget(box);
}

void TuneWindow::buildVerdict(QWidget *panel) {
    auto *box = new QGroupBox(tr("Verdict"));
    auto *layout = new QVBoxLayout(box);
    m_verdict = new QLabel(tr("No sweep loaded"));
    m_verdict->setObjectName(QStringLiteral("verdict"));
    QFont big = m_verdict->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_verdict->setFont(big);
    m_delays = new QLabel;
    m_delays->setObjectName(QStringLiteral("delays"));
    m_lobes = new QLabel;
    m_lobes->setObjectName(QStringLiteral("lobes"));
    m_quality = new QLabel;
    m_quality->setObjectName(QStringLiteral("quality"));
    m_quality->hide();
    m_advice = new QLabel;
    m_advice->setObjectName(QStringLiteral("advice"));
    for (QLabel *label : {m_delays, m_lobes, m_quality, m_advice}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    for (QLabel *label : {m_verdict, m_delays, m_lobes, m_quality, m_advice})
        layout->addWidget(label);
    panel->layout()->addWidget(box);
}

void TuneWindow::buildChart() {
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_axisF = new QValueAxis;
    m_axisF->setTitleText(tr("Frequency (MHz)"));
    m_axisF->setLabelFormat(QStringLiteral("%.1f"));
    m_axisDelay = new QValueAxis;
    m_axisDelay->setTitleText(tr("Group delay (ns)"));
    m_axisDelay->setLabelFormat(QStringLiteral("%.0f"));
    m_axisDb = new QValueAxis;
    m_axisDb->setTitleText(tr("|S11| (dB)"));
    m_axisDb->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_axisF, Qt::AlignBottom);
    m_chart->addAxis(m_axisDelay, Qt::AlignLeft);
    m_chart->addAxis(m_axisDb, Qt::AlignRight);

    auto series = [&](const QString &name, QColor colour, Qt::PenStyle style, qreal width,
                      QValueAxis *y) {
        auto *s = new QLineSeries;
        s->setName(name);
        QPen pen(colour);
        pen.setWidthF(width);
        pen.setStyle(style);
        s->setPen(pen);
        m_chart->addSeries(s);
        s->attachAxis(m_axisF);
        s->attachAxis(y);
        return s;
    };
    m_target = series(tr("Target delay"), QColor(0x1f, 0x4e, 0xa8), Qt::SolidLine, 2, m_axisDelay);
    m_measured =
        series(tr("Measured delay"), QColor(0xd6, 0x4b, 0x00), Qt::SolidLine, 1.5, m_axisDelay);
    m_f0Marker = series(tr("f0"), QColor(0x55, 0x55, 0x55), Qt::DashLine, 1, m_axisDelay);
    m_targetDb = series(tr("Target |S11|"), QColor(0x1f, 0x4e, 0xa8), Qt::DotLine, 1, m_axisDb);
    m_measuredDb = series(tr("Measured |S11|"), QColor(0xd6, 0x4b, 0x00), Qt::DotLine, 1, m_axisDb);

    m_view = new ChartView(m_chart);
    m_view->setObjectName(QStringLiteral("chart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRubberBand(QChartView::RectangleRubberBand);
    m_view->setMinimumSize(420, 320);
    m_view->setMouseTracking(true);
    m_view->onHover = [this](QPointF value) {
        if (!m_curve || value.x() < m_axisF->min() || value.x() > m_axisF->max())
            return m_readout->clear();
        m_readout->setText(tr("%1 MHz, %2 ns").arg(number(value.x(), 3), number(value.y(), 2)));
    };
}

void TuneWindow::buildMenus() {
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QToolBar *tools = addToolBar(tr("Tools"));
    tools->setObjectName(QStringLiteral("tools"));
    QAction *open = file->addAction(tr("&Open sweep..."), this, &TuneWindow::chooseFile);
    open->setShortcut(QKeySequence::Open);
    m_recentMenu = file->addMenu(tr("Open &recent"));
    file->addSeparator();
    QAction *save = file->addAction(tr("&Save comparison as CSV..."), this, [this] {
        exportWithDialog(tr("Save comparison"), tr("CSV files (*.csv)"),
                         &TuneWindow::exportComparisonCsv);
    });
    save->setShortcut(QKeySequence::Save);
    file->addAction(tr("Export target as .s1p..."), this, [this] {
        exportWithDialog(tr("Export target curve"), tr("Touchstone files (*.s1p)"),
                         &TuneWindow::exportTargetS1p);
    });
    file->addAction(tr("Export chart as PNG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("PNG images (*.png)"), &TuneWindow::exportChartPng);
    });
    file->addAction(tr("Export chart as SVG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("SVG images (*.svg)"), &TuneWindow::exportChartSvg);
    });
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    QAction *reset = view->addAction(tr("&Reset zoom"), this, &TuneWindow::autoscale);
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    m_showDb = new QCheckBox(tr("|S11| in dB"));
    m_showDb->setObjectName(QStringLiteral("showDb"));
    QAction *showDb = view->addAction(tr("Show |S11| in dB"));
    showDb->setCheckable(true);
    connect(showDb, &QAction::toggled, m_showDb, &QCheckBox::setChecked);
    connect(m_showDb, &QCheckBox::toggled, showDb, &QAction::setChecked);
    connect(m_showDb, &QCheckBox::toggled, this, [this](bool on) {
        m_axisDb->setVisible(on);
        m_targetDb->setVisible(on);
        m_measuredDb->setVisible(on && m_report);
    });
    m_axisDb->setVisible(false);
    m_targetDb->setVisible(false);
    m_measuredDb->setVisible(false);

    tools->addAction(open);
    tools->addAction(reset);
    tools->addWidget(m_showDb);
    fillRecentMenu();
}

std::vector<std::pair<QLineEdit *, const char *>> TuneWindow::savedFields() const {
    return {{m_order, "order"},   {m_bandwidth, "bandwidth"},
            {m_ripple, "ripple"}, {m_f0, "f0"},
            {m_qu, "qu"},         {m_aperture, "aperture"},
            {m_edelay, "edelay"}, {m_tolerance, "tolerance"}};
}

void TuneWindow::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    m_splitter->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray());
    for (const auto &[edit, key] : savedFields()) {
        const QVariant value = settings.value(QStringLiteral("inputs/") + QLatin1String(key));
        if (value.isValid())
            edit->setText(value.toString());
    }
    updateModel(); // the stage's range follows the order
    m_stage->setValue(settings.value(QStringLiteral("inputs/stage"), 1).toInt());
    m_parameter->setCurrentText(
        settings.value(QStringLiteral("inputs/parameter"), QStringLiteral("S11")).toString());
    m_showDb->setChecked(settings.value(QStringLiteral("view/showDb"), false).toBool());
}

void TuneWindow::saveSettings() const {
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    settings.setValue(QStringLiteral("window/splitter"), m_splitter->saveState());
    for (const auto &[edit, key] : savedFields())
        settings.setValue(QStringLiteral("inputs/") + QLatin1String(key), edit->text());
    settings.setValue(QStringLiteral("inputs/stage"), m_stage->value());
    settings.setValue(QStringLiteral("inputs/parameter"), m_parameter->currentText());
    settings.setValue(QStringLiteral("view/showDb"), m_showDb->isChecked());
}

void TuneWindow::closeEvent(QCloseEvent *event) {
    saveSettings();
    QMainWindow::closeEvent(event);
}

void TuneWindow::markField(QLineEdit *field, QLabel *reason, const QString &message) {
    reason->setText(message);
    reason->setVisible(!message.isEmpty());
    field->setStyleSheet(message.isEmpty() ? QString()
                                           : QStringLiteral("QLineEdit { border: 2px solid "
                                                            "#b00020; }"));
}

std::optional<TuneWindow::Inputs> TuneWindow::readInputs() {
    for (auto [field, reason] : {std::pair{m_order, m_orderReason},
                                 {m_bandwidth, m_bandwidthReason},
                                 {m_ripple, m_rippleReason},
                                 {m_f0, m_f0Reason},
                                 {m_qu, m_quReason}})
        markField(field, reason, QString());
    Inputs inputs;
    bool valid = true;
    const std::optional<double> f0 = parseDecimal(m_f0->text().trimmed().toStdString());
    if (!f0 || !(*f0 > 0)) {
        markField(m_f0, m_f0Reason, tr("Enter the band centre as a positive number of MHz."));
        valid = false;
    } else {
        inputs.f0 = *f0;
    }
    const QString quText = m_qu->text().trimmed();
    if (!quText.isEmpty()) {
        const std::optional<double> qu = parseDecimal(quText.toStdString());
        if (!qu || !(*qu > 0)) {
            markField(m_qu, m_quReason,
                      tr("Enter a positive unloaded Q, or leave it empty for "
                         "lossless resonators."));
            valid = false;
        } else {
            inputs.qu = *qu;
        }
    }
    TableResult table =
        tuningTable(m_order->text().toStdString(), m_bandwidth->text().toStdString(),
                    m_ripple->text().toStdString(), f0 && *f0 > 0 ? f0 : std::nullopt);
    if (const auto *error = std::get_if<RunTimeError>(&table)) {
        m_status->setText(tr("Run-time error %1: %2")
                              .arg(error->number())
                              .arg(error->number() == RunTimeError::DivisionByZero
                                       ? tr("Division by zero")
                                       : tr("Overflow")));
        return std::nullopt;
    }
    if (const auto *refusal = std::get_if<TableRefusal>(&table)) {
        switch (refusal->reason) {
        case TableRefusal::OrderOutOfRange:
            markField(m_order, m_orderReason,
                      tr("The order must be from %1 to %2.")
                          .arg(tableMinimumOrder)
                          .arg(tableMaximumOrder));
            break;
        case TableRefusal::RippleNotPositive:
            markField(m_ripple, m_rippleReason, tr("The ripple must be above 0 dB."));
            break;
        case TableRefusal::BandwidthNotPositive:
            markField(m_bandwidth, m_bandwidthReason, tr("The bandwidth must be above 0 MHz."));
            break;
        }
        return std::nullopt;
    }
    if (!valid)
        return std::nullopt;
    inputs.table = std::get<TuningTable>(std::move(table));
    const int order = static_cast<int>(inputs.table.stages.size());
    if (m_stage->maximum() != order) {
        const QSignalBlocker block(m_stage);
        m_stage->setMaximum(order);
    }
    inputs.stage = std::clamp(m_stage->value(), 1, order);
    if (!(inputs.f0 - 1.5 * inputs.table.first.bandwidth > 0)) {
        markField(m_f0, m_f0Reason, tr("The band centre must lie above 1.5 bandwidths."));
        return std::nullopt;
    }
    return inputs;
}

void TuneWindow::updateModel() {
    std::optional<Inputs> inputs = readInputs();
    if (!inputs) {
        emit modelUpdated();
        return; // the last good table and curve stay on screen
    }
    m_status->clear();
    m_inputs = std::move(inputs);
    fillStageTable(*m_inputs);
    drawTarget(*m_inputs);
    recheck();
    emit modelUpdated();
}

void TuneWindow::fillStageTable(const Inputs &inputs) {
    const std::vector<StageRow> rows = stageRows(inputs.table, inputs.f0, inputs.qu);
    const QSignalBlocker block(m_stages);
    m_stages->setRowCount(static_cast<int>(rows.size()));
    for (const StageRow &row : rows) {
        const int r = row.stage - 1;
        const QString cells[] = {QString::number(row.stage), number(row.g, 5),
                                 number(row.targetDelayNs, 3),
                                 row.coupling ? number(*row.coupling, 6) : QString(),
                                 row.externalQ ? number(*row.externalQ, 2) : QString()};
        for (int c = 0; c < 5; ++c) {
            auto *item = m_stages->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_stages->setItem(r, c, item);
            }
            item->setText(cells[c]);
        }
    }
    m_stages->selectRow(inputs.stage - 1);
}

void TuneWindow::drawTarget(const Inputs &inputs) {
    const StageModel model = stageModel(inputs.table, inputs.stage, inputs.f0, inputs.qu);
    m_curve = targetCurve(model, 3 * inputs.table.first.bandwidth, curvePoints);
    m_target->replace(pointsForDrawing(m_curve->fMHz, m_curve->delayNs, curvePoints));
    m_targetDb->replace(pointsForDrawing(m_curve->fMHz, m_curve->s11Db, curvePoints));
    m_axisDb->setTitleText(tr("|%1| (dB)").arg(m_parameter->currentText()));
    autoscale();
}

void TuneWindow::autoscale() {
    if (!m_curve)
        return;
    m_chart->zoomReset();
    const double low = m_curve->fMHz.front(), high = m_curve->fMHz.back();
    double top = *std::max_element(m_curve->delayNs.begin(), m_curve->delayNs.end());
    double bottom =
        std::min(0.0, *std::min_element(m_curve->delayNs.begin(), m_curve->delayNs.end()));
    double dbBottom = *std::min_element(m_curve->s11Db.begin(), m_curve->s11Db.end());
    if (m_report) {
        for (std::size_t i = 0; i < m_report->fMHz.size(); ++i)
            if (m_report->fMHz[i] >= low && m_report->fMHz[i] <= high) {
                top = std::max(top, m_report->delayMeasured[i]);
                bottom = std::min(bottom, m_report->delayMeasured[i]);
                if (std::isfinite(m_report->s11DbMeasuredTrace[i]))
                    dbBottom = std::min(dbBottom, m_report->s11DbMeasuredTrace[i]);
            }
    }
    m_axisF->setRange(low, high);
    m_axisDelay->setRange(bottom, top * 1.1);
    m_axisDelay->applyNiceNumbers();
    m_axisDb->setRange(std::max(-100.0, std::floor(dbBottom / 5) * 5 - 5), 1);
    m_f0Marker->replace(
        {QPointF(m_inputs->f0, m_axisDelay->min()), QPointF(m_inputs->f0, m_axisDelay->max())});
}

void TuneWindow::recheck() {
    // The measurement options are marked at their fields like the inputs.
    markField(m_aperture, m_apertureReason, QString());
    markField(m_edelay, m_edelayReason, QString());
    markField(m_tolerance, m_toleranceReason, QString());
    CheckSettings settings;
    const auto aperture = parseAperture(m_aperture->text().trimmed().toStdString());
    if (!aperture)
        markField(m_aperture, m_apertureReason,
                  tr("Enter frequency steps (2), a percentage of the span (5%) or a width in "
                     "MHz (1.5MHz)."));
    const auto edelay = parseDecimal(m_edelay->text().trimmed().toStdString());
    if (!edelay)
        markField(m_edelay, m_edelayReason, tr("Enter the electrical delay in ns (0 for none)."));
    const auto tolerance = parseDecimal(m_tolerance->text().trimmed().toStdString());
    if (!tolerance || !(*tolerance > 0))
        markField(m_tolerance, m_toleranceReason, tr("Enter a tolerance above 0 %."));
    const auto parameter = parseSParameter(m_parameter->currentText().toStdString());
    if (!m_network || !m_inputs || !aperture || !edelay || !tolerance || !(*tolerance > 0) ||
        !parameter)
        return;
    if (parameter->row > m_network->ports || parameter->column > m_network->ports)
        return;
    if (m_checkWatcher.isRunning()) {
        m_recheckPending = true; // the newest inputs are checked when this one ends
        return;
    }
    settings.stage = m_inputs->stage;
    settings.f0 = m_inputs->f0;
    settings.qu = m_inputs->qu;
    settings.parameter = *parameter;
    settings.aperture = *aperture;
    settings.electricalDelayNs = *edelay;
    settings.tolerancePercent = *tolerance;
    m_checkWatcher.setFuture(
        QtConcurrent::run([table = m_inputs->table, network = m_network, settings] {
            return checkStage(table, *network, settings);
        }));
}

void TuneWindow::showReport() {
    const auto result = m_checkWatcher.result();
    if (m_recheckPending) {
        m_recheckPending = false;
        recheck();
    }
    if (const auto *message = std::get_if<std::string>(&result)) {
        m_report.reset();
        m_measured->clear();
        m_measuredDb->clear();
        m_verdict->setText(tr("No verdict"));
        m_verdict->setStyleSheet(QString());
        m_delays->setText(qs(*message));
        m_lobes->clear();
        m_quality->clear();
        m_advice->clear();
        emit sweepShown();
        return;
    }
    m_report = std::get<CheckReport>(result);
    const CheckReport &r = *m_report;
    m_verdict->setText(r.pass ? tr("PASS") : tr("FAIL"));
    m_verdict->setStyleSheet(r.pass ? QStringLiteral("color: white; background: #1b7f3b; "
                                                     "padding: 4px")
                                    : QStringLiteral("color: white; background: #b00020; "
                                                     "padding: 4px"));
    m_delays->setText(tr("Delay at f0: measured %1 ns, target %2 ns\nDeviation %3 %, tolerance "
                         "%4 %\n|S11| at f0: measured %5 dB, target %6 dB")
                          .arg(number(r.measuredDelayNs, 3), number(r.targetDelayNs, 3),
                               (r.deviationPercent >= 0 ? QStringLiteral("+") : QString()) +
                                   number(r.deviationPercent, 2),
                               qs(formatShortest(r.settings.tolerancePercent)),
                               number(r.s11DbMeasured, 2), number(r.s11DbTarget, 2)));
    QStringList lobes;
    for (std::size_t l = 0; l < r.lobes.size(); ++l)
        lobes << tr("Lobe %1: %2 ns at %3 MHz (target %4 ns at %5 MHz)")
                     .arg(l + 1)
                     .arg(number(r.lobes[l].delayNs, 2), number(r.lobes[l].fMHz, 3),
                          number(r.lobes[l].targetDelayNs, 2), number(r.lobes[l].targetFMHz, 3));
    m_lobes->setText(lobes.join(QLatin1Char('\n')));
    m_quality->setVisible(r.qe.has_value());
    if (r.qe)
        m_quality->setText(
            tr("Stage 1: Qe %1, Qu %2")
                .arg(number(*r.qe, 2), r.qu ? number(*r.qu, 1) : tr("not measurable (|S11| = 1)")));
    else
        m_quality->clear();
    m_advice->setText(adviceFor(r));
    showMeasured();
    emit sweepShown();
}

void TuneWindow::showMeasured() {
    if (!m_report)
        return;
    m_measured->replace(pointsForDrawing(m_report->fMHz, m_report->delayMeasured, maxShownPoints));
    m_measuredDb->replace(
        pointsForDrawing(m_report->fMHz, m_report->s11DbMeasuredTrace, maxShownPoints));
    m_measuredDb->setVisible(m_showDb->isChecked());
    autoscale();
}

void TuneWindow::openFile(const QString &path) {
    if (path.isEmpty())
        return;
    if (m_loadWatcher.isRunning()) {
        m_pendingPath = path; // read when the current read ends
        return;
    }
    m_pendingPath = path;
    m_progressDelay.start();
    m_loadWatcher.setFuture(QtConcurrent::run([file = path.toStdString()]() -> Loaded {
        auto read = readTouchstoneFile(file);
        if (auto *network = std::get_if<Network>(&read))
            return std::make_shared<const Network>(std::move(*network));
        return std::get<TouchstoneError>(std::move(read));
    }));
}

void TuneWindow::loadFinished() {
    m_progressDelay.stop();
    m_progress->hide();
    const QString path = m_pendingPath;
    const Loaded loaded = m_loadWatcher.result();
    if (const auto *error = std::get_if<TouchstoneError>(&loaded)) {
        const QString message = qs(error->message());
        m_sweepMessage->setText(m_network ? tr("%1\nThe previous sweep stays.").arg(message)
                                          : message);
        m_sweepMessage->show();
        m_status->setText(message);
        emit sweepFailed(message);
    } else {
        m_network = std::get<std::shared_ptr<const Network>>(loaded);
        // Every parameter of the file, the chosen one kept where it exists.
        const QString chosen = m_parameter->currentText();
        QStringList names;
        for (int row = 1; row <= m_network->ports; ++row)
            for (int column = 1; column <= m_network->ports; ++column)
                names << QString::fromStdString(SParameter{row, column}.name());
        std::stable_partition(names.begin(), names.end(),
                              [](const QString &n) { return n[1] == n[2]; }); // S11, S22 first
        {
            const QSignalBlocker block(m_parameter);
            m_parameter->clear();
            m_parameter->addItems(names);
            m_parameter->setCurrentText(names.contains(chosen) ? chosen : names.first());
        }
        m_sweepMessage->hide();
        m_status->clear();
        if (m_path != path) {
            if (!m_path.isEmpty())
                m_watcher.removePath(m_path);
            m_path = path;
            addRecent(path);
        }
        m_file->setText(tr("%1: %2 points, %3 MHz to %4 MHz, %5 ports")
                            .arg(QFileInfo(path).fileName())
                            .arg(m_network->size())
                            .arg(qs(formatShortest(m_network->frequencyMHz.front())),
                                 qs(formatShortest(m_network->frequencyMHz.back())))
                            .arg(m_network->ports));
        setWindowTitle(tr("%1 - Varnel tuning").arg(QFileInfo(path).fileName()));
        recheck();
    }
    // A replaced file (written anew and renamed) drops out of the watch.
    if (!m_path.isEmpty() && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
    if (m_pendingPath != path)
        openFile(m_pendingPath);
}

void TuneWindow::fileChanged() {
    if (!m_path.isEmpty() && !m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    m_rereadDelay.start();
}

void TuneWindow::addRecent(const QString &path) {
    QSettings settings;
    QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > maxRecentFiles)
        recent.removeLast();
    settings.setValue(QStringLiteral("recentFiles"), recent);
    fillRecentMenu();
}

void TuneWindow::fillRecentMenu() {
    m_recentMenu->clear();
    const QStringList recent = QSettings().value(QStringLiteral("recentFiles")).toStringList();
    for (const QString &path : recent)
        m_recentMenu->addAction(QFileInfo(path).fileName(), this, [this, path] { openFile(path); })
            ->setToolTip(path);
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void TuneWindow::chooseFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open sweep"), QFileInfo(m_path).absolutePath(),
        tr("Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)"));
    openFile(path);
}

void TuneWindow::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void TuneWindow::dropEvent(QDropEvent *event) {
    openFile(event->mimeData()->urls().first().toLocalFile());
    event->acceptProposedAction();
}

namespace {

// Writes the bytes through a temporary file renamed into place, so a failed
// write never leaves half a file; the reason on failure.
QString writeFile(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QObject::tr("Cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

} // namespace

QString TuneWindow::exportChartPng(const QString &path) {
    const QPixmap picture = m_view->grab();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        return tr("Cannot draw the chart as PNG");
    return writeFile(path, bytes);
}

QString TuneWindow::exportChartSvg(const QString &path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(m_view->size());
    svg.setViewBox(QRect(QPoint(0, 0), m_view->size()));
    svg.setTitle(windowTitle());
    svg.setDescription(tr("Group delay of the stage against its target"));
    QPainter painter(&svg);
    m_view->render(&painter);
    painter.end();
    return writeFile(path, bytes);
}

QString TuneWindow::exportComparisonCsv(const QString &path) {
    if (!m_report)
        return tr("There is no comparison yet: open a sweep first.");
    return writeFile(path, QByteArray::fromStdString(comparisonCsv(*m_report)));
}

QString TuneWindow::exportTargetS1p(const QString &path) {
    if (!m_inputs || !m_curve)
        return tr("There is no target: correct the inputs first.");
    const StageModel model =
        stageModel(m_inputs->table, m_inputs->stage, m_inputs->f0, m_inputs->qu);
    return writeFile(path, QByteArray::fromStdString(targetS1p(m_inputs->table, model, *m_curve)));
}

void TuneWindow::exportWithDialog(const QString &title, const QString &filter,
                                  QString (TuneWindow::*exporter)(const QString &)) {
    QString path = QFileDialog::getSaveFileName(this, title, QString(), filter);
    if (path.isEmpty())
        return;
    // A name typed without its ending gets the one of the filter ("*.csv").
    if (QFileInfo(path).suffix().isEmpty())
        path += filter.section(QStringLiteral("*"), 1, 1).section(QLatin1Char(')'), 0, 0);
    const QString error = (this->*exporter)(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, title, error);
    else
        m_status->setText(tr("Saved %1").arg(path));
}

QString TuneWindow::statusText() const {
    return m_status->text();
}

QString TuneWindow::sweepMessage() const {
    return m_sweepMessage->isHidden() ? QString() : m_sweepMessage->text();
}

std::size_t TuneWindow::measuredPoints() const {
    return m_network ? m_network->size() : 0;
}

QChartView *TuneWindow::chartView() const {
    return m_view;
}

void loadTranslations(const QLocale &locale) {
    static QTranslator own, qt;
    QCoreApplication::removeTranslator(&own);
    QCoreApplication::removeTranslator(&qt);
    if (own.load(locale, QStringLiteral("varnel-tune"), QStringLiteral("_"),
                 QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&own);
    // Qt's own texts (the buttons of file dialogs and message boxes).
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
}

} // namespace varnel
