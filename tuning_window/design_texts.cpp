#include "tuning_window/design_texts.h"

#include "number_text/number_text.h"
#include "tuning_window/tune_window.h"
#include "tuning_window/window_texts.h"

namespace varnel {

QString topologyFor(const TopologyChoice &choice) {
    switch (choice.topology) {
    case Topology::Inline:
        return TuneWindow::tr("in-line");
    case Topology::Folded:
        return TuneWindow::tr("folded");
    case Topology::Triplets:
        return TuneWindow::tr("cascaded triplets");
    case Topology::Quadruplets:
        return TuneWindow::tr("cascaded quadruplets");
    case Topology::Listed:
        break;
    }
    return qs(topologyName(choice));
}

QString designRefusalFor(const DesignRefusal &r) {
    const QString zero = qs(formatShortest(r.zeroMHz));
    const QString filter = topologyFor(r.topology);
    switch (r.kind) {
    case DesignRefusal::ZeroNotPositive:
        return TuneWindow::tr("The zero at %1 MHz is not above 0 MHz.").arg(zero);
    case DesignRefusal::ZeroInBand:
        return TuneWindow::tr("The zero at %1 MHz is inside the band: a transmission zero lies "
                              "beside it, outside.")
            .arg(zero);
    case DesignRefusal::TooManyZeros:
        if (r.topology.topology == Topology::Inline)
            return TuneWindow::tr("An in-line filter makes no transmission zeros: choose the "
                                  "folded topology.");
        return TuneWindow::tr("With the %1 topology a filter of this order makes at most %2 "
                              "transmission zeros.")
            .arg(filter)
            .arg(r.most);
    case DesignRefusal::NotPairs:
        return TuneWindow::tr("Cascaded quadruplets make symmetric pairs: the zero at %1 MHz and "
                              "the zero after it are not one (f1 x f2 = f0^2).")
            .arg(zero);
    case DesignRefusal::ListBeyondOrder:
        return TuneWindow::tr("The coupling list names resonator %1, beyond the order.")
            .arg(r.most);
    case DesignRefusal::CannotRealise:
        return TuneWindow::tr("The %1 topology cannot realise these zeros: list them in another "
                              "order or choose the folded topology.")
            .arg(filter);
    case DesignRefusal::Inaccurate:
        break;
    }
    return TuneWindow::tr("The synthesis of this order loses its precision: its matrix misses the "
                          "response.");
}

QString designProblemFor(const InputProblem &p) {
    switch (p.kind) {
    case InputProblem::NotAZero:
        return TuneWindow::tr("Enter the zeros in MHz separated by commas, with a decimal point.");
    case InputProblem::NotATopology:
        return TuneWindow::tr("Enter inline, folded, ct, cq or a list of couplings such as "
                              "1-2,2-3,1-3.");
    case InputProblem::DesignRefused:
        return designRefusalFor(*p.designRefusal);
    default:
        break;
    }
    return {};
}

} // namespace varnel
