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
//      sweep to screen, each the same still filter swept again with noise;
//   5. each kind of analyser (the tests' fakes: an ENA-style SCPI analyser,
//      a PNA and a ZNB with both ports, and LibreVNA, at 1601 points, a
//      NanoVNA at its 101, a sweep every 60 ms or so): from the last byte of
//      a sweep's data to its verdict on screen.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_tune [RUNS]
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "tuning/fit_memory.h"
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
#include <cmath>
#include <complex>
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

// Stage 2 with its resonator `shiftMHz` off; with a seed, swept again
// with -60 dB of noise, as a filter left still and averaged is.
QByteArray sweepFile(std::size_t points, double shiftMHz, unsigned noiseSeed = 0) {
    const TuningTable table = std::get<TuningTable>(tuningTable("5", "10", "0.01", 1000.0));
    StageModel model = stageModel(table, 2, 1000, 3000.0);
    model.lastResonator = 1000 + shiftMHz;
    TargetCurve curve = targetCurve(model, 30, points);
    if (noiseSeed != 0) {
        std::mt19937 random(noiseSeed);
        std::normal_distribution<double> noise(0, 1e-3 / std::sqrt(2.0));
        for (std::complex<double> &s : curve.s11)
            s += std::complex<double>(noise(random), noise(random));
    }
    return QByteArray::fromStdString(targetS1p(table, model, curve));
}

