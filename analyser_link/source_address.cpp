#include "analyser_link/source_address.h"

#include "analyser_protocols/scpi_dialect.h"
#include "quoting/quote.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

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

constexpr std::string_view timeoutKey = "timeout=", dialectKey = "dialect=";

// Seconds from `low` to `high`, in whole milliseconds.
std::optional<std::chrono::milliseconds> seconds(std::string_view text, double low, double high) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= low) ||
        !(value <= high))
        return std::nullopt;
    return std::chrono::milliseconds(std::llround(value * 1000));
}

std::string secondsText(std::chrono::milliseconds ms) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, ms.count() / 1000.0).ptr;
    return std::string(text, end);
}

} // namespace

std::variant<AnalyserTimeouts, std::string> readTimeouts(std::string_view text) {
    AnalyserTimeouts timeouts;
    const std::size_t comma = text.find(',');
    const auto reply = seconds(text.substr(0, comma), 0.1, 3600);
    const auto sweep = comma == std::string_view::npos
                           ? std::optional(std::max(timeouts.sweep, reply.value_or(timeouts.sweep)))
                       : reply ? seconds(text.substr(comma + 1), reply->count() / 1000.0, 3600)
                               : std::nullopt;
    if (!reply || !sweep)
        return "a timeout is the seconds of silence allowed in a reply, and after a comma those "
               "of a whole sweep, from 0.1 to 3600 (such as 5 or 5,60); got " +
               quotedToken(text);
    timeouts.reply = *reply;
    timeouts.sweep = *sweep;
    return timeouts;
}

std::string timeoutsText(const AnalyserTimeouts &timeouts) {
    return secondsText(timeouts.reply) + "," + secondsText(timeouts.sweep);
}

namespace {

// The options after an address's '?', each KEY=VALUE, joined by '&'; why
// not, or nothing.
std::string readQuery(std::string_view query, SourceAddress &a) {
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        if (item.starts_with(timeoutKey)) {
            auto timeouts = readTimeouts(item.substr(timeoutKey.size()));
            if (auto *why = std::get_if<std::string>(&timeouts))
                return *why;
            a.timeouts = std::get<AnalyserTimeouts>(timeouts);
        } else if (item.starts_with(dialectKey) && a.kind == SourceAddress::Scpi) {
            const std::string_view name = item.substr(dialectKey.size());
            if (!scpiDialectNamed(name))
                return "an SCPI dialect is " + scpiDialectNames() + ", got " + quotedToken(name);
            a.dialect = std::string(name);
        } else {
            return std::string("an address takes ?timeout=SECONDS") +
                   (a.kind == SourceAddress::Scpi ? " and &dialect=NAME" : "") + ", got " +
                   quotedToken(item);
        }
        if (amp == std::string_view::npos)
            return {};
        query = query.substr(amp + 1);
    }
}

} // namespace

std::variant<SourceAddress, std::string> parseSourceAddress(std::string_view text) {
    SourceAddress a;
    a.text = std::string(text);
    for (const Scheme &scheme : schemes) {
        if (!text.starts_with(scheme.prefix))
            continue;
        a.kind = scheme.kind;
        std::string_view rest = text.substr(scheme.prefix.size());
        if (const std::size_t query = rest.find('?'); query != std::string_view::npos) {
            if (auto why = readQuery(rest.substr(query + 1), a); !why.empty())
                return why;
            rest = rest.substr(0, query);
        }
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
                        std::string_view device, const AnalyserTimeouts &timeouts,
                        std::string_view dialect) {
    const AnalyserTimeouts defaults;
    std::string query;
    if (timeouts.reply != defaults.reply || timeouts.sweep != defaults.sweep)
        query.append("?").append(timeoutKey).append(timeoutsText(timeouts));
    if (!dialect.empty() && kind == SourceAddress::Scpi)
        query.append(query.empty() ? "?" : "&").append(dialectKey).append(dialect);
    for (const Scheme &scheme : schemes) {
        if (scheme.kind != kind)
            continue;
        std::string text(scheme.prefix);
        if (kind == SourceAddress::NanoVna)
            return text.append(device).append(query);
        return text.append(host).append(":").append(std::to_string(port)).append(query);
    }
    return std::string(device);
}

} // namespace varnel
