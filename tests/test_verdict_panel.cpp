// The verdict panel fed reports: its words and numbers are the report's,
// each number named for what it is.
#include "tuning_window/element_bars.h"
#include "tuning_window/verdict_panel.h"

#include <QLabel>
#include <gtest/gtest.h>

using namespace varnel;

namespace {

QString label(const VerdictPanel &panel, const char *name) {
    return panel.findChild<QLabel *>(QString::fromLatin1(name))->text();
}

CheckReport passingReport() {
    CheckReport r;
    r.verdict.outcome = Verdict::Pass;
    r.measuredDelayNs = 78.577;
    r.targetDelayNs = 83.074;
    r.deviationPercent = -5.4133;
    r.settings.tolerancePercent = 2;
    r.s11DbMeasured = -3.2;
    r.s11DbTarget = -3.15;
    return r;
}

// The verdict rests on the fitted centre delay: a noisy trace's sampled
// deviation beside it is named as such, so that PASS above -5.41 % reads
// as what it is.
TEST(VerdictPanel, FittedCentreDelayBesideTheSampledDeviation) {
    VerdictPanel panel;
    CheckReport r = passingReport();
    r.fittedDeviationPercent = 0.3;
    panel.showStage(r);
    EXPECT_EQ(label(panel, "verdict"), "PASS");
    EXPECT_EQ(label(panel, "delays"),
              "Delay at f0: measured 78.577 ns, target 83.074 ns on the sweep's points\n"
              "Deviation -5.41 % (sampled trace); fitted centre delay +0.30 % against the "
              "design, tolerance 2 %\n"
              "|S11| at f0: measured -3.20 dB, target -3.15 dB");
    r.fittedDeviationPercent.reset(); // a loaded last stage: no centre delay judged
    panel.showStage(r);
    EXPECT_TRUE(
        label(panel, "delays").contains("Deviation -5.41 % (sampled trace), tolerance 2 %"));
}

struct WordRow {
    Verdict::Outcome outcome;
    const char *word;
};

TEST(VerdictPanel, WordsOfTheOutcomes) {
    for (const WordRow &row : {WordRow{Verdict::Pass, "PASS"}, WordRow{Verdict::Fail, "FAIL"},
                               WordRow{Verdict::Uncertain, "UNCERTAIN"}}) {
        VerdictPanel panel;
        CheckReport r = passingReport();
        r.verdict.outcome = row.outcome;
        panel.showStage(r);
        EXPECT_EQ(label(panel, "verdict"), row.word);
        EXPECT_EQ(VerdictPanel::word(row.outcome), row.word);
    }
    EXPECT_EQ(VerdictPanel::word(Diagnosis::TooFar), "TOO FAR");
}

TEST(VerdictPanel, NoneClearsTheNumbersWhenAsked) {
    VerdictPanel panel;
    panel.showStage(passingReport());
    panel.showNone("Checking...", false);
    EXPECT_EQ(label(panel, "verdict"), "Checking...");
    EXPECT_FALSE(label(panel, "delays").isEmpty());
    panel.showNone("No sweep loaded", true);
    EXPECT_TRUE(label(panel, "delays").isEmpty());
    panel.showMemory("Against the memory (a.s1p):");
    EXPECT_FALSE(panel.findChild<QLabel *>("memoryVerdict")->isHidden());
    panel.showMemory(QString());
    EXPECT_TRUE(panel.findChild<QLabel *>("memoryVerdict")->isHidden());
}

// The bars' values, the header's examples: a cut bar still says how far.
TEST(ElementBars, ValuesAtTheBarsEnds) {
    struct Row {
        Finding::Element element;
        double percent;
        const char *shown;
    };
    for (const Row &row :
         {Row{Finding::Resonator, 2.5, "+2.5"}, Row{Finding::Coupling, 8.04, "+8.0"},
          Row{Finding::Resonator, -4.1, "−4.1"}, Row{Finding::External, -0.02, "+0.0"},
          Row{Finding::Resonator, 0.41, "+0.4"}, Row{Finding::Resonator, 0.8, "+0.8"}}) {
        JudgedElement e;
        e.finding.element = row.element;
        e.finding.percent = row.percent;
        e.tolerancePercent = 2;
        EXPECT_EQ(ElementBars::valueOf(e), QString::fromUtf8(row.shown)) << row.percent;
    }
}

} // namespace
