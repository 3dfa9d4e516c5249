#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <variant>

// A TCP connection with a deadline on every step, without Qt: so that
// varnel-calc and the window's worker share it. Every failure is a value
// that says what failed, as the system put it ("connection refused", "no
// reply within 2000 ms").
// Example: connectTcp("127.0.0.1", port, 500ms) to a port nobody listens on
// -> LinkError{Connect, "connection refused"}.
namespace varnel {

struct LinkError {
    enum Kind { Resolve, Connect, Send, Receive, Timeout, Closed, Protocol } kind;
    std::string what;
};

class TcpConnection {
  public:
    TcpConnection() = default;
    explicit TcpConnection(int fd) : m_fd(fd) {}
    TcpConnection(TcpConnection &&other) noexcept;
    TcpConnection &operator=(TcpConnection &&other) noexcept;
    TcpConnection(const TcpConnection &) = delete;
    TcpConnection &operator=(const TcpConnection &) = delete;
    ~TcpConnection();

    bool open() const { return m_fd >= 0; }
    // Sends all of `bytes`, or says why not.
    std::variant<std::monostate, LinkError> send(std::string_view bytes);
    // Appends what arrives to `buffer`: at least one byte, waiting until
    // `deadline`; Timeout then, Closed when the peer has gone.
    std::variant<std::monostate, LinkError>
    receiveSome(std::string &buffer, std::chrono::steady_clock::time_point deadline);

  private:
    int m_fd = -1;
};

std::variant<TcpConnection, LinkError> connectTcp(const std::string &host, int port,
                                                  std::chrono::milliseconds timeout);

// "connection refused", "no reply within 2000 ms", ...: the error's words.
std::string linkErrorText(const LinkError &error);

} // namespace varnel
