#pragma once

#include "tuning/coupling_matrix.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Coupling topologies other than the folded one, reached from the folded
// matrix of the same response.
//
// Every matrix with one input coupling (S-1) and one output coupling
// (N-L) and a given response is Q F Q' for the folded F and an orthogonal
// Q that keeps resonators 1 and N (up to sign) and mixes 2..N-1. The
// search writes Q = C(K) Q0, C the Cayley transform (I - K)^-1 (I + K) of
// a skew-symmetric K, and drives every coupling the topology lacks to 0
// by Levenberg-Marquardt (a numerical Jacobian: a few dozen parameters)
// until every lacking coupling is below 1e-8 of the largest entry and
// the caller accepts the matrix (a cascade takes only the matrix whose
// k-th section makes the k-th zero). A cascade is followed along a path
// (realiseAlongPath); otherwise, and where that fails, the search starts
// from Q0 = I and then from seeded random orthogonal starts.
//
// Sections of a cascade: triplets on resonators 1-3, 4-6, ... when the
// order leaves room, otherwise sharing their end resonators (1-3, 3-5,
// ...); quadruplets on 1-4, 5-8, ... likewise (1-4, 4-7, ...). A triplet
// (a, a+1, a+2) blocks the path where its two branches cancel,
//     Omega = M_a(a+1) M_(a+1)(a+2) / M_a(a+2) - M_(a+1)(a+1),
// and a quadruplet where M_a(a+3) cancels the path through a+1 and a+2.
// Worked example: order 6 with two triplets: 1-3 and 4-6; order 5: 1-3
// and 3-5; order 8 with two quadruplets: 1-4, 5-8; order 7: 1-4, 4-7.
namespace varnel {

// Which resonator pairs (1-based, a != b) may couple; the self-couplings
// and the ports' couplings S-1 and N-L always may.
struct CouplingPattern {
    std::size_t order = 0;
    std::vector<char> allowed; // order x order, symmetric

    explicit CouplingPattern(std::size_t n = 0) : order(n), allowed(n * n, 0) {}
    bool at(std::size_t a, std::size_t b) const { return allowed[(a - 1) * order + b - 1] != 0; }
    void allow(std::size_t a, std::size_t b) {
        allowed[(a - 1) * order + b - 1] = 1;
        allowed[(b - 1) * order + a - 1] = 1;
    }
};

// A cascade's section: resonators first..last, crossed by M_first,last.
struct Section {
    std::size_t first = 0, last = 0;
};

// The main line, and the sections' cross-couplings.
CouplingPattern cascadePattern(std::size_t order, const std::vector<Section> &sections);

// `count` triplets or quadruplets placed as above; empty when they do not
// fit in the order.
std::vector<Section> tripletSections(std::size_t order, std::size_t count);
std::vector<Section> quadrupletSections(std::size_t order, std::size_t count);

// The Omega at which a section blocks the path, ascending (one for a
// triplet, two for a quadruplet; none where it blocks nowhere on the
// real axis).
std::vector<double> sectionZeros(const CouplingMatrix &matrix, const Section &section);

// Whether each section k makes zeros that `near(made, wanted, k)` takes
// for its own listed ones (the k-th listed for a triplet, the (2k)-th and
// (2k+1)-th for a quadruplet, both ascending); false where a section makes
// another count of zeros. Example: an order-6 ct design with zeros at 985
// and 1017 MHz (triplets 1-3 and 4-6): its zeros as listed are taken by
// near = |made - wanted| < 1e-6; listed the other way round, not.
bool sectionsMatchZeros(const CouplingMatrix &matrix, const std::vector<Section> &sections,
                        const std::vector<double> &zeros,
                        const std::function<bool(double, double, std::size_t)> &near);

// The matrix of the pattern with the folded matrix's response, the
// main line made positive and lacking couplings exactly 0; nullopt when no
// start of `starts` reaches it (or none that `accept` takes).
std::optional<CouplingMatrix>
realisePattern(const CouplingMatrix &folded, const CouplingPattern &pattern,
               const std::function<bool(const CouplingMatrix &)> &accept, int starts = 400);

// The same along a path in stages, each a pattern and its folded matrix
// as a function of t in (0, 1] (t = 1 where the zeros are): each stage
// is followed from t = 1/32 in steps that halve wherever a step leaves a
// lacking coupling or turns Q by more than 0.3 (Frobenius), so that the
// search stays on the branch it started on; each stage starts where the
// last one ended. A cascade whose sections take their zeros one after
// the other, each brought in from far away (where its section is nearly
// absent), so keeps every section's zero where it entered. Only the last
// stage's matrix is settled and offered to `accept`.
struct PathStage {
    CouplingPattern pattern;
    std::function<CouplingMatrix(double t)> folded;
};
std::optional<CouplingMatrix>
realiseAlongPath(const std::vector<PathStage> &path,
                 const std::function<bool(const CouplingMatrix &)> &accept);

} // namespace varnel
