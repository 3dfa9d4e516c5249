#include "tuning_window/response_layers.h"

#include "tuning/diagnosis.h"
#include "tuning/tolerance_band.h"
#include "tuning_window/design_layer.h"
#include "tuning_window/response_chart.h"

#include <QAreaSeries>
#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <array>
#include <tuple>

namespace varnel {

namespace {

constexpr std::size_t maxShownPoints = 2000; // of a measured trace, per series
constexpr qreal greyed = 0.35;
const QColor blue(0x1f, 0x4e, 0xa8), orange(0xd6, 0x4b, 0x00), green(0x2e, 0x7d, 0x32),
    purple(0x6a, 0x1b, 0x9a), grey(0x88, 0x88, 0x88), memoryGrey(0x8a, 0x8a, 0x8a),
    failColour(0xb0, 0x00, 0x20);

using Values = std::optional<std::pair<const std::vector<double> *, const std::vector<double> *>>;

// Where a trace's points come from: which check (or curve) they are of, so
// that they are drawn once, and the values, none when nothing is drawn.
struct TraceSource {
    quint64 (*generation)(const TuningSession &);
    Values (*values)(const TuningSession &);
    bool ofCheck; // greyed while the check is not shown current (else: the inputs)
    std::size_t limit;
    bool keepLast = false; // the last trace stays, greyed, while there is none
};

// One trace of the stage's mode against the delay or the dB axis; a dB one
// only while the dB view is on (and filled only then).
class TraceLayer : public ChartLayer {
  public:
    TraceLayer(QString name, QColor colour, Qt::PenStyle style, qreal width, bool db,
               TraceSource source)
        : m_name(std::move(name)), m_colour(colour), m_style(style), m_width(width), m_db(db),
          m_source(source) {}
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = addLine(chart, x, y, m_name, m_colour, m_width, m_style);
        m_series->setVisible(false);
    }
    void update(const TuningSession &session) override {
        const bool shown = !session.wholeFilter() && (!m_db || session.viewState().showDb);
        const Values values = shown ? m_source.values(session) : std::nullopt;
        const std::pair key(m_source.generation(session), values.has_value());
        if (values && key != m_drawn) {
            const auto &[x, y] = *values;
            m_series->replace(
                pointsForDrawing(*x, *y, m_source.limit ? m_source.limit : x->size()));
        }
        if (values || !m_source.keepLast)
            m_drawn = key;
        m_series->setVisible(values || (shown && m_source.keepLast && m_series->count() > 0));
        const bool dim = m_source.ofCheck ? !session.shownCurrent() : !session.inputs();
        if (m_series->opacity() != (dim ? greyed : 1.0))
            m_series->setOpacity(dim ? greyed : 1.0);
    }
    QLineSeries *series() const { return m_series; }

