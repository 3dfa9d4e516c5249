#include "tuning/matrix_diagnosis.h"

#include "number_text/number_text.h"
#include "tuning/rational_start.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnel {

namespace {

// An entry whose uncertainty at unit noise exceeds this many times the
// largest coupling is one the sweep does not determine.
constexpr double undeterminedAtUnitNoise = 1e6;

// The design's largest coupling between resonators: what entries are a
// percentage of.
double largestCoupling(const CouplingMatrix &m) {
    double largest = 0;
    for (std::size_t a = 1; a <= m.order; ++a)
        for (std::size_t b = a + 1; b <= m.order; ++b)
            largest = std::max(largest, std::abs(m.at(a, b)));
    return largest;
}

Finding resonatorFinding(const MatrixDiagnosis &d, std::size_t i, double sigma) {
    const MatrixBand &band = d.design.band;
    const double designed = -d.design.matrix.at(i, i), fitted = -d.fit.matrix.at(i, i);
    Finding f;
    f.element = Finding::Resonator;
    f.index = static_cast<int>(i);
    f.offsetMHz = bandPassFrequency(band, fitted) - bandPassFrequency(band, designed);
    f.percent = f.offsetMHz / d.bandwidthMHz * 100;
    const double perOmega =
        (bandPassFrequency(band, fitted + 1e-3) - bandPassFrequency(band, fitted - 1e-3)) / 2e-3;
    f.uncertaintyPercent = sigma * perOmega / d.bandwidthMHz * 100;
    f.direction = f.percent > 0 ? Finding::Down : Finding::Up;
    return f;
}

Finding couplingFinding(const MatrixDiagnosis &d, std::size_t a, std::size_t b, double sigma,
                        double scale) {
    const double designed = d.design.matrix.at(a, b), fitted = d.fit.matrix.at(a, b);
    Finding f;
    f.element = Finding::Coupling;
    f.from = static_cast<int>(a);
    f.index = static_cast<int>(b);
    f.toLoad = b == d.design.order + 1;
    const double stronger = designed == 0  ? std::abs(fitted)
                            : designed > 0 ? fitted - designed
                                           : designed - fitted;
    f.percent = stronger / scale * 100;
    f.uncertaintyPercent = sigma / scale * 100;
    f.direction = f.percent > 0 ? Finding::Weaken : Finding::Strengthen;
    return f;
}

// Every element with its tolerance, and the one the sweep determines
// least at unit noise (none where every one is determined).
std::vector<JudgedElement> matrixElements(const MatrixDiagnosis &d,
                                          std::optional<Finding> &undetermined) {
    const double scale = largestCoupling(d.design.matrix);
    const double unit = std::max(d.fit.residualRms, std::numeric_limits<double>::min());
    std::vector<JudgedElement> resonators, couplings;
    double worst = undeterminedAtUnitNoise;
    for (std::size_t k = 0; k < d.fit.entries.size(); ++k) {
        const auto [a, b] = d.fit.entries[k];
        const double sigma = d.fit.uncertainty[k];
        const Finding f =
            a == b ? resonatorFinding(d, a, sigma) : couplingFinding(d, a, b, sigma, scale);
        if (a == b)
            resonators.push_back({f, d.settings.toleranceFrequencyPercent});
        else
            couplings.push_back({f, d.settings.tolerancePercent});
        const double atUnit = sigma / unit / scale;
        if (!(atUnit <= worst)) {
            worst = std::isfinite(atUnit) ? atUnit : std::numeric_limits<double>::infinity();
            undetermined = f;
        }
    }
    resonators.insert(resonators.end(), couplings.begin(), couplings.end());
    return resonators;
}

// The fitted matrix with one element put back to the design's.
CouplingMatrix corrected(const MatrixDiagnosis &d, const Finding &f) {
    CouplingMatrix m = d.fit.matrix;
    const auto a =
        static_cast<std::size_t>(f.element == Finding::Resonator ? f.index : f.lowerEnd());
    const auto b = static_cast<std::size_t>(f.index);
    m.set(a, b, d.design.matrix.at(a, b));
    return m;
}

// A cascade's sections in the design.
std::vector<Section> sectionsOf(const FilterDesign &design) {
    const std::size_t zeros = design.zerosOmega.size();
    switch (design.topology.topology) {
    case Topology::Triplets:
        return tripletSections(design.order, zeros);
    case Topology::Quadruplets:
        return quadrupletSections(design.order, zeros / 2);
    default:
        return {};
    }
}

// The fit. A cascade of two sections or more also has matrices that
// explain the same response with the sections' zeros exchanged, near the
// design where its zeros lie close: its fit starts with the cross-couplings
// held at the design's until the main line has settled, which keeps the
// design's sections' zeros where one fit of every entry at once may not.
void fitDesign(MatrixDiagnosis &d, const Network &sweep, const MatrixFitSettings &fitting) {
    const FilterDesign &design = d.design;
    if (sectionsOf(design).size() < 2) {
        d.fit = fitMatrix(design.matrix, sweep, fitting);
        return;
    }
    MatrixFitSettings mainLine = fitting;
    mainLine.pattern = cascadePattern(design.order, {});
    d.fit = fitMatrix(fitMatrix(design.matrix, sweep, mainLine).matrix, sweep, fitting);
}

// Whether the topology has one matrix for each response: the in-line and
// the folded form. A cascade has others, its sections' zeros exchanged.
bool uniqueForm(const FilterDesign &design) {
    const Topology t = design.topology.topology;
    return t == Topology::Inline || t == Topology::Folded;
}

// A filter too far from the design for a fit from it to find: a fit from
// the sweep's own rational function, taken where it matches the sweep. A
// cascade's start is the one of its matrices whose sections make the
// zeros nearest the design's (rational_start.h); one beyond half the band
// stays doubted (its zeros could have passed each other).
void fitFromSweep(MatrixDiagnosis &d, const Network &sweep, const MatrixFitSettings &fitting) {
    if (d.matchesSweep() || !d.twoPort)
        return;
    const std::optional<SweepStart> start =
        sweepMatrixStart(d.design, sweep, d.fit.delayNs, fitting.startQu);
    if (!start)
        return;
    // From the start's own loss (Qu not given): its lines are aligned there.
    MatrixFitSettings started = fitting;
    if (start->qu > 0)
        started.startQu = start->qu;
    const MatrixFit fit = fitMatrix(start->matrix, sweep, started);
    if (fit.converged && residualMatches(fit.residualRms, d.noiseDb))
        d.fit = fit;
}

void judge(MatrixDiagnosis &d) {
    std::optional<Finding> undetermined;
    d.elements = matrixElements(d, undetermined);
    // An in-line or folded matrix is the only one of its form with its
    // response: one that matches the sweep is the filter, however far off.
    d.doubts =
        fitDoubts(d.fit.converged, d.fit.residualRms, d.noiseDb, d.elements, uniqueForm(d.design));
    if (!d.matchesSweep() && !d.twoPort)
        d.doubts.push_back(needsS21Doubt());
    if (undetermined) {
        // Equivalent matrices, not noise: the noise's doubt would mislead.
        std::erase_if(d.doubts, [](const Doubt &doubt) { return doubt.kind == Doubt::TooNoisy; });
        Doubt doubt;
        doubt.kind = Doubt::NotUnique;
        doubt.finding = *undetermined;
        d.doubts.push_back(doubt);
    }
    if (!d.doubts.empty()) {
        d.outcome = Diagnosis::TooFar;
        return;
    }
    std::vector<std::pair<double, Finding>> ranked;
    for (const JudgedElement &e : d.elements)
        if (std::abs(e.finding.percent) > e.tolerancePercent)
            ranked.emplace_back(matrixReturnLossDb(corrected(d, e.finding), d.design, d.fit.qu) -
                                    d.returnLossDb,
                                e.finding);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &x, const auto &y) { return x.first > y.first; });
    for (const auto &[gain, finding] : ranked) {
        d.findings.push_back(finding);
        d.gainDb.push_back(gain);
    }
    d.outcome = d.findings.empty() ? Diagnosis::Pass : Diagnosis::Fail;
}

} // namespace

