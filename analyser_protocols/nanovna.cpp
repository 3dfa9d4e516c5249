#include "analyser_protocols/nanovna.h"

#include "analyser_protocols/scpi.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace varnel {

namespace {

// Where the reply after the echo of `command` starts; npos before the echo.
std::size_t afterEcho(std::string_view bytes, std::string_view command) {
    const std::string echo = std::string(command).append("\r\n");
    const std::size_t at = bytes.find(echo);
    return at == std::string_view::npos ? at : at + echo.size();
}

NanoVnaRead malformed(ProtocolFinding finding) {
    NanoVnaRead read;
    read.status = NanoVnaRead::Malformed;
    read.finding = std::move(finding);
    return read;
}

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int b = size - 1; b >= 0; --b)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(b)]);
    return value;
}

float float32(std::string_view bytes, std::size_t at) {
    const std::uint32_t bits = littleEndian(bytes, at, 4);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The numbers of one text line, split at spaces.
std::optional<std::vector<double>> lineNumbers(std::string_view line) {
    std::vector<double> numbers;
    while (!line.empty()) {
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        if (line.empty())
            break;
        double value = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error != std::errc() || (end != line.data() + line.size() && *end != ' '))
            return std::nullopt;
        line.remove_prefix(static_cast<std::size_t>(end - line.data()));
        numbers.push_back(value);
    }
    return numbers;
}

// The sweep from frequencies and S11 (and S21) pairs, checked as every
// analyser's is.
NanoVnaRead taken(std::size_t consumed, const std::vector<double> &hz,
                  const std::vector<double> &s11, const std::vector<double> &s21) {
    const std::vector<double> traces[] = {s11, s21};
    auto sweep = scpiSweep(hz, std::span(traces, s21.empty() ? 1 : 2));
    if (auto *problem = std::get_if<SweepProblem>(&sweep))
        return malformed(findingOf(*problem));
    NanoVnaRead read;
    read.status = NanoVnaRead::Complete;
    read.consumed = consumed;
    read.network = std::move(std::get<Network>(sweep));
    return read;
}

} // namespace

std::optional<NanoVnaSweep> parseNanoVnaSweep(std::string_view reply) {
    const auto numbers = lineNumbers(reply.substr(0, reply.find_first_of("\r\n")));
    if (!numbers || numbers->size() != 3)
        return std::nullopt;
    const double start = (*numbers)[0], stop = (*numbers)[1], points = (*numbers)[2];
    if (start < 0 || stop <= start || stop > 4294967295.0 || points < 2 || points > 65535 ||
        points != static_cast<int>(points))
        return std::nullopt;
    return NanoVnaSweep{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(stop),
                        static_cast<int>(points)};
}

std::string nanoVnaScanCommand(const NanoVnaSweep &sweep, unsigned mask) {
    return "scan " + std::to_string(sweep.startHz) + ' ' + std::to_string(sweep.stopHz) + ' ' +
           std::to_string(sweep.points) + ' ' + std::to_string(mask);
}

NanoVnaRead readNanoVnaText(std::string_view bytes, std::string_view command) {
    const std::size_t start = afterEcho(bytes, command);
    if (start == std::string_view::npos)
        return {};
    const std::size_t prompt = bytes.find(nanoVnaPrompt, start);
    if (prompt == std::string_view::npos)
        return {};
    NanoVnaRead read;
    read.status = NanoVnaRead::Complete;
    read.consumed = prompt + nanoVnaPrompt.size();
    for (const char c : bytes.substr(start, prompt - start))
        if (c != '\r')
            read.text += c;
    while (!read.text.empty() && read.text.back() == '\n')
        read.text.pop_back();
    return read;
}

