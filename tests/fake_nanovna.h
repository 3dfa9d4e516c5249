#pragma once

#include "fake_instrument.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace varnel::testing {

// A fake NanoVNA shell on a pseudo-terminal, written from the NanoVNA-H
// shell command reference (lines end CR LF; the prompt "ch> "; every typed
// character echoed, CR as CR LF; an unknown command answered "NAME?";
// "version"; "sweep" with no arguments answering "START STOP POINTS";
// "scan START STOP POINTS MASK" sweeping once and answering what the mask
// asks: 0x01 frequency, 0x02 S11, 0x04 S21 (sweep k's S11 times 0.5j),
// 0x80 binary: a little-endian
// uint16 mask and uint16 count, then per point a uint32 frequency and
// float32 pairs; else a text line a point). The client opens `device()`, a
// link to the pty that is pointed at a fresh pty when the fault "unplugged"
// takes the old one away. Faults: replies in pieces, stray prompts and a
// banner before echoes, the device unplugged halfway through a scan's data,
// a scan slower than a timeout, text only (a firmware without binary), a
// scan a point short, of another count, or after another command's echo.
// The point limit is 101 (the -H's); sweep k as every fake's.
// `x` rounded to single precision, as the instrument sends it. Through a
// volatile: GCC 12 at -O2 drops a double-float-double round trip whose
// result goes into a std::complex<double>.
inline double singlePrecision(double x) {
    volatile float rounded = static_cast<float>(x);
    return rounded;
}

class FakeNanoVna {
  public:
    static constexpr int pointLimit = 101;

