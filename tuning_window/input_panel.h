#pragma once

#include "tuning_window/tuning_session.h"

#include <QTabWidget>

#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSettings;
class QSpinBox;
class QTableView;

namespace varnel {

class StageTableModel;
class TuningJournal;

// The inputs of the tuning in two pages: the filter (order, bandwidth,
// ripple, f0, Qu, resonators, last stage's output, transmission zeros,
// topology, mode, stage) with its
// stage table, and the measurement (the sweep, its parameter, aperture,
// delays, tolerances, slopes, cut-off, averaging). Every edit sets the
// session's texts; the session's problems mark the fields they name, its
// sweep fills the parameter list and the sweep's line.
// Example: tolerance typed as "0,1" -> the tolerance field is framed red
// with the reason under it; typing "0.1" clears both.
class InputPanel : public QTabWidget {
    Q_OBJECT
  public:
    explicit InputPanel(TuningSession &session, QWidget *parent = nullptr);

    // The fields as kept between runs ("inputs/..." keys).
    void restore(const QSettings &settings);
    void save(QSettings &settings) const;
    int stage() const;
    QString parameter() const;
    // The sweep's failure as shown under the measurement; empty when none.
    QString sweepMessage() const;
    // As wide as the stage table's columns.
    int tableWidth() const;
    // Next stage (Ctrl+PgDown) and previous stage (Ctrl+PgUp), for the
    // window's menu: the stage changes from anywhere in the window.
    QList<QAction *> stageActions() const { return m_stageActions; }
    // The unit's serial among the filter's inputs, kept by the journal.
    void followJournal(TuningJournal &journal);

  private:
    QWidget *buildFilter();
    QWidget *buildMeasurement();
    void buildStageTable();
    // The measurement's fields with their tool tips (aperture to cut-off).
    void addOptions(QFormLayout *form);
    QLineEdit *addField(QFormLayout *form, const char *name, const QString &label,
                        const QString &text, const QString &unit, InputField which);
    std::vector<std::pair<QLineEdit *, const char *>> savedFields() const;
    // The texts as typed to the session.
    void readTexts();
    void showInputs();
    void showSweep();
    void showView();

    TuningSession &m_session;
    QLineEdit *m_order = nullptr, *m_bandwidth = nullptr, *m_ripple = nullptr, *m_f0 = nullptr,
              *m_qu = nullptr, *m_zeros = nullptr, *m_topology = nullptr;
    QComboBox *m_resonator = nullptr, *m_output = nullptr, *m_mode = nullptr;
    QSpinBox *m_stage = nullptr;
    QFormLayout *m_filterForm = nullptr;
    QTableView *m_stages = nullptr;
    StageTableModel *m_stageModel = nullptr;
    QLabel *m_file = nullptr, *m_sweepMessage = nullptr;
    QComboBox *m_parameter = nullptr;
    QLineEdit *m_aperture = nullptr, *m_edelay = nullptr, *m_tolerance = nullptr,
              *m_toleranceFrequency = nullptr, *m_couplingSlope = nullptr, *m_qeSlope = nullptr,
              *m_cutoff = nullptr;
    QSpinBox *m_average = nullptr;
    // Each field with the label that gives the reason it cannot be used.
    std::vector<std::pair<InputField, std::pair<QWidget *, QLabel *>>> m_fieldMarks;
    QList<QAction *> m_stageActions;
};

} // namespace varnel
