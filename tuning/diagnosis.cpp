#include "tuning/diagnosis.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "tuning/filter_design.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/slope_choice.h"
#include "tuning/stage_fit.h"
#include "tuning/trace_noise.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace varnel {

namespace {

// The scales as the couplings' products: s_1, s_(i-1) s_i for i = 2..n,
// s_n s_o; and the scales rebuilt from them, s_1 first.
std::vector<double> scaleProducts(const std::vector<double> &x, std::size_t n) {
    std::vector<double> products(n + 1);
    products[0] = x[n];
    for (std::size_t k = 1; k < n; ++k)
        products[k] = x[n + k - 1] * x[n + k];
    products[n] = x[2 * n - 1] * x[2 * n + 1];
    return products;
}

void setScales(std::vector<double> &x, std::size_t n, const std::vector<double> &products) {
    x[n] = products[0];
    for (std::size_t k = 1; k < n; ++k)
        x[n + k] = products[k] / x[n + k - 1];
    x[2 * n + 1] = products[n] / x[2 * n - 1];
}

// Where a coupling's or a port's Qe is among the products.
std::size_t productOf(const Finding &f, std::size_t n) {
    const auto i = static_cast<std::size_t>(f.index);
    return f.element == Finding::Coupling ? i - 1 : i == 1 ? 0 : n;
}

// The fitted parameters with one element put back to its design value and
// every other kept.
std::vector<double> corrected(const FilterFit &fit, const Finding &f) {
    std::vector<double> x = fit.parameters();
    const std::size_t n = fit.scale.size();
    if (f.element == Finding::Resonator) {
        x[static_cast<std::size_t>(f.index) - 1] = 0;
        return x;
    }
    std::vector<double> products = scaleProducts(x, n);
    products[productOf(f, n)] = 1;
    setScales(x, n, products);
    return x;
}

// The main line of `order` resonators and `cross`, as --topology takes it.
std::string withCoupling(int order, const Doubt::Cross &cross) {
    TopologyChoice list{Topology::Listed, {}};
    for (std::size_t i = 1; i < static_cast<std::size_t>(order); ++i)
        list.listed.emplace_back(i, i + 1);
    list.listed.emplace_back(static_cast<std::size_t>(cross.from),
                             static_cast<std::size_t>(cross.to));
    return topologyName(list);
}

// A filter too far from the design for the fit from it to find: the
// in-line coupling matrix fitted from the sweep's own rational function
// (matrix_diagnosis.h), where it matches the sweep, as the fit's start.
// It needs S21; none otherwise.
std::optional<FilterStart> sweepStart(const TuningTable &table, const Network &network,
                                      const DiagnoseSettings &s) {
    if (s.s11Only || network.ports < 2 || network.only)
        return std::nullopt;
    const auto designed =
        designFilter(table, DesignRequest{s.f0, {}, TopologyChoice{Topology::Inline, {}}, s.qu});
    const auto *design = std::get_if<FilterDesign>(&designed);
    if (!design)
        return std::nullopt;
    const MatrixDiagnoseSettings settings{s.f0, s.qu, false, s.tolerancePercent,
                                          s.toleranceFrequencyPercent};
    const auto diagnosed = diagnoseMatrix(*design, table.first.bandwidth, network, settings);
    const auto *m = std::get_if<MatrixDiagnosis>(&diagnosed);
    if (!m || !m->matchesSweep())
        return std::nullopt;
    const CouplingMatrix &matrix = m->fit.matrix;
    const std::size_t n = design->order;
    const double fbw = design->bandwidth / design->f0;
    FilterStart start;
    for (std::size_t i = 1; i <= n; ++i) {
        start.resonatorMHz.push_back(bandPassFrequency(design->band, -matrix.at(i, i)));
        if (i < n)
            start.coupling.push_back(fbw * std::abs(matrix.at(i, i + 1)));
    }
    start.qe[0] = 1 / (fbw * std::pow(matrix.at(0, 1), 2));
    start.qe[1] = 1 / (fbw * std::pow(matrix.at(n, n + 1), 2));
    start.qu = m->fit.qu;
    return start;
}

// The fit again from the sweep's own start, where it matches the sweep.
template <class Judged>
std::optional<FilterFit> fitFromSweep(const TuningTable &table, const Network &network,
                                      const DiagnoseSettings &s, FilterFitSettings fitting,
                                      const Judged &judged) {
    fitting.start = sweepStart(table, network, s);
    if (!fitting.start)
        return std::nullopt;
    FilterFit again = fitFilter(table, network, fitting, judged);
    return again.matchesSweep() ? std::optional(std::move(again)) : std::nullopt;
}

} // namespace

