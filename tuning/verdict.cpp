#include "tuning/verdict.h"

#include "number_text/number_text.h"
#include "tuning/check.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

// |S| above 1 by less than this (0.04 dB) is the calibration's rounding.
constexpr double aboveUnityFloor = 0.005;
// An element further off than this (% of BW, % of its value) is beyond
// what tuning stage by stage leaves; its fit has found another stage.
constexpr double farOffPercent = 50;

// How far out of its tolerance an element is.
double excess(const JudgedElement &e) {
    return std::abs(e.finding.percent) / e.tolerancePercent;
}

Doubt doubtOf(Doubt::Kind kind) {
    Doubt d;
    d.kind = kind;
    return d;
}

} // namespace

Doubt needsS21Doubt() {
    return doubtOf(Doubt::NeedsS21);
}

Doubt slopeDoubt(double couplingSlope, double qeSlope) {
    Doubt d = doubtOf(Doubt::SlopeAmbiguous);
    d.couplingSlope = couplingSlope;
    d.qeSlope = qeSlope;
    return d;
}

Doubt cutoffDoubt(const CutoffRange &range) {
    Doubt d;
    d.kind = Doubt::CutoffAmbiguous;
    d.fromMHz = range.lowMHz;
    d.toMHz = range.highMHz;
    return d;
}

Doubt kindDoubt(ResonatorKind better) {
    Doubt d = doubtOf(Doubt::OtherKind);
    d.resonator = better;
    return d;
}

namespace {

// The coupling stage k sets its centre delay with, turned the way the
// delay asks: a long delay wants it stronger.
Finding delayFinding(int stage, double delayPercent) {
    Finding f;
    f.element = stage == 1 ? Finding::External : Finding::Coupling;
    f.index = stage;
    f.direction = delayPercent > 0 ? Finding::Strengthen : Finding::Weaken;
    f.forDelay = true;
    f.delayPercent = delayPercent;
    return f;
}

// "Coupling 2–3", "Input coupling", "Resonator 3"; in mid-sentence
// "coupling 2–3", "the input coupling", "resonator 3".
std::string elementName(const Finding &f, bool midSentence = false) {
    std::string name;
    switch (f.element) {
    case Finding::Resonator:
        name = "Resonator " + std::to_string(f.index);
        break;
    case Finding::External:
        name = f.index == 1 ? "Input coupling" : "Output coupling";
        break;
    case Finding::Coupling:
        if (f.lowerEnd() == 0 || f.toLoad)
            name = f.toLoad ? "Output coupling" : "Input coupling";
        else
            name.append("Coupling ")
                .append(std::to_string(f.lowerEnd()))
                .append("–")
                .append(std::to_string(f.index));
        break;
    }
    if (midSentence) {
        name[0] = static_cast<char>(name[0] | 0x20);
        if (f.element == Finding::External || f.lowerEnd() == 0 || f.toLoad)
            name.insert(0, "the ");
    }
    return name;
}

} // namespace

Verdict judgeStage(const CheckReport &report) {
    const CheckSettings &s = report.settings;
    Verdict v;
    v.stage = s.stage;
    v.order = report.order;
    if (!report.fit) { // a transmission: the centre delay alone
        v.outcome = report.pass ? Verdict::Pass : Verdict::Fail;
        if (!report.pass)
            v.findings.push_back(delayFinding(s.stage, report.deviationPercent));
        return v;
    }
    const StageFit &fit = *report.fit;
    const double noise = std::pow(10.0, report.noiseDb / 20);
    // Fitted with the calibration's residual terms, a reflection above 0 dB
    // is theirs: the stage behind them is passive.
    if (!fit.model.calibration && report.aboveUnityPoints > 0 &&
        std::pow(10.0, report.aboveUnityDb / 20) - 1 > std::max(3 * noise, aboveUnityFloor)) {
        Doubt d = doubtOf(Doubt::AboveUnity);
        d.aboveDb = report.aboveUnityDb;
        v.doubts.push_back(d);
    }
    if (report.lobesMissing) {
        Doubt d = doubtOf(Doubt::LobesOutside);
        d.fromMHz = report.wantedFromMHz;
        d.toMHz = report.wantedToMHz;
        v.doubts.push_back(d);
    }
    std::vector<JudgedElement> elements = stageElements(fit, report.settings, report.bandwidthMHz);
    for (const Doubt &d : fittedDoubts(fit, report.noiseDb, elements, report.betterResonator))
        v.doubts.push_back(d);
    // A cross fit (of the loaded last stage) judged as the stage is.
    auto crossElements = [&](const FilterFit &with) {
        return filterElements(with, report.bandwidthMHz, s.toleranceFrequencyPercent,
                              s.tolerancePercent);
    };
    // The centre delay out with the elements in: a coupling the design
    // lacks moves the delay as well, so it is a doubt too.
    const bool delayOut = report.fittedDeviationPercent &&
                          std::abs(*report.fittedDeviationPercent) > s.tolerancePercent;
    if (const auto cross = crossCouplingDoubt(report.crossFits, fit.matchesSweep() && !delayOut,
                                              elements, crossElements))
        v.doubts.push_back(*cross);
    if (!v.doubts.empty()) {
        v.outcome = Verdict::Uncertain;
        return v;
    }
    std::stable_sort(elements.begin(), elements.end(),
                     [](const auto &a, const auto &b) { return excess(a) > excess(b); });
    for (const JudgedElement &e : elements)
        if (excess(e) > 1)
            v.findings.push_back(e.finding);
    if (v.findings.empty() && !fit.model.load && report.fittedDeviationPercent &&
        std::abs(*report.fittedDeviationPercent) > s.tolerancePercent)
        v.findings.push_back(delayFinding(s.stage, *report.fittedDeviationPercent));
    v.outcome = v.findings.empty() ? Verdict::Pass : Verdict::Fail;
    return v;
}

