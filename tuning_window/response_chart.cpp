#include "tuning_window/response_chart.h"

#include "tuning_window/window_texts.h"

#include <QAction>
#include <QBuffer>
#include <QChart>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

// A fingerprint of the target's delay: a new target is fitted to the axes,
// the same one recomputed (a new tolerance, say) keeps the zoom.
double signature(const std::optional<TargetCurve> &curve) {
    if (!curve || curve->fMHz.empty())
        return 0;
    double sum = curve->fMHz.front() + 3 * curve->fMHz.back();
    for (std::size_t i = 0; i < curve->delayNs.size(); ++i)
        sum += curve->delayNs[i] * static_cast<double>(i + 1);
    return sum;
}

} // namespace

ResponseChart::ResponseChart(TuningSession &session, QWidget *parent)
    : QChartView(new QChart, parent), m_session(session), m_rows(responseLayers()) {
    setObjectName(QStringLiteral("chart"));
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setMinimumSize(360, 200);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus); // the markers move from the keyboard
    chart()->legend()->setAlignment(Qt::AlignBottom);
    m_axisF = new QValueAxis;
    m_axisF->setTitleText(tr("Frequency (MHz)"));
    m_axisDelay = new QValueAxis;
    m_axisDelay->setTitleText(tr("Group delay (ns)"));
    m_axisDb = new QValueAxis;
    m_axisDb->setVisible(false);
    chart()->addAxis(m_axisF, Qt::AlignBottom);
    chart()->addAxis(m_axisDelay, Qt::AlignLeft);
    chart()->addAxis(m_axisDb, Qt::AlignRight);
    for (const ResponseLayerRow &row : m_rows)
        row.layer->attach(chart(), m_axisF,
                          row.axis == ResponseAxis::Delay ? m_axisDelay : m_axisDb);
    // A zoom or a re-read moves an axis; a held scale goes back.
    connect(m_axisDelay, &QValueAxis::rangeChanged, this,
            [this] { keepHeld(m_axisDelay, m_session.viewState().delayScale); });
    connect(m_axisDb, &QValueAxis::rangeChanged, this,
            [this] { keepHeld(m_axisDb, m_session.viewState().dbScale); });
    buildActions();
    for (auto changed : {&TuningSession::inputsChanged, &TuningSession::sweepChanged,
                         &TuningSession::reportChanged, &TuningSession::memoryChanged,
                         &TuningSession::markersChanged, &TuningSession::viewChanged,
                         &TuningSession::shownChanged})
        connect(&m_session, changed, this, &ResponseChart::redraw);
    redraw();
}

ResponseChart::~ResponseChart() = default;

void ResponseChart::buildActions() {
    auto *reset = new QAction(tr("&Reset zoom"), this);
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(reset, &QAction::triggered, this, &ResponseChart::autoscale);
    // Scales that stay put while sweeps come and the frequency is zoomed.
    m_lockDelay = new QAction(tr("Hold the &delay scale"), this);
    m_lockDelay->setObjectName(QStringLiteral("lockDelay"));
    connect(m_lockDelay, &QAction::toggled, this, [this](bool on) {
        setScale(&ViewState::delayScale, on ? std::optional(delayRange()) : std::nullopt);
    });
    m_lockDb = new QAction(tr("Hold the |S11| s&cale"), this);
    m_lockDb->setObjectName(QStringLiteral("lockDb"));
    connect(m_lockDb, &QAction::toggled, this, [this](bool on) {
        setScale(&ViewState::dbScale, on ? std::optional(dbRange()) : std::nullopt);
    });
    for (QAction *lock : {m_lockDelay, m_lockDb})
        lock->setCheckable(true);
    auto *scales = new QAction(tr("&Scales..."), this);
    connect(scales, &QAction::triggered, this, &ResponseChart::chooseScales);
    m_viewActions = {reset, m_lockDelay, m_lockDb, scales};
}

void ResponseChart::setScale(std::optional<std::pair<double, double>> ViewState::*scale,
                             const std::optional<std::pair<double, double>> &range) {
    ViewState view = m_session.viewState();
    view.*scale = range;
    m_session.setViewState(view);
}

