#include "tuning_window/window_texts.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "tuning/trace_noise.h"
#include "tuning_window/design_texts.h"
#include "tuning_window/tune_window.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace varnel {

namespace {

// Whether a translation other than English is installed.
bool translated = false;

} // namespace

void setTextsTranslated(bool installed) {
    translated = installed;
}

bool textsTranslated() {
    return translated;
}

QString qs(const std::string &text) {
    return QString::fromStdString(text);
}

QString shownName(const QString &path) {
    return qs(escapedText(path.toStdString()));
}

QString sweepName(const TuningSession &session) {
    return shownName(session.fromAnalyser() ? session.origin()
                                            : QFileInfo(session.origin()).fileName());
}

QString number(double value, int decimals) {
    return qs(formatFixed(value, decimals));
}

namespace {

// "resonator 3", "the input coupling", "coupling 2–3": an element in
// mid-sentence.
QString elementFor(const Finding &f) {
    switch (f.element) {
    case Finding::Resonator:
        return TuneWindow::tr("resonator %1").arg(f.index);
    case Finding::External:
        return f.index == 1 ? TuneWindow::tr("the input coupling")
                            : TuneWindow::tr("the output coupling");
    case Finding::Coupling:
        if (f.toLoad || f.lowerEnd() == 0)
            return f.toLoad ? TuneWindow::tr("the output coupling")
                            : TuneWindow::tr("the input coupling");
        break;
    }
    return TuneWindow::tr("coupling %1–%2").arg(f.lowerEnd()).arg(f.index);
}

// "-52.0 dB", or "below -200 dB" where a report states no number.
QString levelFor(double db) {
    if (!(db >= reportFloorDb))
        return TuneWindow::tr("below %1 dB").arg(number(reportFloorDb, 0));
    return number(db, 1) + QStringLiteral(" dB");
}

// "a coupling between resonators 1 and 4 of about -1.0 % explains the
// sweep; the design has none", with the topology to judge it by where the
// diagnosis names one.
QString crossFor(const Doubt &d) {
    const QString pairs =
        d.cross.size() > 1
            ? TuneWindow::tr("a coupling between resonators %1 and %2 of about %3 % (or "
                             "between %4 and %5 of about %6 %)")
                  .arg(QString::number(d.cross[0].from), QString::number(d.cross[0].to),
                       qs(twoDigits(d.cross[0].percent)), QString::number(d.cross[1].from),
                       QString::number(d.cross[1].to), qs(twoDigits(d.cross[1].percent)))
            : TuneWindow::tr("a coupling between resonators %1 and %2 of about %3 %")
                  .arg(QString::number(d.cross[0].from), QString::number(d.cross[0].to),
                       qs(twoDigits(d.cross[0].percent)));
    const QString found =
        (d.crossWhole ? TuneWindow::tr("%1 explains the sweep; the design has none")
                      : TuneWindow::tr("%1 explains most of the sweep; the design has none"))
            .arg(pairs);
    if (d.crossTopology.empty())
        return found;
    return TuneWindow::tr("%1; to judge it, diagnose with --topology %2")
        .arg(found, QString::fromStdString(d.crossTopology));
}

QString doubtFor(const Doubt &d) {
    switch (d.kind) {
    case Doubt::NotConverged:
        return TuneWindow::tr("the fit did not settle: a resonator far off, or the sweep of "
                              "another stage; tune stage by stage first");
    case Doubt::Mismatch:
        return TuneWindow::tr("the fit does not match the sweep (residual %1, trace noise %2): a "
                              "resonator far off, the wrong stage or order, or the wrong f0; tune "
                              "stage by stage first")
            .arg(levelFor(d.residualDb), levelFor(d.noiseDb));
    case Doubt::AboveUnity:
        return TuneWindow::tr("the reflection rises up to +%1 dB above 0 dB: check the "
                              "calibration and the port")
            .arg(number(d.aboveDb, 2));
    case Doubt::LobesOutside:
        return TuneWindow::tr("the sweep is too narrow to show the stage's lobes: sweep %1 to "
                              "%2 MHz")
            .arg(qs(formatShortest(d.fromMHz)), qs(formatShortest(d.toMHz)));
    case Doubt::FarOff:
        return (d.finding.element == Finding::Resonator
                    ? TuneWindow::tr("the fit puts %1 %2 % of BW off: a resonator far off, or the "
                                     "wrong stage or order; tune stage by stage first")
                    : TuneWindow::tr("the fit puts %1 %2 % off: a resonator far off, or the wrong "
                                     "stage or order; tune stage by stage first"))
            .arg(elementFor(d.finding), qs(twoDigits(std::abs(d.finding.percent))));
    case Doubt::SlopeAmbiguous:
        return TuneWindow::tr("couplings that vary with frequency explain the sweep as well "
                              "(slope %1, the ports' %2) and put the elements elsewhere: give the "
                              "filter's slopes (--coupling-slope, --qe-slope)")
            .arg(number(d.couplingSlope, 2), number(d.qeSlope, 2));
    case Doubt::OtherKind:
        return TuneWindow::tr("the sweep fits %1 resonators better: give --resonator %2")
            .arg(d.resonator == ResonatorKind::Coaxial ? TuneWindow::tr("coaxial")
                                                       : TuneWindow::tr("lumped"),
                 QString::fromLatin1(resonatorKindName(d.resonator)));
    case Doubt::CrossCoupling:
        return crossFor(d);
    case Doubt::NotUnique:
        return TuneWindow::tr("equivalent coupling matrices of this topology explain the sweep as "
                              "well (%1 among the entries they differ in): the sweep cannot tell "
                              "which is the filter's")
            .arg(elementFor(d.finding));
    case Doubt::CutoffAmbiguous:
        return TuneWindow::tr("waveguides cut off anywhere from %1 to %2 MHz explain the sweep "
                              "as well and put the elements elsewhere: give the guide's cut-off")
            .arg(number(d.fromMHz, 0), number(d.toMHz, 0));
    case Doubt::NeedsS21:
        return TuneWindow::tr("from S11 alone the sweep cannot start a fit of its own: a sweep "
                              "of S11 and S21 lets a filter far from tune be diagnosed");
    case Doubt::TooNoisy:
        break;
    }
    const QString known = d.finding.element == Finding::Resonator ? TuneWindow::tr("%1 % of BW")
                                                                  : TuneWindow::tr("%1 %");
    if (d.byCalibration)
        return TuneWindow::tr("the calibration's residual terms, fitted with the filter, leave %1 "
                              "known to +-%2 against a tolerance of %3 %; calibrate again at the "
                              "filter's ports")
            .arg(elementFor(d.finding), known.arg(qs(twoDigits(d.finding.uncertaintyPercent))),
                 qs(formatShortest(d.tolerancePercent)));
    return TuneWindow::tr("the trace is too noisy for the tolerance (noise %1): %2 is known to "
                          "+-%3 against a tolerance of %4 %; average sweeps or narrow the IF "
                          "bandwidth")
        .arg(levelFor(d.noiseDb), elementFor(d.finding),
             known.arg(qs(twoDigits(d.finding.uncertaintyPercent))),
             qs(formatShortest(d.tolerancePercent)));
}

} // namespace

