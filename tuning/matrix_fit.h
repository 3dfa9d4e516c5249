#pragma once

#include "touchstone/touchstone.h"
#include "tuning/coupling_matrix.h"
#include "tuning/topology_search.h"

#include <complex>
#include <optional>
#include <utility>
#include <vector>

// A coupling matrix fitted to a sweep of S11, S21 and S22 (or of S11 alone;
// coupling_matrix.h's
// convention): every entry its pattern allows (each resonator's
// self-coupling, S-1, N-L, the main line and the pattern's cross-
// couplings), the loss r = f0 / (Qu BW) on every resonator unless Qu is
// given, and each port's line (a delay in ns and a phase). The residuals
// are the measured traces at up to 401 of the sweep's points, evenly
// spread; the Jacobian is exact: with x_S and x_L the columns S and L of
// A^-1 (A symmetric) and d[A^-1]_uv / dM_ab = -(x_u,a x_v,b + x_u,b x_v,a),
//     dS11/dM_ab = -4j x_S,a x_S,b,    dS21/dM_ab = 2j (x_L,a x_S,b + x_L,b x_S,a)
// (half that on the diagonal; S22 as S11 with x_L), dS11/dr = -2 sum
// x_S,i^2 and dS21/dr = 2 sum x_L,i x_S,i, each then turned by the lines. The fit starts from
// the given matrix and from the lines that best align it with the sweep.
//
// Worked example: a sweep made from a matrix, lossless, no lines and no
// noise, fitted from that same matrix: every entry stays where it is and
// the residual is at rounding.
namespace varnel {

struct MatrixFitSettings {
    double f0 = 0, bandwidth = 0; // MHz, the matrix's mapping
    CouplingPattern pattern;      // which couplings between resonators are free
    std::optional<double> qu;     // held when given
    double startQu = 3000;        // where the loss starts otherwise
};

struct MatrixFit {
    CouplingMatrix matrix;
    double qu = 0; // 0: lossless
    double delayNs[2] = {0, 0}, phaseRad[2] = {0, 0};
    // The free entries (row < column, S = 0, L = N + 1) and each one's
    // standard uncertainty, in the fit's order.
    std::vector<std::pair<std::size_t, std::size_t>> entries;
    std::vector<double> uncertainty;
    double residualRms = 0;
    int iterations = 0;
    bool converged = false;
};

MatrixFit fitMatrix(const CouplingMatrix &start, const Network &network,
                    const MatrixFitSettings &settings);

// The ports' lines that align `matrix` (at `band`, its own lines none)
// with the measured points: port 1's from S11's turn against it (half of
// it: S11 crosses the line twice), port 2's from S21's less port 1's
// (none without S21). The fit starts its lines here, at the loss it starts
// from: a lossless matrix turns sharply at each resonance that a lossy
// sweep rounds off, and a filter far from tune has its resonances strewn
// over the sweep.
struct AlignedLines {
    double delayNs[2] = {0, 0}, phaseRad[2] = {0, 0};
};
AlignedLines alignedLines(const CouplingMatrix &matrix, const MatrixBand &band,
                          const std::vector<double> &fMHz,
                          const std::vector<std::complex<double>> &s11,
                          const std::vector<std::complex<double>> &s21);

} // namespace varnel
