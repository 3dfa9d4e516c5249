#pragma once

#include "analyser_link/source_address.h"
#include "analyser_link/tcp_connection.h"
#include "touchstone/touchstone.h"

#include <chrono>
#include <string>
#include <variant>

// An SCPI analyser on a raw socket (Keysight ENA and PNA style, and those
// that follow them), one complete sweep at a time. The commands, from the
// instruments' programming guides:
//   at connect  "*IDN?" (its name), ":FORM:DATA REAL,64", ":FORM:BORD SWAP"
//               (doubles, least significant byte first), ":INIT1:CONT OFF"
//               (no free-running sweep: no trace mixes two sweeps);
//   a sweep     ":INIT1:IMM;*OPC?" (one sweep; "1" once it is complete),
//               ":SENS1:FREQ:DATA?" (Hz) and ":CALC1:DATA:SDAT?" (the active
//               trace, real and imaginary a point), each a definite-length
//               block, or an ASCII list from an analyser that sends no binary
//               over a raw socket; then ":SYST:ERR?", whose error other than
//               0 is reported.
// Every reply has a deadline and is checked (scpi.h): a block by its own
// byte count, the sweep whole, frequencies rising.
// Example: a fake analyser that drops the connection halfway through a
// block: sweep() -> LinkError{Closed, "the analyser closed the connection"};
// connect() again and the next sweep is whole.
namespace varnel {

struct ScpiTimeouts {
    std::chrono::milliseconds connect{2000}, reply{5000};
};

class ScpiAnalyser {
  public:
    static std::variant<ScpiAnalyser, LinkError> connect(const SourceAddress &address,
                                                         ScpiTimeouts timeouts = {});
    const std::string &identity() const { return m_identity; }
    // One complete sweep, taken after it was triggered.
    std::variant<Network, LinkError> sweep();

  private:
    ScpiAnalyser(TcpConnection connection, ScpiTimeouts timeouts)
        : m_connection(std::move(connection)), m_timeouts(timeouts) {}
    std::variant<std::monostate, LinkError> command(std::string_view text);
    // A reply line, without its terminator.
    std::variant<std::string, LinkError> query(std::string_view text);
    // The numbers of a block or an ASCII reply.
    std::variant<std::vector<double>, LinkError> queryNumbers(std::string_view text);

    TcpConnection m_connection;
    ScpiTimeouts m_timeouts;
    std::string m_buffer; // bytes received and not yet taken
    std::string m_identity;
};

} // namespace varnel
