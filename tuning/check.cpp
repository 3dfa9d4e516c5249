#include "tuning/check.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "tuning/slope_choice.h"
#include "tuning/stage_fit.h"
#include "tuning/stage_inputs.h"
#include "tuning/stage_lobes.h"
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

// Each target lobe's measured one: the measured peak nearest the target's,
// of those standing out by 1 % of the target lobe, so that a
// reflection-zero spike or a noise ripple elsewhere in the span does not
// take its place; without one, the highest point between the neighbouring
// lobes' midpoints.
void readLobes(CheckReport &report, const DelayTrace &measuredTrace, const TargetDelays &target) {
    const std::vector<std::size_t> &targetLobes = target.lobes;
    double lowestLobe = targetLobes.empty() ? 0 : std::numeric_limits<double>::infinity();
    for (const double delay : target.lobeDelaysNs)
        lowestLobe = std::min(lowestLobe, delay);
    const auto &measured = measuredTrace.delayNs;
    const auto &f = measuredTrace.fMHz;
    const std::vector<std::size_t> measuredPeaks =
        prominentPeaks(measured, 0.01 * std::abs(lowestLobe));
    for (std::size_t l = 0; l < targetLobes.size(); ++l) {
        const std::size_t from = l == 0 ? 0 : (targetLobes[l - 1] + targetLobes[l]) / 2;
        const std::size_t to =
            l + 1 == targetLobes.size() ? f.size() : (targetLobes[l] + targetLobes[l + 1]) / 2 + 1;
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
        report.lobes.push_back({f[m], measured[m], f[aim], target.lobeDelaysNs[l]});
    }
}

// The target's lobes over 1.5 BW on either side of f0, each with a tenth
// of BW beside it, must lie within the sweep, or the resonators'
// frequencies cannot be read from it.
void checkLobesSwept(CheckReport &report, const StageModel &model, const DelayTrace &trace) {
    const double bandwidth = report.bandwidthMHz;
    const TargetCurve wide = targetCurve(model, defaultSpan(bandwidth, report.settings.f0), 3001);
    const std::vector<std::size_t> wideLobes =
        lobeIndices(wide.delayNs, static_cast<std::size_t>(report.settings.stage));
    report.expectedLobes = wideLobes.size();
    if (!wideLobes.empty() &&
        (wide.fMHz[wideLobes.front()] - 0.1 * bandwidth < trace.fMHz.front() ||
         wide.fMHz[wideLobes.back()] + 0.1 * bandwidth > trace.fMHz.back())) {
        report.lobesMissing = true;
        report.wantedFromMHz = wide.fMHz.front();
        report.wantedToMHz = wide.fMHz.back();
    }
}

// |S11| at f0 and over the comparison trace, measured and target, and how
// far the sweep rises above 0 dB.
double compareMagnitudes(CheckReport &report, const std::vector<double> &f, ParameterView measured,
                         const StageModel &model) {
    const CheckSettings &settings = report.settings;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double magnitude = std::abs(measured[i]);
        if (magnitude > 1 && settings.parameter.row == settings.parameter.column) {
            ++report.aboveUnityPoints;
            report.aboveUnityDb = std::max(report.aboveUnityDb, 20 * std::log10(magnitude));
        }
    }
    const double s11AtF0 = interpolateWith(f, settings.f0, [&](std::size_t i) {
                               return std::abs(measured[i]);
                           }).value_or(0);
    report.s11DbMeasured = 20 * std::log10(s11AtF0);
    report.s11DbTarget = decibels(stageResponse(model, settings.f0).s11);
    if (settings.comparison) {
        std::vector<double> magnitude(f.size());
        for (std::size_t i = 0; i < f.size(); ++i)
            magnitude[i] = std::abs(measured[i]);
        for (const double fm : report.fMHz) {
            report.s11DbMeasuredTrace.push_back(measuredDb(f, magnitude, fm));
            report.s11DbTargetTrace.push_back(decibels(stageResponse(model, fm).s11));
        }
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

// The delays at f0, measured and target, and the deviation; or why they
// cannot be compared.
std::optional<CheckRefusal> compareCentres(CheckReport &report, const DelayTrace &measured,
                                           const TargetDelays &target, CheckRefusal refusal) {
    if (target.notFiniteAt) {
        refusal.kind =
            target.undefinedPhase ? CheckRefusal::UndefinedPhase : CheckRefusal::NotFinite;
        refusal.fromMHz = measured.fMHz[*target.notFiniteAt];
        refusal.points = target.undefined;
        return refusal;
    }
    const double f0 = report.settings.f0;
    const auto measuredAtF0 = interpolate(measured.fMHz, measured.delayNs, f0);
    if (!measuredAtF0 || !target.atF0) {
        refusal.kind = CheckRefusal::F0OutsideDelay;
        refusal.fromMHz = measured.fMHz.front();
        refusal.toMHz = measured.fMHz.back();
        return refusal;
    }
    report.measuredDelayNs = *measuredAtF0;
    report.targetDelayNs = *target.atF0;
    report.deviationPercent =
        (report.measuredDelayNs - report.targetDelayNs) / report.targetDelayNs * 100;
    report.pass = std::abs(report.deviationPercent) <= report.settings.tolerancePercent;
    return std::nullopt;
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
    const ParameterView measured = network.view(settings.parameter);
    DelayTrace measuredTrace =
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
    TargetDelays target =
        targetDelays(model, f, measuredTrace.fMHz, report.apertureSteps, settings.f0,
                     static_cast<std::size_t>(settings.stage), settings.comparison);
    if (const auto why = compareCentres(report, measuredTrace, target, refusal))
        return *why;
    readLobes(report, measuredTrace, target);
    checkLobesSwept(report, model, measuredTrace);
    if (settings.comparison) {
        report.fMHz = std::move(measuredTrace.fMHz);
        report.delayMeasured = std::move(measuredTrace.delayNs);
        report.delayTarget = std::move(target.whole);
    }
    const double s11AtF0 = compareMagnitudes(report, f, measured, model);
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
