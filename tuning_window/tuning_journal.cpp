#include "tuning_window/tuning_journal.h"

#include <QSettings>

#include <algorithm>

namespace varnel {

namespace {

const QString whereKey = QStringLiteral("journal/where");
const QString unitKey = QStringLiteral("journal/unit");

} // namespace

TuningJournal::TuningJournal(TuningSession &session, QObject *parent)
    : QObject(parent), m_session(session) {
    const QSettings settings;
    m_unit = settings.value(unitKey).toString();
    connect(&m_session, &TuningSession::reportChanged, this, &TuningJournal::follow);
    connect(&m_session, &TuningSession::inputsChanged, this, &TuningJournal::reloadRecords);
    setWhere(settings.value(whereKey).toString());
}

TuningJournal::~TuningJournal() = default;

void TuningJournal::setWhere(const QString &where) {
    QSettings().setValue(whereKey, where);
    m_where = where;
    m_journal.reset();
    m_error.reset();
    m_plan.reset();
    // What is on screen was made before the journal was chosen: only the
    // sweeps made from now on are recorded by themselves.
    m_recorded = m_session.network();
    if (!where.isEmpty()) {
        auto opened = Journal::open(where.toStdString());
        if (auto *error = std::get_if<JournalError>(&opened))
            m_error = *error;
        else
            m_journal = std::move(std::get<std::unique_ptr<Journal>>(opened));
    }
    replan();
    reloadRecords();
}

QString TuningJournal::shownWhere() const {
    return QString::fromStdString(shownJournal(m_where.toStdString()));
}

void TuningJournal::setUnit(const QString &serial) {
    if (serial == m_unit)
        return;
    m_unit = serial;
    QSettings().setValue(unitKey, serial);
    reloadRecords();
}

bool TuningJournal::unitValid() const {
    return !m_unit.isEmpty() && m_unit.size() <= 64 &&
           std::all_of(m_unit.begin(), m_unit.end(), [](QChar c) { return c.isPrint(); });
}

bool TuningJournal::planCurrent() const {
    return m_plan && m_planChecks == m_session.checks() && m_session.shownCurrent();
}

bool TuningJournal::shownRecorded() const {
    return m_recordedChecks == m_session.checks() && m_session.shownCurrent();
}

const Diagnosis *inlineDiagnosisShown(const TuningSession &session) {
    const auto &inputs = session.inputs();
    if (!session.shownCurrent() || !session.diagnosis() || !inputs || inputs->design ||
        !session.network())
        return nullptr;
    return &*session.diagnosis();
}

void TuningJournal::follow() {
    m_refined = false;
    // A file's new sweep is recorded once its own diagnosis is in (the
    // report current: of this very sweep, not the last one still drawn).
    if (m_journal && inlineDiagnosisShown(m_session) && m_session.reportCurrent() &&
        !m_session.fromAnalyser() && !m_learning && m_session.network() != m_recorded) {
        recordShown();
        return;
    }
    replan();
    emit changed();
}

void TuningJournal::replan() {
    const auto &inputs = m_session.inputs();
    // Another mode or design has no plan; a diagnosis under way keeps the
    // last plan, greyed (planCurrent), as the verdict stays meanwhile.
    if (!m_journal || !m_session.wholeFilter() || (inputs && inputs->design))
        m_plan.reset();
    const Diagnosis *d = inlineDiagnosisShown(m_session);
    if (!m_journal || !d)
        return;
    m_plan.reset();
    auto plan = journalPlan(*m_journal, *m_session.inputs(), *d);
    if (auto *error = std::get_if<JournalError>(&plan)) {
        fail(*error);
        return;
    }
    m_plan = std::get<std::optional<JournalPlan>>(plan);
    m_planChecks = m_session.checks();
}

bool TuningJournal::recordShown() {
    const Diagnosis *d = inlineDiagnosisShown(m_session);
    if (!m_journal || !d)
        return false;
    m_error.reset();
    const StageInputs &inputs = *m_session.inputs();
    const std::string unit = unitValid() ? m_unit.toStdString() : std::string();
    auto refined = refineFromLastPlan(*m_journal, unit, inputs, *d);
    if (auto *error = std::get_if<JournalError>(&refined)) {
        fail(*error);
        emit changed();
        return false;
    }
    m_refined = std::get<bool>(refined);
    replan();
    const JournalRecord record =
        judgedRecord(inputs, unit, m_session.origin().toStdString(),
                     judgedDiagnosis(plannedDiagnosisJson(*d, inputs, m_plan, m_refined), *d),
                     nullptr, "varnel-tune");
    if (auto added = m_journal->add(record); auto *error = std::get_if<JournalError>(&added)) {
        fail(*error);
        emit changed();
        return false;
    }
    m_recorded = m_session.network();
    m_recordedChecks = m_session.checks();
    reloadRecords();
    return true;
}

std::variant<LearnedScrew, JournalError> TuningJournal::learn(const Screw &screw, double turns,
                                                              const Diagnosis &before,
                                                              const Diagnosis &after) {
    if (!m_journal || !m_session.inputs())
        return JournalError{JournalError::Open, m_where.toStdString(), "no journal is open"};
    auto learned = learnInJournal(*m_journal, *m_session.inputs(), screw, turns, before, after);
    if (auto *error = std::get_if<JournalError>(&learned))
        fail(*error);
    else
        m_error.reset();
    replan();
    emit changed();
    return learned;
}

void TuningJournal::reloadRecords() {
    m_records.clear();
    if (m_journal && unitValid() && m_session.inputs()) {
        auto records = m_journal->records(m_unit.toStdString());
        if (auto *error = std::get_if<JournalError>(&records)) {
            fail(*error);
        } else {
            const std::string design = designKey(*m_session.inputs());
            for (JournalRecord &r : std::get<std::vector<JournalRecord>>(records))
                if (r.design == design && r.kind == "diagnose")
                    m_records.push_back(std::move(r));
        }
    }
    emit changed();
}

void TuningJournal::fail(const JournalError &error) {
    m_error = error;
}

} // namespace varnel
