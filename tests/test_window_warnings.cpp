// The warnings beside the window's verdict: in English each is the command
// line's, as a sentence, and a stage's and a whole filter's show them.
#include "tuning/check.h"
#include "tuning/report_warnings.h"
#include "tuning_window/tune_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>

#include <gtest/gtest.h>

using namespace varnel;

namespace {

const QString dataDir = QStringLiteral(VARNEL_TEST_DATA);

// "the sweep's ..." -> "The sweep's ....": the window's sentences.
QString asSentence(const std::string &text) {
    QString sentence = QString::fromStdString(text);
    sentence[0] = sentence[0].toUpper();
    return sentence + QLatin1Char('.');
}

struct WarningRow {
    const char *name;
    ReportWarning warning;
};

ReportWarning made(ReportWarning::Kind kind, bool stage) {
    ReportWarning w;
    w.kind = kind;
    w.stage = stage;
    w.parameter = "S21";
    w.points = 3;
    w.aboveDb = 0.125;
    w.lobesShown = 1;
    w.lobesExpected = 3;
    w.fromMHz = 985;
    w.toMHz = 1015.5;
    w.foundQu = 1234.4;
    w.givenQu = 3000;
    w.port = 2;
    w.directivityDb = -28.14;
    w.sourceMatchDb = -250; // below what a report states
    w.from = 2;
    w.to = 4;
    w.percent = -1.25;
    return w;
}

class WindowWarningTest : public ::testing::TestWithParam<WarningRow> {};

TEST_P(WindowWarningTest, EnglishIsTheCommandLines) {
    const ReportWarning &w = GetParam().warning;
    EXPECT_EQ(warningFor(w).toStdString(), asSentence(warningText(w)).toStdString());
}

ReportWarning onePoint() {
    ReportWarning w = made(ReportWarning::AboveUnity, true);
    w.points = 1;
    w.aboveDb = 0.25;
    return w;
}
ReportWarning quBeyondMeasure() {
    ReportWarning w = made(ReportWarning::QuDiffers, true);
    w.foundQu.reset();
    return w;
}

const WarningRow warningRows[] = {
    {"above_unity_stage", made(ReportWarning::AboveUnity, true)},
    {"above_unity_filter", made(ReportWarning::AboveUnity, false)},
    {"lobes_missing", made(ReportWarning::LobesMissing, true)},
    {"qu_differs", made(ReportWarning::QuDiffers, true)},
    {"qu_beyond_measure", quBeyondMeasure()},
    {"calibration_stage", made(ReportWarning::CalibrationResidual, true)},
    {"calibration_filter_port", made(ReportWarning::CalibrationResidual, false)},
    {"cross_coupling_holds", made(ReportWarning::CrossCouplingHolds, false)},
};

INSTANTIATE_TEST_SUITE_P(Kinds, WindowWarningTest, ::testing::ValuesIn(warningRows),
                         [](const auto &info) { return std::string(info.param.name); });

// The one-point wording differs from the command line's ("at 1 point (+x
// dB)"), as the window has always put it.
TEST(WindowWarnings, OnePointAboveUnity) {
    EXPECT_EQ(warningFor(onePoint()).toStdString(),
              "|S21| is above 0 dB at 1 point (+0.25 dB): check the calibration and the port; a "
              "passive stage cannot reflect more than it is sent.");
}

// A stage checked with a Qu far from the sweep's: the window says so under
// the verdict, as varnel-calc check does.
TEST(WindowWarnings, AStageShowsTheQuItFound) {
    TuneWindow window;
    for (const auto &[name, text] : {std::pair{"order", "5"},
                                     {"bandwidth", "10"},
                                     {"ripple", "0.01"},
                                     {"f0", "1000"},
                                     {"qu", "600"}})
        window.findChild<QLineEdit *>(QString::fromLatin1(name))
            ->setText(QString::fromLatin1(text));
    window.findChild<QSpinBox *>(QStringLiteral("stage"))->setValue(2);
    QSignalSpy shown(&window, &TuneWindow::sweepShown);
    window.openFile(dataDir + "/stage2-mistuned.s2p");
    for (int i = 0; i < 100 && !window.report(); ++i)
        shown.wait(50);
    ASSERT_TRUE(window.report());
    const std::vector<ReportWarning> warnings = reportWarnings(*window.report());
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.back().kind, ReportWarning::QuDiffers);
    const QString advice = window.findChild<QLabel *>(QStringLiteral("advice"))->text();
    EXPECT_TRUE(advice.endsWith(QLatin1Char('\n') + warningFor(warnings.back())))
        << advice.toStdString();
}

} // namespace
