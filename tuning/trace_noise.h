#pragma once

#include "touchstone/touchstone.h"

#include <complex>
#include <span>
#include <string>
#include <vector>

// How noisy a measured trace is, told from the trace alone, and whether a
// fit's residual is no more than that noise.
//
// The noise: a smooth response has small high-order differences, white
// noise does not. The m-th difference of complex noise of power sigma^2 a
// point (E|n|^2 = sigma^2) has the power C(2m, m) sigma^2 and, being complex
// Gaussian, |d|^2 is exponential, with median ln 2 C(2m, m) sigma^2. So
//     sigma_m^2 = median_i |Delta^m z_i|^2 / (ln 2 C(2m, m)),  m = 2 ... 6,
// and the estimate is the least of the five: the median passes over the
// few large differences a resonance or a reflection zero makes, and the
// higher orders over a curve that the sweep samples coarsely (any curve
// left only raises the estimate). Traces pooled for one fit give the mean
// of their powers. A long trace gives its median from at most 65,536
// differences, at starts spread evenly over it (every ceil(count / 65,536)-th),
// each difference of consecutive points as ever: a million points are
// judged at their own spacing for the cost of 65,536.
//
// The test: a model that explains the sweep leaves the noise itself as the
// residual, rms within a few percent of sigma over the hundreds of points a
// fit uses (the residual loses P/2N of its power to P parameters; the
// median's estimate scatters by about 1.5/sqrt(N)). A residual above
//     mismatchMargin x sigma  (1.15, 1.2 dB: a right model's residual stays
//     within 1.10 of the noise over generated stages at -70 to -50 dB,
//     while a fit caught on a wrong floor of its valley stands 8 to 25 %
//     above it)
// is a model that does not explain the sweep: whatever it says about the
// elements is not to be trusted. Below the resolution floor (1e-6,
// -120 dB, far below what moves any element by a tolerance) a residual
// always matches: a noiseless sweep is still fitted only to the solver's
// own tolerance.
//
// Worked example: z_i = 1 + 0.01 i (a line: every difference is 0) plus
// 1e-3 (-1)^i: every 2nd difference is 4e-3 in size, so sigma_2^2 =
// 1.6e-5 / (ln 2 6) = 3.85e-6; the 3rd to 6th give more (6.4e-5 / (ln 2
// 20) = 4.62e-6, then 5.28e-6, 5.86e-6, 6.39e-6); the estimate is -54.1 dB. A
// fit residual of 2.2e-3 rms (-53.2 dB) is within 1.15 x 1.96e-3 = 2.26e-3
// and matches; 2.3e-3 does not.
namespace varnel {

// The ratio of a fit's residual to the trace's noise above which the model
// does not explain the sweep, and the residual that always matches.
inline constexpr double mismatchMargin = 1.15;
inline constexpr double residualResolution = 1e-6;
// The least noise or residual a report states as a number (dB); below it,
// "below -200 dB".
inline constexpr double reportFloorDb = -200;

// The trace's noise in dB of |S| (10 log10 sigma^2); -300 dB when every
// difference is 0, and 0 dB (noise as large as the trace could be) when
// the trace is too short to tell (fewer than 8 points).
inline constexpr std::size_t maxNoiseDifferences = 65536;
double traceNoiseDb(ParameterView values);
// Several traces of one fit: the mean of their noise powers.
double pooledNoiseDb(std::span<const ParameterView> traces);

// The honest test: the residual (rms of |model - measured|) within
// mismatchMargin of the noise, or below residualResolution.
bool residualMatches(double residualRms, double noiseDb);

// 20 log10 of an rms value, never below -300 dB (a zero residual).
double rmsDb(double rms);
// A level as a report writes it: "-52.0 dB", or "below -200 dB".
std::string levelText(double db);

} // namespace varnel
