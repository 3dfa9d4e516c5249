#pragma once

#include "tuning/markers.h"
#include "tuning_window/tuning_session.h"

#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QTableView;

namespace varnel {

// The marker table under the chart: a row a marker (frequency, measured and
// target delay, their difference in ns and %, |S11|, and the memory's delay
// when there is a memory), then the delta row. The numbers are the core's
// (readMarker, markerDelta); the panel only shows them. The selected row is
// the selected marker: Left and Right move it a point (with Shift, ten),
// Delete removes it.
// Example: marker 1 at 1000 MHz, measured 52 ns, target 50 ns reads
// "1 | 1000.000 | 52.000 | 50.000 | +2.000 | +4.00 | -12.00".
class MarkerPanel : public QWidget {
    Q_OBJECT
  public:
    // `actions` are shown as buttons above the table.
    explicit MarkerPanel(const QList<QAction *> &actions, QWidget *parent = nullptr);

    // Shows the session's markers as they change, in the stage's mode only.
    void follow(TuningSession &session);
    // Marker n's reading in row n; a delta row when `delta` is given
    // (marker `deltaOf` against marker 1); the memory's columns with `memory`.
    void show(const std::vector<std::optional<MarkerReading>> &readings,
              const std::optional<MarkerDelta> &delta, int deltaOf, bool memory);
    int selected() const;
    void select(int marker);
    // The cell's text, for tests.
    QString text(int row, int column) const;
    QTableView *table() const { return m_table; }

  signals:
    void selectedChanged(int marker);
    void moveRequested(int points);
    void removeRequested(int marker);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void fitHeight();

    QTableView *m_table = nullptr;
    class MarkerTableModel *m_model = nullptr;
    int m_markers = 0;
};

} // namespace varnel
