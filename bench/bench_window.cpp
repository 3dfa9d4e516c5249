// Time from a click on Calculate to the result field updated, on Qt's
// offscreen platform.   build/bench/bench_window
#include "calculator_window/form1.h"
#include "window_runtime/start.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <benchmark/benchmark.h>

namespace {

void BM_CalculateClickToResult(benchmark::State &state) {
    varnel::Form1 form;
    form.show();
    auto *button = form.findChild<QPushButton *>("Command1");
    auto *result = form.findChild<QLineEdit *>("Text4");
    for (auto _ : state) {
        result->clear();
        QTest::mouseClick(button, Qt::LeftButton);
        if (result->text() != QLatin1String("48.149"))
            state.SkipWithError("wrong result");
    }
}
BENCHMARK(BM_CalculateClickToResult);

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    varnel::applyApplicationSettings();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
