#include "tuning_window/view_panels.h"

#include "tuning/smith_chart.h"
#include "tuning_window/window_texts.h"

#include <QChart>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

using Complex = std::complex<double>;
using Reflection = std::function<std::vector<Complex>(const TuningSession &)>;

QList<QPointF> pointsOf(const std::vector<Complex> &values) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(values.size()));
    for (const Complex &v : values)
        points.append(QPointF(v.real(), v.imag()));
    return points;
}

void unlisted(QChart *chart, QAbstractSeries *series) {
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

// The grid of constant resistance and reactance (smith_chart.h).
class SmithGridLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        for (const SmithLine &line : smithGrid()) {
            QLineSeries *series = addLine(chart, x, y, QString(), QColor(0xc8, 0xc8, 0xc8),
                                          line.value == 0 && !line.reactance ? 1.5 : 0.8);
            series->replace(pointsOf(line.points));
            unlisted(chart, series);
        }
    }
    void update(const TuningSession &) override {}
    std::optional<QRectF> range() const override { return QRectF(-1, -1, 2, 2); }
};

// A reflection traced in the Gamma plane.
class ReflectionLayer : public ChartLayer {
  public:
    ReflectionLayer(QString name, QColor colour, Qt::PenStyle style, Reflection values)
        : m_name(std::move(name)), m_colour(colour), m_style(style), m_values(std::move(values)) {}
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = addLine(chart, x, y, m_name, m_colour, 1.5, m_style);
    }
    void update(const TuningSession &session) override {
        const QList<QPointF> points = pointsOf(m_values(session));
        m_series->replace(points);
        m_series->setVisible(!points.isEmpty());
    }

  private:
    QString m_name;
    QColor m_colour;
    Qt::PenStyle m_style;
    Reflection m_values;
    QLineSeries *m_series = nullptr;
};

// The markers at the sweep's points nearest their frequencies.
class SmithMarkerLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = new QScatterSeries;
        m_series->setName(SmithPanel::tr("Markers"));
        m_series->setMarkerSize(11);
        m_series->setColor(QColor(0x10, 0x10, 0x10));
        chart->addSeries(m_series);
        m_series->attachAxis(x);
        m_series->attachAxis(y);
    }
    void update(const TuningSession &session) override {
        QList<QPointF> points;
        const std::vector<Complex> shown = session.reflectionShown();
        if (!shown.empty())
            for (const auto &reading : session.markerReadings().markers)
                if (reading) {
                    const Complex v =
                        shown[nearestPoint(session.network()->frequencyMHz, reading->fMHz)];
                    points.append(QPointF(v.real(), v.imag()));
                }
        m_series->replace(points);
        m_series->setVisible(!points.isEmpty());
    }

  private:
    QScatterSeries *m_series = nullptr;
};

// A time response's |h| in dB.
class TimeTraceLayer : public ChartLayer {
  public:
    TimeTraceLayer(QString name, QColor colour, Qt::PenStyle style, bool target)
        : m_name(std::move(name)), m_colour(colour), m_style(style), m_target(target) {}
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = addLine(chart, x, y, m_name, m_colour, 1.5, m_style);
    }
    void update(const TuningSession &session) override {
        const TuningSession::TimeView &view = session.timeView();
        const std::optional<TimeResponse> &r = m_target ? view.target : view.measured;
        QList<QPointF> points;
        m_range.reset();
        if (r) {
            for (std::size_t i = 0; i < r->tNs.size(); ++i)
                points.append(QPointF(r->tNs[i], r->db[i]));
            const auto [low, high] = std::minmax_element(r->db.begin(), r->db.end());
            m_range = QRectF(QPointF(r->tNs.front(), *low), QPointF(r->tNs.back(), *high));
        }
        m_series->replace(points);
        m_series->setVisible(!points.isEmpty());
    }
    std::optional<QRectF> range() const override { return m_range; }

  private:
    QString m_name;
    QColor m_colour;
    Qt::PenStyle m_style;
    bool m_target;
    QLineSeries *m_series = nullptr;
    std::optional<QRectF> m_range;
};

