// Speed of the Calculate command and of batch mode.
//   build/bench/bench_calculate
#include "calculation/calculate.h"
#include "cli/batch.h"
#include "lowpass_prototype/run_time_error.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string>

namespace {

void BM_CalculateInitialTexts(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(varnel::calculate(varnel::initialText::order,
                                                   varnel::initialText::bandwidth,
                                                   varnel::initialText::ripple));
}
BENCHMARK(BM_CalculateInitialTexts);

struct Fields {
    const char *order, *bandwidth, *ripple;
};

// Typical entries with a share of the mistakes users make.
constexpr std::array<Fields, 12> mixed = {{
    {"5", "10", "0.01"},
    {"3", "26.9", "0.1"},
    {"   7", " 5", "0.05"},
    {"6", "10MHz", "0.01dB"},
    {"4.5", "150", "0.2"},
    {"9", "1,5", "0.5"},
    {"11", "2.5e1", "0.043"},
    {"-5", "10", "-0.01"},
    {"", "10", "0.01"},      // Division by zero
    {"5", "", "0.01"},       // Division by zero
    {"40000", "10", "0.01"}, // Overflow
    {"5", "10", "13000"},    // Overflow
}};

void BM_CalculateMixed(benchmark::State &state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const Fields &f = mixed[i++ % mixed.size()];
        benchmark::DoNotOptimize(varnel::answerFields(f.order, f.bandwidth, f.ripple));
    }
}
BENCHMARK(BM_CalculateMixed);

void BM_BatchLines(benchmark::State &state) {
    std::string input;
    constexpr int lines = 10000;
    for (int i = 0; i < lines; ++i) {
        const Fields &f = mixed[i % 8]; // the typical rows
        input += std::string(f.order) + '\t' + f.bandwidth + '\t' + f.ripple + '\n';
    }
    for (auto _ : state) {
        varnel::BatchProcessor batch;
        for (std::size_t at = 0; at < input.size(); at += 65536) {
            batch.feed(std::string_view(input).substr(at, 65536));
            batch.output().clear();
        }
        batch.finish();
        benchmark::DoNotOptimize(batch.lineCount());
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_BatchLines);

} // namespace

BENCHMARK_MAIN();
