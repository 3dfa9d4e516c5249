#include "analyser_link/analyser.h"
#include "analyser_protocols/librevna.h"

#include <thread>

// LibreVNA's GUI through its SCPI server, from its programming guide:
//   at connect  "*IDN?" (its name), ":VNA:ACQuisition:SINGLE TRUE" (one
//               sweep a run: the GUI otherwise updates its traces point by
//               point, so a trace read while it sweeps mixes two sweeps),
//               ":VNA:TRACe:LIST?" and ":VNA:TRACe:PARAMeter? T" to find
//               the traces measuring S11 (and S12, S21, S22);
//   a sweep     ":VNA:ACQuisition:POINTS?", ":VNA:ACQuisition:RUN" (a new
//               sweep), ":VNA:ACQuisition:FINished?" until "TRUE", then
//               ":VNA:TRACe:TOUCHSTONE?" of the traces (calibrated data,
//               as the GUI shows it, with 12 decimals).
// The server answers only queries (a setting gets no reply, or an empty
// line from older versions), so only queries are awaited.
namespace varnel {

namespace {

class LibreVna final : public Analyser {
  public:
    LibreVna(Connection connection, AnalyserTimeouts timeouts, std::string source)
        : m_channel(std::move(connection), timeouts.reply), m_timeouts(timeouts),
          m_source(std::move(source)) {}

    std::variant<std::monostate, LinkError> setUp() {
        auto identity = query("*IDN?");
        if (auto *error = std::get_if<LinkError>(&identity))
            return *error;
        m_identity = std::get<std::string>(identity);
        if (auto sent = command(":VNA:ACQ:SINGLE TRUE"); std::holds_alternative<LinkError>(sent))
            return sent;
        auto list = query(":VNA:TRAC:LIST?");
        if (auto *error = std::get_if<LinkError>(&list))
            return *error;
        constexpr std::string_view wanted[] = {"S11", "S12", "S21", "S22"};
        std::string found[4];
        for (const std::string &name : libreVnaTraceNames(std::get<std::string>(list))) {
            auto parameter = query(":VNA:TRAC:PARAM? " + name);
            if (auto *error = std::get_if<LinkError>(&parameter))
                return *error;
            for (int k = 0; k < 4; ++k)
                if (std::get<std::string>(parameter) == wanted[k] && found[k].empty())
                    found[k] = name;
        }
        if (found[0].empty())
            return protocolError({ProtocolFinding::NoS11Trace});
        m_traces = found[0];
        m_ports = 1;
        if (!found[1].empty() && !found[2].empty() && !found[3].empty()) {
            m_traces.append(" ").append(found[1]).append(" ").append(found[2]).append(" ").append(
                found[3]);
            m_ports = 2;
        }
        return std::monostate{};
    }

    const std::string &identity() const override { return m_identity; }

    std::variant<Network, LinkError> sweep() override {
        auto points = query(":VNA:ACQ:POINTS?");
        if (auto *error = std::get_if<LinkError>(&points))
            return *error;
        std::size_t n = 0;
        const std::string &count = std::get<std::string>(points);
        if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos ||
            count.size() > 6 || (n = std::stoul(count)) < 2)
            return protocolError({ProtocolFinding::PointsNotACount, count});
        if (auto sent = command(":VNA:ACQ:RUN"); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        const auto deadline = std::chrono::steady_clock::now() + m_timeouts.sweep;
        while (true) {
            auto finished = query(":VNA:ACQ:FIN?");
            if (auto *error = std::get_if<LinkError>(&finished))
                return *error;
            if (std::get<std::string>(finished) == "TRUE")
                break;
            if (std::get<std::string>(finished) != "FALSE")
                return protocolError(
                    {ProtocolFinding::AcquisitionState, std::get<std::string>(finished)});
            if (std::chrono::steady_clock::now() > deadline)
                return LinkError{LinkError::Timeout,
                                 "the sweep did not finish within " +
                                     std::to_string(m_timeouts.sweep.count()) + " ms",
                                 LinkError::Said::SweepUnfinished, 0,
                                 static_cast<long long>(m_timeouts.sweep.count())};
            // At most 50 queries a second: the GUI has a sweep to run.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (auto sent = command(":VNA:TRAC:TOUCHSTONE? " + m_traces);
            auto *error = std::get_if<LinkError>(&sent))
            return *error;
        auto reply = m_channel.await([n](std::string_view bytes) {
            auto length = libreVnaTouchstoneLength(bytes, n);
            if (auto *why = std::get_if<ProtocolFinding>(&length))
                return std::variant<std::size_t, LinkError>(protocolError(*why));
            return std::variant<std::size_t, LinkError>(std::get<std::size_t>(length));
        });
        if (auto *error = std::get_if<LinkError>(&reply))
            return *error;
        auto sweep = libreVnaSweep(std::get<std::string>(reply), m_ports, m_source);
        if (auto *why = std::get_if<ProtocolFinding>(&sweep))
            return protocolError(*why);
        return std::move(std::get<Network>(sweep));
    }

  private:
    std::variant<std::monostate, LinkError> command(std::string_view text) {
        return m_channel.send(std::string(text) + "\n");
    }
    // A query's reply line; empty lines (older versions' replies to
    // settings) are skipped.
    std::variant<std::string, LinkError> query(std::string_view text) {
        if (auto sent = command(text); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        while (true) {
            auto line = m_channel.line();
            if (!std::holds_alternative<std::string>(line) || !std::get<std::string>(line).empty())
                return line;
        }
    }

    ReplyChannel m_channel;
    AnalyserTimeouts m_timeouts;
    std::string m_source;
    std::string m_identity;
    std::string m_traces; // for the Touchstone query
    int m_ports = 1;
};

} // namespace

Connected connectLibreVna(const SourceAddress &address, AnalyserTimeouts timeouts) {
    return setUpSession<LibreVna>(connectTcp(address.host, address.port, timeouts.connect),
                                  timeouts, address.text);
}

} // namespace varnel
