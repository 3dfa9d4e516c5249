#include "analyser_link/connection.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace varnel {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string systemWords(int error) {
    std::string words = std::strerror(error);
    if (!words.empty())
        words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
    return words;
}

LinkError systemError(LinkError::Kind kind, int error) {
    return {kind, systemWords(error), LinkError::Said::System, error, 0};
}

LinkError said(LinkError::Kind kind, LinkError::Said what, std::string words) {
    return {kind, std::move(words), what, 0, 0};
}

LinkError waited(LinkError::Said what, long long milliseconds) {
    const char *words = what == LinkError::Said::NoReply ? "no reply within "
                        : what == LinkError::Said::SweepUnfinished
                            ? "the sweep did not finish within "
                            : "no connection within ";
    return {LinkError::Timeout, words + std::to_string(milliseconds) + " ms", what, 0,
            milliseconds};
}

// A reply that stopped after `bytes` of it and then nothing for `milliseconds`.
LinkError cut(std::size_t bytes, long long milliseconds) {
    LinkError error{LinkError::Timeout,
                    "the reply stopped after " + std::to_string(bytes) +
                        " bytes: nothing more within " + std::to_string(milliseconds) + " ms",
                    LinkError::Said::ReplyCut, 0, milliseconds};
    error.bytes = bytes;
    return error;
}

volatile std::sig_atomic_t interrupted = 0;

} // namespace

void interruptLinks() {
    interrupted = 1;
}

bool linksInterrupted() {
    return interrupted != 0;
}

LinkError protocolError(ProtocolFinding finding) {
    std::string words = findingText(finding);
    return {LinkError::Protocol, std::move(words), LinkError::Said::Finding, 0, 0,
            std::move(finding)};
}

Connection::Connection(Connection &&other) noexcept : m_fd(other.m_fd), m_socket(other.m_socket) {
    other.m_fd = -1;
}

Connection &Connection::operator=(Connection &&other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_socket = other.m_socket;
        other.m_fd = -1;
    }
    return *this;
}

Connection::~Connection() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::variant<std::monostate, LinkError> Connection::send(std::string_view bytes) {
    // A device that takes nothing more for this long is not waited on
    // further: a send never holds the program up for ever.
    constexpr auto stalled = std::chrono::seconds(5);
    Clock::time_point deadline = Clock::now() + stalled;
    while (!bytes.empty()) {
        const ssize_t sent = m_socket ? ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                      : ::write(m_fd, bytes.data(), bytes.size());
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (Clock::now() >= deadline || (m_interruptible && interrupted))
                    return said(LinkError::Send, LinkError::Said::SendStalled,
                                "the analyser takes no more bytes: nothing sent within 5000 ms");
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, std::min(millisecondsUntil(deadline), 250));
                continue;
            }
            return systemError(LinkError::Send, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        deadline = Clock::now() + stalled;
    }
    return std::monostate{};
}

std::variant<std::monostate, LinkError> Connection::receiveSome(std::string &buffer,
                                                                Clock::time_point deadline) {
    const int wait = millisecondsUntil(deadline);
    while (true) {
        if (m_interruptible && interrupted)
            return said(LinkError::Interrupted, LinkError::Said::Interrupted, "interrupted");
        // In slices: an interruption is seen within one.
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, std::min(millisecondsUntil(deadline), 250));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return systemError(LinkError::Receive, errno);
        if (ready == 0 && Clock::now() < deadline)
            continue;
        if (ready == 0)
            return waited(LinkError::Said::NoReply, wait);
        char chunk[65536];
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (got < 0 && errno == EIO) // a serial device unplugged
            return said(LinkError::Closed, LinkError::Said::DeviceGone, "the device has gone");
        if (got < 0)
            return systemError(LinkError::Receive, errno);
        if (got == 0)
            return m_socket ? said(LinkError::Closed, LinkError::Said::PeerClosed,
                                   "the analyser closed the connection")
                            : said(LinkError::Closed, LinkError::Said::DeviceGone,
                                   "the device has gone");
        buffer.append(chunk, static_cast<std::size_t>(got));
        return std::monostate{};
    }
}

