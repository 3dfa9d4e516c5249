#pragma once

#include "tuning/verdict.h"

#include <QWidget>

#include <vector>

namespace varnel {

// A compact bar chart of a fitted stage: one bar an element (the resonators
// in % of BW, then Qe and the couplings in %), each scaled to its own
// tolerance so that the dashed lines at +-1 tolerance hold for all; a bar
// beyond them is drawn in the fail colour, and one beyond 3 tolerances is
// cut at the edge with an arrow head. Each bar carries its value at its
// end (so that a cut bar still says how far it goes), and the dashed lines
// are labelled as the tolerance. The numbers are the core's
// (judgedElements); the widget only draws them.
// Example: resonator 2 at +2.5 % of BW with a tolerance of 2 %: its bar
// rises 1.25 tolerances, past the upper dashed line, in red, labelled
// "+2.5"; a coupling 8.04 % strong against 2 % is cut at 3 tolerances and
// labelled "+8.0".
class ElementBars : public QWidget {
    Q_OBJECT
  public:
    explicit ElementBars(QWidget *parent = nullptr);
    void setElements(std::vector<JudgedElement> elements);
    const std::vector<JudgedElement> &elements() const { return m_elements; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The value written at a bar's end: its percent, signed, to 0.1.
    static QString valueOf(const JudgedElement &element);

  protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

  private:
    // The element's short label under its bar: "1", "Qe", "1–2", "Qe2".
    static QString labelOf(const Finding &finding);
    // Each bar's value and label, whether it is out of tolerance, and which
    // of the values and labels are drawn (none overlapping another, those
    // out of tolerance first), for bars centred at `centres`.
    struct Shown {
        QStringList values, labels;
        std::vector<bool> out, valueDrawn, labelDrawn;
    };
    Shown shownTexts(const std::vector<double> &centres) const;
    // The bar slot under a point, or -1.
    int slotAt(QPoint point) const;
    QRect plotArea() const;

    std::vector<JudgedElement> m_elements;
};

} // namespace varnel
