#include "tuning_window/tuning_session.h"

#include "quoting/quote.h"
#include "tuning/cutoff_search.h"

#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstring>

namespace varnel {

namespace {

constexpr int curvePoints = 801;

} // namespace

TuningSession::TuningSession(QObject *parent) : QObject(parent) {
    connect(&m_checkWatcher, &QFutureWatcher<Results>::finished, this,
            &TuningSession::checkFinished);
    // The time view is of the sweep and inputs on screen: computed again
    // when next asked (before any other observer hears of a change).
    for (auto changed : {&TuningSession::sweepChanged, &TuningSession::inputsChanged,
                         &TuningSession::reportChanged, &TuningSession::timeWindowChanged})
        connect(this, changed, this, [this] { m_timeView.reset(); });
    // Before any observer: what is shown follows the report.
    connect(this, &TuningSession::reportChanged, this, &TuningSession::updateShown);
    m_greyDelay.setSingleShot(true);
    m_greyDelay.setInterval(greyDelayMs);
    m_greyDelay.setObjectName(QStringLiteral("greyDelay"));
    connect(&m_greyDelay, &QTimer::timeout, this, [this] { setShown(false, true); });
    setTexts(m_texts);
}

TuningSession::~TuningSession() {
    // A check is bounded work on data the session owns a share of; the
    // file reads, which may not be, run detached in the source.
    m_checkWatcher.waitForFinished();
}

void TuningSession::setTexts(const StageInputTexts &texts) {
    m_texts = texts;
    StageInputsResult read = readStageInputs(texts);
    m_problems = std::move(read.problems);
    m_inputs = std::move(read.inputs);
    if (m_inputs) {
        const CheckSettings &check = m_inputs->check;
        m_curveResonator = check.resonator;
        m_curveCutoff = check.cutoff.value_or(startingCutoff(
            m_inputs->f0, effectiveBandwidth(m_inputs->table.first.bandwidth) / m_inputs->f0));
        makeCurve(check.output.value_or(m_curveOutput));
        m_rows = varnel::stageRows(m_inputs->table, m_inputs->f0, m_inputs->qu);
    }
    if (!m_inputs || m_inputs->design) {
        // The stage targets are the in-line filter's: none for a design
        // with zeros.
        m_curve.reset();
        ++m_curves;
        m_rows.clear();
    }
    m_designResponse.reset();
    if (m_inputs && m_inputs->design)
        m_designResponse =
            designCurve(*m_inputs->design, designSpan(*m_inputs->design), curvePoints);
    markStale();
    // The verdict on screen is not of these inputs: greyed now, not later.
    if (m_greyDelay.isActive()) {
        m_greyDelay.stop();
        setShown(false, true);
    }
    if (m_memory) {
        // The memory is checked again with the new inputs, along with the
        // sweep; until then its trace and comparison stay, not current with
        // the report.
        ++m_memoryGeneration;
        m_memoryChecked = false;
    }
    emit inputsChanged();
    recheck();
}

void TuningSession::openFile(const QString &path) {
    if (path.isEmpty())
        return;
    auto source = std::make_unique<FileSweepSource>(path);
    source->setSettleInterval(m_settleMs);
    m_fromAnalyser = false;
    useSource(std::move(source));
    setLink(Link::None);
}

void TuningSession::openAnalyser(const QString &address) {
    if (address.isEmpty())
        return;
    m_fromAnalyser = true;
    auto source = std::make_unique<AnalyserSweepSource>(address);
    AnalyserSweepSource *analyser = source.get();
    connect(analyser, &AnalyserSweepSource::connectedChanged, this, [this, analyser](bool on) {
        if (analyser != m_source.get() || held())
            return;
        m_identity = analyser->identity();
        setLink(on ? Link::Connected : Link::Lost);
    });
    connect(analyser, &SweepSource::sweepFailed, this, [this, analyser] {
        if (analyser == m_source.get() && m_link == Link::Connected)
            setLink(Link::Lost);
    });
    m_identity.clear();
    m_analyserAddress = address;
    setLink(Link::Connecting);
    useSource(std::move(source));
}

void TuningSession::setLink(Link link) {
    if (m_link == link)
        return;
    m_link = link;
    emit linkChanged();
}

void TuningSession::setHeld(bool hold) {
    auto *analyser = dynamic_cast<AnalyserSweepSource *>(m_source.get());
    if (!analyser || hold == held())
        return;
    analyser->setHeld(hold);
    // Released: the next sweep says whether the analyser still answers.
    setLink(hold ? Link::Held : (m_identity.isEmpty() ? Link::Connecting : Link::Connected));
}

void TuningSession::disconnectAnalyser() {
    if (!m_fromAnalyser || !m_source)
        return;
    m_source.reset(); // its thread ends at its next step, nothing of it arrives
    if (m_loading) {
        m_loading = false;
        emit loadingChanged(false);
    }
    setLink(Link::Closed);
}

void TuningSession::useSource(std::unique_ptr<SweepSource> source) {
    connect(source.get(), &SweepSource::sweepReady, this, &TuningSession::takeSweep);
    connect(source.get(), &SweepSource::sweepFailed, this, &TuningSession::takeFailure);
    connect(source.get(), &SweepSource::busyChanged, this, [this](bool busy) {
        m_loading = busy;
        emit loadingChanged(busy);
    });
    // The old source goes with everything it had under way: no result of
    // it can arrive after this; nor is a sweep of it averaged with the new.
    m_source = std::move(source);
    m_average.clear();
    m_sweepClock.invalidate();
    m_sweepRate = 0;
    if (m_loading) {
        m_loading = false;
        emit loadingChanged(false);
    }
    m_source->start();
}

void TuningSession::setAveraging(int depth) {
    if (depth < 1 || depth == averaging())
        return;
    m_average.setDepth(static_cast<std::size_t>(depth));
    if (!m_network)
        return;
    m_network = m_average.current();
    markStale();
    emit sweepChanged();
    recheck();
}

void TuningSession::takeSweep(const Sweep &sweep) {
    if (sender() != m_source.get() || held())
        return;
    m_network = m_average.add(sweep.network);
    m_origin = sweep.origin;
    m_failure.reset();
    if (m_fromAnalyser) {
        // The analyser's own pace, so that a slow instrument shows as such.
        const qint64 since = m_sweepClock.isValid() ? m_sweepClock.nsecsElapsed() : -1;
        m_sweepClock.start();
        if (since > 0)
            m_sweepRate = m_sweepRate > 0 ? 0.8 * m_sweepRate + 0.2 * (1e9 / since) : 1e9 / since;
    }
    markStale();
    emit sweepChanged();
    recheck();
}

void TuningSession::takeFailure(const SweepFailure &failure) {
    if (sender() != m_source.get())
        return;
    m_failure = failure;
    // A file that could not be read as a sweep leaves the last sweep on
    // screen, marked: the verdict is of a sweep the file no longer holds.
    if (m_network)
        markStale();
    if (!m_network || m_origin != failure.origin) {
        // A new file that cannot be read: nothing of another file stays.
        m_network.reset();
        m_origin = failure.origin;
        m_report.reset();
        m_refusal.reset();
        ++m_checks;
        m_reportCurrent = false;
        emit reportChanged();
    }
    emit sweepChanged();
}

void TuningSession::markStale() {
    if (m_reportCurrent) {
        m_reportCurrent = false;
        emit reportChanged();
    }
}

void TuningSession::updateShown() {
    const bool underCheck =
        !m_reportCurrent && m_problems.empty() && !m_failure && m_network &&
        (m_report || m_refusal || m_diagnosis || m_matrixDiagnosis || m_diagnoseRefusal);
    if (underCheck && m_shownCurrent) {
        if (!m_greyDelay.isActive())
            m_greyDelay.start();
        return;
    }
    m_greyDelay.stop();
    setShown(m_reportCurrent, false);
}

void TuningSession::setShown(bool current, bool announce) {
    if (current == m_shownCurrent)
        return;
    m_shownCurrent = current;
    if (announce)
        emit shownChanged();
}

void TuningSession::recheck() {
    if (!m_inputs || !m_network || m_failure) {
        emit reportChanged(); // none: what is shown says why
        return;
    }
    if (m_checkWatcher.isRunning()) {
        m_recheckPending = true; // the newest inputs and sweep are checked next
        return;
    }
    const CheckSettings settings = m_inputs->check;
    m_checkingOrigin = m_origin;
    // The memory is checked along with the sweep, once for its inputs.
    std::shared_ptr<const Network> memory;
    if (m_memory && !m_memoryChecked && !m_view.wholeFilter) {
        if (memoryHasParameter())
            memory = m_memory;
        else
            takeMemoryCheck(std::nullopt); // nothing to compare
    }
    const quint64 memoryGeneration = m_memoryGeneration;
    if (m_view.wholeFilter) {
        startDiagnosis();
        return;
    }
    if (m_inputs->design) {
        // The stage targets are the in-line filter's: refused, said why.
        m_checkWatcher.setFuture(QtConcurrent::run([]() -> Results {
            CheckRefusal refusal{};
            refusal.kind = CheckRefusal::CrossCoupled;
            return {refusal, std::nullopt, 0};
        }));
        return;
    }
    if (settings.parameter.row > m_network->ports || settings.parameter.column > m_network->ports ||
        (!m_network->only && !m_network->has(settings.parameter)))
        return;
    m_checkWatcher.setFuture(QtConcurrent::run([table = m_inputs->table, network = m_network,
                                                memory, memoryGeneration, settings]() -> Results {
        Results results{CheckRefusal{}, std::nullopt, memoryGeneration};
        auto result = checkStage(table, *network, settings);
        if (auto *r = std::get_if<CheckReport>(&result))
            results.sweep = std::move(*r);
        else
            results.sweep = std::get<CheckRefusal>(result);
        if (memory)
            results.memory = checkStage(table, *memory, settings);
        return results;
    }));
}

void TuningSession::setWholeFilter(bool whole) {
    ViewState view = m_view;
    view.wholeFilter = whole;
    setViewState(view);
}

void TuningSession::setViewState(const ViewState &view) {
    if (view == m_view)
        return;
    const ViewState was = std::exchange(m_view, view);
    if (view.wholeFilter != was.wholeFilter) {
        m_timeView.reset();
        markStale();
        recheck();
    }
    emit viewChanged();
    if (view.delta != was.delta || view.wholeFilter != was.wholeFilter)
        emit markersChanged();
}

void TuningSession::checkFinished() {
    const Results results = m_checkWatcher.result();
    if (results.memory && results.memoryGeneration == m_memoryGeneration)
        takeMemoryCheck(results.memory);
    const Checked &result = results.sweep;
    // A result of older inputs or an older sweep is checked again. An
    // analyser sweeping faster than the check would otherwise never show
    // one: a result of the same source is kept, not current, meanwhile.
    const bool stale = m_recheckPending;
    m_recheckPending = false;
    if (stale && m_checkingOrigin != m_origin) {
        recheck();
        return;
    }
    m_report.reset();
    m_refusal.reset();
    m_diagnosis.reset();
    m_matrixDiagnosis.reset();
    m_diagnoseRefusal.reset();
    ++m_checks;
    if (const auto *report = std::get_if<CheckReport>(&result)) {
        m_report = *report;
        // The last stage's end the sweep shows is the target's too, and
        // so are the resonators the check chose or fitted.
        const ResonatorKind kind = report->settings.resonator;
        const double cutoff = report->fit ? report->fit->model.cutoff : m_curveCutoff;
        if (m_inputs && (report->output != m_curveOutput || kind != m_curveResonator ||
                         (kind == ResonatorKind::Waveguide && cutoff != m_curveCutoff))) {
            m_curveResonator = kind;
            m_curveCutoff = cutoff;
            makeCurve(report->output);
            emit inputsChanged();
        }
    } else if (const auto *refusal = std::get_if<CheckRefusal>(&result)) {
        m_refusal = *refusal;
    } else if (const auto *diagnosis = std::get_if<Diagnosis>(&result)) {
        m_diagnosis = *diagnosis;
    } else if (const auto *matrix = std::get_if<MatrixDiagnosis>(&result)) {
        m_matrixDiagnosis = *matrix;
    } else {
        m_diagnoseRefusal = std::get<DiagnoseRefusal>(result);
    }
    // A result of the other mode (the mode changed while it ran) is not
    // current: the newest mode's is computed next.
    if ((m_diagnosis || m_matrixDiagnosis || m_diagnoseRefusal) != m_view.wholeFilter) {
        recheck();
        return;
    }
    if (stale) {
        m_reportCurrent = false;
        emit reportChanged();
        recheck();
        return;
    }
    m_reportCurrent = m_inputs.has_value() && !m_failure;
    compareMemory();
    emit reportChanged();
}

void TuningSession::compareMemory() {
    m_memoryComparison.reset();
    if (m_report && m_memoryReport)
        m_memoryComparison = compareWithMemory(*m_report, *m_memoryReport);
    emit memoryChanged();
}

void TuningSession::takeMemoryCheck(const std::optional<StageCheck> &check) {
    m_memoryChecked = true;
    ++m_memoryChecks;
    m_memoryReport.reset();
    m_memoryRefusal.reset();
    if (!check)
        return;
    if (const auto *report = std::get_if<CheckReport>(&*check))
        m_memoryReport = *report;
    else
        m_memoryRefusal = std::get<CheckRefusal>(*check);
}

bool TuningSession::memoryHasParameter() const {
    if (!m_memory || !m_inputs)
        return true;
    const SParameter parameter = m_inputs->check.parameter;
    return parameter.row <= m_memory->ports && parameter.column <= m_memory->ports &&
           (m_memory->only || m_memory->has(parameter));
}

void TuningSession::setMemory(std::shared_ptr<const Network> memory, const QString &name,
                              const QString &file) {
    m_memory = std::move(memory);
    m_memoryName = m_memory ? name : QString();
    m_memoryFile = m_memory ? file : QString();
    ++m_memoryGeneration;
    takeMemoryCheck(std::nullopt);
    m_memoryChecked = false;
    m_memoryComparison.reset();
    emit memoryChanged();
    if (m_memory)
        recheck();
}

void TuningSession::storeMemory() {
    if (m_network)
        setMemory(m_network, m_origin, QString());
}

std::optional<SweepFailure> TuningSession::openMemory(const QString &path) {
    ReadOptions options;
    options.regularFileOnly = true;
    auto read = readTouchstoneFile(path.toStdString(), options);
    if (auto *error = std::get_if<TouchstoneError>(&read))
        return SweepFailure{SweepFailure::Unreadable, path, *error, FileKind::Regular};
    setMemory(std::make_shared<const Network>(std::move(std::get<Network>(read))), path, path);
    return std::nullopt;
}

void TuningSession::clearMemory() {
    setMemory(nullptr, QString(), QString());
}

void TuningSession::addMarker(const Marker &marker) {
    if (m_view.wholeFilter)
        return;
    m_markers.add(marker);
    emit markersChanged();
}

void TuningSession::placeMarker(double fMHz) {
    if (m_report)
        addMarker({Marker::Fixed, fMHz, 0});
}

void TuningSession::markersAtLobePeaks() {
    if (!m_report || m_view.wholeFilter)
        return;
    m_markers.atLobePeaks(*m_report);
    emit markersChanged();
}

void TuningSession::moveMarker(int points) {
    if (!m_report)
        return;
    m_markers.move(*m_report, points);
    emit markersChanged();
}

void TuningSession::removeMarker(int marker) {
    m_markers.remove(marker);
    emit markersChanged();
}

void TuningSession::selectMarker(int marker) {
    m_markers.select(marker);
    emit markersChanged();
}

void TuningSession::clearMarkers() {
    m_markers.clear();
    emit markersChanged();
}

void TuningSession::setMarkers(std::vector<Marker> markers) {
    m_markers.set(std::move(markers));
    emit markersChanged();
}

void TuningSession::setDelta(bool on) {
    ViewState view = m_view;
    view.delta = on;
    setViewState(view);
}

MarkerSet::Readings TuningSession::markerReadings() const {
    const CheckReport *report = m_report && !m_view.wholeFilter ? &*m_report : nullptr;
    const MemoryComparison *memory = m_memoryComparison ? &*m_memoryComparison : nullptr;
    return m_markers.readings(report, memory, m_view.delta);
}

QString TuningSession::exportComparisonCsv(const QString &path) const {
    if (m_view.wholeFilter)
        return exportDiagnosisCsv(path);
    if (!m_report)
        return tr("There is no comparison yet: open a sweep first.");
    if (!m_reportCurrent)
        return tr("The comparison on screen is not of the current inputs and sweep: correct the "
                  "inputs or wait for the check.");
    return saveFile(path, QByteArray::fromStdString(comparisonCsv(*m_report)));
}

QString TuningSession::exportTargetS1p(const QString &path) const {
    if (!m_inputs || !m_curve)
        return tr("There is no target: correct the inputs first.");
    return saveFile(path, QByteArray::fromStdString(
                              targetS1p(m_inputs->table, targetModel(m_curveOutput), *m_curve)));
}

QString TuningSession::exportSweep(const QString &path) const {
    if (!m_network)
        return tr("There is no sweep to save.");
    const auto text =
        writeSweep({"Varnel: one sweep of " + escapedText(m_origin.toStdString())}, *m_network);
    if (!text)
        return tr("Only 1-port and 2-port sweeps are saved as Touchstone.");
    return saveFile(path, QByteArray::fromStdString(*text));
}

StageModel TuningSession::targetModel(StageOutput output) const {
    return stageModel(m_inputs->table, m_inputs->stage, m_inputs->f0, m_inputs->qu,
                      m_curveResonator, output, m_curveCutoff);
}

void TuningSession::makeCurve(StageOutput output) {
    m_curveOutput = output;
    ++m_curves;
    m_curve = targetCurve(targetModel(output),
                          defaultSpan(m_inputs->table.first.bandwidth, m_inputs->f0), curvePoints);
}

QString saveFile(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    // QSaveFile buffers, so a full disk shows at a flush, where its own error
    // text is generic: errno still holds the system's reason.
    errno = 0;
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.commit())
        return QString();
    const QString why = errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
    file.cancelWriting(); // the old file stays, the temporary one goes
    return QObject::tr("Cannot write %1: %2")
        .arg(QString::fromStdString(escapedText(path.toStdString())), why);
}

} // namespace varnel
