// The stage fit against what a check reads today, on the same 801-point
// sweep of stage 8 of an order-8 filter (resonator 5 off by 0.2 MHz, Qu
// 3000): the fit, the whole check, and the group-delay trace alone; and the
// whole filter's fit of an order-8 two-port sweep (bench/diagnose_bench.py
// holds a numpy fit of the same model against it); and the coupling-matrix
// fit of an order-8 cascaded-quadruplet sweep of the same size, beside it;
// and the in-line and the cross-coupled diagnoses whole.
//   build/bench/bench_fit
#include "tuning/check.h"
#include "tuning/diagnosis.h"
#include "tuning/filter_design.h"
#include "tuning/filter_fit.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/matrix_fit.h"
#include "tuning/stage_fit.h"

#include <benchmark/benchmark.h>

#include <variant>

namespace {

using namespace varnel;

struct Sweep {
    TuningTable table;
    Network network;
    CheckSettings settings;
};

const Sweep &sweep() {
    static const Sweep made = [] {
        Sweep s;
        s.table = std::get<TuningTable>(tuningTable("8", "10", "0.01", std::nullopt));
        s.settings.stage = 8;
        s.settings.f0 = 1000;
        s.settings.qu = 3000.0;
        FitModel fitModel;
        fitModel.g = stageModel(s.table, 8, 1000, 3000.0).g;
        fitModel.f0 = 1000;
        fitModel.fbw = effectiveBandwidth(10) / 1000;
        s.network.ports = 1;
        s.network.only = SParameter{1, 1};
        std::vector<double> parameters(fitModel.parameterCount(), 0.0); // slopes 0
        for (int i = 8; i < 16; ++i)
            parameters[static_cast<std::size_t>(i)] = 1;
        parameters[4] = 0.2;
        parameters[16] = 1 / (effectiveBandwidth(10) / 1000 * 3000);
        for (int j = 0; j < 801; ++j) {
            const double f = 985 + 30.0 * j / 800;
            s.network.frequencyMHz.push_back(f);
            s.network.values.push_back(fitModelAt(fitModel, parameters, f).s);
        }
        return s;
    }();
    return made;
}

void fit(benchmark::State &state) {
    const Sweep &s = sweep();
    for (auto _ : state)
        benchmark::DoNotOptimize(fitStage(s.table, s.network, s.settings));
}
BENCHMARK(fit)->Unit(benchmark::kMillisecond);

void check(benchmark::State &state) {
    const Sweep &s = sweep();
    for (auto _ : state)
        benchmark::DoNotOptimize(checkStage(s.table, s.network, s.settings));
}
BENCHMARK(check)->Unit(benchmark::kMillisecond);

// An order-8 filter, 801 points of S11, S21 and S22 (resonator 3 0.3 MHz
// high, port delays 1 and 2 ns), fitted whole: what diagnose does.
const std::pair<TuningTable, Network> &inlineSweep() {
    static const auto made = [] {
        std::pair<TuningTable, Network> m;
        m.first = std::get<TuningTable>(tuningTable("8", "10", "0.01", std::nullopt));
        FilterModel model;
        for (const TuningStage &stage : m.first.stages)
            model.g.push_back(stage.g);
        model.load = m.first.loadG;
        model.f0 = 1000;
        model.fbw = effectiveBandwidth(10) / 1000;
        std::vector<double> x(model.parameterCount(), 0.0);
        for (std::size_t i = 8; i < 16; ++i)
            x[i] = 1;
        x[2] = 0.3;
        x[16] = 1 / (model.fbw * 3000);
        x[17] = 1;
        x[18] = 1;
        x[20] = 2;
        m.second.ports = 2;
        for (int j = 0; j < 801; ++j) {
            const double f = 985 + 30.0 * j / 800;
            const FilterPoint p = filterModelAt(model, x, f);
            m.second.frequencyMHz.push_back(f);
            m.second.values.insert(m.second.values.end(), {p.s11, p.s21, p.s21, p.s22});
        }
        return m;
    }();
    return made;
}

void filterFit(benchmark::State &state) {
    const auto &made = inlineSweep();
    FilterFitSettings settings;
    settings.f0 = 1000;
    settings.qu = 3000.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            fitFilter(made.first, made.second, settings, [](const FilterFit &fit) {
                return diagnosisElements(fit, DiagnoseSettings{}, 10);
            }));
}
BENCHMARK(filterFit)->Unit(benchmark::kMillisecond);