// A waveguide's cut-off as the fit has it, on a line of its own; empty
// for the other kinds.
QString cutoffFor(ResonatorKind kind, double cutoffMHz, bool fitted) {
    if (kind != ResonatorKind::Waveguide)
        return {};
    return QLatin1Char('\n') + (fitted ? TuneWindow::tr("Waveguide cut-off %1 MHz, fitted")
                                       : TuneWindow::tr("Waveguide cut-off %1 MHz, given"))
                                   .arg(number(cutoffMHz, 1));
}

QString findingFor(const Finding &f) {
    const QString amount = qs(twoDigits(std::abs(f.percent)));
    const bool positive = f.percent > 0;
    switch (f.element) {
    case Finding::Resonator:
        return (positive ? TuneWindow::tr("Resonator %1 is %2 MHz (%3 % of BW) high: turn it down")
                         : TuneWindow::tr("Resonator %1 is %2 MHz (%3 % of BW) low: turn it up"))
            .arg(QString::number(f.index), qs(twoDigits(std::abs(f.offsetMHz))), amount);
    case Finding::Coupling:
    case Finding::External:
        break;
    }
    if (f.forDelay) {
        const QString delay = qs(twoDigits(std::abs(f.delayPercent)));
        const bool longer = f.delayPercent > 0;
        if (f.element == Finding::External)
            return longer ? TuneWindow::tr("Input coupling: the centre delay is %1 % long: "
                                           "strengthen it")
                                .arg(delay)
                          : TuneWindow::tr("Input coupling: the centre delay is %1 % short: "
                                           "weaken it")
                                .arg(delay);
        return (longer ? TuneWindow::tr("Coupling %1–%2: the centre delay is %3 % long: "
                                        "strengthen it")
                       : TuneWindow::tr("Coupling %1–%2: the centre delay is %3 % short: "
                                        "weaken it"))
            .arg(QString::number(f.index - 1), QString::number(f.index), delay);
    }
    if (f.element == Finding::Coupling)
        return positive ? TuneWindow::tr("Coupling %1–%2 is %3 % strong: weaken it")
                              .arg(QString::number(f.lowerEnd()), QString::number(f.index), amount)
                        : TuneWindow::tr("Coupling %1–%2 is %3 % weak: strengthen it")
                              .arg(QString::number(f.lowerEnd()), QString::number(f.index), amount);
    if (f.index == 1)
        return positive ? TuneWindow::tr("Input coupling: Qe %1 % high: strengthen it").arg(amount)
                        : TuneWindow::tr("Input coupling: Qe %1 % low: weaken it").arg(amount);
    return positive ? TuneWindow::tr("Output coupling: Qe %1 % high: strengthen it").arg(amount)
                    : TuneWindow::tr("Output coupling: Qe %1 % low: weaken it").arg(amount);
}

