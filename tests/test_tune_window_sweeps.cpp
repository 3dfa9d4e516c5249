// The tuning window: markers, the memory, the dB traces, the connect
// dialog, files read and re-read, exports, drops and the translation.
#include "tune_window_fixture.h"

using namespace varnel;
using namespace varnel::testing_window;

namespace {

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
    // The timeouts, in the address the session reads, and remembered.
    again.findChild<QDoubleSpinBox *>(QStringLiteral("silence"))->setValue(12.5);
    EXPECT_EQ(again.address(), "scpi://10.0.0.9:5025?timeout=12.5,30");
    again.findChild<QDoubleSpinBox *>(QStringLiteral("sweepTimeout"))->setValue(2);
    EXPECT_EQ(again.address(), "scpi://10.0.0.9:5025?timeout=12.5,12.5")
        << "a sweep takes no less than a reply's silence";
    // An SCPI analyser's family, for that kind alone.
    auto *dialect = again.findChild<QComboBox *>(QStringLiteral("dialect"));
    EXPECT_FALSE(dialect->isHidden());
    dialect->setCurrentIndex(dialect->findData(QStringLiteral("znb")));
    EXPECT_EQ(again.address(), "scpi://10.0.0.9:5025?timeout=12.5,12.5&dialect=znb");
    again.remember();
    ConnectDialog third;
    EXPECT_EQ(third.address(), "scpi://10.0.0.9:5025?timeout=12.5,12.5&dialect=znb");
    third.findChild<QComboBox *>(QStringLiteral("kind"))->setCurrentIndex(1);
    EXPECT_TRUE(third.findChild<QComboBox *>(QStringLiteral("dialect"))->isHidden());
    EXPECT_EQ(third.address(), "librevna://10.0.0.9:19542?timeout=12.5,12.5");
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
