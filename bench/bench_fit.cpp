// The stage fit against what a check reads today, on the same 801-point
// sweep of stage 8 of an order-8 filter (resonator 5 off by 0.2 MHz, Qu
// 3000): the fit, the whole check, and the group-delay trace alone.
//   build/bench/bench_fit
#include "tuning/check.h"
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
        std::vector<double> parameters(2 * 8 + 3, 0.0);
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

void delayTrace(benchmark::State &state) {
    const Sweep &s = sweep();
    for (auto _ : state)
        benchmark::DoNotOptimize(groupDelay(s.network.frequencyMHz, s.network.values, 2, 0));
}
BENCHMARK(delayTrace)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
