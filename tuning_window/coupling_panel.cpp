#include "tuning_window/coupling_panel.h"

#include "number_text/number_text.h"
#include "tuning_window/design_texts.h"
#include "tuning_window/window_places.h"
#include "tuning_window/window_texts.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

const QColor withinColour(0x2e, 0x7d, 0x32), beyondColour(0xb0, 0x00, 0x20),
    unjudgedColour(0x88, 0x88, 0x88);

QColor colourOf(CouplingPanel::Judged judged) {
    switch (judged) {
    case CouplingPanel::Judged::Within:
        return withinColour;
    case CouplingPanel::Judged::Beyond:
        return beyondColour;
    case CouplingPanel::Judged::Unjudged:
        break;
    }
    return unjudgedColour;
}

// The judged element of a coupling from a to b (b = N + 1: the load), or
// of resonator a (b < 0), among a diagnosis's.
const JudgedElement *elementOf(const std::vector<JudgedElement> &elements, int a, int b,
                               int order) {
    for (const JudgedElement &e : elements) {
        const Finding &f = e.finding;
        if (b < 0 && f.element == Finding::Resonator && f.index == a)
            return &e;
        if (b < 0)
            continue;
        if (f.element == Finding::External &&
            ((f.index == 1 && a == 0 && b == 1) || (f.index == 2 && a == order && b == order + 1)))
            return &e;
        const int upper = f.toLoad ? order + 1 : f.index;
        if (f.element == Finding::Coupling && f.lowerEnd() == a && upper == b)
            return &e;
    }
    return nullptr;
}

} // namespace

CouplingPanel::CouplingPanel(TuningSession &session, QWidget *parent)
    : QWidget(parent), m_session(session) {
    setObjectName(QStringLiteral("couplingPanel"));
    auto *layout = new QVBoxLayout(this);
    m_caption = plainLabel("couplingCaption");
    layout->addWidget(m_caption);
    layout->addStretch(1);
    for (auto changed : {&TuningSession::inputsChanged, &TuningSession::reportChanged,
                         &TuningSession::viewChanged, &TuningSession::shownChanged})
        connect(&m_session, changed, this, &CouplingPanel::rebuild);
    setMinimumHeight(220);
    rebuild();
}

void CouplingPanel::rebuild() {
    m_edges.clear();
    m_nodes.clear();
    m_order = 0;
    const auto &inputs = m_session.inputs();
    if (!inputs) {
        m_caption->setText(tr("No filter: correct the inputs."));
        update();
        return;
    }
    const bool judged = m_session.wholeFilter() && m_session.shownCurrent();
    const std::vector<JudgedElement> none;
    const std::vector<JudgedElement> *elements = &none;
    if (const auto &design = inputs->design) {
        m_order = static_cast<int>(design->order);
        const CouplingMatrix &m = design->matrix;
        const CouplingPattern pattern = designPattern(*design);
        const auto &d = m_session.matrixDiagnosis();
        if (judged && d && d->outcome != Diagnosis::TooFar)
            elements = &d->elements;
        const auto n = static_cast<std::size_t>(m_order);
        m_edges.push_back({0, 1, m.at(0, 1)});
        for (std::size_t a = 1; a <= design->order; ++a)
            for (std::size_t b = a + 1; b <= design->order; ++b)
                if (pattern.at(a, b))
                    m_edges.push_back({static_cast<int>(a), static_cast<int>(b), m.at(a, b)});
        m_edges.push_back({m_order, m_order + 1, m.at(n, n + 1)});
        m_caption->setText(tr("Coupling matrix of the design: %1, order %2.")
                               .arg(topologyFor(design->topology))
                               .arg(m_order));
    } else {
        // The in-line filter: the chain of its couplings, k in the labels.
        m_order = static_cast<int>(inputs->table.stages.size());
        const auto &d = m_session.diagnosis();
        if (judged && d && d->outcome != Diagnosis::TooFar)
            elements = &d->elements;
        for (int i = 0; i <= m_order; ++i)
            m_edges.push_back({i, i + 1, 0});
        m_caption->setText(tr("The in-line filter, order %1.").arg(m_order));
    }
    for (Edge &e : m_edges)
        if (const JudgedElement *j = elementOf(*elements, e.from, e.to, m_order)) {
            e.percent = j->finding.percent;
            e.judged = std::abs(e.percent) <= j->tolerancePercent ? Judged::Within : Judged::Beyond;
        }
    for (int i = 1; i <= m_order; ++i) {
        Node node{i};
        if (const JudgedElement *j = elementOf(*elements, i, -1, m_order)) {
            node.percent = j->finding.percent;
            node.judged =
                std::abs(node.percent) <= j->tolerancePercent ? Judged::Within : Judged::Beyond;
        }
        m_nodes.push_back(node);
    }
    QString how = tr("Its couplings are judged in the whole filter's mode.");
    if (m_session.wholeFilter())
        how = elements->empty() ? tr("A current diagnosis of the whole filter colours each "
                                     "element by its error.")
                                : tr("Errors in % (resonators' in % of BW): green within the "
                                     "tolerance, red beyond.");
    m_caption->setText(m_caption->text() + QLatin1Char('\n') + how);
    update();
}

