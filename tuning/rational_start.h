#pragma once

#include "touchstone/touchstone.h"
#include "tuning/coupling_matrix.h"
#include "tuning/filter_design.h"

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

// A start for a matrix fit that does not need the design near: the
// sweep's own rational function (the Cauchy method), and the matrix of it.
// With s = j Omega, a filter's S11 = -F/E and S21 = P/E (E and F monic,
// degree N; P of degree nz): each point gives two equations linear in the
// coefficients, F(s) + S11 E(s) = 0 and P(s) - S21 E(s) = 0, solved in
// least squares, weighted by 1/|E(s)| of the solution before (four
// rounds, the first unweighted: Sanathanan-Koerner), with Omega scaled to
// at most 1. Loss the same on every resonator shifts s: S(s) =
// S_lossless(s + delta), delta = f0 / (Qu BW); delta is the shift (0 to 1,
// every 0.01, then golden section) that makes the fitted F, P and E
// lossless, |F|^2 + |P|^2 = |E|^2 on the axis, best. The lossless
// function's transversal matrix, folded, is the start; P's phase is the
// one a real matrix has (P(j Omega) a real polynomial in Omega up to its
// constant), so the ports' constant phases do not matter; their delays
// must be taken off first.
// Worked example: one resonator, M_S1 = M_1L = 1, M_11 = -0.5, delta 0.1:
// E = s + 2.1 - 0.5j, F = s + 0.1 - 0.5j, P = 2 (up to its phase): the
// start has M_11 = -0.5, M_S1 = M_1L = 1 and delta = 0.1.
namespace varnel {

struct RationalStart {
    CouplingMatrix folded; // lossless, in the folded form
    double delta = 0;      // the loss's shift of s
    double misfit = 0;     // rms of the fitted function against the sweep
};

// `omega`, `s11` and `s21` the sweep's points in Omega, its lines taken
// off; nullopt where the fit has no solution.
std::optional<RationalStart> rationalStart(const std::vector<double> &omega,
                                           const std::vector<std::complex<double>> &s11,
                                           const std::vector<std::complex<double>> &s21,
                                           std::size_t order, std::size_t zeros);

// The start for a 2-port sweep of the design's filter, in the design's
// pattern. The ports' delays are those near a guess at which the rational
// function fits best: port 1's and then both ports' together, each
// scanned within 6 ns of where it stands and refined, from `guessNs`
// (port 1's, port 2's) and from the delays that align the design (at Qu
// `startQu`) with the sweep, the better kept. (S11 alone cannot tell its
// delay: a rational function of the filter's degree absorbs a line; with
// S21 sharing E it can.) For
// an in-line or folded design, whose form is the folded one (an in-line
// filter's cross-couplings 0), the couplings the pattern lacks set to 0;
// for a cascade, the folded start rotated into its pattern, the matrix
// taken whose every section makes the zeros nearest its own design zeros,
// each under half as far as from any other (its k-th section the k-th
// zero, as designed: this tells the cascade's matrices apart); nullopt for
// a listed topology, a 1-port sweep or where no start is found.
// The Qu is the start's own (f0 / (delta BW); 0 where the sweep shows no
// loss): a fit whose lines are aligned at another loss can lose them.
struct SweepStart {
    CouplingMatrix matrix;
    double qu = 0;
};
std::optional<SweepStart> sweepMatrixStart(const FilterDesign &design, const Network &sweep,
                                           const double (&guessNs)[2], double startQu);

} // namespace varnel
