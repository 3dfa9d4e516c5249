#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "filter_generator.h"
#include "tuning/tolerance_band.h"
#include "tuning_window/connect_dialog.h"
#include "tuning_window/element_bars.h"
#include "tuning_window/marker_panel.h"
#include "tuning_window/tune_window.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

using namespace varnel;

namespace {

const QString dataDir = QStringLiteral(VARNEL_TEST_DATA);

class TuneWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<TuneWindow>();
        window->resize(1180, 760);
        set("order", "5");
        set("bandwidth", "10");
        set("ripple", "0.01");
        set("f0", "1000");
        set("qu", "");
        set("aperture", "2");
        set("tolerance", "2");
    }

    template <class W = QLineEdit> W *field(const char *name) {
        return window->findChild<W *>(QString::fromLatin1(name));
    }
    void set(const char *name, const QString &text) { field(name)->setText(text); }
    QString cell(int row, int column) {
        const QAbstractItemModel *model = field<QTableView>("stageTable")->model();
        return model->index(row, column).data().toString();
    }
    QLabel *label(const char *name) { return field<QLabel>(name); }
    // Opens a file and waits for its verdict (or its failure).
    bool open(const QString &path) {
        QSignalSpy shown(window.get(), &TuneWindow::sweepShown);
        QSignalSpy failed(window.get(), &TuneWindow::sweepFailed);
        window->openFile(path);
        for (int i = 0; i < 100 && shown.isEmpty() && failed.isEmpty(); ++i)
            shown.wait(50);
        return !shown.isEmpty();
    }
    QString copyToTemp(const QString &from, const QString &name) {
        const QString to = temp.filePath(name);
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(from, to));
        QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return to;
    }

    QTemporaryDir temp;
    std::unique_ptr<TuneWindow> window;
};

// Typing the inputs fills the stage table with the core's values.
TEST_F(TuneWindowTest, TypingFillsTheStageTable) {
    set("order", "6");
    set("bandwidth", "26.9");
    set("f0", "2300");
    const auto table = std::get<TuningTable>(tuningTable("6", "26.9", "0.01", 2300.0));
    const std::vector<StageRow> rows = stageRows(table, 2300, std::nullopt);
    ASSERT_EQ(field<QTableView>("stageTable")->model()->rowCount(), 6);
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(cell(r, 1).toStdString(), formatFixed(rows[r].g, 5));
        EXPECT_EQ(cell(r, 2).toStdString(), formatFixed(rows[r].targetDelayNs, 3));
        EXPECT_EQ(cell(r, 2).toStdString(), formatFixed(table.stages[r].delay, 3))
            << "the lossless target is the table's delay";
    }
    EXPECT_EQ(cell(0, 4), QStringLiteral("66.81"));
    EXPECT_EQ(cell(0, 3).toStdString(), formatFixed(*table.stages[0].coupling, 6));
    EXPECT_TRUE(cell(5, 3).isEmpty()); // no coupling after the last resonator
    // A stage beyond the order is marked, not changed: typing "1" on the
    // way to "12" keeps the stage the tuner chose.
    field<QSpinBox>("stage")->setValue(6);
    set("order", "1");
    EXPECT_EQ(field<QSpinBox>("stage")->value(), 6);
    EXPECT_FALSE(label("stageReason")->isHidden());
    set("order", "6");
    EXPECT_TRUE(label("stageReason")->isHidden());
    field<QSpinBox>("stage")->setValue(1);
    // With Qu the target delays are the lossy model's.
    set("qu", "800");
    EXPECT_EQ(cell(0, 2).toStdString(),
              formatFixed(stageRows(table, 2300, 800.0)[0].targetDelayNs, 3));
    EXPECT_NE(cell(0, 2).toStdString(), formatFixed(rows[0].targetDelayNs, 3));
}

// A wrong input is marked at its field with the reason; a run-time error of
// the calculation shows in the status line; what was on screen stays.
TEST_F(TuneWindowTest, InvalidInputsAreMarkedWhereTheyAre) {
    const QString before = cell(1, 2);
    set("f0", "abc");
    EXPECT_FALSE(label("f0Reason")->isHidden());
    EXPECT_TRUE(label("f0Reason")->text().contains("above 0"));
    set("f0", "1000");
    EXPECT_TRUE(label("f0Reason")->isHidden());
    set("order", "101");
    EXPECT_TRUE(label("orderReason")->text().contains("from 1 to 100"));
    set("order", "5");
    set("ripple", "-0.1");
    EXPECT_TRUE(label("rippleReason")->text().contains("above 0 dB"));
    set("ripple", "0.01");
    set("qu", "-5");
    EXPECT_FALSE(label("quReason")->isHidden());
    set("qu", "");
    set("bandwidth", "");
    EXPECT_EQ(window->statusText(), QStringLiteral("Run-time error 11: Division by zero"));
    EXPECT_EQ(cell(1, 2), before);
    set("bandwidth", "10");
    EXPECT_TRUE(window->statusText().isEmpty());
    // A slope may be negative or empty (fitted), not a word.
    for (const char *name : {"couplingSlope", "qeSlope"}) {
        const std::string reason = std::string(name) + "Reason";
        set(name, "steep");
        EXPECT_TRUE(label(reason.c_str())->text().contains("leave it empty")) << name;
        set(name, "-0.8");
        EXPECT_TRUE(label(reason.c_str())->isHidden()) << name;
        set(name, "");
        EXPECT_TRUE(label(reason.c_str())->isHidden()) << name;
    }
    // A cut-off is read for waveguides only, and must lie below f0.
    auto *cutoff = window->findChild<QLineEdit *>(QStringLiteral("cutoff"));
    auto *resonator = window->findChild<QComboBox *>(QStringLiteral("resonator"));
    set("cutoff", "1200");
    EXPECT_FALSE(cutoff->isEnabled());
    EXPECT_TRUE(label("cutoffReason")->isHidden()) << "not read for lumped resonators";
    resonator->setCurrentIndex(resonator->findData(QStringLiteral("waveguide")));
    EXPECT_TRUE(cutoff->isEnabled());
    EXPECT_TRUE(label("cutoffReason")->text().contains("below f0"));
    set("cutoff", "700");
    EXPECT_TRUE(label("cutoffReason")->isHidden());
    EXPECT_EQ(window->session().inputs()->check.cutoff, 700.0);
    set("cutoff", "");
    EXPECT_FALSE(window->session().inputs()->check.cutoff) << "empty: fitted";
    resonator->setCurrentIndex(0);
}

