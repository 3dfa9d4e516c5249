#pragma once

#include "analyser_link/connection.h"
#include "analyser_link/source_address.h"
#include "touchstone/touchstone.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <variant>

// A network analyser that gives one complete sweep at a time: an SCPI
// analyser on a raw socket, LibreVNA's GUI through its SCPI server, or a
// NanoVNA's USB shell. Every sweep is triggered and awaited, so that no
// trace mixes two sweeps, and every reply has a deadline and is checked
// before a sweep is taken.
// Example: connectAnalyser of "librevna://127.0.0.1:1" with nobody
// listening -> LinkError{Connect, "connection refused"}; of a fake that
// drops the connection halfway through a data block, sweep() ->
// LinkError{Closed, "the analyser closed the connection"}, and a new
// connection's next sweep is whole.
namespace varnel {

class Analyser {
  public:
    virtual ~Analyser() = default;
    // The instrument's own name for itself ("*IDN?", "version").
    virtual const std::string &identity() const = 0;
    // One complete sweep, taken after it was triggered: S11 (a 1-port
    // network), or all four S-parameters when the instrument measures them.
    virtual std::variant<Network, LinkError> sweep() = 0;
};

using Connected = std::variant<std::unique_ptr<Analyser>, LinkError>;

// Connects to the analyser the address names (not a File), with its
// timeouts or those given.
Connected connectAnalyser(const SourceAddress &address);
Connected connectAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts);

// A session of kind `Session` on a connection just opened, set up (its
// setUp()); the failure of either otherwise.
template <class Session, class... Args>
Connected setUpSession(std::variant<Connection, LinkError> opened, Args &&...args) {
    if (auto *error = std::get_if<LinkError>(&opened))
        return *error;
    auto session = std::make_unique<Session>(std::move(std::get<Connection>(opened)),
                                             std::forward<Args>(args)...);
    if (auto set = session->setUp(); auto *error = std::get_if<LinkError>(&set))
        return *error;
    return session;
}

// The kinds, each in a file of its own.
Connected connectScpiAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts);
Connected connectLibreVna(const SourceAddress &address, AnalyserTimeouts timeouts);
Connected connectNanoVna(const SourceAddress &address, AnalyserTimeouts timeouts);

} // namespace varnel