QString adviceFor(const Verdict &v) {
    QStringList lines;
    switch (v.outcome) {
    case Verdict::Pass:
        return v.stage >= v.order
                   ? TuneWindow::tr("Within tolerance: every resonator is tuned.")
                   : TuneWindow::tr("Within tolerance: go on to stage %1.").arg(v.stage + 1);
    case Verdict::Fail:
        for (const Finding &f : v.findings)
            lines << TuneWindow::tr("%1.").arg(findingFor(f));
        return lines.join(QLatin1Char('\n'));
    case Verdict::Uncertain:
        break;
    }
    for (const Doubt &d : v.doubts)
        lines << doubtFor(d);
    // The doubts' separator is the language's own.
    return TuneWindow::tr("The sweep cannot decide: %1.")
        .arg(lines.join(TuneWindow::tr("; ", "between doubts")));
}

QString diagnosisFor(const Diagnosis &d) {
    QStringList lines;
    switch (d.outcome) {
    case Diagnosis::Pass:
        return TuneWindow::tr("Within tolerance: the filter is tuned.");
    case Diagnosis::Fail:
        for (std::size_t i = 0; i < d.findings.size(); ++i)
            lines << TuneWindow::tr("%1 (return loss %2 dB).")
                         .arg(findingFor(d.findings[i]),
                              (d.gainDb[i] < 0 ? QString() : QStringLiteral("+")) +
                                  number(d.gainDb[i], 1));
        return lines.join(QLatin1Char('\n'));
    case Diagnosis::TooFar:
        break;
    }
    for (const Doubt &doubt : d.doubts)
        lines << doubtFor(doubt);
    // Equivalent matrices alone: the sweep, not the tuning, is short.
    if (!d.doubts.empty() && std::all_of(d.doubts.begin(), d.doubts.end(), [](const Doubt &doubt) {
            return doubt.kind == Doubt::NotUnique;
        }))
        return TuneWindow::tr("The sweep cannot decide: %1.")
            .arg(lines.join(TuneWindow::tr("; ", "between doubts")));
    if (d.doubts.size() == 1 && d.doubts[0].kind == Doubt::TooNoisy)
        return TuneWindow::tr("The sweep cannot decide: %1; or tune stage by stage first "
                              "(varnel-calc check).")
            .arg(lines.front());
    return TuneWindow::tr("The filter is too far from tune to diagnose: tune stage by stage first "
                          "(varnel-calc check); %1.")
        .arg(lines.join(TuneWindow::tr("; ", "between doubts")));
}

QString diagnosisFor(const MatrixDiagnosis &d) {
    return diagnosisFor(shownDiagnosis(d));
}

QString adviceFor(const CheckReport &report) {
    return adviceFor(report.verdict);
}

