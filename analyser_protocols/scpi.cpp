#include "analyser_protocols/scpi.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace varnel {

BlockRead readDefiniteBlock(std::string_view buffer) {
    BlockRead read;
    auto malformed = [&](ProtocolFinding::Kind kind, std::size_t a = 0) {
        read.status = BlockRead::Malformed;
        read.finding = ProtocolFinding{kind, {}, a};
        return read;
    };
    if (buffer.size() < 2)
        return read;
    if (buffer[0] != '#')
        return malformed(ProtocolFinding::BlockStart);
    if (buffer[1] == '0')
        return malformed(ProtocolFinding::IndefiniteBlock);
    if (buffer[1] < '1' || buffer[1] > '9')
        return malformed(ProtocolFinding::BlockLengthDigit);
    const auto digits = static_cast<std::size_t>(buffer[1] - '0');
    if (buffer.size() < 2 + digits)
        return read;
    std::size_t length = 0;
    const char *first = buffer.data() + 2, *last = first + digits;
    const auto [end, error] = std::from_chars(first, last, length);
    if (error != std::errc() || end != last)
        return malformed(ProtocolFinding::BlockCountNotNumber);
    // A count beyond any sweep's is refused before a byte of it is read.
    if (length > blockCap) {
        malformed(ProtocolFinding::BlockTooLong, length);
        read.finding->b = blockCap;
        return read;
    }
    const std::size_t start = 2 + digits;
    if (buffer.size() - start < length)
        return read;
    std::size_t after = start + length;
    // The message terminator: LF, or CR LF.
    if (buffer.size() == after || (buffer[after] == '\r' && buffer.size() == after + 1))
        return read;
    if (buffer[after] == '\r')
        ++after;
    if (buffer[after] != '\n')
        return malformed(ProtocolFinding::BlockNotEnded, length);
    read.status = BlockRead::Complete;
    read.consumed = after + 1;
    read.payload = buffer.substr(start, length);
    return read;
}

std::optional<std::vector<double>> decodeReal64(std::string_view payload, ByteOrder order) {
    if (payload.size() % 8 != 0)
        return std::nullopt;
    const bool swap =
        (order == ByteOrder::MostSignificantFirst) == (std::endian::native == std::endian::little);
    std::vector<double> values(payload.size() / 8);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, payload.data() + 8 * i, 8);
        if (swap) { // the bytes in the other order
            std::uint64_t turned = 0;
            for (int b = 0; b < 8; ++b)
                turned |= ((bits >> (8 * b)) & 0xff) << (8 * (7 - b));
            bits = turned;
        }
        values[i] = std::bit_cast<double>(bits);
    }
    return values;
}

std::variant<std::vector<double>, ProtocolFinding> parseAsciiNumbers(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.remove_suffix(1);
    std::vector<double> values;
    if (reply.empty())
        return values;
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = std::min(reply.find(',', at), reply.size());
        std::string_view item = reply.substr(at, comma - at);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (!item.empty() && item.front() == '+')
            item.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || error != std::errc() || end != item.data() + item.size())
            return ProtocolFinding{ProtocolFinding::NotANumber, {}, values.size() + 1};
        values.push_back(value);
        if (comma == reply.size())
            return values;
        at = comma + 1;
    }
}

ProtocolFinding findingOf(const SweepProblem &p) {
    switch (p.kind) {
    case SweepProblem::CountMismatch:
        return {ProtocolFinding::CountMismatch, {}, p.points, p.values};
    case SweepProblem::NotRising:
        return {ProtocolFinding::NotRising, {}, p.at + 1};
    case SweepProblem::NotFinite:
        return {ProtocolFinding::NotFinite, {}, p.at + 1};
    case SweepProblem::NoDataMark:
        return {ProtocolFinding::NoDataMark, {}, p.at + 1};
    case SweepProblem::TooFew:
        break;
    }
    return {ProtocolFinding::TooFew, {}, p.points};
}

std::string sweepProblemText(const SweepProblem &p) {
    return findingText(findingOf(p));
}

std::variant<Network, SweepProblem> scpiSweep(const std::vector<double> &frequenciesHz,
                                              const std::vector<double> &data) {
    return scpiSweep(frequenciesHz, std::span(&data, 1));
}

std::variant<Network, SweepProblem> scpiSweep(const std::vector<double> &frequenciesHz,
                                              std::span<const std::vector<double>> traces) {
    SweepProblem problem{SweepProblem::TooFew, frequenciesHz.size(), traces[0].size(), 0};
    if (frequenciesHz.size() < 2)
        return problem;
    const auto marked = [](double v) { return v == scpiNotANumber || std::abs(v) == scpiInfinity; };
    for (const std::vector<double> &data : traces) {
        problem.values = data.size();
        if (data.size() != 2 * frequenciesHz.size()) {
            problem.kind = SweepProblem::CountMismatch;
            return problem;
        }
        for (std::size_t i = 0; i < data.size(); ++i)
            if (!std::isfinite(data[i]) || marked(data[i])) {
                problem.kind = marked(data[i]) ? SweepProblem::NoDataMark : SweepProblem::NotFinite;
                problem.at = i;
                return problem;
            }
    }
    Network n;
    n.ports = traces.size() == 1 ? 1 : 2;
    n.forwardOnly = traces.size() == 2;
    if (n.ports == 1)
        n.only = SParameter{1, 1};
    const std::complex<double> unmeasured(std::nan(""), std::nan(""));
    // Measured as S11, S21, S12, S22; kept row by row: S11, S12, S21, S22.
    constexpr std::size_t rowByRow[] = {0, 2, 1, 3};
    for (std::size_t i = 0; i < frequenciesHz.size(); ++i) {
        const double f = frequenciesHz[i] / 1e6;
        if (marked(frequenciesHz[i])) {
            problem.kind = SweepProblem::NoDataMark;
            problem.at = i;
            return problem;
        }
        if (!std::isfinite(f) || (i > 0 && !(f > n.frequencyMHz.back()))) {
            problem.kind = std::isfinite(f) ? SweepProblem::NotRising : SweepProblem::NotFinite;
            problem.at = i;
            return problem;
        }
        n.frequencyMHz.push_back(f);
        for (std::size_t t = 0; t < (n.ports == 2 ? 4u : 1u); ++t) {
            const std::size_t from = n.ports == 2 ? rowByRow[t] : t;
            if (from >= traces.size()) {
                n.values.push_back(unmeasured); // S12 and S22 of a forward sweep
                continue;
            }
            n.values.emplace_back(traces[from][2 * i], traces[from][2 * i + 1]);
        }
    }
    return n;
}

} // namespace varnel
