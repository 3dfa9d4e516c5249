#pragma once

#include "tuning/check.h"
#include "tuning/diagnosis.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning_window/tuning_session.h"

#include <QGroupBox>

class QLabel;

namespace varnel {

class ElementBars;

// The verdict panel: the outcome's word, the advice with its warnings, the
// elements' bars, then the numbers the verdict rests on, each labelled,
// and the sweep against the memory. Every word comes from a report's
// values (window_texts.h), never from another label.
// Example: a stage report whose fit is 0.3 % long at f0 while the sampled
// trace reads -5.41 % shows "Deviation -5.41 % (sampled trace); fitted
// centre delay +0.30 % against the design, tolerance 2 %".
class VerdictPanel : public QGroupBox {
    Q_OBJECT
  public:
    explicit VerdictPanel(QWidget *parent = nullptr);

    void showStage(const CheckReport &report);
    void showRefusal(const CheckRefusal &refusal);
    void showDiagnosis(const Diagnosis &diagnosis);
    void showDiagnosis(const MatrixDiagnosis &diagnosis);
    void showRefusal(const DiagnoseRefusal &refusal);
    // No verdict, and why; `clear` empties the numbers too.
    void showNone(const QString &why, bool clear);
    // The sweep against the memory; hidden when `text` is empty.
    void showMemory(const QString &text);
    // Shows the session's sweep against its memory as it changes (in the
    // stage's mode, with the view's verdict against the memory on).
    void followMemory(const TuningSession &session);
    // The sweep against the memory: "Against the memory (unit3.s1p):" and
    // the delay at f0, |S11| at f0 and each lobe's move; empty without one.
    static QString memoryText(const TuningSession &session);
    // The outcome's word: "PASS", "FAIL", "UNCERTAIN", "TOO FAR".
    static QString word(Verdict::Outcome outcome);
    static QString word(Diagnosis::Outcome outcome);

  private:
    void setWord(const QString &word, const char *style);
    // The outcome's word and colour, the other lines cleared.
    void showOutcome(Diagnosis::Outcome outcome);
    // The elements as bars (none when too far) and the return-loss line.
    QString showElements(Diagnosis::Outcome outcome, const std::vector<JudgedElement> &elements,
                         double returnLossDb, double designReturnLossDb);
    void clearNumbers();

    QLabel *m_verdict = nullptr;
    ElementBars *m_bars = nullptr;
    QLabel *m_delays = nullptr;
    QLabel *m_lobes = nullptr;
    QLabel *m_advice = nullptr;
    QLabel *m_quality = nullptr;
    QLabel *m_memory = nullptr;
};

} // namespace varnel