NanoVnaRead readNanoVnaScan(std::string_view bytes, std::string_view command, int points,
                            unsigned mask) {
    const std::size_t start = afterEcho(bytes, command);
    if (start == std::string_view::npos || start == bytes.size())
        return {};
    const std::size_t n = static_cast<std::size_t>(points);
    std::vector<double> hz, s11, s21;
    hz.reserve(n);
    s11.reserve(2 * n);
    const bool forward = (mask & nanoVnaS21) != 0;
    const unsigned char first = static_cast<unsigned char>(bytes[start]);
    if ((mask & nanoVnaBinary) && first == (mask & 0xff)) {
        const std::size_t record = ((mask & nanoVnaFrequency) ? 4 : 0) +
                                   ((mask & nanoVnaS11) ? 8 : 0) + ((mask & nanoVnaS21) ? 8 : 0);
        const std::size_t end = start + 4 + n * record;
        if (bytes.size() < start + 4)
            return {};
        // The header is checked as it comes: a reply of another count is
        // refused now, not after its bytes that never come.
        const std::uint32_t declaredMask = littleEndian(bytes, start, 2);
        const std::uint32_t declaredPoints = littleEndian(bytes, start + 2, 2);
        if (declaredMask != mask || declaredPoints != n)
            return malformed(
                {ProtocolFinding::ScanDeclares, {}, declaredPoints, declaredMask, n, mask});
        if (bytes.size() < end + nanoVnaPrompt.size())
            return {};
        if (bytes.substr(end, nanoVnaPrompt.size()) != nanoVnaPrompt)
            return malformed({ProtocolFinding::NoPrompt, {}, n});
        for (std::size_t at = start + 4; at < end; at += record) {
            hz.push_back(littleEndian(bytes, at, 4));
            s11.push_back(float32(bytes, at + 4));
            s11.push_back(float32(bytes, at + 8));
            if (forward) {
                s21.push_back(float32(bytes, at + 12));
                s21.push_back(float32(bytes, at + 16));
            }
        }
        NanoVnaRead read = taken(end + nanoVnaPrompt.size(), hz, s11, s21);
        read.binary = read.status == NanoVnaRead::Complete;
        return read;
    }
    const std::size_t fields = 1 + ((mask & nanoVnaS11) ? 2 : 0) + ((mask & nanoVnaS21) ? 2 : 0);
    std::size_t at = start;
    for (std::size_t k = 0; k < n; ++k) {
        if (bytes.substr(at).starts_with(nanoVnaPrompt) && k > 0)
            return malformed({ProtocolFinding::ScanStopped, {}, k, n});
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string_view::npos)
            return {};
        const std::string_view line = bytes.substr(at, end - at);
        const auto numbers = lineNumbers(line);
        if (!numbers || numbers->size() != fields) {
            const std::string name(command.substr(0, command.find(' ')));
            if (k == 0 && line == name + "?")
                return malformed({ProtocolFinding::UnknownCommand, name});
            if (k == 0)
                return malformed({ProtocolFinding::Answered, std::string(line)});
            return malformed({ProtocolFinding::BadPoint, std::string(line), k + 1});
        }
        hz.push_back((*numbers)[0]);
        s11.push_back((*numbers)[1]);
        s11.push_back((*numbers)[2]);
        if (forward) {
            s21.push_back((*numbers)[3]);
            s21.push_back((*numbers)[4]);
        }
        at = end + 2;
    }
    if (bytes.size() < at + nanoVnaPrompt.size())
        return {};
    if (bytes.substr(at, nanoVnaPrompt.size()) != nanoVnaPrompt)
        return malformed({ProtocolFinding::NoPrompt, {}, n});
    return taken(at + nanoVnaPrompt.size(), hz, s11, s21);
}

NanoVnaSilence nanoVnaSilence(std::string_view bytes, std::string_view command, int points,
                              unsigned mask) {
    const std::size_t start = afterEcho(bytes, command);
    if (start == std::string_view::npos) {
        // Another line than the echo: name it (prompts and blank lines
        // aside), cut to a command line's length.
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t end = std::min(bytes.find("\r\n", at), bytes.size());
            std::string_view line = bytes.substr(at, end - at);
            while (line.starts_with(nanoVnaPrompt))
                line.remove_prefix(nanoVnaPrompt.size());
            if (end < bytes.size() && !line.empty())
                return {NanoVnaSilence::Wrong,
                        ProtocolFinding{ProtocolFinding::NoEcho,
                                        std::string(line.substr(0, nanoVnaLineLimit))}};
            at = end + 2;
        }
        return {};
    }
    if (points == 0)
        return {};
    if (start == bytes.size())
        return {NanoVnaSilence::Sweeping};
    const std::size_t n = static_cast<std::size_t>(points);
    if ((mask & nanoVnaBinary) && static_cast<unsigned char>(bytes[start]) == (mask & 0xff)) {
        const std::size_t record = ((mask & nanoVnaFrequency) ? 4 : 0) +
                                   ((mask & nanoVnaS11) ? 8 : 0) + ((mask & nanoVnaS21) ? 8 : 0);
        const std::size_t whole = 4 + n * record + nanoVnaPrompt.size();
        return {NanoVnaSilence::Wrong,
                ProtocolFinding{ProtocolFinding::ScanShort, {}, bytes.size() - start, whole, n}};
    }
    std::size_t lines = 0;
    for (std::size_t at = bytes.find("\r\n", start); at != std::string_view::npos;
         at = bytes.find("\r\n", at + 2))
        ++lines;
    return {NanoVnaSilence::Wrong,
            ProtocolFinding{ProtocolFinding::ScanStopped, {}, std::min(lines, n), n}};
}

} // namespace varnel