std::vector<JudgedElement> stageElements(const StageFit &fit, const CheckSettings &s,
                                         double bandwidthMHz) {
    return ladderElements(
        fit.offsetMHz.size(), fit.model.load.has_value(), bandwidthMHz, s.toleranceFrequencyPercent,
        s.tolerancePercent,
        [&](std::size_t i) { return std::pair(fit.offsetMHz[i], fit.uncertainty[i]); },
        [&](std::size_t which) {
            return std::pair(which == 0 ? fit.outputErrorPercent()
                                        : fit.couplingErrorPercent(which),
                             couplingUncertaintyPercent(fit, which));
        });
}

std::vector<JudgedElement>
ladderElements(std::size_t resonators, bool outputPort, double bandwidthMHz,
               double toleranceFrequencyPercent, double tolerancePercent,
               const std::function<std::pair<double, double>(std::size_t)> &resonator,
               const std::function<std::pair<double, double>(std::size_t)> &coupling) {
    std::vector<JudgedElement> elements;
    for (std::size_t i = 0; i < resonators; ++i) {
        const auto [offset, uncertainty] = resonator(i);
        Finding f;
        f.element = Finding::Resonator;
        f.index = static_cast<int>(i + 1);
        f.offsetMHz = offset;
        f.percent = offset / bandwidthMHz * 100;
        f.uncertaintyPercent = uncertainty / bandwidthMHz * 100;
        f.direction = f.percent > 0 ? Finding::Down : Finding::Up;
        elements.push_back({f, toleranceFrequencyPercent});
    }
    auto add = [&](Finding::Element element, int index, std::size_t which) {
        Finding f;
        f.element = element;
        f.index = index;
        std::tie(f.percent, f.uncertaintyPercent) = coupling(which);
        // A port's Qe above design is too weak a coupling, the opposite of k.
        const bool tooStrong = element == Finding::External ? f.percent < 0 : f.percent > 0;
        f.direction = tooStrong ? Finding::Weaken : Finding::Strengthen;
        elements.push_back({f, tolerancePercent});
    };
    add(Finding::External, 1, 1);
    for (std::size_t i = 2; i <= resonators; ++i)
        add(Finding::Coupling, static_cast<int>(i), i);
    if (outputPort)
        add(Finding::External, 2, 0);
    return elements;
}

