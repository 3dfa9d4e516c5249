#pragma once

#include <complex>
#include <optional>
#include <vector>

// The Smith chart of a reflection: the plane of Gamma, with the grid of
// constant normalised resistance and reactance, z = Z / Z0,
//     Gamma = (z - 1) / (z + 1),   z = (1 + Gamma) / (1 - Gamma).
// A circle of constant r has its centre at r / (1 + r) and radius
// 1 / (1 + r); an arc of constant x its centre at 1 + j / x and radius
// 1 / |x|, the part within |Gamma| <= 1.
// The trace drawn is the sweep's own values with the inputs' electrical
// delay removed (as an analyser's port extension does), so that a tuned
// filter's passband gathers at the centre.
// Worked example: 50 ohm in 50 ohm is Gamma = 0 (the centre); 100 ohm is
// 1/3; 50 + j50 ohm is (1 + 2j) / 5 = 0.2 + 0.4j, on the r = 1 circle; and
// Gamma = 0.2 + 0.4j reads 50 + j50 ohm again.
namespace varnel {

std::complex<double> reflectionOf(std::complex<double> impedance, double referenceOhms);
// None at Gamma = 1 (an open circuit: the impedance is infinite).
std::optional<std::complex<double>> impedanceOf(std::complex<double> gamma, double referenceOhms);

struct SmithLine {
    double value = 0; // r or x
    bool reactance = false;
    std::vector<std::complex<double>> points; // Gamma along it
};

// r = 0, 0.2, 0.5, 1, 2, 5 and x = +-0.2, +-0.5, +-1, +-2, +-5, and the real
// axis (x = 0), each `points` long.
std::vector<SmithLine> smithGrid(int points = 121);

} // namespace varnel
