#pragma once

#include "tuning/markers.h"
#include "tuning_window/tuning_journal.h"
#include "tuning_window/tuning_session.h"
#include "tuning_window/window_actions.h"
#include "tuning_window/window_texts.h"

#include <QMainWindow>
#include <QPointF>

#include <optional>
#include <vector>

class QChartView;
class QLabel;
class QLineSeries;
class QLocale;
class QProgressBar;
class QScrollArea;
class QSplitter;
class QTimer;

namespace varnel {

class InputPanel;
class MarkerPanel;
class ResponseChart;
class VerdictPanel;
class WindowActions;

// The tuning window: filter inputs, the stage table, the target group delay
// of the selected stage with the measured sweep over it, and the verdict of
// the stage check. It computes nothing itself and owns no state of the
// tuning: its TuningSession holds inputs, sweep and report, and the panels
// show what the session says, marked when it is not current.
class TuneWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit TuneWindow(QWidget *parent = nullptr);
    ~TuneWindow() override;

    // Reads a Touchstone file and watches it; an unreadable file keeps the
    // previous sweep, marked, and shows the reason.
    void openFile(const QString &path);
    // Sweeps from an analyser (scpi://, librevna://, nanovna:), checked as
    // they come.
    void connectAnalyser(const QString &address);

    // Exports; an empty text on success, else what went wrong.
    QString exportChartPng(const QString &path);
    QString exportChartSvg(const QString &path);
    // The exports' caption line: the sweep's name, the stage, the date and
    // the verdict, marked when it is not of what is on screen.
    QString chartCaption() const;
    QString exportComparisonCsv(const QString &path);
    QString exportTargetS1p(const QString &path);
    QString exportSweep(const QString &path);

    // What the window shows, for tests and benchmarks.
    TuningSession &session() { return m_session; }
    TuningJournal &journal() { return m_journal; }
    const std::optional<CheckReport> &report() const { return m_session.report(); }
    QString statusText() const;
    QString sweepMessage() const;
    std::size_t measuredPoints() const;
    QChartView *chartView() const;
    bool loading() const { return m_session.loading(); }
    // How many stretches of the sweep are drawn outside the tolerance band.
    int bandStretchesShown() const;

    // Markers: a click on the chart puts one at the nearest point of the
    // measured trace (up to maxMarkers; then it moves the selected one).
    void placeMarker(double fMHz);
    const std::vector<Marker> &markers() const { return m_session.markers().markers(); }
    MarkerPanel *markerPanel() const { return m_markerPanel; }
    // Where marker n is drawn on the chart; none when it is not drawn.
    std::optional<QPointF> markerDrawnAt(int marker) const;
    // The memory as a golden unit's file; an empty text on success.
    QString openMemory(const QString &path);
    // The sweep against the memory as the verdict panel shows it.
    QString memoryVerdictText() const;
    QLineSeries *memorySeries() const;

  signals:
    // The inputs were read again and the table and target curve redrawn.
    void modelUpdated();
    // A current verdict (or why there is none) is on screen.
    void sweepShown();
    // A sweep could not be read; the previous one stays, marked.
    void sweepFailed(const QString &message);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void buildLayout();
    void buildStatusBar();
    void restoreSettings();
    void saveSettings() const;
    void showInputs();
    void showSweep();
    void showReport();
    void showDiagnosis();
    // The word of the verdict on screen, from its report.
    QString verdictWord() const;

    TuningSession m_session;
    TuningJournal m_journal{m_session};
    InputPanel *m_inputs = nullptr;
    VerdictPanel *m_verdictPanel = nullptr;
    ResponseChart *m_chart = nullptr;
    MarkerPanel *m_markerPanel = nullptr;
    WindowActions *m_actions = nullptr;
    QSplitter *m_splitter = nullptr;
    QWidget *m_chartSide = nullptr;
    QScrollArea *m_panelScroll = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_readout = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_progressDelay = nullptr;
    QTimer *m_saveDelay = nullptr;
};

// Installs the window's translation for `locale` (English needs none; the
// Simplified Chinese one is built in) and Qt's own for its dialogs.
void loadTranslations(const QLocale &locale);

} // namespace varnel
