// Makes the example sweeps a newcomer tries Varnel on, from the project's own
// models, with a little seeded analyser noise so that every fit meets a trace
// as a real analyser gives it:
//   varnel-examples FOLDER
// writes into FOLDER (the same bytes every run):
//   stage2-in-tune.s1p         stage 2 of the example filter, in tune
//   stage2-resonator2-high.s1p the same stage, resonator 2 0.6 MHz high
//   filter-two-faults.s2p      the whole filter: resonator 3 0.2 MHz low
//                              and coupling 4-5 5 % strong
//   filter-in-tune.s2p         the whole filter, in tune
//   cross-coupled-resonator2-high.s2p  a folded order-6 filter with zeros at
//                              985 and 1015 MHz, resonator 2 0.3 MHz high
// The example filter: order 5, bandwidth 10 MHz, ripple 0.01 dB, f0 1000 MHz,
// unloaded Q 3000.
#include "touchstone/touchstone.h"
#include "tuning/filter_design.h"
#include "tuning/stage_inputs.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <variant>

namespace {

using namespace varnel;

constexpr double f0 = 1000, bandwidth = 10, qu = 3000;
constexpr std::size_t points = 801;

// Gaussian noise from a fixed seed, the same on every machine: a 64-bit
// linear congruential generator and Box-Muller.
class Noise {
  public:
    std::complex<double> next(double sigma) {
        const double u1 = uniform(), u2 = uniform();
        const double radius = sigma * std::sqrt(-2 * std::log(u1));
        return std::polar(radius, 2 * std::numbers::pi * u2);
    }

  private:
    double uniform() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (double((m_state >> 11) + 1)) / 9007199254740993.0; // in (0, 1]
    }
    std::uint64_t m_state = 20261210;
};

// An analyser's trace noise, -80 dB.
constexpr double noiseSigma = 1e-4;

TuningTable table(const char *order) {
    auto result = tuningTable(order, "10", "0.01", f0);
    return std::get<TuningTable>(result);
}

std::string stageSweep(std::optional<double> resonator2MHz) {
    const TuningTable t = table("5");
    StageModel model = stageModel(t, 2, f0, qu);
    model.lastResonator = resonator2MHz;
    const double span = defaultSpan(bandwidth, f0);
    std::vector<double> f(points);
    std::vector<std::complex<double>> s11(points);
    Noise noise;
    for (std::size_t i = 0; i < points; ++i) {
        f[i] = f0 - span / 2 + span * double(i) / double(points - 1);
        s11[i] = stageResponse(model, f[i]).s11 + noise.next(noiseSigma);
    }
    return writeS1p({"Example: stage 2 of order 5, 10 MHz, 0.01 dB, f0 1000 MHz, Qu 3000",
                     resonator2MHz ? "Resonator 2 is 0.6 MHz high" : "In tune"},
                    f, s11);
}

FilterDesign design(const char *order, std::vector<double> zeros,
                    std::optional<TopologyChoice> topology) {
    DesignRequest request;
    request.f0 = f0;
    request.zerosMHz = std::move(zeros);
    request.topology = topology;
    request.qu = qu;
    return std::get<FilterDesign>(designFilter(table(order), request));
}

// A resonator `deltaMHz` off its frequency: its self-coupling moved by the
// low-pass Omega of that offset.
void detune(FilterDesign &d, std::size_t resonator, double deltaMHz) {
    const double omega = lowPassOmega(d.band, f0 + deltaMHz);
    d.matrix.set(resonator, resonator, d.matrix.at(resonator, resonator) - omega);
}

std::string filterSweep(const FilterDesign &d, const std::string &comment) {
    Network network;
    network.ports = 2;
    const double span = designSpan(d);
    Noise noise;
    for (std::size_t i = 0; i < points; ++i)
        network.frequencyMHz.push_back(f0 - span / 2 + span * double(i) / double(points - 1));
    for (const MatrixResponse &s : matrixResponses(d.matrix, d.band, network.frequencyMHz))
        for (const std::complex<double> value : {s.s11, s.s21, s.s21, s.s22})
            network.values.push_back(value + noise.next(noiseSigma));
    return writeS2p({comment}, network);
}

bool write(const std::string &folder, const std::string &name, const std::string &text) {
    const std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out)
        std::cerr << "varnel-examples: cannot write " << path << '\n';
    return bool(out);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: varnel-examples FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    FilterDesign faulty = design("5", {}, std::nullopt);
    const FilterDesign inTune = faulty;
    detune(faulty, 3, -0.2);
    faulty.matrix.set(4, 5, faulty.matrix.at(4, 5) * 1.05);
    FilterDesign cross = design("6", {985, 1015}, std::nullopt);
    detune(cross, 2, 0.3);
    const char *filter = "Example: order 5, 10 MHz, 0.01 dB, f0 1000 MHz, Qu 3000";
    const bool written =
        write(folder, "stage2-in-tune.s1p", stageSweep(std::nullopt)) &&
        write(folder, "stage2-resonator2-high.s1p", stageSweep(f0 + 0.6)) &&
        write(folder, "filter-two-faults.s2p",
              filterSweep(faulty,
                          std::string(filter) + "; resonator 3 0.2 MHz low, k45 5 % strong")) &&
        write(folder, "filter-in-tune.s2p",
              filterSweep(inTune, std::string(filter) + "; in tune")) &&
        write(folder, "cross-coupled-resonator2-high.s2p",
              filterSweep(cross,
                          "Example: order 6 folded, zeros 985 and 1015 MHz, 10 MHz, 0.01 dB, "
                          "f0 1000 MHz, Qu 3000; resonator 2 0.3 MHz high"));
    return written ? 0 : 1;
}
