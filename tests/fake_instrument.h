#pragma once

#include "tuning/stage_model.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnel::testing {

// What the fakes share: faults to inject and the sweeps they serve. Sweep k
// (from 1) is stage 2 of order 5, 10 MHz, 0.01 dB, Qu 3000 at 1000 MHz, over
// 985..1015 MHz, turned by k x 0.01 rad, so that every sweep differs and a
// mixed, repeated or stale one shows.
struct FakeFaults {
    std::size_t pieceBytes = 0; // >0: replies sent in pieces this small
    int pieceDelayMs = 0;
    bool dropMidBlock = false; // once: the link drops halfway through the data
    bool cutMidBlock = false;  // once: half the data, then silence on a live link
    int replyDelayMs = 0;      // before every data reply
    bool asciiOnly = false;    // no binary: ASCII (SCPI) or text (NanoVNA)
    // SCPI: data formats refused with -224 in the error queue: "REAL,64"
    // (as the E5071C, which spells doubles "REAL"), or both binary forms.
    enum class Refuses { None, Real64, Binary };
    Refuses refuses = Refuses::None;
    bool staleError = false;           // SCPI: an earlier session's error in the queue
    std::string triggerSource = "INT"; // SCPI: as found (INT, MAN, EXT, BUS)
    bool averaging = false;            // SCPI: averaging on
    bool held = false;                 // SCPI: found on hold (no continuous sweep)
    int points = 201;                  // a sweep's points over 985..1015 MHz
    bool strayPrompts = false;         // NanoVNA: prompts and a banner before echoes
    bool emptyReplies = false;         // LibreVNA: settings answered by empty lines
    int sweepMs = 0;                   // LibreVNA: how long an acquisition runs
    int linesOffOnce = 0;              // LibreVNA: once, this many points more (or fewer)
    // NanoVNA, once: a binary scan a point short, a header of a point fewer
    // (and its points), or the echo of another command ("sweep").
    enum class Framing { None, ShortPayload, OtherCount, OtherEcho };
    Framing framing = Framing::None;
    // SCPI: a hostile analyser. FloodIdentity answers *IDN? with 40 MB and
    // no line feed; HugeBlock's data block declares 999,999,999 bytes;
    // NoDataMark puts SCPI's 9.91E37 at data value 5; EscapesInErrors
    // queues an error of ESC, BEL and invalid UTF-8 with each sweep.
    enum class Hostile { None, FloodIdentity, HugeBlock, NoDataMark, EscapesInErrors };
    Hostile hostile = Hostile::None;
    // SCPI: the family ("ena", "pna", "znb": its identity and commands), the
    // ports it measures (a 1-port analyser refuses S21, S12 and S22), the
    // measurements found (S11 alone, or all four) and the sweeps an
    // average takes (pna, znb).
    std::string dialect = "ena";
    int analyserPorts = 1;
    bool allFourFound = false;
    int averages = 4;
    std::string identity{}; // SCPI: "*IDN?" answered so (empty: the family's own)
};

inline std::vector<double> fakeFrequenciesHz(int points) {
    std::vector<double> f;
    for (int i = 0; i < points; ++i)
        f.push_back((985 + 30.0 * i / (points - 1)) * 1e6);
    return f;
}

inline std::vector<std::complex<double>> fakeSweepValues(int k, int points) {
    const TuningTable table = std::get<TuningTable>(tuningTable("5", "10", "0.01", std::nullopt));
    const StageModel model = stageModel(table, 2, 1000, 3000.0);
    std::vector<std::complex<double>> values;
    for (const double f : fakeFrequenciesHz(points))
        values.push_back(stageResponse(model, f / 1e6).s11 * std::polar(1.0, 0.01 * k));
    return values;
}

// Sends `bytes` whole or in the faults' pieces; false when the peer has gone.
inline bool sendInPieces(int fd, const std::string &bytes, const FakeFaults &faults, bool socket) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t piece =
            faults.pieceBytes ? std::min(faults.pieceBytes, bytes.size() - at) : bytes.size() - at;
        const ssize_t sent = socket ? ::send(fd, bytes.data() + at, piece, MSG_NOSIGNAL)
                                    : ::write(fd, bytes.data() + at, piece);
        if (sent <= 0)
            return false;
        at += static_cast<std::size_t>(sent);
        if (faults.pieceDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults.pieceDelayMs));
    }
    return true;
}

// A fake instrument on TCP, one client at a time on 127.0.0.1 (port chosen
// by the system), one command a line. A derived fake answers each line and
// says which reply carries a sweep's data: that one is delayed, or dropped
// halfway, as the faults say. Derived classes call start() when built and
// stop() before they go.
class FakeTcpInstrument {
  public:
    int port() const { return m_port; }
    // Waits until the serving thread waits for a client. A test that forks
    // calls it first: a thread caught inside the allocator at the fork (as
    // it starts) leaves the child a lock that is never released.
    void awaitServing() const {
        while (!m_serving)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int sweepsServed() const { return m_sweep; }
    // When the last byte of the latest sweep's data was sent.
    std::chrono::steady_clock::time_point lastDataSent() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(m_lastDataSent.load()));
    }

  protected:
    struct Reply {
        std::string bytes; // nothing: no reply
        bool data = false;
    };
    explicit FakeTcpInstrument(FakeFaults faults) : m_faults(faults) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 4);
        socklen_t size = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    virtual ~FakeTcpInstrument() = default;
    void start() {
        m_thread = std::thread([this] { serve(); });
    }
    void stop() {
        m_stopping = true;
        // A client still connected would keep the serving thread in recv.
        if (const int client = m_client.load(); client >= 0)
            ::shutdown(client, SHUT_RDWR);
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    virtual Reply answer(const std::string &line) = 0;

    FakeFaults m_faults;
    std::atomic<int> m_sweep{0};

  private:
    void serve() {
        while (!m_stopping) {
            m_serving = true; // nothing allocates from here to the accept
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            const int on = 1; // each reply (or piece) goes out as it is written
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            m_client = client;
            if (!m_stopping)
                talk(client);
            m_client = -1;
            ::close(client);
        }
    }

    void talk(int client) {
        std::string pending;
        char chunk[4096];
        while (true) {
            const std::size_t end = pending.find('\n');
            if (end == std::string::npos) {
                const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
                if (got <= 0)
                    return;
                pending.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const Reply reply = answer(line);
            if (reply.bytes.empty())
                continue;
            if (reply.data && m_faults.replyDelayMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_faults.replyDelayMs));
            if (reply.data && m_faults.dropMidBlock && !m_dropped) {
                m_dropped = true;
                sendInPieces(client, reply.bytes.substr(0, reply.bytes.size() / 2), m_faults, true);
                return; // the connection drops with the data half sent
            }
            if (reply.data && m_faults.cutMidBlock && !m_dropped) {
                m_dropped = true;
                sendInPieces(client, reply.bytes.substr(0, reply.bytes.size() / 2), m_faults, true);
                continue; // the rest never comes; the link stays up
            }
            if (!sendInPieces(client, reply.bytes, m_faults, true))
                return;
            if (reply.data)
                m_lastDataSent = std::chrono::steady_clock::now().time_since_epoch().count();
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_serving{false};
    std::atomic<int> m_client{-1};
    std::atomic<std::chrono::steady_clock::rep> m_lastDataSent{0};
    bool m_dropped = false;
};

} // namespace varnel::testing
