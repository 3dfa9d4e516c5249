#include "analyser_link/source_address.h"

#include "quoting/quote.h"

#include <charconv>

namespace varnel {

namespace {

// The address schemes: the prefix, the kind, the default port.
struct Scheme {
    std::string_view prefix;
    SourceAddress::Kind kind;
    int port;
};
constexpr Scheme schemes[] = {
    {"scpi://", SourceAddress::Scpi, 5025},
    {"librevna://", SourceAddress::LibreVna, 19542},
    {"nanovna:", SourceAddress::NanoVna, 0},
};

} // namespace

std::variant<SourceAddress, std::string> parseSourceAddress(std::string_view text) {
    SourceAddress a;
    a.text = std::string(text);
    for (const Scheme &scheme : schemes) {
        if (!text.starts_with(scheme.prefix))
            continue;
        a.kind = scheme.kind;
        std::string_view rest = text.substr(scheme.prefix.size());
        if (scheme.kind == SourceAddress::NanoVna) {
            if (rest.empty())
                return std::string("nanovna: needs a serial device, such as nanovna:/dev/ttyACM0");
            a.device = std::string(rest);
            return a;
        }
        a.port = scheme.port;
        const std::size_t colon = rest.rfind(':');
        if (colon != std::string_view::npos && rest.find(']') == std::string_view::npos) {
            const std::string_view port = rest.substr(colon + 1);
            int value = 0;
            const auto [end, error] =
                std::from_chars(port.data(), port.data() + port.size(), value);
            if (error != std::errc() || end != port.data() + port.size() || value < 1 ||
                value > 65535)
                return "the port must be a number from 1 to 65535, got " + quotedToken(port);
            a.port = value;
            rest = rest.substr(0, colon);
        }
        if (rest.empty())
            return std::string(scheme.prefix) + " needs a host name or address";
        a.host = std::string(rest);
        return a;
    }
    a.path = a.text;
    return a;
}

int defaultPort(SourceAddress::Kind kind) {
    for (const Scheme &scheme : schemes)
        if (scheme.kind == kind)
            return scheme.port;
    return 0;
}

std::string addressText(SourceAddress::Kind kind, std::string_view host, int port,
                        std::string_view device) {
    for (const Scheme &scheme : schemes) {
        if (scheme.kind != kind)
            continue;
        std::string text(scheme.prefix);
        if (kind == SourceAddress::NanoVna)
            return text.append(device);
        return text.append(host).append(":").append(std::to_string(port));
    }
    return std::string(device);
}

} // namespace varnel
