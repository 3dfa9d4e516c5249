#include "analyser_link/analyser.h"
#include "analyser_protocols/scpi.h"

#include <vector>

// An SCPI analyser on a raw socket (Keysight ENA and PNA style, and those
// that follow them), from the instruments' programming guides:
//   at connect  "*IDN?" (its name), "*CLS", ":FORM:DATA REAL,64" (or
//               "REAL", or "ASC": the first the error queue, ":SYST:ERR?",
//               does not refuse), ":FORM:BORD SWAP" (doubles, least
//               significant byte first), ":TRIG:SOUR BUS" and ":INIT1:CONT
//               ON" (the channel sweeps on the program's trigger alone: no
//               trace mixes two sweeps, whatever trigger it was on),
//               ":TRIG:AVER ON" when ":SENS1:AVER?" says averaging is on
//               (one trigger, one finished average); first the settings it
//               changes are read (":TRIG:SOUR?", ":INIT1:CONT?",
//               ":FORM:DATA?", ":FORM:BORD?", ":TRIG:AVER?"), and they are
//               set back as found when the program is done with it;
//   a sweep     ":TRIG:SING;*OPC?" (one sweep; "1" once it is complete),
//               ":SENS1:FREQ:DATA?" (Hz) and ":CALC1:DATA:SDAT?" (the active
//               trace, real and imaginary a point), each a definite-length
//               block, or an ASCII list from an analyser that sends no binary
//               over a raw socket; then ":SYST:ERR?" to the queue's end,
//               its first error other than 0 reported.
namespace varnel {

namespace {

// The settings the program changes, each read at connect and set back as it
// was found when the program is done with the analyser.
struct KeptSetting {
    const char *query, *set;
};
constexpr KeptSetting keptSettings[] = {
    {":TRIG:SOUR?", ":TRIG:SOUR "}, {":INIT1:CONT?", ":INIT1:CONT "},
    {":FORM:DATA?", ":FORM:DATA "}, {":FORM:BORD?", ":FORM:BORD "},
    {":TRIG:AVER?", ":TRIG:AVER "},
};

// A setting's value as an analyser gives it ("INT", "REAL,64", "+1"):
// only such words are sent back to it.
bool plainValue(std::string_view value) {
    return !value.empty() && value.size() <= 32 &&
           value.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                   "0123456789+-.,") == std::string_view::npos;
}

class ScpiAnalyser final : public Analyser {
  public:
    ScpiAnalyser(Connection connection, AnalyserTimeouts timeouts)
        : m_channel(std::move(connection), timeouts.reply), m_timeouts(timeouts) {}
    ~ScpiAnalyser() override { restore(); }

    std::variant<std::monostate, LinkError> setUp() {
        auto identity = query("*IDN?");
        if (auto *error = std::get_if<LinkError>(&identity))
            return *error;
        m_identity = std::get<std::string>(identity);
        for (const KeptSetting &setting : keptSettings) {
            auto found = query(setting.query);
            if (auto *error = std::get_if<LinkError>(&found))
                return *error;
            m_found.emplace_back(std::get<std::string>(found));
        }
        auto averaging = query(":SENS1:AVER?");
        if (auto *error = std::get_if<LinkError>(&averaging))
            return *error;
        if (auto format = chooseFormat(); std::holds_alternative<LinkError>(format))
            return format;
        // Sweeps on the program's trigger alone: the channel waits for it
        // (continuous initiation on a bus trigger), and with averaging on
        // one trigger runs the whole average.
        const bool averaged = std::get<std::string>(averaging) == "1" ||
                              std::get<std::string>(averaging) == "+1" ||
                              std::get<std::string>(averaging) == "ON";
        for (const char *setup : {":FORM:BORD SWAP", ":TRIG:SOUR BUS", ":INIT1:CONT ON",
                                  averaged ? ":TRIG:AVER ON" : ":TRIG:AVER OFF"})
            if (auto sent = command(setup); std::holds_alternative<LinkError>(sent))
                return sent;
        m_changed = true;
        return std::monostate{};
    }

    const std::string &identity() const override { return m_identity; }

    std::variant<Network, LinkError> sweep() override {
        if (auto sent = command(":TRIG:SING;*OPC?"); auto *error = std::get_if<LinkError>(&sent))
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
        auto error = errors();
        if (auto *failed = std::get_if<LinkError>(&error))
            return *failed;
        if (const std::string &reported = std::get<std::string>(error); !reported.empty())
            return protocolError({ProtocolFinding::Reports, reported});
        return std::move(std::get<Network>(taken));
    }

  private:
    // The settings as they were found, then "*OPC?" awaited (bounded), so
    // that the analyser has taken them before the connection closes.
    void restore() {
        if (!m_changed)
            return;
        m_channel.setInterruptible(false); // set back even when interrupted
        std::string settings;
        for (std::size_t i = 0; i < m_found.size(); ++i)
            if (plainValue(m_found[i]))
                settings.append(keptSettings[i].set).append(m_found[i]).append("\n");
        if (std::holds_alternative<LinkError>(m_channel.send(settings + "*OPC?\n")))
            return;
        m_channel.line(std::min(m_timeouts.reply, std::chrono::milliseconds(2000)));
    }
    // The first data format the analyser takes, as its error queue says:
    // doubles as ":FORM:DATA REAL,64" (ENA, PNA, ZNB) or "REAL" (E5071C),
    // ASCII where it sends no binary. The queue is cleared first, so that
    // an earlier session's errors are not taken for a refusal.
    std::variant<std::monostate, LinkError> chooseFormat() {
        if (auto sent = command("*CLS"); std::holds_alternative<LinkError>(sent))
            return sent;
        std::string refused;
        for (const char *format : {":FORM:DATA REAL,64", ":FORM:DATA REAL", ":FORM:DATA ASC"}) {
            if (auto sent = command(format); std::holds_alternative<LinkError>(sent))
                return sent;
            auto reported = errors();
            if (auto *error = std::get_if<LinkError>(&reported))
                return *error;
            refused = std::get<std::string>(reported);
            if (refused.empty())
                return std::monostate{};
        }
        return protocolError({ProtocolFinding::Reports, refused});
    }
    // The error queue read to its end (at most 16 entries): the first
    // error, or nothing when there is none.
    std::variant<std::string, LinkError> errors() {
        std::string first;
        for (int entry = 0; entry < 16; ++entry) {
            auto reply = query(":SYST:ERR?");
            if (auto *error = std::get_if<LinkError>(&reply))
                return *error;
            const std::string &said = std::get<std::string>(reply);
            if (said.starts_with("0") || said.starts_with("+0"))
                break;
            if (first.empty())
                first = said;
        }
        return first;
    }
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
    std::vector<std::string> m_found; // keptSettings' values at connect
    bool m_changed = false;
};

} // namespace

Connected connectScpiAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts) {
    return setUpSession<ScpiAnalyser>(connectTcp(address.host, address.port, timeouts.connect),
                                      timeouts);
}

} // namespace varnel