// varnel-calc's check of the stage 2 test sweep (Qu 3000 at 1000 MHz).
CheckReport stage2Check(ResonatorKind resonator) {
    const auto table = std::get<TuningTable>(tuningTable("5", "10", "0.01", 1000.0));
    const auto network =
        std::get<Network>(readTouchstoneFile((dataDir + "/stage2-mistuned.s2p").toStdString()));
    CheckSettings settings;
    settings.stage = 2;
    settings.f0 = 1000;
    settings.qu = 3000;
    settings.resonator = resonator;
    return std::get<CheckReport>(checkStage(table, network, settings));
}

// A loaded sweep gets the verdict varnel-calc check gives on the same file.
TEST_F(TuneWindowTest, VerdictIsTheChecks) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    ASSERT_TRUE(window->report());
    EXPECT_EQ(field<QComboBox>("parameter")->count(), 4); // the 2-port's S-parameters
    const CheckReport expected = stage2Check(ResonatorKind::Lumped);
    const CheckReport &shown = *window->report();
    EXPECT_EQ(shown.measuredDelayNs, expected.measuredDelayNs);
    EXPECT_EQ(shown.deviationPercent, expected.deviationPercent);
    EXPECT_EQ(shown.verdict.outcome, expected.verdict.outcome);
    // Resonator 2 is 0.25 MHz (2.5 % of BW) high, beyond the default 2 %.
    EXPECT_EQ(label("verdict")->text(), "FAIL");
    EXPECT_EQ(label("advice")->text().toStdString(), adviceText(expected));
    EXPECT_TRUE(label("advice")->text().startsWith("Resonator 2 is 0.25 MHz (2.5 % of BW) high"));
    EXPECT_TRUE(label("delays")->text().contains(
        QString::fromStdString(formatFixed(expected.measuredDelayNs, 3))));
    // The bars are the core's elements: resonators 1 and 2, Qe, coupling 1-2.
    const auto *bars = window->findChild<ElementBars *>(QStringLiteral("elementBars"));
    ASSERT_TRUE(bars);
    EXPECT_FALSE(bars->isHidden());
    const std::vector<JudgedElement> elements = judgedElements(expected);
    ASSERT_EQ(bars->elements().size(), 4u);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        EXPECT_EQ(bars->elements()[i].finding.element, elements[i].finding.element);
        EXPECT_EQ(bars->elements()[i].finding.percent, elements[i].finding.percent);
    }
    EXPECT_NEAR(bars->elements()[1].finding.percent, 2.5, 0.03);
    // Widening the resonators' tolerance turns the verdict, without reading
    // the file again.
    QSignalSpy shownAgain(window.get(), &TuneWindow::sweepShown);
    set("toleranceFrequency", "3");
    ASSERT_TRUE(shownAgain.wait(5000));
    EXPECT_EQ(label("verdict")->text(), "PASS");
}

// Choosing coaxial resonators checks against their mapping, as check
// --resonator coaxial does.
TEST_F(TuneWindowTest, ResonatorChoiceIsTheChecks) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    QSignalSpy shownAgain(window.get(), &TuneWindow::sweepShown);
    auto *resonator = field<QComboBox>("resonator");
    resonator->setCurrentIndex(resonator->findData(QStringLiteral("coaxial")));
    ASSERT_TRUE(shownAgain.wait(5000));
    const CheckReport expected = stage2Check(ResonatorKind::Coaxial);
    ASSERT_TRUE(window->report());
    EXPECT_EQ(window->report()->settings.resonator, ResonatorKind::Coaxial);
    EXPECT_EQ(window->report()->deviationPercent, expected.deviationPercent);
    EXPECT_EQ(window->report()->lobes[1].targetDelayNs, expected.lobes[1].targetDelayNs);
}

