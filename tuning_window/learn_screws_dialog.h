#pragma once

#include "tuning_window/tuning_journal.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLabel;
class QPushButton;

namespace varnel {

// Learning the screws from the live sweep: it asks for a quarter turn of
// each screw in turn (R1..RN, K12.., QIN, QOUT), clockwise and then back,
// and learns each turn from the diagnosis of the sweep before it and of a
// newer sweep after it (TuningJournal::learn), so that every screw is
// learned twice and the filter ends as it was. A screw can be skipped; a
// sweep too far from tune is not learned from.
// Example: order 5 -> 11 screws, 22 steps; step 1 "Turn R1 a quarter turn
// clockwise, let the sweep settle, then press Learn."; Learn after a newer
// sweep -> "R1 learned: -2.000 MHz a clockwise turn", step 2 asks to turn
// R1 back.
class LearnScrewsDialog : public QDialog {
    Q_OBJECT
  public:
    LearnScrewsDialog(TuningSession &session, TuningJournal &journal, QWidget *parent = nullptr);
    // Begins again at the first screw of the design on screen.
    void start();
    // What is shown (test hooks).
    QString instruction() const;
    QString state() const;
    QString learned() const;
    std::size_t step() const { return m_step; }
    std::size_t steps() const { return 2 * m_screws.size(); }

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void follow();
    void learnStep();
    void skip();
    void showStep();
    bool afterReady() const;

    TuningSession &m_session;
    TuningJournal &m_journal;
    std::vector<Screw> m_screws;
    std::size_t m_step = 0;
    std::optional<Diagnosis> m_before;
    std::shared_ptr<const Network> m_beforeSweep;
    QString m_failure;
    QLabel *m_progress = nullptr, *m_instruction = nullptr, *m_state = nullptr,
           *m_learned = nullptr;
    QPushButton *m_learn = nullptr, *m_skip = nullptr;
};

} // namespace varnel
