#include "tuning_window/plan_panel.h"

#include "tuning_window/journal_dialog.h"
#include "tuning_window/learn_screws_dialog.h"
#include "tuning_window/window_texts.h"

#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

constexpr int cellWidth = 104, cellHeight = 128, radius = 26;

} // namespace

PlanArrows::PlanArrows(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("planArrows"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void PlanArrows::setPlan(const std::vector<PlannedTurn> &turns, bool current) {
    m_turns = turns;
    m_current = current;
    updateGeometry();
    update();
}

QString PlanArrows::amountText(std::size_t i) const {
    return tr("%1 turn").arg(number(std::abs(m_turns[i].turns), 2));
}

QString PlanArrows::directionText(std::size_t i) const {
    return m_turns[i].turns > 0 ? tr("clockwise") : tr("anticlockwise");
}

int PlanArrows::columns(int width) const {
    return std::max(1, width / cellWidth);
}

QSize PlanArrows::sizeHint() const {
    const int shown = std::max<int>(1, static_cast<int>(m_turns.size()));
    return {std::min(shown, 6) * cellWidth, heightForWidth(6 * cellWidth)};
}

int PlanArrows::heightForWidth(int width) const {
    const int n = static_cast<int>(m_turns.size());
    const int rows = n == 0 ? 0 : (n + columns(width) - 1) / columns(width);
    return rows * cellHeight;
}

void PlanArrows::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = m_current ? palette().color(QPalette::WindowText)
                                 : palette().color(QPalette::Disabled, QPalette::WindowText);
    const QColor arrow = m_current ? QColor(0x1f, 0x6f, 0xc5) : ink;
    const int perRow = columns(width());
    const QFontMetrics metrics(font());
    for (std::size_t i = 0; i < m_turns.size(); ++i) {
        const int column = static_cast<int>(i) % perRow, row = static_cast<int>(i) / perRow;
        const QRect cell(column * cellWidth, row * cellHeight, cellWidth, cellHeight);
        painter.setPen(ink);
        const QRect name(cell.left(), cell.top(), cell.width(), metrics.height() + 2);
        painter.drawText(name, Qt::AlignCenter,
                         QString::fromStdString(screwName(m_turns[i].screw)));
        const QPointF centre(cell.center().x(), name.bottom() + 8 + radius);
        // Qt's angles run anticlockwise from three o'clock: a clockwise
        // turn from twelve o'clock is a negative span.
        const double turned = std::min(std::abs(m_turns[i].turns), 1.0);
        const double span = (m_turns[i].turns > 0 ? -1 : 1) * std::max(turned, 0.02) * 360;
        // The screw's head, and the turn round it.
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.drawEllipse(centre, radius * 0.55, radius * 0.55);
        painter.setPen(QPen(arrow, 3, Qt::SolidLine, Qt::RoundCap));
        const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        painter.drawArc(circle, 90 * 16, static_cast<int>(span * 16));
        // The arrowhead at the arc's end, along its tangent.
        const double end = (90 + span) * std::numbers::pi / 180;
        const QPointF tip(centre.x() + radius * std::cos(end), centre.y() - radius * std::sin(end));
        const double way = span < 0 ? -1 : 1;
        const QPointF along(-std::sin(end) * way, -std::cos(end) * way);
        const QPointF across(along.y(), -along.x());
        QPainterPath head;
        head.moveTo(tip + along * 9);
        head.lineTo(tip - along * 3 + across * 7);
        head.lineTo(tip - along * 3 - across * 7);
        head.closeSubpath();
        painter.fillPath(head, arrow);
        painter.setPen(ink);
        painter.drawEllipse(centre, 4, 4);
        QRect under(cell.left(), static_cast<int>(centre.y()) + radius + 8, cell.width(),
                    metrics.height());
        painter.drawText(under, Qt::AlignCenter, amountText(i));
        under.translate(0, metrics.height());
        painter.drawText(under, Qt::AlignCenter, directionText(i));
    }
}

QString journalFailureText(const JournalError &error) {
    const QString where = qs(shownJournal(error.where));
    const QString message = qs(error.message);
    switch (error.kind) {
    case JournalError::Open:
        return PlanPanel::tr("The journal %1 cannot be opened: %2").arg(where, message);
    case JournalError::Schema:
        return PlanPanel::tr("The journal %1 is of another schema: %2").arg(where, message);
    case JournalError::Write:
        return PlanPanel::tr("The journal %1 cannot be written: %2").arg(where, message);
    case JournalError::Read:
        break;
    }
    return PlanPanel::tr("The journal %1 cannot be read: %2").arg(where, message);
}

PlanPanel::PlanPanel(TuningSession &session, TuningJournal &journal, QWidget *parent)
    : QWidget(parent), m_session(session), m_journal(journal) {
    setObjectName(QStringLiteral("planPanel"));
    // The page scrolls rather than make the window taller than a small
    // screen when a plan has many screws.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto *page = new QWidget;
    scroll->setWidget(page);
    auto *layout = new QVBoxLayout(page);
    auto *top = new QHBoxLayout;
    m_where = new QLabel;
    m_where->setObjectName(QStringLiteral("planJournal"));
    m_where->setTextFormat(Qt::PlainText);
    m_where->setWordWrap(true);
    top->addWidget(m_where, 1);
    auto *choose = new QPushButton(tr("Journal…"));
    choose->setObjectName(QStringLiteral("chooseJournal"));
    top->addWidget(choose);
    m_learn = new QPushButton(tr("Learn screws…"));
    m_learn->setObjectName(QStringLiteral("learnScrews"));
    top->addWidget(m_learn);
    m_record = new QPushButton(tr("Record this sweep"));
    m_record->setObjectName(QStringLiteral("recordSweep"));
    top->addWidget(m_record);
    layout->addLayout(top);

    auto *plan = new QGroupBox(tr("Turns of the screws"));
    auto *planLayout = new QVBoxLayout(plan);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("planMessage"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    planLayout->addWidget(m_message);
    m_arrows = new PlanArrows;
    planLayout->addWidget(m_arrows);
    m_expected = new QLabel;
    m_expected->setObjectName(QStringLiteral("planExpected"));
    m_expected->setTextFormat(Qt::PlainText);
    m_expected->setWordWrap(true);
    planLayout->addWidget(m_expected);
    layout->addWidget(plan);

    m_progress = new QChartView(new QChart);
    m_progress->setObjectName(QStringLiteral("planProgress"));
    m_progress->setRenderHint(QPainter::Antialiasing);
    m_progress->setMinimumHeight(120);
    layout->addWidget(m_progress, 1);

    connect(choose, &QPushButton::clicked, this, &PlanPanel::chooseJournal);
    connect(m_learn, &QPushButton::clicked, this, &PlanPanel::learnScrews);
    connect(m_record, &QPushButton::clicked, &m_journal, &TuningJournal::recordShown);
    connect(&m_journal, &TuningJournal::changed, this, &PlanPanel::show);
    connect(&m_session, &TuningSession::shownChanged, this, &PlanPanel::show);
    connect(&m_session, &TuningSession::reportChanged, this, &PlanPanel::show);
    show();
}

QString PlanPanel::message() const {
    return m_message->text();
}

QString PlanPanel::expected() const {
    return m_expected->text();
}

QString PlanPanel::why() const {
    if (const auto &error = m_journal.error())
        return journalFailureText(*error);
    if (!m_journal.opened())
        return tr("Choose a journal to plan the turns of the screws and keep the unit's sweeps.");
    const auto &inputs = m_session.inputs();
    if (inputs && inputs->design)
        return tr("Plans and records are made for in-line designs.");
    if (!m_session.wholeFilter())
        return tr("Plans are made in the whole filter's mode.");
    if (!m_session.shownCurrent() || !m_session.diagnosis())
        return tr("Waiting for the diagnosis of the sweep on screen.");
    if (m_session.diagnosis()->outcome == Diagnosis::TooFar)
        return tr("The filter is too far from tune to plan turns: tune it stage by stage first.");
    if (!m_journal.plan())
        return tr("No screw is learned for this design yet: learn them with Learn screws.");
    if (m_journal.plan()->turns.empty())
        return tr("No screw to turn.");
    if (m_session.diagnosis()->outcome == Diagnosis::Pass)
        return tr("Within tolerance: no turn is needed; the arrows would only trim.");
    return tr("Turn the screws as the arrows show, then sweep again.");
}

void PlanPanel::show() {
    m_where->setText(m_journal.opened() || m_journal.error()
                         ? tr("Journal: %1").arg(m_journal.shownWhere())
                         : tr("Journal: none"));
    m_message->setText(why());
    const bool current = m_journal.planCurrent();
    const auto &plan = m_journal.plan();
    m_arrows->setPlan(plan ? plan->turns : std::vector<PlannedTurn>{}, current);
    QString expected;
    if (plan && current) {
        expected = tr("Return loss expected after the plan: %1 dB")
                       .arg(number(plan->predictedReturnLossDb, 2));
        if (m_journal.refined())
            expected +=
                QLatin1Char('\n') + tr("The screws were refined from the last plan's change.");
    }
    m_expected->setText(expected);
    const bool diagnosed = inlineDiagnosisShown(m_session) != nullptr;
    m_record->setEnabled(m_journal.opened() && diagnosed && !m_journal.shownRecorded());
    m_learn->setEnabled(m_journal.opened() && m_session.wholeFilter() && m_session.inputs() &&
                        !m_session.inputs()->design);
    showProgress();
}

void PlanPanel::chooseJournal() {
    JournalDialog dialog(m_journal.where(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_journal.setWhere(dialog.where());
}

void PlanPanel::learnScrews() {
    if (!m_learner)
        m_learner = new LearnScrewsDialog(m_session, m_journal, this);
    m_learner->start();
    m_learner->show();
    m_learner->raise();
}

namespace {

// The elements' names in the order a record keeps them: the resonators,
// port 1's Qe, the couplings, port 2's Qe.
QStringList elementNames(int order) {
    QStringList names;
    for (int i = 1; i <= order; ++i)
        names << PlanPanel::tr("Resonator %1").arg(i);
    names << PlanPanel::tr("Qe in");
    for (int i = 1; i < order; ++i)
        names << PlanPanel::tr("Coupling %1–%2").arg(i).arg(i + 1);
    names << PlanPanel::tr("Qe out");
    return names;
}

QValueAxis *axis(QChart *chart, const QString &title, Qt::Alignment side) {
    auto *a = new QValueAxis;
    a->setTitleText(title);
    chart->addAxis(a, side);
    return a;
}

} // namespace

void PlanPanel::showProgress() {
    QChart *chart = m_progress->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *old : chart->axes()) {
        chart->removeAxis(old);
        delete old;
    }
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setTitle(m_journal.unitValid()
                        ? tr("Unit %1 over its sweeps").arg(m_journal.unit().toHtmlEscaped())
                        : tr("Enter the unit's serial to follow its progress."));
    const auto &records = m_journal.records();
    const auto &inputs = m_session.inputs();
    if (records.empty() || !inputs)
        return;
    const QStringList names = elementNames(static_cast<int>(inputs->table.stages.size()));
    auto *loss = new QLineSeries;
    loss->setName(tr("Return loss (dB)"));
    loss->setPen(QPen(palette().color(QPalette::WindowText), 3));
    loss->setPointsVisible(true);
    std::vector<QLineSeries *> elements;
    for (const QString &name : names) {
        elements.push_back(new QLineSeries);
        elements.back()->setName(name);
        elements.back()->setPointsVisible(true);
    }
    double lossLow = 0, lossHigh = 30, errorHigh = 1;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const double x = static_cast<double>(i + 1);
        if (const auto db = records[i].returnLossDb; db && std::isfinite(*db)) {
            loss->append(x, *db);
            lossLow = std::min(lossLow, *db);
            lossHigh = std::max(lossHigh, *db);
        }
        const auto errors = recordedErrors(records[i].elements, inputs->table.first.bandwidth);
        if (!errors || errors->size() != elements.size())
            continue;
        for (std::size_t e = 0; e < elements.size(); ++e) {
            const double inTolerances = (*errors)[e].error / (*errors)[e].tolerance;
            elements[e]->append(x, inTolerances);
            errorHigh = std::max(errorHigh, std::abs(inTolerances));
        }
    }
    QValueAxis *sweeps = axis(chart, tr("Sweep"), Qt::AlignBottom);
    // Half a sweep either side, so that the first and last points show whole.
    sweeps->setRange(0.5, std::max<double>(2, static_cast<double>(records.size())) + 0.5);
    sweeps->setLabelFormat(QStringLiteral("%d"));
    sweeps->setTickType(QValueAxis::TicksDynamic);
    sweeps->setTickAnchor(1);
    sweeps->setTickInterval(std::max(1.0, std::ceil(static_cast<double>(records.size()) / 8)));
    QValueAxis *db = axis(chart, tr("Return loss (dB)"), Qt::AlignLeft);
    db->setRange(lossLow, std::ceil(lossHigh / 10) * 10);
    QValueAxis *error = axis(chart, tr("Error (tolerances)"), Qt::AlignRight);
    error->setRange(-std::ceil(errorHigh), std::ceil(errorHigh));
    chart->addSeries(loss);
    loss->attachAxis(sweeps);
    loss->attachAxis(db);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        QLineSeries *e = elements[i];
        chart->addSeries(e);
        // The theme has five colours: the next five elements dashed, and
        // so on, so that no two lines look alike.
        QPen pen = e->pen();
        pen.setStyle(std::array{Qt::SolidLine, Qt::DashLine, Qt::DotLine}[(i / 5) % 3]);
        e->setPen(pen);
        e->attachAxis(sweeps);
        e->attachAxis(error);
    }
}

} // namespace varnel