void ResponseChart::chooseScales() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Scales"));
    auto *form = new QFormLayout(&dialog);
    struct Row {
        std::optional<std::pair<double, double>> ViewState::*scale;
        QCheckBox *held;
        QDoubleSpinBox *min, *max;
    };
    std::vector<Row> rows;
    const ViewState view = m_session.viewState();
    for (const auto &[scale, text, shown] :
         {std::tuple{&ViewState::delayScale, tr("Group delay (ns)"), delayRange()},
          std::tuple{&ViewState::dbScale, tr("|S11| (dB)"), dbRange()}}) {
        Row row{scale, new QCheckBox(tr("Hold")), new QDoubleSpinBox, new QDoubleSpinBox};
        const auto range = (view.*scale).value_or(shown);
        for (QDoubleSpinBox *box : {row.min, row.max}) {
            box->setRange(-1e6, 1e6);
            box->setDecimals(2);
        }
        row.min->setValue(range.first);
        row.max->setValue(range.second);
        row.held->setChecked((view.*scale).has_value());
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
    ViewState chosen = m_session.viewState();
    for (const Row &row : rows)
        chosen.*row.scale = row.held->isChecked() && row.min->value() < row.max->value()
                                ? std::optional(std::pair(row.min->value(), row.max->value()))
                                : std::nullopt;
    m_session.setViewState(chosen);
}

void ResponseChart::redraw() {
    applyView();
    for (const ResponseLayerRow &row : m_rows)
        row.layer->update(m_session);
    // A new target, mode or file is fitted; the same file read again keeps
    // the zoom.
    const bool whole = m_session.wholeFilter();
    const bool checked = whole ? (m_session.diagnosis() || m_session.matrixDiagnosis()) &&
                                     !m_session.diagnoseRefusal()
                               : m_session.report() && !m_session.refusal();
    const QString origin = checked && m_session.network() ? m_session.origin() : QString();
    // The last good target stays while the inputs do not read.
    const double target =
        whole ? (m_session.designResponse() ? static_cast<double>(m_session.curves()) : 0.0)
        : m_session.curve() ? signature(m_session.curve())
                            : std::get<1>(m_fitted);
    const std::tuple fit(whole, target, origin);
    if (fit != m_fitted) {
        m_fitted = fit;
        autoscale();
    }
}

void ResponseChart::applyView() {
    const ViewState &view = m_session.viewState();
    const QString db =
        view.wholeFilter
            ? tr("|S| (dB)")
            : tr("|%1| (dB)")
                  .arg(qs(m_session.texts().parameter.empty() ? std::string("S11")
                                                              : m_session.texts().parameter));
    if (m_axisDb->titleText() != db)
        m_axisDb->setTitleText(db);
    if (m_applied && *m_applied == view)
        return;
    const std::optional<ViewState> was = std::exchange(m_applied, view);
    for (const auto &[lock, held] : {std::pair{m_lockDelay, view.delayScale.has_value()},
                                     std::pair{m_lockDb, view.dbScale.has_value()}})
        if (lock->isChecked() != held) {
            const QSignalBlocker block(lock);
            lock->setChecked(held);
        }
    m_axisDelay->setVisible(!view.wholeFilter);
    m_axisDb->setVisible(view.wholeFilter || view.showDb);
    // A scale let go is fitted again.
    keepHeld(m_axisDelay, view.delayScale);
    keepHeld(m_axisDb, view.dbScale);
    if (was && ((was->delayScale && !view.delayScale) || (was->dbScale && !view.dbScale)))
        autoscale();
}

void ResponseChart::keepHeld(QValueAxis *axis,
                             const std::optional<std::pair<double, double>> &held) {
    if (held && (axis->min() != held->first || axis->max() != held->second))
        axis->setRange(held->first, held->second);
}

void ResponseChart::autoscale() {
    if (m_session.wholeFilter()) {
        // The sweep's span; dB from the lowest trace (not below -80) to 0.
        std::optional<QRectF> range;
        for (const ResponseLayerRow &row : m_rows)
            if (const auto r = row.layer->range())
                range = range ? range->united(*r) : *r;
        if (!range)
            return;
        chart()->zoomReset();
        niceAxis(m_axisF, range->left(), range->right(), 6, AxisRange::AsGiven);
        niceAxis(m_axisDb, std::max(-80.0, std::min(0.0, range->top()) - 1), 1);
        return;
    }
    const auto &curve = m_session.curve();
    if (!curve)
        return;
    chart()->zoomReset();
    const double low = curve->fMHz.front(), high = curve->fMHz.back();
    double top = *std::max_element(curve->delayNs.begin(), curve->delayNs.end());
    double bottom = std::min(0.0, *std::min_element(curve->delayNs.begin(), curve->delayNs.end()));
    double dbBottom = *std::min_element(curve->s11Db.begin(), curve->s11Db.end());
    if (const auto &report = m_session.report(); report && !m_session.refusal())
        for (std::size_t i = 0; i < report->fMHz.size(); ++i)
            if (report->fMHz[i] >= low && report->fMHz[i] <= high) {
                top = std::max(top, report->delayMeasured[i]);
                bottom = std::min(bottom, report->delayMeasured[i]);
                if (std::isfinite(report->s11DbMeasuredTrace[i]))
                    dbBottom = std::min(dbBottom, report->s11DbMeasuredTrace[i]);
            }
    // The curve's own span, ticks at nice values within.
    niceAxis(m_axisF, low, high, 6, AxisRange::AsGiven);
    niceAxis(m_axisDelay, bottom, top * 1.1);
    niceAxis(m_axisDb, std::max(-100.0, dbBottom - 1), 1);
}

