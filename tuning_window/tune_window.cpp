#include "tuning_window/tune_window.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "tuning/report_warnings.h"
#include "tuning/tolerance_band.h"
#include "tuning/trace_noise.h"
#include "tuning_window/connect_dialog.h"
#include "tuning_window/element_bars.h"
#include "tuning_window/marker_panel.h"
#include "tuning_window/stage_table_model.h"
#include "tuning_window/verdict_panel.h"
#include "tuning_window/view_panels.h"
#include "tuning_window/window_places.h"
#include "tuning_window/window_texts.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLegendMarker>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScatterSeries>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace varnel {

namespace {

constexpr int maxShownPoints = 2000; // of a measured trace, per series
constexpr int maxRecentFiles = 8;

// A tool tip that shows outside text literally: Qt would take text that
// looks like markup for rich text.
QString plainToolTip(const QString &text) {
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(shownName(text).toHtmlEscaped());
}

// Sets a style sheet only when it changes: each setting polishes the widget
// and lays it out again, which a new sweep or keystroke need not pay for.
void restyle(QWidget *widget, const QString &sheet) {
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

// Shows or hides a series that has no entry in the legend: showing a series
// shows its legend entry again.
void showUnlisted(QChart *chart, QAbstractSeries *series, bool shown) {
    series->setVisible(shown);
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

QLabel *plainLabel(const char *name, const QString &text = QString()) {
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText); // texts from files and names are never markup
    label->setWordWrap(true);
    return label;
}

// Axis ticks at 1-2-5 steps: about `ticks` intervals covering low..high,
// the range widened to whole steps, labels with the decimals a step needs.
// Example: 0..27.3 with 5 ticks -> 0..30 in steps of 5, labels "%.0f";
// -22.1..1 -> -25..5 in steps of 5; 985..1015 -> 985..1015 in steps of 5.
void niceAxis(QValueAxis *axis, double low, double high, int ticks = 6) {
    if (!(high > low))
        high = low + 1;
    const double raw = (high - low) / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * power;
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    const double from = std::floor(low / step + 1e-9) * step;
    const double to = std::ceil(high / step - 1e-9) * step;
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(from);
    axis->setTickInterval(step);
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QStringLiteral("f"));
    axis->setRange(from, to);
}

// The colour of what is out of tolerance.
const QColor failColour(0xb0, 0x00, 0x20);

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
    reason->setTextFormat(Qt::PlainText);
    reason->hide();
    rowLayout->addWidget(reason);
    form->addRow(label, row);
    return edit;
}

} // namespace

QString menuText(const QString &text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The chart with a readout of the point under the mouse pointer; drag a
// rectangle to zoom.
class ChartView : public QChartView {
  public:
    using QChartView::QChartView;
    std::function<void(QPointF)> onHover;
    // A click that drew no zoom rectangle, at its value.
    std::function<void(QPointF)> onClick;
    // Left and Right (with Shift, ten points), Delete.
    std::function<void(int)> onStep;
    std::function<void()> onDelete;

  protected:
    void mouseMoveEvent(QMouseEvent *event) override {
        if (onHover && chart())
            onHover(chart()->mapToValue(event->position()));
        QChartView::mouseMoveEvent(event);
    }
    void mousePressEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton)
            m_pressedAt = event->position();
        QChartView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override {
        const bool click = event->button() == Qt::LeftButton &&
                           (event->position() - m_pressedAt).manhattanLength() < 4;
        QChartView::mouseReleaseEvent(event);
        if (click && onClick && chart())
            onClick(chart()->mapToValue(event->position()));
    }
    void keyPressEvent(QKeyEvent *event) override {
        const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
        if (event->key() == Qt::Key_Left && onStep)
            return onStep(-step);
        if (event->key() == Qt::Key_Right && onStep)
            return onStep(step);
        if (event->key() == Qt::Key_Delete && onDelete)
            return onDelete();
        QChartView::keyPressEvent(event);
    }

  private:
    QPointF m_pressedAt;
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
    m_panelScroll = scroll;
    scroll->setWidget(left);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Wide enough for every column of the stage table.
    int tableWidth = 0;
    for (int c = 0; c < m_stageModel->columnCount(); ++c)
        tableWidth += m_stages->fontMetrics().horizontalAdvance(
                          m_stageModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                      24;
    scroll->setMinimumWidth(tableWidth + 40 + scroll->verticalScrollBar()->sizeHint().width());
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(scroll);
    // The chart with the marker table under it.
    m_chartSide = new QWidget;
    auto *side = new QVBoxLayout(m_chartSide);
    side->setContentsMargins(0, 0, 0, 0);
    // The response, and the reflection as a Smith chart and in time.
    auto *views = new QTabWidget;
    views->setObjectName(QStringLiteral("views"));
    views->setDocumentMode(true);
    views->addTab(m_view, tr("Response"));
    views->addTab(new SmithPanel(m_session), tr("Smith chart"));
    views->addTab(new TimePanel(m_session), tr("Time domain"));
    side->addWidget(views, 1);
    m_splitter->addWidget(m_chartSide);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({scroll->minimumWidth(), 4 * scroll->minimumWidth()});
    setCentralWidget(m_splitter);

    m_status = plainLabel("status");
    m_status->setWordWrap(false);
    m_readout = plainLabel("readout");
    m_readout->setWordWrap(false);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 0); // busy, with no measure of how far
    m_progress->setMaximumWidth(160);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    m_link = new QLabel;
    m_link->setObjectName(QStringLiteral("link"));
    m_link->setTextFormat(Qt::PlainText); // the instrument's own name
    statusBar()->addPermanentWidget(m_link);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_readout);
    buildMenus();
    buildMarkers();
    addHelpMenu(this);

    m_progressDelay = new QTimer(this);
    m_progressDelay->setSingleShot(true);
    m_progressDelay->setInterval(300);
    connect(m_progressDelay, &QTimer::timeout, m_progress, &QWidget::show);
    // The inputs are kept as they change, not only on quitting: a crash or
    // a kill leaves them as they were typed.
    m_saveDelay = new QTimer(this);
    m_saveDelay->setObjectName(QStringLiteral("saveDelay"));
    m_saveDelay->setSingleShot(true);
    m_saveDelay->setInterval(500);
    connect(m_saveDelay, &QTimer::timeout, this, &TuneWindow::saveSettings);
    connect(&m_session, &TuningSession::inputsChanged, m_saveDelay, qOverload<>(&QTimer::start));
    m_greyDelay = new QTimer(this);
    m_greyDelay->setObjectName(QStringLiteral("greyDelay"));
    m_greyDelay->setSingleShot(true);
    m_greyDelay->setInterval(150);
    connect(m_greyDelay, &QTimer::timeout, this, &TuneWindow::greyNow);
    connect(&m_session, &TuningSession::loadingChanged, this, [this](bool loading) {
        if (loading) {
            m_progressDelay->start();
        } else {
            m_progressDelay->stop();
            m_progress->hide();
        }
    });
    connect(&m_session, &TuningSession::inputsChanged, this, &TuneWindow::showInputs);
    connect(&m_session, &TuningSession::sweepChanged, this, &TuneWindow::showSweep);
    connect(&m_session, &TuningSession::sweepChanged, this, &TuneWindow::showLink);
    connect(&m_session, &TuningSession::linkChanged, this, &TuneWindow::showLink);
    connect(&m_session, &TuningSession::reportChanged, this, &TuneWindow::showReport);
    connect(&m_session, &TuningSession::reportChanged, this, &TuneWindow::drawMarkers);
    connect(&m_session, &TuningSession::memoryChanged, this, &TuneWindow::showMemory);

    // A file dropped anywhere on the window opens, the chart and the fields
    // included: their own drop handling would take the path as text.
    for (QWidget *child : findChildren<QWidget *>()) {
        child->setAcceptDrops(false);
        child->installEventFilter(this);
    }
    m_stage->setFocusPolicy(Qt::StrongFocus); // no focus from the wheel
    m_parameter->setFocusPolicy(Qt::StrongFocus);
    m_resonator->setFocusPolicy(Qt::StrongFocus);
    m_output->setFocusPolicy(Qt::StrongFocus);
    m_mode->setFocusPolicy(Qt::StrongFocus);

    // The first start fits the screen it opens on.
    const QRect available = screen() ? screen()->availableGeometry() : QRect(0, 0, 1180, 760);
    resize(std::min(1180, available.width() * 95 / 100),
           std::min(760, available.height() * 90 / 100));
    restoreSettings();
    textsEdited();
}

