#pragma once

#include "sweep_sources/sweep_source.h"
#include "tuning/check.h"
#include "tuning/diagnosis.h"
#include "tuning/marker_set.h"
#include "tuning/markers.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/stage_inputs.h"
#include "tuning/stage_model.h"
#include "tuning/sweep_average.h"
#include "tuning/time_domain.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

// One tuning session: the inputs as typed and as read, the sweep on screen
// and where it came from, and the check of that sweep against those inputs,
// with whether each is current. The tuning window's panels only show it.
//
// What is shown is always current or says it is not: when the input texts
// have a problem, or a new sweep or new inputs are being checked, the last
// report stays available but reportCurrent() is false, and exports of the
// comparison or the target are refused with the reason.
// Example: inputs valid, sweep checked -> reportCurrent(); tolerance typed
// as "0,1" -> problems() names the tolerance, reportCurrent() is false and
// exportComparisonCsv() refuses until the field reads again.
// In the whole-filter mode the sweep is diagnosed (diagnosis.h) instead of
// checked as a stage, with the same rules of currency; the comparison
// export is then the diagnosis's CSV.
namespace varnel {

// How the session is shown, kept between runs: stage by stage or the whole
// filter, the |S| traces in dB, the tolerance band, the verdict against the
// memory, the held scales of the delay and dB axes, and the delta marker.
struct ViewState {
    bool wholeFilter = false;
    bool showDb = false;
    bool band = true;
    bool againstMemory = true;
    bool delta = false;
    std::optional<std::pair<double, double>> delayScale, dbScale; // none: fitted
    friend bool operator==(const ViewState &, const ViewState &) = default;
};

class TuningSession : public QObject {
    Q_OBJECT

  public:
    explicit TuningSession(QObject *parent = nullptr);
    ~TuningSession() override;

    // Inputs.
    void setTexts(const StageInputTexts &texts);
    const StageInputTexts &texts() const { return m_texts; }
    const std::vector<InputProblem> &problems() const { return m_problems; }
    // Of the texts as they are now; none while they have a problem.
    const std::optional<StageInputs> &inputs() const { return m_inputs; }
    // The target curve and stage rows of inputs(); empty without them.
    const std::optional<TargetCurve> &curve() const { return m_curve; }
    const std::vector<StageRow> &stageRows() const { return m_rows; }
    // Changes whenever curve() or designResponse() does, so that a chart
    // draws it once.
    quint64 curves() const { return m_curves; }
    // A cross-coupled design's (inputs() with zeros or a topology): its
    // response over its span, with the inputs' Qu; none for an in-line one.
    const std::optional<DesignCurve> &designResponse() const { return m_designResponse; }

    // The sweep: a file, read again whenever it changes; or an analyser
    // (scpi://HOST[:PORT]) sweeping again and again.
    void openFile(const QString &path);
    void openAnalyser(const QString &address);
    QString origin() const { return m_origin; }
    // The sweeps come from an analyser, not a file.
    bool fromAnalyser() const { return m_fromAnalyser; }
    // The analyser's link: Connecting until it answers, Connected (its name
    // in identity()), Lost while it is connected again, Held while the
    // sweep on screen is frozen, Closed once disconnected (the last sweep
    // stays); None for a file.
    enum class Link { None, Connecting, Connected, Lost, Held, Closed };
    Link link() const { return m_link; }
    QString identity() const { return m_identity; }
    // The address of the analyser connected to (or being connected to).
    QString analyserAddress() const { return m_analyserAddress; }
    // Held: the analyser is left alone and the sweep on screen stays; an
    // analyser's only.
    void setHeld(bool held);
    bool held() const { return m_link == Link::Held; }
    void disconnectAnalyser();
    // The sweep on screen: the newest, or the average of the newest sweeps.
    const std::shared_ptr<const Network> &network() const { return m_network; }
    // Averaging: the trace and the verdict are of the complex average of the
    // last `depth` sweeps (1: each sweep as it comes); it starts afresh with
    // a new source or when the sweep's frequencies change.
    void setAveraging(int depth);
    int averaging() const { return static_cast<int>(m_average.depth()); }
    // How many sweeps the sweep on screen is the average of.
    int averaged() const { return static_cast<int>(m_average.count()); }
    // An analyser's sweeps a second, smoothed over its last few (0 until
    // two have come, and for a file).
    double sweepRate() const { return m_sweepRate; }
    // Why the newest read gave no sweep (the last good sweep stays).
    const std::optional<SweepFailure> &sweepFailure() const { return m_failure; }
    bool loading() const { return m_loading; }
    // The settle interval of file sources (tests shorten it).
    void setSettleInterval(int milliseconds) { m_settleMs = milliseconds; }

    // Stage by stage (false) or the whole filter diagnosed (true).
    void setWholeFilter(bool whole);
    bool wholeFilter() const { return m_view.wholeFilter; }
    // How it is shown; the mode and the delta marker change what is
    // checked and read, the rest only what is drawn.
    void setViewState(const ViewState &view);
    const ViewState &viewState() const { return m_view; }

