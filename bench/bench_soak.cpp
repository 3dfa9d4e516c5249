// A long run against one of the tests' fake analysers, through the source
// the tuning window uses (a thread, the newest sweep handed over): every
// sweep delivered is identified by the fake's sweep number (among those
// after the last one delivered: a repeated or stale sweep matches none) and
// checked point by point, so that a misframed, mixed, repeated or stale
// sweep shows; the resident memory is sampled as it runs.
//   build/bench/bench_soak scpi|pna|znb|librevna|nanovna [SECONDS]
// (scpi an ENA with S11 alone; pna and znb 2-port analysers, their four
// parameters each checked.)
// Replies come in pieces (and the NanoVNA's with stray prompts and banners
// before its echoes), as the integrity goal asks.
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "sweep_sources/sweep_source.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

using namespace varnel;

namespace {

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4;
}

// Sweep k as the fake sends it: in single precision for the NanoVNA.
std::vector<std::complex<double>> expected(int k, int points, bool single) {
    return single ? testing::FakeNanoVna::sweepValues(k, points, false)
                  : testing::fakeSweepValues(k, points);
}

struct Tally {
    long sweeps = 0, wrong = 0, overtaken = 0, failures = 0;
    long last = 0;
};

} // namespace

// Which of the fake's sweeps `sweep` is, and whether it is that one whole;
// `served` is how many the fake has sent.
void tallySweep(Tally &tally, const Sweep &sweep, const std::vector<std::complex<double>> &base,
                long served, int points, bool single, double tolerance, bool fourFromScpi) {
    ++tally.sweeps;
    const auto s11 = sweep.network->parameter({1, 1});
    // Sweep k is sweep 0 turned by k x 0.01 rad: k is the sweep after the
    // last delivered, up to the fake's latest, whose turn is nearest.
    const double turn = std::arg(s11[0] / base[0]);
    long k = tally.last + 1;
    double nearest = 10;
    for (long candidate = tally.last + 1; candidate <= served; ++candidate) {
        const double off = std::abs(std::remainder(0.01 * candidate - turn, 2 * M_PI));
        if (off < nearest) {
            nearest = off;
            k = candidate;
        }
    }
    const auto want = expected(static_cast<int>(k), points, single);
    bool same = s11.size() == want.size();
    for (std::size_t i = 0; same && i < s11.size(); ++i)
        same = std::abs(s11[i] - want[i]) <= tolerance;
    if (sweep.network->forwardOnly) { // the NanoVNA's S21 too
        const auto s21 = sweep.network->parameter({2, 1});
        const auto other =
            testing::FakeNanoVna::sweepValues(static_cast<int>(k), points, false, true);
        for (std::size_t i = 0; same && i < s21.size(); ++i)
            same = std::abs(s21[i] - other[i]) <= tolerance;
    }
    if (sweep.network->ports == 2 && fourFromScpi)
        for (const char *p : {"S21", "S12", "S22"}) {
            const auto got = sweep.network->parameter(*parseSParameter(p));
            const auto other =
                testing::FakeScpiAnalyser::parameterValues(static_cast<int>(k), p, points);
            for (std::size_t i = 0; same && i < got.size(); ++i)
                same = std::abs(got[i] - other[i]) <= tolerance;
        }
    if (!same && tally.wrong == 0)
        std::printf("sweep %ld differs from the fake's\n", k);
    tally.wrong += !same;
    tally.overtaken += k - tally.last - 1;
    tally.last = k;
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const std::string kind = argc > 1 ? argv[1] : "scpi";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 600;

    testing::FakeFaults faults;
    faults.pieceBytes = 700; // every reply in pieces
    std::unique_ptr<testing::FakeScpiAnalyser> scpi;
    std::unique_ptr<testing::FakeLibreVna> libre;
    std::unique_ptr<testing::FakeNanoVna> nano;
    QString address;
    int points = 201;
    double tolerance = 0;
    bool single = false; // the NanoVNA's numbers are float32
    if (kind == "scpi" || kind == "pna" || kind == "znb") {
        if (kind != "scpi") {
            faults.dialect = kind;
            faults.analyserPorts = 2;
            faults.triggerSource = "IMM";
        }
        scpi = std::make_unique<testing::FakeScpiAnalyser>(faults);
        address = QStringLiteral("scpi://127.0.0.1:%1").arg(scpi->port());
    } else if (kind == "librevna") {
        libre = std::make_unique<testing::FakeLibreVna>(faults);
        address = QStringLiteral("librevna://127.0.0.1:%1").arg(libre->port());
        tolerance = 1e-12; // 12 decimals
    } else {
        faults.points = points = 101;
        faults.pieceBytes = 64;
        faults.strayPrompts = true;
        nano = std::make_unique<testing::FakeNanoVna>(faults);
        address = QStringLiteral("nanovna:") + QString::fromStdString(nano->device());
        single = true;
    }
    const auto base = testing::fakeSweepValues(0, points);
    const std::function<int()> served = [&] {
        return scpi ? scpi->sweepsServed() : libre ? libre->sweepsServed() : nano->sweepsServed();
    };

    Tally tally;
    QElapsedTimer clock;
    clock.start();
    AnalyserSweepSource source(address);
    QObject::connect(&source, &SweepSource::sweepReady, [&](const Sweep &sweep) {
        tallySweep(tally, sweep, base, served(), points, single, tolerance,
                   kind == "pna" || kind == "znb");
    });
    QObject::connect(&source, &SweepSource::sweepFailed, [&](const SweepFailure &failure) {
        ++tally.failures;
        std::printf("failure at %.1f s: %s\n", clock.elapsed() / 1000.0,
                    failure.detail.toUtf8().constData());
    });
    source.start();

    long firstKiB = 0, peakKiB = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const long kib = residentKiB();
        if (clock.elapsed() >= 10000 && firstKiB == 0)
            firstKiB = kib; // after the first 10 s: everything has been made once
        peakKiB = std::max(peakKiB, kib);
        if (clock.elapsed() >= seconds * 1000LL)
            app.quit();
    });
    sample.start(1000);
    app.exec();
    const double elapsed = clock.elapsed() / 1000.0;
    const long lastKiB = residentKiB();
    std::printf("%s: %.0f s, %ld sweeps (%.1f a second), %ld wrong (misframed, mixed, repeated "
                "or stale), %ld overtaken, %ld failures; resident %ld KiB at 10 s, %ld KiB at "
                "the end, peak %ld KiB\n",
                kind.c_str(), elapsed, tally.sweeps, tally.sweeps / elapsed, tally.wrong,
                tally.overtaken, tally.failures, firstKiB, lastKiB, peakKiB);
    return tally.wrong || tally.failures ? 1 : 0;
}
