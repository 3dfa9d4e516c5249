#include "analyser_protocols/librevna.h"

namespace varnel {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::vector<std::string> libreVnaTraceNames(std::string_view reply) {
    std::vector<std::string> names;
    reply = trimmed(reply);
    while (!reply.empty()) {
        const std::size_t comma = std::min(reply.find(','), reply.size());
        if (const std::string_view name = trimmed(reply.substr(0, comma)); !name.empty())
            names.emplace_back(name);
        reply.remove_prefix(std::min(comma + 1, reply.size()));
    }
    return names;
}

std::variant<std::size_t, ProtocolFinding> libreVnaTouchstoneLength(std::string_view bytes,
                                                                    std::size_t points) {
    if (points == 0)
        return ProtocolFinding{ProtocolFinding::NoPoints};
    bool optionSeen = false;
    std::size_t data = 0, at = 0;
    while (true) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos)
            return std::size_t{0};
        const std::string_view line = trimmed(bytes.substr(at, end - at));
        at = end + 1;
        if (line.empty() && data > 0) {
            if (data != points)
                return ProtocolFinding{ProtocolFinding::TouchstonePoints, {}, data, points};
            return at;
        }
        if (line.empty() || line.front() == '!')
            continue;
        if (!optionSeen) {
            if (line.front() != '#')
                return ProtocolFinding{ProtocolFinding::NotTouchstone, std::string(line)};
            optionSeen = true;
            continue;
        }
        ++data;
    }
}

std::variant<Network, ProtocolFinding> libreVnaSweep(std::string_view reply, int ports,
                                                     std::string_view source) {
    ReadOptions options;
    options.ports = ports;
    auto read = readTouchstoneText(source, reply, options);
    if (auto *error = std::get_if<TouchstoneError>(&read))
        return ProtocolFinding{ProtocolFinding::TouchstoneReply, error->message()};
    return std::move(std::get<Network>(read));
}

} // namespace varnel