// In English the window's advice is check's, word for word, in every case:
// each finding in both directions, each doubt, both passes.
TEST(TuneAdvice, EnglishIsTheChecksText) {
    std::vector<Verdict> verdicts;
    for (int stage : {4, 5}) {
        Verdict pass;
        pass.outcome = Verdict::Pass;
        pass.stage = stage;
        pass.order = 5;
        verdicts.push_back(pass);
    }
    Verdict fail;
    fail.outcome = Verdict::Fail;
    const struct {
        Finding::Element element;
        int index;
        bool forDelay;
    } kinds[] = {{Finding::Resonator, 1, false}, {Finding::Resonator, 3, false},
                 {Finding::Coupling, 2, false},  {Finding::Coupling, 3, true},
                 {Finding::External, 1, false},  {Finding::External, 1, true},
                 {Finding::External, 2, false}};
    for (const auto &kind : kinds)
        for (double percent : {4.1, -0.052}) {
            Finding f;
            f.element = kind.element;
            f.index = kind.index;
            f.percent = percent;
            f.offsetMHz = percent / 10;
            f.forDelay = kind.forDelay;
            f.delayPercent = -2 * percent;
            fail.findings.push_back(f);
        }
    verdicts.push_back(fail);
    Verdict uncertain;
    uncertain.outcome = Verdict::Uncertain;
    for (const Doubt::Kind kind : {Doubt::NotConverged, Doubt::Mismatch, Doubt::AboveUnity,
                                   Doubt::LobesOutside, Doubt::FarOff, Doubt::TooNoisy}) {
        Doubt d;
        d.kind = kind;
        d.residualDb = -22.06;
        d.noiseDb = -45.5;
        d.aboveDb = 0.351;
        d.fromMHz = 985;
        d.toMHz = 1015.5;
        d.finding.element = Finding::Coupling;
        d.finding.index = 3;
        d.finding.uncertaintyPercent = 0.77;
        d.finding.percent = -240;
        d.tolerancePercent = 2;
        uncertain.doubts.push_back(d);
        d.finding.element = Finding::Resonator;
        uncertain.doubts.push_back(d);
    }
    verdicts.push_back(uncertain);
    for (const Verdict &v : verdicts)
        EXPECT_EQ(adviceFor(v).toStdString(), verdictText(v));
    // Each finding's own line names its amount as the core writes it.
    EXPECT_EQ(findingFor(fail.findings[0]).toStdString(),
              "Resonator 1 is 0.41 MHz (4.1 % of BW) high: turn it down");
}

