#pragma once

#include <string>
#include <string_view>
#include <variant>

// Where a sweep comes from, as a tuner writes it: a file's path, or an
// analyser's address.
//   scpi://HOST[:PORT]        an SCPI analyser on a raw socket (port 5025)
//   librevna://HOST[:PORT]    LibreVNA's GUI, its SCPI server (port 19542)
//   nanovna:DEVICE            a NanoVNA on a serial device
// Anything else is a file. Examples: "scpi://10.0.0.7" -> Scpi, host
// "10.0.0.7", port 5025; "scpi://ena:5025x" -> refused ("the port must be a
// number from 1 to 65535, got '5025x'"); "sweep.s1p" -> File.
namespace varnel {

struct SourceAddress {
    enum Kind { File, Scpi, LibreVna, NanoVna } kind = File;
    std::string host; // Scpi, LibreVna
    int port = 0;
    std::string device; // NanoVna
    std::string path;   // File
    std::string text;   // as written
};

std::variant<SourceAddress, std::string> parseSourceAddress(std::string_view text);

// The port an analyser kind listens on unless told otherwise (0: none).
int defaultPort(SourceAddress::Kind kind);
// The address of an analyser made from its parts, as parseSourceAddress
// reads it: (Scpi, "ena", 5025) -> "scpi://ena:5025"; (NanoVna, device
// "/dev/ttyACM0") -> "nanovna:/dev/ttyACM0".
std::string addressText(SourceAddress::Kind kind, std::string_view host, int port,
                        std::string_view device);

} // namespace varnel
