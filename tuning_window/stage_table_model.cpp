#include "tuning_window/stage_table_model.h"

#include "number_text/number_text.h"

#include <QBrush>
#include <QPalette>

namespace varnel {

void StageTableModel::setRows(const std::vector<StageRow> &rows) {
    if (rows.size() == m_rows.size()) {
        m_rows = rows;
        if (!m_rows.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        return;
    }
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void StageTableModel::setCurrent(bool current) {
    if (current == m_current)
        return;
    m_current = current;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int StageTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int StageTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant StageTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && !m_current)
        return QBrush(QPalette().color(QPalette::Disabled, QPalette::Text));
    if (role != Qt::DisplayRole)
        return {};
    const StageRow &row = m_rows[static_cast<std::size_t>(index.row())];
    auto fixed = [](double value, int decimals) {
        return QString::fromStdString(formatFixed(value, decimals));
    };
    switch (index.column()) {
    case 0:
        return QString::number(row.stage);
    case 1:
        return fixed(row.g, 5);
    case 2:
        return fixed(row.targetDelayNs, 3);
    case 3:
        return row.coupling ? fixed(*row.coupling, 6) : QString();
    case 4:
        return row.externalQ ? fixed(*row.externalQ, 2) : QString();
    }
    return {};
}

QVariant StageTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Stage");
    case 1:
        return tr("g");
    case 2:
        return tr("Target delay (ns)");
    case 3:
        return tr("Coupling to next");
    case 4:
        return tr("External Q");
    }
    return {};
}

} // namespace varnel
