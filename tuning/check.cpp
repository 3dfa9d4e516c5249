#include "tuning/check.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

// Indices of the local maxima of ys, highest first, at most `count`, then in
// increasing order.
std::vector<std::size_t> lobeIndices(const std::vector<double> &ys, std::size_t count) {
    std::vector<std::size_t> peaks;
    for (std::size_t i = 1; i + 1 < ys.size(); ++i)
        if (ys[i] > ys[i - 1] && ys[i] >= ys[i + 1])
            peaks.push_back(i);
    std::sort(peaks.begin(), peaks.end(),
              [&](std::size_t a, std::size_t b) { return ys[a] > ys[b]; });
    if (peaks.size() > count)
        peaks.resize(count);
    std::sort(peaks.begin(), peaks.end());
    return peaks;
}

// |S| in dB at f, from |S| interpolated linearly between sweep points.
double measuredDb(const std::vector<double> &fMHz, const std::vector<double> &magnitude, double f) {
    return 20 * std::log10(interpolate(fMHz, magnitude, f).value_or(0));
}

} // namespace

std::variant<CheckReport, std::string> checkStage(const TuningTable &table, const Network &network,
                                                  const CheckSettings &settings) {
    const int order = static_cast<int>(table.stages.size());
    if (settings.stage < 1 || settings.stage > order)
        return "stage " + std::to_string(settings.stage) + " is beyond the order (" +
               std::to_string(order) + ")";
    const auto steps = apertureSteps(settings.aperture, network.frequencyMHz);
    if (const auto *message = std::get_if<std::string>(&steps))
        return *message;

    CheckReport report;
    report.settings = settings;
    report.order = order;
    report.apertureSteps = std::get<std::size_t>(steps);
    report.tableDelayNs = table.stages[static_cast<std::size_t>(settings.stage - 1)].delay;

    const std::vector<double> &f = network.frequencyMHz;
    const std::vector<std::complex<double>> measured = network.parameter(settings.parameter);
    const StageModel model = stageModel(table, settings.stage, settings.f0, settings.qu);
    std::vector<std::complex<double>> target(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        target[i] = f[i] > 0 ? stageResponse(model, f[i]).s11 : std::complex<double>(1, 0);

    const DelayTrace measuredTrace =
        groupDelay(f, measured, report.apertureSteps, settings.electricalDelayNs);
    const DelayTrace targetTrace =
        groupDelay(f, target, report.apertureSteps, settings.electricalDelayNs);
    const auto measuredAtF0 = interpolate(measuredTrace.fMHz, measuredTrace.delayNs, settings.f0);
    const auto targetAtF0 = interpolate(targetTrace.fMHz, targetTrace.delayNs, settings.f0);
    if (!measuredAtF0 || !targetAtF0)
        return "f0 " + formatShortest(settings.f0) + " MHz is outside the measured delay (" +
               formatShortest(measuredTrace.fMHz.front()) + " to " +
               formatShortest(measuredTrace.fMHz.back()) + " MHz)";
    report.measuredDelayNs = *measuredAtF0;
    report.targetDelayNs = *targetAtF0;
    report.deviationPercent =
        (report.measuredDelayNs - report.targetDelayNs) / report.targetDelayNs * 100;
    report.pass = std::abs(report.deviationPercent) <= settings.tolerancePercent;

    std::vector<double> magnitude(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        magnitude[i] = std::abs(measured[i]);
    const double s11AtF0 = interpolate(f, magnitude, settings.f0).value_or(0);
    report.s11DbMeasured = 20 * std::log10(s11AtF0);
    report.s11DbTarget = decibels(stageResponse(model, settings.f0).s11);
    report.lossNotModelled = !settings.qu && report.s11DbMeasured < -0.1;

    // The comparison trace.
    report.fMHz = measuredTrace.fMHz;
    report.delayMeasured = measuredTrace.delayNs;
    report.delayTarget = targetTrace.delayNs;
    for (const double fm : report.fMHz) {
        report.s11DbMeasuredTrace.push_back(measuredDb(f, magnitude, fm));
        report.s11DbTargetTrace.push_back(decibels(stageResponse(model, fm).s11));
    }

    // Lobes.
    const std::vector<std::size_t> targetLobes =
        lobeIndices(report.delayTarget, static_cast<std::size_t>(settings.stage));
    for (std::size_t l = 0; l < targetLobes.size(); ++l) {
        const std::size_t from = l == 0 ? 0 : (targetLobes[l - 1] + targetLobes[l]) / 2;
        const std::size_t to = l + 1 == targetLobes.size()
                                   ? report.fMHz.size()
                                   : (targetLobes[l] + targetLobes[l + 1]) / 2 + 1;
        const auto highest = std::max_element(report.delayMeasured.begin() + from,
                                              report.delayMeasured.begin() + to);
        const std::size_t m = static_cast<std::size_t>(highest - report.delayMeasured.begin());
        report.lobes.push_back({report.fMHz[m], report.delayMeasured[m],
                                report.fMHz[targetLobes[l]], report.delayTarget[targetLobes[l]]});
    }

    // Likely cause.
    const double tolerance = settings.tolerancePercent / 100;
    bool offFrequency = false;
    if (settings.stage == 1 && report.lobes.size() == 1) {
        const double offset = report.lobes[0].fMHz - report.lobes[0].targetFMHz;
        const double width = table.first.bandwidth / table.stages[0].g;
        report.frequencyLean = offset;
        offFrequency = std::abs(offset) > tolerance * width;
        report.tunedHigh = offset > 0;
    } else if (report.lobes.size() >= 2) {
        const Lobe &lower = report.lobes.front(), &upper = report.lobes.back();
        auto lean = [](double low, double high) { return (high - low) / ((high + low) / 2); };
        report.frequencyLean =
            lean(lower.delayNs, upper.delayNs) - lean(lower.targetDelayNs, upper.targetDelayNs);
        offFrequency = std::abs(report.frequencyLean) > tolerance;
        report.tunedHigh = report.frequencyLean > 0;
    }
    if (report.pass)
        report.cause = offFrequency ? CheckReport::Cause::Frequency : CheckReport::Cause::None;
    else
        report.cause = offFrequency ? CheckReport::Cause::Frequency : CheckReport::Cause::Coupling;

    if (settings.stage == 1) {
        const double omega0 = 2 * std::numbers::pi * settings.f0 * 1e6;
        const double tau = report.measuredDelayNs * 1e-9;
        const double a = (1 - s11AtF0) / (1 + s11AtF0);
        report.qe = omega0 * tau / 4 * (1 - a * a);
        if (std::round(s11AtF0 * 1e6) < 1e6 && a > 0)
            report.qu = *report.qe / a;
    }
    return report;
}

namespace {

std::string causeText(const CheckReport &r) {
    const std::string k = std::to_string(r.settings.stage);
    std::string text;
    if (r.cause == CheckReport::Cause::Frequency) {
        const std::string where =
            r.settings.stage == 1 ? std::string("the delay peak sits ") +
                                        (r.tunedHigh ? "above" : "below") + " its target frequency"
                                  : std::string("the ") + (r.tunedHigh ? "upper" : "lower") +
                                        " lobe stands higher than the target's";
        text = "Resonator " + k + " is tuned " + (r.tunedHigh ? "high" : "low") + ": " + where +
               ". Tune resonator " + k + (r.tunedHigh ? " down" : " up") + " in frequency.";
        if (r.pass)
            text += " The centre delay is within tolerance.";
        return text;
    }
    if (r.cause == CheckReport::Cause::Coupling) {
        const bool longDelay = r.deviationPercent > 0;
        const std::string coupling =
            r.settings.stage == 1 ? std::string("the input coupling")
                                  : "the coupling into resonator " + k + " (between resonators " +
                                        std::to_string(r.settings.stage - 1) + " and " + k + ")";
        return std::string("The centre delay is ") + (longDelay ? "too long" : "too short") + ": " +
               coupling + " is too " + (longDelay ? "weak. Strengthen it." : "strong. Weaken it.");
    }
    if (r.settings.stage == r.order)
        return "Within tolerance: every resonator is tuned.";
    return "Within tolerance: go on to stage " + std::to_string(r.settings.stage + 1) + ".";
}

} // namespace

std::string comparisonCsv(const CheckReport &r) {
    std::string text = "f_mhz,delay_measured_ns,delay_target_ns,s11_db_measured,s11_db_target\n";
    for (std::size_t i = 0; i < r.fMHz.size(); ++i)
        appendCsvRow(text, {r.fMHz[i], r.delayMeasured[i], r.delayTarget[i],
                            r.s11DbMeasuredTrace[i], r.s11DbTargetTrace[i]});
    return text;
}

std::string adviceText(const CheckReport &r) {
    std::string text = causeText(r);
    if (r.lossNotModelled)
        text += " The sweep shows loss (S11 " + formatFixed(r.s11DbMeasured, 2) +
                " dB at f0) that the lossless target leaves out: give the resonators' unloaded Q.";
    return text;
}

} // namespace varnel
