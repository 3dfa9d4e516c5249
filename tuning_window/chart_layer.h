#pragma once

#include "tuning_window/tuning_session.h"

#include <QChartView>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAbstractSeries;
class QChart;
class QLineSeries;
class QValueAxis;

namespace varnel {

// One kind of trace on a chart: it puts its series on the chart once
// (attach) and draws them again from the session (update); the chart asks
// every layer for the values it draws to fit its axes. Every number drawn
// is the session's (and so the core's).
class ChartLayer {
  public:
    virtual ~ChartLayer() = default;
    virtual void attach(QChart *chart, QValueAxis *x, QValueAxis *y) = 0;
    virtual void update(const TuningSession &session) = 0;
    // The values drawn, for the axes; none when nothing is drawn.
    virtual std::optional<QRectF> range() const { return std::nullopt; }
};

// A chart of layers over one session, redrawn whenever what they show may
// have changed and while it is on screen (a hidden chart catches up when
// shown). `fitAxes` sets the axes from the layers' joint range (empty
// without any).
class LayeredChart : public QChartView {
    Q_OBJECT
  public:
    using FitAxes =
        std::function<void(QValueAxis *x, QValueAxis *y, const std::optional<QRectF> &)>;
    LayeredChart(TuningSession &session, std::vector<std::unique_ptr<ChartLayer>> layers,
                 FitAxes fitAxes, QWidget *parent = nullptr);
    ~LayeredChart() override;

    QValueAxis *axisX() const { return m_x; }
    QValueAxis *axisY() const { return m_y; }
    // A square plot area (a Smith chart's).
    void setSquare(bool square) { m_square = square; }
    void redraw();

  protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void keepSquare();

    TuningSession &m_session;
    std::vector<std::unique_ptr<ChartLayer>> m_layers;
    FitAxes m_fitAxes;
    QValueAxis *m_x = nullptr, *m_y = nullptr;
    bool m_square = false;
    bool m_stale = true; // changed while hidden
};

// At most about `limit` points of a trace for drawing: the lowest and the
// highest of each run of neighbouring points, so that no peak is lost.
// Example: 10 000 points with limit 2000 -> runs of 10, two points each.
QList<QPointF> pointsForDrawing(const std::vector<double> &x, const std::vector<double> &y,
                                std::size_t limit);

// Axis ticks at 1-2-5 steps: about `ticks` intervals covering low..high,
// the range widened to whole steps (or kept as given, the ticks at whole
// steps within it), labels with the decimals a step needs. The range is set
// once: each change of it redraws every trace on the axis.
// Example: 0..27.3 with 6 ticks -> 0..30 in steps of 5, labels "%.0f";
// -22.1..1 -> -25..5 in steps of 5; 985..1015 -> 985..1015 in steps of 5;
// 985.5..1014.5 kept as given -> ticks from 985 in steps of 5.
enum class AxisRange { Widened, AsGiven };
void niceAxis(QValueAxis *axis, double low, double high, int ticks = 6,
              AxisRange range = AxisRange::Widened);

// Shows or hides a series kept out of the legend: showing a series shows
// its legend entry again.
void showUnlisted(QChart *chart, QAbstractSeries *series, bool shown);

// A line series of `colour`, `width` and `style` on both axes.
QLineSeries *addLine(QChart *chart, QValueAxis *x, QValueAxis *y, const QString &name,
                     const QColor &colour, qreal width = 1.5, Qt::PenStyle style = Qt::SolidLine);

} // namespace varnel