bool MatrixDiagnosis::matchesSweep() const {
    return fit.converged && residualMatches(fit.residualRms, noiseDb);
}

double matrixReturnLossDb(const CouplingMatrix &matrix, const FilterDesign &design, double qu) {
    MatrixBand band = design.band;
    band.qu = qu > 0 ? std::optional(qu) : std::nullopt;
    band.delayNs[0] = band.delayNs[1] = band.phaseRad[0] = band.phaseRad[1] = 0;
    std::vector<double> f;
    for (int i = 0; i <= 200; ++i)
        f.push_back(bandPassFrequency(band, -1 + i / 100.0));
    double worst = 0;
    for (const MatrixResponse &r : matrixResponses(matrix, band, f))
        worst = std::max(worst, std::abs(r.s11));
    return -20 * std::log10(worst);
}

std::variant<MatrixDiagnosis, DiagnoseRefusal> diagnoseMatrix(const FilterDesign &design,
                                                              double bandwidthMHz,
                                                              const Network &network,
                                                              const MatrixDiagnoseSettings &s) {
    Network sweep = network;
    const bool twoPort = network.ports == 2 && !network.only && !s.s11Only;
    if (!twoPort)
        sweep.keepOnly({1, 1});
    const CouplingPattern pattern = designPattern(design);
    std::size_t parameters = 2 * design.order + 1 + (s.qu ? 0 : 1) + (twoPort ? 4 : 2);
    for (std::size_t a = 1; a <= design.order; ++a)
        for (std::size_t b = a + 2; b <= design.order; ++b)
            parameters += pattern.at(a, b) ? 1 : 0;
    const std::vector<double> &f = sweep.frequencyMHz;
    if (f.size() < 4 * parameters)
        return DiagnoseRefusal{DiagnoseRefusal::TooFewPoints, s.f0, 0, 0, f.size(), 4 * parameters};
    if (!(s.f0 >= f.front() && s.f0 <= f.back()))
        return DiagnoseRefusal{DiagnoseRefusal::F0Outside, s.f0, f.front(), f.back(), 0, 0};

    MatrixDiagnosis d;
    d.settings = s;
    d.design = design;
    d.bandwidthMHz = bandwidthMHz;
    d.twoPort = twoPort;
    std::vector<ParameterView> traces{sweep.view({1, 1})};
    if (twoPort)
        traces.push_back(sweep.view({2, 1}));
    if (twoPort && !sweep.forwardOnly)
        traces.push_back(sweep.view({2, 2}));
    d.traces = traces.size();
    d.noiseDb = pooledNoiseDb(traces);
    const MatrixFitSettings fitting{design.f0, design.bandwidth, pattern, s.qu,
                                    s.qu.value_or(3000)};
    fitDesign(d, sweep, fitting);
    fitFromSweep(d, sweep, fitting);
    d.returnLossDb = matrixReturnLossDb(d.fit.matrix, design, d.fit.qu);
    d.designReturnLossDb = matrixReturnLossDb(design.matrix, design, d.fit.qu);
    judge(d);
    return d;
}

