// The Smith chart and the time domain, each fed a session: what they draw
// is the session's reflection, target, markers and time responses.
#include "tuning/time_domain.h"
#include "tuning_window/view_panels.h"
#include "wait_for.h"

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>

using namespace varnel;

namespace {

const QString mistuned = QStringLiteral(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p";

QXYSeries *seriesNamed(LayeredChart *chart, const QString &name) {
    for (QAbstractSeries *s : chart->chart()->series())
        if (s->name() == name)
            return static_cast<QXYSeries *>(s);
    return nullptr;
}

// A 1-port file of 301 points over 985..1015 MHz, `line(i)` each point's
// text after its frequency step.
QString writeSweep(const QTemporaryDir &dir, const char *name,
                   const std::function<QByteArray(int)> &line) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray text = "# MHz S RI R 50\n";
    for (int i = 0; i <= 300; ++i)
        text += line(i);
    file.write(text);
    return path;
}

class ViewPanels : public ::testing::Test {
  protected:
    void open(const QString &path) {
        StageInputTexts texts;
        texts.f0 = "1000";
        texts.stage = "2";
        session.setTexts(texts);
        session.setSettleInterval(20);
        session.openFile(path);
        ASSERT_TRUE(waitFor([&] { return session.network() && session.reportCurrent(); }));
    }
    TuningSession session;
};

TEST_F(ViewPanels, SmithChartDrawsTheSessionsReflection) {
    open(mistuned);
    SmithPanel panel(session);
    panel.resize(600, 600);
    panel.show();
    session.placeMarker(1001);
    QCoreApplication::processEvents();
    QXYSeries *measured = seriesNamed(panel.chart(), "Measured");
    QXYSeries *target = seriesNamed(panel.chart(), "Target");
    QXYSeries *markers = seriesNamed(panel.chart(), "Markers");
    ASSERT_TRUE(measured && target && markers);
    const auto shown = session.reflectionShown();
    ASSERT_EQ(measured->count(), static_cast<int>(shown.size()));
    for (int i : {0, 400, 800}) {
        EXPECT_EQ(measured->at(i).x(), shown[static_cast<std::size_t>(i)].real());
        EXPECT_EQ(measured->at(i).y(), shown[static_cast<std::size_t>(i)].imag());
    }
    ASSERT_EQ(target->count(), static_cast<int>(session.curve()->s11.size()));
    EXPECT_EQ(target->at(10).x(), session.curve()->s11[10].real());
    // The marker at the sweep's point nearest its frequency.
    ASSERT_EQ(markers->count(), 1);
    const auto reading = session.markerReadings().markers[0];
    const auto at = shown[nearestPoint(session.network()->frequencyMHz, reading->fMHz)];
    EXPECT_EQ(markers->at(0), QPointF(at.real(), at.imag()));
}

// A matched load sits at the centre, an open at the right edge.
TEST_F(ViewPanels, SmithPointsOfKnownLoads) {
    QTemporaryDir dir;
    open(writeSweep(dir, "loads.s1p", [](int i) {
        return QByteArray::number(985 + 0.1 * i) + (i < 150 ? " 0 0\n" : " 1 0\n");
    }));
    SmithPanel panel(session);
    panel.show();
    QCoreApplication::processEvents();
    QXYSeries *measured = seriesNamed(panel.chart(), "Measured");
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->at(0), QPointF(0, 0));
    EXPECT_EQ(measured->at(300), QPointF(1, 0));
}

TEST_F(ViewPanels, TimeDomainDrawsTheSessionsResponsesAndDips) {
    open(mistuned);
    TimePanel panel(session);
    panel.resize(800, 500);
    panel.show();
    QCoreApplication::processEvents();
    QXYSeries *measured = seriesNamed(panel.chart(), "Measured");
    QXYSeries *target = seriesNamed(panel.chart(), "Target");
    QXYSeries *dips = seriesNamed(panel.chart(), "Dips");
    ASSERT_TRUE(measured && target && dips);
    const TuningSession::TimeView &view = session.timeView();
    ASSERT_TRUE(view.measured && view.target);
    ASSERT_EQ(measured->count(), static_cast<int>(view.measured->tNs.size()));
    EXPECT_EQ(measured->at(500), QPointF(view.measured->tNs[500], view.measured->db[500]));
    EXPECT_EQ(target->at(500).x(), view.target->tNs[500]); // the same times
    // Stage 2: the first two dips, the resonators'.
    ASSERT_EQ(dips->count(), 2);
    const std::vector<TimeDip> all = timeDips(*view.measured);
    ASSERT_GE(all.size(), 2u);
    EXPECT_NEAR(dips->at(1).x(), all[1].tNs, 0.05);
    EXPECT_EQ(dips->at(1).y(), all[1].db);
    const QString state = panel.findChild<QLabel *>("timeState")->text();
    EXPECT_EQ(state, "Dips of resonators 1 to 2 marked, window Kaiser, β 6");

    // Another window: the session's, and drawn anew.
    const double before = measured->at(500).y();
    panel.findChild<QComboBox *>("timeWindow")->setCurrentIndex(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(session.timeWindow().kind, TimeWindow::Rectangle);
    EXPECT_NE(measured->at(500).y(), before);
    EXPECT_EQ(measured->at(500).y(), session.timeView().measured->db[500]);
}

TEST_F(ViewPanels, UnevenSweepSaysWhy) {
    QTemporaryDir dir;
    open(writeSweep(dir, "uneven.s1p", [](int i) {
        return QByteArray::number(985 + 0.1 * i + (i > 200 ? 0.05 : 0)) + " 0.5 0\n";
    }));
    TimePanel panel(session);
    panel.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.findChild<QLabel *>("timeState")->text(),
              "The frequency steps change at point 201: a time-domain response needs an evenly "
              "spaced sweep.");
    EXPECT_EQ(seriesNamed(panel.chart(), "Measured")->count(), 0);
}

} // namespace
