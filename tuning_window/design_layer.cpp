#include "tuning_window/design_layer.h"

#include "tuning_window/response_chart.h"

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

#include <cmath>

namespace varnel {

namespace {

const QColor designColour(0x5d, 0x40, 0x37), transmissionColour(0x00, 0x69, 0x5c),
    zeroColour(0x8e, 0x24, 0xaa);

} // namespace

void DesignLayer::attach(QChart *chart, QValueAxis *x, QValueAxis *y) {
    m_chart = chart;
    m_x = x;
    m_y = y;
    m_traces[0] =
        addLine(chart, x, y, ResponseChart::tr("|S11| design"), designColour, 1.5, Qt::DotLine);
    m_traces[1] = addLine(chart, x, y, ResponseChart::tr("|S21| design"), transmissionColour, 1.5,
                          Qt::DashDotLine);
    for (QLineSeries *s : m_traces)
        s->setVisible(false);
    QObject::connect(y, &QValueAxis::rangeChanged, m_traces[0], [this] { span(); });
}

void DesignLayer::update(const TuningSession &session) {
    const auto &design = session.designResponse();
    // While the inputs do not read, the last design stays, greyed.
    const bool kept = !session.inputs() && m_traces[0]->count() > 0;
    const bool whole = session.wholeFilter() && (design.has_value() || kept);
    if (session.curves() != m_drawn && !kept) {
        m_drawn = session.curves();
        for (std::size_t t = 0; t < m_traces.size(); ++t) {
            QList<QPointF> points;
            if (design)
                for (std::size_t i = 0; i < design->fMHz.size(); ++i) {
                    const std::complex<double> s = t == 0 ? design->s[i].s11 : design->s[i].s21;
                    if (const double db = 20 * std::log10(std::abs(s)); std::isfinite(db))
                        points.append(QPointF(design->fMHz[i], db));
                }
            m_traces[t]->replace(points);
        }
        m_zerosMHz.clear();
        if (design)
            m_zerosMHz = session.inputs()->design->zerosMHz;
    }
    // At the sweep's points the diagnosis draws the design; before it, this.
    const bool traces = whole && !session.diagnosisTraces();
    for (QLineSeries *s : m_traces) {
        s->setVisible(traces);
        s->setOpacity(kept ? 0.35 : 1.0);
    }
    m_shownZeros = whole ? m_zerosMHz.size() : 0;
    while (m_zeros.size() < m_shownZeros) {
        QLineSeries *line = addLine(m_chart, m_x, m_y, ResponseChart::tr("Transmission zero"),
                                    zeroColour, 1, Qt::DashLine);
        m_zeros.push_back(line);
    }
    span();
}

void DesignLayer::span() {
    for (std::size_t i = 0; i < m_zeros.size(); ++i) {
        const bool shown = i < m_shownZeros;
        // Out of the legend: the lines stand at the zeros the tuner typed.
        showUnlisted(m_chart, m_zeros[i], shown);
        if (shown)
            m_zeros[i]->replace(
                {QPointF(m_zerosMHz[i], m_y->min()), QPointF(m_zerosMHz[i], m_y->max())});
    }
}

std::optional<QRectF> DesignLayer::range() const {
    if (!m_traces[0]->isVisible() || m_traces[0]->points().isEmpty())
        return std::nullopt;
    const QList<QPointF> &s11 = m_traces[0]->points();
    double low = 0, high = 0;
    for (const QLineSeries *s : m_traces)
        for (const QPointF &p : s->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    // The design's stopband goes as deep as the zeros: no deeper than
    // -100 dB, so that the band stays readable.
    return QRectF(QPointF(s11.front().x(), std::max(low, -100.0)), QPointF(s11.back().x(), high));
}

} // namespace varnel
