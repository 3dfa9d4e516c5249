#include "tuning/tolerance_band.h"

#include <cmath>

namespace varnel {

ToleranceBand toleranceBand(const std::vector<double> &targetNs,
                            const std::vector<double> &measuredNs, double tolerancePercent) {
    ToleranceBand band;
    const std::size_t n = std::min(targetNs.size(), measuredNs.size());
    band.lowerNs.reserve(n);
    band.upperNs.reserve(n);
    const double share = tolerancePercent / 100;
    bool out = false;
    for (std::size_t i = 0; i < n; ++i) {
        const double margin = std::abs(targetNs[i]) * share;
        band.lowerNs.push_back(targetNs[i] - margin);
        band.upperNs.push_back(targetNs[i] + margin);
        const double m = measuredNs[i];
        const bool leaves = std::isfinite(m) && std::isfinite(targetNs[i]) &&
                            (m < band.lowerNs.back() || m > band.upperNs.back());
        if (leaves && !out)
            band.outside.push_back({i, i + 1});
        else if (leaves)
            band.outside.back().second = i + 1;
        out = leaves;
    }
    return band;
}

} // namespace varnel
