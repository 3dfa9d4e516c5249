#include "tuning/stage_lobes.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

// The lowest point between each point and the nearest strictly higher one
// on one side (or that side's end), in one pass with a stack of the points
// not yet topped, from the left or from the right; each point's base goes
// to `visit` as it is found, so that nothing a point is kept. The stack
// grows by chunks, never copied: on a falling trace it holds most points.
template <class Visit>
void basesOnOneSide(const std::vector<double> &ys, bool fromLeft, Visit visit) {
    struct Standing {
        double value;
        double gapBefore; // the lowest point between it and the one beneath it
    };
    std::deque<Standing> stack;
    const double none = std::numeric_limits<double>::infinity();
    double pending = none; // the lowest point between the top and this one
    for (std::size_t n = 0; n < ys.size(); ++n) {
        const std::size_t i = fromLeft ? n : ys.size() - 1 - n;
        while (!stack.empty() && stack.back().value <= ys[i]) {
            pending = std::min({pending, stack.back().value, stack.back().gapBefore});
            stack.pop_back();
        }
        visit(i, std::min(pending, ys[i]));
        stack.push_back({ys[i], pending});
        pending = none;
    }
}

bool localMaximum(const std::vector<double> &ys, std::size_t i) {
    return i >= 1 && i + 1 < ys.size() && ys[i] > ys[i - 1] && ys[i] >= ys[i + 1];
}

} // namespace

std::vector<std::size_t> prominentPeaks(const std::vector<double> &ys, double prominence) {
    // The local maxima that stand out on the left, then those of them that
    // stand out on the right too: only candidates are kept.
    std::vector<std::size_t> candidates;
    basesOnOneSide(ys, true, [&](std::size_t i, double base) {
        if (localMaximum(ys, i) && ys[i] - base >= prominence)
            candidates.push_back(i);
    });
    std::vector<bool> right(candidates.size(), false);
    std::size_t next = candidates.size();
    basesOnOneSide(ys, false, [&](std::size_t i, double base) {
        if (next > 0 && candidates[next - 1] == i) {
            --next;
            right[next] = ys[i] - base >= prominence;
        }
    });
    std::vector<std::size_t> peaks;
    for (std::size_t c = 0; c < candidates.size(); ++c)
        if (right[c])
            peaks.push_back(candidates[c]);
    return peaks;
}

std::vector<std::size_t> lobeIndices(const std::vector<double> &ys, std::size_t count) {
    const double highest = ys.empty() ? 0 : *std::max_element(ys.begin(), ys.end());
    std::vector<std::size_t> peaks = prominentPeaks(ys, 1e-3 * std::abs(highest));
    std::sort(peaks.begin(), peaks.end(),
              [&](std::size_t a, std::size_t b) { return ys[a] > ys[b]; });
    if (peaks.size() > count)
        peaks.resize(count);
    std::sort(peaks.begin(), peaks.end());
    return peaks;
}

std::size_t targetStride(std::size_t midFrequencies) {
    if (midFrequencies <= wholeTargetPoints)
        return 1;
    return (midFrequencies + sampledTargetPoints - 1) / sampledTargetPoints;
}

namespace {

std::complex<double> targetS11(const StageModel &model, double f) {
    return f > 0 ? stageResponse(model, f).s11 : std::complex<double>(1, 0);
}

// The target's delay at mid-frequency j as the whole trace has it: the
// phase unwrapped step by step over the aperture's points.
double targetDelayAt(const StageModel &model, const std::vector<double> &f, std::size_t j,
                     std::size_t steps) {
    std::vector<std::complex<double>> s(steps + 1);
    for (std::size_t k = 0; k <= steps; ++k)
        s[k] = targetS11(model, f[j + k]);
    const std::vector<double> local(f.begin() + static_cast<std::ptrdiff_t>(j),
                                    f.begin() + static_cast<std::ptrdiff_t>(j + steps + 1));
    const std::vector<double> phase = unwrappedPhase(local, s, 0);
    return -(phase[steps] - phase[0]) / (2 * std::numbers::pi * (f[j + steps] - f[j])) * 1000;
}

void wholeTarget(TargetDelays &t, const StageModel &model, const std::vector<double> &f,
                 std::size_t steps, double f0, std::size_t lobeCount) {
    std::vector<std::complex<double>> target(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        target[i] = targetS11(model, f[i]);
    DelayTrace trace = groupDelay(f, target, steps, 0);
    t.undefined = trace.undefined;
    for (std::size_t i = 0; i < trace.delayNs.size() && !t.notFiniteAt; ++i)
        if (!std::isfinite(trace.delayNs[i])) {
            t.notFiniteAt = i;
            t.undefinedPhase = std::isnan(trace.delayNs[i]);
        }
    t.atF0 = interpolate(trace.fMHz, trace.delayNs, f0);
    t.lobes = lobeIndices(trace.delayNs, lobeCount);
    for (const std::size_t lobe : t.lobes)
        t.lobeDelaysNs.push_back(trace.delayNs[lobe]);
    t.whole = std::move(trace.delayNs);
}

void sampledTarget(TargetDelays &t, const StageModel &model, const std::vector<double> &f,
                   const std::vector<double> &mid, std::size_t steps, double f0,
                   std::size_t lobeCount) {
    const std::size_t stride = targetStride(mid.size());
    auto at = [&](std::size_t j) {
        const double d = targetDelayAt(model, f, j, steps);
        t.undefined += std::isnan(d) ? 1 : 0;
        if (!std::isfinite(d) && (!t.notFiniteAt || j < *t.notFiniteAt)) {
            t.notFiniteAt = j;
            t.undefinedPhase = std::isnan(d);
        }
        return d;
    };
    std::vector<std::size_t> where;
    std::vector<double> samples;
    for (std::size_t j = 0; j < mid.size(); j += stride)
        where.push_back(j);
    if (where.back() != mid.size() - 1)
        where.push_back(mid.size() - 1);
    for (const std::size_t j : where)
        samples.push_back(at(j));
    for (const std::size_t s : lobeIndices(samples, lobeCount)) {
        const std::size_t from = where[s] >= stride ? where[s] - stride : 0;
        const std::size_t to = std::min(mid.size() - 1, where[s] + stride);
        std::size_t best = where[s];
        double highest = samples[s];
        for (std::size_t j = from; j <= to; ++j)
            if (const double d = j == where[s] ? samples[s] : at(j); d > highest) {
                best = j;
                highest = d;
            }
        t.lobes.push_back(best);
        t.lobeDelaysNs.push_back(highest);
    }
    t.atF0 = interpolateWith(mid, f0, at);
}

} // namespace

TargetDelays targetDelays(const StageModel &model, const std::vector<double> &fMHz,
                          const std::vector<double> &midMHz, std::size_t apertureSteps, double f0,
                          std::size_t lobeCount, bool whole) {
    TargetDelays t;
    if (midMHz.empty())
        return t;
    if (whole || targetStride(midMHz.size()) <= apertureSteps)
        wholeTarget(t, model, fMHz, apertureSteps, f0, lobeCount);
    else
        sampledTarget(t, model, fMHz, midMHz, apertureSteps, f0, lobeCount);
    return t;
}

} // namespace varnel
