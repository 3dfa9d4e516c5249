#pragma once

#include "tuning/slope_choice.h"
#include "tuning/stage_model.h"

#include <algorithm>
#include <cmath>
#include <vector>

// A waveguide's cut-off, where it is not given, is fitted by the fit's
// chi-square (slope_choice.h): refitted, from the last scanned fit that
// settled, at each cut-off of the scan, fc/f0 = 0.30, 0.45, 0.55, 0.65, 0.72, 0.78, 0.84,
// 0.89, 0.93 (those below 0.98 of the band's lower edge), then by golden
// section between the two neighbours of the best, to 0.001 f0. A cut-off
// far below the band bends the skirts little, so a narrow band hardly
// tells it: the range of cut-offs whose chi-square is within 16 of the best
// (slopeGain) is kept, and it is ambiguous where one of them puts an
// element on the other side of its tolerance by more than half of it
// (elementsDisagree): then the verdict asks for the cut-off.
// Worked example: f0 1000 MHz, BW 10 MHz: the lower edge 995 MHz caps the
// scan at 975.1 MHz, so every step is scanned; at BW 600 MHz (edge 700)
// the cap is 686 MHz and the scan stops at 650 MHz.
namespace varnel {

inline constexpr double cutoffScan[] = {0.30, 0.45, 0.55, 0.65, 0.72, 0.78, 0.84, 0.89, 0.93};

// Where a fit starts before the cut-off is fitted: the scan's middle.
inline double startingCutoff(double f0, double fbw);

// The scan's cut-offs (MHz) for a band of fractional width fbw at f0.
inline std::vector<double> cutoffCandidates(double f0, double fbw) {
    const double cap = 0.98 * f0 * (1 - fbw / 2);
    std::vector<double> mhz;
    for (const double ratio : cutoffScan)
        if (ratio * f0 < cap)
            mhz.push_back(ratio * f0);
    return mhz;
}

inline double startingCutoff(double f0, double fbw) {
    const std::vector<double> mhz = cutoffCandidates(f0, fbw);
    return mhz.empty() ? 0 : mhz[mhz.size() / 2];
}

// Fit: model.cutoff, converged, residualRms, noiseDb, matchesSweep(),
// fittedCutoff; `refit(from, cutoffMHz)` the fit refitted at that cut-off
// from `from`; `elementsOf(fit)` its judged elements.
template <class Fit, class Refit, class ElementsOf>
Fit fitCutoff(const Fit &start, double f0, double fbw, std::size_t pointCount, Refit refit,
              ElementsOf elementsOf) {
    const std::vector<double> candidates = cutoffCandidates(f0, fbw);
    if (candidates.empty())
        return start;
    const double noise = std::max(std::pow(10.0, start.noiseDb / 20), residualResolution);
    auto chi2 = [&](const Fit &fit) {
        return fit.converged ? fitChiSquare(pointCount, fit.residualRms, noise) : HUGE_VAL;
    };
    std::vector<Fit> tried;
    tried.reserve(candidates.size() + 2);
    // Each from the last that settled: the cut-off moves the fit a little.
    for (const double fc : candidates) {
        const Fit &from = !tried.empty() && tried.back().converged ? tried.back() : start;
        tried.push_back(refit(from, fc));
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < tried.size(); ++i)
        if (chi2(tried[i]) < chi2(tried[best]))
            best = i;
    // Golden section between the best's neighbours.
    double a = best > 0 ? candidates[best - 1] : 0.5 * candidates[0];
    double b = best + 1 < candidates.size() ? candidates[best + 1] : candidates[best];
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    Fit bestFit = tried[best];
    double x1 = b - ratio * (b - a), x2 = a + ratio * (b - a);
    Fit f1 = refit(bestFit, x1), f2 = refit(bestFit, x2);
    while (b - a > 0.001 * f0) {
        if (chi2(f1) <= chi2(f2)) {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - ratio * (b - a);
            f1 = refit(f2, x1);
        } else {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + ratio * (b - a);
            f2 = refit(f1, x2);
        }
    }
    for (const Fit *fit : {&f1, &f2})
        if (chi2(*fit) < chi2(bestFit))
            bestFit = *fit;
    tried.push_back(f1);
    tried.push_back(f2);
    // The cut-offs that explain the sweep as well.
    CutoffRange range{bestFit.model.cutoff, bestFit.model.cutoff, false};
    const std::vector<JudgedElement> elements = elementsOf(bestFit);
    for (const Fit &fit : tried) {
        if (!fit.matchesSweep() || chi2(fit) - chi2(bestFit) > slopeGain)
            continue;
        range.lowMHz = std::min(range.lowMHz, fit.model.cutoff);
        range.highMHz = std::max(range.highMHz, fit.model.cutoff);
        range.ambiguous = range.ambiguous || elementsDisagree(elements, elementsOf(fit));
    }
    bestFit.fittedCutoff = range;
    return bestFit;
}

} // namespace varnel
