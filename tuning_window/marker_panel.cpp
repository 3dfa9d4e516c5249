#include "tuning_window/marker_panel.h"

#include "number_text/number_text.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace varnel {

namespace {

enum Column { Name, Frequency, Measured, Target, Difference, Percent, S11, Memory, AgainstMemory };

QString fixed(double value, int decimals) {
    if (!std::isfinite(value))
        return QString();
    return QString::fromStdString(formatFixed(value, decimals));
}

QString signedFixed(double value, int decimals) {
    if (!std::isfinite(value))
        return QString();
    return QString::fromStdString(formatSigned(value, decimals));
}

} // namespace

void MarkerPanel::follow(TuningSession &session) {
    const auto shown = [this, &session] {
        const MarkerSet::Readings readings = session.markerReadings();
        show(readings.markers, readings.delta, readings.deltaOf,
             session.memoryComparison().has_value());
        select(session.markers().selected());
        setVisible(!session.wholeFilter());
        // Greyed with the verdict when it is not of the sweep on screen.
        m_table->setEnabled(session.shownCurrent());
    };
    for (auto changed :
         {&TuningSession::markersChanged, &TuningSession::reportChanged,
          &TuningSession::memoryChanged, &TuningSession::viewChanged, &TuningSession::shownChanged})
        connect(&session, changed, this, shown);
    connect(this, &MarkerPanel::selectedChanged, &session, &TuningSession::selectMarker);
    connect(this, &MarkerPanel::moveRequested, &session, &TuningSession::moveMarker);
    connect(this, &MarkerPanel::removeRequested, &session, &TuningSession::removeMarker);
    shown();
}

// The marker table's texts, a row a marker and then the delta row; only
// the cells whose text changes are announced, so that a new sweep repaints
// what moved.
class MarkerTableModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : AgainstMemory + 1;
    }
    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid())
            return {};
        if (role == Qt::TextAlignmentRole)
            return index.column() == Name ? int(Qt::AlignCenter)
                                          : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        return m_rows[static_cast<std::size_t>(index.row())][index.column()];
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section > AgainstMemory)
            return {};
        // The unit under the name, so that all nine columns fit beside a chart.
        const QString titles[] = {
            MarkerPanel::tr("Marker"),          MarkerPanel::tr("MHz"),
            MarkerPanel::tr("Measured (ns)"),   MarkerPanel::tr("Target (ns)"),
            MarkerPanel::tr("Difference (ns)"), MarkerPanel::tr("Difference (%)"),
            MarkerPanel::tr("|S11| (dB)"),      MarkerPanel::tr("Memory (ns)"),
            MarkerPanel::tr("− memory (ns)")};
        QString title = titles[section];
        return title.replace(QStringLiteral(" ("), QStringLiteral("\n("));
    }
    using Row = std::array<QString, AgainstMemory + 1>;
    void setRows(std::vector<Row> rows) {
        const int before = rowCount(), after = static_cast<int>(rows.size());
        if (after < before) {
            beginRemoveRows({}, after, before - 1);
            m_rows.resize(rows.size());
            endRemoveRows();
        }
        for (int row = 0; row < std::min(before, after); ++row)
            for (int column = 0; column <= AgainstMemory; ++column) {
                QString &cell = m_rows[static_cast<std::size_t>(row)][column];
                if (cell != rows[static_cast<std::size_t>(row)][column]) {
                    cell = rows[static_cast<std::size_t>(row)][column];
                    emit dataChanged(index(row, column), index(row, column));
                }
            }
        if (after > before) {
            beginInsertRows({}, before, after - 1);
            m_rows.insert(m_rows.end(), rows.begin() + before, rows.end());
            endInsertRows();
        }
    }

  private:
    std::vector<Row> m_rows;
};