TuneWindow::~TuneWindow() = default;

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

void TuneWindow::buildInputs(QWidget *panel) {
    auto *box = new QGroupBox(tr("Filter"));
    auto *form = new QFormLayout(box);
    auto field = [&](const char *name, const QString &label, const QString &text,
                     const QString &unit, InputField which) {
        QLabel *reason = nullptr;
        QLineEdit *edit = addField(form, name, label, text, unit, reason);
        connect(edit, &QLineEdit::textChanged, this, &TuneWindow::textsEdited);
        m_fieldMarks.push_back({which, {edit, reason}});
        return edit;
    };
    m_order = field("order", tr("Order"), QStringLiteral("5"), QString(), InputField::Order);
    m_bandwidth =
        field("bandwidth", tr("Bandwidth"), QStringLiteral("10"), tr("MHz"), InputField::Bandwidth);
    m_ripple = field("ripple", tr("Ripple"), QStringLiteral("0.01"), tr("dB"), InputField::Ripple);
    m_f0 = field("f0", tr("Band centre f0"), QStringLiteral("1000"), tr("MHz"), InputField::F0);
    m_qu = field("qu", tr("Unloaded Q"), QString(), QString(), InputField::Qu);
    m_qu->setPlaceholderText(tr("lossless"));
    // The mapping of the resonators: its text is the input rule's word.
    m_resonator = new QComboBox;
    m_resonator->setObjectName(QStringLiteral("resonator"));
    m_resonator->addItem(tr("Lumped"), QStringLiteral("lumped"));
    m_resonator->addItem(tr("Coaxial, quarter-wave"), QStringLiteral("coaxial"));
    m_resonator->addItem(tr("Waveguide, half-wave"), QStringLiteral("waveguide"));
    m_resonator->addItem(tr("Chosen by the sweep"), QStringLiteral("auto"));
    m_resonator->setToolTip(tr("How a resonator's frequency maps to the prototype's: lumped, a "
                               "quarter-wave TEM line (wider bands; repeats at 3 f0) or a "
                               "waveguide cavity (steeper below the band)"));
    form->addRow(tr("Resonators"), m_resonator);
    connect(m_resonator, &QComboBox::currentIndexChanged, this, &TuneWindow::textsEdited);
    // The last stage's end: its text is the input rule's word (none: the
    // sweep shows it).
    m_output = new QComboBox;
    m_output->setObjectName(QStringLiteral("output"));
    m_output->addItem(tr("As the sweep shows"), QString());
    m_output->addItem(tr("Loaded"), QStringLiteral("loaded"));
    m_output->addItem(tr("Open"), QStringLiteral("open"));
    m_output->setToolTip(tr("At the last stage: the output loaded (the whole filter) or open"));
    form->addRow(tr("Last stage's output"), m_output);
    connect(m_output, &QComboBox::currentIndexChanged, this, &TuneWindow::textsEdited);
    // Stage by stage, or the assembled filter diagnosed from one sweep.
    m_mode = new QComboBox;
    m_mode->setObjectName(QStringLiteral("mode"));
    m_mode->addItem(tr("Stage by stage"));
    m_mode->addItem(tr("Whole filter"));
    m_mode->setToolTip(tr("Whole filter: the assembled filter's sweep (S11 and S21, or S11) "
                          "fitted for every resonator and coupling"));
    form->addRow(tr("Tuning"), m_mode);
    connect(m_mode, &QComboBox::currentIndexChanged, this, &TuneWindow::applyMode);
    m_stage = new QSpinBox;
    m_stage->setObjectName(QStringLiteral("stage"));
    // The order's whole range: a stage beyond the order is marked, never
    // changed, so typing a new order keeps the stage.
    m_stage->setRange(1, tableMaximumOrder);
    auto *stageReason = plainLabel("stageReason");
    stageReason->setStyleSheet(QStringLiteral("color: #b00020"));
    stageReason->hide();
    auto *stageRow = new QWidget;
    auto *stageLayout = new QVBoxLayout(stageRow);
    stageLayout->setContentsMargins(0, 0, 0, 0);
    stageLayout->addWidget(m_stage);
    stageLayout->addWidget(stageReason);
    form->addRow(tr("Stage"), stageRow);
    m_fieldMarks.push_back({InputField::Stage, {m_stage, stageReason}});
    connect(m_stage, &QSpinBox::valueChanged, this, &TuneWindow::textsEdited);
    panel->layout()->addWidget(box);

    m_stageModel = new StageTableModel(this);
    m_stages = new QTableView;
    m_stages->setObjectName(QStringLiteral("stageTable"));
    m_stages->setModel(m_stageModel);
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
    connect(m_stages->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const auto rows = m_stages->selectionModel()->selectedRows();
        if (!rows.isEmpty() && rows.first().row() + 1 != m_stage->value())
            m_stage->setValue(rows.first().row() + 1);
    });
    panel->layout()->addWidget(m_stages);
}

void TuneWindow::buildMeasurement(QWidget *panel) {
    auto *box = new QGroupBox(tr("Measurement"));
    auto *form = new QFormLayout(box);
    m_file = plainLabel("file", tr("No sweep: open a Touchstone file (Ctrl+O) or drop one here."));
    form->addRow(m_file);
    m_parameter = new QComboBox;
    m_parameter->setObjectName(QStringLiteral("parameter"));
    for (const char *name : {"S11", "S22", "S21", "S12"})
        m_parameter->addItem(QString::fromLatin1(name));
    form->addRow(tr("Parameter"), m_parameter);
    connect(m_parameter, &QComboBox::currentTextChanged, this, &TuneWindow::textsEdited);
    auto option = [&](const char *name, const QString &label, const QString &text,
                      const QString &tip, InputField which) {
        QLabel *reason = nullptr;
        QLineEdit *edit = addField(form, name, label, text, QString(), reason);
        edit->setToolTip(tip);
        connect(edit, &QLineEdit::textChanged, this, &TuneWindow::textsEdited);
        m_fieldMarks.push_back({which, {edit, reason}});
        return edit;
    };
    m_aperture = option("aperture", tr("Aperture"), QStringLiteral("2"),
                        tr("Frequency steps (2), a percentage of the span (5%) or a width in MHz "
                           "(1.5MHz)"),
                        InputField::Aperture);
    m_edelay = option("edelay", tr("Electrical delay (ns)"), QStringLiteral("0"),
                      tr("Removed from the phase before the group delay is taken"),
                      InputField::ElectricalDelay);
    m_tolerance = option("tolerance", tr("Tolerance (%)"), QStringLiteral("2"),
                         tr("The largest deviation of the delay at f0, and of each coupling, "
                            "that passes"),
                         InputField::Tolerance);
    m_toleranceFrequency =
        option("toleranceFrequency", tr("Resonator tolerance (% of BW)"), QStringLiteral("2"),
               tr("The largest offset of a resonator from f0 that passes, in % of the bandwidth"),
               InputField::ToleranceFrequency);
    m_couplingSlope =
        option("couplingSlope", tr("Couplings' slope"), QString(),
               tr("k(f) = k0 (f/f0)^P, as the filter's design gives it; empty: fitted where "
                  "the sweep shows it"),
               InputField::CouplingSlope);
    m_couplingSlope->setPlaceholderText(tr("fitted"));
    m_qeSlope = option("qeSlope", tr("Ports' slope"), QString(),
                       tr("1/Qe(f) = (f/f0)^P / Qe0, as the filter's design gives it; empty: "
                          "fitted where the sweep shows it"),
                       InputField::QeSlope);
    m_qeSlope->setPlaceholderText(tr("fitted"));
    m_cutoff = option("cutoff", tr("Waveguide cut-off (MHz)"), QString(),
                      tr("The guide's cut-off frequency, for waveguide resonators; empty: fitted "
                         "to the sweep"),
                      InputField::Cutoff);
    m_cutoff->setPlaceholderText(tr("fitted"));
    m_average = new QSpinBox;
    m_average->setObjectName(QStringLiteral("average"));
    m_average->setRange(1, 64);
    m_average->setToolTip(tr("The trace and the verdict are of the complex average of this many "
                             "sweeps; 1 takes each sweep as it comes"));
    form->addRow(tr("Average (sweeps)"), m_average);
    connect(m_average, &QSpinBox::valueChanged, this,
            [this](int depth) { m_session.setAveraging(depth); });
    m_sweepMessage = plainLabel("sweepMessage");
    m_sweepMessage->setStyleSheet(QStringLiteral("color: #b00020"));
    m_sweepMessage->hide();
    form->addRow(m_sweepMessage);
    panel->layout()->addWidget(box);
}

