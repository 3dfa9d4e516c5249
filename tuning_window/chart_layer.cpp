#include "tuning_window/chart_layer.h"

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

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

} // namespace varnel