QString problemFor(const InputProblem &p) {
    switch (p.kind) {
    case InputProblem::NotANumber:
        if (p.field == InputField::CouplingSlope || p.field == InputField::QeSlope)
            return TuneWindow::tr("Enter the slope as a number (0 for none), or leave it empty "
                                  "to fit it.");
        return p.field == InputField::ElectricalDelay
                   ? TuneWindow::tr("Enter the electrical delay in ns (0 for none), with a "
                                    "decimal point.")
                   : TuneWindow::tr("Enter a number above 0, with a decimal point.");
    case InputProblem::NotAboveZero:
        return TuneWindow::tr("Enter a number above 0.");
    case InputProblem::OutOfRange:
        return TuneWindow::tr("The stage must be from %1 to %2.").arg(p.low).arg(p.high);
    case InputProblem::NotAParameter:
        return TuneWindow::tr("Choose an S-parameter of the file.");
    case InputProblem::NotAnAperture:
        return TuneWindow::tr("Enter frequency steps (2), a percentage of the span (5%) or a "
                              "width in MHz (1.5MHz).");
    case InputProblem::NotAResonator:
        return TuneWindow::tr("Choose lumped, coaxial or waveguide resonators, or let the sweep "
                              "choose.");
    case InputProblem::NotBelowF0:
        return TuneWindow::tr("The cut-off must lie below f0.");
    case InputProblem::NotForKind:
        return TuneWindow::tr("A cut-off counts for waveguide resonators only.");
    case InputProblem::NotAnOutput:
        return TuneWindow::tr("Choose a loaded or an open output.");
    case InputProblem::TableRefused:
        switch (p.refusal->reason) {
        case TableRefusal::OrderOutOfRange:
            return TuneWindow::tr("The order must be from %1 to %2.")
                .arg(tableMinimumOrder)
                .arg(tableMaximumOrder);
        case TableRefusal::RippleNotPositive:
            return TuneWindow::tr("The ripple must be above 0 dB.");
        case TableRefusal::BandwidthNotPositive:
            return TuneWindow::tr("The bandwidth must be above 0 MHz.");
        }
        break;
    case InputProblem::NotAZero:
    case InputProblem::NotATopology:
    case InputProblem::DesignRefused:
        return designProblemFor(p);
    case InputProblem::RunTime:
        return TuneWindow::tr("Run-time error %1: %2")
            .arg(p.runTimeError->number())
            .arg(p.runTimeError->number() == RunTimeError::DivisionByZero
                     ? TuneWindow::tr("Division by zero")
                     : TuneWindow::tr("Overflow"));
    }
    return {};
}

QString refusalFor(const CheckRefusal &r) {
    switch (r.kind) {
    case CheckRefusal::StageBeyondOrder:
        return TuneWindow::tr("Stage %1 is beyond the order (%2).").arg(r.stage).arg(r.order);
    case CheckRefusal::Aperture:
        return r.aperture.kind == ApertureRefusal::TooFewPoints
                   ? TuneWindow::tr("A group delay needs at least 2 frequency points.")
                   : TuneWindow::tr("An aperture of %1 steps needs more than the sweep's %2 "
                                    "points (at most %3 steps).")
                         .arg(qs(formatShortest(r.aperture.steps)))
                         .arg(r.aperture.points)
                         .arg(r.aperture.points - 1);
    case CheckRefusal::F0OutsideDelay:
        return TuneWindow::tr("f0 %1 MHz is outside the measured delay (%2 to %3 MHz).")
            .arg(qs(formatShortest(r.f0)), qs(formatShortest(r.fromMHz)),
                 qs(formatShortest(r.toMHz)));
    case CheckRefusal::ElectricalDelay:
        return TuneWindow::tr("An electrical delay of %1 ns is more than this sweep can take (at "
                              "most %2 ns up to %3 MHz).")
            .arg(qs(formatShortest(r.electricalDelay.ns)),
                 qs(formatShortest(r.electricalDelay.limitNs)),
                 qs(formatShortest(r.electricalDelay.topMHz)));
    case CheckRefusal::UndefinedPhase:
        if (r.points == 1)
            return TuneWindow::tr("The phase is undefined at 1 delay point (|S| is 0 there), at "
                                  "%1 MHz: the sweep cannot be checked.")
                .arg(qs(formatShortest(r.fromMHz)));
        return TuneWindow::tr("The phase is undefined at %1 delay points (|S| is 0 there), the "
                              "first at %2 MHz: the sweep cannot be checked.")
            .arg(QString::number(r.points), qs(formatShortest(r.fromMHz)));
    case CheckRefusal::NotFinite:
        return TuneWindow::tr("The delay at %1 MHz is not a finite number: the frequencies around "
                              "it are too close together.")
            .arg(qs(formatShortest(r.fromMHz)));
    case CheckRefusal::CutoffNeeded:
        return TuneWindow::tr("A waveguide's cut-off is fitted from a reflection only: give the "
                              "cut-off to check a transmission.");
    case CheckRefusal::CrossCoupled:
        return TuneWindow::tr("The stage-by-stage targets are for in-line filters: with "
                              "transmission zeros the method tunes the main line only; tune the "
                              "whole filter instead.");
    }
    return {};
}

