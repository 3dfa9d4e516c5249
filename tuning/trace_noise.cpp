#include "tuning/trace_noise.h"

#include "number_text/number_text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

constexpr double lowestDb = -300;
constexpr std::size_t shortestTrace = 8;

// The noise power a point from the m-th differences (m = 2 ... 6).
double powerFromDifferences(ParameterView z, int m) {
    static constexpr double binomial[7][7] = {{1},
                                              {1, -1},
                                              {1, -2, 1},
                                              {1, -3, 3, -1},
                                              {1, -4, 6, -4, 1},
                                              {1, -5, 10, -10, 5, -1},
                                              {1, -6, 15, -20, 15, -6, 1}};
    static constexpr double centralBinomial[7] = {1, 2, 6, 20, 70, 252, 924}; // C(2m, m)
    const std::size_t order = static_cast<std::size_t>(m);
    const std::size_t count = z.size() - order;
    const std::size_t step = (count + maxNoiseDifferences - 1) / maxNoiseDifferences;
    std::vector<double> powers;
    powers.reserve((count + step - 1) / step);
    for (std::size_t i = 0; i < count; i += step) {
        std::complex<double> d = 0;
        for (std::size_t k = 0; k <= order; ++k)
            d += binomial[order][k] * z[i + k];
        powers.push_back(std::norm(d));
    }
    const auto middle = powers.begin() + static_cast<std::ptrdiff_t>(powers.size() / 2);
    std::nth_element(powers.begin(), middle, powers.end());
    return *middle / (std::numbers::ln2 * centralBinomial[order]);
}

double noisePower(ParameterView values) {
    if (values.size() < shortestTrace)
        return 1;
    double least = powerFromDifferences(values, 2);
    for (const int m : {3, 4, 5, 6})
        least = std::min(least, powerFromDifferences(values, m));
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
