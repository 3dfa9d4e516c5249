#include "tuning_window/element_bars.h"

#include "number_text/number_text.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

// The bars reach 3 tolerances either way; beyond, they are cut.
constexpr double reach = 3;

// Which of the texts centred at `centres` are drawn, none overlapping
// another: those that matter (`first`) first, then the rest from the left.
// Example: five labels 30 px wide 20 px apart, the third first -> the
// first, third and fifth.
std::vector<bool> unoverlapped(const QFontMetrics &metrics, const QStringList &texts,
                               const std::vector<double> &centres, const std::vector<bool> &first) {
    std::vector<bool> drawn(centres.size(), false);
    std::vector<std::pair<double, double>> taken;
    const auto place = [&](std::size_t i) {
        const double half = metrics.horizontalAdvance(texts[static_cast<qsizetype>(i)]) / 2.0 + 2;
        const double from = centres[i] - half, to = centres[i] + half;
        for (const auto &[a, b] : taken)
            if (from < b && a < to)
                return;
        taken.emplace_back(from, to);
        drawn[i] = true;
    };
    for (const bool pass : {true, false})
        for (std::size_t i = 0; i < centres.size(); ++i)
            if (first[i] == pass)
                place(i);
    return drawn;
}

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

ElementBars::Shown ElementBars::shownTexts(const std::vector<double> &centres) const {
    // The values and labels that fit; the tool tip gives every one.
    Shown shown;
    auto &[values, labels, out, valueDrawn, labelDrawn] = shown;
    std::vector<bool> rising;
    for (const JudgedElement &e : m_elements) {
        values << valueOf(e);
        labels << labelOf(e.finding);
        out.push_back(std::abs(e.finding.percent) > e.tolerancePercent);
        rising.push_back(e.finding.percent >= 0);
    }
    labelDrawn = unoverlapped(fontMetrics(), labels, centres, out);
    valueDrawn.assign(m_elements.size(), false);
    for (const bool side : {true, false}) {
        // Values above the axis and below it each keep to their own row.
        std::vector<double> at = centres;
        for (std::size_t i = 0; i < at.size(); ++i)
            if (rising[i] != side)
                at[i] = -1e9 - 1e6 * static_cast<double>(i); // far off: never in the way
        const std::vector<bool> drawn = unoverlapped(fontMetrics(), values, at, out);
        for (std::size_t i = 0; i < drawn.size(); ++i)
            if (rising[i] == side)
                valueDrawn[i] = drawn[i];
    }
    return shown;
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
    std::vector<double> centres;
    for (std::size_t i = 0; i < m_elements.size(); ++i)
        centres.push_back(area.left() + slot * (static_cast<double>(i) + 0.5));
    const Shown shown = shownTexts(centres);
    const auto &[values, labels, out, valueDrawn, labelDrawn] = shown;
    int resonators = 0;
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const JudgedElement &e = m_elements[i];
        resonators += e.finding.element == Finding::Resonator ? 1 : 0;
        const double tolerances = e.finding.percent / e.tolerancePercent;
        const double shown = std::clamp(tolerances, -reach, reach);
        const double left = area.left() + slot * (static_cast<double>(i) + 0.2);
        const QRectF bar(QPointF(left, std::min(middle, yOf(shown))),
                         QPointF(left + slot * 0.6, std::max(middle, yOf(shown))));
        const QColor colour = out[i] ? QColor(0xb0, 0x00, 0x20) : QColor(0x1b, 0x7f, 0x3b);
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
        const QRectF wide(centres[i] - 2 * slot - 40, end, 4 * slot + 80, text);
        if (valueDrawn[i])
            painter.drawText(wide, Qt::AlignHCenter | Qt::AlignTop,
                             values[static_cast<qsizetype>(i)]);
        if (labelDrawn[i])
            painter.drawText(wide.translated(0, area.bottom() + text + 2 - end),
                             Qt::AlignHCenter | Qt::AlignTop, labels[static_cast<qsizetype>(i)]);
    }
    // The two groups' captions under their labels.
    const double split = area.left() + slot * resonators;
    painter.drawText(QRectF(area.left(), area.bottom() + 3 + 2 * text, split - area.left(), text),
                     Qt::AlignHCenter | Qt::AlignTop, tr("Resonators (% of BW)"));
    painter.drawText(QRectF(split, area.bottom() + 3 + 2 * text, area.right() - split, text),
                     Qt::AlignHCenter | Qt::AlignTop, tr("Couplings (%)"));
}

} // namespace varnel
