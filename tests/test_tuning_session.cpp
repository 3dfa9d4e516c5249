// The tuning session on the offscreen platform: what is on screen is
// current, files are taken only whole and settled, exports never lose data,
// and text from files is shown as text.
#include "tuning_window/tune_window.h"
#include "tuning_window/tuning_session.h"
#include "wait_for.h"

#include <QAbstractSeries>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

using namespace varnel;

namespace {

const QString dataDir = QStringLiteral(VARNEL_TEST_DATA);

// A 1-port file of `points` points: a resonance whose phase turns through
// the sweep, so every point parses and the file's size grows with them.
QByteArray sweepText(int points, const QByteArray &header = "# MHz S RI R 50\n") {
    QByteArray text = header;
    for (int i = 0; i < points; ++i) {
        const double f = 985 + 30.0 * i / (points - 1);
        const double phase = std::atan2(f - 1000, 2) * 2;
        text += QByteArray::number(f, 'f', 6) + ' ' + QByteArray::number(std::cos(phase), 'f', 9) +
                ' ' + QByteArray::number(std::sin(phase), 'f', 9) + '\n';
    }
    return text;
}

void write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<TuneWindow>();
        for (const auto &[name, text] :
             std::initializer_list<std::pair<const char *, QString>>{{"order", "5"},
                                                                     {"bandwidth", "10"},
                                                                     {"ripple", "0.01"},
                                                                     {"f0", "1000"},
                                                                     {"qu", ""},
                                                                     {"aperture", "2"},
                                                                     {"edelay", "0"},
                                                                     {"tolerance", "2"}})
            set(name, text);
        window->session().setSettleInterval(30);
    }
    void set(const char *name, const QString &text) {
        window->findChild<QLineEdit *>(QString::fromLatin1(name))->setText(text);
    }
    QLabel *label(const char *name) {
        return window->findChild<QLabel *>(QString::fromLatin1(name));
    }
    TuningSession &session() { return window->session(); }
    bool current(int ms = 5000) {
        return waitFor([&] { return session().reportCurrent() && !session().loading(); }, ms);
    }

    QTemporaryDir temp;
    std::unique_ptr<TuneWindow> window;
};

// Inputs that do not read grey the verdict and refuse the exports that
// would belong to them; reading again brings the verdict back.
TEST_F(SessionTest, StaleInputsGreyTheVerdictAndRefuseExports) {
    window->openFile(dataDir + "/quirks.s2p"); // a tuned stage 2, Qu 3000
    ASSERT_TRUE(current());
    window->findChild<QSpinBox *>("stage")->setValue(2);
    set("qu", "3000");
    ASSERT_TRUE(current());
    EXPECT_EQ(label("verdict")->text(), "PASS");
    set("tolerance", "0,1");
    EXPECT_FALSE(session().reportCurrent());
    EXPECT_FALSE(window->findChild<QGroupBox *>()->isEnabled() &&
                 label("verdict")->text() == "PASS");
    EXPECT_NE(label("verdict")->text(), "PASS");
    EXPECT_FALSE(window->exportComparisonCsv(temp.filePath("a.csv")).isEmpty());
    EXPECT_FALSE(QFile::exists(temp.filePath("a.csv")));
    set("f0", "abc");
    EXPECT_FALSE(window->exportTargetS1p(temp.filePath("t.s1p")).isEmpty())
        << "no target of an f0 that does not read";
    EXPECT_FALSE(QFile::exists(temp.filePath("t.s1p")));
    set("tolerance", "2");
    set("f0", "1000.3"); // both resonators read 3 % of BW low
    ASSERT_TRUE(current());
    EXPECT_EQ(label("verdict")->text(), "FAIL");
    EXPECT_TRUE(window->exportComparisonCsv(temp.filePath("a.csv")).isEmpty());
}

