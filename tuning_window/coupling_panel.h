#pragma once

#include "tuning_window/tuning_session.h"

#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QLabel;

namespace varnel {

// The whole filter's coupling diagram: the source, the resonators and the
// load as nodes, the couplings the topology allows as edges, each coloured
// by its error in the diagnosis on screen (green within its tolerance, red
// beyond; grey while there is no current diagnosis to judge it by). The
// nodes lie folded, 1 to N/2 along the top and the rest back along the
// bottom, so that a folded filter's cross-couplings are the rungs.
// Example: a folded order-6 design with coupling 2-5 6 % strong -> edge
// 2-5 red labelled "+6.0 %", the others green; no sweep -> every edge
// grey, labelled with the design's value.
class CouplingPanel : public QWidget {
    Q_OBJECT
  public:
    explicit CouplingPanel(TuningSession &session, QWidget *parent = nullptr);

    enum class Judged { Unjudged, Within, Beyond };
    struct Edge {
        int from = 0, to = 0; // 0 the source, N + 1 the load
        double value = 0;     // the design's
        Judged judged = Judged::Unjudged;
        double percent = 0;
    };
    struct Node {
        int index = 0;
        Judged judged = Judged::Unjudged;
        double percent = 0;
    };
    // What is drawn (test hooks).
    const std::vector<Edge> &edges() const { return m_edges; }
    const std::vector<Node> &nodes() const { return m_nodes; }
    QString caption() const;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    void rebuild();
    QPointF place(int node, const QRectF &area) const;

    TuningSession &m_session;
    QLabel *m_caption = nullptr;
    int m_order = 0;
    std::vector<Edge> m_edges;
    std::vector<Node> m_nodes;
};

} // namespace varnel
