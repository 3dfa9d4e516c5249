// How the tuning window keeps up with the tuner's hand, on Qt's offscreen
// platform, timed with QElapsedTimer around the real code paths:
//   1. typing an input: the table recomputed and the chart redrawn (801-point
//      curve);
//   2. a re-saved 10,001-point sweep: from the end of the file's write to the
//      new verdict on screen;
//   3. a 1,000,000-point file loading: the longest the event loop is kept
//      from answering input meanwhile, and when the verdict follows once the
//      typing stops;
//   4. everything a tuner turns on at once (four markers, a memory, the
//      average of 16 sweeps, the tolerance band): typing, moving a marker
//      and a re-saved sweep of 801 points redrawn, and a re-saved 10,001-point
//      sweep to screen;
//   5. each kind of analyser (the tests' fakes: an SCPI analyser and
//      LibreVNA at 1601 points, a NanoVNA at its 101, a sweep every 60 ms or
//      so): from the last byte of a sweep's data to its verdict on screen.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_tune [RUNS]
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "tuning/stage_model.h"
#include "tuning_window/tune_window.h"

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <variant>
#include <vector>

using namespace varnel;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *what, const std::vector<double> &ms, double goal) {
    std::printf("%-52s median %7.2f ms  max %7.2f ms  (goal %g ms)\n", what, median(ms),
                *std::max_element(ms.begin(), ms.end()), goal);
}