std::vector<Doubt> fitDoubts(bool converged, double residualRms, double noiseDb,
                             const std::vector<JudgedElement> &elements, bool farDecided) {
    std::vector<Doubt> doubts;
    if (!converged) {
        doubts.push_back(doubtOf(Doubt::NotConverged));
    } else if (!residualMatches(residualRms, noiseDb)) {
        Doubt d = doubtOf(Doubt::Mismatch);
        d.residualDb = rmsDb(residualRms);
        d.noiseDb = noiseDb;
        doubts.push_back(d);
    }
    if (elements.empty())
        return doubts;
    const auto furthest = std::max_element(elements.begin(), elements.end(), [](auto &a, auto &b) {
        return std::abs(a.finding.percent) < std::abs(b.finding.percent);
    });
    const bool beyondReach = !(std::abs(furthest->finding.percent) <= farOffPercent);
    if (beyondReach && !(farDecided && doubts.empty())) {
        Doubt d = doubtOf(Doubt::FarOff);
        d.finding = furthest->finding;
        doubts.push_back(d);
    }
    // Only a fit that stands says anything about the noise: the element it
    // blurs most, against its tolerance.
    const auto blurred = std::max_element(elements.begin(), elements.end(), [](auto &a, auto &b) {
        return a.finding.uncertaintyPercent / a.tolerancePercent <
               b.finding.uncertaintyPercent / b.tolerancePercent;
    });
    if (doubts.empty() && !(blurred->finding.uncertaintyPercent <=
                            blurred->tolerancePercent / uncertaintiesInTolerance)) {
        Doubt d = doubtOf(Doubt::TooNoisy);
        d.noiseDb = noiseDb;
        d.finding = blurred->finding;
        d.tolerancePercent = blurred->tolerancePercent;
        doubts.push_back(d);
    }
    return doubts;
}

std::vector<JudgedElement> judgedElements(const CheckReport &report) {
    return report.fit ? stageElements(*report.fit, report.settings, report.bandwidthMHz)
                      : std::vector<JudgedElement>();
}

const char *outcomeName(Verdict::Outcome outcome) {
    switch (outcome) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::Uncertain:
        break;
    }
    return "uncertain";
}

const char *directionName(Finding::Direction direction) {
    switch (direction) {
    case Finding::Up:
        return "up";
    case Finding::Down:
        return "down";
    case Finding::Strengthen:
        return "strengthen";
    case Finding::Weaken:
        break;
    }
    return "weaken";
}

std::string twoDigits(double value) {
    const double size = std::abs(value);
    if (size >= 10 || !std::isfinite(value))
        return formatFixed(value, 0);
    const int decimals =
        size == 0 ? 1 : std::clamp(1 - static_cast<int>(std::floor(std::log10(size))), 1, 9);
    return formatFixed(value, decimals);
}

std::string findingText(const Finding &f) {
    // The words go with the sign, as the direction does.
    std::string text;
    if (f.element == Finding::Resonator)
        return text.append("Resonator ")
            .append(std::to_string(f.index))
            .append(" is ")
            .append(twoDigits(std::abs(f.offsetMHz)))
            .append(" MHz (")
            .append(twoDigits(std::abs(f.percent)))
            .append(f.percent > 0 ? " % of BW) high: turn it down" : " % of BW) low: turn it up");
    text = elementName(f);
    if (f.forDelay)
        return text.append(": the centre delay is ")
            .append(twoDigits(std::abs(f.delayPercent)))
            .append(f.delayPercent > 0 ? " % long: strengthen it" : " % short: weaken it");
    if (f.element == Finding::Coupling)
        return text.append(" is ")
            .append(twoDigits(std::abs(f.percent)))
            .append(f.percent > 0 ? " % strong: weaken it" : " % weak: strengthen it");
    return text.append(": Qe ")
        .append(twoDigits(std::abs(f.percent)))
        .append(f.percent > 0 ? " % high: strengthen it" : " % low: weaken it");
}

namespace {

// "a coupling between resonators 1 and 4 of about -1.0 % (or between 2 and
// 5 of about -1.0 %) explains the sweep; the design has none", and for a
// whole filter "; to judge it, diagnose with --topology
// 1-2,2-3,3-4,4-5,1-4".
std::string crossText(const Doubt &d) {
    std::string text;
    for (std::size_t c = 0; c < d.cross.size(); ++c)
        text.append(c == 0 ? "a coupling between resonators " : " (or between ")
            .append(std::to_string(d.cross[c].from))
            .append(" and ")
            .append(std::to_string(d.cross[c].to))
            .append(" of about ")
            .append(twoDigits(d.cross[c].percent))
            .append(c == 0 ? " %" : " %)");
    text.append(d.crossWhole ? " explains the sweep" : " explains most of the sweep")
        .append("; the design has none");
    if (!d.crossTopology.empty())
        text.append("; to judge it, diagnose with --topology ").append(d.crossTopology);
    return text;
}

// The element the noise or the calibration's terms leave too uncertain.
std::string tooNoisyText(const Doubt &d) {
    std::string text;
    const Finding &named = d.finding;
    // " known to +-0.60 % of BW against a tolerance of 1 %", after the element.
    const std::string name = elementName(named, true);
    const std::string known = " known to +-" + twoDigits(named.uncertaintyPercent) +
                              (named.element == Finding::Resonator ? " % of BW" : " %") +
                              " against a tolerance of " + formatShortest(d.tolerancePercent) +
                              " %";
    if (d.byCalibration)
        return text.append("the calibration's residual terms, fitted with the filter, leave ")
            .append(name)
            .append(known)
            .append("; calibrate again at the filter's ports");
    return text.append("the trace is too noisy for the tolerance (noise ")
        .append(levelText(d.noiseDb))
        .append("): ")
        .append(name)
        .append(" is")
        .append(known)
        .append("; average sweeps or narrow the IF bandwidth");
}

} // namespace

