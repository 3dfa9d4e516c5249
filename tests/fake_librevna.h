#pragma once

#include "fake_instrument.h"

#include <cstdio>
#include <utility>

namespace varnel::testing {

// A fake of LibreVNA's GUI serving its SCPI server, written from the
// LibreVNA programming guide (the SCPI server section: every command ends
// with a newline; "*IDN?"; ":VNA:ACQuisition:SINGLE TRUE|FALSE",
// ":VNA:ACQuisition:RUN", ":VNA:ACQuisition:FINished?" answering TRUE or
// FALSE, ":VNA:ACQuisition:POINTS?"; ":VNA:TRACe:LIST?" the trace names
// separated by commas, ":VNA:TRACe:PARAMeter? T"; ":VNA:TRACe:TOUCHSTONE?"
// a Touchstone file of the traces, frequencies in GHz with 12 decimals).
// Settings get no reply (or an empty line, as older versions gave). An
// acquisition runs for `sweepMs` (FINished? says FALSE until then), and a
// trace read before it is finished would mix sweeps: the fake gives the
// new sweep's first half and the old one's second half then, so that a
// client reading too early is caught. Its data reply is the Touchstone file
// and the empty line that ends it.
class FakeLibreVna : public FakeTcpInstrument {
  public:
    explicit FakeLibreVna(FakeFaults faults = {}, bool fourTraces = true)
        : FakeTcpInstrument(faults), m_fourTraces(fourTraces) {
        start();
    }
    ~FakeLibreVna() override { stop(); }

    // Sweep k's other parameters: S21 = S12 and S22, made up but distinct.
    static std::complex<double> transmission(int k, std::size_t i) {
        return std::polar(0.5, 0.001 * static_cast<double>(i) + 0.02 * k);
    }
    // Sweep k as the fake writes it.
    static std::string touchstone(int k, int points, bool fourTraces, int mixedFrom = 0) {
        const auto f = fakeFrequenciesHz(points);
        const auto s11 = fakeSweepValues(k, points);
        const auto older = fakeSweepValues(k - 1, points);
        std::string text = "# GHZ S RI R 50\n";
        char line[256];
        for (std::size_t i = 0; i < f.size(); ++i) {
            const auto a = mixedFrom && i >= f.size() / 2 ? older[i] : s11[i];
            std::snprintf(line, sizeof line, "%.12f %.12f %.12f", f[i] / 1e9, a.real(), a.imag());
            text += line;
            if (fourTraces) {
                const auto t = transmission(k, i), b = std::conj(a);
                std::snprintf(line, sizeof line, " %.12f %.12f %.12f %.12f %.12f %.12f", t.real(),
                              t.imag(), t.real(), t.imag(), b.real(), b.imag());
                text += line;
            }
            text += "\n";
        }
        return text;
    }

  private:
    bool finished() const {
        return std::chrono::steady_clock::now() >=
               m_started + std::chrono::milliseconds(m_faults.sweepMs);
    }

    Reply answer(const std::string &line) override {
        const std::string settled = m_faults.emptyReplies ? "\n" : "";
        if (line == "*IDN?")
            return {"LibreVNA,LibreVNA-GUI,fake,1.0\n"};
        if (line == ":VNA:ACQ:SINGLE TRUE")
            return {settled};
        if (line == ":VNA:ACQ:RUN") {
            ++m_sweep;
            m_started = std::chrono::steady_clock::now();
            return {settled};
        }
        if (line == ":VNA:ACQ:FIN?")
            return {finished() ? "TRUE\n" : "FALSE\n"};
        if (line == ":VNA:ACQ:POINTS?")
            return {std::to_string(m_faults.points) + "\n"};
        if (line == ":VNA:TRAC:LIST?")
            return {m_fourTraces ? "S11,S12,S21,S22\n" : "S11\n"};
        if (line.starts_with(":VNA:TRAC:PARAM? "))
            return {line.substr(17) + "\n"};
        if (line == ":VNA:TRAC:TOUCHSTONE? S11 S12 S21 S22" || line == ":VNA:TRAC:TOUCHSTONE? S11")
            return {touchstone(m_sweep, m_faults.points + std::exchange(m_faults.linesOffOnce, 0),
                               line.ends_with("S22"), finished() ? 0 : 1) +
                        "\n",
                    true};
        return {"ERROR\n"};
    }

    bool m_fourTraces;
    std::chrono::steady_clock::time_point m_started{};
};

} // namespace varnel::testing