std::pair<double, double> ResponseChart::delayRange() const {
    return {m_axisDelay->min(), m_axisDelay->max()};
}

std::pair<double, double> ResponseChart::dbRange() const {
    return {m_axisDb->min(), m_axisDb->max()};
}

int ResponseChart::bandStretchesShown() const {
    return varnel::bandStretchesShown(m_rows);
}

std::optional<QPointF> ResponseChart::markerDrawnAt(int marker) const {
    return varnel::markerDrawnAt(m_rows, marker);
}

QLineSeries *ResponseChart::memorySeries() const {
    return memoryDelaySeries(m_rows);
}

void ResponseChart::mouseMoveEvent(QMouseEvent *event) {
    const QPointF value = chart()->mapToValue(event->position());
    if (!m_session.curve() || value.x() < m_axisF->min() || value.x() > m_axisF->max()) {
        emit hovered(QString());
    } else if (m_session.wholeFilter()) {
        // The value on the dB axis: the pointer's height on its scale.
        const QRectF plot = chart()->plotArea();
        const double db = m_axisDb->max() - (event->position().y() - plot.top()) / plot.height() *
                                                (m_axisDb->max() - m_axisDb->min());
        emit hovered(tr("%1 MHz, %2 dB").arg(number(value.x(), 3), number(db, 2)));
    } else {
        emit hovered(tr("%1 MHz, %2 ns").arg(number(value.x(), 3), number(value.y(), 2)));
    }
    QChartView::mouseMoveEvent(event);
}

void ResponseChart::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_pressedAt = event->position();
    QChartView::mousePressEvent(event);
}

void ResponseChart::mouseReleaseEvent(QMouseEvent *event) {
    // A click that drew no zoom rectangle places a marker.
    const bool click = event->button() == Qt::LeftButton &&
                       (event->position() - m_pressedAt).manhattanLength() < 4;
    QChartView::mouseReleaseEvent(event);
    if (click)
        m_session.placeMarker(chart()->mapToValue(event->position()).x());
}

void ResponseChart::keyPressEvent(QKeyEvent *event) {
    const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
    if (event->key() == Qt::Key_Left)
        return m_session.moveMarker(-step);
    if (event->key() == Qt::Key_Right)
        return m_session.moveMarker(step);
    if (event->key() == Qt::Key_Delete)
        return m_session.removeMarker(m_session.markers().selected());
    QChartView::keyPressEvent(event);
}

void ResponseChart::render(QPainter &painter, const QSize &size, const QString &caption) {
    QChartView::render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    const int line = fontMetrics().height();
    const QRect text(8, size.height(), size.width() - 16, line + 8);
    painter.fillRect(QRect(0, size.height(), size.width(), line + 8), Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(font());
    // Plain text: the file name comes from outside.
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(caption, Qt::ElideMiddle, text.width()));
}

QByteArray ResponseChart::png(const QString &caption) {
    const QSize shown = size();
    const qreal ratio = devicePixelRatioF(); // as sharp as the screen shows it
    QImage picture(QSize(shown.width(), shown.height() + fontMetrics().height() + 8) * ratio,
                   QImage::Format_ARGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        render(painter, shown, caption);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        return {};
    return bytes;
}

QByteArray ResponseChart::svg(const QString &caption, const QString &title) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    const QSize shown = size();
    const QSize whole(shown.width(), shown.height() + fontMetrics().height() + 8);
    generator.setSize(whole);
    generator.setViewBox(QRect(QPoint(0, 0), whole));
    generator.setTitle(title);
    generator.setDescription(tr("Group delay of the stage against its target"));
    QPainter painter(&generator);
    render(painter, shown, caption);
    painter.end();
    return bytes;
}

} // namespace varnel
