#include "tuning/check.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "tuning/slope_choice.h"
#include "tuning/stage_fit.h"
#include "tuning/stage_inputs.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace varnel {

namespace {

// The least loss a loaded target keeps (as Qu).
constexpr double highestTargetQu = 1e9;

// The lowest point between each point and the nearest strictly higher one
// on one side (or that side's end), in one pass with a stack of the points
// not yet topped, from the left or from the right.
std::vector<double> baseOnOneSide(const std::vector<double> &ys, bool fromLeft) {
    struct Standing {
        double value;
        double gapBefore; // the lowest point between it and the one beneath it
    };
    std::vector<Standing> stack;
    std::vector<double> base(ys.size());
    const double none = std::numeric_limits<double>::infinity();
    double pending = none; // the lowest point between the top and this one
    for (std::size_t n = 0; n < ys.size(); ++n) {
        const std::size_t i = fromLeft ? n : ys.size() - 1 - n;
        while (!stack.empty() && stack.back().value <= ys[i]) {
            pending = std::min({pending, stack.back().value, stack.back().gapBefore});
            stack.pop_back();
        }
        base[i] = std::min(pending, ys[i]);
        stack.push_back({ys[i], pending});
        pending = none;
    }
    return base;
}

// The local maxima of ys that stand out by at least `prominence`: their
// height above the higher of the lowest points between them and a higher
// point (or the trace's end) on either side. The ripple of a dense or noisy
// trace (rounding of a million-point delay, analyser noise) does not.
std::vector<std::size_t> prominentPeaks(const std::vector<double> &ys, double prominence) {
    const std::vector<double> left = baseOnOneSide(ys, true), right = baseOnOneSide(ys, false);
    std::vector<std::size_t> peaks;
    for (std::size_t i = 1; i + 1 < ys.size(); ++i)
        if (ys[i] > ys[i - 1] && ys[i] >= ys[i + 1] &&
            ys[i] - std::max(left[i], right[i]) >= prominence)
            peaks.push_back(i);
    return peaks;
}

// Indices of the target's lobes: its peaks standing out by 0.1 % of its
// highest delay, highest first, at most `count`, then in increasing order.
std::vector<std::size_t> lobeIndices(const std::vector<double> &ys, std::size_t count) {
    const double highest = ys.empty() ? 0 : *std::max_element(ys.begin(), ys.end());
    std::vector<std::size_t> peaks = prominentPeaks(ys, 1e-3 * std::abs(highest));
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

std::string checkRefusalText(const CheckRefusal &refusal) {
    switch (refusal.kind) {
    case CheckRefusal::StageBeyondOrder:
        return "stage " + std::to_string(refusal.stage) + " is beyond the order (" +
               std::to_string(refusal.order) + ")";
    case CheckRefusal::Aperture:
        return apertureRefusalText(refusal.aperture);
    case CheckRefusal::F0OutsideDelay:
        return "f0 " + formatShortest(refusal.f0) + " MHz is outside the measured delay (" +
               formatShortest(refusal.fromMHz) + " to " + formatShortest(refusal.toMHz) + " MHz)";
    case CheckRefusal::ElectricalDelay:
        return electricalDelayRefusalText(refusal.electricalDelay);
    case CheckRefusal::UndefinedPhase:
        return "the phase is undefined at " + std::to_string(refusal.points) +
               (refusal.points == 1 ? " delay point" : " delay points") +
               " (|S| is 0 there), the first at " + formatShortest(refusal.fromMHz) +
               " MHz: the sweep cannot be checked";
    case CheckRefusal::NotFinite:
        return "the delay at " + formatShortest(refusal.fromMHz) +
               " MHz is not a finite number: the frequencies around it are too close together";
    case CheckRefusal::CutoffNeeded:
        return "a waveguide's cut-off is fitted from a reflection only: give the cut-off to check "
               "a transmission";
    case CheckRefusal::CrossCoupled:
        return "the stage-by-stage targets are for in-line filters: with transmission zeros the "
               "main line's couplings are not the in-line filter's, and the method tunes the main "
               "line only; diagnose the whole filter instead";
    }
    return {};
}

namespace {

// The first delay that is not a number, as a refusal: the lobes and the
// comparison read the whole trace.
std::optional<CheckRefusal> notFinite(const DelayTrace &trace, CheckRefusal refusal) {
    for (std::size_t i = 0; i < trace.delayNs.size(); ++i) {
        if (std::isfinite(trace.delayNs[i]))
            continue;
        refusal.kind =
            std::isnan(trace.delayNs[i]) ? CheckRefusal::UndefinedPhase : CheckRefusal::NotFinite;
        refusal.fromMHz = trace.fMHz[i];
        refusal.points = trace.undefined;
        return refusal;
    }
    return std::nullopt;
}

// The whole sweep fitted, for a reflection: what each resonator and
// coupling is, and which end the last stage has. The other kind of
// resonator, where the band is wide enough to tell them, is refitted once
// from where the fit ended (a live sweep's pace allows no more): with
// "auto" chosen where it explains the sweep better, else a doubt where it
// explains it clearly better.
void fitSweep(CheckReport &report, const TuningTable &table, const Network &network) {
    const CheckSettings &settings = report.settings;
    report.fit = fitStage(table, network, settings);
    if (effectiveBandwidth(table.first.bandwidth) / settings.f0 >= kindsApartFbw) {
        const ResonatorKind other = otherResonatorKind(settings.resonator);
        StageFit rival = refitAsKind(*report.fit, other, network, settings);
        const KindRivalry worth =
            kindRivalry(*report.fit, rival, fitPointCount(network.frequencyMHz.size()));
        if (settings.resonatorAuto && worth >= KindRivalry::Rival) {
            report.fit = std::move(rival);
            report.settings.resonator = other;
        } else if (!settings.resonatorAuto && worth == KindRivalry::Better) {
            report.betterResonator = other;
        }
    }
    if (!report.betterResonator)
        report.crossFits = probeStageCrossCoupling(*report.fit, network, report.settings);
    report.noiseDb = report.fit->noiseDb;
    report.output = report.fit->model.load ? StageOutput::Loaded : StageOutput::Open;
}

// The target the sweep is held to. A loaded filter reflects nothing at its
// reflection zeros when lossless: without a given Qu its target takes the
// loss the fit found, and whatever the loss, it keeps at least a trace of
// it (Qu 1e9), so that the target's reflection zeros have a phase.
StageModel targetModel(const CheckReport &report, const TuningTable &table) {
    const CheckSettings &given = report.settings;
    std::optional<double> targetQu = given.qu;
    if (report.output == StageOutput::Loaded)
        targetQu = std::min(
            targetQu ? *targetQu : report.fit->qu(report.fit->model.fbw).value_or(highestTargetQu),
            highestTargetQu);
    return stageModel(table, given.stage, given.f0, targetQu, given.resonator, report.output,
                      report.fit ? report.fit->model.cutoff : given.cutoff.value_or(0));
}

// The target's delay at the sweep's frequencies. The electrical delay is
// the measurement's (a cable the analyser does not remove): the target has
// none.
DelayTrace targetDelay(const StageModel &model, const std::vector<double> &f,
                       std::size_t apertureSteps) {
    std::vector<std::complex<double>> target(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        target[i] = f[i] > 0 ? stageResponse(model, f[i]).s11 : std::complex<double>(1, 0);
    return groupDelay(f, target, apertureSteps, 0);
}

// Each target lobe's measured one: the measured peak nearest the target's,
// of those standing out by 1 % of the target lobe, so that a
// reflection-zero spike or a noise ripple elsewhere in the span does not
// take its place; without one, the highest point between the neighbouring
// lobes' midpoints.
void readLobes(CheckReport &report) {
    const std::vector<std::size_t> targetLobes =
        lobeIndices(report.delayTarget, static_cast<std::size_t>(report.settings.stage));
    double lowestLobe = targetLobes.empty() ? 0 : std::numeric_limits<double>::infinity();
    for (const std::size_t lobe : targetLobes)
        lowestLobe = std::min(lowestLobe, report.delayTarget[lobe]);
    const std::vector<std::size_t> measuredPeaks =
        prominentPeaks(report.delayMeasured, 0.01 * std::abs(lowestLobe));
    const auto &measured = report.delayMeasured;
    for (std::size_t l = 0; l < targetLobes.size(); ++l) {
        const std::size_t from = l == 0 ? 0 : (targetLobes[l - 1] + targetLobes[l]) / 2;
        const std::size_t to = l + 1 == targetLobes.size()
                                   ? report.fMHz.size()
                                   : (targetLobes[l] + targetLobes[l + 1]) / 2 + 1;
        const std::size_t aim = targetLobes[l];
        auto distance = [aim](std::size_t i) { return i > aim ? i - aim : aim - i; };
        std::optional<std::size_t> nearest;
        for (const std::size_t peak : measuredPeaks)
            if (peak >= from && peak < to && (!nearest || distance(peak) < distance(*nearest)))
                nearest = peak;
        const std::size_t m =
            nearest ? *nearest
                    : static_cast<std::size_t>(
                          std::max_element(measured.begin() + from, measured.begin() + to) -
                          measured.begin());
        report.lobes.push_back(
            {report.fMHz[m], measured[m], report.fMHz[aim], report.delayTarget[aim]});
    }
}

// The target's lobes over 1.5 BW on either side of f0, each with a tenth
// of BW beside it, must lie within the sweep, or the resonators'
// frequencies cannot be read from it.
void checkLobesSwept(CheckReport &report, const StageModel &model) {
    const double bandwidth = report.bandwidthMHz;
    const TargetCurve wide = targetCurve(model, defaultSpan(bandwidth, report.settings.f0), 3001);
    const std::vector<std::size_t> wideLobes =
        lobeIndices(wide.delayNs, static_cast<std::size_t>(report.settings.stage));
    report.expectedLobes = wideLobes.size();
    if (!wideLobes.empty() &&
        (wide.fMHz[wideLobes.front()] - 0.1 * bandwidth < report.fMHz.front() ||
         wide.fMHz[wideLobes.back()] + 0.1 * bandwidth > report.fMHz.back())) {
        report.lobesMissing = true;
        report.wantedFromMHz = wide.fMHz.front();
        report.wantedToMHz = wide.fMHz.back();
    }
}

// |S11| at f0 and over the comparison trace, measured and target, and how
// far the sweep rises above 0 dB.
double compareMagnitudes(CheckReport &report, const std::vector<double> &f,
                         const std::vector<std::complex<double>> &measured,
                         const StageModel &model) {
    const CheckSettings &settings = report.settings;
    std::vector<double> magnitude(f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        magnitude[i] = std::abs(measured[i]);
        if (magnitude[i] > 1 && settings.parameter.row == settings.parameter.column) {
            ++report.aboveUnityPoints;
            report.aboveUnityDb = std::max(report.aboveUnityDb, 20 * std::log10(magnitude[i]));
        }
    }
    const double s11AtF0 = interpolate(f, magnitude, settings.f0).value_or(0);
    report.s11DbMeasured = 20 * std::log10(s11AtF0);
    report.s11DbTarget = decibels(stageResponse(model, settings.f0).s11);
    for (const double fm : report.fMHz) {
        report.s11DbMeasuredTrace.push_back(measuredDb(f, magnitude, fm));
        report.s11DbTargetTrace.push_back(decibels(stageResponse(model, fm).s11));
    }
    return s11AtF0;
}

// Stage 1 alone: Qe and Qu from the delay and |S11| at f0.
void stageOneQs(CheckReport &report, double s11AtF0) {
    const double omega0 = 2 * std::numbers::pi * report.settings.f0 * 1e6;
    const double tau = report.measuredDelayNs * 1e-9;
    const double a = (1 - s11AtF0) / (1 + s11AtF0);
    // Above 1, |S11| is not a passive stage's: a is negative and means
    // nothing.
    if (s11AtF0 <= 1)
        report.qe = omega0 * tau / 4 * (1 - a * a);
    if (std::round(s11AtF0 * 1e6) < 1e6 && a > 0)
        report.qu = *report.qe / a;
}

} // namespace

std::variant<CheckReport, CheckRefusal> checkStage(const TuningTable &table, const Network &network,
                                                   const CheckSettings &settings) {
    const int order = static_cast<int>(table.stages.size());
    CheckRefusal refusal{
        CheckRefusal::StageBeyondOrder, settings.stage, order, {}, settings.f0, 0, 0};
    if (settings.stage < 1 || settings.stage > order)
        return refusal;
    const auto steps = apertureSteps(settings.aperture, network.frequencyMHz);
    if (const auto *why = std::get_if<ApertureRefusal>(&steps)) {
        refusal.kind = CheckRefusal::Aperture;
        refusal.aperture = *why;
        return refusal;
    }
    CheckReport report;
    report.settings = settings;
    report.order = order;
    report.apertureSteps = std::get<std::size_t>(steps);
    report.tableDelayNs = table.stages[static_cast<std::size_t>(settings.stage - 1)].delay;
    report.bandwidthMHz = table.first.bandwidth;

    const std::vector<double> &f = network.frequencyMHz;
    if (const auto tooLarge = electricalDelayRefusal(settings.electricalDelayNs, f)) {
        refusal.kind = CheckRefusal::ElectricalDelay;
        refusal.electricalDelay = *tooLarge;
        return refusal;
    }
    const std::vector<std::complex<double>> measured = network.parameter(settings.parameter);
    const DelayTrace measuredTrace =
        groupDelay(f, measured, report.apertureSteps, settings.electricalDelayNs);
    if (const auto why = notFinite(measuredTrace, refusal))
        return *why;
    const bool reflection = settings.parameter.row == settings.parameter.column;
    if (!reflection && settings.resonator == ResonatorKind::Waveguide && !settings.cutoff) {
        refusal.kind = CheckRefusal::CutoffNeeded;
        return refusal;
    }
    report.output = settings.output.value_or(StageOutput::Open);
    if (reflection)
        fitSweep(report, table, network);
    const StageModel model = targetModel(report, table);
    const DelayTrace targetTrace = targetDelay(model, f, report.apertureSteps);
    if (const auto why = notFinite(targetTrace, refusal))
        return *why;
    const auto measuredAtF0 = interpolate(measuredTrace.fMHz, measuredTrace.delayNs, settings.f0);
    const auto targetAtF0 = interpolate(targetTrace.fMHz, targetTrace.delayNs, settings.f0);
    if (!measuredAtF0 || !targetAtF0) {
        refusal.kind = CheckRefusal::F0OutsideDelay;
        refusal.fromMHz = measuredTrace.fMHz.front();
        refusal.toMHz = measuredTrace.fMHz.back();
        return refusal;
    }
    report.measuredDelayNs = *measuredAtF0;
    report.targetDelayNs = *targetAtF0;
    report.deviationPercent =
        (report.measuredDelayNs - report.targetDelayNs) / report.targetDelayNs * 100;
    report.pass = std::abs(report.deviationPercent) <= settings.tolerancePercent;
    report.fMHz = measuredTrace.fMHz;
    report.delayMeasured = measuredTrace.delayNs;
    report.delayTarget = targetTrace.delayNs;
    const double s11AtF0 = compareMagnitudes(report, f, measured, model);
    readLobes(report);
    checkLobesSwept(report, model);
    if (!std::isfinite(report.deviationPercent) || !std::isfinite(report.s11DbMeasured) ||
        !std::isfinite(report.s11DbTarget)) {
        refusal.kind = CheckRefusal::NotFinite;
        refusal.fromMHz = settings.f0;
        return refusal;
    }
    if (settings.stage == 1)
        stageOneQs(report, s11AtF0);
    if (report.fit && report.output == StageOutput::Open) {
        report.fittedDelayNs = report.fit->delayNs(settings.f0);
        const double design = report.fit->delayNs(settings.f0, true);
        report.fittedDeviationPercent = (*report.fittedDelayNs - design) / design * 100;
    }
    report.verdict = judgeStage(report);
    return report;
}

std::string comparisonCsv(const CheckReport &r) {
    std::string text = "f_mhz,delay_measured_ns,delay_target_ns,s11_db_measured,s11_db_target\n";
    for (std::size_t i = 0; i < r.fMHz.size(); ++i)
        appendCsvRow(text, {r.fMHz[i], r.delayMeasured[i], r.delayTarget[i],
                            r.s11DbMeasuredTrace[i], r.s11DbTargetTrace[i]});
    return text;
}

std::string adviceText(const CheckReport &report) {
    return verdictText(report.verdict);
}

} // namespace varnel
