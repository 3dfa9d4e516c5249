#include "tuning/filter_design.h"

#include "number_text/number_text.h"
#include "touchstone/touchstone.h"
#include "tuning/stage_model.h"
#include "tuning/topology_search.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <random>

namespace varnel {

namespace {

struct TopologyRow {
    Topology topology;
    std::string_view name;
};

constexpr std::array<TopologyRow, 4> topologies = {{
    {Topology::Inline, "inline"},
    {Topology::Folded, "folded"},
    {Topology::Triplets, "ct"},
    {Topology::Quadruplets, "cq"},
}};

// Zeros whose Omega sum to within this of 0 are one symmetric pair.
constexpr double pairTolerance = 1e-6;
// A section's zero is the one listed to within this (Omega); or, where
// another zero lies within closeZeros of it, within a quarter of the gap:
// a near-double zero moves as the square root of what the matrix misses
// (zeros 0.004 apart, 1e-8 of pattern: 1e-4), but nearer its own zero
// than the other, the section still makes its own.
constexpr double sectionTolerance = 1e-6;
constexpr double closeZeros = 0.01;
// The most a design's |S11| or |S21| may miss its filtering function's.
constexpr double realisationTolerance = 1e-7;

void pairSymmetricZeros(std::vector<double> &omegas) {
    for (std::size_t a = 0; a < omegas.size(); ++a)
        for (std::size_t b = a + 1; b < omegas.size(); ++b)
            if (std::abs(omegas[a] + omegas[b]) <= pairTolerance && omegas[a] != -omegas[b]) {
                const double mean = (std::abs(omegas[a]) + std::abs(omegas[b])) / 2;
                omegas[a] = std::copysign(mean, omegas[a]);
                omegas[b] = std::copysign(mean, omegas[b]);
            }
}

// "1-2,2-3,1-3" as pairs, each smaller first; nullopt unless every item
// is two whole numbers from 1 joined by '-', none twice.
std::optional<std::vector<std::pair<std::size_t, std::size_t>>>
couplingList(std::string_view text) {
    std::vector<std::pair<std::size_t, std::size_t>> list;
    auto whole = [](std::string_view t) -> std::optional<std::size_t> {
        std::size_t value = 0;
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value);
        if (error != std::errc() || end != t.data() + t.size() || value == 0 || t.empty())
            return std::nullopt;
        return value;
    };
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        if (dash == std::string_view::npos)
            return std::nullopt;
        const auto a = whole(item.substr(0, dash)), b = whole(item.substr(dash + 1));
        if (!a || !b || *a == *b)
            return std::nullopt;
        const std::pair pair{std::min(*a, *b), std::max(*a, *b)};
        if (std::find(list.begin(), list.end(), pair) != list.end())
            return std::nullopt;
        list.push_back(pair);
        if (comma == std::string_view::npos)
            return list;
        text = text.substr(comma + 1);
    }
}

} // namespace

std::optional<TopologyChoice> topologyNamed(std::string_view text) {
    for (const TopologyRow &row : topologies)
        if (row.name == text)
            return TopologyChoice{row.topology, {}};
    if (const auto list = couplingList(text))
        return TopologyChoice{Topology::Listed, *list};
    return std::nullopt;
}

std::string topologyName(const TopologyChoice &choice) {
    for (const TopologyRow &row : topologies)
        if (row.topology == choice.topology)
            return std::string(row.name);
    std::string text;
    for (const auto &[a, b] : choice.listed) {
        if (!text.empty())
            text += ',';
        text.append(std::to_string(a)).append(1, '-').append(std::to_string(b));
    }
    return text;
}

ZerosRead readZeros(std::string_view text) {
    ZerosRead read;
    const auto trimmed = [](std::string_view item) {
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        return item;
    };
    if (trimmed(text).empty())
        return read;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trimmed(text.substr(0, comma));
        const std::optional<double> value = parseDecimal(item);
        if (!value || !std::isfinite(*value)) {
            read.bad = std::string(item);
            read.zerosMHz.clear();
            return read;
        }
        read.zerosMHz.push_back(*value);
        if (comma == std::string_view::npos)
            return read;
        text.remove_prefix(comma + 1);
    }
}

std::size_t mostZeros(Topology topology, std::size_t order) {
    const std::size_t below = order >= 1 ? order - 1 : 0;
    switch (topology) {
    case Topology::Inline:
        return 0;
    case Topology::Folded:
    case Topology::Listed:
        return order >= 2 ? order - 2 : 0;
    case Topology::Triplets:
        return below / 2;
    case Topology::Quadruplets:
        return 2 * (below / 3);
    }
    return 0;
}

double FilterDesign::resonatorMHz(std::size_t i) const {
    return bandPassFrequency(band, -matrix.at(i, i));
}

namespace {

// Whether section k's zeros are the k-th listed (two a quadruplet).
bool sectionsMakeTheirZeros(const CouplingMatrix &m, const std::vector<Section> &sections,
                            const std::vector<double> &zeros) {
    return sectionsMatchZeros(m, sections, zeros, [&](double made, double wanted, std::size_t) {
        double gap = closeZeros;
        for (const double other : zeros)
            if (other != wanted)
                gap = std::min(gap, std::abs(other - wanted));
        const double within = gap < closeZeros ? gap / 4 : 0;
        return std::abs(made - wanted) <=
               std::max(within, sectionTolerance * std::max(1.0, std::abs(wanted)));
    });
}

// The cascade's path: its sections take their zeros one after the other
// in `order`, each brought in from afar (Omega / t) while those before it
// hold theirs.
std::vector<PathStage> pathFromAfar(const FilterDesign &d, const std::vector<Section> &sections,
                                    const std::vector<std::size_t> &order) {
    const std::size_t per = d.zerosOmega.size() / sections.size();
    std::vector<PathStage> path;
    std::vector<Section> active;
    std::vector<double> held;
    for (std::size_t k : order) {
        active.push_back(sections[k]);
        std::vector<double> coming(d.zerosOmega.begin() + static_cast<std::ptrdiff_t>(per * k),
                                   d.zerosOmega.begin() +
                                       static_cast<std::ptrdiff_t>(per * (k + 1)));
        path.push_back({cascadePattern(d.order, active), [&d, held, coming](double t) {
                            std::vector<double> zeros = held;
                            for (double z : coming)
                                zeros.push_back(z / t);
                            return foldedMatrix(transversalMatrix(
                                chebyshevFunction(d.order, d.returnLossDb, zeros)));
                        }});
        held.insert(held.end(), coming.begin(), coming.end());
    }
    return path;
}

// The orders the sections take their zeros in, best first: nearest the
// band first (a zero coming in never passes one in place, where two
// sections could trade theirs), farthest first, as listed, and then
// seeded shuffles, for zeros so close that a path trades them all the same.
std::vector<std::vector<std::size_t>> activationOrders(const FilterDesign &d, std::size_t count) {
    const std::size_t per = d.zerosOmega.size() / count;
    std::vector<std::size_t> listed(count);
    for (std::size_t k = 0; k < count; ++k)
        listed[k] = k;
    std::vector<std::size_t> nearest = listed;
    std::stable_sort(nearest.begin(), nearest.end(), [&](std::size_t a, std::size_t b) {
        return std::abs(d.zerosOmega[per * a]) < std::abs(d.zerosOmega[per * b]);
    });
    std::vector<std::vector<std::size_t>> orders{
        nearest, {nearest.rbegin(), nearest.rend()}, listed};
    std::mt19937 random(count);
    for (int shuffle = 0; shuffle < 8 && count > 2; ++shuffle) {
        std::shuffle(listed.begin(), listed.end(), random);
        orders.push_back(listed);
    }
    return orders;
}

// The design's matrix in its topology, or why not.
std::variant<CouplingMatrix, DesignRefusal> realised(const FilterDesign &d,
                                                     const CouplingMatrix &folded) {
    const Topology t = d.topology.topology;
    DesignRefusal cannot{DesignRefusal::CannotRealise, 0, d.topology, 0};
    if (t == Topology::Inline || t == Topology::Folded)
        return folded;
    if (t == Topology::Listed) {
        CouplingPattern pattern(d.order);
        for (const auto &[a, b] : d.topology.listed)
            pattern.allow(a, b);
        const auto m = realisePattern(folded, pattern, [](const CouplingMatrix &) { return true; });
        if (!m)
            return cannot;
        return *m;
    }
    const std::vector<Section> sections =
        t == Topology::Triplets ? tripletSections(d.order, d.zerosOmega.size())
                                : quadrupletSections(d.order, d.zerosOmega.size() / 2);
    const CouplingPattern pattern = cascadePattern(d.order, sections);
    auto accept = [&](const CouplingMatrix &found) {
        return sectionsMakeTheirZeros(found, sections, d.zerosOmega);
    };
    for (const std::vector<std::size_t> &order : activationOrders(d, sections.size()))
        if (auto m = realiseAlongPath(pathFromAfar(d, sections, order), accept))
            return *m;
    // Random starts rarely give each section its own zero: a few.
    if (auto m = realisePattern(folded, pattern, accept, 40))
        return *m;
    return cannot;
}

// The zeros' Omega, or the refusal of the first that cannot be one.
std::optional<DesignRefusal> mapZeros(FilterDesign &d) {
    for (double z : d.zerosMHz) {
        DesignRefusal refusal{DesignRefusal::ZeroNotPositive, z, d.topology, 0};
        if (!(z > 0))
            return refusal;
        const double omega = lowPassOmega(d.band, z);
        refusal.kind = DesignRefusal::ZeroInBand;
        if (!(std::abs(omega) > 1))
            return refusal;
        d.zerosOmega.push_back(omega);
    }
    pairSymmetricZeros(d.zerosOmega);
    return std::nullopt;
}

// What the topology refuses before any matrix is made.
std::optional<DesignRefusal> topologyRefusal(const FilterDesign &d) {
    const Topology t = d.topology.topology;
    const std::size_t most = mostZeros(t, d.order);
    if (d.zerosOmega.size() > most)
        return DesignRefusal{DesignRefusal::TooManyZeros, 0, d.topology, most};
    if (t == Topology::Quadruplets)
        for (std::size_t k = 0; k < d.zerosOmega.size(); k += 2)
            if (k + 1 >= d.zerosOmega.size() || d.zerosOmega[k] != -d.zerosOmega[k + 1])
                return DesignRefusal{DesignRefusal::NotPairs, d.zerosMHz[k], d.topology, most};
    for (const auto &[a, b] : d.topology.listed)
        if (b > d.order)
            return DesignRefusal{DesignRefusal::ListBeyondOrder, 0, d.topology, b};
    return std::nullopt;
}

} // namespace