std::vector<JudgedElement> diagnosisElements(const FilterFit &fit, const DiagnoseSettings &s,
                                             double bandwidth) {
    return filterElements(fit, bandwidth, s.toleranceFrequencyPercent, s.tolerancePercent);
}

std::string diagnoseRefusalText(const DiagnoseRefusal &r) {
    std::string text;
    if (r.kind == DiagnoseRefusal::F0Outside)
        return text.append("f0 ")
            .append(formatShortest(r.f0))
            .append(" MHz is outside the sweep (")
            .append(formatShortest(r.fromMHz))
            .append(" to ")
            .append(formatShortest(r.toMHz))
            .append(" MHz)");
    return text.append("the sweep has ")
        .append(std::to_string(r.points))
        .append(" points; diagnosing this filter needs at least ")
        .append(std::to_string(r.needed));
}

std::variant<Diagnosis, DiagnoseRefusal>
diagnoseFilter(const TuningTable &table, const Network &network, const DiagnoseSettings &s) {
    const std::vector<double> &f = network.frequencyMHz;
    const std::size_t parameters = 2 * table.stages.size() + 6;
    if (f.size() < 4 * parameters)
        return DiagnoseRefusal{DiagnoseRefusal::TooFewPoints, s.f0, 0, 0, f.size(), 4 * parameters};
    if (!(s.f0 >= f.front() && s.f0 <= f.back()))
        return DiagnoseRefusal{DiagnoseRefusal::F0Outside, s.f0, f.front(), f.back(), 0, 0};

    Diagnosis d;
    d.settings = s;
    d.order = static_cast<int>(table.stages.size());
    d.bandwidthMHz = table.first.bandwidth;
    FilterFitSettings fitting{s.f0,      s.qu,     s.resonator, s.s11Only, s.couplingSlope,
                              s.qeSlope, s.cutoff, {}};
    auto judged = [&](const FilterFit &fit) { return diagnosisElements(fit, s, d.bandwidthMHz); };
    d.fit = fitFilter(table, network, fitting, judged);
    if (!d.fit.matchesSweep())
        if (auto again = fitFromSweep(table, network, s, fitting, judged))
            d.fit = std::move(*again);
    // The other kind of resonator, as for a stage (check.cpp).
    if (effectiveBandwidth(d.bandwidthMHz) / s.f0 >= kindsApartFbw) {
        const ResonatorKind other = otherResonatorKind(s.resonator);
        FilterFit rival = refitFilterAsKind(d.fit, other, network, fitting);
        const std::size_t rows = fitPointCount(network.frequencyMHz.size()) * d.fit.model.traces();
        const KindRivalry worth = kindRivalry(d.fit, rival, rows);
        if (s.resonatorAuto && worth >= KindRivalry::Rival) {
            d.fit = std::move(rival);
            d.settings.resonator = other;
        } else if (!s.resonatorAuto && worth == KindRivalry::Better) {
            d.betterResonator = other;
        }
    }
    const FilterFit &fit = d.fit;
    d.elements = diagnosisElements(fit, s, d.bandwidthMHz);
    const std::vector<double> x = fit.parameters();
    d.returnLossDb = fit.returnLossDb(x);
    d.designReturnLossDb = fit.returnLossDb(fit.designParameters());
    const ParameterView s11 = network.view({1, 1});
    for (std::size_t i = 0; i < s11.size(); ++i)
        if (std::abs(s11[i]) > 1) {
            ++d.aboveUnityPoints;
            d.aboveUnityDb = std::max(d.aboveUnityDb, 20 * std::log10(std::abs(s11[i])));
        }

    // An in-line filter is the only one of its form with its response: a
    // fit that matches the sweep decides it however far off.
    d.doubts = fittedDoubts(fit, fit.noiseDb, d.elements, d.betterResonator, true);
    // A coupling the design lacks that explains the sweep clearly better:
    // the reason the in-line fit does not match, or where it does, a doubt
    // if it puts an element elsewhere (else the findings hold with it, and
    // a warning names it).
    if (!d.betterResonator)
        d.crossFits = probeCrossCoupling(fit, network, fitting);
    if (const auto cross = crossCouplingDoubt(
            d.crossFits, fit.matchesSweep(), d.elements,
            [&](const FilterFit &with) { return diagnosisElements(with, s, d.bandwidthMHz); })) {
        d.doubts.push_back(*cross);
        d.doubts.back().crossTopology = withCoupling(d.order, cross->cross.front());
    }
    if (!fit.matchesSweep() && !fit.model.twoPort)
        d.doubts.push_back(needsS21Doubt());
    if (!d.doubts.empty()) {
        d.outcome = Diagnosis::TooFar;
        return d;
    }
    // Out of tolerance, ranked by the return loss each correction alone gains.
    std::vector<std::pair<double, Finding>> ranked;
    for (const JudgedElement &e : d.elements)
        if (std::abs(e.finding.percent) > e.tolerancePercent)
            ranked.emplace_back(fit.returnLossDb(corrected(fit, e.finding)) - d.returnLossDb,
                                e.finding);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &[gain, finding] : ranked) {
        d.findings.push_back(finding);
        d.gainDb.push_back(gain);
    }
    d.outcome = d.findings.empty() ? Diagnosis::Pass : Diagnosis::Fail;
    return d;
}

