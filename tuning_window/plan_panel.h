#pragma once

#include "tuning_window/tuning_journal.h"

#include <QWidget>

class QChartView;
class QLabel;
class QPushButton;

namespace varnel {

class LearnScrewsDialog;

// One screw's turn drawn as an arrow round the screw: an arc of the turn's
// own angle (a quarter turn: 90 degrees; a turn and more: a full circle),
// clockwise or anticlockwise, with the screw's name and the amount under
// it. Greyed when the plan is not of the diagnosis on screen.
// Example: R3 0.35 turn clockwise -> an arc of 126 degrees, arrowhead
// clockwise, "R3" above, "0.35 turn" and "clockwise" under.
class PlanArrows : public QWidget {
    Q_OBJECT
  public:
    explicit PlanArrows(QWidget *parent = nullptr);
    void setPlan(const std::vector<PlannedTurn> &turns, bool current);
    const std::vector<PlannedTurn> &turns() const { return m_turns; }
    // The text under turn i: "0.35 turn", "clockwise" (test hooks).
    QString amountText(std::size_t i) const;
    QString directionText(std::size_t i) const;
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    int columns(int width) const;
    std::vector<PlannedTurn> m_turns;
    bool m_current = true;
};

// The tuning plan, a page of the views: the journal and the unit's serial
// it keeps, the plan of turns of every learned screw for the diagnosis on
// screen as arrows (PlanArrows) with the return loss it should reach, why
// there is none when there is none, the unit's progress over its sweeps
// (return loss, and every element's error in its tolerances), and the
// buttons to record a sweep, to choose the journal and to learn the screws.
// Example: no journal chosen -> "Choose a journal to plan the turns of the
// screws."; a plan of R1 0.25 turn clockwise reaching 24.1 dB -> one arrow
// and "Return loss expected after the plan: 24.10 dB".
class PlanPanel : public QWidget {
    Q_OBJECT
  public:
    PlanPanel(TuningSession &session, TuningJournal &journal, QWidget *parent = nullptr);
    // What is shown (test hooks).
    QString message() const;
    QString expected() const;
    PlanArrows *arrows() const { return m_arrows; }
    QChartView *progress() const { return m_progress; }

  private:
    void show();
    void showProgress();
    void chooseJournal();
    void learnScrews();
    QString why() const;

    TuningSession &m_session;
    TuningJournal &m_journal;
    QLabel *m_where = nullptr, *m_message = nullptr, *m_expected = nullptr;
    PlanArrows *m_arrows = nullptr;
    QChartView *m_progress = nullptr;
    QPushButton *m_record = nullptr, *m_learn = nullptr;
    LearnScrewsDialog *m_learner = nullptr;
};

// The journal's failure in the window's words, its name and the driver's
// own message as plain text.
QString journalFailureText(const JournalError &error);

} // namespace varnel