MarkerPanel::MarkerPanel(const QList<QAction *> &actions, QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("markers"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    for (QAction *action : actions) {
        auto *button = new QToolButton;
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_model = new MarkerTableModel(this);
    m_table = new QTableView;
    m_table->setModel(m_model);
    // Its place is kept while it has no rows, so that the chart above it
    // does not move when the first marker comes.
    QSizePolicy keep = m_table->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_table->setSizePolicy(keep);
    m_table->setObjectName(QStringLiteral("markerTable"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Widths fixed once, for the header or a wide number: sizing to the
    // contents on every sweep would measure every cell each time.
    const QFontMetrics metrics(m_table->font());
    const int number = metrics.horizontalAdvance(QStringLiteral("-00000.000")) + 8;
    for (int column = 0; column <= AgainstMemory; ++column) {
        int header = 0;
        const QString title =
            m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        for (const QString &line : title.split('\n'))
            header = std::max(
                header, m_table->horizontalHeader()->fontMetrics().horizontalAdvance(line) + 16);
        m_table->setColumnWidth(column, std::max(column == Name ? 0 : number, header));
    }
    m_table->installEventFilter(this);
    layout->addWidget(m_table);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                if (current.row() != previous.row() && current.row() >= 0 &&
                    current.row() < m_markers)
                    emit selectedChanged(current.row());
            });
}

void MarkerPanel::show(const std::vector<std::optional<MarkerReading>> &readings,
                       const std::optional<MarkerDelta> &delta, int deltaOf, bool memory) {
    const int selected = m_table->currentIndex().row();
    m_markers = static_cast<int>(readings.size());
    std::vector<MarkerTableModel::Row> rows;
    for (int row = 0; row < m_markers; ++row) {
        const auto &r = readings[static_cast<std::size_t>(row)];
        const QString none = r ? QString() : tr("off the trace");
        rows.push_back({QString::number(row + 1), r ? fixed(r->fMHz, 3) : none,
                        r ? fixed(r->measuredNs, 3) : QString(),
                        r ? fixed(r->targetNs, 3) : QString(),
                        r ? signedFixed(r->differenceNs, 3) : QString(),
                        r ? signedFixed(r->differencePercent, 2) : QString(),
                        r ? fixed(r->s11Db, 2) : QString(),
                        r && r->memoryNs ? fixed(*r->memoryNs, 3) : QString(),
                        r && r->againstMemoryNs ? signedFixed(*r->againstMemoryNs, 3) : QString()});
    }
    if (delta)
        rows.push_back({tr("Δ%1–1").arg(deltaOf + 1), signedFixed(delta->fMHz, 3),
                        signedFixed(delta->measuredNs, 3), signedFixed(delta->targetNs, 3),
                        QString(), QString(), signedFixed(delta->s11Db, 2), QString(), QString()});
    {
        const QSignalBlocker block(m_table->selectionModel());
        m_model->setRows(std::move(rows));
        if (m_markers > 0)
            m_table->setCurrentIndex(m_model->index(std::clamp(selected, 0, m_markers - 1), Name));
    }
    m_table->setColumnHidden(Memory, !memory);
    m_table->setColumnHidden(AgainstMemory, !memory);
    fitHeight();
    m_table->setVisible(m_markers > 0);
}

void MarkerPanel::fitHeight() {
    // Three rows and a scroll bar tall, whatever it shows now (more rows
    // scroll): the chart above it keeps its place as markers come and go
    // and the memory's columns widen it, and keeps most of a small screen.
    const int rows = 3;
    const int height = m_table->horizontalHeader()->sizeHint().height() +
                       rows * m_table->verticalHeader()->defaultSectionSize() +
                       2 * m_table->frameWidth() +
                       m_table->horizontalScrollBar()->sizeHint().height();
    if (m_table->height() != height)
        m_table->setFixedHeight(height);
}

void MarkerPanel::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fitHeight();
}

int MarkerPanel::selected() const {
    const int row = m_table->currentIndex().row();
    return row >= 0 && row < m_markers ? row : -1;
}

void MarkerPanel::select(int marker) {
    if (marker >= 0 && marker < m_markers) {
        const QSignalBlocker block(m_table->selectionModel());
        m_table->setCurrentIndex(m_model->index(marker, Name));
    }
}

QString MarkerPanel::text(int row, int column) const {
    return m_model->index(row, column).data().toString();
}

bool MarkerPanel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int step = key->modifiers() & Qt::ShiftModifier ? 10 : 1;
        switch (key->key()) {
        case Qt::Key_Left:
            emit moveRequested(-step);
            return true;
        case Qt::Key_Right:
            emit moveRequested(step);
            return true;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (selected() >= 0)
                emit removeRequested(selected());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnel
