#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// The tolerance drawn around the target: at every point of the sweep the
// target delay (through the same aperture as the measured one) plus and
// minus the tolerance in percent of it, and the stretches where the measured
// delay leaves that band, so that a tuner sees at a glance where the whole
// curve is out, not only at f0.
// Worked example: target 100 ns at four points, measured 100, 103, 97 and
// 101 ns, tolerance 2 % -> the band 98 to 102 ns, one stretch outside,
// points 1 and 2 ([1, 3)). A point whose delay is not a finite number is
// neither in nor out.
namespace varnel {

struct ToleranceBand {
    std::vector<double> lowerNs, upperNs;
    // Runs of consecutive points outside, [first, past the last).
    std::vector<std::pair<std::size_t, std::size_t>> outside;
};

ToleranceBand toleranceBand(const std::vector<double> &targetNs,
                            const std::vector<double> &measuredNs, double tolerancePercent);

} // namespace varnel
