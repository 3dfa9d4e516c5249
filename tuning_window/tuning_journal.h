#pragma once

#include "journal/bench_journal.h"
#include "tuning_window/tuning_session.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace varnel {

// The tuning journal the window keeps (bench_journal.h), following the
// session: the journal chosen in the settings ("journal/where": an SQLite
// file or a shop's postgresql:// address, none by default) and the unit's
// serial ("journal/unit"). For each current in-line diagnosis of the whole
// filter it gives the plan of turns of the screws learned for the design;
// each new sweep of a file (each re-save: a sweep the tuner made) is
// recorded with its plan, the unit's last plan first taken as carried out
// (refineFromLastPlan), exactly as varnel-calc diagnose --journal --unit
// does; an analyser's sweeps, several a second, are recorded when the
// tuner says so (recordShown). A journal that cannot be opened, read or
// written is said (error()) and never costs the verdict on screen.
// Example: journal "bench.db", unit "SN-0042", R1 learned as -2 MHz a turn,
// a sweep with resonator 1 0.5 MHz high -> plan() "R1 0.25 turn
// clockwise", one record of SN-0042 in bench.db, records() lists it.
// The in-line whole filter's diagnosis on screen, when it is drawn as
// current (shownCurrent: an analyser's next sweep under diagnosis does not
// grey it); none otherwise (the stage mode, a cross-coupled design, new
// inputs under diagnosis).
const Diagnosis *inlineDiagnosisShown(const TuningSession &session);

class TuningJournal : public QObject {
    Q_OBJECT
  public:
    explicit TuningJournal(TuningSession &session, QObject *parent = nullptr);
    ~TuningJournal() override;

    // Where the journal is ("" for none); opened at once, kept in the
    // settings.
    void setWhere(const QString &where);
    QString where() const { return m_where; }
    // The journal's name as the window shows it (its password hidden).
    QString shownWhere() const;
    bool opened() const { return m_journal != nullptr; }
    // The unit's serial (kept in the settings); "" for none. A serial of
    // other than 1 to 64 printable characters is not used (unitValid()).
    void setUnit(const QString &serial);
    QString unit() const { return m_unit; }
    bool unitValid() const;
    // The last failure of the journal, if the last step failed.
    const std::optional<JournalError> &error() const { return m_error; }

    // The plan for the diagnosis on screen, and whether it belongs to it
    // (the diagnosis is drawn as current and the plan was made from it).
    const std::optional<JournalPlan> &plan() const { return m_plan; }
    bool planCurrent() const;
    // The screws were refined from the unit's last plan by this sweep.
    bool refined() const { return m_refined; }
    // The unit's records, oldest first, of the design on screen only.
    const std::vector<JournalRecord> &records() const { return m_records; }
    // Records the diagnosis on screen (once a sweep): false, with error()
    // set or nothing to record (no current diagnosis, no journal).
    bool recordShown();
    bool shownRecorded() const;

    // While screws are learned, the sweeps are of quarter turns, not of a
    // plan: none is recorded or refines the screws by itself.
    void setLearning(bool learning) { m_learning = learning; }
    bool learning() const { return m_learning; }

    // Learns `screw` from two diagnoses (learnInJournal); the plan is made
    // again from what was learned.
    std::variant<LearnedScrew, JournalError> learn(const Screw &screw, double turns,
                                                   const Diagnosis &before, const Diagnosis &after);

  signals:
    // The plan, the records, the error or the settings changed.
    void changed();

  private:
    void follow();
    void replan();
    void reloadRecords();
    void fail(const JournalError &error);

    TuningSession &m_session;
    QString m_where, m_unit;
    std::unique_ptr<Journal> m_journal;
    std::optional<JournalError> m_error;
    std::optional<JournalPlan> m_plan;
    quint64 m_planChecks = 0; // the session's checks() the plan was made at
    bool m_refined = false;
    bool m_learning = false;
    std::vector<JournalRecord> m_records;
    // The sweep last recorded, so that a sweep is recorded once.
    std::shared_ptr<const Network> m_recorded;
    quint64 m_recordedChecks = 0; // the diagnosis recorded, by the session's checks()
};

} // namespace varnel
