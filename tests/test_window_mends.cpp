// Faults of the tuning window seen as a tuner works, each held by a test:
// the legend lists no band before there is one, the inputs are kept as
// they change, not only on quitting, the chart stays put as markers come,
// and the measurement settings show without scrolling.
#include "tuning_window/tune_window.h"
#include "wait_for.h"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QLegendMarker>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace varnel;

namespace {

const QString mistuned = QStringLiteral(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p";

bool bandListed(TuneWindow &window) {
    QChart *chart = window.chartView()->chart();
    for (QAbstractSeries *series : chart->series())
        if (series->name() == "Tolerance band")
            for (QLegendMarker *marker : chart->legend()->markers(series))
                return marker->isVisible();
    return false;
}

TEST(WindowMends, NoBandInTheLegendBeforeABand) {
    TuneWindow window;
    window.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(bandListed(window));
    window.findChild<QLineEdit *>("f0")->setText("1000");
    window.findChild<QSpinBox *>("stage")->setValue(2);
    window.session().setSettleInterval(20);
    window.openFile(mistuned);
    ASSERT_TRUE(waitFor([&] { return window.report() && window.session().reportCurrent(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(bandListed(window));
}

TEST(WindowMends, InputsKeptAsTheyChange) {
    TuneWindow window;
    window.findChild<QSpinBox *>("stage")->setValue(3);
    window.findChild<QLineEdit *>("f0")->setText("1234.5");
    auto *delay = window.findChild<QTimer *>("saveDelay");
    ASSERT_TRUE(delay);
    ASSERT_TRUE(waitFor([&] { return !delay->isActive(); }, 3000));
    // Read as a new run would, the window still open.
    QSettings settings;
    settings.sync();
    EXPECT_EQ(settings.value("inputs/stage").toInt(), 3);
    EXPECT_EQ(settings.value("inputs/f0").toString(), "1234.5");
}

// Markers come and go without the chart moving under the pointer: the next
// click lands where the tuner aims.
TEST(WindowMends, ChartStaysPutAsMarkersCome) {
    TuneWindow window;
    window.resize(1280, 800);
    window.show();
    window.findChild<QLineEdit *>("f0")->setText("1000");
    window.findChild<QSpinBox *>("stage")->setValue(2);
    window.session().setSettleInterval(20);
    window.openFile(mistuned);
    ASSERT_TRUE(waitFor([&] { return window.report() && window.session().reportCurrent(); }));
    // Settled first: on a loaded machine the first layouts of the shown
    // report arrive over several passes of the event loop.
    QRect before;
    auto unmovedFor = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] {
        const QRect now = window.chartView()->geometry();
        if (now != before) {
            before = now;
            unmovedFor = std::chrono::steady_clock::now();
        }
        return std::chrono::steady_clock::now() - unmovedFor > std::chrono::milliseconds(300);
    }));
    for (double f : {995.0, 998.0, 1001.0, 1004.0}) {
        window.placeMarker(f);
        QCoreApplication::processEvents();
        EXPECT_EQ(window.chartView()->geometry(), before) << "after a marker at " << f;
    }
    window.session().setDelta(true);
    window.session().clearMarkers();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.chartView()->geometry(), before);
}

// At the size a 1280 x 800 screen opens it, every measurement setting
// shows without scrolling the panel: one click on its page.
TEST(WindowMends, MeasurementSettingsWithoutScrolling) {
    TuneWindow window;
    window.resize(1180, 760);
    window.show();
    auto *pages = window.findChild<QTabWidget *>("inputs");
    ASSERT_TRUE(pages);
    pages->setCurrentIndex(1);
    QCoreApplication::processEvents();
    auto *scroll = window.findChild<QScrollArea *>();
    ASSERT_TRUE(scroll);
    const QRect viewport = scroll->viewport()->rect();
    for (const char *name : {"parameter", "aperture", "edelay", "tolerance", "toleranceFrequency",
                             "couplingSlope", "qeSlope", "cutoff", "average"}) {
        auto *field = window.findChild<QWidget *>(name);
        ASSERT_TRUE(field) << name;
        ASSERT_TRUE(field->isVisible()) << name;
        const QRect at(field->mapTo(scroll->viewport(), QPoint(0, 0)), field->size());
        EXPECT_TRUE(viewport.contains(at))
            << name << " at y " << at.top() << " to " << at.bottom() << " of " << viewport.height();
    }
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
}

} // namespace