void TuneWindow::buildVerdict(QWidget *panel) {
    m_verdictPanel = new VerdictPanel;
    panel->layout()->addWidget(m_verdictPanel);
}

void TuneWindow::buildChart() {
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_axisF = new QValueAxis;
    m_axisF->setTitleText(tr("Frequency (MHz)"));
    m_axisDelay = new QValueAxis;
    m_axisDelay->setTitleText(tr("Group delay (ns)"));
    m_axisDb = new QValueAxis;
    m_axisDb->setTitleText(tr("|S11| (dB)"));
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
    // The tolerance band, under the traces: its edges are not drawn themselves.
    m_bandLower = new QLineSeries(this);
    m_bandUpper = new QLineSeries(this);
    m_band = new QAreaSeries(m_bandUpper, m_bandLower);
    m_band->setName(tr("Tolerance band"));
    m_band->setPen(Qt::NoPen);
    m_band->setBrush(QColor(0x1f, 0x4e, 0xa8, 40));
    m_chart->addSeries(m_band);
    m_band->setVisible(false); // nor in the legend until there is a band
    m_band->attachAxis(m_axisF);
    m_band->attachAxis(m_axisDelay);
    m_target = series(tr("Target delay"), QColor(0x1f, 0x4e, 0xa8), Qt::SolidLine, 2, m_axisDelay);
    // The memory, dimmed, under the measured trace.
    const QColor memoryColour(0x8a, 0x8a, 0x8a);
    m_memoryDelay = series(tr("Memory delay"), memoryColour, Qt::SolidLine, 1.5, m_axisDelay);
    m_memoryDb = series(tr("Memory |S11|"), memoryColour, Qt::DotLine, 1, m_axisDb);
    m_memoryDelay->setVisible(false);
    m_memoryDb->setVisible(false);
    m_measured =
        series(tr("Measured delay"), QColor(0xd6, 0x4b, 0x00), Qt::SolidLine, 1.5, m_axisDelay);
    m_f0Marker = series(tr("f0"), QColor(0x55, 0x55, 0x55), Qt::DashLine, 1, m_axisDelay);
    m_targetDb = series(tr("Target |S11|"), QColor(0x1f, 0x4e, 0xa8), Qt::DotLine, 1, m_axisDb);
    m_measuredDb = series(tr("Measured |S11|"), QColor(0xd6, 0x4b, 0x00), Qt::DotLine, 1, m_axisDb);
    const QColor blue(0x1f, 0x4e, 0xa8), orange(0xd6, 0x4b, 0x00), green(0x2e, 0x7d, 0x32),
        purple(0x6a, 0x1b, 0x9a), grey(0x88, 0x88, 0x88);
    m_filterSeries = {series(tr("|S11| measured"), orange, Qt::SolidLine, 1.5, m_axisDb),
                      series(tr("|S11| fitted"), blue, Qt::DashLine, 1.5, m_axisDb),
                      series(tr("|S21| measured"), green, Qt::SolidLine, 1.5, m_axisDb),
                      series(tr("|S21| fitted"), purple, Qt::DashLine, 1.5, m_axisDb),
                      series(tr("|S11| design"), grey, Qt::DotLine, 1, m_axisDb),
                      series(tr("|S21| design"), grey, Qt::DotLine, 1, m_axisDb)};
    for (QLineSeries *s : m_filterSeries)
        s->setVisible(false);
    // The markers, numbered, over every trace.
    for (std::size_t i = 0; i < maxMarkers; ++i) {
        auto *s = new QScatterSeries;
        s->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        s->setColor(QColor(0x20, 0x20, 0x20));
        s->setBorderColor(Qt::white);
        s->setPointLabelsFormat(QString::number(i + 1));
        s->setPointLabelsVisible(true);
        QFont font = s->pointLabelsFont();
        font.setBold(true);
        s->setPointLabelsFont(font);
        m_chart->addSeries(s);
        s->attachAxis(m_axisF);
        s->attachAxis(m_axisDelay);
        showUnlisted(m_chart, s, false);
        m_markerSeries[i] = s;
    }

    m_view = new ChartView(m_chart);
    m_view->setObjectName(QStringLiteral("chart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRubberBand(QChartView::RectangleRubberBand);
    m_view->setMinimumSize(360, 200);
    m_view->setMouseTracking(true);
    m_view->onHover = [this](QPointF value) {
        if (!m_session.curve() || value.x() < m_axisF->min() || value.x() > m_axisF->max())
            return m_readout->clear();
        if (m_session.wholeFilter()) {
            // The value on the dB axis: the same pointer through a dB series.
            const QPointF db =
                m_chart->mapToValue(m_chart->mapToPosition(value), m_filterSeries[0]);
            return m_readout->setText(
                tr("%1 MHz, %2 dB").arg(number(value.x(), 3), number(db.y(), 2)));
        }
        m_readout->setText(tr("%1 MHz, %2 ns").arg(number(value.x(), 3), number(value.y(), 2)));
    };
    m_view->setFocusPolicy(Qt::StrongFocus); // the markers move from the keyboard
    m_view->onClick = [this](QPointF value) { placeMarker(value.x()); };
    m_view->onStep = [this](int points) { m_session.moveMarker(points); };
    m_view->onDelete = [this] { m_session.removeMarker(m_session.markers().selected()); };
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
                         QStringLiteral("comparison"), &TuneWindow::exportComparisonCsv);
    });
    save->setShortcut(QKeySequence::Save);
    file->addAction(tr("Export target as .s1p..."), this, [this] {
        exportWithDialog(tr("Export target curve"), tr("Touchstone files (*.s1p)"),
                         QStringLiteral("target"), &TuneWindow::exportTargetS1p);
    });
    file->addAction(tr("Export chart as PNG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("PNG images (*.png)"), QStringLiteral("chart"),
                         &TuneWindow::exportChartPng);
    });
    file->addAction(tr("Export chart as SVG..."), this, [this] {
        exportWithDialog(tr("Export chart"), tr("SVG images (*.svg)"), QStringLiteral("chart"),
                         &TuneWindow::exportChartSvg);
    });
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *measurement = menuBar()->addMenu(tr("&Measurement"));
    measurement->addAction(tr("&Connect to analyser..."), this, &TuneWindow::chooseAnalyser);
    m_disconnect =
        measurement->addAction(tr("&Disconnect"), this, [this] { m_session.disconnectAnalyser(); });
    m_hold = measurement->addAction(tr("&Hold"));
    m_hold->setObjectName(QStringLiteral("hold"));
    m_hold->setCheckable(true);
    m_hold->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(m_hold, &QAction::toggled, this, [this](bool on) { m_session.setHeld(on); });
    measurement->addSeparator();
    QAction *store = measurement->addAction(tr("Store sweep as &memory"), &m_session,
                                            &TuningSession::storeMemory);
    store->setObjectName(QStringLiteral("storeMemory"));
    store->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    measurement->addAction(tr("Memory from &file..."), this, &TuneWindow::chooseMemory);
    m_clearMemory =
        measurement->addAction(tr("C&lear memory"), &m_session, &TuningSession::clearMemory);
    m_clearMemory->setEnabled(false);
    measurement->addSeparator();
    m_saveSweep = measurement->addAction(tr("&Save sweep as Touchstone..."), this, [this] {
        const bool twoPort =
            m_session.network() && m_session.network()->ports == 2 && !m_session.network()->only;
        exportWithDialog(tr("Save sweep"),
                         twoPort ? tr("Touchstone files (*.s2p)") : tr("Touchstone files (*.s1p)"),
                         QStringLiteral("sweep"), &TuneWindow::exportSweep);
    });
    showLink();

    QMenu *view = menuBar()->addMenu(tr("&View"));
    QAction *reset = view->addAction(tr("&Reset zoom"), this, &TuneWindow::autoscale);
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    // Scales that stay put while sweeps come and the frequency is zoomed.
    for (const auto &[lock, name, text, axis] :
         {std::tuple{&m_delayLock, "lockDelay", tr("Hold the &delay scale"), m_axisDelay},
          std::tuple{&m_dbLock, "lockDb", tr("Hold the |S11| s&cale"), m_axisDb}}) {
        AxisLock *held = lock;
        held->axis = axis;
        held->action = view->addAction(text);
        held->action->setObjectName(QLatin1String(name));
        held->action->setCheckable(true);
        connect(held->action, &QAction::toggled, this, [this, held](bool on) {
            held->range =
                on ? std::optional(std::pair(held->axis->min(), held->axis->max())) : std::nullopt;
            if (!on)
                autoscale();
        });
        // A zoom or a re-read moves the axis; a held scale goes back.
        connect(axis, &QValueAxis::rangeChanged, this, [held](qreal min, qreal max) {
            if (held->range && (min != held->range->first || max != held->range->second))
                held->axis->setRange(held->range->first, held->range->second);
        });
    }
    view->addAction(tr("&Scales..."), this, &TuneWindow::chooseScales);
    // The f0 line spans the delay axis, whatever set its range.
    connect(m_axisDelay, &QValueAxis::rangeChanged, this, [this](qreal min, qreal max) {
        if (const auto points = m_f0Marker->points(); points.size() == 2)
            m_f0Marker->replace({QPointF(points[0].x(), min), QPointF(points[0].x(), max)});
    });
    m_showBand = view->addAction(tr("&Tolerance band"));
    m_showBand->setObjectName(QStringLiteral("showBand"));
    m_showBand->setCheckable(true);
    m_showBand->setChecked(true);
    m_showBand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(m_showBand, &QAction::toggled, this, &TuneWindow::drawBand);
    m_againstMemory = view->addAction(tr("Verdict against the &memory"));
    m_againstMemory->setObjectName(QStringLiteral("againstMemory"));
    m_againstMemory->setCheckable(true);
    m_againstMemory->setChecked(true);
    connect(m_againstMemory, &QAction::toggled, this, &TuneWindow::showMemory);
    m_showDb = view->addAction(tr("|S11| in dB"));
    m_showDb->setObjectName(QStringLiteral("showDb"));
    m_showDb->setCheckable(true);
    connect(m_showDb, &QAction::toggled, this, [this](bool on) {
        if (m_session.wholeFilter())
            return; // the whole filter's chart is all dB
        m_axisDb->setVisible(on);
        m_targetDb->setVisible(on);
        if (const auto &curve = m_session.curve(); curve && on)
            m_targetDb->replace(pointsForDrawing(curve->fMHz, curve->s11Db, curve->fMHz.size()));
        m_measuredDb->setVisible(on && m_session.report());
        drawMeasured();
        m_memoryDrawn = {}; // its |S11| is filled now
        showMemory();
    });
    m_axisDb->setVisible(false);
    m_targetDb->setVisible(false);
    m_measuredDb->setVisible(false);

    tools->addAction(open);
    tools->addAction(reset);
    tools->addAction(m_showDb);
    fillRecentMenu();
}