    explicit FakeNanoVna(FakeFaults faults = {}) : m_faults(faults) {
        char folder[] = "/tmp/nanovna-XXXXXX";
        m_folder = ::mkdtemp(folder);
        m_device = m_folder + "/ttyACM0";
        plug();
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeNanoVna() {
        m_stopping = true;
        m_thread.join();
        ::close(m_master);
        std::filesystem::remove_all(m_folder);
    }
    const std::string &device() const { return m_device; }
    int sweepsServed() const { return m_sweep; }
    std::chrono::steady_clock::time_point lastDataSent() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(m_lastDataSent.load()));
    }
    static std::vector<double> frequenciesHz(int points) {
        std::vector<double> f;
        for (int i = 0; i < points; ++i) // as the firmware steps: whole hertz
            f.push_back(static_cast<double>(
                static_cast<std::uint32_t>(985000000.0 + 30000000.0 * i / (points - 1))));
        return f;
    }
    // S21 of sweep k is its S11 times this, so that one read as the other shows.
    static constexpr std::complex<double> transmission{0.0, 0.5};
    // Sweep k as the instrument measures it (S11, or S21): single-precision
    // numbers.
    static std::vector<std::complex<double>> sweepValues(int k, int points, bool text,
                                                         bool s21 = false) {
        std::vector<std::complex<double>> values;
        for (auto v : fakeSweepValues(k, points)) {
            if (s21)
                v *= transmission;
            if (text) { // "%f": six decimals
                values.emplace_back(std::round(singlePrecision(v.real()) * 1e6) / 1e6,
                                    std::round(singlePrecision(v.imag()) * 1e6) / 1e6);
            } else {
                values.emplace_back(singlePrecision(v.real()), singlePrecision(v.imag()));
            }
        }
        return values;
    }

  private:
    // A fresh pty, the device link turned to it at once, then the old one
    // gone: the device comes back as soon as the client notices.
    void plug() {
        const int old = m_master;
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        const std::string slave = ::ptsname(m_master);
        std::filesystem::create_symlink(slave, m_device + ".new");
        std::filesystem::rename(m_device + ".new", m_device);
        if (old >= 0)
            ::close(old);
    }

    bool send(const std::string &bytes) { return sendInPieces(m_master, bytes, m_faults, false); }

    static void put(std::string &out, std::uint32_t value, int size) {
        for (int b = 0; b < size; ++b)
            out += static_cast<char>((value >> (8 * b)) & 0xff);
    }

    std::string scanReply(unsigned start, unsigned stop, int points, unsigned mask) {
        std::string out;
        const bool binary = (mask & 0x80) && !m_faults.asciiOnly;
        if (binary) {
            put(out, mask, 2);
            put(out, static_cast<std::uint32_t>(points), 2);
        }
        const auto values = fakeSweepValues(m_sweep, points);
        for (int i = 0; i < points; ++i) {
            const auto f =
                static_cast<std::uint32_t>(start + (stop - start) * 1.0 * i / (points - 1));
            const auto v = values[static_cast<std::size_t>(i)];
            std::vector<float> numbers;
            if (mask & 0x02)
                numbers.insert(numbers.end(),
                               {static_cast<float>(v.real()), static_cast<float>(v.imag())});
            if (mask & 0x04) {
                const auto t = v * transmission;
                numbers.insert(numbers.end(),
                               {static_cast<float>(t.real()), static_cast<float>(t.imag())});
            }
            if (binary) {
                put(out, f, 4);
                for (const float x : numbers) {
                    std::uint32_t bits = 0;
                    std::memcpy(&bits, &x, 4);
                    put(out, bits, 4);
                }
            } else {
                out += std::to_string(f);
                char item[32];
                for (const float x : numbers) {
                    std::snprintf(item, sizeof item, " %f", x);
                    out += item;
                }
                out += " \r\n";
            }
        }
        return out;
    }

    // One command line: its echo first, then its reply and the prompt.
    bool run(const std::string &line) {
        std::string echo = line + "\r\n";
        if (m_faults.strayPrompts && (m_commands++ % 2 == 0))
            echo = (m_commands % 4 == 1 ? "\r\nNanoVNA Shell\r\nch> " : "ch> ") + echo;
        std::string reply;
        bool data = false;
        unsigned start = 0, stop = 0, points = 0, mask = 0;
        if (line == "resume") { // the sweep runs again; nothing to say
            ++m_resumed;
        } else if (line == "version") {
            reply = "1.2.00-fake\r\n";
        } else if (line == "sweep") {
            reply = "985000000 1015000000 " + std::to_string(m_faults.points) + "\r\n";
        } else if (std::sscanf(line.c_str(), "scan %u %u %u %u", &start, &stop, &points, &mask) ==
                   4) {
            if (points < 1 || points > pointLimit) {
                reply = "sweep points exceeds range " + std::to_string(pointLimit) + "\r\n";
            } else {
                ++m_sweep;
                using F = FakeFaults::Framing;
                const F framing = std::exchange(m_faults.framing, F::None);
                reply = scanReply(start, stop, static_cast<int>(points), mask);
                if (framing == F::ShortPayload)
                    reply.resize(reply.size() - 12);
                if (framing == F::OtherCount) { // 100 points, said so
                    reply = scanReply(start, stop, static_cast<int>(points) - 1, mask);
                }
                if (framing == F::OtherEcho)
                    echo = "sweep\r\n";
                data = true;
            }
        } else if (!line.empty()) {
            reply = line.substr(0, line.find(' ')) + "?\r\n";
        }
        if (!send(echo))
            return false;
        if (data && m_faults.replyDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_faults.replyDelayMs));
        if (data && m_faults.dropMidBlock && !m_dropped) {
            m_dropped = true;
            send(reply.substr(0, reply.size() / 2));
            plug(); // unplugged: the device goes, and comes back as a new pty
            return true;
        }
        if (!send(reply + "ch> "))
            return false;
        if (data)
            m_lastDataSent = std::chrono::steady_clock::now().time_since_epoch().count();
        return true;
    }

    void serve() {
        std::string pending;
        char chunk[512];
        while (!m_stopping) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) {
                if (p.revents & POLLHUP) // no client has the device open
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            const ssize_t got = ::read(m_master, chunk, sizeof chunk);
            if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            pending.append(chunk, static_cast<std::size_t>(got));
            std::size_t end;
            while ((end = pending.find('\r')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!pending.empty() && pending.front() == '\n')
                    pending.erase(0, 1);
                run(line);
            }
        }
    }

    FakeFaults m_faults;
    std::string m_folder, m_device;
    int m_master = -1;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_sweep{0};
    std::atomic<std::chrono::steady_clock::rep> m_lastDataSent{0};
    int m_commands = 0;
    bool m_dropped = false;

  public:
    // How many times the sweep was resumed after a scan paused it.
    int resumed() const { return m_resumed; }

  private:
    std::atomic<int> m_resumed{0};
};

} // namespace varnel::testing
