#pragma once

#include "fake_instrument.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace varnel::testing {

// A fake SCPI analyser on a raw socket, in one of three families, written
// from the instruments' public programming guides: the common commands
// ("*IDN?", "*CLS", "*OPC?" answering 1 once the operation is complete,
// ":SYST:ERR?" answering its oldest entry, '+0,"No error"' when it is
// empty, a refused parameter queued as -224) and the FORMat subsystem
// (":FORM:DATA REAL,64|REAL|ASC", ":FORM:BORD NORM|SWAP", NORMal the most
// significant byte first; IEEE 488.2 definite-length blocks), then each
// family's own:
//   ena  (E5071C guide) numbered traces ":CALC1:PAR:COUN", ":CALC1:PARn:DEF",
//        ":CALC1:PARn:SEL", ":SERV:CHAN1:TRAC:ACT?"; ":TRIG:SOUR BUS" and
//        ":INIT1:CONT ON" before ":TRIG:SING" fires; ":TRIG:AVER ON" makes
//        one trigger a whole average; ":SENS1:FREQ:DATA?", ":CALC1:DATA:SDAT?";
//   pna  (PNA guide) "CALC1:PAR:CAT:EXT?" ("\"CH1_S11_1,S11\""),
//        "CALC1:PAR:DEF:EXT 'n','S21'", "CALC1:PAR:SEL 'n'", "CALC1:PAR:DEL
//        'n'"; "TRIG:SOUR IMM" and "INIT:CONT OFF" before "INIT1:IMM" fires;
//        "SENS1:AVER:CLE" restarts an average; "CALC1:X?", "CALC1:DATA? SDATA";
//   znb  (ZNB manual) "CALC1:PAR:CAT?" ("'Trc1,S11'"), "CALC1:PAR:SDEF
//        'n','S21'", the same SEL and DEL; "TRIG1:SOUR IMM", "INIT1:CONT OFF";
//        "CALC1:DATA:STIM?".
// The leading colon is optional, as in SCPI. Parameter p of sweep k is
// sweep k's S11 times a factor of its own, so a trace read as another
// shows.
class FakeScpiAnalyser : public FakeTcpInstrument {
  public:
    using Faults = FakeFaults;

    explicit FakeScpiAnalyser(Faults faults = {}) : FakeTcpInstrument(faults) {
        if (faults.staleError)
            m_errors.push_back("-113,\"Undefined header\"");
        const bool ena = faults.dialect == "ena";
        m_trigger = ena ? "TRIG:SOUR" : faults.dialect == "pna" ? "TRIG:SOUR" : "TRIG1:SOUR";
        m_continuous = ena ? "INIT1:CONT" : faults.dialect == "pna" ? "INIT:CONT" : "INIT1:CONT";
        m_settings = {{m_trigger, faults.triggerSource},
                      {m_continuous, faults.held ? "0" : "1"},
                      {"TRIG:AVER", "0"},
                      {"SENS1:AVER", faults.averaging ? "1" : "0"}};
        const std::string first = faults.dialect == "pna"   ? "CH1_S11_1"
                                  : faults.dialect == "znb" ? "Trc1"
                                                            : "1";
        m_measurements = {{first, "S11"}};
        if (faults.allFourFound)
            for (const char *p : {"S21", "S12", "S22"})
                m_measurements.push_back(
                    {ena ? std::to_string(m_measurements.size() + 1) : std::string("Found_") + p,
                     p});
        m_selected = first;
        start();
    }
    ~FakeScpiAnalyser() override { stop(); }

    static std::vector<double> frequenciesHz(int points = 201) { return fakeFrequenciesHz(points); }
    static std::vector<std::complex<double>> sweepValues(int k, int points = 201) {
        return fakeSweepValues(k, points);
    }
    // Sweep k's values of a parameter ("S21").
    static std::vector<std::complex<double>> parameterValues(int k, const std::string &p,
                                                             int points = 201) {
        auto values = fakeSweepValues(k, points);
        const std::complex<double> factor = p == "S11"   ? 1.0
                                            : p == "S21" ? std::complex(0.0, 0.5)
                                            : p == "S12" ? std::complex(0.0, -0.5)
                                                         : std::complex(-0.75, 0.0);
        for (auto &v : values)
            v *= factor;
        return values;
    }

