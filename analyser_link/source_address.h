#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <variant>

// Where a sweep comes from, as a tuner writes it: a file's path, or an
// analyser's address.
//   scpi://HOST[:PORT]        an SCPI analyser on a raw socket (port 5025)
//   librevna://HOST[:PORT]    LibreVNA's GUI, its SCPI server (port 19542)
//   nanovna:DEVICE            a NanoVNA on a serial device
// each optionally followed by "?timeout=REPLY[,SWEEP]" (readTimeouts) and,
// for scpi://, "dialect=ena|pna|znb" (the analyser's family, found from its
// "*IDN?" otherwise), joined by '&': "scpi://znb?dialect=znb&timeout=10".
// Anything else is a file. Examples: "scpi://10.0.0.7" -> Scpi, host
// "10.0.0.7", port 5025; "scpi://ena:5025x" -> refused ("the port must be a
// number from 1 to 65535, got '5025x'"); "sweep.s1p" -> File.
namespace varnel {

struct AnalyserTimeouts {
    std::chrono::milliseconds connect{2000}; // to open the connection
    std::chrono::milliseconds reply{5000};   // the longest silence within a reply
    std::chrono::milliseconds sweep{30000};  // for a sweep to complete
};

struct SourceAddress {
    enum Kind { File, Scpi, LibreVna, NanoVna } kind = File;
    std::string host; // Scpi, LibreVna
    int port = 0;
    std::string device;  // NanoVna
    std::string path;    // File
    std::string dialect; // Scpi: as forced ("pna"), or empty: found from *IDN?
    std::string text;    // as written
    AnalyserTimeouts timeouts{};
};

std::variant<SourceAddress, std::string> parseSourceAddress(std::string_view text);

// An analyser's timeouts as a tuner writes them, after "?timeout=" in an
// address or as varnel-calc's --timeout: the seconds of silence allowed in
// a reply, and after a comma those a whole sweep may take, from 0.1 to 3600
// (the sweep's no shorter than the silence). Examples: "10" -> reply 10 s,
// sweep 30 s; "2.5,120" -> 2.5 s and 120 s; "0" -> refused ("a timeout is
// ..."). timeoutsText gives "2.5,120" back.
std::variant<AnalyserTimeouts, std::string> readTimeouts(std::string_view text);
std::string timeoutsText(const AnalyserTimeouts &timeouts);

// The port an analyser kind listens on unless told otherwise (0: none).
int defaultPort(SourceAddress::Kind kind);
// The address of an analyser made from its parts, as parseSourceAddress
// reads it: (Scpi, "ena", 5025) -> "scpi://ena:5025"; (NanoVna, device
// "/dev/ttyACM0") -> "nanovna:/dev/ttyACM0"; with timeouts other than the
// defaults, "?timeout=..." after it, and a dialect as "dialect=...".
std::string addressText(SourceAddress::Kind kind, std::string_view host, int port,
                        std::string_view device, const AnalyserTimeouts &timeouts = {},
                        std::string_view dialect = {});

} // namespace varnel