DiagnosisTraces diagnosisTraces(const Diagnosis &d, const Network &network) {
    const FilterFit &fit = d.fit;
    const bool two = fit.model.twoPort;
    DiagnosisTraces t;
    t.fMHz = network.frequencyMHz;
    const std::vector<double> x = fit.parameters();
    const std::vector<double> design = fit.designParameters();
    auto db = [](std::complex<double> v) { return 20 * std::log10(std::abs(v)); };
    const ParameterView s11 = network.view({1, 1});
    const ParameterView s21 = two ? network.view({2, 1}) : ParameterView();
    for (std::size_t i = 0; i < t.fMHz.size(); ++i) {
        const FilterPoint fitted = filterModelAt(fit.model, x, t.fMHz[i]);
        const FilterPoint designed = filterModelAt(fit.model, design, t.fMHz[i], false);
        t.s11Measured.push_back(db(s11[i]));
        t.s11Fitted.push_back(db(fitted.s11));
        t.s11Design.push_back(db(designed.s11));
        t.s21Design.push_back(db(designed.s21));
        if (two) {
            t.s21Measured.push_back(db(s21[i]));
            t.s21Fitted.push_back(db(fitted.s21));
        }
    }
    return t;
}

std::string diagnosisCsv(const Diagnosis &d, const Network &network) {
    const FilterFit &fit = d.fit;
    const std::vector<double> x = fit.parameters();
    std::vector<std::complex<double>> fitted11, fitted21;
    for (const double at : network.frequencyMHz) {
        const FilterPoint p = filterModelAt(fit.model, x, at);
        fitted11.push_back(p.s11);
        fitted21.push_back(p.s21);
    }
    return fittedTracesCsv(network, fit.model.twoPort, fitted11, fitted21);
}

