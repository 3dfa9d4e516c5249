#include "tuning_window/marker_panel.h"

#include "number_text/number_text.h"

#include <QAction>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
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
    };
    for (auto changed : {&TuningSession::markersChanged, &TuningSession::reportChanged,
                         &TuningSession::memoryChanged, &TuningSession::viewChanged})
        connect(&session, changed, this, shown);
    connect(this, &MarkerPanel::selectedChanged, &session, &TuningSession::selectMarker);
    connect(this, &MarkerPanel::moveRequested, &session, &TuningSession::moveMarker);
    connect(this, &MarkerPanel::removeRequested, &session, &TuningSession::removeMarker);
    shown();
}

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

    m_table = new QTableWidget(0, AgainstMemory + 1);
    // Its place is kept while it has no rows, so that the chart above it
    // does not move when the first marker comes.
    QSizePolicy keep = m_table->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_table->setSizePolicy(keep);
    m_table->setObjectName(QStringLiteral("markerTable"));
    // The unit under the name, so that all nine columns fit beside a chart.
    QStringList titles{tr("Marker"),          tr("MHz"),
                       tr("Measured (ns)"),   tr("Target (ns)"),
                       tr("Difference (ns)"), tr("Difference (%)"),
                       tr("|S11| (dB)"),      tr("Memory (ns)"),
                       tr("− memory (ns)")};
    for (QString &title : titles)
        title.replace(QStringLiteral(" ("), QStringLiteral("\n("));
    m_table->setHorizontalHeaderLabels(titles);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Widths fixed once, for the header or a wide number: sizing to the
    // contents on every sweep would measure every cell each time.
    const QFontMetrics metrics(m_table->font());
    const int number = metrics.horizontalAdvance(QStringLiteral("-00000.000")) + 8;
    for (int column = 0; column < m_table->columnCount(); ++column) {
        int header = 0;
        for (const QString &line : m_table->horizontalHeaderItem(column)->text().split('\n'))
            header = std::max(
                header, m_table->horizontalHeader()->fontMetrics().horizontalAdvance(line) + 16);
        m_table->setColumnWidth(column, std::max(column == Name ? 0 : number, header));
    }
    m_table->installEventFilter(this);
    layout->addWidget(m_table);
    connect(m_table, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previous, int) {
                if (row != previous && row >= 0 && row < m_markers)
                    emit selectedChanged(row);
            });
}

void MarkerPanel::show(const std::vector<std::optional<MarkerReading>> &readings,
                       const std::optional<MarkerDelta> &delta, int deltaOf, bool memory) {
    const int selected = m_table->currentRow();
    m_markers = static_cast<int>(readings.size());
    const QSignalBlocker block(m_table);
    m_table->setRowCount(m_markers + (delta ? 1 : 0));
    auto set = [this](int row, int column, const QString &text) {
        QTableWidgetItem *item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(column == Name ? Qt::AlignCenter
                                                  : Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
        if (item->text() != text)
            item->setText(text);
    };
    for (int row = 0; row < m_markers; ++row) {
        const auto &r = readings[static_cast<std::size_t>(row)];
        set(row, Name, QString::number(row + 1));
        const QString none = r ? QString() : tr("off the trace");
        set(row, Frequency, r ? fixed(r->fMHz, 3) : none);
        set(row, Measured, r ? fixed(r->measuredNs, 3) : QString());
        set(row, Target, r ? fixed(r->targetNs, 3) : QString());
        set(row, Difference, r ? signedFixed(r->differenceNs, 3) : QString());
        set(row, Percent, r ? signedFixed(r->differencePercent, 2) : QString());
        set(row, S11, r ? fixed(r->s11Db, 2) : QString());
        set(row, Memory, r && r->memoryNs ? fixed(*r->memoryNs, 3) : QString());
        set(row, AgainstMemory,
            r && r->againstMemoryNs ? signedFixed(*r->againstMemoryNs, 3) : QString());
    }
    if (delta) {
        const int row = m_markers;
        set(row, Name, tr("Δ%1–1").arg(deltaOf + 1));
        set(row, Frequency, signedFixed(delta->fMHz, 3));
        set(row, Measured, signedFixed(delta->measuredNs, 3));
        set(row, Target, signedFixed(delta->targetNs, 3));
        for (int column : {Difference, Percent, Memory, AgainstMemory})
            set(row, column, QString());
        set(row, S11, signedFixed(delta->s11Db, 2));
    }
    m_table->setColumnHidden(Memory, !memory);
    m_table->setColumnHidden(AgainstMemory, !memory);
    if (m_markers > 0)
        m_table->setCurrentCell(std::clamp(selected, 0, m_markers - 1), Name);
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
    const int row = m_table->currentRow();
    return row >= 0 && row < m_markers ? row : -1;
}

void MarkerPanel::select(int marker) {
    if (marker >= 0 && marker < m_markers)
        m_table->setCurrentCell(marker, Name);
}

QString MarkerPanel::text(int row, int column) const {
    const QTableWidgetItem *item = m_table->item(row, column);
    return item ? item->text() : QString();
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