// The shaded band drawn is the current stage's: after stage 1 then stage 2
// of a tuned stage-2 sweep, the chart at f0 and 60 ns (between the stage-1
// target, 48 ns, and the stage-2 one, 83 ns) is not shaded.
TEST_F(SessionTest, TheBandDrawnFollowsTheStage) {
    window->resize(1180, 760);
    window->show();
    set("qu", "3000");
    window->openFile(dataDir + "/quirks.s2p"); // a tuned stage 2, Qu 3000
    ASSERT_TRUE(current());
    window->findChild<QSpinBox *>("stage")->setValue(2);
    ASSERT_TRUE(current());
    waitFor([] { return false; }, 50);
    auto *view = window->findChild<QChartView *>();
    ASSERT_NE(view, nullptr);
    auto *band = [&]() -> QAbstractSeries * {
        for (QAbstractSeries *s : view->chart()->series())
            if (s->type() == QAbstractSeries::SeriesTypeArea)
                return s;
        return nullptr;
    }();
    ASSERT_NE(band, nullptr);
    const QImage shown = view->grab().toImage();
    auto shaded = [&](double ns) {
        const QPointF at = view->mapFromScene(view->chart()->mapToPosition({1000, ns}, band));
        const QColor c = shown.pixelColor(at.toPoint() + QPoint(3, 0)); // beside the f0 line
        return c.blue() - c.red() > 8;
    };
    EXPECT_FALSE(shaded(60)) << "the stage-1 target's edge is gone";
    EXPECT_FALSE(shaded(45)) << "below both targets";
}

// A sweep opened while the inputs do not read says so, not that there is
// no sweep.
TEST_F(SessionTest, ASweepOpenedWithBadInputsAsksForTheInputs) {
    set("f0", "-5");
    window->openFile(dataDir + "/quirks.s2p");
    ASSERT_TRUE(waitFor([&] { return window->measuredPoints() > 0; }));
    EXPECT_TRUE(waitFor([&] {
        return label("verdict")->text() == "No verdict: correct the inputs";
    })) << label("verdict")->text().toStdString();
}

// A whole filter into its load, checked at its last stage with the output
// as the sweep shows: the check finds it loaded, the target drawn is the
// loaded filter's (|S11| at f0 far down, not near 0 dB as an open stage's),
// and the tuned filter passes.
TEST_F(SessionTest, LoadedOutputFoundFromTheSweepIsTheTargetToo) {
    const TuningTable table = std::get<TuningTable>(tuningTable("5", "10", "0.01", 1000.0));
    const StageModel model =
        stageModel(table, 5, 1000, 3000.0, ResonatorKind::Lumped, StageOutput::Loaded);
    const QString path = temp.filePath("whole.s1p");
    write(path, QByteArray::fromStdString(targetS1p(table, model, targetCurve(model, 30, 801))));
    set("qu", "3000");
    window->findChild<QSpinBox *>("stage")->setValue(5);
    window->openFile(path);
    ASSERT_TRUE(current());
    ASSERT_TRUE(session().report());
    EXPECT_EQ(session().report()->output, StageOutput::Loaded);
    EXPECT_EQ(label("verdict")->text(), "PASS");
    const TargetCurve &curve = *session().curve();
    const std::size_t middle = curve.fMHz.size() / 2;
    ASSERT_NEAR(curve.fMHz[middle], 1000, 1e-9);
    EXPECT_LT(curve.s11Db[middle], -20);
}

// A file rewritten while it is read ends on the newest content.
TEST_F(SessionTest, ChangeDuringAReadEndsOnTheNewestFile) {
    const QString path = temp.filePath("sweep.s1p");
    write(path, sweepText(200001));
    window->openFile(path);
    write(path, sweepText(201)); // while the large one is read
    ASSERT_TRUE(waitFor([&] { return window->measuredPoints() == 201u && current(); }, 20000));
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->measuredPoints(), 201u);
}

// A second file opened during a slow read is shown with its own data only.
TEST_F(SessionTest, SecondFileDuringASlowReadShowsItsOwnData) {
    const QString first = temp.filePath("first.s1p"), second = temp.filePath("second.s1p");
    write(first, sweepText(300001));
    write(second, sweepText(401));
    std::vector<std::pair<QString, std::size_t>> seen;
    QObject::connect(&session(), &TuningSession::sweepChanged, [&] {
        if (session().network())
            seen.emplace_back(session().origin(), session().network()->size());
    });
    window->openFile(first);
    window->openFile(second);
    ASSERT_TRUE(waitFor([&] { return window->measuredPoints() == 401u && current(); }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCoreApplication::processEvents();
    for (const auto &[origin, size] : seen)
        EXPECT_TRUE(origin == second && size == 401u)
            << origin.toStdString() << " with " << size << " points";
    EXPECT_EQ(session().origin(), second);
}

// A file saved in pieces, as analyser programs save, is never shown half
// read nor reported as broken while it is written.
TEST_F(SessionTest, FileWrittenInPiecesIsNeverShownHalfRead) {
    const QString path = temp.filePath("pieces.s1p");
    write(path, sweepText(101));
    window->openFile(path);
    ASSERT_TRUE(current());
    std::vector<std::size_t> sizes;
    int failures = 0;
    QObject::connect(&session(), &TuningSession::sweepChanged, [&] {
        if (session().sweepFailure())
            ++failures;
        else if (session().network())
            sizes.push_back(session().network()->size());
    });
    const QByteArray whole = sweepText(801);
    std::thread writer([&] {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        for (qsizetype at = 0; at < whole.size(); at += 4096) {
            file.write(whole.mid(at, 4096));
            file.flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const bool whole801 = waitFor([&] { return !sizes.empty() && sizes.back() == 801u; }, 10000);
    writer.join();
    ASSERT_TRUE(whole801);
    EXPECT_EQ(failures, 0);
    for (const std::size_t size : sizes)
        EXPECT_EQ(size, 801u);
}

// A file deleted and written again is still watched; meanwhile the window
// says it is waiting and the verdict is not current.
TEST_F(SessionTest, DeletedAndRecreatedFileIsStillWatched) {
    const QString path = temp.filePath("sweep.s1p");
    write(path, sweepText(201));
    window->openFile(path);
    ASSERT_TRUE(current());
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(waitFor([&] { return session().sweepFailure().has_value(); }));
    EXPECT_EQ(session().sweepFailure()->kind, SweepFailure::Gone);
    EXPECT_FALSE(session().reportCurrent());
    write(path, sweepText(301));
    ASSERT_TRUE(waitFor([&] { return window->measuredPoints() == 301u && current(); }));
    write(path, sweepText(401));
    EXPECT_TRUE(waitFor([&] { return window->measuredPoints() == 401u && current(); }));
}

// Other files saved in the same folder while a large file is read do not
// restart its read: its sweep arrives while new ones are still being saved.
TEST_F(SessionTest, OtherFilesInTheFolderDoNotRestartARead) {
    const QString path = temp.filePath("sweep.s1p");
    write(path, sweepText(300001));
    window->openFile(path);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; !session().network() && std::chrono::steady_clock::now() < end; ++i) {
        write(temp.filePath(QStringLiteral("other%1.txt").arg(i)), QByteArray::number(i));
        waitFor([] { return false; }, 5);
    }
    ASSERT_TRUE(session().network()) << "the read never ended while the folder was busy";
    EXPECT_EQ(window->measuredPoints(), 300001u);
}

// A FIFO, which would block a reader until a writer came, is refused before
// any read, and closing the window does not wait.
TEST_F(SessionTest, FifoIsRefusedAndQuittingDoesNotWait) {
    const QString fifo = temp.filePath("analyser.s1p");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    window->openFile(fifo);
    ASSERT_TRUE(waitFor([&] { return session().sweepFailure().has_value(); }, 2000));
    EXPECT_EQ(session().sweepFailure()->kind, SweepFailure::NotRegular);
    EXPECT_TRUE(window->sweepMessage().contains("a FIFO, not a regular file"));
    EXPECT_FALSE(session().loading());
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Markup in a file name and in a reader message is shown as it is written.
TEST_F(SessionTest, MarkupFromFilesIsShownLiterally) {
    const QString named = temp.filePath("<img src=x>.s1p");
    write(named, sweepText(201));
    window->openFile(named);
    ASSERT_TRUE(current());
    EXPECT_EQ(label("file")->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label("file")->text().startsWith("<img src=x>.s1p"));
    const QString forged = temp.filePath("forged.s1p");
    write(forged, "# MHz S RI <h1 style=\"color:green\">PASS</h1>\n1 0 0\n");
    window->openFile(forged);
    ASSERT_TRUE(waitFor([&] { return session().sweepFailure().has_value(); }));
    for (const char *name : {"sweepMessage", "status", "verdict"})
        EXPECT_EQ(label(name)->textFormat(), Qt::PlainText) << name;
    EXPECT_TRUE(window->sweepMessage().contains("<h1")) << window->sweepMessage().toStdString();
    EXPECT_NE(label("verdict")->text(), "PASS");
}

// The wheel over the stage box scrolls the panel unless the tuner clicked
// the box: scrolling past it does not change the stage.
TEST_F(SessionTest, WheelOverAnUnfocusedStageBoxLeavesTheStage) {
    auto *stage = window->findChild<QSpinBox *>(QStringLiteral("stage"));
    stage->setValue(2);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(stage, &wheel);
    EXPECT_EQ(stage->value(), 2);
}

// Names shown in menus keep their "&".
TEST(MenuText, AmpersandsShowLiterally) {
    EXPECT_EQ(menuText("R&D filter.s1p"), "R&&D filter.s1p");
    EXPECT_EQ(menuText("plain.s1p"), "plain.s1p");
}

// The delay axis ticks stand at 1, 2 or 5 times a power of ten, and a
// re-read of the same file keeps a zoomed axis.
TEST_F(SessionTest, AxesTickAtReadableStepsAndKeepTheZoomOnReread) {
    const QString path = temp.filePath("sweep.s1p");
    write(path, sweepText(401));
    window->openFile(path);
    ASSERT_TRUE(current());
    for (QAbstractAxis *shown : window->chartView()->chart()->axes()) {
        auto *axis = static_cast<QValueAxis *>(shown);
        if (!axis->isVisible())
            continue;
        const double step = axis->tickInterval();
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9)
            << axis->titleText().toStdString() << " steps " << step;
    }
    window->chartView()->chart()->zoom(2);
    const auto axes = window->chartView()->chart()->axes(Qt::Horizontal);
    auto *frequency = static_cast<QValueAxis *>(axes.first());
    const double low = frequency->min(), high = frequency->max();
    QSignalSpy shown(window.get(), &TuneWindow::sweepShown);
    write(path, sweepText(402));
    ASSERT_TRUE(waitFor([&] { return window->measuredPoints() == 402u && current(); }));
    EXPECT_DOUBLE_EQ(frequency->min(), low);
    EXPECT_DOUBLE_EQ(frequency->max(), high);
}

// An export onto a full disk leaves the old file whole, no temporary file,
// and says why in the system's words. Needs root for a small tmpfs.
TEST_F(SessionTest, ExportOnAFullDiskKeepsTheOldFile) {
    const QString disk = temp.filePath("disk");
    QDir().mkpath(disk);
    if (::geteuid() != 0 ||
        ::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    struct Unmount {
        QString path;
        ~Unmount() { ::umount(QFile::encodeName(path).constData()); }
    } unmount{disk};
    window->openFile(dataDir + "/stage2-mistuned.s2p");
    ASSERT_TRUE(current());
    const QString target = disk + "/comparison.csv";
    const QByteArray old = "the previous export\n";
    write(target, old);
    const QString error = window->exportComparisonCsv(target);
    EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), old);
    EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"comparison.csv"});
}

} // namespace

