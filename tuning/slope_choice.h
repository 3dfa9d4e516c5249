#pragma once

#include "tuning/in_parallel.h"
#include "tuning/least_squares.h"
#include "tuning/trace_noise.h"
#include "tuning/verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

// The choice between a fit with the couplings' slopes held (as given, else
// 0) and fits with them free, for a stage and for a whole filter alike. A
// fit's chi-square is 2 m rms^2 / noise^2 over its m points (two real rows
// each). The best free fit is taken where it explains the sweep clearly
// better (a gain above 16: chi-square of 2 degrees beyond 99.9 %) or where
// only it matches; else the held one. Either is marked ambiguous where
//   - another plausible fit that matches is within 16 of the best and puts
//     an element on the other side of its tolerance by more than half of it;
//   - the free slopes leave an element too uncertain for its tolerance that
//     the held fit pins, where they hint (a gain above 4, beyond 86 % of
//     what noise gives) or put it on the other side of its tolerance: the
//     held fit's precision is then that of slopes assumed, not measured;
//   - the free fit taken has slopes beyond 1.5 x their prior (0 +- 1.5):
//     not what filters have.
// Worked example: 401 points at noise 1e-3, a held fit at rms 1.2e-3 and a
// free one at 1.0e-3: chi-square 1155 and 802, gain 353 > 16, the free fit.
namespace varnel {

inline constexpr double slopePrior = 1.5;
inline constexpr double slopeHint = 4;
inline constexpr double slopeGain = 16;

inline double fitChiSquare(std::size_t points, double rms, double noise) {
    return 2 * static_cast<double>(points) * rms * rms / (noise * noise);
}

// Whether two fits put an element on either side of its tolerance by more
// than half of it.
inline bool elementsDisagree(const std::vector<JudgedElement> &a,
                             const std::vector<JudgedElement> &b) {
    for (std::size_t e = 0; e < a.size(); ++e) {
        const double x = a[e].finding.percent, y = b[e].finding.percent,
                     tolerance = a[e].tolerancePercent;
        if ((std::abs(x) > tolerance) != (std::abs(y) > tolerance) &&
            std::abs(x - y) > tolerance / 2)
            return true;
    }
    return false;
}

// Slopes within 1.5 x their prior: what filters have.
template <class Fit> bool plausibleSlopes(const Fit &fit) {
    return std::abs(fit.couplingSlope) <= 1.5 * slopePrior &&
           std::abs(fit.qeSlope) <= 1.5 * slopePrior;
}

// Fit: converged, residualRms, noiseDb, matchesSweep(), couplingSlope,
// qeSlope, slopeAmbiguous; `elementsOf(fit)` its judged elements.
template <class Fit, class ElementsOf>
Fit chooseSlopes(Fit held, std::vector<Fit> free, std::size_t pointCount, ElementsOf elementsOf) {
    const double noise = std::max(std::pow(10.0, held.noiseDb / 20), residualResolution);
    auto chi2 = [&](const Fit &fit) { return fitChiSquare(pointCount, fit.residualRms, noise); };
    std::erase_if(free, [](const Fit &fit) { return !fit.converged || !fit.matchesSweep(); });
    if (free.empty())
        return held;
    std::sort(free.begin(), free.end(),
              [](const Fit &a, const Fit &b) { return a.residualRms < b.residualRms; });
    const double gain = chi2(held) - chi2(free.front());
    const bool useFree = gain > slopeGain || !held.matchesSweep();
    Fit chosen = useFree ? free.front() : held;
    const std::vector<JudgedElement> a = elementsOf(chosen);
    auto plausible = [](const Fit &fit) { return plausibleSlopes(fit); };
    bool ambiguous = useFree && !plausible(chosen);
    std::vector<const Fit *> rivals = {&held};
    for (const Fit &fit : free)
        rivals.push_back(&fit);
    // The slopes the doubt names: those of the fit that disagrees.
    const Fit *named = &free.front();
    for (const Fit *rival : rivals)
        if (!ambiguous && plausible(*rival) && rival->matchesSweep() &&
            chi2(*rival) - chi2(free.front()) <= slopeGain &&
            elementsDisagree(a, elementsOf(*rival))) {
            ambiguous = true;
            named = rival == &held ? &free.front() : rival;
        }
    if (!useFree) {
        const std::vector<JudgedElement> b = elementsOf(free.front());
        for (std::size_t e = 0; e < a.size(); ++e) {
            const double tolerance = a[e].tolerancePercent;
            const double limit = tolerance / uncertaintiesInTolerance;
            const bool blurred = a[e].finding.uncertaintyPercent <= limit &&
                                 !(b[e].finding.uncertaintyPercent <= limit);
            const bool otherSide = (std::abs(a[e].finding.percent) > tolerance) !=
                                   (std::abs(b[e].finding.percent) > tolerance);
            ambiguous = ambiguous || (blurred && (gain > slopeHint || otherSide));
        }
    }
    if (ambiguous) {
        chosen.slopeAmbiguous = true;
        chosen.couplingSlope = named->couplingSlope;
        chosen.qeSlope = named->qeSlope;
    }
    return chosen;
}

// A fit again as another resonator kind (`fitAt(couplingSlope, qeSlope)`),
// at the fit's slopes and at those given (else 0): slopes bend the response
// as the other mapping does, so the fit's may stand for it. The one at the
// given slopes is taken where it converged and ends no worse; where both
// are the same slopes, it is fitted once.
template <class Fit, class FitAt>
Fit refitAtSlopes(const Fit &fit, std::optional<double> couplingSlope,
                  std::optional<double> qeSlope, FitAt fitAt) {
    const std::pair<double, double> slopes[2] = {{fit.couplingSlope, fit.qeSlope},
                                                 {couplingSlope.value_or(0), qeSlope.value_or(0)}};
    const std::size_t count = slopes[0] == slopes[1] ? 1 : 2;
    std::vector<Fit> both =
        inParallel(count, [&](std::size_t i) { return fitAt(slopes[i].first, slopes[i].second); });
    const bool atGiven =
        count == 2 && both[1].converged && !(both[1].residualRms >= both[0].residualRms);
    return std::move(both[atGiven ? 1 : 0]);
}

// Of a fit with the resonator kind given and one with the other kind: what
// the other is worth. Below 1 % FBW the kinds' mappings differ by less than
// a sweep tells, so the other is not fitted (`none`); else it is `better`
// where it matches and its chi-square is lower by more than 16, `rival`
// where it is lower at all.
enum class KindRivalry { None, Worse, Rival, Better };
inline constexpr double kindsApartFbw = 0.01;
template <class Fit>
KindRivalry kindRivalry(const Fit &given, const Fit &other, std::size_t pointCount) {
    if (!other.converged || !other.matchesSweep())
        return KindRivalry::Worse;
    const double noise = std::max(std::pow(10.0, given.noiseDb / 20), residualResolution);
    const double gain = fitChiSquare(pointCount, given.residualRms, noise) -
                        fitChiSquare(pointCount, other.residualRms, noise);
    if (gain > slopeGain || (!given.matchesSweep() && gain > 0))
        return KindRivalry::Better;
    return gain > 0 ? KindRivalry::Rival : KindRivalry::Worse;
}

} // namespace varnel
