#include "tuning_window/verdict_panel.h"

#include "number_text/number_text.h"
#include "tuning/report_warnings.h"
#include "tuning/verdict.h"
#include "tuning_window/element_bars.h"
#include "tuning_window/window_texts.h"

#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>

namespace varnel {

namespace {

constexpr const char *passStyle = "color: white; background: #1b7f3b; padding: 4px";
constexpr const char *failStyle = "color: white; background: #b00020; padding: 4px";
constexpr const char *doubtStyle = "color: black; background: #f2c94c; padding: 4px";

QLabel *plainLabel(const char *name, const QString &text = QString()) {
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText); // texts from files and names are never markup
    label->setWordWrap(true);
    return label;
}

QString signedNumber(double value, int decimals) {
    return (value >= 0 ? QStringLiteral("+") : QString()) + number(value, decimals);
}

} // namespace

VerdictPanel::VerdictPanel(QWidget *parent) : QGroupBox(tr("Verdict"), parent) {
    setObjectName(QStringLiteral("verdictBox"));
    auto *layout = new QVBoxLayout(this);
    m_verdict = plainLabel("verdict", tr("No sweep loaded"));
    QFont big = m_verdict->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_verdict->setFont(big);
    m_delays = plainLabel("delays");
    m_lobes = plainLabel("lobes");
    m_quality = plainLabel("quality");
    m_quality->hide();
    m_advice = plainLabel("advice");
    m_memory = plainLabel("memoryVerdict");
    m_memory->hide();
    for (QLabel *label : {m_delays, m_lobes, m_quality, m_advice, m_memory})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The elements of the fitted stage against their tolerances.
    m_bars = new ElementBars;
    m_bars->hide();
    layout->addWidget(m_verdict);
    layout->addWidget(m_advice);
    layout->addWidget(m_bars);
    for (QLabel *label : {m_delays, m_lobes, m_quality, m_memory})
        layout->addWidget(label);
}

QString VerdictPanel::word(Verdict::Outcome outcome) {
    switch (outcome) {
    case Verdict::Pass:
        return tr("PASS");
    case Verdict::Fail:
        return tr("FAIL");
    case Verdict::Uncertain:
        break;
    }
    return tr("UNCERTAIN");
}

QString VerdictPanel::word(Diagnosis::Outcome outcome) {
    switch (outcome) {
    case Diagnosis::Pass:
        return tr("PASS");
    case Diagnosis::Fail:
        return tr("FAIL");
    case Diagnosis::TooFar:
        break;
    }
    return tr("TOO FAR");
}

void VerdictPanel::setWord(const QString &word, const char *style) {
    m_verdict->setText(word);
    // A style sheet only when it changes: each setting lays the panel out
    // again, which a new sweep need not pay for.
    const QString sheet = QString::fromLatin1(style);
    if (m_verdict->styleSheet() != sheet)
        m_verdict->setStyleSheet(sheet);
}

void VerdictPanel::clearNumbers() {
    for (QLabel *label : {m_delays, m_lobes, m_quality, m_advice})
        label->clear();
    m_quality->hide();
    m_bars->setElements({});
}

void VerdictPanel::showNone(const QString &why, bool clear) {
    setWord(why, "");
    if (clear)
        clearNumbers();
}

void VerdictPanel::showRefusal(const CheckRefusal &refusal) {
    clearNumbers();
    setWord(tr("No verdict"), "");
    m_delays->setText(refusalFor(refusal));
}

void VerdictPanel::showStage(const CheckReport &r) {
    const Verdict::Outcome outcome = r.verdict.outcome;
    setWord(word(outcome), outcome == Verdict::Pass   ? passStyle
                           : outcome == Verdict::Fail ? failStyle
                                                      : doubtStyle);
    QString delays = tr("Delay at f0: measured %1 ns, target %2 ns on the sweep's points")
                         .arg(number(r.measuredDelayNs, 3), number(r.targetDelayNs, 3));
    // The verdict rests on the fitted stage; the sampled trace's deviation
    // is shown beside it, each named.
    if (r.fittedDeviationPercent)
        delays += QLatin1Char('\n') +
                  tr("Deviation %1 % (sampled trace); fitted centre delay %2 % against the "
                     "design, tolerance %3 %")
                      .arg(signedNumber(r.deviationPercent, 2),
                           signedNumber(*r.fittedDeviationPercent, 2),
                           qs(formatShortest(r.settings.tolerancePercent)));
    else
        delays += QLatin1Char('\n') + tr("Deviation %1 % (sampled trace), tolerance %2 %")
                                          .arg(signedNumber(r.deviationPercent, 2),
                                               qs(formatShortest(r.settings.tolerancePercent)));
    delays += QLatin1Char('\n') + tr("|S11| at f0: measured %1 dB, target %2 dB")
                                      .arg(number(r.s11DbMeasured, 2), number(r.s11DbTarget, 2));
    if (r.fit)
        delays +=
            cutoffFor(r.fit->model.resonator, r.fit->model.cutoff, r.fit->fittedCutoff.has_value());
    m_delays->setText(delays);
    QStringList lobes;
    for (std::size_t l = 0; l < r.lobes.size(); ++l)
        lobes << tr("Lobe %1: %2 ns at %3 MHz (target %4 ns at %5 MHz)")
                     .arg(l + 1)
                     .arg(number(r.lobes[l].delayNs, 2), number(r.lobes[l].fMHz, 3),
                          number(r.lobes[l].targetDelayNs, 2), number(r.lobes[l].targetFMHz, 3));
    m_lobes->setText(lobes.join(QLatin1Char('\n')));
    m_quality->setVisible(r.qe.has_value());
    if (r.qe)
        m_quality->setText(
            tr("Stage 1: Qe %1, Qu %2")
                .arg(number(*r.qe, 2), r.qu ? number(*r.qu, 1) : tr("not measurable (|S11| = 1)")));
    else
        m_quality->clear();
    // A fit that cannot decide draws no bars: its values mean nothing.
    m_bars->setElements(r.verdict.outcome == Verdict::Uncertain ? std::vector<JudgedElement>()
                                                                : judgedElements(r));
    m_advice->setText(withWarnings(adviceFor(r), reportWarnings(r)));
}

