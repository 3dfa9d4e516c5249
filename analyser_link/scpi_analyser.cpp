#include "analyser_link/analyser.h"
#include "analyser_link/scpi_talk.h"
#include "analyser_protocols/scpi.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

// An SCPI analyser on a raw socket, in its family's dialect (scpi_dialect.h
// has what each is sent):
//   at connect  "*IDN?" (its name and family), the settings the program
//               changes read, "*CLS" and the first data format the error
//               queue does not refuse (":FORM:DATA REAL,64", "REAL", "ASC"),
//               the dialect's set-up (least significant byte first; the
//               channel sweeps on the program's trigger alone, so no trace
//               mixes two sweeps), averaging and the sweep time read, then
//               the measurements of S11, S21, S12 and S22 found or defined
//               (S11 alone on an analyser that refuses the others);
//   a sweep     the trigger and "*OPC?" ("1" once complete; with averaging
//               on, the whole average), the frequencies, each measurement's
//               complex data (definite-length blocks, or ASCII lists from an
//               analyser that sends no binary over a raw socket), then
//               ":SYST:ERR?" to the queue's end, its first error reported;
//   at the end  the measurements it defined removed, the one selected and
//               the settings set back as found, and "*OPC?" awaited.
namespace varnel {

namespace {

// A count or a time from a reply ("+4", "1.5E-2"): none when it is not one.
std::optional<double> number(std::string_view text) {
    text = unquotedValue(text);
    if (text.starts_with('+'))
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool on(std::string_view value) {
    value = unquotedValue(value);
    return value == "1" || value == "+1" || value == "ON";
}

class ScpiAnalyser final : public Analyser {
  public:
    ScpiAnalyser(Connection connection, AnalyserTimeouts timeouts, std::string forced)
        : m_talk(std::move(connection), timeouts.reply), m_timeouts(timeouts),
          m_forced(std::move(forced)) {}
    ~ScpiAnalyser() override { restore(); }

    std::variant<std::monostate, LinkError> setUp() {
        auto identity = m_talk.query("*IDN?");
        if (auto *error = std::get_if<LinkError>(&identity))
            return *error;
        m_identity = std::get<std::string>(identity);
        m_dialect = &scpiDialect(scpiDialectNamed(m_forced).value_or(scpiDialectOf(m_identity)));
        for (const KeptSetting &setting : m_dialect->kept) {
            auto found = m_talk.query(setting.query);
            if (auto *error = std::get_if<LinkError>(&found))
                return *error;
            m_found.emplace_back(std::get<std::string>(found));
        }
        if (auto format = m_talk.chooseFormat(); std::holds_alternative<LinkError>(format))
            return format;
        m_changed = true;
        for (const std::string_view setup : m_dialect->setUp)
            if (auto sent = m_talk.command(setup); std::holds_alternative<LinkError>(sent))
                return sent;
        if (auto read = readAveraging(); std::holds_alternative<LinkError>(read))
            return read;
        if (auto read = readSweepTime(); std::holds_alternative<LinkError>(read))
            return read;
        auto found = m_dialect->catalog.empty() ? m_traces.numbered(m_talk, *m_dialect)
                                                : m_traces.named(m_talk, *m_dialect);
        if (auto *error = std::get_if<LinkError>(&found))
            return *error;
        return std::monostate{};
    }

    const std::string &identity() const override { return m_identity; }

    std::variant<Network, LinkError> sweep() override {
        if (m_averages > 1)
            if (auto sent = m_talk.command(m_dialect->averageClear);
                std::holds_alternative<LinkError>(sent))
                return std::get<LinkError>(sent);
        for (int fired = 0; fired < std::max(m_averages, 1); ++fired)
            if (auto done = fire(); done)
                return *done;
        std::vector<std::vector<double>> traces;
        std::vector<double> frequencies;
        for (const std::string &handle : m_traces.read()) {
            if (auto sent = m_talk.command(scpiCommand(m_dialect->select, handle));
                std::holds_alternative<LinkError>(sent))
                return std::get<LinkError>(sent);
            if (traces.empty()) {
                auto got = m_talk.queryNumbers(m_dialect->frequencies);
                if (auto *error = std::get_if<LinkError>(&got))
                    return *error;
                frequencies = std::move(std::get<std::vector<double>>(got));
            }
            auto data = m_talk.queryNumbers(m_dialect->data);
            if (auto *error = std::get_if<LinkError>(&data))
                return *error;
            traces.push_back(std::move(std::get<std::vector<double>>(data)));
        }
        auto taken = scpiSweep(frequencies, traces);
        if (auto *problem = std::get_if<SweepProblem>(&taken))
            return protocolError(findingOf(*problem));
        auto error = m_talk.errors();
        if (auto *failed = std::get_if<LinkError>(&error))
            return *failed;
        if (const std::string &reported = std::get<std::string>(error); !reported.empty())
            return protocolError({ProtocolFinding::Reports, reported});
        return std::move(std::get<Network>(taken));
    }

  private:
    // One sweep fired and awaited; the failure, or none.
    std::optional<LinkError> fire() {
        if (auto sent = m_talk.command(m_dialect->trigger);
            auto *error = std::get_if<LinkError>(&sent))
            return *error;
        auto done = m_talk.line(m_sweepDeadline);
        if (auto *error = std::get_if<LinkError>(&done))
            return *error;
        if (const std::string &answer = std::get<std::string>(done); !on(answer))
            return protocolError({ProtocolFinding::NotComplete, answer});
        return std::nullopt;
    }
    // Averaging: on the ENA one trigger runs the whole average; elsewhere a
    // sweep clears it and fires as many sweeps as it counts (at most 1000).
    std::variant<std::monostate, LinkError> readAveraging() {
        auto averaging = m_talk.query(m_dialect->averaging);
        if (auto *error = std::get_if<LinkError>(&averaging))
            return *error;
        const bool averaged = on(std::get<std::string>(averaging));
        if (!m_dialect->triggerAveraging.empty())
            return m_talk.command(std::string(m_dialect->triggerAveraging) +
                                  (averaged ? "ON" : "OFF"));
        if (!averaged)
            return std::monostate{};
        auto count = m_talk.query(m_dialect->averageCount);
        if (auto *error = std::get_if<LinkError>(&count))
            return *error;
        m_averages = static_cast<int>(
            std::clamp(number(std::get<std::string>(count)).value_or(1), 1.0, 1000.0));
        return std::monostate{};
    }
    // A sweep may take the timeout, or twice the analyser's own sweep time
    // and a second where that is longer.
    std::variant<std::monostate, LinkError> readSweepTime() {
        auto time = m_talk.query(":SENS1:SWE:TIME?");
        if (auto *error = std::get_if<LinkError>(&time))
            return *error;
        const double seconds =
            std::clamp(number(std::get<std::string>(time)).value_or(0), 0.0, 3600.0);
        m_sweepDeadline = std::max(m_timeouts.sweep,
                                   std::chrono::milliseconds(std::llround(2000 * seconds + 1000)));
        return std::monostate{};
    }
    // The measurements defined removed, the selection and the settings set
    // back as found, then "*OPC?" awaited (bounded), so that the analyser
    // has taken them before the connection closes.
    void restore() {
        if (!m_changed)
            return;
        m_talk.setInterruptible(false); // set back even when interrupted
        std::string lines = m_traces.undo(*m_dialect);
        for (std::size_t i = 0; i < m_found.size(); ++i)
            if (const std::string_view found = unquotedValue(m_found[i]); plainScpiValue(found))
                lines.append(m_dialect->kept[i].set).append(found).append("\n");
        if (m_talk.sendLines(lines + "*OPC?\n"))
            m_talk.line(std::min(m_timeouts.reply, std::chrono::milliseconds(2000)));
    }

    ScpiTalk m_talk;
    AnalyserTimeouts m_timeouts;
    std::chrono::milliseconds m_sweepDeadline{m_timeouts.sweep};
    std::string m_forced;
    const ScpiDialect *m_dialect = nullptr;
    std::string m_identity;
    std::vector<std::string> m_found; // the dialect's kept settings at connect
    ScpiTraces m_traces;
    int m_averages = 0; // sweeps a finished average takes (pna, znb)
    bool m_changed = false;
};

} // namespace

Connected connectScpiAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts) {
    return setUpSession<ScpiAnalyser>(connectTcp(address.host, address.port, timeouts.connect),
                                      timeouts, address.dialect);
}

} // namespace varnel