// The whole-filter mode diagnoses the sweep as varnel-calc diagnose does:
// the same verdict, findings and elements, the |S| traces drawn on the dB
// axis, the delay axis hidden; back in the stage mode the stage is checked.
TEST_F(TuneWindowTest, WholeFilterIsTheDiagnosis) {
    varnel::testing::Filter filter;
    filter.offsetMHz = {0, 0, 0.5};
    filter.delayNs[0] = 1;
    const std::string text =
        varnel::testing::s2pText(varnel::testing::generateFilter(filter, 801, 15));
    const QString path = temp.filePath("filter.s2p");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(text));
    }
    field<QComboBox>("mode")->setCurrentIndex(1);
    ASSERT_TRUE(open(path));
    for (int i = 0; i < 100 && !window->session().diagnosis(); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(50);
    ASSERT_TRUE(window->session().diagnosis());
    const auto read = readTouchstoneFile(path.toStdString(), ReadOptions{});
    DiagnoseSettings settings;
    settings.f0 = 1000;
    const Diagnosis expected = std::get<Diagnosis>(
        diagnoseFilter(std::get<TuningTable>(tuningTable("5", "10", "0.01", std::nullopt)),
                       std::get<Network>(read), settings));
    EXPECT_EQ(label("verdict")->text(), "FAIL");
    EXPECT_EQ(label("advice")->text().toStdString(), diagnosisText(expected));
    const auto *bars = window->findChild<ElementBars *>(QStringLiteral("elementBars"));
    ASSERT_EQ(bars->elements().size(), expected.elements.size());
    EXPECT_EQ(bars->elements()[2].finding.percent, expected.elements[2].finding.percent);
    const auto *chart = field<QChartView>("chart")->chart();
    int shownWithPoints = 0;
    for (QAbstractSeries *s : chart->series()) {
        const auto *line = qobject_cast<QLineSeries *>(s);
        if (s->isVisible() && (!line || !line->points().isEmpty()))
            ++shownWithPoints;
    }
    EXPECT_EQ(shownWithPoints, 6); // |S11|, |S21| measured, fitted and designed
    EXPECT_FALSE(chart->axes(Qt::Vertical).front()->isVisible()); // the delay axis
    // The comparison export is the diagnosis's CSV.
    EXPECT_TRUE(window->exportComparisonCsv(temp.filePath("d.csv")).isEmpty());
    QFile csv(temp.filePath("d.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readLine().startsWith("f_mhz,s11_db_measured,s11_db_fitted,s21_db_measured"));

    field<QComboBox>("mode")->setCurrentIndex(0);
    for (int i = 0; i < 100 && !window->session().report(); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(50);
    ASSERT_TRUE(window->session().report());
    EXPECT_TRUE(field<QSpinBox>("stage")->isEnabled());
}

// An SCPI analyser connected from the window: its sweeps are checked as
// they come, its pace shown; an address nobody answers is said so and
// tried again.
TEST_F(TuneWindowTest, AnalyserSweepsAreCheckedAsTheyCome) {
    varnel::testing::FakeScpiAnalyser fake;
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    const QString address = QStringLiteral("scpi://127.0.0.1:%1").arg(fake.port());
    window->connectAnalyser(address);
    for (int i = 0; i < 200 && fake.sweepsServed() < 4; ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    ASSERT_GE(fake.sweepsServed(), 4);
    for (int i = 0; i < 100 && !window->report(); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    ASSERT_TRUE(window->report());
    // Sweeps keep coming; the verdict stays on screen while each is checked.
    EXPECT_EQ(label("verdict")->text(), "PASS");
    EXPECT_TRUE(window->windowTitle().startsWith(address)) << window->windowTitle().toStdString();
    for (int i = 0; i < 100 && !label("file")->text().contains("sweeps/s"); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    EXPECT_TRUE(label("file")->text().contains("sweeps/s")) << label("file")->text().toStdString();

    int gone = 0;
    {
        varnel::testing::FakeScpiAnalyser closed;
        gone = closed.port();
    }
    window->connectAnalyser(QStringLiteral("scpi://127.0.0.1:%1").arg(gone));
    for (int i = 0; i < 100 && label("sweepMessage")->isHidden(); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepFailed).wait(20);
    EXPECT_TRUE(label("sweepMessage")->text().contains("connection refused. Connecting again."))
        << label("sweepMessage")->text().toStdString();
}

// Each kind of analyser live in the window: its sweeps checked as they
// come, the link in the status bar; Hold freezes the sweep on screen and
// leaves the analyser alone; the sweep saved as Touchstone is the one on
// screen; Disconnect keeps it, and connecting again needs no restart.
TEST_F(TuneWindowTest, LiveAnalyserHoldSaveDisconnect) {
    // Sweeps at an instrument's pace (a verdict takes a few ms; a fake
    // sweeping faster than that would overtake every check).
    varnel::testing::FakeFaults libreFaults;
    libreFaults.replyDelayMs = 20;
    varnel::testing::FakeLibreVna libre(libreFaults);
    varnel::testing::FakeFaults nanoFaults = libreFaults;
    nanoFaults.points = 101;
    nanoFaults.strayPrompts = true;
    varnel::testing::FakeNanoVna nano(nanoFaults);
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    QTemporaryDir temp;
    auto wait = [&](auto done) {
        for (int i = 0; i < 300 && !done(); ++i)
            QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
        return done();
    };
    const struct {
        QString address;
        std::function<int()> served;
        QString identity;
        int ports;
    } kinds[] = {
        {QStringLiteral("librevna://127.0.0.1:%1").arg(libre.port()),
         [&] { return libre.sweepsServed(); }, QStringLiteral("LibreVNA,LibreVNA-GUI,fake,1.0"), 2},
        {QStringLiteral("nanovna:") + QString::fromStdString(nano.device()),
         [&] { return nano.sweepsServed(); }, QStringLiteral("NanoVNA 1.2.00-fake"), 1},
    };
    for (const auto &kind : kinds) {
        SCOPED_TRACE(kind.address.toStdString());
        window->connectAnalyser(kind.address);
        ASSERT_TRUE(wait([&] {
            return kind.served() >= 3 && window->session().origin() == kind.address &&
                   window->session().reportCurrent();
        }));
        EXPECT_EQ(label("verdict")->text(), "PASS");
        EXPECT_EQ(label("link")->text(), "Connected: " + kind.identity);
        EXPECT_EQ(window->session().network()->ports, kind.ports);

        auto *hold = window->findChild<QAction *>(QStringLiteral("hold"));
        hold->trigger();
        EXPECT_EQ(label("link")->text(), "Held: the sweep on screen stays");
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(100); // one in flight lands
        const auto held = window->session().network();
        const int servedWhenHeld = kind.served();
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(300);
        EXPECT_EQ(window->session().network(), held) << "the sweep on screen stays";
        EXPECT_LE(kind.served(), servedWhenHeld + 1) << "the analyser is left alone";

        const QString saved = temp.filePath(kind.ports == 2 ? "held.s2p" : "held.s1p");
        ASSERT_TRUE(window->exportSweep(saved).isEmpty());
        const auto read = readTouchstoneFile(saved.toStdString());
        ASSERT_TRUE(std::holds_alternative<Network>(read));
        EXPECT_EQ(std::get<Network>(read).values, held->values);
        EXPECT_EQ(std::get<Network>(read).frequencyMHz, held->frequencyMHz);

        hold->trigger();
        ASSERT_TRUE(wait([&] { return window->session().network() != held; }))
            << "released, sweeps come again";

        window->session().disconnectAnalyser();
        EXPECT_EQ(label("link")->text(), "Disconnected: the last sweep stays");
        EXPECT_TRUE(window->session().network());
        EXPECT_FALSE(hold->isEnabled());
    }
}

// The tolerance band: the mistuned sweep leaves it (its lobes moved) in as
// many stretches as the core finds, a wide tolerance holds it all, and the
// band can be hidden.
TEST_F(TuneWindowTest, ToleranceBandShowsWhereTheSweepLeavesIt) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    const CheckReport &shown = *window->report();
    const ToleranceBand band = toleranceBand(shown.delayTarget, shown.delayMeasured, 2);
    ASSERT_FALSE(band.outside.empty());
    EXPECT_EQ(window->bandStretchesShown(), static_cast<int>(band.outside.size()));
    // The verdict of a tolerance typed in, on screen.
    auto typed = [&](const char *tolerance, double percent) {
        set("tolerance", tolerance);
        for (int i = 0; i < 200 && !(window->session().reportCurrent() &&
                                     window->report()->settings.tolerancePercent == percent);
             ++i)
            QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    };
    typed("60", 60);
    EXPECT_EQ(window->bandStretchesShown(), 0);
    typed("2", 2);
    EXPECT_GT(window->bandStretchesShown(), 0);
    window->findChild<QAction *>(QStringLiteral("showBand"))->setChecked(false);
    EXPECT_EQ(window->bandStretchesShown(), 0);
}

// A held scale stays through a zoom and a re-read, is remembered, and
// lets go when released.
TEST_F(TuneWindowTest, HeldScalesStayPut) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    auto *chart = field<QChartView>("chart")->chart();
    auto *delay = qobject_cast<QValueAxis *>(chart->axes(Qt::Vertical).front());
    auto *hold = window->findChild<QAction *>(QStringLiteral("lockDelay"));
    delay->setRange(20, 140); // as a zoom would leave it
    hold->setChecked(true);
    chart->zoomIn(QRectF(chart->plotArea().center(), chart->plotArea().size() / 4));
    EXPECT_EQ(delay->min(), 20);
    EXPECT_EQ(delay->max(), 140);
    set("f0", "1000.5"); // a new target and check: the chart is drawn again
    for (int i = 0; i < 200 && !window->session().reportCurrent(); ++i)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    ASSERT_TRUE(window->session().reportCurrent());
    EXPECT_EQ(delay->max(), 140);
    for (QAction *action : window->findChildren<QAction *>())
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_0))
            action->trigger(); // Reset zoom
    EXPECT_EQ(delay->min(), 20);
    EXPECT_EQ(delay->max(), 140);
    window->close(); // the settings are written
    TuneWindow again;
    auto *heldAgain = again.findChild<QAction *>(QStringLiteral("lockDelay"));
    EXPECT_TRUE(heldAgain->isChecked());
    hold->setChecked(false);
    EXPECT_NE(delay->max(), 140) << "released, the axis fits the curves again";
    heldAgain->setChecked(false);
    again.close();
}

// The index of the trace point nearest f, found by a plain search.
std::size_t nearestByHand(const std::vector<double> &f, double at) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        if (std::abs(f[i] - at) < std::abs(f[best] - at))
            best = i;
    return best;
}

QString fixed(double value, int decimals, bool sign = false) {
    return QString::fromStdString(sign ? formatSigned(value, decimals)
                                       : formatFixed(value, decimals));
}

// The marker panel's worked example.
TEST(MarkerPanelTest, WorkedExample) {
    MarkerPanel panel({});
    MarkerReading r;
    r.fMHz = 1000;
    r.measuredNs = 52;
    r.targetNs = 50;
    r.differenceNs = 2;
    r.differencePercent = 4;
    r.s11Db = -12;
    panel.show({r}, std::nullopt, 0, false);
    QStringList row;
    for (int column = 0; column < 7; ++column)
        row << panel.text(0, column);
    EXPECT_EQ(row.join(" | "), "1 | 1000.000 | 52.000 | 50.000 | +2.000 | +4.00 | -12.00");
}

// Markers placed by a click, at f0 and at the lobe peaks sit on trace
// points and read the check's numbers there; the keyboard moves the
// selected one a point; the delta row is the difference of two rows; lobe
// markers follow the lobes when the file is re-saved.
TEST_F(TuneWindowTest, MarkersSnapToTheTrace) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    const QString path = copyToTemp(dataDir + "/stage2-mistuned.s2p", "markers.s2p");
    ASSERT_TRUE(open(path));
    window->show();
    const CheckReport r = *window->report();
    auto *view = field<QChartView>("chart");
    auto *axis = qobject_cast<QValueAxis *>(view->chart()->axes(Qt::Horizontal).front());
    const double min = axis->min(), max = axis->max();
    QAbstractSeries *measured = view->chart()->series().at(4); // a series on the delay axis
    const QPointF at = view->chart()->mapToPosition(QPointF(1001.23, 50), measured);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.toPoint());
    EXPECT_EQ(axis->min(), min) << "a click does not zoom";
    EXPECT_EQ(axis->max(), max);
    ASSERT_EQ(window->markers().size(), 1u);
    const double clicked = view->chart()->mapToValue(at.toPoint(), measured).x();
    const std::size_t i = nearestByHand(r.fMHz, clicked);
    ASSERT_TRUE(window->markerDrawnAt(0));
    EXPECT_EQ(*window->markerDrawnAt(0), QPointF(r.fMHz[i], r.delayMeasured[i]));
    const MarkerPanel *panel = window->markerPanel();
    EXPECT_EQ(panel->text(0, 1), fixed(r.fMHz[i], 3));
    EXPECT_EQ(panel->text(0, 2), fixed(r.delayMeasured[i], 3));
    EXPECT_EQ(panel->text(0, 3), fixed(r.delayTarget[i], 3));
    EXPECT_EQ(panel->text(0, 4), fixed(r.delayMeasured[i] - r.delayTarget[i], 3, true));
    EXPECT_EQ(panel->text(0, 5),
              fixed((r.delayMeasured[i] - r.delayTarget[i]) / r.delayTarget[i] * 100, 2, true));
    EXPECT_EQ(panel->text(0, 6), fixed(r.s11DbMeasuredTrace[i], 2));

    // Right, then Shift+Right: a point, then ten.
    panel->table()->setFocus();
    QTest::keyClick(panel->table(), Qt::Key_Right);
    EXPECT_EQ(window->markerDrawnAt(0)->x(), r.fMHz[i + 1]);
    QTest::keyClick(panel->table(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(window->markerDrawnAt(0)->x(), r.fMHz[i + 11]);

    // f0 and the delta between them.
    window->findChild<QAction *>("markerAtF0")->trigger();
    window->findChild<QAction *>("delta")->setChecked(true);
    const std::size_t centre = nearestByHand(r.fMHz, 1000);
    EXPECT_EQ(*window->markerDrawnAt(1), QPointF(r.fMHz[centre], r.delayMeasured[centre]));
    EXPECT_EQ(panel->text(2, 0), QString::fromUtf8("Δ2–1"));
    EXPECT_EQ(panel->text(2, 1), fixed(r.fMHz[centre] - r.fMHz[i + 11], 3, true));
    EXPECT_EQ(panel->text(2, 2), fixed(r.delayMeasured[centre] - r.delayMeasured[i + 11], 3, true));
    // Delete removes the selected one.
    QTest::keyClick(panel->table(), Qt::Key_Delete);
    EXPECT_EQ(window->markers().size(), 1u);

    // The lobe peaks, then the file re-saved as another sweep.
    window->findChild<QAction *>("markersAtLobes")->trigger();
    ASSERT_EQ(window->markers().size(), r.lobes.size());
    for (std::size_t l = 0; l < r.lobes.size(); ++l)
        EXPECT_EQ(*window->markerDrawnAt(int(l)), QPointF(r.lobes[l].fMHz, r.lobes[l].delayNs));
    {
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(dataDir + "/quirks.s2p", path));
    }
    for (int n = 0;
         n < 200 && !(window->measuredPoints() == 601u && window->session().reportCurrent()); ++n)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    const CheckReport &again = *window->report();
    ASSERT_NE(again.fMHz.size(), r.fMHz.size()) << "the new sweep is checked";
    ASSERT_FALSE(again.lobes.empty());
    for (std::size_t l = 0; l < std::min(again.lobes.size(), window->markers().size()); ++l)
        EXPECT_EQ(*window->markerDrawnAt(int(l)),
                  QPointF(again.lobes[l].fMHz, again.lobes[l].delayNs));
    // The whole filter has no stage trace: no markers on it, none lost.
    field<QComboBox>("mode")->setCurrentIndex(1);
    EXPECT_FALSE(window->markerDrawnAt(0));
    EXPECT_FALSE(window->markerPanel()->isVisible());
    field<QComboBox>("mode")->setCurrentIndex(0);
    for (int n = 0; n < 200 && !window->session().reportCurrent(); ++n)
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(20);
    EXPECT_TRUE(window->markerDrawnAt(0));
    window->findChild<QAction *>("delta")->setChecked(false);
}