std::variant<Connection, LinkError> connectTcp(const std::string &host, int port,
                                               std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int failed = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found))
        return LinkError{LinkError::Resolve, ::gai_strerror(failed), LinkError::Said::Resolve,
                         failed, 0};
    LinkError last =
        said(LinkError::Connect, LinkError::Said::NoAddress, "no address to connect to");
    for (addrinfo *a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last = systemError(LinkError::Connect, errno);
            continue;
        }
        Connection connection(fd, true);
        int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (result < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
            if (ready == 0) {
                last = waited(LinkError::Said::NoConnection, timeout.count());
                continue;
            }
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            result = error ? -1 : 0;
            errno = error;
        }
        if (result < 0) {
            last = systemError(LinkError::Connect, errno);
            continue;
        }
        const int on = 1; // replies are small and awaited: no Nagle delay
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::freeaddrinfo(found);
        return connection;
    }
    ::freeaddrinfo(found);
    return last;
}

std::variant<Connection, LinkError> openSerial(const std::string &device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return systemError(LinkError::Connect, errno);
    Connection connection(fd, false);
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0)
        return said(LinkError::Connect, LinkError::Said::NotSerial, "not a serial device");
    if (::ioctl(fd, TIOCEXCL) != 0) // no second program on the same shell
        return systemError(LinkError::Connect, errno);
    ::cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    ::cfsetspeed(&mode, B115200);
    if (::tcsetattr(fd, TCSANOW, &mode) != 0)
        return systemError(LinkError::Connect, errno);
    ::tcflush(fd, TCIFLUSH); // what an earlier session left unread
    return connection;
}

std::string linkErrorText(const LinkError &error) {
    return error.what;
}

std::variant<std::string, LinkError> ReplyChannel::await(const Frame &frame) {
    return await(frame, m_reply);
}

std::variant<std::string, LinkError> ReplyChannel::await(const Frame &frame,
                                                         std::chrono::milliseconds timeout) {
    return await(frame, timeout, std::max(timeout, m_overall), {});
}

std::variant<std::string, LinkError> ReplyChannel::await(const Frame &frame,
                                                         std::chrono::milliseconds timeout,
                                                         std::chrono::milliseconds longest,
                                                         const Silent &silent) {
    // `timeout` is the longest silence; a reply that keeps coming is read
    // whole, up to the overall deadline and the cap.
    const Clock::time_point overall = Clock::now() + longest;
    Clock::time_point silence = Clock::now() + timeout;
    std::size_t received = 0; // of this reply: a reply cut short says so
    while (true) {
        if (!m_buffer.empty()) {
            auto framed = frame(m_buffer);
            if (auto *error = std::get_if<LinkError>(&framed)) {
                m_buffer.clear(); // a wrong reply's bytes frame nothing after it
                return *error;
            }
            if (const std::size_t used = std::get<std::size_t>(framed)) {
                std::string reply = m_buffer.substr(0, used);
                m_buffer.erase(0, used);
                return reply;
            }
        }
        if (m_buffer.size() > m_cap) {
            m_buffer.clear(); // what is left cannot be framed
            return protocolError({ProtocolFinding::ReplyTooLong, {}, m_cap});
        }
        const std::size_t had = m_buffer.size();
        if (auto got = m_connection.receiveSome(m_buffer, std::min(silence, overall));
            auto *error = std::get_if<LinkError>(&got)) {
            const bool silenced = error->kind == LinkError::Timeout && silence <= overall;
            const Silence meant = silenced && silent ? silent(m_buffer) : Silence{};
            if (meant.what == Silence::Wait) {
                silence = Clock::now() + timeout;
                continue;
            }
            if (meant.what == Silence::Wrong) {
                m_buffer.clear();
                return protocolError(*meant.finding);
            }
            if (error->kind == LinkError::Timeout)
                *error = !silenced  ? waited(LinkError::Said::SweepUnfinished, longest.count())
                         : received ? cut(received, timeout.count())
                                    : waited(LinkError::Said::NoReply, timeout.count());
            return *error;
        }
        received += m_buffer.size() - had;
        if (m_buffer.size() > had)
            silence = Clock::now() + timeout;
    }
}

std::variant<std::size_t, LinkError> lineFrame(std::string_view bytes) {
    const std::size_t end = bytes.find('\n');
    return end == std::string_view::npos ? 0 : end + 1;
}

std::string withoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::variant<std::string, LinkError> ReplyChannel::line() {
    return line(m_reply);
}

std::variant<std::string, LinkError> ReplyChannel::line(std::chrono::milliseconds timeout) {
    auto got = await(lineFrame, timeout);
    if (auto *text = std::get_if<std::string>(&got))
        *text = withoutLineEnd(std::move(*text));
    return got;
}

} // namespace varnel
