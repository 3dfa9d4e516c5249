// The tuning window: the inputs, the verdict, the whole filter, analysers,
// the band and held scales.
#include "tune_window_fixture.h"

using namespace varnel;
using namespace varnel::testing_window;

namespace {

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
    for (const Doubt::Kind kind :
         {Doubt::NotConverged, Doubt::Mismatch, Doubt::AboveUnity, Doubt::LobesOutside,
          Doubt::FarOff, Doubt::TooNoisy, Doubt::NeedsS21}) {
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
         [&] { return nano.sweepsServed(); }, QStringLiteral("NanoVNA 1.2.00-fake"), 2},
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
        // The parameters offered are those measured: S11 and S21 alone of
        // the NanoVNA's forward sweep.
        QStringList offered;
        auto *parameter = window->findChild<QComboBox *>(QStringLiteral("parameter"));
        for (int i = 0; i < parameter->count(); ++i)
            offered << parameter->itemText(i);
        EXPECT_EQ(offered.join(QLatin1Char(' ')).toStdString(),
                  window->session().network()->forwardOnly ? "S11 S21" : "S11 S22 S12 S21");

        auto *hold = window->findChild<QAction *>(QStringLiteral("hold"));
        hold->trigger();
        EXPECT_EQ(label("link")->text(), "Held: the sweep on screen stays");
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(100); // one in flight lands
        const auto held = window->session().network();
        const int servedWhenHeld = kind.served();
        QSignalSpy(window.get(), &TuneWindow::sweepShown).wait(300);
        EXPECT_EQ(window->session().network(), held) << "the sweep on screen stays";
        EXPECT_LE(kind.served(), servedWhenHeld + 1) << "the analyser is left alone";

        // The NanoVNA's forward-only sweep is saved as its S11.
        const bool full = !held->forwardOnly;
        const QString saved = temp.filePath(full ? "held.s2p" : "held.s1p");
        ASSERT_TRUE(window->exportSweep(saved).isEmpty());
        const auto read = readTouchstoneFile(saved.toStdString());
        ASSERT_TRUE(std::holds_alternative<Network>(read));
        EXPECT_EQ(std::get<Network>(read).values, full ? held->values : held->parameter({1, 1}));
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
} // namespace