std::vector<std::pair<QLineEdit *, const char *>> TuneWindow::savedFields() const {
    return {{m_order, "order"},
            {m_bandwidth, "bandwidth"},
            {m_ripple, "ripple"},
            {m_f0, "f0"},
            {m_qu, "qu"},
            {m_aperture, "aperture"},
            {m_edelay, "edelay"},
            {m_tolerance, "tolerance"},
            {m_toleranceFrequency, "toleranceFrequency"},
            {m_couplingSlope, "couplingSlope"},
            {m_qeSlope, "qeSlope"},
            {m_cutoff, "cutoff"}};
}

void TuneWindow::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    // A size saved on a larger screen is kept within this one's.
    if (const QScreen *here = screen())
        setGeometry(clampedToScreen(geometry(), here->availableGeometry()));
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    m_splitter->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray());
    for (const auto &[edit, key] : savedFields()) {
        const QVariant value = settings.value(QStringLiteral("inputs/") + QLatin1String(key));
        if (value.isValid())
            edit->setText(value.toString());
    }
    m_stage->setValue(settings.value(QStringLiteral("inputs/stage"), 1).toInt());
    m_average->setValue(settings.value(QStringLiteral("inputs/average"), 1).toInt());
    m_parameter->setCurrentText(
        settings.value(QStringLiteral("inputs/parameter"), QStringLiteral("S11")).toString());
    m_resonator->setCurrentIndex(std::max(
        0, m_resonator->findData(settings.value(QStringLiteral("inputs/resonator")).toString())));
    m_output->setCurrentIndex(std::max(
        0, m_output->findData(settings.value(QStringLiteral("inputs/output")).toString())));
    m_showDb->setChecked(settings.value(QStringLiteral("view/showDb"), false).toBool());
    m_showBand->setChecked(settings.value(QStringLiteral("view/band"), true).toBool());
    for (AxisLock *lock : {&m_delayLock, &m_dbLock}) {
        const QString key = QStringLiteral("view/") + lock->action->objectName();
        const QVariantList range = settings.value(key).toList();
        if (range.size() == 2)
            holdScale(*lock, range[0].toDouble(), range[1].toDouble());
    }
    m_mode->setCurrentIndex(settings.value(QStringLiteral("view/wholeFilter"), false).toBool() ? 1
                                                                                               : 0);
    m_delta->setChecked(settings.value(QStringLiteral("view/delta"), false).toBool());
    m_againstMemory->setChecked(
        settings.value(QStringLiteral("view/againstMemory"), true).toBool());
    std::vector<Marker> markers;
    for (const QVariant &saved : settings.value(QStringLiteral("view/markers")).toList()) {
        const QVariantMap fields = saved.toMap();
        const int kind = fields.value(QStringLiteral("kind")).toInt();
        if (kind >= Marker::Fixed && kind <= Marker::LobePeak)
            markers.push_back({static_cast<Marker::Kind>(kind),
                               fields.value(QStringLiteral("f")).toDouble(),
                               fields.value(QStringLiteral("lobe")).toInt()});
    }
    m_session.setMarkers(std::move(markers));
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
    for (const auto &[edit, key] : savedFields())
        settings.setValue(QStringLiteral("inputs/") + QLatin1String(key), edit->text());
    settings.setValue(QStringLiteral("inputs/stage"), m_stage->value());
    settings.setValue(QStringLiteral("inputs/average"), m_average->value());
    settings.setValue(QStringLiteral("inputs/parameter"), m_parameter->currentText());
    settings.setValue(QStringLiteral("inputs/resonator"), m_resonator->currentData());
    settings.setValue(QStringLiteral("inputs/output"), m_output->currentData());
    settings.setValue(QStringLiteral("view/showDb"), m_showDb->isChecked());
    settings.setValue(QStringLiteral("view/band"), m_showBand->isChecked());
    for (const AxisLock *lock : {&m_delayLock, &m_dbLock}) {
        const QString key = QStringLiteral("view/") + lock->action->objectName();
        if (lock->range)
            settings.setValue(key, QVariantList{lock->range->first, lock->range->second});
        else
            settings.remove(key);
    }
    settings.setValue(QStringLiteral("view/wholeFilter"), m_mode->currentIndex() == 1);
    settings.setValue(QStringLiteral("view/delta"), m_delta->isChecked());
    settings.setValue(QStringLiteral("view/againstMemory"), m_againstMemory->isChecked());
    QVariantList markers;
    for (const Marker &marker : m_session.markers().markers())
        markers << QVariantMap{{QStringLiteral("kind"), static_cast<int>(marker.kind)},
                               {QStringLiteral("f"), marker.fMHz},
                               {QStringLiteral("lobe"), marker.lobe}};
    settings.setValue(QStringLiteral("view/markers"), markers);
    settings.setValue(QStringLiteral("memory/file"), m_session.memoryFile());
    settings.sync();
}