// The memory: a stored sweep drawn dimmed, and a golden unit's file. The
// sweep on screen is the memory with a 0.5 ns cable added (S11 turned by
// exp(-j 2 pi f 0.5 ns)), so it reads 0.5 ns above the memory everywhere.
TEST_F(TuneWindowTest, MemoryTraceAndTheDifference) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ReadOptions only;
    only.only = SParameter{1, 1};
    auto read = readTouchstoneFile((dataDir + "/stage2-mistuned.s2p").toStdString(), only);
    ASSERT_TRUE(std::holds_alternative<Network>(read));
    Network cable = std::get<Network>(read);
    for (std::size_t i = 0; i < cable.size(); ++i)
        cable.values[i] *=
            std::polar(1.0, -2 * std::numbers::pi * cable.frequencyMHz[i] * 1e6 * 0.5e-9);
    const QString withCable = temp.filePath("cable.s1p");
    {
        QFile file(withCable);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(writeS1p({}, cable.frequencyMHz, cable.values)));
    }
    EXPECT_FALSE(window->openMemory(temp.filePath("none.s1p")).isEmpty()) << "a missing file";
    ASSERT_TRUE(open(withCable));
    ASSERT_TRUE(window->openMemory(dataDir + "/stage2-mistuned.s2p").isEmpty());
    for (int n = 0; n < 200 && !window->session().memoryComparison(); ++n)
        QSignalSpy(&window->session(), &TuningSession::memoryChanged).wait(20);
    const auto &comparison = window->session().memoryComparison();
    ASSERT_TRUE(comparison);
    for (double d : comparison->differenceNs)
        ASSERT_NEAR(d, 0.5, 1e-6);
    const QString text = label("memoryVerdict")->text();
    EXPECT_TRUE(text.contains("stage2-mistuned.s2p")) << text.toStdString();
    EXPECT_TRUE(text.contains("Delay at f0 +0.500 ns")) << text.toStdString();
    EXPECT_TRUE(text.contains("within the tolerance")) << text.toStdString();
    EXPECT_TRUE(window->memorySeries()->isVisible());
    const CheckReport &memory = *window->session().memoryReport();
    EXPECT_EQ(window->memorySeries()->count(), static_cast<int>(memory.fMHz.size()));
    EXPECT_EQ(window->memorySeries()->at(10), QPointF(memory.fMHz[10], memory.delayMeasured[10]));
    // The exported chart carries the memory's trace.
    window->show(); // laid out, as on screen
    const QString svg = temp.filePath("memory.svg");
    ASSERT_TRUE(window->exportChartSvg(svg).isEmpty());
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svgFile.readAll().contains("Memory delay")) << "its legend entry";
    // A tighter tolerance: the memory is checked again with it.
    set("tolerance", "0.5");
    for (int n = 0; n < 200 && !label("memoryVerdict")->text().contains("outside"); ++n)
        QSignalSpy(&window->session(), &TuningSession::memoryChanged).wait(20);
    EXPECT_TRUE(label("memoryVerdict")->text().contains("outside the tolerance"));
    set("tolerance", "2");
    for (int n = 0; n < 200 && !label("memoryVerdict")->text().contains("within"); ++n)
        QSignalSpy(&window->session(), &TuningSession::memoryChanged).wait(20);
    // The marker table's memory columns.
    window->findChild<QAction *>("markerAtF0")->trigger();
    const QString against = window->markerPanel()->text(0, 8);
    EXPECT_EQ(against, "+0.500") << against.toStdString();
    window->findChild<QAction *>("removeMarker")->trigger();

    // Stored: the sweep on screen becomes the memory; the difference is 0.
    window->findChild<QAction *>("storeMemory")->trigger();
    for (int n = 0; n < 200 && !window->session().memoryComparison(); ++n)
        QSignalSpy(&window->session(), &TuningSession::memoryChanged).wait(20);
    ASSERT_TRUE(window->session().memoryComparison());
    EXPECT_EQ(window->session().memoryComparison()->centreNs, 0);
    EXPECT_TRUE(label("memoryVerdict")->text().contains("cable.s1p"));
    window->session().clearMemory();
    EXPECT_FALSE(window->memorySeries()->isVisible());
    EXPECT_TRUE(label("memoryVerdict")->isHidden());
}