namespace {

// The fitted matrix's response at the sweep's points, as measured.
std::vector<MatrixResponse> fittedResponses(const MatrixDiagnosis &d, const Network &network) {
    MatrixBand band = d.design.band;
    band.qu = d.fit.qu > 0 ? std::optional(d.fit.qu) : std::nullopt;
    for (int p = 0; p < 2; ++p) {
        band.delayNs[p] = d.fit.delayNs[p];
        band.phaseRad[p] = d.fit.phaseRad[p];
    }
    return matrixResponses(d.fit.matrix, band, network.frequencyMHz);
}

} // namespace

DiagnosisTraces matrixDiagnosisTraces(const MatrixDiagnosis &d, const Network &network) {
    DiagnosisTraces t;
    t.fMHz = network.frequencyMHz;
    MatrixBand designBand = d.design.band;
    designBand.qu = d.fit.qu > 0 ? std::optional(d.fit.qu) : std::nullopt;
    for (int p = 0; p < 2; ++p)
        designBand.delayNs[p] = designBand.phaseRad[p] = 0;
    const auto fitted = fittedResponses(d, network);
    const auto designed = matrixResponses(d.design.matrix, designBand, t.fMHz);
    const ParameterView s11 = network.view({1, 1});
    const bool two = d.twoPort && network.ports >= 2;
    const ParameterView s21 = two ? network.view({2, 1}) : ParameterView();
    auto db = [](std::complex<double> v) { return 20 * std::log10(std::abs(v)); };
    for (std::size_t i = 0; i < t.fMHz.size(); ++i) {
        t.s11Measured.push_back(db(s11[i]));
        t.s11Fitted.push_back(db(fitted[i].s11));
        t.s11Design.push_back(db(designed[i].s11));
        t.s21Design.push_back(db(designed[i].s21));
        if (two) {
            t.s21Measured.push_back(db(s21[i]));
            t.s21Fitted.push_back(db(fitted[i].s21));
        }
    }
    return t;
}

std::string matrixDiagnosisCsv(const MatrixDiagnosis &d, const Network &network) {
    std::vector<std::complex<double>> fitted11, fitted21;
    for (const MatrixResponse &r : fittedResponses(d, network)) {
        fitted11.push_back(r.s11);
        fitted21.push_back(r.s21);
    }
    return fittedTracesCsv(network, d.twoPort, fitted11, fitted21);
}

Diagnosis shownDiagnosis(const MatrixDiagnosis &d) {
    Diagnosis shown;
    shown.outcome = d.outcome;
    shown.findings = d.findings;
    shown.gainDb = d.gainDb;
    shown.doubts = d.doubts;
    return shown;
}

std::string matrixDiagnosisText(const MatrixDiagnosis &d) {
    // Equivalent matrices alone: the sweep, not the tuning, is short.
    if (d.outcome == Diagnosis::TooFar &&
        std::all_of(d.doubts.begin(), d.doubts.end(),
                    [](const Doubt &doubt) { return doubt.kind == Doubt::NotUnique; })) {
        std::string text = "The sweep cannot decide: ";
        for (std::size_t i = 0; i < d.doubts.size(); ++i)
            text.append(i == 0 ? "" : "; ").append(doubtText(d.doubts[i]));
        return text.append(".");
    }
    return diagnosisText(shownDiagnosis(d));
}

} // namespace varnel
