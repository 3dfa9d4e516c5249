#include "tuning_window/learn_screws_dialog.h"

#include "tuning_window/plan_panel.h"
#include "tuning_window/window_texts.h"

#include "number_text/number_text.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace varnel {

namespace {

constexpr double quarter = 0.25;

std::vector<Screw> screwsOf(int order) {
    std::vector<Screw> screws;
    for (int i = 1; i <= order; ++i)
        screws.push_back({Screw::Resonator, i, 0});
    for (int i = 1; i < order; ++i)
        screws.push_back({Screw::Coupling, i, i + 1});
    // The ports' screws as the journal names them, so that learning one
    // again refines its column instead of adding a second.
    screws.push_back(*parseScrew("QIN", order));
    screws.push_back(*parseScrew("QOUT", order));
    return screws;
}

// The element a screw acts on first, in the diagnosis' elements; none when
// the diagnosis lists no such element.
std::optional<std::size_t> ownElement(const Diagnosis &d, const Screw &screw) {
    for (std::size_t e = 0; e < d.elements.size(); ++e) {
        const Finding &f = d.elements[e].finding;
        const bool own =
            (screw.kind == Screw::Resonator && f.element == Finding::Resonator &&
             f.index == screw.first) ||
            (screw.kind == Screw::Coupling && f.element == Finding::Coupling &&
             f.lowerEnd() == screw.first && f.index == screw.second) ||
            (screw.kind == Screw::Input && f.element == Finding::External && f.index == 1) ||
            (screw.kind == Screw::Output && f.element == Finding::External && f.index != 1);
        if (own)
            return e;
    }
    return std::nullopt;
}

} // namespace

LearnScrewsDialog::LearnScrewsDialog(TuningSession &session, TuningJournal &journal,
                                     QWidget *parent)
    : QDialog(parent), m_session(session), m_journal(journal) {
    setObjectName(QStringLiteral("learnScrewsDialog"));
    setWindowTitle(tr("Learn screws"));
    auto *layout = new QVBoxLayout(this);
    auto label = [&](const char *name) {
        auto *l = new QLabel;
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setMinimumWidth(440);
        // Room for the longest text wrapped (in English and in Chinese), so
        // that the dialog need not grow as the steps change.
        l->setMinimumHeight(2 * l->fontMetrics().lineSpacing() + 4);
        layout->addWidget(l);
        return l;
    };
    m_progress = label("learnProgress");
    m_instruction = label("learnInstruction");
    QFont bold = m_instruction->font();
    bold.setBold(true);
    m_instruction->setFont(bold);
    m_state = label("learnState");
    m_learned = label("learnLearned");
    auto *buttons = new QDialogButtonBox;
    m_learn = buttons->addButton(tr("Learn"), QDialogButtonBox::AcceptRole);
    m_learn->setObjectName(QStringLiteral("learnButton"));
    m_skip = buttons->addButton(tr("Skip this screw"), QDialogButtonBox::ActionRole);
    m_skip->setObjectName(QStringLiteral("skipButton"));
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    // Learn and Skip keep the dialog open; Close closes it.
    connect(m_learn, &QPushButton::clicked, this, &LearnScrewsDialog::learnStep);
    connect(m_skip, &QPushButton::clicked, this, &LearnScrewsDialog::skip);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(&m_session, &TuningSession::reportChanged, this, &LearnScrewsDialog::follow);
    start();
}

void LearnScrewsDialog::start() {
    const auto &inputs = m_session.inputs();
    m_screws =
        inputs ? screwsOf(static_cast<int>(inputs->table.stages.size())) : std::vector<Screw>{};
    m_step = 0;
    m_before.reset();
    m_beforeSweep.reset();
    m_failure.clear();
    m_learned->clear();
    follow();
}

void LearnScrewsDialog::showEvent(QShowEvent *event) {
    m_journal.setLearning(true);
    QDialog::showEvent(event);
}

void LearnScrewsDialog::hideEvent(QHideEvent *event) {
    // The sweep the learning ends on was not made from a plan: the next
    // plan starts from it unrecorded.
    m_journal.setLearning(false);
    QDialog::hideEvent(event);
}