    // The verdict.
    const std::optional<CheckReport> &report() const { return m_report; }
    // The whole filter's, in that mode.
    const std::optional<Diagnosis> &diagnosis() const { return m_diagnosis; }
    // A cross-coupled design's, in that mode, in place of diagnosis().
    const std::optional<MatrixDiagnosis> &matrixDiagnosis() const { return m_matrixDiagnosis; }
    // The whole filter's diagnosis on screen, as traces at the sweep's
    // points (either kind); none without one.
    std::optional<DiagnosisTraces> diagnosisTraces() const;
    const std::optional<DiagnoseRefusal> &diagnoseRefusal() const { return m_diagnoseRefusal; }
    const std::optional<CheckRefusal> &refusal() const { return m_refusal; }
    // The report (or refusal) belongs to the inputs and sweep on screen.
    bool reportCurrent() const { return m_reportCurrent; }
    bool checking() const { return m_checkWatcher.isRunning(); }
    // Whether what is on screen is drawn as current or greyed: greyed as
    // soon as the report is not current, except that a new sweep's check
    // greys it only after greyDelayMs, so that a quick check is painted
    // once (the last verdict stays, with the trace it is of, meanwhile).
    // Example: a re-read checked in 40 ms -> stays current throughout; new
    // inputs -> greyed at once; a check of 300 ms -> greyed at 150 ms.
    bool shownCurrent() const { return m_shownCurrent; }
    static constexpr int greyDelayMs = 150;
    // Changes whenever the report, the diagnosis or a refusal does.
    quint64 checks() const { return m_checks; }

    // The memory: a sweep kept to compare with, the sweep on screen stored
    // or a golden unit's file, checked with the same inputs as the sweep.
    void storeMemory();
    // None on success, else why the file gives no memory (the old one stays).
    std::optional<SweepFailure> openMemory(const QString &path);
    void clearMemory();
    const std::shared_ptr<const Network> &memory() const { return m_memory; }
    // The memory's sweep's name: its file's, or the stored sweep's origin.
    QString memoryName() const { return m_memoryName; }
    // The golden unit's file the memory was read from; empty for a stored
    // sweep (it is this run's only) and without a memory.
    QString memoryFile() const { return m_memoryFile; }
    // The memory's check with the inputs of the last check (the sweep's
    // report()), or why it has none; neither while it is first checked.
    const std::optional<CheckReport> &memoryReport() const { return m_memoryReport; }
    const std::optional<CheckRefusal> &memoryRefusal() const { return m_memoryRefusal; }
    // Changes whenever memoryReport() does, so that its trace is drawn once.
    quint64 memoryChecks() const { return m_memoryChecks; }
    // False when the memory lacks the parameter the inputs choose (it then
    // has no check and no comparison).
    bool memoryHasParameter() const;
    // The sweep on screen against the memory, of the same inputs and sweep
    // as report() (and current with it).
    const std::optional<MemoryComparison> &memoryComparison() const { return m_memoryComparison; }

    // Markers on the stage's delay trace (marker_set.h), read on report().
    const MarkerSet &markers() const { return m_markers; }
    void addMarker(const Marker &marker);
    // A marker at the trace's point nearest fMHz; only with a report.
    void placeMarker(double fMHz);
    void markersAtLobePeaks();
    void moveMarker(int points);
    void removeMarker(int marker);
    void selectMarker(int marker);
    void clearMarkers();
    void setMarkers(std::vector<Marker> markers);
    // The selected marker read against marker 1.
    void setDelta(bool on);
    bool delta() const { return m_view.delta; }
    // Each marker's reading of the report on screen (none in the whole
    // filter's mode), against the memory where there is one.
    MarkerSet::Readings markerReadings() const;

    // The reflection the Smith chart and the time domain show: the inputs'
    // parameter (S11 without inputs) of the sweep on screen, the inputs'
    // electrical delay removed; empty without a sweep that has it.
    std::vector<std::complex<double>> reflectionShown() const;
    // The memory's, as reflectionShown() is the sweep's.
    std::vector<std::complex<double>> memoryReflectionShown() const;
    // The band-pass time responses (time_domain.h) of reflectionShown() and
    // of the target at the sweep's own points (the whole filter's, loaded,
    // in that mode), or why there are none. Computed when first asked after
    // the sweep, the inputs, the mode or the window changed.
    // `dips`: the measured response's first dips, one a resonator present
    // (the stage's in its mode, the filter's in the whole filter's, all
    // without inputs): the ones the time-domain method tunes by.
    struct TimeView {
        std::optional<TimeResponse> measured, target;
        std::vector<TimeDip> dips;
        std::optional<TimeDomainRefusal> refusal;
    };
    const TimeView &timeView() const;
    void setTimeWindow(const TimeWindow &window);
    const TimeWindow &timeWindow() const { return m_timeWindow; }