    // Every line the analyser was sent, in order (the latest logCap / 2 at
    // least once there were more).
    static constexpr std::size_t logCap = 20000;
    std::vector<std::string> commands() const {
        const std::lock_guard lock(m_logged);
        return m_log;
    }
    // The settings the program may change, as the analyser has them now,
    // with "measurements" (name=parameter, joined by spaces) and "selected".
    std::map<std::string, std::string> settings() const {
        const std::lock_guard lock(m_logged);
        std::map<std::string, std::string> now = m_settings;
        now["FORM:DATA"] = setting("FORM:DATA");
        now["FORM:BORD"] = setting("FORM:BORD");
        std::string all;
        for (const auto &[name, p] : m_measurements)
            all += (all.empty() ? "" : " ") + name + "=" + p;
        now["measurements"] = all;
        now["selected"] = m_selected;
        return now;
    }

  private:
    std::string numbers(const std::vector<double> &values) const {
        if (m_ascii || m_faults.asciiOnly) {
            std::string text;
            char item[40];
            for (std::size_t i = 0; i < values.size(); ++i) {
                std::snprintf(item, sizeof item, "%s%+.17E", i ? "," : "", values[i]);
                text += item;
            }
            return text + "\n";
        }
        std::string bytes(values.size() * 8, '\0');
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &values[i], 8);
            for (int b = 0; b < 8; ++b) { // byte b of the value, in the order asked
                const int shift = m_swapped ? 8 * b : 8 * (7 - b);
                bytes[8 * i + static_cast<std::size_t>(b)] =
                    static_cast<char>((bits >> shift) & 0xff);
            }
        }
        const std::string count = std::to_string(bytes.size());
        std::string block = "#";
        block.append(std::to_string(count.size())).append(count).append(bytes).append("\n");
        return block;
    }

    // A setting as the analyser gives it back to a query.
    std::string setting(const std::string &name) const {
        if (name == "FORM:DATA")
            return m_ascii ? "ASC" : m_real64 ? "REAL,64" : "REAL";
        if (name == "FORM:BORD")
            return m_swapped ? "SWAP" : "NORM";
        return m_settings.at(name);
    }

    std::string quoted(const std::string &text) const {
        return m_faults.dialect == "pna" ? "\"" + text + "\"" : "'" + text + "'";
    }
    // The name between the first pair of quotes after `from`, and the
    // parameter in the second (DEF:EXT, SDEF).
    static std::pair<std::string, std::string> quotedPair(const std::string &line) {
        std::vector<std::string> parts;
        std::size_t at = 0;
        while ((at = line.find('\'', at)) != std::string::npos) {
            const std::size_t end = line.find('\'', at + 1);
            parts.push_back(line.substr(at + 1, end - at - 1));
            at = end + 1;
        }
        parts.resize(2);
        return {parts[0], parts[1]};
    }
    std::vector<std::pair<std::string, std::string>>::iterator measurement(const std::string &n) {
        return std::find_if(m_measurements.begin(), m_measurements.end(),
                            [&](const auto &m) { return m.first == n; });
    }
    // Defines (or redefines) measurement `name` as `p`, as the analyser's
    // ports allow.
    void define(const std::string &name, const std::string &p) {
        if (m_faults.analyserPorts == 1 && p != "S11") {
            m_errors.push_back("-224,\"Illegal parameter value\"");
            return;
        }
        if (auto m = measurement(name); m != m_measurements.end())
            m->second = p;
        else
            m_measurements.push_back({name, p});
    }

    Reply answer(const std::string &sent) override;
    Reply answerTraces(const std::string &line, bool &handled);
    Reply answerSetting(const std::string &line, bool &handled);
    Reply fire();
    void log(const std::string &sent);

    bool m_ascii = true, m_real64 = false, m_swapped = false; // ASCII, as after a reset
    bool m_partial = false;
    int m_fired = 0; // sweeps since the average was cleared
    std::string m_trigger, m_continuous;
    std::deque<std::string> m_errors;
    std::map<std::string, std::string> m_settings;
    std::vector<std::pair<std::string, std::string>> m_measurements; // name, parameter
    std::string m_selected;
    mutable std::mutex m_logged;
    std::vector<std::string> m_log;
};

} // namespace varnel::testing

#include "fake_scpi_answers.h"