// A marker at each dip of the sweep's time response, numbered.
class TimeDipLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override {
        m_series = new QScatterSeries;
        m_series->setName(TimePanel::tr("Dips"));
        m_series->setMarkerSize(9);
        m_series->setColor(QColor(0x10, 0x10, 0x10));
        m_series->setPointLabelsFormat(QStringLiteral("@xPoint ns"));
        m_series->setPointLabelsVisible(true);
        m_series->setPointLabelsClipping(false);
        chart->addSeries(m_series);
        m_series->attachAxis(x);
        m_series->attachAxis(y);
    }
    void update(const TuningSession &session) override {
        QList<QPointF> points;
        for (const TimeDip &dip : session.timeView().dips)
            points.append(QPointF(std::round(dip.tNs * 10) / 10, dip.db));
        m_series->replace(points);
        m_series->setVisible(!points.isEmpty());
    }

  private:
    QScatterSeries *m_series = nullptr;
};

std::vector<std::unique_ptr<ChartLayer>> smithLayers() {
    std::vector<std::unique_ptr<ChartLayer>> layers;
    layers.push_back(std::make_unique<SmithGridLayer>());
    layers.push_back(std::make_unique<ReflectionLayer>(
        SmithPanel::tr("Memory"), QColor(0x90, 0x90, 0x90), Qt::SolidLine,
        [](const TuningSession &s) { return s.memoryReflectionShown(); }));
    layers.push_back(std::make_unique<ReflectionLayer>(
        SmithPanel::tr("Target"), QColor(0xc0, 0x30, 0x30), Qt::DashLine,
        [](const TuningSession &s) {
            return s.curve() && !s.wholeFilter() ? s.curve()->s11 : std::vector<Complex>();
        }));
    layers.push_back(std::make_unique<ReflectionLayer>(
        SmithPanel::tr("Measured"), QColor(0x1f, 0x4e, 0xa8), Qt::SolidLine,
        [](const TuningSession &s) { return s.reflectionShown(); }));
    layers.push_back(std::make_unique<SmithMarkerLayer>());
    return layers;
}

std::vector<std::unique_ptr<ChartLayer>> timeLayers() {
    std::vector<std::unique_ptr<ChartLayer>> layers;
    layers.push_back(std::make_unique<TimeTraceLayer>(
        TimePanel::tr("Target"), QColor(0xc0, 0x30, 0x30), Qt::DashLine, true));
    layers.push_back(std::make_unique<TimeTraceLayer>(
        TimePanel::tr("Measured"), QColor(0x1f, 0x4e, 0xa8), Qt::SolidLine, false));
    layers.push_back(std::make_unique<TimeDipLayer>());
    return layers;
}

// The times drawn, on round numbers; |h| in whole 20 dB steps down to
// 120 dB below the top.
void fitTimeAxes(QValueAxis *x, QValueAxis *y, const std::optional<QRectF> &r) {
    if (!r)
        return;
    x->setRange(r->left(), r->right());
    x->applyNiceNumbers();
    const double top = std::ceil(std::max(0.0, r->bottom()) / 20 + 0.01) * 20;
    const double bottom = std::max(top - 120, std::floor(r->top() / 20) * 20);
    y->setRange(bottom, top);
    y->setTickCount(static_cast<int>((top - bottom) / 20) + 1);
    y->setLabelFormat(QStringLiteral("%.0f"));
}

} // namespace

