#include "tuning/coupling_matrix.h"

#include "tuning/matrix_solver.h"

#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;

} // namespace

double lowPassOmega(const MatrixBand &band, double fMHz) {
    return band.f0 / band.bandwidth * (fMHz / band.f0 - band.f0 / fMHz);
}

double bandPassFrequency(const MatrixBand &band, double omega) {
    // f/f0 - f0/f = x, x = Omega BW / f0: f/f0 = (x + sqrt(x^2 + 4)) / 2.
    const double x = omega * band.bandwidth / band.f0;
    return band.f0 * (x + std::sqrt(x * x + 4)) / 2;
}

MatrixResponse lowPassResponse(const CouplingMatrix &matrix, double omega) {
    return MatrixSolver(matrix).response(omega, 0);
}

std::vector<MatrixResponse> lowPassResponses(const CouplingMatrix &matrix,
                                             const std::vector<double> &omegas) {
    const MatrixSolver solver(matrix);
    std::vector<MatrixResponse> responses;
    responses.reserve(omegas.size());
    for (const double omega : omegas)
        responses.push_back(solver.response(omega, 0));
    return responses;
}

namespace {

MatrixResponse responseAt(const MatrixSolver &solver, const MatrixBand &band, double fMHz) {
    const double loss = band.qu ? band.f0 / (*band.qu * band.bandwidth) : 0.0;
    MatrixResponse r = solver.response(lowPassOmega(band, fMHz), loss);
    // f in MHz and tau in ns: 2 pi f tau carries 1e-3.
    auto line = [&](int p) {
        return std::polar(
            1.0, -(2 * std::numbers::pi * fMHz * band.delayNs[p] * 1e-3 + band.phaseRad[p]));
    };
    const Complex in = line(0), out = line(1);
    r.s11 *= in * in;
    r.s21 *= in * out;
    r.s22 *= out * out;
    return r;
}

} // namespace

MatrixResponse matrixResponse(const CouplingMatrix &matrix, const MatrixBand &band, double fMHz) {
    return responseAt(MatrixSolver(matrix), band, fMHz);
}

std::vector<MatrixResponse> matrixResponses(const CouplingMatrix &matrix, const MatrixBand &band,
                                            const std::vector<double> &fMHz) {
    const MatrixSolver solver(matrix);
    std::vector<MatrixResponse> responses;
    responses.reserve(fMHz.size());
    for (const double f : fMHz)
        responses.push_back(responseAt(solver, band, f));
    return responses;
}

} // namespace varnel
