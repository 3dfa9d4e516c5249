// The response chart fed a session, without a window: each layer draws the
// session's current values (the band of the current stage, the markers on
// the newest sweep, the whole filter's traces in that mode), the legend
// lists only what is drawn, and a held scale stays. The view state is kept
// between runs as it was set.
#include "tuning/markers.h"
#include "tuning_window/chart_layer.h"
#include "tuning_window/response_chart.h"
#include "tuning_window/view_settings.h"
#include "wait_for.h"

#include <QAreaSeries>
#include <QChart>
#include <QFile>
#include <QLegendMarker>
#include <QLineSeries>
#include <QSettings>
#include <QTemporaryDir>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <cmath>

using namespace varnel;

namespace {

const QString dataDir = QStringLiteral(VARNEL_TEST_DATA);

// The axis rule's examples, as its header gives them.
TEST(NiceAxis, HeaderExamples) {
    struct Row {
        const char *name;
        double low, high;
        int ticks;
        AxisRange range;
        double min, max, anchor, step;
        const char *format;
    };
    const Row rows[] = {
        {"delay_from_zero", 0, 27.3, 6, AxisRange::Widened, 0, 30, 0, 5, "%.0f"},
        {"db_to_above_zero", -22.1, 1, 6, AxisRange::Widened, -25, 5, -25, 5, "%.0f"},
        {"whole_steps_already", 985, 1015, 6, AxisRange::Widened, 985, 1015, 985, 5, "%.0f"},
        {"span_kept_as_given", 985.5, 1014.5, 6, AxisRange::AsGiven, 985.5, 1014.5, 985, 5, "%.0f"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QValueAxis axis;
        niceAxis(&axis, row.low, row.high, row.ticks, row.range);
        EXPECT_DOUBLE_EQ(axis.min(), row.min);
        EXPECT_DOUBLE_EQ(axis.max(), row.max);
        EXPECT_DOUBLE_EQ(axis.tickAnchor(), row.anchor);
        EXPECT_DOUBLE_EQ(axis.tickInterval(), row.step);
        EXPECT_EQ(axis.labelFormat(), QString::fromLatin1(row.format));
    }
}

QAbstractSeries *named(ResponseChart &chart, const QString &name) {
    for (QAbstractSeries *s : chart.chart()->series())
        if (s->name() == name)
            return s;
    return nullptr;
}

bool listed(ResponseChart &chart, const QString &name) {
    QCoreApplication::processEvents(); // the legend follows its series' signals
    QAbstractSeries *series = named(chart, name);
    if (!series || !series->isVisible())
        return false;
    for (QLegendMarker *marker : chart.chart()->legend()->markers(series))
        if (marker->isVisible())
            return true;
    return false;
}

// The y of a drawn series at the point nearest f.
double at(const QXYSeries *series, double f) {
    double best = NAN, distance = INFINITY;
    for (const QPointF &p : series->points())
        if (std::abs(p.x() - f) < distance) {
            distance = std::abs(p.x() - f);
            best = p.y();
        }
    return best;
}

class ResponseChartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_texts.f0 = "1000";
        m_texts.qu = "3000";
        m_texts.stage = "1";
        session.setTexts(m_texts);
        session.setSettleInterval(20);
        chart.resize(900, 500);
        chart.show();
    }
    bool setStage(int stage) {
        m_texts.stage = std::to_string(stage);
        session.setTexts(m_texts);
        return waitFor([&] { return session.reportCurrent() && session.report(); });
    }
    bool open(const QString &path) {
        session.openFile(path);
        return waitFor([&] {
            return session.origin() == path && session.reportCurrent() &&
                   (session.report() || session.diagnosis());
        });
    }
    StageInputTexts m_texts;
    TuningSession session;
    ResponseChart chart{session};
};

// The band is the current stage's target +-2 %: at f0 first stage 1's,
// then stage 2's, never the one edge of each.
TEST_F(ResponseChartTest, BandIsTheCurrentStagesTarget) {
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    for (int stage : {1, 2}) {
        ASSERT_TRUE(setStage(stage));
        auto *band = static_cast<QAreaSeries *>(named(chart, "Tolerance band"));
        ASSERT_TRUE(band && band->isVisible());
        const double target =
            session.stageRows()[static_cast<std::size_t>(stage - 1)].targetDelayNs;
        EXPECT_NEAR(at(band->upperSeries(), 1000), target * 1.02, 1e-3 * target)
            << "stage " << stage;
        EXPECT_NEAR(at(band->lowerSeries(), 1000), target * 0.98, 1e-3 * target)
            << "stage " << stage;
    }
}

// Before a sweep the legend lists the target and no band; with a sweep the
// band and the measured delay; the band hidden from the view, none.
TEST_F(ResponseChartTest, LegendListsWhatIsDrawn) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(listed(chart, "Target delay"));
    EXPECT_FALSE(listed(chart, "Tolerance band"));
    EXPECT_FALSE(listed(chart, "Measured delay"));
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    EXPECT_TRUE(listed(chart, "Tolerance band"));
    EXPECT_TRUE(listed(chart, "Measured delay"));
    EXPECT_FALSE(listed(chart, "Measured |S11|")) << "the dB view is off";
    ViewState view = session.viewState();
    view.band = false;
    view.showDb = true;
    session.setViewState(view);
    EXPECT_FALSE(listed(chart, "Tolerance band"));
    EXPECT_TRUE(listed(chart, "Measured |S11|"));
    const auto *db = static_cast<QXYSeries *>(named(chart, "Measured |S11|"));
    EXPECT_EQ(db->count(), static_cast<int>(session.report()->fMHz.size()));
}

