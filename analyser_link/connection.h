#pragma once

#include "analyser_protocols/finding.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A byte connection to an instrument with a deadline on every step, without
// Qt: so that varnel-calc and the window's worker share it. A TCP socket or
// a serial device (a NanoVNA's USB shell); every failure is a value that says
// what failed, as the system put it ("connection refused", "no reply within
// 2000 ms").
// Example: connectTcp("127.0.0.1", port, 500ms) to a port nobody listens on
// -> LinkError{Connect, "connection refused"}; openSerial("/dev/null", ...)
// -> LinkError{Connect, "not a serial device"}.
namespace varnel {

struct LinkError {
    enum Kind { Resolve, Connect, Send, Receive, Timeout, Closed, Protocol, Interrupted } kind;
    std::string what; // in English: the system's words, or what the reply did wrong
    // What `what` says, as a value a window says in its own language: the
    // system's error (`code`, errno or getaddrinfo's), a wait of
    // `milliseconds`, one of the link's own sentences, a protocol's
    // `finding`, or Text (`what` as it is).
    enum class Said {
        Text,
        System,
        Resolve,
        NoReply,
        NoConnection,
        DeviceGone,
        PeerClosed,
        NotSerial,
        NotAnAddress,
        NoAddress,
        SweepUnfinished, // the sweep did not finish within `milliseconds`
        ReplyCut,        // `bytes` of a reply, then nothing for `milliseconds`
        Interrupted,     // the program was interrupted (interruptLinks)
        SendStalled,     // the device took no bytes for 5 s
        Finding,
    } said = Said::Text;
    int code = 0;
    long long milliseconds = 0;
    std::optional<ProtocolFinding> finding = std::nullopt; // with Finding
    std::size_t bytes = 0;                                 // with ReplyCut
};

// A reply that did not read: Protocol, its finding in English as `what`.
LinkError protocolError(ProtocolFinding finding);

// Interrupting the links, from a signal handler (async-signal-safe): every
// wait on an interruptible connection then ends within a quarter second
// with Interrupted ("interrupted"), so that the program can set the
// analyser back and stop. Waits of a connection made uninterruptible (to
// set the analyser back) go on.
// Example: interruptLinks() during a sweep of 30 s -> that sweep() returns
// LinkError{Interrupted, "interrupted"} at once.
void interruptLinks();
bool linksInterrupted();

class Connection {
  public:
    Connection() = default;
    Connection(int fd, bool socket) : m_fd(fd), m_socket(socket) {}
    Connection(Connection &&other) noexcept;
    Connection &operator=(Connection &&other) noexcept;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection();

    bool open() const { return m_fd >= 0; }
    void setInterruptible(bool interruptible) { m_interruptible = interruptible; }
    // Sends all of `bytes`, or says why not.
    std::variant<std::monostate, LinkError> send(std::string_view bytes);
    // Appends what arrives to `buffer`: at least one byte, waiting until
    // `deadline`; Timeout then, Closed when the peer has gone.
    std::variant<std::monostate, LinkError>
    receiveSome(std::string &buffer, std::chrono::steady_clock::time_point deadline);

  private:
    int m_fd = -1;
    bool m_socket = true;
    bool m_interruptible = true;
};

std::variant<Connection, LinkError> connectTcp(const std::string &host, int port,
                                               std::chrono::milliseconds timeout);
// A serial device in raw mode (8 data bits, no parity, 115200 baud; a USB
// CDC device ignores the rate), opened for this process alone.
std::variant<Connection, LinkError> openSerial(const std::string &device);

// "connection refused", "no reply within 2000 ms", ...: the error's words.
std::string linkErrorText(const LinkError &error);

// A reply framed by its line feed: the bytes up to and with the first LF
// (0 while there is none). "1\r\n+2" -> 3.
std::variant<std::size_t, LinkError> lineFrame(std::string_view bytes);
// The line without its LF or CR LF: "1\r\n" -> "1".
std::string withoutLineEnd(std::string line);

// A connection with the bytes received and not yet taken, for a protocol
// that frames its replies itself. `await(frame)` waits until `frame` finds a
// whole reply at the front of the bytes: it returns how many bytes the
// reply used (0 while it needs more), or a LinkError for a reply that is
// wrong (the bytes received are dropped with it). The timeout given is the longest silence: a reply
// whose bytes keep coming is read whole, until the overall deadline (60 s, or the timeout where it
// is longer). A reply past the cap (replyCap, finding.h) unframed is refused (ReplyTooLong) and its
// bytes dropped, so that nothing a device sends grows the buffer beyond it. Example: a line sent a
// byte every 100 ms for 1 s, timeout 500 ms -> the line; nothing for 500 ms -> "no reply within 500
// ms"; half a block and then nothing -> "the reply stopped after 1611 bytes: nothing more within
// 500 ms"; 13 MB without a
// line feed -> "the reply runs past 12865664 bytes, ...".
class ReplyChannel {
  public:
    using Frame = std::function<std::variant<std::size_t, LinkError>(std::string_view)>;

    ReplyChannel(Connection connection, std::chrono::milliseconds reply)
        : m_connection(std::move(connection)), m_reply(reply) {}
    std::variant<std::monostate, LinkError> send(std::string_view bytes) {
        return m_connection.send(bytes);
    }
    // What a reply gone silent for the timeout means, from its bytes so
    // far: Wait (the device is still at work: the silence starts again, up
    // to the overall deadline), Cut (the channel's words: no reply, or how
    // much came) or Wrong (the finding, the bytes dropped).
    struct Silence {
        enum What { Cut, Wait, Wrong } what = Cut;
        std::optional<ProtocolFinding> finding{};
    };
    using Silent = std::function<Silence(std::string_view)>;

    // The reply's bytes, taken from the front of the buffer.
    std::variant<std::string, LinkError> await(const Frame &frame);
    std::variant<std::string, LinkError> await(const Frame &frame,
                                               std::chrono::milliseconds timeout);
    std::variant<std::string, LinkError> await(const Frame &frame,
                                               std::chrono::milliseconds timeout,
                                               std::chrono::milliseconds overall,
                                               const Silent &silent);
    // The next line, without its LF or CR LF.
    std::variant<std::string, LinkError> line();
    std::variant<std::string, LinkError> line(std::chrono::milliseconds timeout);
    std::chrono::milliseconds replyTimeout() const { return m_reply; }
    // The cap and the overall deadline (tests make them small).
    void setCap(std::size_t bytes) { m_cap = bytes; }
    void setOverall(std::chrono::milliseconds overall) { m_overall = overall; }
    void setInterruptible(bool interruptible) { m_connection.setInterruptible(interruptible); }

  private:
    Connection m_connection;
    std::chrono::milliseconds m_reply;
    std::size_t m_cap = replyCap;
    std::chrono::milliseconds m_overall{60000};
    std::string m_buffer;
};

} // namespace varnel
