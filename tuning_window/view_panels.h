#pragma once

#include "tuning_window/chart_layer.h"

#include <QWidget>

class QComboBox;
class QLabel;

namespace varnel {

// The Smith chart of the reflection on screen: the grid, the sweep (its
// electrical delay removed), the target and the memory, and the markers
// where the sweep has their frequencies; a hover reads the impedance.
class SmithPanel : public QWidget {
    Q_OBJECT
  public:
    explicit SmithPanel(TuningSession &session, QWidget *parent = nullptr);
    LayeredChart *chart() const { return m_chart; }
    QString readout() const;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    TuningSession &m_session;
    LayeredChart *m_chart = nullptr;
    QLabel *m_readout = nullptr;
};

// The band-pass time domain of the reflection on screen and of its target,
// with the window used named and chosen, and a marker at every dip.
class TimePanel : public QWidget {
    Q_OBJECT
  public:
    explicit TimePanel(TuningSession &session, QWidget *parent = nullptr);
    LayeredChart *chart() const { return m_chart; }
    // The window as shown: "Kaiser, β 6".
    static QString windowName(const TimeWindow &window);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void showState();

    TuningSession &m_session;
    LayeredChart *m_chart = nullptr;
    QComboBox *m_window = nullptr;
    QLabel *m_state = nullptr;
};

} // namespace varnel
