#pragma once

#include "touchstone/touchstone.h"
#include "tuning/check.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QLocale;
class QMenu;
class QProgressBar;
class QSpinBox;
class QSplitter;
class QTableWidget;

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace varnel {

class ChartView;

// The tuning window: filter inputs, the stage table, the target group delay
// of the selected stage with the measured sweep over it, and the verdict of
// the stage check. It computes nothing itself: the table, curves and verdict
// come from the tuning core, the same functions varnel-calc uses.
class TuneWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit TuneWindow(QWidget *parent = nullptr);
    ~TuneWindow() override;

    // Reads a Touchstone file on a worker thread and watches it for changes;
    // an unreadable file keeps the previous sweep and shows the reason.
    void openFile(const QString &path);

    // Exports; an empty text on success, else what went wrong.
    QString exportChartPng(const QString &path);
    QString exportChartSvg(const QString &path);
    QString exportComparisonCsv(const QString &path);
    QString exportTargetS1p(const QString &path);

    // What the window shows, for tests and benchmarks.
    const std::optional<CheckReport> &report() const { return m_report; }
    QString statusText() const;
    QString sweepMessage() const;
    std::size_t measuredPoints() const;
    QChartView *chartView() const;
    bool loading() const { return m_loadWatcher.isRunning(); }

  signals:
    // The inputs were read again and the table and target curve redrawn.
    void modelUpdated();
    // A sweep (new or re-read) is on screen with its verdict.
    void sweepShown();
    // A file could not be read; the previous sweep stays.
    void sweepFailed(const QString &message);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    struct Inputs {
        TuningTable table;
        int stage = 1;
        double f0 = 0;
        std::optional<double> qu;
    };
    using Loaded = std::variant<std::shared_ptr<const Network>, TouchstoneError>;

    void buildInputs(QWidget *panel);
    void buildMeasurement(QWidget *panel);
    void buildVerdict(QWidget *panel);
    void buildChart();
    void buildMenus();
    // The inputs kept between runs, with their settings keys.
    std::vector<std::pair<QLineEdit *, const char *>> savedFields() const;
    void restoreSettings();
    void saveSettings() const;

    void updateModel();
    std::optional<Inputs> readInputs();
    void markField(QLineEdit *field, QLabel *reason, const QString &message);
    void fillStageTable(const Inputs &inputs);
    void drawTarget(const Inputs &inputs);
    void recheck();
    void showReport();
    void showMeasured();
    void autoscale();
    void loadFinished();
    void fileChanged();
    void addRecent(const QString &path);
    void fillRecentMenu();
    void chooseFile();
    void exportWithDialog(const QString &title, const QString &filter,
                          QString (TuneWindow::*exporter)(const QString &));

    // Inputs.
    QLineEdit *m_order = nullptr;
    QLineEdit *m_bandwidth = nullptr;
    QLineEdit *m_ripple = nullptr;
    QLineEdit *m_f0 = nullptr;
    QLineEdit *m_qu = nullptr;
    QSpinBox *m_stage = nullptr;
    QLabel *m_orderReason = nullptr;
    QLabel *m_bandwidthReason = nullptr;
    QLabel *m_rippleReason = nullptr;
    QLabel *m_f0Reason = nullptr;
    QLabel *m_quReason = nullptr;
    QTableWidget *m_stages = nullptr;

    // Measurement.
    QComboBox *m_parameter = nullptr;
    QLineEdit *m_aperture = nullptr;
    QLineEdit *m_edelay = nullptr;
    QLineEdit *m_tolerance = nullptr;
    QLabel *m_apertureReason = nullptr;
    QLabel *m_edelayReason = nullptr;
    QLabel *m_toleranceReason = nullptr;
    QLabel *m_file = nullptr;
    QLabel *m_sweepMessage = nullptr;

    // Verdict.
    QLabel *m_verdict = nullptr;
    QLabel *m_delays = nullptr;
    QLabel *m_lobes = nullptr;
    QLabel *m_advice = nullptr;
    QLabel *m_quality = nullptr;

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
    QCheckBox *m_showDb = nullptr;

    QSplitter *m_splitter = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_readout = nullptr;
    QProgressBar *m_progress = nullptr;
    QMenu *m_recentMenu = nullptr;

    // State.
    std::optional<Inputs> m_inputs;
    std::optional<TargetCurve> m_curve;
    std::shared_ptr<const Network> m_network;
    std::optional<CheckReport> m_report;
    QString m_path;
    QFileSystemWatcher m_watcher;
    QTimer m_rereadDelay;
    QTimer m_progressDelay;
    QFutureWatcher<Loaded> m_loadWatcher;
    QFutureWatcher<std::variant<CheckReport, std::string>> m_checkWatcher;
    bool m_recheckPending = false;
    QString m_pendingPath;
};

// The advice of the check in the window's language; in English the text
// varnel-calc check prints (adviceText).
QString adviceFor(const CheckReport &report);

// Installs the window's translation for `locale` (English needs none; the
// Simplified Chinese one is built in) and Qt's own for its dialogs.
void loadTranslations(const QLocale &locale);

} // namespace varnel
