#pragma once

#include <array>
#include <complex>

// S-parameters from normalised impedance or admittance parameters:
// S = (z - I)(z + I)^-1 and S = (I - y)(I + y)^-1, for 1 to 4 ports, the
// matrix row by row in the first n * n places.
//
// Worked example: a 1-port z = 3 (150 ohms against 50) gives
// S = (3 - 1) / (3 + 1) = 0.5; y = 3 gives (1 - 3) / (1 + 3) = -0.5; z = -1
// has no S (the sum is singular) and the conversion returns false.
namespace varnel {

enum class NetworkKind { S, Y, Z };

// Converts m in place; false when z + I (or I + y) is singular or S is not
// finite.
bool toS(std::array<std::complex<double>, 16> &m, int n, NetworkKind kind);

} // namespace varnel