SmithPanel::SmithPanel(TuningSession &session, QWidget *parent)
    : QWidget(parent), m_session(session) {
    m_chart = new LayeredChart(session, smithLayers(), [](QValueAxis *x, QValueAxis *y, auto) {
        for (QValueAxis *axis : {x, y}) {
            axis->setRange(-1.05, 1.05);
            axis->setVisible(false);
        }
    });
    m_chart->setObjectName(QStringLiteral("smithChart"));
    m_chart->setSquare(true);
    m_chart->setMouseTracking(true);
    m_chart->viewport()->installEventFilter(this);
    m_readout = new QLabel;
    m_readout->setObjectName(QStringLiteral("smithReadout"));
    m_readout->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_chart, 1);
    layout->addWidget(m_readout);
    m_chart->redraw();
}

QString SmithPanel::readout() const {
    return m_readout->text();
}

bool SmithPanel::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseMove) {
        const QPointF at = m_chart->chart()->mapToValue(m_chart->chart()->mapFromScene(
            m_chart->mapToScene(static_cast<QMouseEvent *>(event)->position().toPoint())));
        const Complex gamma(at.x(), at.y());
        const double reference = m_session.network() ? m_session.network()->referenceOhms : 50;
        const auto z = std::abs(gamma) <= 1 ? impedanceOf(gamma, reference) : std::nullopt;
        m_readout->setText(z ? tr("Z = %1 %2 j%3 Ω, |Γ| %4 dB")
                                   .arg(number(z->real(), 1), z->imag() < 0 ? "-" : "+",
                                        number(std::abs(z->imag()), 1),
                                        number(20 * std::log10(std::abs(gamma)), 1))
                             : QString());
    }
    return QWidget::eventFilter(watched, event);
}

TimePanel::TimePanel(TuningSession &session, QWidget *parent)
    : QWidget(parent), m_session(session) {
    m_chart = new LayeredChart(session, timeLayers(), fitTimeAxes);
    m_chart->setObjectName(QStringLiteral("timeChart"));
    m_chart->axisX()->setTitleText(tr("Time (ns)"));
    m_chart->axisY()->setTitleText(tr("|h| (dB)"));
    m_window = new QComboBox;
    m_window->setObjectName(QStringLiteral("timeWindow"));
    for (const TimeWindow &w :
         {TimeWindow{TimeWindow::Kaiser, 6}, TimeWindow{TimeWindow::Kaiser, 13},
          TimeWindow{TimeWindow::Hann}, TimeWindow{TimeWindow::Rectangle}})
        m_window->addItem(windowName(w), QVariantList{static_cast<int>(w.kind), w.beta});
    connect(m_window, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QVariantList w = m_window->itemData(index).toList();
        m_session.setTimeWindow({static_cast<TimeWindow::Kind>(w[0].toInt()), w[1].toDouble()});
    });
    m_state = new QLabel;
    m_state->setObjectName(QStringLiteral("timeState"));
    m_state->setTextFormat(Qt::PlainText);
    m_state->setWordWrap(true);
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Window")));
    controls->addWidget(m_window);
    controls->addWidget(m_state, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(m_chart, 1);
    for (auto changed : {&TuningSession::sweepChanged, &TuningSession::inputsChanged,
                         &TuningSession::timeWindowChanged})
        connect(&m_session, changed, this, &TimePanel::showState);
    showState();
}

QString TimePanel::windowName(const TimeWindow &window) {
    switch (window.kind) {
    case TimeWindow::Rectangle:
        return tr("Rectangle");
    case TimeWindow::Hann:
        return tr("Hann");
    case TimeWindow::Kaiser:
        break;
    }
    return tr("Kaiser, β %1").arg(number(window.beta, 0));
}

void TimePanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    showState();
}

void TimePanel::showState() {
    if (!isVisible())
        return; // the time view is computed only to be shown
    const TuningSession::TimeView &view = m_session.timeView();
    if (view.refusal)
        m_state->setText(timeRefusalFor(*view.refusal));
    else if (view.measured)
        m_state->setText(tr("Dips of resonators 1 to %1 marked, window %2")
                             .arg(view.dips.size())
                             .arg(windowName(view.measured->window)));
    else
        m_state->setText(tr("No sweep with this parameter."));
}

} // namespace varnel