// The |S11| traces, left empty while hidden, are the check's and the
// target's once shown, and follow a new sweep.
TEST_F(TuneWindowTest, DbTracesAreFilledWhenShown) {
    set("qu", "3000");
    field<QSpinBox>("stage")->setValue(2);
    ASSERT_TRUE(open(dataDir + "/stage2-mistuned.s2p"));
    ASSERT_TRUE(window->openMemory(dataDir + "/quirks.s2p").isEmpty());
    for (int n = 0; n < 200 && !window->session().memoryComparison(); ++n)
        QSignalSpy(&window->session(), &TuningSession::memoryChanged).wait(20);
    auto series = [&](const char *name) {
        for (QAbstractSeries *s : field<QChartView>("chart")->chart()->series())
            if (s->name() == QLatin1String(name))
                return qobject_cast<QLineSeries *>(s);
        return static_cast<QLineSeries *>(nullptr);
    };
    auto matches = [](QLineSeries *s, const std::vector<double> &f, const std::vector<double> &y) {
        if (!s->isVisible() || s->count() != static_cast<int>(f.size()))
            return false;
        for (int i = 0; i < s->count(); ++i)
            if (s->at(i) != QPointF(f[std::size_t(i)], y[std::size_t(i)]))
                return false;
        return true;
    };
    window->findChild<QAction *>("showDb")->setChecked(true);
    const CheckReport &r = *window->report();
    EXPECT_TRUE(matches(series("Measured |S11|"), r.fMHz, r.s11DbMeasuredTrace));
    const TargetCurve &curve = *window->session().curve();
    EXPECT_TRUE(matches(series("Target |S11|"), curve.fMHz, curve.s11Db));
    const CheckReport &memory = *window->session().memoryReport();
    EXPECT_TRUE(matches(series("Memory |S11|"), memory.fMHz, memory.s11DbMeasuredTrace));
    window->findChild<QAction *>("showDb")->setChecked(false);
    EXPECT_FALSE(series("Measured |S11|")->isVisible());
}

