#include "tuning_window/chart_layer.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace varnel {

LayeredChart::LayeredChart(TuningSession &session, std::vector<std::unique_ptr<ChartLayer>> layers,
                           FitAxes fitAxes, QWidget *parent)
    : QChartView(new QChart, parent), m_session(session), m_layers(std::move(layers)),
      m_fitAxes(std::move(fitAxes)) {
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(360, 200);
    chart()->legend()->setAlignment(Qt::AlignBottom);
    m_x = new QValueAxis;
    m_y = new QValueAxis;
    chart()->addAxis(m_x, Qt::AlignBottom);
    chart()->addAxis(m_y, Qt::AlignLeft);
    for (const auto &layer : m_layers)
        layer->attach(chart(), m_x, m_y);
    for (auto changed : {&TuningSession::sweepChanged, &TuningSession::inputsChanged,
                         &TuningSession::reportChanged, &TuningSession::memoryChanged,
                         &TuningSession::markersChanged, &TuningSession::timeWindowChanged})
        connect(&m_session, changed, this, &LayeredChart::redraw);
    redraw();
}

LayeredChart::~LayeredChart() = default;

void LayeredChart::redraw() {
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    m_stale = false;
    std::optional<QRectF> range;
    for (const auto &layer : m_layers) {
        layer->update(m_session);
        if (const auto r = layer->range())
            range = range ? range->united(*r) : *r;
    }
    m_fitAxes(m_x, m_y, range);
    keepSquare();
}

void LayeredChart::showEvent(QShowEvent *event) {
    QChartView::showEvent(event);
    if (m_stale)
        redraw();
}

void LayeredChart::resizeEvent(QResizeEvent *event) {
    QChartView::resizeEvent(event);
    keepSquare();
}

void LayeredChart::keepSquare() {
    if (!m_square)
        return;
    // The largest square within the chart's margins, centred.
    const QRectF whole = chart()->rect().adjusted(40, 20, -40, -60);
    const qreal side = std::max<qreal>(10, std::min(whole.width(), whole.height()));
    chart()->setPlotArea(QRectF(whole.center().x() - side / 2, whole.top(), side, side));
}

QLineSeries *addLine(QChart *chart, QValueAxis *x, QValueAxis *y, const QString &name,
                     const QColor &colour, qreal width, Qt::PenStyle style) {
    auto *series = new QLineSeries;
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(width);
    pen.setStyle(style);
    series->setPen(pen);
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

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

void niceAxis(QValueAxis *axis, double low, double high, int ticks, AxisRange range) {
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
    if (range == AxisRange::Widened)
        axis->setRange(from, to);
    else
        axis->setRange(low, high);
}

void showUnlisted(QChart *chart, QAbstractSeries *series, bool shown) {
    series->setVisible(shown);
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

} // namespace varnel