// A marker reads the newest sweep: after another file it sits on that
// file's trace.
TEST_F(ResponseChartTest, MarkersFollowANewSweep) {
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    ASSERT_TRUE(setStage(2));
    session.addMarker({Marker::AtF0, 0, 0});
    const auto first = chart.markerDrawnAt(0);
    ASSERT_TRUE(first);
    const CheckReport *report = &*session.report();
    std::size_t i = nearestPoint(report->fMHz, 1000);
    EXPECT_EQ(*first, QPointF(report->fMHz[i], report->delayMeasured[i]));
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    report = &*session.report();
    i = nearestPoint(report->fMHz, 1000);
    ASSERT_TRUE(chart.markerDrawnAt(0));
    EXPECT_EQ(*chart.markerDrawnAt(0), QPointF(report->fMHz[i], report->delayMeasured[i]));
    EXPECT_NE(*chart.markerDrawnAt(0), *first);
}

// The whole filter's mode: the diagnosis's traces on the dB axis, the
// stage's traces and the delay axis gone, the markers too.
TEST_F(ResponseChartTest, WholeFilterDrawsTheDiagnosis) {
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    session.addMarker({Marker::AtF0, 0, 0});
    ASSERT_TRUE(chart.markerDrawnAt(0));
    session.setWholeFilter(true);
    // The whole filter's fit: long under the sanitizers.
    ASSERT_TRUE(waitFor([&] { return session.reportCurrent() && session.diagnosis(); }, 120000));
    const auto *s11 = static_cast<QXYSeries *>(named(chart, "|S11| measured"));
    ASSERT_TRUE(s11 && s11->isVisible());
    EXPECT_EQ(s11->count(), static_cast<int>(session.network()->size()));
    EXPECT_EQ(s11->at(0).x(), session.network()->frequencyMHz.front());
    EXPECT_FALSE(named(chart, "Target delay")->isVisible());
    EXPECT_FALSE(named(chart, "Tolerance band")->isVisible());
    EXPECT_FALSE(chart.markerDrawnAt(0));
    const auto axes = chart.chart()->axes(Qt::Vertical);
    ASSERT_EQ(axes.size(), 2);
    EXPECT_FALSE(axes[0]->isVisible()) << "no delay axis";
    const auto *db = static_cast<QValueAxis *>(axes[1]);
    EXPECT_TRUE(db->isVisible());
    EXPECT_GE(db->max(), 0);
    EXPECT_GE(db->min(), -100) << "not below -80 dB and a step";
}

// A held delay scale stays through a new file and a reset; let go, the
// axes are fitted again.
TEST_F(ResponseChartTest, HeldScaleStays) {
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    const auto fitted = chart.delayRange();
    ViewState view = session.viewState();
    view.delayScale = std::pair(10.0, 90.0);
    session.setViewState(view);
    EXPECT_EQ(chart.delayRange(), std::pair(10.0, 90.0));
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    chart.autoscale();
    EXPECT_EQ(chart.delayRange(), std::pair(10.0, 90.0));
    view.delayScale.reset();
    session.setViewState(view);
    EXPECT_NE(chart.delayRange(), std::pair(10.0, 90.0));
    EXPECT_EQ(chart.delayRange().first, fitted.first);
}

// The view state and markers read back as written; a scale with its ends
// the wrong way round, or a marker of an unknown kind, is left out.
TEST(ViewSettings, RoundTripAndBadEntries) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("v.ini"), QSettings::IniFormat);
    EXPECT_EQ(readViewState(settings), ViewState{}) << "none kept: the defaults";
    ViewState view;
    view.wholeFilter = true;
    view.showDb = true;
    view.band = false;
    view.againstMemory = false;
    view.delta = true;
    view.delayScale = std::pair(40.0, 120.0);
    writeViewState(settings, view);
    const std::vector<Marker> markers{{Marker::Fixed, 1001.5, 0}, {Marker::LobePeak, 0, 2}};
    writeMarkers(settings, markers);
    EXPECT_EQ(readViewState(settings), view);
    const std::vector<Marker> read = readMarkers(settings);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].kind, Marker::Fixed);
    EXPECT_EQ(read[0].fMHz, 1001.5);
    EXPECT_EQ(read[1].lobe, 2);
    view.delayScale.reset();
    writeViewState(settings, view);
    EXPECT_FALSE(settings.contains("view/lockDelay")) << "no held scale, no key";
    settings.setValue("view/lockDb", QVariantList{5.0, -5.0});
    settings.setValue("view/markers", QVariantList{QVariantMap{{"kind", 99}, {"f", 1.0}}});
    EXPECT_FALSE(readViewState(settings).dbScale);
    EXPECT_TRUE(readMarkers(settings).empty());
}

} // namespace
