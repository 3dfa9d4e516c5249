#include "analyser_link/analyser.h"
#include "analyser_protocols/scpi.h"

// An SCPI analyser on a raw socket (Keysight ENA and PNA style, and those
// that follow them), from the instruments' programming guides:
//   at connect  "*IDN?" (its name), ":FORM:DATA REAL,64", ":FORM:BORD SWAP"
//               (doubles, least significant byte first), ":INIT1:CONT OFF"
//               (no free-running sweep: no trace mixes two sweeps);
//   a sweep     ":INIT1:IMM;*OPC?" (one sweep; "1" once it is complete),
//               ":SENS1:FREQ:DATA?" (Hz) and ":CALC1:DATA:SDAT?" (the active
//               trace, real and imaginary a point), each a definite-length
//               block, or an ASCII list from an analyser that sends no binary
//               over a raw socket; then ":SYST:ERR?", whose error other than
//               0 is reported.
namespace varnel {

namespace {

class ScpiAnalyser final : public Analyser {
  public:
    ScpiAnalyser(Connection connection, AnalyserTimeouts timeouts)
        : m_channel(std::move(connection), timeouts.reply), m_timeouts(timeouts) {}

    std::variant<std::monostate, LinkError> setUp() {
        auto identity = query("*IDN?");
        if (auto *error = std::get_if<LinkError>(&identity))
            return *error;
        m_identity = std::get<std::string>(identity);
        for (const char *setup : {":FORM:DATA REAL,64", ":FORM:BORD SWAP", ":INIT1:CONT OFF"})
            if (auto sent = command(setup); std::holds_alternative<LinkError>(sent))
                return sent;
        return std::monostate{};
    }

    const std::string &identity() const override { return m_identity; }

    std::variant<Network, LinkError> sweep() override {
        if (auto sent = command(":INIT1:IMM;*OPC?"); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        auto done = m_channel.line(m_timeouts.sweep);
        if (auto *error = std::get_if<LinkError>(&done))
            return *error;
        const std::string &answer = std::get<std::string>(done);
        if (answer != "1" && answer != "+1")
            return protocolError({ProtocolFinding::NotComplete, answer});
        auto frequencies = queryNumbers(":SENS1:FREQ:DATA?");
        if (auto *error = std::get_if<LinkError>(&frequencies))
            return *error;
        auto data = queryNumbers(":CALC1:DATA:SDAT?");
        if (auto *error = std::get_if<LinkError>(&data))
            return *error;
        auto taken = scpiSweep(std::get<std::vector<double>>(frequencies),
                               std::get<std::vector<double>>(data));
        if (auto *problem = std::get_if<SweepProblem>(&taken))
            return protocolError(findingOf(*problem));
        auto error = query(":SYST:ERR?");
        if (auto *failed = std::get_if<LinkError>(&error))
            return *failed;
        const std::string &reported = std::get<std::string>(error);
        if (!reported.starts_with("0") && !reported.starts_with("+0"))
            return protocolError({ProtocolFinding::Reports, reported});
        return std::move(std::get<Network>(taken));
    }

  private:
    std::variant<std::monostate, LinkError> command(std::string_view text) {
        return m_channel.send(std::string(text) + "\n");
    }
    std::variant<std::string, LinkError> query(std::string_view text) {
        if (auto sent = command(text); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        return m_channel.line();
    }
    // A definite-length block of doubles, or an ASCII list from an analyser
    // that sends no binary on a raw socket.
    std::variant<std::vector<double>, LinkError> queryNumbers(std::string_view text) {
        if (auto sent = command(text); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        auto reply = m_channel.await([](std::string_view bytes) {
            if (bytes[0] != '#')
                return lineFrame(bytes);
            const BlockRead block = readDefiniteBlock(bytes);
            if (block.status == BlockRead::Malformed)
                return std::variant<std::size_t, LinkError>(protocolError(*block.finding));
            return std::variant<std::size_t, LinkError>(
                block.status == BlockRead::Complete ? block.consumed : 0);
        });
        if (auto *error = std::get_if<LinkError>(&reply))
            return *error;
        const std::string &bytes = std::get<std::string>(reply);
        if (bytes[0] == '#') {
            auto values =
                decodeReal64(readDefiniteBlock(bytes).payload, ByteOrder::LeastSignificantFirst);
            if (!values)
                return protocolError({ProtocolFinding::BlockNotDoubles});
            return std::move(*values);
        }
        auto numbers = parseAsciiNumbers(withoutLineEnd(bytes));
        if (auto *why = std::get_if<ProtocolFinding>(&numbers))
            return protocolError(*why);
        return std::move(std::get<std::vector<double>>(numbers));
    }

    ReplyChannel m_channel;
    AnalyserTimeouts m_timeouts;
    std::string m_identity;
};

} // namespace

Connected connectScpiAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts) {
    return setUpSession<ScpiAnalyser>(connectTcp(address.host, address.port, timeouts.connect),
                                      timeouts);
}

} // namespace varnel