namespace {

// A sweep whose S11 is `value` at every point.
QByteArray flatSweep(double value, int points = 201) {
    QByteArray text = "# MHz S RI R 50\n";
    for (int i = 0; i < points; ++i)
        text += QByteArray::number(985 + 30.0 * i / (points - 1), 'f', 6) + ' ' +
                QByteArray::number(value, 'f', 6) + " 0\n";
    return text;
}

// Averaging: the sweep on screen is the complex average of the last N
// sweeps (closed form for flat sweeps), the count shown; a sweep on other
// frequencies starts afresh; 1 is each sweep as it comes.
TEST_F(SessionTest, AveragingTakesTheLastSweeps) {
    window->findChild<QSpinBox *>(QStringLiteral("average"))->setValue(3);
    const QString path = temp.filePath("average.s1p");
    auto shows = [&](double value, int averaged) {
        return waitFor([&] {
            return session().network() && session().averaged() == averaged &&
                   std::abs(session().network()->values[0].real() - value) < 1e-12;
        });
    };
    const struct {
        double written, shown;
        int averaged;
    } steps[] = {{0.1, 0.1, 1}, {0.2, 0.15, 2}, {0.6, 0.3, 3}, {0.9, (0.2 + 0.6 + 0.9) / 3, 3}};
    for (const auto &step : steps) {
        write(path, flatSweep(step.written));
        if (session().averaged() == 0)
            window->openFile(path);
        ASSERT_TRUE(shows(step.shown, step.averaged)) << "after " << step.written;
    }
    EXPECT_TRUE(label("file")->text().contains("the average of 3 of 3 sweeps"))
        << label("file")->text().toStdString();
    window->findChild<QSpinBox *>(QStringLiteral("average"))->setValue(1);
    EXPECT_TRUE(shows(0.9, 1));
    window->findChild<QSpinBox *>(QStringLiteral("average"))->setValue(4);
    write(path, flatSweep(0.5, 101));
    EXPECT_TRUE(shows(0.5, 1)) << "other frequencies start afresh";
}

} // namespace

