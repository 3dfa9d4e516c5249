#include "tuning/report_warnings.h"

#include "number_text/number_text.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

std::string aboveUnityText(const ReportWarning &w) {
    std::string text = "|";
    text.append(w.parameter)
        .append("| is above 0 dB at ")
        .append(std::to_string(w.points))
        .append(w.points == 1 ? " point" : " points")
        .append(" (up to +")
        .append(formatFixed(w.aboveDb, 2))
        .append(" dB): check the calibration and the port");
    if (w.stage)
        text.append("; a passive stage cannot reflect more than it is sent");
    return text;
}

std::string quText(const ReportWarning &w) {
    std::string text = "the sweep's Qu is ";
    if (w.foundQu)
        text.append("about ").append(formatFixed(*w.foundQu, 0));
    else
        text.append("beyond measure");
    return text.append(", not the given ")
        .append(formatShortest(w.givenQu))
        .append(": the target delay assumes ")
        .append(formatShortest(w.givenQu));
}

ReportWarning calibrationWarningOf(std::complex<double> directivity,
                                   std::complex<double> sourceMatch, bool stage, int port) {
    ReportWarning w;
    w.kind = ReportWarning::CalibrationResidual;
    w.stage = stage;
    w.port = port;
    w.directivityDb = decibels(directivity);
    w.sourceMatchDb = decibels(sourceMatch);
    return w;
}

} // namespace

std::vector<ReportWarning> reportWarnings(const CheckReport &report) {
    std::vector<ReportWarning> warnings;
    if (report.aboveUnityPoints > 0) {
        ReportWarning w;
        w.parameter = report.settings.parameter.name();
        w.points = report.aboveUnityPoints;
        w.aboveDb = report.aboveUnityDb;
        warnings.push_back(w);
    }
    if (report.lobesMissing) {
        ReportWarning w;
        w.kind = ReportWarning::LobesMissing;
        w.lobesShown = report.lobes.size();
        w.lobesExpected = report.expectedLobes;
        w.fromMHz = report.wantedFromMHz;
        w.toMHz = report.wantedToMHz;
        warnings.push_back(w);
    }
    if (const auto given = report.settings.qu; given && report.fit) {
        const auto found = report.fit->qu(report.fit->model.fbw);
        if (!found || std::abs(*found / *given - 1) > 0.25) {
            ReportWarning w;
            w.kind = ReportWarning::QuDiffers;
            w.foundQu = found;
            w.givenQu = *given;
            warnings.push_back(w);
        }
    }
    if (report.fit && report.fit->model.calibration &&
        std::max(std::abs(report.fit->directivity), std::abs(report.fit->sourceMatch)) >
            calibrationWarning)
        warnings.push_back(
            calibrationWarningOf(report.fit->directivity, report.fit->sourceMatch, true, 0));
    return warnings;
}

std::vector<ReportWarning> reportWarnings(const Diagnosis &d) {
    std::vector<ReportWarning> warnings;
    if (d.aboveUnityPoints > 0) {
        ReportWarning w;
        w.stage = false;
        w.parameter = "S11";
        w.points = d.aboveUnityPoints;
        w.aboveDb = d.aboveUnityDb;
        warnings.push_back(w);
    }
    const FilterFit &fit = d.fit;
    for (int port = 0; port < (fit.model.calibration ? (fit.model.twoPort ? 2 : 1) : 0); ++port)
        if (std::max(std::abs(fit.directivity[port]), std::abs(fit.sourceMatch[port])) >
            calibrationWarning)
            warnings.push_back(calibrationWarningOf(fit.directivity[port], fit.sourceMatch[port],
                                                    false, port + 1));
    const bool doubted = std::any_of(d.doubts.begin(), d.doubts.end(), [](const Doubt &doubt) {
        return doubt.kind == Doubt::CrossCoupling;
    });
    if (!d.crossFits.empty() && !doubted) {
        const FilterFit &with = d.crossFits.front();
        ReportWarning w;
        w.kind = ReportWarning::CrossCouplingHolds;
        w.stage = false;
        w.from = static_cast<int>(with.model.cross->first + 1);
        w.to = static_cast<int>(with.model.cross->second + 1);
        w.percent = with.crossPercent();
        warnings.push_back(w);
    }
    return warnings;
}

std::string warningText(const ReportWarning &w) {
    switch (w.kind) {
    case ReportWarning::AboveUnity:
        return aboveUnityText(w);
    case ReportWarning::LobesMissing:
        return "the sweep shows " + std::to_string(w.lobesShown) + " of the stage's " +
               std::to_string(w.lobesExpected) +
               " lobes: sweep at least 1.5 x BW on either side of f0 (" +
               formatShortest(w.fromMHz) + " to " + formatShortest(w.toMHz) +
               " MHz), or the lobes cannot be read";
    case ReportWarning::QuDiffers:
        return quText(w);
    case ReportWarning::CalibrationResidual:
        return std::string("the sweep shows the calibration's residual terms") +
               (w.stage ? "" : " at port " + std::to_string(w.port)) + " (directivity " +
               levelText(w.directivityDb) + ", source match " + levelText(w.sourceMatchDb) +
               "): beyond -30 dB, calibrate again at the filter's ports";
    case ReportWarning::CrossCouplingHolds:
        return "a coupling between resonators " + std::to_string(w.from) + " and " +
               std::to_string(w.to) + " of about " + twoDigits(w.percent) +
               " % explains the sweep a little better; the design has none, and the findings "
               "hold with it";
    }
    return {};
}

std::vector<std::string> warningTexts(const CheckReport &report) {
    std::vector<std::string> texts;
    for (const ReportWarning &w : reportWarnings(report))
        texts.push_back(warningText(w));
    return texts;
}

std::vector<std::string> diagnosisWarnings(const Diagnosis &diagnosis) {
    std::vector<std::string> texts;
    for (const ReportWarning &w : reportWarnings(diagnosis))
        texts.push_back(warningText(w));
    return texts;
}

} // namespace varnel
