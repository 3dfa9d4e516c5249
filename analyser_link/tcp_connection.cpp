#include "analyser_link/tcp_connection.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

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

} // namespace

TcpConnection::TcpConnection(TcpConnection &&other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

TcpConnection &TcpConnection::operator=(TcpConnection &&other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

TcpConnection::~TcpConnection() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::variant<std::monostate, LinkError> TcpConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            return LinkError{LinkError::Send, systemWords(errno)};
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return std::monostate{};
}

std::variant<std::monostate, LinkError> TcpConnection::receiveSome(std::string &buffer,
                                                                   Clock::time_point deadline) {
    const int waited = millisecondsUntil(deadline);
    while (true) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return LinkError{LinkError::Receive, systemWords(errno)};
        if (ready == 0)
            return LinkError{LinkError::Timeout,
                             "no reply within " + std::to_string(waited) + " ms"};
        char chunk[65536];
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (got < 0)
            return LinkError{LinkError::Receive, systemWords(errno)};
        if (got == 0)
            return LinkError{LinkError::Closed, "the analyser closed the connection"};
        buffer.append(chunk, static_cast<std::size_t>(got));
        return std::monostate{};
    }
}

std::variant<TcpConnection, LinkError> connectTcp(const std::string &host, int port,
                                                  std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int failed = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found))
        return LinkError{LinkError::Resolve, ::gai_strerror(failed)};
    LinkError last{LinkError::Connect, "no address to connect to"};
    for (addrinfo *a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last = LinkError{LinkError::Connect, systemWords(errno)};
            continue;
        }
        TcpConnection connection(fd);
        int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (result < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
            if (ready == 0) {
                last = LinkError{LinkError::Timeout,
                                 "no connection within " + std::to_string(timeout.count()) + " ms"};
                continue;
            }
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            result = error ? -1 : 0;
            errno = error;
        }
        if (result < 0) {
            last = LinkError{LinkError::Connect, systemWords(errno)};
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

std::string linkErrorText(const LinkError &error) {
    return error.what;
}

} // namespace varnel