void TuneWindow::closeEvent(QCloseEvent *event) {
    saveSettings();
    QMainWindow::closeEvent(event);
}

void TuneWindow::textsEdited() {
    StageInputTexts texts;
    texts.order = m_order->text().toStdString();
    texts.bandwidth = m_bandwidth->text().toStdString();
    texts.ripple = m_ripple->text().toStdString();
    texts.f0 = m_f0->text().trimmed().toStdString();
    const QString qu = m_qu->text().trimmed();
    if (!qu.isEmpty())
        texts.qu = qu.toStdString();
    texts.stage = std::to_string(m_stage->value());
    texts.parameter = m_parameter->currentText().toStdString();
    texts.aperture = m_aperture->text().trimmed().toStdString();
    texts.electricalDelay = m_edelay->text().trimmed().toStdString();
    texts.tolerance = m_tolerance->text().trimmed().toStdString();
    texts.toleranceFrequency = m_toleranceFrequency->text().trimmed().toStdString();
    texts.couplingSlope = m_couplingSlope->text().trimmed().toStdString();
    texts.qeSlope = m_qeSlope->text().trimmed().toStdString();
    texts.resonator = m_resonator->currentData().toString().toStdString();
    // A cut-off counts for waveguides only: kept in its field, not read
    // for the other kinds.
    m_cutoff->setEnabled(texts.resonator == "waveguide");
    if (m_cutoff->isEnabled())
        texts.cutoff = m_cutoff->text().trimmed().toStdString();
    texts.output = m_output->currentData().toString().toStdString();
    m_session.setTexts(texts);
}

void TuneWindow::greyNow() {
    m_greyDelay->stop();
    m_greyNow = true;
    showReport();
    m_greyNow = false;
}

void TuneWindow::showInputs() {
    if (m_greyDelay->isActive())
        greyNow(); // the verdict on screen is not of these inputs
    QString runTimeError;
    for (const auto &[field, widgets] : m_fieldMarks) {
        const auto &[edit, reason] = widgets;
        QString message;
        for (const InputProblem &problem : m_session.problems())
            if (problem.field == field && problem.kind != InputProblem::RunTime)
                message = problemFor(problem);
        reason->setText(message);
        reason->setVisible(!message.isEmpty());
        restyle(edit, message.isEmpty() ? QString() : QStringLiteral("border: 2px solid #b00020;"));
    }
    for (const InputProblem &problem : m_session.problems())
        if (problem.kind == InputProblem::RunTime)
            runTimeError = problemFor(problem);
    m_status->setText(runTimeError);

    const auto &inputs = m_session.inputs();
    // The last good table and curve stay, greyed, while the inputs do not read.
    m_stageModel->setCurrent(inputs.has_value());
    m_target->setOpacity(inputs ? 1.0 : 0.35);
    m_targetDb->setOpacity(inputs ? 1.0 : 0.35);
    if (inputs) {
        m_stageModel->setRows(m_session.stageRows());
        {
            const QSignalBlocker block(m_stages->selectionModel());
            m_stages->selectRow(inputs->stage - 1);
        }
        const TargetCurve &curve = *m_session.curve();
        const QList<QPointF> before = m_target->points();
        m_target->replace(pointsForDrawing(curve.fMHz, curve.delayNs, curve.fMHz.size()));
        if (m_showDb->isChecked())
            m_targetDb->replace(pointsForDrawing(curve.fMHz, curve.s11Db, curve.fMHz.size()));
        if (!m_session.wholeFilter())
            m_axisDb->setTitleText(tr("|%1| (dB)").arg(m_parameter->currentText()));
        // A new target is fitted to the axes; a changed tolerance or
        // aperture keeps the zoom.
        if (before != m_target->points() && !m_session.wholeFilter())
            autoscale();
    }
    emit modelUpdated();
}

void TuneWindow::showSweep() {
    const auto &network = m_session.network();
    const auto &failure = m_session.sweepFailure();
    if (failure) {
        const QString message = failureFor(*failure);
        m_sweepMessage->setText(network ? tr("%1\nThe sweep on screen is the file's previous "
                                             "content.")
                                              .arg(message)
                                        : message);
        m_sweepMessage->show();
        m_status->setText(message);
        emit sweepFailed(message);
    } else {
        m_sweepMessage->hide();
        m_status->clear();
    }
    if (!network) {
        m_file->setText(failure ? tr("No sweep.") : m_file->text());
        m_measured->clear();
        m_measuredDb->clear();
        return;
    }
    // Every parameter of the file, the chosen one kept where it exists.
    const QString chosen = m_parameter->currentText();
    QStringList names;
    for (int row = 1; row <= network->ports; ++row)
        for (int column = 1; column <= network->ports; ++column)
            names << qs(SParameter{row, column}.name());
    std::stable_partition(names.begin(), names.end(),
                          [](const QString &n) { return n[1] == n[2]; }); // S11, S22 first
    QStringList shown;
    for (int i = 0; i < m_parameter->count(); ++i)
        shown << m_parameter->itemText(i);
    if (shown != names) {
        const QSignalBlocker block(m_parameter);
        m_parameter->clear();
        m_parameter->addItems(names);
        m_parameter->setCurrentText(names.contains(chosen) ? chosen : names.first());
    }
    // An analyser is named by its address; a file by its name.
    const bool analyser = m_session.fromAnalyser();
    const QString name =
        shownName(analyser ? m_session.origin() : QFileInfo(m_session.origin()).fileName());
    const QString ports = network->ports == 1 ? tr("1 port") : tr("%1 ports").arg(network->ports);
    QString described = tr("%1: %2 points, %3 MHz to %4 MHz, %5")
                            .arg(name)
                            .arg(network->size())
                            .arg(qs(formatShortest(network->frequencyMHz.front())),
                                 qs(formatShortest(network->frequencyMHz.back())), ports);
    if (analyser && m_session.sweepRate() > 0)
        described += tr(", %1 sweeps/s").arg(number(m_session.sweepRate(), 1));
    if (m_session.averaging() > 1)
        described += tr(", the average of %1 of %2 sweeps")
                         .arg(m_session.averaged())
                         .arg(m_session.averaging());
    m_file->setText(described);
    m_file->setToolTip(plainToolTip(m_session.origin()));
    setWindowTitle(tr("%1 - Varnel tuning").arg(name));
    if (!analyser)
        addRecent(m_session.origin());
    if (m_parameter->currentText() != chosen)
        textsEdited(); // the parameter follows the file
}

