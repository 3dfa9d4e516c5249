#pragma once

#include "tuning/group_delay.h"
#include "tuning/stage_model.h"

#include <cstddef>
#include <optional>
#include <vector>

// The lobes of a stage's delay and the target's delay where a check needs
// it.
//
// A peak's prominence is its height above the higher of the lowest points
// between it and a higher point (or the trace's end) on either side; the
// ripple of a dense or noisy trace does not stand out. Example: over
// 0 3 1 2 0, the peak 3 stands out by 3 and the peak 2 by 1.
//
// The target's delay is the stage model's S11 through the same phase
// unwrapping and aperture as the measurement, at the measurement's
// mid-frequencies. Up to `wholeTargetPoints` points it is computed at every
// one. A longer sweep (a million points) has it only where a check reads it:
// on every stride-th mid-frequency, so that about `sampledTargetPoints` are
// taken, each lobe found there, then looked for again at every point within
// a stride of it; and at the two mid-frequencies around f0. Each value is
// computed as at full resolution: the phase unwrapped over its own
// aperture's points (an aperture wider than the stride has the target at
// every point). Example: 1,000,000 mid-frequencies take a stride of 250:
// 4,001 samples (the last included), then the 501 points round each lobe;
// 20,001 take the whole target.
namespace varnel {

std::vector<std::size_t> prominentPeaks(const std::vector<double> &ys, double prominence);

// The target's lobes: its peaks standing out by 0.1 % of its highest delay,
// highest first, at most `count`, then in increasing order.
std::vector<std::size_t> lobeIndices(const std::vector<double> &ys, std::size_t count);

inline constexpr std::size_t wholeTargetPoints = 20001;
inline constexpr std::size_t sampledTargetPoints = 4000;
// 1 for the whole target, else the stride of the samples.
std::size_t targetStride(std::size_t midFrequencies);

// The target's delay where a check reads it, at indices of the
// measurement's delay trace.
struct TargetDelays {
    // Every mid-frequency's, when the sweep is short or the traces are kept.
    std::vector<double> whole;
    // The lobes (indices into the delay trace) and their delays.
    std::vector<std::size_t> lobes;
    std::vector<double> lobeDelaysNs;
    std::optional<double> atF0;
    // The first mid-frequency whose target delay is not finite, whether it
    // is NaN (a phase undefined), and how many of those computed are NaN.
    std::optional<std::size_t> notFiniteAt;
    bool undefinedPhase = false;
    std::size_t undefined = 0;
};

TargetDelays targetDelays(const StageModel &model, const std::vector<double> &fMHz,
                          const std::vector<double> &midMHz, std::size_t apertureSteps, double f0,
                          std::size_t lobeCount, bool whole);

} // namespace varnel
