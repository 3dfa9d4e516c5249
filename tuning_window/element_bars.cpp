#include "tuning_window/element_bars.h"

#include "number_text/number_text.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

// The bars reach 3 tolerances either way; beyond, they are cut.
constexpr double reach = 3;

} // namespace

ElementBars::ElementBars(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("elementBars"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElementBars::setElements(std::vector<JudgedElement> elements) {
    m_elements = std::move(elements);
    setVisible(!m_elements.empty());
    QStringList described;
    for (const JudgedElement &e : m_elements)
        described << labelOf(e.finding) + QLatin1Char(' ') +
                         QString::fromStdString(formatFixed(e.finding.percent, 2));
    setAccessibleDescription(described.join(QStringLiteral(", ")));
    update();
}

QSize ElementBars::sizeHint() const {
    return {240, 8 * fontMetrics().height() + 48};
}

QSize ElementBars::minimumSizeHint() const {
    return {120, sizeHint().height()};
}

QString ElementBars::valueOf(const JudgedElement &e) {
    const QString digits = QString::fromStdString(formatFixed(std::abs(e.finding.percent), 1));
    return (e.finding.percent < 0 && digits != QStringLiteral("0.0") ? QStringLiteral("−")
                                                                     : QStringLiteral("+")) +
           digits;
}

QString ElementBars::labelOf(const Finding &f) {
    switch (f.element) {
    case Finding::Resonator:
        return QString::number(f.index);
    case Finding::External:
        return f.index == 1 ? QStringLiteral("Qe") : QStringLiteral("Qe2");
    case Finding::Coupling:
        break;
    }
    const auto end = [](int node, bool load) {
        return node == 0 ? QStringLiteral("S") : load ? QStringLiteral("L") : QString::number(node);
    };
    return QStringLiteral("%1–%2").arg(end(f.lowerEnd(), false), end(f.index, f.toLoad));
}

QRect ElementBars::plotArea() const {
    // Room for the values above and below, the scale on the left, and the
    // labels and captions under it.
    const int text = fontMetrics().height();
    const int scale = fontMetrics().horizontalAdvance(tr("+tol")) + 6;
    return rect().adjusted(scale, text + 4, -4, -(3 * text + 6));
}

int ElementBars::slotAt(QPoint point) const {
    const QRect area = plotArea();
    if (m_elements.empty() || point.x() < area.left() || point.x() > area.right())
        return -1;
    const int slot =
        static_cast<int>((point.x() - area.left()) * static_cast<double>(m_elements.size()) /
                         std::max(1, area.width()));
    return std::clamp(slot, 0, static_cast<int>(m_elements.size()) - 1);
}

bool ElementBars::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int slot = slotAt(help->pos());
        if (slot < 0) {
            QToolTip::hideText();
            return true;
        }
        const JudgedElement &e = m_elements[static_cast<std::size_t>(slot)];
        const QString value = QString::fromStdString(formatFixed(e.finding.percent, 2));
        const QString tolerance = QString::fromStdString(formatShortest(e.tolerancePercent));
        QToolTip::showText(
            help->globalPos(),
            e.finding.element == Finding::Resonator
                ? tr("Resonator %1: %2 % of BW (tolerance %3 %)")
                      .arg(labelOf(e.finding), value, tolerance)
                : tr("%1: %2 % (tolerance %3 %)").arg(labelOf(e.finding), value, tolerance),
            this);
        return true;
    }
    return QWidget::event(event);
}

void ElementBars::paintEvent(QPaintEvent *) {
    if (m_elements.empty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect area = plotArea();
    const double middle = area.center().y();
    const double half = area.height() / 2.0;
    auto yOf = [&](double tolerances) { return middle - tolerances / reach * half; };

    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawLine(QPointF(area.left(), middle), QPointF(area.right(), middle));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    for (const double at : {1.0, -1.0})
        painter.drawLine(QPointF(area.left(), yOf(at)), QPointF(area.right(), yOf(at)));
    // The scale: the dashed lines are each element's own tolerance.
    const int text = fontMetrics().height();
    painter.setPen(palette().color(QPalette::WindowText));
    for (const auto &[at, name] : {std::pair{1.0, tr("+tol")}, std::pair{-1.0, tr("−tol")}})
        painter.drawText(QRectF(0, yOf(at) - text / 2.0, area.left() - 4, text),
                         Qt::AlignRight | Qt::AlignVCenter, name);

    const double slot = area.width() / static_cast<double>(m_elements.size());
    int resonators = 0;
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const JudgedElement &e = m_elements[i];
        resonators += e.finding.element == Finding::Resonator ? 1 : 0;
        const double tolerances = e.finding.percent / e.tolerancePercent;
        const bool out = std::abs(tolerances) > 1;
        const double shown = std::clamp(tolerances, -reach, reach);
        const double left = area.left() + slot * (static_cast<double>(i) + 0.2);
        const QRectF bar(QPointF(left, std::min(middle, yOf(shown))),
                         QPointF(left + slot * 0.6, std::max(middle, yOf(shown))));
        const QColor colour = out ? QColor(0xb0, 0x00, 0x20) : QColor(0x1b, 0x7f, 0x3b);
        painter.fillRect(bar, colour);
        if (std::abs(tolerances) > reach) { // cut: an arrow head at the edge
            const double tip = tolerances > 0 ? area.top() - 2.0 : area.bottom() + 2.0;
            const double base = tolerances > 0 ? area.top() + 4.0 : area.bottom() - 4.0;
            const QPointF head[] = {
                {left, base}, {left + slot * 0.6, base}, {left + slot * 0.3, tip}};
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawPolygon(head, 3);
        }
        painter.setPen(palette().color(QPalette::WindowText));
        // The value beyond the bar's end, above a rising bar, below a falling one.
        const double end = tolerances >= 0 ? bar.top() - text - 1 : bar.bottom() + 1;
        painter.drawText(QRectF(area.left() + slot * static_cast<double>(i), end, slot, text),
                         Qt::AlignHCenter | Qt::AlignTop, valueOf(e));
        painter.drawText(QRectF(area.left() + slot * static_cast<double>(i),
                                area.bottom() + text + 2, slot, text),
                         Qt::AlignHCenter | Qt::AlignTop, labelOf(e.finding));
    }
    // The two groups' captions under their labels.
    const double split = area.left() + slot * resonators;
    painter.drawText(QRectF(area.left(), area.bottom() + 3 + 2 * text, split - area.left(), text),
                     Qt::AlignHCenter | Qt::AlignTop, tr("Resonators (% of BW)"));
    painter.drawText(QRectF(split, area.bottom() + 3 + 2 * text, area.right() - split, text),
                     Qt::AlignHCenter | Qt::AlignTop, tr("Couplings (%)"));
}

} // namespace varnel
