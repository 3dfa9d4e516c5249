#include "analyser_link/analyser.h"
#include "analyser_protocols/nanovna.h"

// A NanoVNA on its USB serial shell (nanovna.h has what it says):
//   at connect  a bare CR (a fresh prompt, whatever was typed before), then
//               "version" (its name);
//   a sweep     "sweep" (the range and points the instrument is set to,
//               within its firmware's limit), then "scan" over them with
//               the frequencies, S11 and S21 in binary (a forward-only
//               2-port sweep: the NanoVNA measures no S12 or S22); a
//               firmware that answers in text is asked in text from then on.
// Every reply is framed by its own command's echo, so a banner or a stray
// prompt never shifts a reply onto the next command; a reply that stops
// short, or the echo of another command, is said so once the shell has
// been silent for the reply timeout. When the program is
// done with it, "resume": a scan pauses the instrument's own sweep.
namespace varnel {

namespace {

using Framed = std::variant<std::size_t, LinkError>;

Framed framed(const NanoVnaRead &read) {
    if (read.status == NanoVnaRead::Malformed)
        return protocolError(*read.finding);
    return read.status == NanoVnaRead::Complete ? read.consumed : 0;
}

// A reply gone silent, said as the shell's reading says it.
ReplyChannel::Silence meant(std::string_view bytes, std::string_view command, int points,
                            unsigned mask) {
    const NanoVnaSilence silence = nanoVnaSilence(bytes, command, points, mask);
    using S = ReplyChannel::Silence;
    return {silence.what == NanoVnaSilence::Sweeping ? S::Wait
            : silence.what == NanoVnaSilence::Wrong  ? S::Wrong
                                                     : S::Cut,
            silence.finding};
}

class NanoVna final : public Analyser {
  public:
    NanoVna(Connection connection, AnalyserTimeouts timeouts)
        : m_channel(std::move(connection), timeouts.reply), m_timeouts(timeouts) {}
    // A scan leaves the instrument paused, its screen frozen: it sweeps
    // again once the program is done with it.
    ~NanoVna() override { m_channel.send("resume\r"); }

    std::variant<std::monostate, LinkError> setUp() {
        if (auto sent = m_channel.send("\r"); std::holds_alternative<LinkError>(sent))
            return sent;
        auto version = text("version");
        if (auto *error = std::get_if<LinkError>(&version))
            return *error;
        m_identity = "NanoVNA " + std::get<std::string>(version);
        return std::monostate{};
    }

    const std::string &identity() const override { return m_identity; }

    std::variant<Network, LinkError> sweep() override {
        auto settings = text("sweep");
        if (auto *error = std::get_if<LinkError>(&settings))
            return *error;
        const auto range = parseNanoVnaSweep(std::get<std::string>(settings));
        if (!range)
            return protocolError({ProtocolFinding::SweepSettings, std::get<std::string>(settings)});
        const unsigned mask =
            nanoVnaFrequency | nanoVnaS11 | nanoVnaS21 | (m_binary ? nanoVnaBinary : 0);
        const std::string command = nanoVnaScanCommand(*range, mask);
        if (command.size() > nanoVnaLineLimit)
            return protocolError({ProtocolFinding::CommandTooLong});
        if (auto sent = m_channel.send(command + "\r"); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        NanoVnaRead read;
        auto reply = m_channel.await(
            [&](std::string_view bytes) {
                read = readNanoVnaScan(bytes, command, range->points, mask);
                return framed(read);
            },
            m_timeouts.reply, m_timeouts.sweep,
            [&](std::string_view bytes) { return meant(bytes, command, range->points, mask); });
        if (auto *error = std::get_if<LinkError>(&reply))
            return *error;
        if (m_binary && !read.binary)
            m_binary = false; // answered in text: ask in text from now on
        return std::move(read.network);
    }

  private:
    // A text command's reply, between its echo and the prompt.
    std::variant<std::string, LinkError> text(const std::string &command) {
        if (auto sent = m_channel.send(command + "\r"); auto *error = std::get_if<LinkError>(&sent))
            return *error;
        NanoVnaRead read;
        auto reply = m_channel.await(
            [&](std::string_view bytes) {
                read = readNanoVnaText(bytes, command);
                return framed(read);
            },
            m_timeouts.reply, m_timeouts.sweep,
            [&](std::string_view bytes) { return meant(bytes, command, 0, 0); });
        if (auto *error = std::get_if<LinkError>(&reply))
            return *error;
        const std::string unknown = command + "?";
        if (read.text == unknown)
            return protocolError({ProtocolFinding::UnknownCommand, command});
        return read.text;
    }

    ReplyChannel m_channel;
    AnalyserTimeouts m_timeouts;
    std::string m_identity;
    bool m_binary = true;
};

} // namespace

Connected connectNanoVna(const SourceAddress &address, AnalyserTimeouts timeouts) {
    return setUpSession<NanoVna>(openSerial(address.device), timeouts);
}

} // namespace varnel