// A quick check of a re-read sweep leaves the verdict as it is until the
// new one comes (no grey flash); a long one greys it meanwhile; new inputs
// grey it at once.
TEST_F(SessionTest, VerdictGreysOnlyWhileItIsNotCurrentForLong) {
    const QString path = temp.filePath("sweep.s1p");
    write(path, sweepText(801));
    window->openFile(path);
    ASSERT_TRUE(current());
    auto *box = window->findChild<QGroupBox *>("verdictBox");
    ASSERT_TRUE(box->isEnabled());
    // "Quick" is within the delay: the delay is made long for the quick
    // check, so that a slow build (sanitizers, a busy machine) still
    // checks 803 points within it; then back to the window's own.
    auto *delay = session().findChild<QTimer *>(QStringLiteral("greyDelay"));
    ASSERT_TRUE(delay);
    const int ownDelay = delay->interval();
    delay->setInterval(10000);
    bool greyed = false;
    QObject::connect(&session(), &TuningSession::reportChanged, window.get(),
                     [&] { greyed = greyed || !box->isEnabled(); });
    QObject::connect(&session(), &TuningSession::sweepChanged, window.get(),
                     [&] { greyed = greyed || !box->isEnabled(); });
    write(path, sweepText(803));
    ASSERT_TRUE(waitFor([&] {
        greyed = greyed || !box->isEnabled();
        return window->measuredPoints() == 803u && session().reportCurrent();
    }));
    EXPECT_FALSE(greyed) << "a quick check";
    delay->setInterval(ownDelay);

    write(path, sweepText(1000000));
    ASSERT_TRUE(waitFor(
        [&] {
            greyed = greyed || !box->isEnabled();
            return window->measuredPoints() == 1000000u && session().reportCurrent();
        },
        60000));
    EXPECT_TRUE(greyed) << "a check of a million points";
    EXPECT_TRUE(box->isEnabled());

    set("tolerance", "3");
    EXPECT_FALSE(box->isEnabled()) << "new inputs";
    // The recheck is of the million points again: give it the same time.
    ASSERT_TRUE(current(60000));
    EXPECT_TRUE(box->isEnabled());
}
