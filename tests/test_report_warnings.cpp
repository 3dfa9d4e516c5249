// The warnings beside a verdict, as values and in English, on the examples
// of their header.
#include "tuning/report_warnings.h"

#include <gtest/gtest.h>

namespace {

using namespace varnel;

TEST(ReportWarnings, HeaderExamples) {
    ReportWarning above;
    above.parameter = "S11";
    above.points = 12;
    above.aboveDb = 0.35;
    EXPECT_EQ(warningText(above), "|S11| is above 0 dB at 12 points (up to +0.35 dB): check the "
                                  "calibration and the port; a passive stage cannot reflect more "
                                  "than it is sent");
    above.stage = false;
    EXPECT_EQ(warningText(above),
              "|S11| is above 0 dB at 12 points (up to +0.35 dB): check the calibration and the "
              "port");

    ReportWarning lobes;
    lobes.kind = ReportWarning::LobesMissing;
    lobes.lobesShown = 1;
    lobes.lobesExpected = 2;
    lobes.fromMHz = 985;
    lobes.toMHz = 1015;
    EXPECT_EQ(warningText(lobes),
              "the sweep shows 1 of the stage's 2 lobes: sweep at least 1.5 x BW on either side "
              "of f0 (985 to 1015 MHz), or the lobes cannot be read");

    ReportWarning qu;
    qu.kind = ReportWarning::QuDiffers;
    qu.foundQu = 1200;
    qu.givenQu = 3000;
    EXPECT_EQ(warningText(qu),
              "the sweep's Qu is about 1200, not the given 3000: the target delay assumes 3000");
    qu.foundQu.reset();
    EXPECT_EQ(warningText(qu), "the sweep's Qu is beyond measure, not the given 3000: the target "
                               "delay assumes 3000");

    ReportWarning terms;
    terms.kind = ReportWarning::CalibrationResidual;
    terms.directivityDb = -28.1;
    terms.sourceMatchDb = -33;
    EXPECT_EQ(warningText(terms),
              "the sweep shows the calibration's residual terms (directivity -28.1 dB, source "
              "match -33.0 dB): beyond -30 dB, calibrate again at the filter's ports");
    terms.stage = false;
    terms.port = 2;
    EXPECT_EQ(warningText(terms),
              "the sweep shows the calibration's residual terms at port 2 (directivity -28.1 dB, "
              "source match -33.0 dB): beyond -30 dB, calibrate again at the filter's ports");

    ReportWarning cross;
    cross.kind = ReportWarning::CrossCouplingHolds;
    cross.from = 1;
    cross.to = 3;
    cross.percent = 1.2;
    EXPECT_EQ(warningText(cross),
              "a coupling between resonators 1 and 3 of about 1.2 % explains the sweep a little "
              "better; the design has none, and the findings hold with it");
}

// A report's warnings: each condition gives its own, none gives none.
TEST(ReportWarnings, FromAStageReport) {
    CheckReport report;
    report.settings.parameter = {1, 1};
    EXPECT_TRUE(reportWarnings(report).empty());
    report.aboveUnityPoints = 3;
    report.aboveUnityDb = 0.2;
    report.lobesMissing = true;
    const std::vector<ReportWarning> warnings = reportWarnings(report);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].kind, ReportWarning::AboveUnity);
    EXPECT_EQ(warnings[0].parameter, "S11");
    EXPECT_EQ(warnings[1].kind, ReportWarning::LobesMissing);
}

} // namespace
