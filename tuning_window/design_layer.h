#pragma once

#include "tuning_window/chart_layer.h"

#include <array>
#include <vector>

namespace varnel {

// A cross-coupled design on the dB chart, in the whole filter's mode: its
// |S11| and |S21| over the design's span at the inputs' Qu while no
// diagnosis draws them at the sweep's points (so that the target shows
// before a sweep), and a line at each transmission zero, across the axis;
// while the inputs do not read, the last design stays, greyed.
// Example: zeros 985 and 1015 MHz, no sweep -> two design traces and two
// zero lines; a diagnosis on screen -> the zero lines alone; an in-line
// filter or the stage mode -> nothing.
class DesignLayer : public ChartLayer {
  public:
    void attach(QChart *chart, QValueAxis *x, QValueAxis *y) override;
    void update(const TuningSession &session) override;
    std::optional<QRectF> range() const override;

  private:
    void span();

    QChart *m_chart = nullptr;
    QValueAxis *m_x = nullptr, *m_y = nullptr;
    std::array<QLineSeries *, 2> m_traces{};
    std::vector<QLineSeries *> m_zeros; // one a zero, grown as needed
    std::vector<double> m_zerosMHz;     // the last design's
    std::size_t m_shownZeros = 0;
    quint64 m_drawn = 0;
};

} // namespace varnel