// What every part works on: the window, its scratch folder, the
// bandwidth field typed into, and the sweeps shown.
struct Bench {
    TuneWindow &window;
    QTemporaryDir &temp;
    QLineEdit *bandwidth;
    int runs;
    QSignalSpy shown{&window, &TuneWindow::sweepShown};
    QString path() const { return temp.filePath("sweep.s1p"); }
    void redraw() {
        window.chartView()->repaint();
        window.repaint();
    }
    void waitCurrent() {
        QElapsedTimer limit;
        limit.start();
        while (!window.session().reportCurrent() && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
    }
    // Until a sweep is shown with its verdict current, then its paints.
    void waitShown(int milliseconds) {
        QElapsedTimer limit;
        limit.start();
        while (!(shown.size() > 0 && window.session().reportCurrent()) &&
               limit.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        // The scene's change, then the view's update request.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }
};

void write(const QString &to, const QByteArray &bytes) {
    QFile file(to);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(to));
}

// 1. Typing.
std::vector<double> typing(Bench &b) {
    std::vector<double> times;
    for (int i = 0; i < b.runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        b.bandwidth->setText(i % 2 ? QStringLiteral("10") : QStringLiteral("10.5"));
        b.redraw();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    b.bandwidth->setText(QStringLiteral("10"));
    return times;
}

// 2. Re-saved sweeps.
std::vector<double> resaved(Bench &b) {
    write(b.path(), sweepFile(10001, 0));
    b.window.openFile(b.path());
    b.shown.wait(10000);
    std::vector<double> times;
    for (int i = 0; i < std::min(b.runs, 20); ++i) {
        const QByteArray bytes = sweepFile(10001, 0.05 * (i % 5));
        b.shown.clear();
        write(b.path(), bytes);
        QElapsedTimer timer;
        timer.start();
        while (b.shown.isEmpty() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        b.window.chartView()->repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return times;
}

// 3. A 1,000,000-point file loading while the window answers input.
struct BigLoad {
    std::vector<double> answers;
    double read = 0, loaded = 0;
};

BigLoad bigLoad(Bench &b) {
    const QString big = b.temp.filePath("big.s2p");
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
    BigLoad result;
    QElapsedTimer load;
    load.start();
    b.window.openFile(big);
    QElapsedTimer typed;
    int keystroke = 0;
    // Typing goes on until the sweep is read; then it stops, as a tuner's
    // typing does, and the verdict of the last inputs follows. (A check
    // still running when the inputs change is dropped, so a verdict of a
    // million points cannot show while a key lands every 10 ms.)
    while (b.window.measuredPoints() != 1000000u && load.elapsed() < 60000) {
        // A keystroke every 10 ms: the time until the window has handled it.
        typed.start();
        b.bandwidth->setText(keystroke++ % 2 ? QStringLiteral("10") : QStringLiteral("10.5"));
        QCoreApplication::processEvents();
        result.answers.push_back(typed.nsecsElapsed() / 1e6);
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 10)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    result.read = load.nsecsElapsed() / 1e6;
    while (!b.window.session().reportCurrent() && load.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    result.loaded = load.nsecsElapsed() / 1e6;
    return result;
}

// 4. Everything on: four markers, a memory, averaging 16, the band.
void turnEverythingOn(Bench &b, const QString &small) {
    write(small, sweepFile(801, 0));
    b.window.findChild<QSpinBox *>(QStringLiteral("average"))->setValue(16);
    b.window.openFile(small);
    b.waitCurrent();
    if (!b.window.openMemory(small).isEmpty())
        std::fprintf(stderr, "the memory does not load\n");
    b.window.findChild<QAction *>(QStringLiteral("markersAtLobes"))->trigger();
    for (double f : {996.0, 1004.0, 999.0})
        b.window.placeMarker(f);
    b.waitCurrent();
    std::printf("everything on: %zu markers, memory %s, averaging %d, band %s\n",
                b.window.markers().size(), b.window.session().memory() ? "on" : "off",
                b.window.session().averaging(), b.window.bandStretchesShown() >= 0 ? "on" : "off");
}

// A marker moved a point right and left, redrawn each time.
std::vector<double> markersMoved(Bench &b) {
    QAction *right = nullptr, *left = nullptr;
    for (QAction *action : b.window.findChildren<QAction *>()) {
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Right))
            right = action;
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Left))
            left = action;
    }
    std::vector<double> times;
    for (int i = 0; i < b.runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        (i % 2 ? left : right)->trigger();
        b.redraw();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return times;
}

// A re-read: from the sweep taken in to the verdict and chart redrawn, split
// at the verdict handled by the window (this slot runs after the window's
// own): the check and the update, then the paint.
struct Rereads {
    std::vector<double> whole, handled, painted;
};

Rereads rereads(Bench &b, const QString &small) {
    Rereads r;
    QElapsedTimer since;
    double handledAt = 0;
    TuningSession &session = b.window.session();
    const auto taken =
        QObject::connect(&session, &TuningSession::sweepChanged, &b.window, [&] { since.start(); });
    const auto verdict = QObject::connect(&session, &TuningSession::reportChanged, &b.window, [&] {
        if (session.reportCurrent())
            handledAt = since.nsecsElapsed() / 1e6;
    });
    for (int i = 0; i < std::min(b.runs, 20); ++i) {
        b.shown.clear();
        write(small, sweepFile(801, 0, static_cast<unsigned>(i + 1)));
        b.waitShown(5000);
        r.whole.push_back(since.nsecsElapsed() / 1e6);
        r.handled.push_back(handledAt);
        r.painted.push_back(r.whole.back() - handledAt);
    }
    QObject::disconnect(taken);
    QObject::disconnect(verdict);
    return r;
}

// A re-saved 10,001-point sweep, everything on, from the write to painted.
std::vector<double> resavedEverythingOn(Bench &b) {
    write(b.path(), sweepFile(10001, 0));
    b.window.openFile(b.path());
    b.waitCurrent();
    std::vector<double> times;
    for (int i = 0; i < std::min(b.runs, 20); ++i) {
        b.shown.clear();
        write(b.path(), sweepFile(10001, 0, static_cast<unsigned>(i + 1)));
        QElapsedTimer timer;
        timer.start();
        b.waitShown(5000);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return times;
}

void everythingOn(Bench &b) {
    const QString small = b.temp.filePath("small.s1p");
    turnEverythingOn(b, small);
    const std::vector<double> typed = typing(b);
    b.waitCurrent();
    const std::vector<double> moved = markersMoved(b);
    const Rereads reread = rereads(b, small);
    const std::vector<double> resavedAll = resavedEverythingOn(b);
    report("everything on: typing, 801 points redrawn", typed, 16);
    report("everything on: a marker moved, redrawn", moved, 16);
    report("everything on: 801-point re-read, sweep to painted", reread.whole, 16);
    report("  of which: the check, the window updated", reread.handled, 16);
    report("  of which: the paint", reread.painted, 16);
    report("everything on: re-saved 10,001 points, write to painted", resavedAll, 50);
    b.window.findChild<QSpinBox *>(QStringLiteral("average"))->setValue(1);
    b.window.session().clearMemory();
}

// 5. Live: each verdict shown against the last byte of the data it is of.
void liveFrom(Bench &b, const char *what, const QString &address,
              const std::function<std::chrono::steady_clock::time_point()> &lastByte) {
    TuneWindow &window = b.window;
    window.connectAnalyser(address);
    std::vector<double> live;
    const auto runs = static_cast<std::size_t>(b.runs);
    const auto shown = QObject::connect(&window, &TuneWindow::sweepShown, &window, [&] {
        // Only verdicts of the analyser's sweeps, once it has sent one.
        if (window.session().reportCurrent() && window.session().fromAnalyser() &&
            lastByte() != std::chrono::steady_clock::time_point{} && live.size() < runs)
            live.push_back(std::chrono::duration<double, std::milli>(
                               std::chrono::steady_clock::now() - lastByte())
                               .count());
    });
    QElapsedTimer limit;
    limit.start();
    while (live.size() < runs && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QObject::disconnect(shown);
    window.session().disconnectAnalyser();
    if (!live.empty())
        report(what, live, 30);
}

// Each kind of analyser (the NanoVNA at its firmware's point limit).
void live(Bench &b) {
    testing::FakeFaults faults;
    faults.points = 1601;
    faults.replyDelayMs = 30;
    testing::FakeScpiAnalyser scpi(faults);
    testing::FakeLibreVna libre(faults);
    faults.points = testing::FakeNanoVna::pointLimit;
    testing::FakeNanoVna nano(faults);
    liveFrom(b, "SCPI analyser, 1601 points: last byte to verdict shown",
             QStringLiteral("scpi://127.0.0.1:%1").arg(scpi.port()),
             [&] { return scpi.lastDataSent(); });
    // The analysers that select measurements by name and give every
    // parameter of the two ports.
    for (const auto &[dialect, what] :
         {std::pair{"pna", "PNA, 1601 points, 2 ports: last byte to verdict shown"},
          std::pair{"znb", "ZNB, 1601 points, 2 ports: last byte to verdict shown"}}) {
        testing::FakeFaults named = faults;
        named.dialect = dialect;
        named.points = 1601;
        testing::FakeScpiAnalyser analyser(named);
        liveFrom(b, what, QStringLiteral("scpi://127.0.0.1:%1").arg(analyser.port()),
                 [&] { return analyser.lastDataSent(); });
    }
    liveFrom(b, "LibreVNA, 1601 points: last byte to verdict shown",
             QStringLiteral("librevna://127.0.0.1:%1").arg(libre.port()),
             [&] { return libre.lastDataSent(); });
    liveFrom(b, "NanoVNA, 101 points: last byte to verdict shown",
             QStringLiteral("nanovna:") + QString::fromStdString(nano.device()),
             [&] { return nano.lastDataSent(); });
}

} // namespace

int main(int argc, char **argv) {
    keepFreedMemoryForFits(); // as varnel-tune does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("XDG_CONFIG_HOME", temp.filePath("config").toUtf8());
    QApplication app(argc, argv);
    TuneWindow window;
    window.resize(1180, 760);
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("qu"))->setText(QStringLiteral("3000"));
    // The stage the sweeps are of, as the tuner at work on it has it.
    window.findChild<QSpinBox *>(QStringLiteral("stage"))->setValue(2);
    QCoreApplication::processEvents();
    Bench bench{window, temp, window.findChild<QLineEdit *>(QStringLiteral("bandwidth")),
                argc > 1 ? std::max(3, std::atoi(argv[1])) : 50};
    const std::vector<double> typed = typing(bench);
    const std::vector<double> resavedTimes = resaved(bench);
    const BigLoad big = bigLoad(bench);
    report("typing: table and 801-point chart redrawn", typed, 16);
    report("re-saved 10,001-point sweep: write to verdict shown", resavedTimes, 50);
    report("1,000,000-point load: a keystroke answered in", big.answers, 50);
    everythingOn(bench);
    live(bench);
    std::printf("1,000,000-point load: sweep read after %.0f ms with %zu keystrokes answered "
                "meanwhile; verdict on screen after %.0f ms\n",
                big.read, big.answers.size(), big.loaded);
    return 0;
}