// One warning beside the verdict, translated.
QString warningFor(const ReportWarning &w) {
    switch (w.kind) {
    case ReportWarning::AboveUnity: {
        const QString name = qs(w.parameter);
        if (w.points == 1)
            return (w.stage ? TuneWindow::tr("|%1| is above 0 dB at 1 point (+%2 dB): check the "
                                             "calibration and the port; a passive stage cannot "
                                             "reflect more than it is sent.")
                            : TuneWindow::tr("|%1| is above 0 dB at 1 point (+%2 dB): check the "
                                             "calibration and the port."))
                .arg(name, number(w.aboveDb, 2));
        return (w.stage ? TuneWindow::tr("|%1| is above 0 dB at %2 points (up to +%3 dB): check "
                                         "the calibration and the port; a passive stage cannot "
                                         "reflect more than it is sent.")
                        : TuneWindow::tr("|%1| is above 0 dB at %2 points (up to +%3 dB): check "
                                         "the calibration and the port."))
            .arg(name, QString::number(w.points), number(w.aboveDb, 2));
    }
    case ReportWarning::LobesMissing:
        return TuneWindow::tr("The sweep shows %1 of the stage's %2 lobes: sweep at least "
                              "1.5 x BW on either side of f0 (%3 to %4 MHz), or the lobes "
                              "cannot be read.")
            .arg(QString::number(w.lobesShown), QString::number(w.lobesExpected),
                 qs(formatShortest(w.fromMHz)), qs(formatShortest(w.toMHz)));
    case ReportWarning::QuDiffers:
        if (!w.foundQu)
            return TuneWindow::tr("The sweep's Qu is beyond measure, not the given %1: the "
                                  "target delay assumes %1.")
                .arg(qs(formatShortest(w.givenQu)));
        return TuneWindow::tr("The sweep's Qu is about %1, not the given %2: the target delay "
                              "assumes %2.")
            .arg(number(*w.foundQu, 0), qs(formatShortest(w.givenQu)));
    case ReportWarning::CalibrationResidual:
        if (w.stage)
            return TuneWindow::tr("The sweep shows the calibration's residual terms (directivity "
                                  "%1, source match %2): beyond -30 dB, calibrate again at the "
                                  "filter's ports.")
                .arg(levelFor(w.directivityDb), levelFor(w.sourceMatchDb));
        return TuneWindow::tr("The sweep shows the calibration's residual terms at port %1 "
                              "(directivity %2, source match %3): beyond -30 dB, calibrate "
                              "again at the filter's ports.")
            .arg(QString::number(w.port), levelFor(w.directivityDb), levelFor(w.sourceMatchDb));
    case ReportWarning::CrossCouplingHolds:
        return TuneWindow::tr("A coupling between resonators %1 and %2 of about %3 % explains "
                              "the sweep a little better; the design has none, and the findings "
                              "hold with it.")
            .arg(QString::number(w.from), QString::number(w.to), qs(twoDigits(w.percent)));
    }
    return {};
}

// The advice with the report's warnings after it, each on a line.
QString withWarnings(QString advice, const std::vector<ReportWarning> &warnings) {
    for (const ReportWarning &w : warnings)
        advice += QLatin1Char('\n') + warningFor(w);
    return advice;
}

