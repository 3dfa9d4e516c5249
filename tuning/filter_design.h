#pragma once

#include "tuning/chebyshev_synthesis.h"
#include "tuning/coupling_matrix.h"
#include "tuning/topology_search.h"
#include "tuning/tuning_table.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// A generalized Chebyshev band-pass design: order, bandwidth and ripple
// as the tuning table reads them, f0, and transmission zeros in MHz, each
// mapped to Omega = (f0 / BWe)(f/f0 - f0/f) with the table's equal-ripple
// bandwidth BWe. Zeros whose Omega sum to within 1e-6 of 0 are taken as
// an exact pair (+-), since printed MHz break the symmetry. The matrix is
// in the topology asked for (`folded` when zeros are given and none is
// named, `inline` otherwise):
//   inline  the main line only, no zeros;
//   folded  the main line and the cross diagonals i + j = N + 1, N + 2;
//           at most N - 2 zeros;
//   ct      cascaded triplets (topology_search.h), the k-th from the
//           source making the k-th zero listed; at most (N - 1) / 2;
//   cq      cascaded quadruplets, the k-th making zeros 2k - 1 and 2k, a
//           symmetric pair; at most 2 ((N - 1) / 3), pairs only;
//   a list  "1-2,2-3,3-4,1-4": exactly these couplings between resonators
//           (with the self-couplings and S-1, N-L), at most N - 2 zeros.
// Every topology but inline and folded is searched for from the folded
// matrix; every design's response is then held to the filtering
// function's (realisationError below 1e-7) before it is given.
// Refused: a zero at or below 0 MHz or within the band (|Omega| <= 1),
// more zeros than the topology makes, cq zeros that are not pairs, a list
// naming a resonator the order lacks, a topology that cannot realise the
// zeros, and a design whose matrix misses its response.
//
// Worked example: order 4, 10 MHz, 0.01 dB (return loss 26.38 dB) at
// 1000 MHz with zeros at 980 and 1020.408163265306 MHz (1000^2 / 980, so
// geometrically symmetric): BWe = 10 x 2000 / (pi 636.6) = 10.000311 MHz,
// Omega = -/+ 4.040691, made an exact pair; the folded matrix has no
// self-coupling (the response is symmetric), M_24 = 0, and the pair's
// cross-coupling M_14 negative, about -0.0591.
namespace varnel {

enum class Topology { Inline, Folded, Triplets, Quadruplets, Listed };

struct TopologyChoice {
    Topology topology = Topology::Inline;
    std::vector<std::pair<std::size_t, std::size_t>> listed; // 1-based, a < b
};

// "inline", "folded", "ct", "cq" or a list "1-2,2-3,1-3"; nullopt for
// anything else (a list's resonators are checked against the order later).
std::optional<TopologyChoice> topologyNamed(std::string_view text);
// "inline", ..., or the list as "1-2,2-3,1-3".
std::string topologyName(const TopologyChoice &choice);
// Transmission zeros as typed: decimal MHz separated by commas, spaces
// around each allowed ("985, 1015.5" -> 985 and 1015.5; "" -> none). On
// an item that is not a finite number, `bad` holds it as typed ("985,x"
// -> bad "x").
struct ZerosRead {
    std::vector<double> zerosMHz;
    std::optional<std::string> bad;
};
ZerosRead readZeros(std::string_view text);

// The most transmission zeros a topology of order N makes.
std::size_t mostZeros(Topology topology, std::size_t order);

struct DesignRequest {
    double f0 = 0; // MHz
    std::vector<double> zerosMHz;
    std::optional<TopologyChoice> topology;
    std::optional<double> qu;
};

struct FilterDesign {
    std::size_t order = 0;
    double f0 = 0, bandwidth = 0; // MHz, the equal-ripple bandwidth BWe
    double returnLossDb = 0;
    TopologyChoice topology;
    std::vector<double> zerosMHz, zerosOmega; // as listed
    FilteringFunction function;
    CouplingMatrix matrix;
    MatrixBand band; // with the request's Qu

    // A resonator's frequency, where its self-coupling alone resonates.
    double resonatorMHz(std::size_t i) const;
};

struct DesignRefusal {
    enum Kind {
        ZeroNotPositive,
        ZeroInBand,
        TooManyZeros,
        NotPairs,
        ListBeyondOrder,
        CannotRealise,
        Inaccurate
    };
    Kind kind = ZeroInBand;
    double zeroMHz = 0;
    TopologyChoice topology;
    std::size_t most = 0;
};

std::variant<FilterDesign, DesignRefusal> designFilter(const TuningTable &table,
                                                       const DesignRequest &request);

// The couplings between resonators the design's topology allows: the
// main line, and the folded form's cross diagonals, a cascade's sections'
// cross-couplings or the listed ones. Example: folded order 4: 1-2, 2-3,
// 3-4, 1-4 and 2-4 (i + j = 5 and 6).
CouplingPattern designPattern(const FilterDesign &design);

// The span a design's response is drawn over by default: 3 x BWe, widened
// to show every zero with half a BWe beyond it, and narrowed to 1.9 x f0
// where it would reach 0 MHz. Example: 10 MHz at 1000 MHz with a zero at
// 1020 MHz: 2 x (20 + 5) = 50 MHz.
double designSpan(const FilterDesign &design);

struct DesignCurve {
    std::vector<double> fMHz;
    std::vector<MatrixResponse> s;
};
// `points` frequencies spread evenly over f0 +- span/2, the response at each.
DesignCurve designCurve(const FilterDesign &design, double spanMHz, std::size_t points);

// "order 4, bandwidth 10 MHz, ripple 0.01 dB, f0 1000 MHz, folded, zeros
// 980, 1020.41 MHz, Qu 3000" (or "lossless"; without `withLoss`, neither:
// a diagnosis fits the loss).
std::string describeDesign(const FilterDesign &design, const TuningTable &table,
                           bool withLoss = true);

// The response as a 2-port Touchstone file (# MHz S RI R 50), comment
// lines naming the design: a reference trace for an analyser.
std::string designS2p(const FilterDesign &design, const TuningTable &table,
                      const DesignCurve &curve);

// "the zero at 1002 MHz is inside the band (995 to 1005 MHz): ..." and
// the like, in English.
std::string designRefusalText(const DesignRefusal &refusal, const TuningTable &table, double f0);

} // namespace varnel
