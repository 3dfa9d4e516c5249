#include "tuning/filter_design.h"

#include "number_text/number_text.h"
#include "touchstone/touchstone.h"
#include "tuning/stage_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace varnel {

namespace {

struct TopologyRow {
    Topology topology;
    std::string_view name;
};

constexpr std::array<TopologyRow, 2> topologies = {{
    {Topology::Inline, "inline"},
    {Topology::Folded, "folded"},
}};

// Zeros whose Omega sum to within this of 0 are one symmetric pair.
constexpr double pairTolerance = 1e-6;

void pairSymmetricZeros(std::vector<double> &omegas) {
    for (std::size_t a = 0; a < omegas.size(); ++a)
        for (std::size_t b = a + 1; b < omegas.size(); ++b)
            if (std::abs(omegas[a] + omegas[b]) <= pairTolerance && omegas[a] != -omegas[b]) {
                const double mean = (std::abs(omegas[a]) + std::abs(omegas[b])) / 2;
                omegas[a] = std::copysign(mean, omegas[a]);
                omegas[b] = std::copysign(mean, omegas[b]);
            }
}

} // namespace

std::string_view topologyName(Topology topology) {
    for (const TopologyRow &row : topologies)
        if (row.topology == topology)
            return row.name;
    return {};
}

std::optional<Topology> topologyNamed(std::string_view name) {
    for (const TopologyRow &row : topologies)
        if (row.name == name)
            return row.topology;
    return std::nullopt;
}

std::size_t mostZeros(Topology topology, std::size_t order) {
    switch (topology) {
    case Topology::Inline:
        return 0;
    case Topology::Folded:
        return order >= 2 ? order - 2 : 0;
    }
    return 0;
}

double FilterDesign::resonatorMHz(std::size_t i) const {
    return bandPassFrequency(band, -matrix.at(i, i));
}

std::variant<FilterDesign, DesignRefusal> designFilter(const TuningTable &table,
                                                       const DesignRequest &request) {
    FilterDesign d;
    d.order = table.stages.size();
    d.f0 = request.f0;
    d.bandwidth = effectiveBandwidth(table.first.bandwidth);
    d.returnLossDb = table.returnLoss;
    d.band = MatrixBand{d.f0, d.bandwidth, request.qu, {0, 0}, {0, 0}};
    d.topology =
        request.topology.value_or(request.zerosMHz.empty() ? Topology::Inline : Topology::Folded);
    d.zerosMHz = request.zerosMHz;
    std::sort(d.zerosMHz.begin(), d.zerosMHz.end());
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
    const std::size_t most = mostZeros(d.topology, d.order);
    if (d.zerosMHz.size() > most)
        return DesignRefusal{DesignRefusal::TooManyZeros, 0, d.topology, most};
    pairSymmetricZeros(d.zerosOmega);
    d.function = chebyshevFunction(d.order, d.returnLossDb, d.zerosOmega);
    d.matrix = foldedMatrix(transversalMatrix(d.function));
    return d;
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
        curve.s.push_back(matrixResponse(design.matrix, design.band, f));
    }
    return curve;
}

std::string describeDesign(const FilterDesign &design, const TuningTable &table) {
    std::string text = "order " + std::to_string(design.order) + ", bandwidth " +
                       formatShortest(table.first.bandwidth) + " MHz, ripple " +
                       formatShortest(table.first.ripple) + " dB, f0 " + formatShortest(design.f0) +
                       " MHz, " + std::string(topologyName(design.topology));
    if (!design.zerosMHz.empty()) {
        text += ", zeros ";
        for (std::size_t i = 0; i < design.zerosMHz.size(); ++i)
            text += (i ? ", " : "") + formatShortest(design.zerosMHz[i]);
        text += " MHz";
    }
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

std::string designRefusalText(const DesignRefusal &refusal, const TuningTable &table, double f0) {
    const MatrixBand band{
        f0, effectiveBandwidth(table.first.bandwidth), std::nullopt, {0, 0}, {0, 0}};
    const std::string zero = "the zero at " + formatShortest(refusal.zeroMHz) + " MHz";
    switch (refusal.kind) {
    case DesignRefusal::ZeroNotPositive:
        return zero + " is not above 0 MHz";
    case DesignRefusal::ZeroInBand:
        return zero + " is inside the band (" + formatFixed(bandPassFrequency(band, -1), 3) +
               " to " + formatFixed(bandPassFrequency(band, 1), 3) +
               " MHz): a transmission zero lies outside it";
    case DesignRefusal::TooManyZeros:
        break;
    }
    const std::string name(topologyName(refusal.topology));
    if (refusal.most == 0)
        return "an " + name + " filter makes no transmission zeros; give --topology folded";
    return "a " + name + " filter of order " + std::to_string(table.stages.size()) +
           " makes at most " + std::to_string(refusal.most) + " transmission zero" +
           (refusal.most == 1 ? "" : "s");
}

} // namespace varnel
