#include "tuning/trace_noise.h"

#include "number_text/number_text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

constexpr double lowestDb = -300;
constexpr std::size_t shortestTrace = 8;

constexpr double binomial[7][7] = {{1},
                                   {1, -1},
                                   {1, -2, 1},
                                   {1, -3, 3, -1},
                                   {1, -4, 6, -4, 1},
                                   {1, -5, 10, -10, 5, -1},
                                   {1, -6, 15, -20, 15, -6, 1}};
constexpr double centralBinomial[7] = {1, 2, 6, 20, 70, 252, 924}; // C(2m, m)
constexpr int lowestOrder = 2, highestOrder = 6;

// Every step-th start of the m-th differences (count of them).
std::size_t differenceStep(std::size_t points, int m) {
    const std::size_t count = points - static_cast<std::size_t>(m);
    return (count + maxNoiseDifferences - 1) / maxNoiseDifferences;
}

// |Delta^m z_i|^2.
double differencePower(ParameterView z, std::size_t i, int m) {
    std::complex<double> d = 0;
    for (int k = 0; k <= m; ++k)
        d += binomial[m][k] * z[i + static_cast<std::size_t>(k)];
    return std::norm(d);
}

// The noise power a point from the median of `powers`, m-th differences.
double powerFromMedian(std::vector<double> &powers, int m) {
    const auto middle = powers.begin() + static_cast<std::ptrdiff_t>(powers.size() / 2);
    std::nth_element(powers.begin(), middle, powers.end());
    return *middle / (std::numbers::ln2 * centralBinomial[m]);
}

double noisePower(ParameterView values) {
    if (values.size() < shortestTrace)
        return 1;
    const std::size_t n = values.size();
    std::vector<double> powers[highestOrder + 1];
    // Where every order starts at the same stride (all but a few lengths),
    // one pass reads each start's points once for all five: a million
    // points' trace is far larger than the cache.
    const std::size_t step = differenceStep(n, lowestOrder);
    const bool oneStride = differenceStep(n, highestOrder) == step;
    for (int m = lowestOrder; m <= highestOrder; ++m)
        powers[m].reserve((n - static_cast<std::size_t>(m)) / differenceStep(n, m) + 1);
    if (oneStride) {
        for (std::size_t i = 0; i < n - lowestOrder; i += step)
            for (int m = lowestOrder; m <= highestOrder && i + static_cast<std::size_t>(m) < n; ++m)
                powers[m].push_back(differencePower(values, i, m));
    } else {
        for (int m = lowestOrder; m <= highestOrder; ++m)
            for (std::size_t i = 0, s = differenceStep(n, m); i < n - static_cast<std::size_t>(m);
                 i += s)
                powers[m].push_back(differencePower(values, i, m));
    }
    double least = powerFromMedian(powers[lowestOrder], lowestOrder);
    for (int m = lowestOrder + 1; m <= highestOrder; ++m)
        least = std::min(least, powerFromMedian(powers[m], m));
    return least;
}

double powerDb(double power) {
    return power > 0 ? std::max(lowestDb, 10 * std::log10(power)) : lowestDb;
}

} // namespace

double traceNoiseDb(ParameterView values) {
    return powerDb(noisePower(values));
}

double pooledNoiseDb(std::span<const ParameterView> traces) {
    double sum = 0;
    std::size_t count = 0;
    for (const ParameterView &trace : traces) {
        if (trace.empty())
            continue;
        sum += noisePower(trace);
        ++count;
    }
    return powerDb(count == 0 ? 1 : sum / static_cast<double>(count));
}

bool residualMatches(double residualRms, double noiseDb) {
    return residualRms <=
           std::max(mismatchMargin * std::pow(10.0, noiseDb / 20), residualResolution);
}

double rmsDb(double rms) {
    return rms > 0 ? std::max(lowestDb, 20 * std::log10(rms)) : lowestDb;
}

std::string levelText(double db) {
    if (!(db >= reportFloorDb))
        return "below " + formatShortest(reportFloorDb) + " dB";
    return formatFixed(db, 1) + " dB";
}

} // namespace varnel
