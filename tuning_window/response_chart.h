#pragma once

#include "tuning_window/response_layers.h"
#include "tuning_window/tuning_session.h"

#include <QChartView>

#include <optional>
#include <tuple>
#include <utility>
#include <vector>

class QValueAxis;

namespace varnel {

// The response chart: the frequency axis, the group delay on the left and
// |S| in dB on the right, and the layers of responseLayers() drawn from the
// session whenever it changes. The view state sets what shows: the dB
// traces, the band, the mode's traces and axes, held scales (a zoom or a
// new sweep does not move them). A new target, a new sweep's file or a
// change of mode fits the axes; a re-read of the same file keeps the zoom.
// Hover reads the point under the pointer; a click places a marker; Left,
// Right (with Shift ten points) and Delete act on the selected marker.
// Example: a stage-2 target of 115 ns at 1000 MHz with a 2 % tolerance ->
// the band spans 112.7..117.3 ns at 1000 MHz.
class ResponseChart : public QChartView {
    Q_OBJECT
  public:
    explicit ResponseChart(TuningSession &session, QWidget *parent = nullptr);
    ~ResponseChart() override;

    // The axes fitted to the target and the sweep (or the filter's traces).
    void autoscale();
    // View > Reset zoom, the two scale holds and Scales...: the chart's own
    // actions, for the window's menu.
    QList<QAction *> viewActions() const { return m_viewActions; }
    // The delay and dB axes' ranges as drawn.
    std::pair<double, double> delayRange() const;
    std::pair<double, double> dbRange() const;
    // The chart with `caption` on a line under it, as PNG or SVG bytes;
    // empty when it cannot be drawn.
    QByteArray png(const QString &caption);
    QByteArray svg(const QString &caption, const QString &title);

    // For tests: the band's failing stretches drawn, where marker n is
    // drawn, the memory's delay trace, the text of the hover readout.
    int bandStretchesShown() const;
    std::optional<QPointF> markerDrawnAt(int marker) const;
    QLineSeries *memorySeries() const;

  signals:
    // The point under the pointer, as the status bar shows it; empty off
    // the chart.
    void hovered(const QString &readout);

  protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void redraw();
    void applyView();
    void buildActions();
    void chooseScales();
    void setScale(std::optional<std::pair<double, double>> ViewState::*scale,
                  const std::optional<std::pair<double, double>> &range);
    void keepHeld(QValueAxis *axis, const std::optional<std::pair<double, double>> &held);
    void render(QPainter &painter, const QSize &chart, const QString &caption);

    TuningSession &m_session;
    std::vector<ResponseLayerRow> m_rows;
    QValueAxis *m_axisF = nullptr, *m_axisDelay = nullptr, *m_axisDb = nullptr;
    QPointF m_pressedAt;
    // What the axes were last fitted to: the mode, the target, the file.
    std::tuple<bool, double, QString> m_fitted;
    std::optional<ViewState> m_applied;
    QList<QAction *> m_viewActions;
    QAction *m_lockDelay = nullptr, *m_lockDb = nullptr;
};

} // namespace varnel