void TuneWindow::showReport() {
    const bool current = m_session.reportCurrent();
    const auto &report = m_session.report();
    // A current verdict stays as it is, with the trace it is of, while the
    // next sweep is checked; greyed if that takes a while (or at once for
    // new inputs, see showInputs).
    const bool underCheck =
        !current && m_session.problems().empty() && !m_session.sweepFailure() &&
        m_session.network() &&
        (report || m_session.refusal() || m_session.diagnosis() || m_session.diagnoseRefusal());
    if (underCheck && !m_greyNow && m_currentShown) {
        if (!m_greyDelay->isActive())
            m_greyDelay->start();
        return;
    }
    m_greyDelay->stop();
    m_currentShown = current;
    m_verdictPanel->setEnabled(current);
    m_measured->setOpacity(current ? 1.0 : 0.35);
    m_measuredDb->setOpacity(current ? 1.0 : 0.35);
    const bool problems = !m_session.problems().empty();
    // An analyser's next sweep under check: the last verdict (of an earlier
    // sweep) is shown, greyed with the panel, rather than a flicker of
    // "Checking..." each sweep.
    const bool analyserChecking = !current && !problems && !m_session.sweepFailure() &&
                                  m_session.fromAnalyser() &&
                                  (m_session.report() || m_session.diagnosis());
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
        if (!m_session.network()) {
            m_measured->clear();
            m_measuredDb->clear();
        }
        return;
    }
    if (m_session.wholeFilter()) {
        showDiagnosis();
        return;
    }
    if (const auto &refusal = m_session.refusal()) {
        m_verdictPanel->showRefusal(*refusal);
        m_measured->clear();
        m_measuredDb->clear();
        emit sweepShown();
        return;
    }
    m_verdictPanel->showStage(*report);
    drawMeasured();
    emit sweepShown();
}

void TuneWindow::drawMeasured() {
    const auto &report = m_session.report();
    if (!report)
        return;
    m_measured->replace(pointsForDrawing(report->fMHz, report->delayMeasured, maxShownPoints));
    drawBand();
    // A hidden trace is not laid out for nothing: it is filled when shown.
    if (m_showDb->isChecked())
        m_measuredDb->replace(
            pointsForDrawing(report->fMHz, report->s11DbMeasuredTrace, maxShownPoints));
    m_measuredDb->setVisible(m_showDb->isChecked());
    // A re-read of the same file keeps the zoom and the axes; a new file
    // is fitted.
    if (m_session.origin() != m_drawnOrigin) {
        m_drawnOrigin = m_session.origin();
        autoscale();
    }
}

void TuneWindow::holdScale(AxisLock &lock, double min, double max) {
    if (!(min < max))
        return;
    {
        const QSignalBlocker block(lock.action);
        lock.action->setChecked(true);
    }
    lock.range = std::pair(min, max);
    lock.axis->setRange(min, max);
}

void TuneWindow::chooseScales() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Scales"));
    auto *form = new QFormLayout(&dialog);
    struct Row {
        AxisLock *lock;
        QCheckBox *held;
        QDoubleSpinBox *min, *max;
    };
    std::vector<Row> rows;
    for (const auto &[lock, text] : {std::pair{&m_delayLock, tr("Group delay (ns)")},
                                     std::pair{&m_dbLock, tr("|S11| (dB)")}}) {
        Row row{lock, new QCheckBox(tr("Hold")), new QDoubleSpinBox, new QDoubleSpinBox};
        for (QDoubleSpinBox *box : {row.min, row.max}) {
            box->setRange(-1e6, 1e6);
            box->setDecimals(2);
        }
        row.min->setValue(lock->range ? lock->range->first : lock->axis->min());
        row.max->setValue(lock->range ? lock->range->second : lock->axis->max());
        row.held->setChecked(lock->range.has_value());
        auto *line = new QHBoxLayout;
        line->addWidget(row.held);
        line->addWidget(new QLabel(tr("from")));
        line->addWidget(row.min);
        line->addWidget(new QLabel(tr("to")));
        line->addWidget(row.max);
        form->addRow(text, line);
        rows.push_back(row);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (const Row &row : rows) {
        if (row.held->isChecked())
            holdScale(*row.lock, row.min->value(), row.max->value());
        else
            row.lock->action->setChecked(false);
    }
}

void TuneWindow::drawBand() {
    const auto &report = m_session.report();
    const bool shown = m_showBand->isChecked() && report && !m_session.wholeFilter();
    m_band->setVisible(shown);
    std::size_t used = 0;
    if (shown) {
        const ToleranceBand band = toleranceBand(report->delayTarget, report->delayMeasured,
                                                 report->settings.tolerancePercent);
        // The band is the target's: a new sweep on the same frequencies with
        // the same inputs leaves it as it is.
        QList<QPointF> lower = pointsForDrawing(report->fMHz, band.lowerNs, maxShownPoints);
        QList<QPointF> upper = pointsForDrawing(report->fMHz, band.upperNs, maxShownPoints);
        // Each edge is replaced with its own signal: the area draws each
        // edge from what that edge last announced.
        if (lower != m_bandLower->points())
            m_bandLower->replace(lower);
        if (upper != m_bandUpper->points())
            m_bandUpper->replace(upper);
        // Each stretch outside in the fail colour, over the measured trace.
        for (const auto &[first, past] : band.outside) {
            if (used == m_bandFail.size()) {
                auto *s = new QLineSeries;
                QPen pen(failColour);
                pen.setWidthF(2.5);
                s->setPen(pen);
                s->setMarkerSize(5);
                m_chart->addSeries(s);
                s->attachAxis(m_axisF);
                s->attachAxis(m_axisDelay);
                m_bandFail.push_back(s); // out of the legend when shown below
            }
            const std::vector<double> f(report->fMHz.begin() + static_cast<long>(first),
                                        report->fMHz.begin() + static_cast<long>(past));
            const std::vector<double> d(report->delayMeasured.begin() + static_cast<long>(first),
                                        report->delayMeasured.begin() + static_cast<long>(past));
            m_bandFail[used]->replace(pointsForDrawing(f, d, maxShownPoints));
            m_bandFail[used]->setPointsVisible(past - first == 1); // a lone point shows too
            showUnlisted(m_chart, m_bandFail[used++], true);
        }
    }
    for (std::size_t i = used; i < m_bandFail.size(); ++i) {
        m_bandFail[i]->clear();
        showUnlisted(m_chart, m_bandFail[i], false);
    }
}

void TuneWindow::buildMarkers() {
    QMenu *menu = menuBar()->addMenu(tr("Mar&kers"));
    QAction *atF0 = menu->addAction(tr("Marker at &f0"), this, [this] {
        m_session.addMarker({Marker::AtF0, 0, 0});
    });
    atF0->setObjectName(QStringLiteral("markerAtF0"));
    atF0->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    QAction *lobes = menu->addAction(tr("Markers at the &lobe peaks"), &m_session,
                                     &TuningSession::markersAtLobePeaks);
    lobes->setObjectName(QStringLiteral("markersAtLobes"));
    lobes->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    m_delta = menu->addAction(tr("&Delta to marker 1"));
    m_delta->setObjectName(QStringLiteral("delta"));
    m_delta->setCheckable(true);
    m_delta->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    connect(m_delta, &QAction::toggled, &m_session, &TuningSession::setDelta);
    menu->addSeparator();
    QAction *left = menu->addAction(tr("Move the marker a point &left"), this,
                                    [this] { m_session.moveMarker(-1); });
    left->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    QAction *right = menu->addAction(tr("Move the marker a point &right"), this,
                                     [this] { m_session.moveMarker(1); });
    right->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    for (int n = 0; n < static_cast<int>(maxMarkers); ++n) {
        QAction *select = menu->addAction(tr("Select marker %1").arg(n + 1), this,
                                          [this, n] { m_session.selectMarker(n); });
        select->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + n)));
    }
    QAction *remove = menu->addAction(tr("Re&move the marker"), this, [this] {
        m_session.removeMarker(m_session.markers().selected());
    });
    QAction *clear =
        menu->addAction(tr("&Clear markers"), &m_session, &TuningSession::clearMarkers);
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    remove->setObjectName(QStringLiteral("removeMarker"));

    m_markerPanel = new MarkerPanel({atF0, lobes, m_delta, clear});
    m_chartSide->layout()->addWidget(m_markerPanel);
    connect(m_markerPanel, &MarkerPanel::selectedChanged, &m_session, &TuningSession::selectMarker);
    connect(m_markerPanel, &MarkerPanel::moveRequested, &m_session, &TuningSession::moveMarker);
    connect(m_markerPanel, &MarkerPanel::removeRequested, &m_session, &TuningSession::removeMarker);
    connect(&m_session, &TuningSession::markersChanged, this, &TuneWindow::drawMarkers);
}

