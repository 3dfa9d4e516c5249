#pragma once

#include "tuning/stage_model.h"

#include <QAbstractTableModel>

#include <vector>

// The stage table: stage, g, target delay, coupling to the next resonator
// and, on stage 1, the external Q, each cell the core's number with the
// decimals a tuner reads (g 5, delay 3, coupling 6, Q 2).
namespace varnel {

class StageTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(const std::vector<StageRow> &rows);
    // Rows of inputs that no longer read are shown greyed.
    void setCurrent(bool current);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<StageRow> m_rows;
    bool m_current = true;
};

} // namespace varnel