  private:
    QString m_name;
    QColor m_colour;
    Qt::PenStyle m_style;
    qreal m_width;
    bool m_db;
    TraceSource m_source;
    QLineSeries *m_series = nullptr;
    std::pair<quint64, bool> m_drawn{0, false};
};

Values targetValues(const TuningSession &s, bool db) {
    if (!s.curve())
        return std::nullopt;
    return std::pair(&s.curve()->fMHz, db ? &s.curve()->s11Db : &s.curve()->delayNs);
}

Values measuredValues(const TuningSession &s, bool db) {
    const auto &r = s.report();
    if (!r || s.refusal() || !s.network())
        return std::nullopt;
    return std::pair(&r->fMHz, db ? &r->s11DbMeasuredTrace : &r->delayMeasured);
}

Values memoryValues(const TuningSession &s, bool db) {
    const auto &r = s.memoryReport();
    if (!r || !s.memory())
        return std::nullopt;
    return std::pair(&r->fMHz, db ? &r->s11DbMeasuredTrace : &r->delayMeasured);
}

// The tolerance band of the report's target, and in the fail colour each
// stretch of the sweep outside it, over the measured trace.
class BandLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_chart = chart;
        m_x = x;
        m_y = y;
        m_lower = new QLineSeries;
        m_upper = new QLineSeries;
        m_band = new QAreaSeries(m_upper, m_lower);
        m_lower->setParent(m_band);
        m_upper->setParent(m_band);
        m_band->setName(ResponseChart::tr("Tolerance band"));
        m_band->setPen(Qt::NoPen);
        m_band->setBrush(QColor(0x1f, 0x4e, 0xa8, 40));
        chart->addSeries(m_band);
        m_band->setVisible(false); // nor in the legend until there is a band
        m_band->attachAxis(x);
        m_band->attachAxis(y);
    }
    void update(const TuningSession &session) override {
        const auto &report = session.report();
        const bool shown = session.viewState().band && report && !session.refusal() &&
                           session.network() && !session.wholeFilter();
        const std::pair key(session.checks(), shown);
        m_band->setVisible(shown);
        if (key == m_drawn)
            return;
        m_drawn = key;
        std::size_t used = 0;
        if (shown)
            used = draw(*report);
        for (std::size_t i = used; i < m_fail.size(); ++i) {
            m_fail[i]->clear();
            showUnlisted(m_chart, m_fail[i], false);
        }
    }
    int stretches() const {
        return static_cast<int>(std::count_if(m_fail.begin(), m_fail.end(),
                                              [](QLineSeries *s) { return s->isVisible(); }));
    }

  private:
    std::size_t draw(const CheckReport &report) {
        const ToleranceBand band = toleranceBand(report.delayTarget, report.delayMeasured,
                                                 report.settings.tolerancePercent);
        // Each edge is replaced only when it moves: the area draws each edge
        // from what that edge last announced.
        const QList<QPointF> lower = pointsForDrawing(report.fMHz, band.lowerNs, maxShownPoints);
        const QList<QPointF> upper = pointsForDrawing(report.fMHz, band.upperNs, maxShownPoints);
        if (lower != m_lower->points())
            m_lower->replace(lower);
        if (upper != m_upper->points())
            m_upper->replace(upper);
        std::size_t used = 0;
        for (const auto &[first, past] : band.outside) {
            if (used == m_fail.size()) {
                QLineSeries *s = addLine(m_chart, m_x, m_y, QString(), failColour, 2.5);
                s->setMarkerSize(5);
                m_fail.push_back(s);
            }
            const auto from = static_cast<long>(first), to = static_cast<long>(past);
            const std::vector<double> f(report.fMHz.begin() + from, report.fMHz.begin() + to);
            const std::vector<double> d(report.delayMeasured.begin() + from,
                                        report.delayMeasured.begin() + to);
            m_fail[used]->replace(pointsForDrawing(f, d, maxShownPoints));
            m_fail[used]->setPointsVisible(past - first == 1); // a lone point shows too
            showUnlisted(m_chart, m_fail[used++], true);
        }
        return used;
    }

    QChart *m_chart = nullptr;
    QValueAxis *m_x = nullptr, *m_y = nullptr;
    QAreaSeries *m_band = nullptr;
    QLineSeries *m_lower = nullptr, *m_upper = nullptr;
    std::vector<QLineSeries *> m_fail;
    std::pair<quint64, bool> m_drawn{0, false};
};

// The f0 line across the delay axis, whatever sets its range.
class F0Layer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = addLine(chart, x, y, ResponseChart::tr("f0"), QColor(0x55, 0x55, 0x55), 1,
                           Qt::DashLine);
        m_y = y;
        QObject::connect(y, &QValueAxis::rangeChanged, m_series, [this] { span(); });
    }
    void update(const TuningSession &session) override {
        // The last good f0 stays while the inputs do not read.
        const auto &curve = session.curve();
        if (session.wholeFilter())
            m_shownF0.reset();
        else if (curve)
            m_shownF0 = m_f0 = session.inputs() ? session.inputs()->f0
                                                : (curve->fMHz.front() + curve->fMHz.back()) / 2;
        else
            m_shownF0 = m_f0;
        span();
    }

  private:
    void span() {
        m_series->setVisible(m_shownF0.has_value());
        const QList<QPointF> line = m_shownF0 ? QList<QPointF>{QPointF(*m_shownF0, m_y->min()),
                                                               QPointF(*m_shownF0, m_y->max())}
                                              : QList<QPointF>();
        if (line != m_series->points())
            m_series->replace(line);
    }

    QLineSeries *m_series = nullptr;
    QValueAxis *m_y = nullptr;
    std::optional<double> m_f0, m_shownF0;
};