std::string fittedTracesCsv(const Network &network, bool two,
                            const std::vector<std::complex<double>> &fitted11,
                            const std::vector<std::complex<double>> &fitted21) {
    const std::vector<double> &f = network.frequencyMHz;
    const ParameterView s11 = network.view({1, 1});
    const ParameterView s21 = two ? network.view({2, 1}) : ParameterView();
    auto delay = [&](ParameterView s, std::size_t i) {
        return -std::arg(s[i + 1] * std::conj(s[i - 1])) / (2 * std::numbers::pi) /
               (f[i + 1] - f[i - 1]) * 1e3;
    };
    auto db = [](std::complex<double> v) { return 20 * std::log10(std::abs(v)); };
    std::string text = two ? "f_mhz,s11_db_measured,s11_db_fitted,s21_db_measured,s21_db_fitted,"
                             "delay11_ns_measured,delay11_ns_fitted,delay21_ns_measured,"
                             "delay21_ns_fitted\n"
                           : "f_mhz,s11_db_measured,s11_db_fitted,delay11_ns_measured,"
                             "delay11_ns_fitted\n";
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
        std::vector<double> row = {f[i], db(s11[i]), db(fitted11[i])};
        if (two)
            row.insert(row.end(), {db(s21[i]), db(fitted21[i])});
        row.insert(row.end(), {delay(s11, i), delay(fitted11, i)});
        if (two)
            row.insert(row.end(), {delay(s21, i), delay(fitted21, i)});
        if (std::all_of(row.begin(), row.end(), [](double v) { return std::isfinite(v); }))
            appendCsvRow(text, row);
    }
    return text;
}

const char *diagnosisOutcomeName(Diagnosis::Outcome outcome) {
    switch (outcome) {
    case Diagnosis::Pass:
        return "pass";
    case Diagnosis::Fail:
        return "fail";
    case Diagnosis::TooFar:
        break;
    }
    return "too_far";
}

std::string diagnosisText(const Diagnosis &d) {
    std::string text;
    switch (d.outcome) {
    case Diagnosis::Pass:
        return "Within tolerance: the filter is tuned.";
    case Diagnosis::Fail:
        for (std::size_t i = 0; i < d.findings.size(); ++i)
            text.append(i == 0 ? "" : "\n")
                .append(findingText(d.findings[i]))
                .append(" (return loss ")
                .append(d.gainDb[i] < 0 ? "" : "+")
                .append(formatFixed(d.gainDb[i], 1))
                .append(" dB).");
        return text;
    case Diagnosis::TooFar:
        break;
    }
    if (d.doubts.size() == 1 && d.doubts[0].kind == Doubt::TooNoisy)
        return text.append("The sweep cannot decide: ")
            .append(doubtText(d.doubts[0]))
            .append("; or tune stage by stage first (varnel-calc check).");
    text = "The filter is too far from tune to diagnose: tune stage by stage first (varnel-calc "
           "check)";
    for (const Doubt &doubt : d.doubts)
        text.append("; ").append(doubtText(doubt));
    return text.append(".");
}

std::string fittedTracesName(std::size_t traces, bool prose) {
    constexpr const char *names[2][3] = {{"S11", "S11 S21", "S11 S21 S22"},
                                         {"S11", "S11 and S21", "S11, S21 and S22"}};
    return names[prose ? 1 : 0][std::clamp<std::size_t>(traces, 1, 3) - 1];
}

double plannedReturnLossDb(const Diagnosis &d, const Sensitivities &s,
                           const std::vector<PlannedTurn> &plan) {
    const std::size_t count = d.elements.size();
    std::vector<double> change(count, 0.0);
    for (const PlannedTurn &turn : plan)
        if (const auto k = s.find(turn.screw))
            for (std::size_t e = 0; e < count && e < s.columns[*k].size(); ++e)
                change[e] += s.columns[*k][e] * turn.turns;
    const std::size_t n = d.fit.scale.size();
    std::vector<double> x = d.fit.parameters();
    std::vector<double> products = scaleProducts(x, n);
    for (std::size_t e = 0; e < count; ++e) {
        const Finding &f = d.elements[e].finding;
        if (f.element == Finding::Resonator) {
            x[static_cast<std::size_t>(f.index) - 1] += change[e];
            continue;
        }
        // A ratio the plan cannot make, at or below 0, is held at 0.05.
        const double ratio = std::max(1 + change[e], 0.05);
        products[productOf(f, n)] *= f.element == Finding::Coupling ? 1 / (ratio * ratio) : ratio;
    }
    setScales(x, n, products);
    return d.fit.returnLossDb(x);
}

} // namespace varnel
