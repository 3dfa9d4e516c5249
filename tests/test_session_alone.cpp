// The tuning session without a window: its markers read the report on
// screen, the memory remembers its file, and a file's sweeps have no rate.
#include "tuning_window/tuning_session.h"
#include "wait_for.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

using namespace varnel;

namespace {

const QString mistuned = QStringLiteral(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p";

class SessionAlone : public ::testing::Test {
  protected:
    void SetUp() override {
        StageInputTexts texts;
        texts.f0 = "1000";
        texts.stage = "2";
        session.setTexts(texts);
        session.setSettleInterval(20);
        session.openFile(mistuned);
        ASSERT_TRUE(waitFor([&] { return session.report() && session.reportCurrent(); }));
    }
    TuningSession session;
};

TEST_F(SessionAlone, MarkersReadTheReportOnScreen) {
    QSignalSpy changed(&session, &TuningSession::markersChanged);
    session.addMarker({Marker::AtF0, 0, 0});
    session.placeMarker(1003.3);
    EXPECT_EQ(changed.count(), 2);
    const CheckReport &report = *session.report();
    auto readings = session.markerReadings();
    ASSERT_EQ(readings.markers.size(), 2u);
    const MarkerReading atF0 = readMarker(report, nearestPoint(report.fMHz, 1000));
    EXPECT_EQ(readings.markers[0]->fMHz, atF0.fMHz);
    EXPECT_EQ(readings.markers[0]->measuredNs, atF0.measuredNs);
    EXPECT_EQ(readings.markers[1]->fMHz, report.fMHz[nearestPoint(report.fMHz, 1003.3)]);
    EXPECT_FALSE(readings.delta);

    session.setDelta(true);
    readings = session.markerReadings();
    ASSERT_TRUE(readings.delta);
    EXPECT_EQ(readings.delta->fMHz, readings.markers[1]->fMHz - readings.markers[0]->fMHz);

    // The lobe peaks join the f0 marker rather than replace it.
    session.markersAtLobePeaks();
    ASSERT_GE(session.markers().markers().size(), 2u);
    EXPECT_EQ(session.markers().markers()[0].kind, Marker::AtF0);
    EXPECT_EQ(session.markers().markers()[1].kind, Marker::LobePeak);

    // The whole filter's mode has no stage trace to read.
    session.setWholeFilter(true);
    for (const auto &reading : session.markerReadings().markers)
        EXPECT_FALSE(reading);
    session.addMarker({Marker::Fixed, 1001, 0});
    EXPECT_NE(session.markers().markers().back().fMHz, 1001);
}

TEST_F(SessionAlone, MemoryRemembersOnlyAFile) {
    EXPECT_TRUE(session.memoryFile().isEmpty());
    ASSERT_FALSE(session.openMemory(mistuned));
    EXPECT_EQ(session.memoryFile(), mistuned);
    session.storeMemory(); // this run's sweep: nothing to read again
    EXPECT_TRUE(session.memoryFile().isEmpty());
    ASSERT_FALSE(session.openMemory(mistuned));
    session.clearMemory();
    EXPECT_TRUE(session.memoryFile().isEmpty());
    // A file that does not read keeps the memory and its file.
    ASSERT_FALSE(session.openMemory(mistuned));
    EXPECT_TRUE(session.openMemory(mistuned + ".missing"));
    EXPECT_EQ(session.memoryFile(), mistuned);
}

TEST_F(SessionAlone, ReportIsCurrentOnlyWithItsInputs) {
    EXPECT_EQ(session.sweepRate(), 0); // a file's sweeps have no pace
    const StageInputTexts good = session.texts();
    StageInputTexts texts = good;
    texts.tolerance = "0,1";
    session.setTexts(texts);
    EXPECT_FALSE(session.reportCurrent());
    EXPECT_FALSE(session.exportComparisonCsv(QStringLiteral("/nonexistent/x.csv")).isEmpty());
    session.setTexts(good);
    EXPECT_TRUE(waitFor([&] { return session.reportCurrent(); }));
}

// The view state: a change is announced once; the mode checks the sweep
// again in the other mode, the delta marker reads against marker 1, the
// rest only changes what is drawn (the report stays current).
TEST_F(SessionAlone, ViewStateChangesWhatIsCheckedOnlyWhereItMust) {
    QSignalSpy viewed(&session, &TuningSession::viewChanged);
    ViewState view = session.viewState();
    view.showDb = true;
    view.delayScale = std::pair(0.0, 200.0);
    session.setViewState(view);
    session.setViewState(view);
    EXPECT_EQ(viewed.count(), 1) << "the same state again is no change";
    EXPECT_TRUE(session.reportCurrent()) << "a drawing setting checks nothing again";

    session.addMarker({Marker::AtF0, 0, 0});
    session.placeMarker(1003.3);
    EXPECT_FALSE(session.markerReadings().delta);
    session.setDelta(true);
    EXPECT_TRUE(session.viewState().delta);
    EXPECT_TRUE(session.markerReadings().delta);

    const quint64 checks = session.checks();
    session.setWholeFilter(true);
    EXPECT_TRUE(session.viewState().wholeFilter);
    EXPECT_FALSE(session.reportCurrent());
    // The whole filter's fit: long under the sanitizers.
    ASSERT_TRUE(waitFor([&] { return session.diagnosis() && session.reportCurrent(); }, 120000));
    EXPECT_GT(session.checks(), checks);
    EXPECT_TRUE(session.markerReadings().markers.empty() || !session.markerReadings().markers[0])
        << "no stage readings in the whole filter's mode";
}

// What is shown greys with the report, but a new sweep's check only after
// the delay: a quick re-read never greys it; new inputs grey it at once,
// announced; a check that takes longer than the delay greys it meanwhile.
TEST_F(SessionAlone, ShownCurrentGreysOnlyWhenItMust) {
    ASSERT_TRUE(session.shownCurrent());
    auto *delay = session.findChild<QTimer *>(QStringLiteral("greyDelay"));
    ASSERT_TRUE(delay);
    EXPECT_EQ(delay->interval(), TuningSession::greyDelayMs);
    QSignalSpy announced(&session, &TuningSession::shownChanged);
    bool greyed = false;
    QObject::connect(&session, &TuningSession::reportChanged, &session,
                     [&] { greyed = greyed || !session.shownCurrent(); });
    // A re-read (the same file opened again) within a long delay.
    delay->setInterval(10000);
    const quint64 checks = session.checks();
    session.openFile(mistuned);
    ASSERT_TRUE(waitFor([&] { return session.checks() > checks && session.reportCurrent(); }));
    EXPECT_FALSE(greyed) << "a quick check is painted once";
    EXPECT_TRUE(announced.isEmpty());
    // A check that outlasts a short delay greys it, announced. The checks'
    // threads are kept busy meanwhile, so that the check outlasts it on a
    // loaded machine too.
    delay->setInterval(0);
    auto busy = std::make_shared<QSemaphore>();
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        pool->start([busy] { busy->acquire(); });
    session.openFile(mistuned);
    const bool greyedWhileChecking = waitFor([&] { return !session.shownCurrent(); });
    busy->release(threads);
    ASSERT_TRUE(greyedWhileChecking);
    EXPECT_EQ(announced.count(), 1);
    ASSERT_TRUE(waitFor([&] { return session.reportCurrent() && session.shownCurrent(); }));
    // New inputs: at once.
    delay->setInterval(10000);
    StageInputTexts texts = session.texts();
    texts.tolerance = "3";
    session.setTexts(texts);
    EXPECT_FALSE(session.shownCurrent());
}

} // namespace