// The whole filter's traces: |S11| and |S21| measured, fitted and as
// designed, from the diagnosis.
class FilterLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        const std::tuple<QString, QColor, Qt::PenStyle, qreal> rows[] = {
            {ResponseChart::tr("|S11| measured"), orange, Qt::SolidLine, 1.5},
            {ResponseChart::tr("|S11| fitted"), blue, Qt::DashLine, 1.5},
            {ResponseChart::tr("|S21| measured"), green, Qt::SolidLine, 1.5},
            {ResponseChart::tr("|S21| fitted"), purple, Qt::DashLine, 1.5},
            {ResponseChart::tr("|S11| design"), grey, Qt::DotLine, 1},
            {ResponseChart::tr("|S21| design"), grey, Qt::DotLine, 1}};
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            const auto &[name, colour, style, width] = rows[i];
            m_series[i] = addLine(chart, x, y, name, colour, width, style);
            m_series[i]->setVisible(false);
        }
    }
    void update(const TuningSession &session) override {
        const bool whole = session.wholeFilter();
        const bool drawn = whole && (session.diagnosis() || session.matrixDiagnosis()) &&
                           !session.diagnoseRefusal() && session.network();
        const std::pair key(session.checks(), drawn);
        if (key != m_drawn) {
            m_drawn = key;
            std::array<QList<QPointF>, 6> points;
            if (const auto shown = drawn ? session.diagnosisTraces() : std::nullopt) {
                const DiagnosisTraces &t = *shown;
                const std::vector<double> *traces[] = {&t.s11Measured, &t.s11Fitted, &t.s21Measured,
                                                       &t.s21Fitted,   &t.s11Design, &t.s21Design};
                for (std::size_t i = 0; i < points.size(); ++i)
                    if (!traces[i]->empty())
                        points[i] = pointsForDrawing(t.fMHz, *traces[i], maxShownPoints);
            }
            for (std::size_t i = 0; i < points.size(); ++i)
                m_series[i]->replace(points[i]);
        }
        // Only the traces drawn are listed (a 1-port sweep has no |S21|).
        for (QLineSeries *s : m_series)
            s->setVisible(whole && s->count() > 0);
    }
    // The measured span, from the lowest trace to the highest.
    std::optional<QRectF> range() const override {
        const QList<QPointF> &span = m_series[0]->points();
        if (span.isEmpty())
            return std::nullopt;
        double low = span.front().y(), high = low;
        for (const QLineSeries *s : m_series)
            for (const QPointF &p : s->points()) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        return QRectF(QPointF(span.front().x(), low), QPointF(span.back().x(), high));
    }

  private:
    std::array<QLineSeries *, 6> m_series{};
    std::pair<quint64, bool> m_drawn{0, false};
};

// The markers, numbered, over every trace; the selected one larger.
class MarkerLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_chart = chart;
        for (std::size_t i = 0; i < maxMarkers; ++i) {
            auto *s = new QScatterSeries;
            s->setMarkerShape(QScatterSeries::MarkerShapeCircle);
            s->setBorderColor(Qt::white);
            s->setPointLabelsFormat(QString::number(i + 1));
            s->setPointLabelsVisible(true);
            QFont font = s->pointLabelsFont();
            font.setBold(true);
            s->setPointLabelsFont(font);
            chart->addSeries(s);
            s->attachAxis(x);
            s->attachAxis(y);
            showUnlisted(chart, s, false);
            m_series[i] = s;
        }
    }
    void update(const TuningSession &session) override {
        const MarkerSet::Readings readings = session.markerReadings();
        const int selected = session.markers().selected();
        for (std::size_t i = 0; i < maxMarkers; ++i) {
            QScatterSeries *series = m_series[i];
            const std::optional<MarkerReading> reading =
                i < readings.markers.size() ? readings.markers[i] : std::nullopt;
            const QList<QPointF> at =
                reading ? QList<QPointF>{QPointF(reading->fMHz, reading->measuredNs)}
                        : QList<QPointF>();
            if (series->points() != at)
                series->replace(at);
            // Each setting rebuilds the series' items: only what changes is set.
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
    }
    std::optional<QPointF> drawnAt(int marker) const {
        if (marker < 0 || marker >= static_cast<int>(maxMarkers))
            return std::nullopt;
        const QScatterSeries *series = m_series[static_cast<std::size_t>(marker)];
        if (!series->isVisible() || series->count() != 1)
            return std::nullopt;
        return series->at(0);
    }

  private:
    QChart *m_chart = nullptr;
    std::array<QScatterSeries *, maxMarkers> m_series{};
};