    // Exports; an empty text on success, else the reason, as plain text.
    QString exportComparisonCsv(const QString &path) const;
    QString exportTargetS1p(const QString &path) const;
    // The sweep on screen as Touchstone: a 1-port file, or a 2-port one
    // from a 2-port sweep.
    QString exportSweep(const QString &path) const;

  signals:
    void linkChanged();
    void inputsChanged();
    void sweepChanged(); // a new sweep, or a failure of the source
    void reportChanged();
    void loadingChanged(bool loading);
    void memoryChanged(); // a new memory, or its check
    void markersChanged();
    void timeWindowChanged();
    void viewChanged();  // viewState() changed
    void shownChanged(); // shownCurrent() changed other than with the report

  private:
    using Checked =
        std::variant<CheckReport, CheckRefusal, Diagnosis, MatrixDiagnosis, DiagnoseRefusal>;
    using StageCheck = std::variant<CheckReport, CheckRefusal>;
    // The sweep's check, and the memory's when it was due.
    struct Results {
        Checked sweep;
        std::optional<StageCheck> memory;
        quint64 memoryGeneration = 0;
    };

    void useSource(std::unique_ptr<SweepSource> source);
    void takeSweep(const Sweep &sweep);
    void takeFailure(const SweepFailure &failure);
    void recheck();
    // The whole filter's diagnosis of the inputs and sweep, begun.
    void startDiagnosis();
    QString exportDiagnosisCsv(const QString &path) const;
    void checkFinished();
    StageModel targetModel(StageOutput output) const;
    void makeCurve(StageOutput output);
    void markStale();
    // shownCurrent() after the report changed; `announce`: shownChanged too.
    void updateShown();
    void setShown(bool current, bool announce);
    void setLink(Link link);
    void setMemory(std::shared_ptr<const Network> memory, const QString &name, const QString &file);
    void compareMemory();
    // The memory's check done: its report or refusal (none: nothing to check).
    void takeMemoryCheck(const std::optional<StageCheck> &check);
    std::vector<std::complex<double>> reflectionOf(const Network *network) const;

    StageInputTexts m_texts;
    std::vector<InputProblem> m_problems;
    std::optional<StageInputs> m_inputs;
    std::optional<TargetCurve> m_curve;
    // The last stage's end the curve shows: the inputs', else the one the
    // last check found.
    StageOutput m_curveOutput = StageOutput::Open;
    // The resonators the curve maps: the inputs' kind and a waveguide's
    // cut-off, where the last check chose or fitted them, its.
    ResonatorKind m_curveResonator = ResonatorKind::Lumped;
    double m_curveCutoff = 0;
    std::vector<StageRow> m_rows;
    std::optional<DesignCurve> m_designResponse;
    quint64 m_curves = 0;

    std::unique_ptr<SweepSource> m_source;
    QString m_origin;
    std::shared_ptr<const Network> m_network;
    SweepAverage m_average;
    std::optional<SweepFailure> m_failure;
    QElapsedTimer m_sweepClock; // since an analyser's last sweep
    double m_sweepRate = 0;
    bool m_loading = false;
    bool m_fromAnalyser = false;
    Link m_link = Link::None;
    QString m_identity;
    QString m_analyserAddress;
    int m_settleMs = FileSweepSource::defaultSettleMs;

    ViewState m_view;
    std::optional<CheckReport> m_report;
    std::optional<CheckRefusal> m_refusal;
    std::optional<Diagnosis> m_diagnosis;
    std::optional<MatrixDiagnosis> m_matrixDiagnosis;
    std::optional<DiagnoseRefusal> m_diagnoseRefusal;
    bool m_reportCurrent = false;
    bool m_shownCurrent = false;
    QTimer m_greyDelay{this}; // a child, so that tests can find it
    quint64 m_checks = 0;
    bool m_recheckPending = false;
    QString m_checkingOrigin; // the source of the sweep under check
    QFutureWatcher<Results> m_checkWatcher;

    std::shared_ptr<const Network> m_memory;
    QString m_memoryName;
    QString m_memoryFile;
    // Counts memories and inputs: a memory's check of older ones is not kept.
    quint64 m_memoryGeneration = 0;
    bool m_memoryChecked = false;
    quint64 m_memoryChecks = 0;
    std::optional<CheckReport> m_memoryReport;
    std::optional<CheckRefusal> m_memoryRefusal;
    std::optional<MemoryComparison> m_memoryComparison;

    MarkerSet m_markers;

    TimeWindow m_timeWindow;
    mutable std::optional<TimeView> m_timeView; // none: to be computed
};

// Writes the bytes to `path` through a temporary file renamed into place,
// every write and the commit checked: on failure the old file stays whole,
// no temporary file is left, and the reason is the system's ("No space left
// on device"). An empty text on success.
QString saveFile(const QString &path, const QByteArray &bytes);

} // namespace varnel