QString LearnScrewsDialog::instruction() const {
    return m_instruction->text();
}

QString LearnScrewsDialog::state() const {
    return m_state->text();
}

QString LearnScrewsDialog::learned() const {
    return m_learned->text();
}

bool LearnScrewsDialog::afterReady() const {
    const Diagnosis *d = inlineDiagnosisShown(m_session);
    return m_before && d && m_session.network() != m_beforeSweep && d->outcome != Diagnosis::TooFar;
}

void LearnScrewsDialog::follow() {
    // The sweep before a turn: the first diagnosis in tune enough.
    const Diagnosis *d = inlineDiagnosisShown(m_session);
    if (!m_before && d && d->outcome != Diagnosis::TooFar) {
        m_before = *d;
        m_beforeSweep = m_session.network();
    }
    showStep();
}

void LearnScrewsDialog::showStep() {
    const bool done = m_step >= steps();
    m_progress->setText(done ? QString() : tr("Step %1 of %2").arg(m_step + 1).arg(steps()));
    if (done) {
        m_instruction->setText(tr("Every screw is learned: the plan now uses them."));
    } else {
        const QString name = qs(screwName(m_screws[m_step / 2]));
        m_instruction->setText(
            m_step % 2 == 0
                ? tr("Turn %1 a quarter turn clockwise, let the sweep settle, then press Learn.")
                      .arg(name)
                : tr("Turn %1 back a quarter turn anticlockwise, let the sweep settle, then press "
                     "Learn.")
                      .arg(name));
    }
    const Diagnosis *d = inlineDiagnosisShown(m_session);
    QString state;
    if (!m_failure.isEmpty())
        state = m_failure;
    else if (d && d->outcome == Diagnosis::TooFar)
        state = tr("The sweep is too far from tune to learn from: tune it stage by stage first.");
    else if (!m_before)
        state = tr("Waiting for the diagnosis of the whole filter before the turn.");
    else if (!afterReady())
        state = tr("Waiting for a sweep after the turn.");
    else
        state = tr("A sweep after the turn is diagnosed: press Learn when it has settled.");
    m_state->setText(done ? QString() : state);
    m_learn->setEnabled(!done && afterReady() && m_journal.opened());
    m_skip->setEnabled(!done);
}

void LearnScrewsDialog::learnStep() {
    if (m_step >= steps() || !afterReady())
        return;
    const Screw screw = m_screws[m_step / 2];
    const Diagnosis after = *inlineDiagnosisShown(m_session);
    const double turns = m_step % 2 == 0 ? quarter : -quarter;
    const auto learned = m_journal.learn(screw, turns, *m_before, after);
    m_failure.clear();
    if (const auto *error = std::get_if<JournalError>(&learned)) {
        m_failure = journalFailureText(*error);
    } else if (!std::get<LearnedScrew>(learned).matched) {
        m_failure = tr("The two sweeps' diagnoses list other elements: nothing was learned.");
    } else {
        const Sensitivities &s = std::get<LearnedScrew>(learned).sensitivities;
        const auto e = ownElement(after, screw);
        const auto k = s.find(screw);
        if (e && k) {
            const bool resonator = screw.kind == Screw::Resonator;
            const double value = s.columns[*k][*e] * (resonator ? 1 : 100);
            m_learned->setText(tr("%1 learned: %2 %3 a clockwise turn")
                                   .arg(qs(screwName(screw)),
                                        qs(formatSigned(value, resonator ? 3 : 2)),
                                        resonator ? tr("MHz") : tr("%")));
        }
        m_before = after;
        m_beforeSweep = m_session.network();
        ++m_step;
    }
    showStep();
}

void LearnScrewsDialog::skip() {
    if (m_step >= steps())
        return;
    m_step = (m_step / 2 + 1) * 2;
    m_failure.clear();
    // What the turn left is the sweep before the next screw's.
    m_before.reset();
    follow();
}

} // namespace varnel
