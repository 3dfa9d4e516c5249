#pragma once

#include "tuning/check.h"
#include "tuning/diagnosis.h"

#include <optional>
#include <string>
#include <vector>

// What the tuner should know beside a verdict, as values: the window
// translates them, the command line prints warningText's English.
//   AboveUnity: "|S11| is above 0 dB at 12 points (up to +0.35 dB): check
//     the calibration and the port" (a stage's check adds "; a passive
//     stage cannot reflect more than it is sent");
//   LobesMissing: "the sweep shows 1 of the stage's 2 lobes: sweep at least
//     1.5 x BW on either side of f0 (985 to 1015 MHz), or the lobes cannot
//     be read";
//   QuDiffers: "the sweep's Qu is about 1200, not the given 3000: the
//     target delay assumes 3000" (beyond a quarter apart);
//   CalibrationResidual: "the sweep shows the calibration's residual terms
//     (directivity -28.1 dB, source match -33.0 dB): beyond -30 dB,
//     calibrate again at the filter's ports" (a filter's name the port: "...
//     terms at port 2 (...");
//   CrossCouplingHolds: "a coupling between resonators 1 and 3 of about
//     1.2 % explains the sweep a little better; the design has none, and
//     the findings hold with it".
namespace varnel {

struct ReportWarning {
    enum Kind { AboveUnity, LobesMissing, QuDiffers, CalibrationResidual, CrossCouplingHolds };
    Kind kind = AboveUnity;
    bool stage = true;     // of a stage's check, not a whole filter's diagnosis
    std::string parameter; // AboveUnity: "S11"
    std::size_t points = 0;
    double aboveDb = 0;
    std::size_t lobesShown = 0, lobesExpected = 0; // LobesMissing
    double fromMHz = 0, toMHz = 0;
    std::optional<double> foundQu; // QuDiffers: none where beyond measure
    double givenQu = 0;
    int port = 0; // CalibrationResidual of a filter: 1 or 2
    double directivityDb = 0, sourceMatchDb = 0;
    int from = 0, to = 0; // CrossCouplingHolds: resonators, 1-based
    double percent = 0;
};

std::vector<ReportWarning> reportWarnings(const CheckReport &report);
std::vector<ReportWarning> reportWarnings(const Diagnosis &diagnosis);
std::string warningText(const ReportWarning &warning);

} // namespace varnel