// The connect dialog makes the address varnel-calc reads, and offers what
// was chosen last.
TEST(ConnectDialogTest, AddressFromTheFieldsAndRemembered) {
    {
        ConnectDialog dialog;
        auto *kind = dialog.findChild<QComboBox *>(QStringLiteral("kind"));
        kind->setCurrentIndex(1); // LibreVNA
        EXPECT_EQ(dialog.findChild<QSpinBox *>(QStringLiteral("port"))->value(), 19542);
        EXPECT_EQ(dialog.address(), "librevna://localhost:19542");
        dialog.findChild<QLineEdit *>(QStringLiteral("host"))->setText(" 10.0.0.9 ");
        EXPECT_EQ(dialog.address(), "librevna://10.0.0.9:19542");
        kind->setCurrentIndex(2); // NanoVNA
        dialog.findChild<QComboBox *>(QStringLiteral("device"))->setCurrentText("/dev/ttyACM3");
        EXPECT_EQ(dialog.address(), "nanovna:/dev/ttyACM3");
        EXPECT_TRUE(dialog.findChild<QLineEdit *>(QStringLiteral("host"))->isHidden());
        dialog.remember();
    }
    ConnectDialog again;
    EXPECT_EQ(again.address(), "nanovna:/dev/ttyACM3");
    again.findChild<QComboBox *>(QStringLiteral("kind"))->setCurrentIndex(0);
    EXPECT_EQ(again.address(), "scpi://10.0.0.9:5025");
}

// In English the window's diagnosis is diagnose's, word for word.
TEST(TuneAdvice, EnglishDiagnosisIsTheCalcsText) {
    Diagnosis pass;
    pass.outcome = Diagnosis::Pass;
    Diagnosis fail;
    fail.outcome = Diagnosis::Fail;
    Finding f;
    f.element = Finding::Resonator;
    f.index = 3;
    f.percent = 5;
    f.offsetMHz = 0.5;
    fail.findings = {f, f};
    fail.gainDb = {9.74, -0.04};
    Diagnosis far;
    far.outcome = Diagnosis::TooFar;
    Doubt d;
    d.kind = Doubt::Mismatch;
    d.residualDb = -20;
    d.noiseDb = -60;
    far.doubts = {d, d};
    Diagnosis noisy;
    noisy.outcome = Diagnosis::TooFar;
    d.kind = Doubt::TooNoisy;
    d.finding = f;
    d.finding.uncertaintyPercent = 0.6;
    d.tolerancePercent = 1;
    noisy.doubts = {d};
    for (const Diagnosis *diagnosis : {&pass, &fail, &far, &noisy})
        EXPECT_EQ(diagnosisFor(*diagnosis).toStdString(), diagnosisText(*diagnosis));
}

