#pragma once

#include "tuning/markers.h"
#include "tuning_window/tuning_session.h"
#include "tuning_window/window_texts.h"

#include <QMainWindow>
#include <QPointF>

#include <array>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QLocale;
class QMenu;
class QProgressBar;
class QScrollArea;
class QSpinBox;
class QSplitter;
class QTableView;
class QTimer;

class QChart;
class QChartView;
class QAreaSeries;
class QPainter;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace varnel {

class MarkerPanel;
class VerdictPanel;

class ChartView;
class StageTableModel;

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
    QLineSeries *memorySeries() const { return m_memoryDelay; }

  signals:
    // The inputs were read again and the table and target curve redrawn.
    void modelUpdated();
    // A current verdict (or why there is none) is on screen.
    void sweepShown();
    // A sweep could not be read; the previous one stays, marked.
    void sweepFailed(const QString &message);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // An axis whose scale is held: its range stays through sweeps and zooms.
    struct AxisLock {
        QValueAxis *axis = nullptr;
        QAction *action = nullptr;
        std::optional<std::pair<double, double>> range;
    };

    void buildInputs(QWidget *panel);
    void buildMeasurement(QWidget *panel);
    void buildVerdict(QWidget *panel);
    void buildChart();
    void buildMenus();
    // The inputs kept between runs, with their settings keys.
    std::vector<std::pair<QLineEdit *, const char *>> savedFields() const;
    void restoreSettings();
    void saveSettings() const;

    void textsEdited();
    void showInputs();
    void showSweep();
    void showReport();
    // Shows a pending grey-out at once (new inputs do not wait).
    void greyNow();
    void showDiagnosis();
    // The word of the verdict on screen, from its report.
    QString verdictWord() const;
    void drawMeasured();
    // The band around the target and the stretches of the sweep outside it.
    void drawBand();
    // Holds an axis at [min, max] (View > Scales..., or remembered).
    void holdScale(AxisLock &lock, double min, double max);
    void chooseScales();
    // The chart, then the caption line under it.
    void renderWithCaption(QPainter &painter, const QSize &chart);
    void autoscale();
    // Stage by stage or the whole filter: which series, axes and fields show.
    void applyMode();
    void addRecent(const QString &path);
    void fillRecentMenu();
    void chooseFile();
    void chooseAnalyser();
    // The analyser's link in the status bar, and the actions it allows.
    void showLink();
    // `what` names the export in the proposed file name ("comparison").
    void exportWithDialog(const QString &title, const QString &filter, const QString &what,
                          QString (TuneWindow::*exporter)(const QString &));
    void warn(const QString &title, const QString &text);
    void buildMarkers();
    // The markers read from the report on screen, on the chart and in
    // their table.
    void drawMarkers();
    void chooseMemory();
    // The memory's traces and the verdict against it.
    void showMemory();

    TuningSession m_session;

    // Inputs.
    QLineEdit *m_order = nullptr;
    QLineEdit *m_bandwidth = nullptr;
    QLineEdit *m_ripple = nullptr;
    QLineEdit *m_f0 = nullptr;
    QLineEdit *m_qu = nullptr;
    QSpinBox *m_stage = nullptr;
    std::vector<std::pair<InputField, std::pair<QWidget *, QLabel *>>> m_fieldMarks;
    QTableView *m_stages = nullptr;
    StageTableModel *m_stageModel = nullptr;

    // Measurement.
    QComboBox *m_parameter = nullptr;
    QComboBox *m_mode = nullptr;
    // The whole filter's traces: |S11| and |S21| measured, fitted, designed.
    std::array<QLineSeries *, 6> m_filterSeries{};
    QString m_filterDrawnOrigin; // the sweep the filter axes were fitted to
    QComboBox *m_resonator = nullptr;
    QComboBox *m_output = nullptr;
    QLineEdit *m_aperture = nullptr;
    QLineEdit *m_edelay = nullptr;
    QLineEdit *m_tolerance = nullptr;
    QLineEdit *m_toleranceFrequency = nullptr;
    QLineEdit *m_couplingSlope = nullptr, *m_qeSlope = nullptr, *m_cutoff = nullptr;
    QSpinBox *m_average = nullptr;
    QLabel *m_file = nullptr;
    QLabel *m_sweepMessage = nullptr;

    // Verdict.
    VerdictPanel *m_verdictPanel = nullptr;

    // Chart.
    QChart *m_chart = nullptr;
    ChartView *m_view = nullptr;
    QValueAxis *m_axisF = nullptr;
    QValueAxis *m_axisDelay = nullptr;
    QValueAxis *m_axisDb = nullptr;
    QLineSeries *m_target = nullptr;
    QLineSeries *m_targetDb = nullptr;
    QLineSeries *m_measured = nullptr;
    QLineSeries *m_measuredDb = nullptr;
    QLineSeries *m_f0Marker = nullptr;
    // The tolerance band and the measured stretches outside it.
    QAreaSeries *m_band = nullptr;
    QLineSeries *m_bandLower = nullptr, *m_bandUpper = nullptr;
    std::vector<QLineSeries *> m_bandFail;
    QAction *m_showBand = nullptr;
    AxisLock m_delayLock, m_dbLock;
    QAction *m_showDb = nullptr;
    QString m_drawnOrigin; // the file whose sweep the axes were fitted to

    // Markers.
    MarkerPanel *m_markerPanel = nullptr;
    QWidget *m_chartSide = nullptr;
    std::array<QScatterSeries *, maxMarkers> m_markerSeries{};
    QAction *m_delta = nullptr;

    // The memory.
    QLineSeries *m_memoryDelay = nullptr, *m_memoryDb = nullptr;
    QAction *m_againstMemory = nullptr, *m_clearMemory = nullptr;
    // The memory's check drawn, and whether it was drawn or cleared.
    std::pair<quint64, bool> m_memoryDrawn{0, false};

    QSplitter *m_splitter = nullptr;
    QScrollArea *m_panelScroll = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_readout = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_progressDelay = nullptr;
    // A new sweep under check greys the verdict only if its check takes a
    // while: a quick one is painted once, not greyed and then again.
    QTimer *m_greyDelay = nullptr;
    QTimer *m_saveDelay = nullptr;
    bool m_greyNow = false;
    bool m_currentShown = false; // a current verdict is on screen
    QMenu *m_recentMenu = nullptr;
    QLabel *m_link = nullptr;
    QAction *m_disconnect = nullptr;
    QAction *m_hold = nullptr;
    QAction *m_saveSweep = nullptr;
};

// A file name for a menu entry: "&" doubled so that it shows literally.
QString menuText(const QString &text);

// Installs the window's translation for `locale` (English needs none; the
// Simplified Chinese one is built in) and Qt's own for its dialogs.
void loadTranslations(const QLocale &locale);

} // namespace varnel