void TuneWindow::placeMarker(double fMHz) {
    m_session.placeMarker(fMHz);
}

void TuneWindow::drawMarkers() {
    if (!m_markerPanel)
        return;
    const bool stage = !m_session.wholeFilter();
    const MarkerSet::Readings readings = m_session.markerReadings();
    const int selected = m_session.markers().selected();
    for (std::size_t i = 0; i < maxMarkers; ++i) {
        QScatterSeries *series = m_markerSeries[i];
        const std::optional<MarkerReading> reading =
            i < readings.markers.size() ? readings.markers[i] : std::nullopt;
        const QList<QPointF> at = reading
                                      ? QList<QPointF>{QPointF(reading->fMHz, reading->measuredNs)}
                                      : QList<QPointF>();
        if (series->points() != at)
            series->replace(at);
        // The selected marker larger and black, the others grey.
        // (Each setting rebuilds the series' items: only what changes is set.)
        const bool isSelected = static_cast<int>(i) == selected;
        const qreal size = isSelected ? 14 : 10;
        const QColor colour = isSelected ? QColor(0x10, 0x10, 0x10) : QColor(0x70, 0x70, 0x70);
        if (series->markerSize() != size)
            series->setMarkerSize(size);
        if (series->color() != colour)
            series->setColor(colour);
        if (series->isVisible() != reading.has_value())
            showUnlisted(m_chart, series, reading.has_value());
    }
    m_markerPanel->show(readings.markers, readings.delta, readings.deltaOf,
                        m_session.memoryComparison().has_value());
    m_markerPanel->select(selected);
    m_markerPanel->setVisible(stage);
    // Greyed with the verdict when it is not of the sweep on screen.
    m_markerPanel->table()->setEnabled(m_verdictPanel->isEnabled());
}

std::optional<QPointF> TuneWindow::markerDrawnAt(int marker) const {
    if (marker < 0 || marker >= static_cast<int>(maxMarkers))
        return std::nullopt;
    const QScatterSeries *series = m_markerSeries[static_cast<std::size_t>(marker)];
    if (!series->isVisible() || series->count() != 1)
        return std::nullopt;
    return series->at(0);
}

void TuneWindow::chooseMemory() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Memory from file"), QFileInfo(m_session.origin()).path(),
        tr("Touchstone files (*.s1p *.s2p *.S1P *.S2P);;All files (*)"));
    if (path.isEmpty())
        return;
    if (const QString why = openMemory(path); !why.isEmpty())
        warn(tr("Memory from file"), why);
}

QString TuneWindow::openMemory(const QString &path) {
    if (const auto failure = m_session.openMemory(path))
        return failureFor(*failure);
    return QString();
}

QString TuneWindow::memoryVerdictText() const {
    if (!m_session.memory())
        return QString();
    const QString origin = m_session.memoryName();
    const QString name =
        shownName(QFileInfo::exists(origin) ? QFileInfo(origin).fileName() : origin);
    QStringList lines{tr("Against the memory (%1):").arg(name)};
    const auto signedNumber = [](double value, int decimals) {
        return qs(formatSigned(value, decimals));
    };
    if (!m_session.memoryHasParameter()) {
        lines << tr("The memory has no %1.").arg(m_parameter->currentText());
    } else if (const auto &refusal = m_session.memoryRefusal()) {
        lines << tr("The memory cannot be checked: %1").arg(refusalFor(*refusal));
    } else if (const auto &c = m_session.memoryComparison()) {
        lines << tr("Delay at f0 %1 ns (%2 %), %3")
                     .arg(signedNumber(c->centreNs, 3), signedNumber(c->centrePercent, 2),
                          c->within ? tr("within the tolerance") : tr("outside the tolerance"));
        lines << tr("|S11| at f0 %1 dB").arg(signedNumber(c->s11Db, 2));
        for (std::size_t l = 0; l < c->lobes.size(); ++l)
            lines << tr("Lobe %1 moved %2 MHz, %3 ns")
                         .arg(l + 1)
                         .arg(signedNumber(c->lobes[l].fMHz, 3),
                              signedNumber(c->lobes[l].delayNs, 2));
    } else {
        lines << tr("Checking the memory...");
    }
    return lines.join(QLatin1Char('\n'));
}

void TuneWindow::showMemory() {
    const bool stage = !m_session.wholeFilter();
    const bool memory = m_session.memory() != nullptr;
    // Drawn again only when it was checked again.
    const auto &report = m_session.memoryReport();
    const std::pair drawing(m_session.memoryChecks(), stage && report);
    if (drawing != m_memoryDrawn) {
        m_memoryDrawn = drawing;
        if (report && stage) {
            m_memoryDelay->replace(
                pointsForDrawing(report->fMHz, report->delayMeasured, maxShownPoints));
            if (m_showDb->isChecked())
                m_memoryDb->replace(
                    pointsForDrawing(report->fMHz, report->s11DbMeasuredTrace, maxShownPoints));
            else
                m_memoryDb->clear();
        } else {
            m_memoryDelay->clear();
            m_memoryDb->clear();
        }
    }
    m_memoryDelay->setVisible(stage && memory);
    m_memoryDb->setVisible(stage && memory && m_showDb->isChecked());
    m_clearMemory->setEnabled(memory);
    m_verdictPanel->showMemory(stage && memory && m_againstMemory->isChecked() ? memoryVerdictText()
                                                                               : QString());
    drawMarkers();
}

int TuneWindow::bandStretchesShown() const {
    return static_cast<int>(std::count_if(m_bandFail.begin(), m_bandFail.end(),
                                          [](QLineSeries *s) { return s->isVisible(); }));
}

void TuneWindow::applyMode() {
    const bool whole = m_mode->currentIndex() == 1;
    m_session.setWholeFilter(whole);
    m_stage->setEnabled(!whole);
    m_output->setEnabled(!whole);
    m_showDb->setEnabled(!whole); // the whole filter's chart is all dB
    for (QLineSeries *s : {m_target, m_measured, m_f0Marker})
        s->setVisible(!whole);
    m_axisDelay->setVisible(!whole);
    m_targetDb->setVisible(!whole && m_showDb->isChecked());
    m_measuredDb->setVisible(!whole && m_showDb->isChecked() && m_session.report());
    m_axisDb->setVisible(whole || m_showDb->isChecked());
    m_axisDb->setTitleText(whole ? tr("|S| (dB)")
                                 : tr("|%1| (dB)").arg(m_parameter->currentText()));
    for (QLineSeries *s : m_filterSeries) {
        s->setVisible(whole);
        if (!whole)
            s->clear();
    }
    m_filterDrawnOrigin.clear();
    showMemory(); // the markers and the memory are the stage's
    drawBand();   // the stage's band, not the whole filter's
    if (!whole)
        autoscale();
    showReport();
}

void TuneWindow::showDiagnosis() {
    if (const auto &refusal = m_session.diagnoseRefusal()) {
        m_verdictPanel->showRefusal(*refusal);
        for (QLineSeries *s : m_filterSeries)
            s->clear();
        emit sweepShown();
        return;
    }
    const auto &d = m_session.diagnosis();
    if (!d || !m_session.network())
        return;
    m_verdictPanel->showDiagnosis(*d);
    const DiagnosisTraces t = diagnosisTraces(*d, *m_session.network());
    const std::vector<double> *traces[] = {&t.s11Measured, &t.s11Fitted, &t.s21Measured,
                                           &t.s21Fitted,   &t.s11Design, &t.s21Design};
    for (std::size_t i = 0; i < m_filterSeries.size(); ++i)
        m_filterSeries[i]->replace(traces[i]->empty()
                                       ? QList<QPointF>()
                                       : pointsForDrawing(t.fMHz, *traces[i], maxShownPoints));
    if (m_session.origin() != m_filterDrawnOrigin) {
        m_filterDrawnOrigin = m_session.origin();
        autoscale();
    }
    emit sweepShown();
}