QString CouplingPanel::caption() const {
    return m_caption->text();
}

QPointF CouplingPanel::place(int node, const QRectF &area) const {
    // Top row: S, 1 .. ceil(N/2); bottom row: L, N .. ceil(N/2) + 1.
    const int top = (m_order + 1) / 2;
    const double step = area.width() / std::max(1, top);
    if (node == 0)
        return {area.left(), area.top()};
    if (node == m_order + 1)
        return {area.left(), area.bottom()};
    if (node <= top)
        return {area.left() + node * step, area.top()};
    return {area.left() + (m_order + 1 - node) * step, area.bottom()};
}

void CouplingPanel::paintEvent(QPaintEvent *) {
    if (m_order == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int radius = fontMetrics().height();
    const int captionBottom = m_caption->geometry().bottom();
    // Room for a label beside the last column; the rows no further apart
    // than the columns, so that the diagram keeps its shape on a tall panel.
    const double label = fontMetrics().horizontalAdvance(QStringLiteral("+00.0 %"));
    const double across = width() - radius * 2.5 - label - radius;
    const double step = across / std::max(1, (m_order + 1) / 2);
    const double rows = std::clamp(height() - captionBottom - radius * 5.0, radius * 3.0,
                                   std::max(radius * 3.0, step * 1.5));
    const QRectF area(radius * 2.5, captionBottom + radius * 2.5, across, rows);
    for (const Edge &e : m_edges) {
        const QPointF a = place(e.from, area), b = place(e.to, area);
        painter.setPen(QPen(colourOf(e.judged), e.judged == Judged::Beyond ? 3 : 2,
                            std::abs(e.to - e.from) == 1 ? Qt::SolidLine : Qt::DashLine));
        painter.drawLine(a, b);
        const QString label = e.judged != Judged::Unjudged ? qs(formatSigned(e.percent, 1)) + " %"
                              : e.value != 0               ? number(e.value, 3)
                                                           : QString();
        if (!label.isEmpty()) {
            const QPointF mid = (a + b) / 2 + QPointF(4, -4);
            painter.setPen(colourOf(e.judged));
            painter.drawText(mid, label);
        }
    }
    for (int node = 0; node <= m_order + 1; ++node) {
        const QPointF at = place(node, area);
        const bool resonator = node >= 1 && node <= m_order;
        const Judged judged =
            resonator ? m_nodes[static_cast<std::size_t>(node - 1)].judged : Judged::Unjudged;
        painter.setPen(QPen(colourOf(judged), judged == Judged::Beyond ? 3 : 2));
        painter.setBrush(palette().base());
        painter.drawEllipse(at, radius, radius);
        painter.setPen(palette().text().color());
        const QString name = node == 0             ? QStringLiteral("S")
                             : node == m_order + 1 ? QStringLiteral("L")
                                                   : QString::number(node);
        painter.drawText(QRectF(at.x() - radius, at.y() - radius, 2 * radius, 2 * radius),
                         Qt::AlignCenter, name);
        if (resonator && judged != Judged::Unjudged) {
            painter.setPen(colourOf(judged));
            const double below = at.y() < area.center().y() ? -radius * 1.3 : radius * 2.1;
            painter.drawText(
                QPointF(at.x() - radius, at.y() + below),
                qs(formatSigned(m_nodes[static_cast<std::size_t>(node - 1)].percent, 1)) + " %");
        }
    }
}

} // namespace varnel