std::variant<FilterDesign, DesignRefusal> designFilter(const TuningTable &table,
                                                       const DesignRequest &request) {
    FilterDesign d;
    d.order = table.stages.size();
    d.f0 = request.f0;
    d.bandwidth = effectiveBandwidth(table.first.bandwidth);
    d.returnLossDb = table.returnLoss;
    d.band = MatrixBand{d.f0, d.bandwidth, request.qu, {0, 0}, {0, 0}};
    d.topology = request.topology.value_or(
        TopologyChoice{request.zerosMHz.empty() ? Topology::Inline : Topology::Folded, {}});
    d.zerosMHz = request.zerosMHz;
    if (auto refusal = mapZeros(d))
        return *refusal;
    if (auto refusal = topologyRefusal(d))
        return *refusal;
    d.function = chebyshevFunction(d.order, d.returnLossDb, d.zerosOmega);
    auto matrix = realised(d, foldedMatrix(transversalMatrix(d.function)));
    if (auto *refusal = std::get_if<DesignRefusal>(&matrix))
        return *refusal;
    d.matrix = std::get<CouplingMatrix>(matrix);
    if (!(realisationError(d.matrix, d.function) <= realisationTolerance))
        return DesignRefusal{DesignRefusal::Inaccurate, 0, d.topology, 0};
    return d;
}

CouplingPattern designPattern(const FilterDesign &d) {
    const std::size_t n = d.order;
    CouplingPattern pattern(n);
    for (std::size_t a = 1; a < n; ++a)
        pattern.allow(a, a + 1);
    switch (d.topology.topology) {
    case Topology::Inline:
        break;
    case Topology::Folded:
        for (std::size_t a = 1; a <= n; ++a)
            for (std::size_t b = a + 2; b <= n; ++b)
                if (inFoldedPattern(n, a, b))
                    pattern.allow(a, b);
        break;
    case Topology::Triplets:
        return cascadePattern(n, tripletSections(n, d.zerosOmega.size()));
    case Topology::Quadruplets:
        return cascadePattern(n, quadrupletSections(n, d.zerosOmega.size() / 2));
    case Topology::Listed:
        for (const auto &[a, b] : d.topology.listed)
            pattern.allow(a, b);
        break;
    }
    return pattern;
}

double designSpan(const FilterDesign &design) {
    double span = 3 * design.bandwidth;
    for (double z : design.zerosMHz)
        span = std::max(span, 2 * (std::abs(z - design.f0) + design.bandwidth / 2));
    return design.f0 - span / 2 > 0 ? span : 1.9 * design.f0;
}