QByteArray sweepFile(std::size_t points, double shiftMHz) {
    const TuningTable table = std::get<TuningTable>(tuningTable("5", "10", "0.01", 1000.0));
    StageModel model = stageModel(table, 2, 1000, 3000.0);
    model.lastResonator = 1000 + shiftMHz;
    return QByteArray::fromStdString(targetS1p(table, model, targetCurve(model, 30, points)));
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("XDG_CONFIG_HOME", temp.filePath("config").toUtf8());
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 50;
    TuneWindow window;
    window.resize(1180, 760);
    window.show();
    auto *bandwidth = window.findChild<QLineEdit *>(QStringLiteral("bandwidth"));
    auto *qu = window.findChild<QLineEdit *>(QStringLiteral("qu"));
    qu->setText(QStringLiteral("3000"));
    QCoreApplication::processEvents();

    // 1. Typing.
    std::vector<double> typing;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        bandwidth->setText(i % 2 ? QStringLiteral("10") : QStringLiteral("10.5"));
        window.chartView()->repaint();
        window.repaint();
        typing.push_back(timer.nsecsElapsed() / 1e6);
    }
    bandwidth->setText(QStringLiteral("10"));

    // 2. Re-saved sweeps.
    const QString path = temp.filePath("sweep.s1p");
    QFile(path).open(QIODevice::WriteOnly);
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(sweepFile(10001, 0));
    }
    QSignalSpy shown(&window, &TuneWindow::sweepShown);
    window.openFile(path);
    shown.wait(10000);
    std::vector<double> resaved;
    for (int i = 0; i < std::min(runs, 20); ++i) {
        const QByteArray bytes = sweepFile(10001, 0.05 * (i % 5));
        shown.clear();
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        file.close();
        QElapsedTimer timer;
        timer.start();
        while (shown.isEmpty() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        window.chartView()->repaint();
        resaved.push_back(timer.nsecsElapsed() / 1e6);
    }

    // 3. A 1,000,000-point file loading while the window answers input.
    const QString big = temp.filePath("big.s2p");
    {
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        file.write("# MHz S RI R 50\n");
        std::mt19937_64 random(1);
        std::uniform_real_distribution<double> value(-1, 1);
        QByteArray line;
        for (int i = 0; i < 1000000; ++i) {
            line = QByteArray::number(900 + i * 2e-4, 'f', 6);
            for (int k = 0; k < 8; ++k)
                line += ' ' + QByteArray::number(value(random), 'f', 12);
            line += '\n';
            file.write(line);
        }
    }
    QElapsedTimer load;
    load.start();
    window.openFile(big);
    std::vector<double> answers;
    QElapsedTimer typed;
    int keystroke = 0;
    // Typing goes on until the sweep is read; then it stops, as a tuner's
    // typing does, and the verdict of the last inputs follows. (A check
    // still running when the inputs change is dropped, so a verdict of a
    // million points cannot show while a key lands every 10 ms.)
    while (window.measuredPoints() != 1000000u && load.elapsed() < 60000) {
        // A keystroke every 10 ms: the time until the window has handled it.
        typed.start();
        bandwidth->setText(keystroke++ % 2 ? QStringLiteral("10") : QStringLiteral("10.5"));
        QCoreApplication::processEvents();
        answers.push_back(typed.nsecsElapsed() / 1e6);
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 10)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    const double read = load.nsecsElapsed() / 1e6;
    while (!window.session().reportCurrent() && load.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double loaded = load.nsecsElapsed() / 1e6;

    report("typing: table and 801-point chart redrawn", typing, 16);
    report("re-saved 10,001-point sweep: write to verdict shown", resaved, 50);
    report("1,000,000-point load: a keystroke answered in", answers, 50);

    // 4. Everything on.
    {
        auto waitCurrent = [&] {
            QElapsedTimer limit;
            limit.start();
            while (!window.session().reportCurrent() && limit.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        };
        auto write = [](const QString &to, const QByteArray &bytes) {
            QFile file(to);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(bytes) != bytes.size())
                std::fprintf(stderr, "cannot write %s\n", qPrintable(to));
        };
        const QString small = temp.filePath("small.s1p");
        write(small, sweepFile(801, 0));
        window.findChild<QSpinBox *>(QStringLiteral("average"))->setValue(16);
        window.openFile(small);
        waitCurrent();
        if (!window.openMemory(small).isEmpty())
            std::fprintf(stderr, "the memory does not load\n");
        window.findChild<QAction *>(QStringLiteral("markersAtLobes"))->trigger();
        for (double f : {996.0, 1004.0, 999.0})
            window.placeMarker(f);
        waitCurrent();
        std::printf("everything on: %zu markers, memory %s, averaging %d, band %s\n",
                    window.markers().size(), window.session().memory() ? "on" : "off",
                    window.session().averaging(), window.bandStretchesShown() >= 0 ? "on" : "off");
        QAction *right = nullptr, *left = nullptr;
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Right))
                right = action;
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Left))
                left = action;
        }
        auto redraw = [&] {
            window.chartView()->repaint();
            window.repaint();
        };
        // The paints the verdict asked for, if the wait did not already do
        // them: the scene's change, then the view's update request.
        auto flushPaints = [] {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents();
        };
        std::vector<double> typed, moved, reread, resavedAll;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            bandwidth->setText(i % 2 ? QStringLiteral("10") : QStringLiteral("10.5"));
            redraw();
            typed.push_back(timer.nsecsElapsed() / 1e6);
        }
        bandwidth->setText(QStringLiteral("10"));
        waitCurrent();
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            (i % 2 ? left : right)->trigger();
            redraw();
            moved.push_back(timer.nsecsElapsed() / 1e6);
        }
        // A re-read: from the sweep taken in to the verdict and chart redrawn.
        // Split at the verdict handled by the window (this slot runs after
        // the window's own): the check and the update, then the paint.
        QElapsedTimer since;
        double handledAt = 0;
        std::vector<double> handled, painted;
        const auto taken = QObject::connect(&window.session(), &TuningSession::sweepChanged,
                                            &window, [&] { since.start(); });
        const auto verdict =
            QObject::connect(&window.session(), &TuningSession::reportChanged, &window, [&] {
                if (window.session().reportCurrent())
                    handledAt = since.nsecsElapsed() / 1e6;
            });
        for (int i = 0; i < std::min(runs, 20); ++i) {
            shown.clear();
            write(small, sweepFile(801, 0.05 * (i % 5 + 1)));
            QElapsedTimer limit;
            limit.start();
            while (!(shown.size() > 0 && window.session().reportCurrent()) &&
                   limit.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
            flushPaints();
            reread.push_back(since.nsecsElapsed() / 1e6);
            handled.push_back(handledAt);
            painted.push_back(reread.back() - handledAt);
        }
        QObject::disconnect(taken);
        QObject::disconnect(verdict);
        write(path, sweepFile(10001, 0));
        window.openFile(path);
        waitCurrent();
        for (int i = 0; i < std::min(runs, 20); ++i) {
            shown.clear();
            write(path, sweepFile(10001, 0.05 * (i % 5 + 1)));
            QElapsedTimer timer;
            timer.start();
            while (!(shown.size() > 0 && window.session().reportCurrent()) &&
                   timer.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
            flushPaints();
            resavedAll.push_back(timer.nsecsElapsed() / 1e6);
        }
        report("everything on: typing, 801 points redrawn", typed, 16);
        report("everything on: a marker moved, redrawn", moved, 16);
        report("everything on: 801-point re-read, sweep to painted", reread, 16);
        report("  of which: the check, the window updated", handled, 16);
        report("  of which: the paint", painted, 16);
        report("everything on: re-saved 10,001 points, write to painted", resavedAll, 50);
        window.findChild<QSpinBox *>(QStringLiteral("average"))->setValue(1);
        window.session().clearMemory();
    }

    // 5. Live: each verdict shown against the last byte of the data it is of,
    // for each kind of analyser (the NanoVNA at its firmware's point limit).
    {
        testing::FakeFaults faults;
        faults.points = 1601;
        faults.replyDelayMs = 30;
        testing::FakeScpiAnalyser scpi(faults);
        testing::FakeLibreVna libre(faults);
        faults.points = testing::FakeNanoVna::pointLimit;
        testing::FakeNanoVna nano(faults);
        const struct {
            const char *what;
            QString address;
            std::function<std::chrono::steady_clock::time_point()> lastByte;
        } kinds[] = {
            {"SCPI analyser, 1601 points: last byte to verdict shown",
             QStringLiteral("scpi://127.0.0.1:%1").arg(scpi.port()),
             [&] { return scpi.lastDataSent(); }},
            {"LibreVNA, 1601 points: last byte to verdict shown",
             QStringLiteral("librevna://127.0.0.1:%1").arg(libre.port()),
             [&] { return libre.lastDataSent(); }},
            {"NanoVNA, 101 points: last byte to verdict shown",
             QStringLiteral("nanovna:") + QString::fromStdString(nano.device()),
             [&] { return nano.lastDataSent(); }},
        };
        for (const auto &kind : kinds) {
            window.connectAnalyser(kind.address);
            std::vector<double> live;
            const auto shown = QObject::connect(&window, &TuneWindow::sweepShown, &window, [&] {
                // Only verdicts of the analyser's sweeps, once it has sent one.
                if (window.session().reportCurrent() && window.session().fromAnalyser() &&
                    kind.lastByte() != std::chrono::steady_clock::time_point{} &&
                    live.size() < static_cast<std::size_t>(runs))
                    live.push_back(std::chrono::duration<double, std::milli>(
                                       std::chrono::steady_clock::now() - kind.lastByte())
                                       .count());
            });
            QElapsedTimer limit;
            limit.start();
            while (live.size() < static_cast<std::size_t>(runs) && limit.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QObject::disconnect(shown);
            window.session().disconnectAnalyser();
            if (!live.empty())
                report(kind.what, live, 30);
        }
    }
    std::printf("1,000,000-point load: sweep read after %.0f ms with %zu keystrokes answered "
                "meanwhile; verdict on screen after %.0f ms\n",
                read, answers.size(), loaded);
    return 0;
}