void VerdictPanel::showRefusal(const DiagnoseRefusal &refusal) {
    clearNumbers();
    setWord(tr("No verdict"), "");
    m_delays->setText(refusal.kind == DiagnoseRefusal::F0Outside
                          ? tr("f0 %1 MHz is outside the sweep (%2 to %3 MHz).")
                                .arg(qs(formatShortest(refusal.f0)),
                                     qs(formatShortest(refusal.fromMHz)),
                                     qs(formatShortest(refusal.toMHz)))
                          : tr("The sweep has %1 points; diagnosing this filter needs at "
                               "least %2.")
                                .arg(refusal.points)
                                .arg(refusal.needed));
}

void VerdictPanel::showOutcome(Diagnosis::Outcome outcome) {
    for (QLabel *label : {m_lobes, m_quality})
        label->clear();
    m_quality->hide();
    setWord(word(outcome), outcome == Diagnosis::Pass   ? passStyle
                           : outcome == Diagnosis::Fail ? failStyle
                                                        : doubtStyle);
}

QString VerdictPanel::showElements(Diagnosis::Outcome outcome,
                                   const std::vector<JudgedElement> &elements, double returnLossDb,
                                   double designReturnLossDb) {
    m_bars->setElements(outcome == Diagnosis::TooFar ? std::vector<JudgedElement>() : elements);
    return tr("Return loss %1 dB in the band (design %2 dB)")
        .arg(number(returnLossDb, 2), number(designReturnLossDb, 2));
}

void VerdictPanel::showDiagnosis(const Diagnosis &d) {
    showOutcome(d.outcome);
    m_advice->setText(withWarnings(diagnosisFor(d), reportWarnings(d)));
    const FilterFit &fit = d.fit;
    QString delays = showElements(d.outcome, d.elements, d.returnLossDb, d.designReturnLossDb);
    if (fit.qu())
        delays += QLatin1Char('\n') + tr("Qu %1").arg(number(*fit.qu(), 0));
    delays += QLatin1Char('\n') +
              (fit.model.twoPort ? tr("Port delays %1 ns and %2 ns")
                                       .arg(number(fit.delayNs[0], 3), number(fit.delayNs[1], 3))
                                 : tr("Port 1 delay %1 ns").arg(number(fit.delayNs[0], 3)));
    delays += cutoffFor(fit.model.resonator, fit.model.cutoff, fit.fittedCutoff.has_value());
    m_delays->setText(delays);
}

void VerdictPanel::showDiagnosis(const MatrixDiagnosis &d) {
    showOutcome(d.outcome);
    m_advice->setText(diagnosisFor(d));
    QString delays = showElements(d.outcome, d.elements, d.returnLossDb, d.designReturnLossDb);
    delays +=
        QLatin1Char('\n') + tr("Qu %1").arg(d.fit.qu > 0 ? number(d.fit.qu, 0) : tr("lossless"));
    delays += QLatin1Char('\n') +
              (d.twoPort ? tr("Port delays %1 ns and %2 ns")
                               .arg(number(d.fit.delayNs[0], 3), number(d.fit.delayNs[1], 3))
                         : tr("Port 1 delay %1 ns").arg(number(d.fit.delayNs[0], 3)));
    m_delays->setText(delays);
}

void VerdictPanel::showMemory(const QString &text) {
    m_memory->setText(text);
    m_memory->setVisible(!text.isEmpty());
}

void VerdictPanel::followMemory(const TuningSession &session) {
    const auto shown = [this, &session] {
        const bool against =
            !session.wholeFilter() && session.memory() && session.viewState().againstMemory;
        showMemory(against ? memoryText(session) : QString());
    };
    connect(&session, &TuningSession::memoryChanged, this, shown);
    connect(&session, &TuningSession::viewChanged, this, shown);
    shown();
}

QString VerdictPanel::memoryText(const TuningSession &session) {
    if (!session.memory())
        return QString();
    const QString origin = session.memoryName();
    const QString name =
        shownName(QFileInfo::exists(origin) ? QFileInfo(origin).fileName() : origin);
    QStringList lines{tr("Against the memory (%1):").arg(name)};
    const auto signedNumber = [](double value, int decimals) {
        return qs(formatSigned(value, decimals));
    };
    if (!session.memoryHasParameter()) {
        lines << tr("The memory has no %1.").arg(qs(session.texts().parameter));
    } else if (const auto &refusal = session.memoryRefusal()) {
        lines << tr("The memory cannot be checked: %1").arg(refusalFor(*refusal));
    } else if (const auto &c = session.memoryComparison()) {
        lines << tr("Delay at f0 %1 ns (%2 %), %3")
                     .arg(signedNumber(c->centreNs, 3), signedNumber(c->centrePercent, 2),
                          c->within ? tr("within the tolerance") : tr("outside the tolerance"));
        lines << tr("|S11| at f0 %1 dB").arg(signedNumber(c->s11Db, 2));
        for (std::size_t l = 0; l < c->lobes.size(); ++l)
            lines << tr("Lobe %1 moved %2 MHz, %3 ns")
                         .arg(l + 1)
                         .arg(signedNumber(c->lobes[l].fMHz, 3),
                              signedNumber(c->lobes[l].delayNs, 2));
    } else {
        lines << tr("Checking the memory...");
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace varnel
