#include "tuning/smith_chart.h"

#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double gridResistances[] = {0, 0.2, 0.5, 1, 2, 5};
constexpr double gridReactances[] = {0.2, 0.5, 1, 2, 5};

} // namespace

Complex reflectionOf(Complex impedance, double referenceOhms) {
    const Complex z = impedance / referenceOhms;
    return (z - 1.0) / (z + 1.0);
}

std::optional<Complex> impedanceOf(Complex gamma, double referenceOhms) {
    if (gamma == Complex(1, 0))
        return std::nullopt;
    return referenceOhms * (1.0 + gamma) / (1.0 - gamma);
}

std::vector<SmithLine> smithGrid(int points) {
    const int n = std::max(points, 2);
    std::vector<SmithLine> grid;
    for (double r : gridResistances) {
        SmithLine line{r, false, {}};
        const Complex centre(r / (1 + r), 0);
        for (int i = 0; i < n; ++i)
            line.points.push_back(centre +
                                  std::polar(1 / (1 + r), 2 * std::numbers::pi * i / (n - 1)));
        grid.push_back(line);
    }
    // Along an arc of constant x, r runs from 0 (on the rim) towards
    // infinity (Gamma = 1): r = tan(psi), psi from 0 to pi/2.
    for (double magnitude : gridReactances)
        for (double x : {magnitude, -magnitude}) {
            SmithLine line{x, true, {}};
            for (int i = 0; i < n; ++i) {
                const double psi = std::numbers::pi / 2 * i / (n - 1);
                line.points.push_back(i + 1 == n ? Complex(1, 0)
                                                 : reflectionOf(Complex(std::tan(psi), x), 1));
            }
            grid.push_back(line);
        }
    grid.push_back({0, true, {Complex(-1, 0), Complex(1, 0)}});
    return grid;
}

} // namespace varnel