// An order-8 cascaded-quadruplet design (zero pairs at 985/1015.2 and
// 990/1010.1 MHz), resonator 3 off by 1 % of BW and coupling 1-4 by 5 %,
// Qu 3000, port delays 1 and 2 ns, 801 points of S11, S21 and S22, fitted
// from the design.
const std::pair<FilterDesign, Network> &quadrupletSweep() {
    static const auto made = [] {
        const TuningTable table =
            std::get<TuningTable>(tuningTable("8", "10", "0.01", std::nullopt));
        DesignRequest request;
        request.f0 = 1000;
        request.zerosMHz = {985, 1e6 / 985, 990, 1e6 / 990};
        request.topology = topologyNamed("cq");
        const FilterDesign d = std::get<FilterDesign>(designFilter(table, request));
        CouplingMatrix truth = d.matrix;
        truth.set(3, 3, 0.02);
        truth.set(1, 4, truth.at(1, 4) * 1.05);
        MatrixBand band = d.band;
        band.qu = 3000.0;
        band.delayNs[0] = 1;
        band.delayNs[1] = 2;
        std::pair<FilterDesign, Network> m{d, {}};
        m.second.ports = 2;
        for (int j = 0; j < 801; ++j) {
            const double f = 985 + 30.0 * j / 800;
            const MatrixResponse r = matrixResponse(truth, band, f);
            m.second.frequencyMHz.push_back(f);
            m.second.values.insert(m.second.values.end(), {r.s11, r.s21, r.s21, r.s22});
        }
        return m;
    }();
    return made;
}

void matrixFit(benchmark::State &state) {
    const auto &made = quadrupletSweep();
    CouplingPattern pattern(8);
    for (std::size_t a = 1; a <= 8; ++a)
        for (std::size_t b = a + 1; b <= 8; ++b)
            if (made.first.matrix.at(a, b) != 0)
                pattern.allow(a, b);
    const MatrixFitSettings settings{1000, made.first.bandwidth, pattern, std::nullopt, 3000};
    for (auto _ : state)
        benchmark::DoNotOptimize(fitMatrix(made.first.matrix, made.second, settings));
}
BENCHMARK(matrixFit)->Unit(benchmark::kMillisecond);

// The two diagnoses as the command runs them (a design's synthesis
// included for the cross-coupled one): the goal is within 2 x the in-line.
void inlineDiagnose(benchmark::State &state) {
    const auto &made = inlineSweep();
    DiagnoseSettings settings;
    settings.f0 = 1000;
    for (auto _ : state)
        benchmark::DoNotOptimize(diagnoseFilter(made.first, made.second, settings));
}
BENCHMARK(inlineDiagnose)->Unit(benchmark::kMillisecond);

void matrixDiagnose(benchmark::State &state) {
    const auto &made = quadrupletSweep();
    const TuningTable table = std::get<TuningTable>(tuningTable("8", "10", "0.01", std::nullopt));
    DesignRequest request;
    request.f0 = 1000;
    request.zerosMHz = made.first.zerosMHz;
    request.topology = made.first.topology;
    MatrixDiagnoseSettings settings;
    settings.f0 = 1000;
    for (auto _ : state) {
        const FilterDesign d = std::get<FilterDesign>(designFilter(table, request));
        benchmark::DoNotOptimize(diagnoseMatrix(d, 10, made.second, settings));
    }
}
BENCHMARK(matrixDiagnose)->Unit(benchmark::kMillisecond);

// The design alone, of the cross-coupled diagnosis above.
void quadrupletDesign(benchmark::State &state) {
    const auto &made = quadrupletSweep();
    const TuningTable table = std::get<TuningTable>(tuningTable("8", "10", "0.01", std::nullopt));
    DesignRequest request;
    request.f0 = 1000;
    request.zerosMHz = made.first.zerosMHz;
    request.topology = made.first.topology;
    for (auto _ : state)
        benchmark::DoNotOptimize(designFilter(table, request));
}
BENCHMARK(quadrupletDesign)->Unit(benchmark::kMillisecond);

void delayTrace(benchmark::State &state) {
    const Sweep &s = sweep();
    for (auto _ : state)
        benchmark::DoNotOptimize(groupDelay(s.network.frequencyMHz, s.network.values, 2, 0));
}
BENCHMARK(delayTrace)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