namespace {

// "a FIFO", "a folder": what a path that is not a regular file is.
QString fileKindFor(FileKind fileKind) {
    QString kind;
    switch (fileKind) {
    case FileKind::Fifo:
        kind = TuneWindow::tr("a FIFO");
        break;
    case FileKind::Folder:
        kind = TuneWindow::tr("a folder");
        break;
    case FileKind::CharacterDevice:
        kind = TuneWindow::tr("a character device");
        break;
    case FileKind::BlockDevice:
        kind = TuneWindow::tr("a block device");
        break;
    case FileKind::Socket:
        kind = TuneWindow::tr("a socket");
        break;
    case FileKind::Regular:
    case FileKind::Other:
        kind = TuneWindow::tr("a special file");
        break;
    }
    return kind;
}

// A reader's error: in English, or where it is the system's, its own words.
QString readErrorFor(const TouchstoneError &e) {
    if (!textsTranslated() || e.kind == TouchstoneError::CannotOpen ||
        e.kind == TouchstoneError::ReadFailed)
        return qs(e.message()); // English, or the system's own words
    QString what;
    switch (e.kind) {
    case TouchstoneError::UnknownPorts:
        what = TuneWindow::tr("cannot tell the number of ports: a version 1 file is named .s1p "
                              "to .s4p");
        break;
    case TouchstoneError::BadOption:
        what = TuneWindow::tr("the option line has a field that is not a unit, parameter, "
                              "format or R value");
        break;
    case TouchstoneError::BadKeyword:
        what = TuneWindow::tr("a keyword is missing its value, has a wrong one or is out of place");
        break;
    case TouchstoneError::Unsupported:
        what = TuneWindow::tr("the file holds data this program does not read");
        break;
    case TouchstoneError::BadNumber:
        what = TuneWindow::tr("a value is not a decimal number");
        break;
    case TouchstoneError::WrongCount:
        what = TuneWindow::tr("a data point has too few or too many numbers");
        break;
    case TouchstoneError::FrequencyOrder:
        what = TuneWindow::tr("a frequency is not above the one before it");
        break;
    case TouchstoneError::FrequencyCount:
        what = TuneWindow::tr("the number of points differs from the one declared");
        break;
    case TouchstoneError::NoData:
        what = TuneWindow::tr("there is no network data");
        break;
    case TouchstoneError::LineTooLong:
        what = TuneWindow::tr("a line is longer than 1 MiB");
        break;
    case TouchstoneError::NoSEquivalent:
        what = TuneWindow::tr("a Z or Y matrix has no S equivalent");
        break;
    case TouchstoneError::NoSuchParameter:
        what = TuneWindow::tr("the file does not have the chosen parameter");
        break;
    case TouchstoneError::NotRegularFile:
        what = TuneWindow::tr("not a regular file");
        break;
    case TouchstoneError::NotText:
        what = TuneWindow::tr("the file is not ASCII or UTF-8 text (UTF-16 or UTF-32?): save it "
                              "as ASCII or UTF-8");
        break;
    case TouchstoneError::Changing:
        what = TuneWindow::tr("the file kept changing while it was read");
        break;
    default:
        return qs(e.message());
    }
    const QString file = shownName(qs(e.file));
    return e.line ? TuneWindow::tr("%1, line %2: %3").arg(file).arg(e.line).arg(what)
                  : TuneWindow::tr("%1: %2").arg(file, what);
}

} // namespace

QString failureFor(const SweepFailure &f) {
    switch (f.kind) {
    case SweepFailure::Gone:
        return TuneWindow::tr("%1: the file is not there; waiting for it to be written again.")
            .arg(shownName(f.origin));
    case SweepFailure::NotRegular: {
        return TuneWindow::tr("%1 is %2, not a regular file: open a Touchstone file.")
            .arg(shownName(f.origin), fileKindFor(f.fileKind));
    }
    case SweepFailure::Link:
        return TuneWindow::tr("%1: %2. Connecting again.")
            .arg(shownName(f.origin), f.link ? linkErrorFor(*f.link) : f.detail);
    case SweepFailure::Unreadable:
        break;
    }
    return readErrorFor(*f.error);
}

QString timeRefusalFor(const TimeDomainRefusal &refusal) {
    switch (refusal.kind) {
    case TimeDomainRefusal::TooFewPoints:
        return TuneWindow::tr("A time-domain response needs at least 2 sweep points.");
    case TimeDomainRefusal::Uneven:
        return TuneWindow::tr("The frequency steps change at point %1: a time-domain response "
                              "needs an evenly spaced sweep.")
            .arg(refusal.point + 1);
    case TimeDomainRefusal::BadRange:
        break;
    }
    return TuneWindow::tr("The time range must run forwards and span at most the alias-free "
                          "range of %1 ns.")
        .arg(number(refusal.aliasNs, 1));
}

} // namespace varnel