std::string doubtText(const Doubt &d) {
    std::string text;
    switch (d.kind) {
    case Doubt::NotConverged:
        return "the fit did not settle: a resonator far off, or the sweep of another stage; tune "
               "stage by stage first";
    case Doubt::Mismatch:
        return text.append("the fit does not match the sweep (residual ")
            .append(levelText(d.residualDb))
            .append(", trace noise ")
            .append(levelText(d.noiseDb))
            .append("): a resonator far off, the wrong stage or order, or the wrong f0; tune "
                    "stage by stage first");
    case Doubt::AboveUnity:
        return text.append("the reflection rises up to +")
            .append(formatFixed(d.aboveDb, 2))
            .append(" dB above 0 dB: check the calibration and the port");
    case Doubt::LobesOutside:
        return text.append("the sweep is too narrow to show the stage's lobes: sweep ")
            .append(formatShortest(d.fromMHz))
            .append(" to ")
            .append(formatShortest(d.toMHz))
            .append(" MHz");
    case Doubt::FarOff:
        return text.append("the fit puts ")
            .append(elementName(d.finding, true))
            .append(" ")
            .append(twoDigits(std::abs(d.finding.percent)))
            .append(d.finding.element == Finding::Resonator ? " % of BW" : " %")
            .append(" off: a resonator far off, or the wrong stage or order; tune stage by stage "
                    "first");
    case Doubt::SlopeAmbiguous:
        return text.append("couplings that vary with frequency explain the sweep as well (slope ")
            .append(formatFixed(d.couplingSlope, 2))
            .append(", the ports' ")
            .append(formatFixed(d.qeSlope, 2))
            .append(") and put the elements elsewhere: give the filter's slopes (--coupling-slope, "
                    "--qe-slope)");
    case Doubt::OtherKind:
        return text.append("the sweep fits ")
            .append(resonatorKindName(d.resonator))
            .append(" resonators better: give --resonator ")
            .append(resonatorKindName(d.resonator));
    case Doubt::CutoffAmbiguous:
        return text.append("waveguides cut off anywhere from ")
            .append(formatFixed(d.fromMHz, 0))
            .append(" to ")
            .append(formatFixed(d.toMHz, 0))
            .append(" MHz explain the sweep as well and put the elements elsewhere: give the "
                    "guide's cut-off (--cutoff)");
    case Doubt::CrossCoupling:
        return crossText(d);
    case Doubt::NotUnique:
        return text
            .append("equivalent coupling matrices of this topology explain the sweep as well "
                    "(")
            .append(elementName(d.finding, true))
            .append(" among the entries they differ in): the sweep cannot tell which is the "
                    "filter's");
    case Doubt::NeedsS21:
        return text.append("from S11 alone the sweep cannot start a fit of its own: a sweep of S11 "
                           "and S21 lets a filter far from tune be diagnosed");
    case Doubt::TooNoisy:
        return tooNoisyText(d);
    }
    return text;
}

std::string verdictText(const Verdict &v) {
    std::string text;
    switch (v.outcome) {
    case Verdict::Pass:
        return v.stage >= v.order
                   ? "Within tolerance: every resonator is tuned."
                   : "Within tolerance: go on to stage " + std::to_string(v.stage + 1) + ".";
    case Verdict::Fail:
        for (const Finding &f : v.findings)
            text.append(text.empty() ? "" : "\n").append(findingText(f)).append(".");
        return text;
    case Verdict::Uncertain:
        text = "The sweep cannot decide: ";
        for (std::size_t i = 0; i < v.doubts.size(); ++i)
            text.append(i == 0 ? "" : "; ").append(doubtText(v.doubts[i]));
        return text.append(".");
    }
    return text;
}

} // namespace varnel