// Another file that cannot be read shows the reader's message and nothing
// of the file before it; a missing one says it is waited for.
TEST_F(TuneWindowTest, UnreadableFileShowsWhy) {
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));
    EXPECT_EQ(window->measuredPoints(), 601u);
    const QString broken = temp.filePath("broken.s2p");
    std::ofstream(broken.toStdString()) << "# MHz S RI\n1 1 2 3 4 5 6 7 8\n2 1 2 3\n";
    EXPECT_FALSE(open(broken));
    EXPECT_EQ(window->measuredPoints(), 0u) << "no sweep of another file under this one's name";
    EXPECT_TRUE(window->sweepMessage().contains("broken.s2p:3: expected 9 numbers, found 4"))
        << window->sweepMessage().toStdString();
    EXPECT_FALSE(window->session().reportCurrent());
    EXPECT_FALSE(open(temp.filePath("missing.s1p")));
    EXPECT_TRUE(window->sweepMessage().contains("the file is not there"));
}

// The tuner re-saves the sweep after each turn of a screw: it is read again.
TEST_F(TuneWindowTest, RewrittenFileIsReadAgain) {
    const QString path = copyToTemp(dataDir + "/quirks.s2p", "sweep.s2p");
    ASSERT_TRUE(open(path));
    EXPECT_EQ(window->measuredPoints(), 601u);
    QSignalSpy shown(window.get(), &TuneWindow::sweepShown);
    {
        QFile source(dataDir + "/stage2-mistuned.s2p");
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        QFile target(path);
        ASSERT_TRUE(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
        target.write(source.readAll());
    }
    for (int i = 0; i < 100 && window->measuredPoints() != 801u; ++i)
        shown.wait(50);
    EXPECT_EQ(window->measuredPoints(), 801u);
}

// Exports write files that read back.
TEST_F(TuneWindowTest, ExportsReadBack) {
    field<QSpinBox>("stage")->setValue(2);
    EXPECT_FALSE(window->exportComparisonCsv(temp.filePath("none.csv")).isEmpty())
        << "no comparison before a sweep";
    ASSERT_TRUE(open(dataDir + "/quirks.s2p"));

    const QString csv = temp.filePath("comparison.csv");
    ASSERT_TRUE(window->exportComparisonCsv(csv).isEmpty());
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().split('\n');
    EXPECT_EQ(lines.first(),
              "f_mhz,delay_measured_ns,delay_target_ns,s11_db_measured,s11_db_target");
    EXPECT_EQ(lines.size() - 2, static_cast<qsizetype>(window->report()->fMHz.size()));

    const QString s1p = temp.filePath("target.s1p");
    ASSERT_TRUE(window->exportTargetS1p(s1p).isEmpty());
    const auto target = readTouchstoneFile(s1p.toStdString());
    ASSERT_TRUE(std::holds_alternative<Network>(target));
    EXPECT_EQ(std::get<Network>(target).size(), 801u);
    EXPECT_EQ(std::get<Network>(target).ports, 1);

    const QString png = temp.filePath("chart.png");
    ASSERT_TRUE(window->exportChartPng(png).isEmpty());
    const QImage image(png);
    const qreal ratio = window->chartView()->devicePixelRatio();
    EXPECT_EQ(image.width(), window->chartView()->width() * ratio);
    EXPECT_GT(image.height(), window->chartView()->height() * ratio) << "the caption line";

    // The caption: the sweep, the stage, the date and the verdict on screen.
    const QString caption = window->chartCaption();
    EXPECT_TRUE(caption.startsWith("quirks.s2p")) << caption.toStdString();
    EXPECT_TRUE(caption.contains("stage 2"));
    EXPECT_TRUE(caption.contains(QDate::currentDate().toString(Qt::ISODate)));
    EXPECT_TRUE(caption.endsWith(label("verdict")->text()));
    const QString svg = temp.filePath("chart.svg");
    ASSERT_TRUE(window->exportChartSvg(svg).isEmpty());
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svgText = svgFile.readAll();
    EXPECT_TRUE(svgText.contains("<svg"));
    EXPECT_TRUE(svgText.contains("quirks.s2p")) << "the caption is in the drawing";

    EXPECT_FALSE(window->exportChartPng("/nonexistent/chart.png").isEmpty());
}

// A file dropped onto the window is opened.
TEST_F(TuneWindowTest, DroppedFileIsOpened) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dataDir + "/quirks.s2p")});
    QSignalSpy shown(window.get(), &TuneWindow::sweepShown);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_EQ(window->measuredPoints(), 601u);
}

// A drag that announces a URL list but gives none (a source that could not
// deliver its data at the drop), or a remote URL, is refused, not opened.
TEST_F(TuneWindowTest, DropWithoutALocalFileIsRefused) {
    const struct {
        const char *name;
        QByteArray uriList;
    } rows[] = {{"empty_list", ""},
                {"blank_lines", "\r\n\r\n"},
                {"remote_file", "https://example.com/sweep.s2p\r\n"}};
    for (const auto &row : rows) {
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), row.uriList);
        ASSERT_TRUE(data.hasUrls()) << row.name;
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        EXPECT_FALSE(enter.isAccepted()) << row.name;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &drop);
        EXPECT_FALSE(drop.isAccepted()) << row.name;
        EXPECT_EQ(window->measuredPoints(), 0u) << row.name;
    }
}

// The Simplified Chinese translation is built in and chosen by locale.
TEST(TuneTranslation, SimplifiedChinese) {
    loadTranslations(QLocale(QLocale::Chinese, QLocale::China));
    {
        TuneWindow window;
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Varnel 调试"));
    }
    loadTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    TuneWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Varnel tuning"));
}

} // namespace