DesignCurve designCurve(const FilterDesign &design, double spanMHz, std::size_t points) {
    DesignCurve curve;
    for (std::size_t i = 0; i < points; ++i) {
        const double f = design.f0 - spanMHz / 2 +
                         spanMHz * static_cast<double>(i) / static_cast<double>(points - 1);
        curve.fMHz.push_back(f);
    }
    curve.s = matrixResponses(design.matrix, design.band, curve.fMHz);
    return curve;
}

std::string describeDesign(const FilterDesign &design, const TuningTable &table, bool withLoss) {
    std::string text = "order " + std::to_string(design.order) + ", bandwidth " +
                       formatShortest(table.first.bandwidth) + " MHz, ripple " +
                       formatShortest(table.first.ripple) + " dB, f0 " + formatShortest(design.f0) +
                       " MHz, " + topologyName(design.topology);
    if (!design.zerosMHz.empty()) {
        text += ", zeros ";
        for (std::size_t i = 0; i < design.zerosMHz.size(); ++i)
            text += (i ? ", " : "") + formatShortest(design.zerosMHz[i]);
        text += " MHz";
    }
    if (!withLoss)
        return text;
    return text + (design.band.qu ? ", Qu " + formatShortest(*design.band.qu) : ", lossless");
}

std::string designS2p(const FilterDesign &design, const TuningTable &table,
                      const DesignCurve &curve) {
    Network network;
    network.ports = 2;
    network.frequencyMHz = curve.fMHz;
    for (const MatrixResponse &r : curve.s)
        network.values.insert(network.values.end(), {r.s11, r.s21, r.s21, r.s22});
    return writeS2p({"Filter design: " + describeDesign(design, table),
                     "return loss " + formatFixed(design.returnLossDb, 2) + " dB"},
                    network);
}

namespace {

// "a folded filter", "a filter with the couplings 1-2,2-3,1-3".
std::string filterWords(const TopologyChoice &choice) {
    switch (choice.topology) {
    case Topology::Inline:
        return "an in-line filter";
    case Topology::Folded:
        return "a folded filter";
    case Topology::Triplets:
        return "a cascaded-triplet filter";
    case Topology::Quadruplets:
        return "a cascaded-quadruplet filter";
    case Topology::Listed:
        break;
    }
    return "a filter with the couplings " + topologyName(choice);
}

} // namespace

std::string designRefusalText(const DesignRefusal &refusal, const TuningTable &table, double f0) {
    const MatrixBand band{
        f0, effectiveBandwidth(table.first.bandwidth), std::nullopt, {0, 0}, {0, 0}};
    const std::string zero = "the zero at " + formatShortest(refusal.zeroMHz) + " MHz";
    const std::string order = std::to_string(table.stages.size());
    const std::string filter = filterWords(refusal.topology);
    switch (refusal.kind) {
    case DesignRefusal::ZeroNotPositive:
        return zero + " is not above 0 MHz";
    case DesignRefusal::ZeroInBand:
        return zero + " is inside the band (" + formatFixed(bandPassFrequency(band, -1), 3) +
               " to " + formatFixed(bandPassFrequency(band, 1), 3) +
               " MHz): a transmission zero lies outside it";
    case DesignRefusal::TooManyZeros:
        if (refusal.topology.topology == Topology::Inline)
            return filter + " makes no transmission zeros; give --topology folded";
        if (refusal.most == 0)
            return filter + " of order " + order + " makes no transmission zeros";
        return filter + " of order " + order + " makes at most " + std::to_string(refusal.most) +
               " transmission zero" + (refusal.most == 1 ? "" : "s");
    case DesignRefusal::NotPairs:
        return "cascaded quadruplets make symmetric pairs: " + zero +
               " and the zero after it are not one (f1 x f2 = f0^2)";
    case DesignRefusal::ListBeyondOrder:
        return "the coupling list names resonator " + std::to_string(refusal.most) +
               "; the order is " + order;
    case DesignRefusal::CannotRealise:
        if (refusal.topology.topology != Topology::Listed)
            return filter + " cannot realise these zeros in this order: none of its matrices "
                            "has this response; list them in another order or give "
                            "--topology folded";
        return filter + " cannot realise these zeros: no matrix of its couplings has this "
                        "response";
    case DesignRefusal::Inaccurate:
        break;
    }
    return "the synthesis of order " + order +
           " loses its precision: its matrix misses the response by more than 1e-7";
}

} // namespace varnel
