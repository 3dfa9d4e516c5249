#include "tuning_window/tuning_session.h"

#include <QtConcurrent/QtConcurrentRun>

// The whole filter's diagnosis: in-line from the tuning table, or of a
// cross-coupled design's coupling matrix.
namespace varnel {

void TuningSession::startDiagnosis() {
    const CheckSettings &settings = m_inputs->check;
    if (const auto &design = m_inputs->design) {
        MatrixDiagnoseSettings diagnose;
        diagnose.f0 = m_inputs->f0;
        diagnose.qu = m_inputs->qu;
        diagnose.tolerancePercent = settings.tolerancePercent;
        diagnose.toleranceFrequencyPercent = settings.toleranceFrequencyPercent;
        m_checkWatcher.setFuture(
            QtConcurrent::run([design = *design, bandwidth = m_inputs->table.first.bandwidth,
                               network = m_network, diagnose]() -> Results {
                auto result = diagnoseMatrix(design, bandwidth, *network, diagnose);
                if (auto *d = std::get_if<MatrixDiagnosis>(&result))
                    return {std::move(*d), std::nullopt, 0};
                return {std::get<DiagnoseRefusal>(result), std::nullopt, 0};
            }));
        return;
    }
    DiagnoseSettings diagnose;
    diagnose.f0 = m_inputs->f0;
    diagnose.qu = m_inputs->qu;
    diagnose.resonator = settings.resonator;
    diagnose.resonatorAuto = settings.resonatorAuto;
    diagnose.couplingSlope = settings.couplingSlope;
    diagnose.qeSlope = settings.qeSlope;
    diagnose.cutoff = settings.cutoff;
    diagnose.tolerancePercent = settings.tolerancePercent;
    diagnose.toleranceFrequencyPercent = settings.toleranceFrequencyPercent;
    m_checkWatcher.setFuture(
        QtConcurrent::run([table = m_inputs->table, network = m_network, diagnose]() -> Results {
            auto result = diagnoseFilter(table, *network, diagnose);
            if (auto *d = std::get_if<Diagnosis>(&result))
                return {std::move(*d), std::nullopt, 0};
            return {std::get<DiagnoseRefusal>(result), std::nullopt, 0};
        }));
}

std::optional<DiagnosisTraces> TuningSession::diagnosisTraces() const {
    if (!m_network || m_diagnoseRefusal)
        return std::nullopt;
    if (m_matrixDiagnosis)
        return matrixDiagnosisTraces(*m_matrixDiagnosis, *m_network);
    if (m_diagnosis)
        return varnel::diagnosisTraces(*m_diagnosis, *m_network);
    return std::nullopt;
}

QString TuningSession::exportDiagnosisCsv(const QString &path) const {
    if ((!m_diagnosis && !m_matrixDiagnosis) || !m_network)
        return tr("There is no diagnosis yet: open a sweep of the whole filter first.");
    if (!m_reportCurrent)
        return tr("The diagnosis on screen is not of the current inputs and sweep: correct "
                  "the inputs or wait for the diagnosis.");
    const std::string csv = m_matrixDiagnosis ? matrixDiagnosisCsv(*m_matrixDiagnosis, *m_network)
                                              : diagnosisCsv(*m_diagnosis, *m_network);
    return saveFile(path, QByteArray::fromStdString(csv));
}

} // namespace varnel