void TuneWindow::autoscale() {
    if (m_session.wholeFilter()) {
        // The sweep's span; dB from the lowest trace (not below -80) to 0.
        const auto &points = m_filterSeries[0]->points();
        if (points.isEmpty())
            return;
        m_chart->zoomReset();
        double bottom = 0;
        for (QLineSeries *s : m_filterSeries)
            for (const QPointF &p : s->points())
                bottom = std::min(bottom, p.y());
        niceAxis(m_axisF, points.front().x(), points.back().x());
        m_axisF->setRange(points.front().x(), points.back().x());
        niceAxis(m_axisDb, std::max(-80.0, bottom - 1), 1);
        return;
    }
    const auto &curve = m_session.curve();
    if (!curve)
        return;
    m_chart->zoomReset();
    const double low = curve->fMHz.front(), high = curve->fMHz.back();
    double top = *std::max_element(curve->delayNs.begin(), curve->delayNs.end());
    double bottom = std::min(0.0, *std::min_element(curve->delayNs.begin(), curve->delayNs.end()));
    double dbBottom = *std::min_element(curve->s11Db.begin(), curve->s11Db.end());
    if (const auto &report = m_session.report()) {
        for (std::size_t i = 0; i < report->fMHz.size(); ++i)
            if (report->fMHz[i] >= low && report->fMHz[i] <= high) {
                top = std::max(top, report->delayMeasured[i]);
                bottom = std::min(bottom, report->delayMeasured[i]);
                if (std::isfinite(report->s11DbMeasuredTrace[i]))
                    dbBottom = std::min(dbBottom, report->s11DbMeasuredTrace[i]);
            }
    }
    niceAxis(m_axisF, low, high);
    m_axisF->setRange(low, high); // the curve's own span, ticks at nice values within
    niceAxis(m_axisDelay, bottom, top * 1.1);
    niceAxis(m_axisDb, std::max(-100.0, dbBottom - 1), 1);
    const double f0 = m_session.inputs() ? m_session.inputs()->f0 : (low + high) / 2;
    m_f0Marker->replace({QPointF(f0, m_axisDelay->min()), QPointF(f0, m_axisDelay->max())});
}

void TuneWindow::chooseAnalyser() {
    ConnectDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.remember();
    connectAnalyser(dialog.address());
}

QString TuneWindow::exportSweep(const QString &path) {
    return m_session.exportSweep(path);
}

void TuneWindow::showLink() {
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

void TuneWindow::addRecent(const QString &path) {
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

void TuneWindow::fillRecentMenu() {
    m_recentMenu->clear();
    const QStringList recent = QSettings().value(QStringLiteral("recentFiles")).toStringList();
    for (const QString &path : recent)
        m_recentMenu
            ->addAction(menuText(shownName(QFileInfo(path).fileName())), this,
                        [this, path] { openFile(path); })
            ->setToolTip(plainToolTip(path));
    m_recentMenu->setToolTipsVisible(true);
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void TuneWindow::chooseFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open sweep"), QFileInfo(m_session.origin()).absolutePath(),
        tr("Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)"));
    openFile(path);
}

namespace {

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
    if (!m_session.wholeFilter() && m_session.report() && !m_session.refusal())
        return VerdictPanel::word(m_session.report()->verdict.outcome);
    return m_session.network() ? tr("No verdict") : tr("No sweep loaded");
}

QString TuneWindow::chartCaption() const {
    const bool analyser = m_session.fromAnalyser();
    QStringList parts;
    if (m_session.network())
        parts << shownName(analyser ? m_session.origin()
                                    : QFileInfo(m_session.origin()).fileName());
    parts << (m_session.wholeFilter() ? tr("whole filter") : tr("stage %1").arg(m_stage->value()));
    parts << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QString verdict = verdictWord();
    if (!m_session.reportCurrent())
        verdict = tr("%1 (not of the sweep and inputs on screen)").arg(verdict);
    parts << verdict;
    return parts.join(QStringLiteral("  \u00b7  "));
}

void TuneWindow::renderWithCaption(QPainter &painter, const QSize &chart) {
    m_view->render(&painter, QRectF(QPointF(0, 0), QSizeF(chart)));
    const int line = fontMetrics().height();
    const QRect caption(8, chart.height(), chart.width() - 16, line + 8);
    painter.fillRect(QRect(0, chart.height(), chart.width(), line + 8), Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(font());
    // Plain text: the file name comes from outside.
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(chartCaption(), Qt::ElideMiddle, caption.width()));
}

QString TuneWindow::exportChartPng(const QString &path) {
    const QSize chart = m_view->size();
    const qreal ratio = m_view->devicePixelRatioF(); // as sharp as the screen shows it
    QImage picture(QSize(chart.width(), chart.height() + fontMetrics().height() + 8) * ratio,
                   QImage::Format_ARGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        renderWithCaption(painter, chart);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        return tr("Cannot draw the chart as PNG");
    return saveFile(path, bytes);
}

QString TuneWindow::exportChartSvg(const QString &path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    const QSize chart = m_view->size();
    const QSize whole(chart.width(), chart.height() + fontMetrics().height() + 8);
    svg.setSize(whole);
    svg.setViewBox(QRect(QPoint(0, 0), whole));
    svg.setTitle(windowTitle());
    svg.setDescription(tr("Group delay of the stage against its target"));
    QPainter painter(&svg);
    renderWithCaption(painter, chart);
    painter.end();
    return saveFile(path, bytes);
}

QString TuneWindow::exportComparisonCsv(const QString &path) {
    return m_session.exportComparisonCsv(path);
}

QString TuneWindow::exportTargetS1p(const QString &path) {
    return m_session.exportTargetS1p(path);
}

void TuneWindow::warn(const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText); // paths and system messages are not markup
    box.exec();
}

void TuneWindow::exportWithDialog(const QString &title, const QString &filter, const QString &what,
                                  QString (TuneWindow::*exporter)(const QString &)) {
    // A name from the sweep's, beside its file.
    const QString suffix =
        filter.section(QStringLiteral("*."), 1, 1).section(QLatin1Char(')'), 0, 0);
    const QString proposed =
        proposedExportPath(m_session.origin(), m_session.fromAnalyser(), m_stage->value(),
                           m_session.wholeFilter(), what, suffix, QDir::homePath());
    QString path = QFileDialog::getSaveFileName(this, title, proposed, filter);
    if (path.isEmpty())
        return;
    // A name typed without its ending gets the one of the filter ("*.csv").
    if (QFileInfo(path).suffix().isEmpty())
        path += filter.section(QStringLiteral("*"), 1, 1).section(QLatin1Char(')'), 0, 0);
    const QString error = (this->*exporter)(path);
    if (!error.isEmpty())
        warn(title, error);
    else
        m_status->setText(tr("Saved %1").arg(shownName(path)));
}

QString TuneWindow::statusText() const {
    return m_status->text();
}

QString TuneWindow::sweepMessage() const {
    return m_sweepMessage->isHidden() ? QString() : m_sweepMessage->text();
}

std::size_t TuneWindow::measuredPoints() const {
    return m_session.network() ? m_session.network()->size() : 0;
}

QChartView *TuneWindow::chartView() const {
    return m_view;
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
    static QTranslator own, qt;
    QCoreApplication::removeTranslator(&own);
    QCoreApplication::removeTranslator(&qt);
    setTextsTranslated(false);
    if (own.load(locale, QStringLiteral("varnel-tune"), QStringLiteral("_"),
                 QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(&own);
        setTextsTranslated(true);
    }
    // Qt's own texts (the buttons of file dialogs and message boxes).
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
}

} // namespace varnel