template <typename Layer> Layer *find(const std::vector<ResponseLayerRow> &rows) {
    for (const ResponseLayerRow &row : rows)
        if (auto *layer = dynamic_cast<Layer *>(row.layer.get()))
            return layer;
    return nullptr;
}

} // namespace

std::vector<ResponseLayerRow> responseLayers() {
    const auto curves = [](const TuningSession &s) { return s.curves(); };
    const auto checks = [](const TuningSession &s) { return s.checks(); };
    const auto memoryChecks = [](const TuningSession &s) { return s.memoryChecks(); };
    const TraceSource targetDelay{
        curves, [](const TuningSession &s) { return targetValues(s, false); }, false, 0, true};
    const TraceSource targetDb{curves, [](const TuningSession &s) { return targetValues(s, true); },
                               false, 0, true};
    const TraceSource measuredDelay{checks,
                                    [](const TuningSession &s) { return measuredValues(s, false); },
                                    true, maxShownPoints};
    const TraceSource measuredDb{checks,
                                 [](const TuningSession &s) { return measuredValues(s, true); },
                                 true, maxShownPoints};
    const TraceSource memoryDelay{memoryChecks,
                                  [](const TuningSession &s) { return memoryValues(s, false); },
                                  false, maxShownPoints};
    const TraceSource memoryDb{memoryChecks,
                               [](const TuningSession &s) { return memoryValues(s, true); }, false,
                               maxShownPoints};
    const auto trace = [&](const QString &name, QColor colour, Qt::PenStyle style, qreal width,
                           bool db, TraceSource source) {
        return ResponseLayerRow{
            std::make_unique<TraceLayer>(name, colour, style, width, db, source),
            db ? ResponseAxis::Db : ResponseAxis::Delay};
    };
    std::vector<ResponseLayerRow> rows;
    rows.push_back({std::make_unique<BandLayer>(), ResponseAxis::Delay});
    rows.push_back(
        trace(ResponseChart::tr("Target delay"), blue, Qt::SolidLine, 2, false, targetDelay));
    rows.push_back(trace(ResponseChart::tr("Memory delay"), memoryGrey, Qt::SolidLine, 1.5, false,
                         memoryDelay));
    rows.push_back(
        trace(ResponseChart::tr("Memory |S11|"), memoryGrey, Qt::DotLine, 1, true, memoryDb));
    rows.push_back(trace(ResponseChart::tr("Measured delay"), orange, Qt::SolidLine, 1.5, false,
                         measuredDelay));
    rows.push_back({std::make_unique<F0Layer>(), ResponseAxis::Delay});
    rows.push_back(trace(ResponseChart::tr("Target |S11|"), blue, Qt::DotLine, 1, true, targetDb));
    rows.push_back(
        trace(ResponseChart::tr("Measured |S11|"), orange, Qt::DotLine, 1, true, measuredDb));
    rows.push_back({std::make_unique<FilterLayer>(), ResponseAxis::Db});
    rows.push_back({std::make_unique<DesignLayer>(), ResponseAxis::Db});
    rows.push_back({std::make_unique<MarkerLayer>(), ResponseAxis::Delay});
    return rows;
}

int bandStretchesShown(const std::vector<ResponseLayerRow> &rows) {
    const BandLayer *band = find<BandLayer>(rows);
    return band ? band->stretches() : 0;
}

std::optional<QPointF> markerDrawnAt(const std::vector<ResponseLayerRow> &rows, int marker) {
    const MarkerLayer *markers = find<MarkerLayer>(rows);
    return markers ? markers->drawnAt(marker) : std::nullopt;
}

QLineSeries *memoryDelaySeries(const std::vector<ResponseLayerRow> &rows) {
    // The first memory trace is the delay's.
    for (const ResponseLayerRow &row : rows)
        if (auto *trace = dynamic_cast<TraceLayer *>(row.layer.get());
            trace && trace->series()->name() == ResponseChart::tr("Memory delay"))
            return trace->series();
    return nullptr;
}

} // namespace varnel
