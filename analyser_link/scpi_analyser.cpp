#include "analyser_link/scpi_analyser.h"

#include "analyser_protocols/scpi.h"

namespace varnel {

namespace {

using Clock = std::chrono::steady_clock;

// A wait that ran out, said with the timeout the session was given.
LinkError timedOut(LinkError error, std::chrono::milliseconds timeout) {
    if (error.kind == LinkError::Timeout)
        error.what = "no reply within " + std::to_string(timeout.count()) + " ms";
    return error;
}

} // namespace

std::variant<ScpiAnalyser, LinkError> ScpiAnalyser::connect(const SourceAddress &address,
                                                            ScpiTimeouts timeouts) {
    auto connected = connectTcp(address.host, address.port, timeouts.connect);
    if (auto *error = std::get_if<LinkError>(&connected))
        return *error;
    ScpiAnalyser analyser(std::move(std::get<TcpConnection>(connected)), timeouts);
    auto identity = analyser.query("*IDN?");
    if (auto *error = std::get_if<LinkError>(&identity))
        return *error;
    analyser.m_identity = std::get<std::string>(identity);
    for (const char *setup : {":FORM:DATA REAL,64", ":FORM:BORD SWAP", ":INIT1:CONT OFF"})
        if (auto sent = analyser.command(setup); std::holds_alternative<LinkError>(sent))
            return std::get<LinkError>(sent);
    return analyser;
}

std::variant<std::monostate, LinkError> ScpiAnalyser::command(std::string_view text) {
    return m_connection.send(std::string(text) + "\n");
}

std::variant<std::string, LinkError> ScpiAnalyser::query(std::string_view text) {
    if (auto sent = command(text); std::holds_alternative<LinkError>(sent))
        return std::get<LinkError>(sent);
    const Clock::time_point deadline = Clock::now() + m_timeouts.reply;
    while (true) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (auto got = m_connection.receiveSome(m_buffer, deadline);
            std::holds_alternative<LinkError>(got))
            return timedOut(std::get<LinkError>(got), m_timeouts.reply);
    }
}

std::variant<std::vector<double>, LinkError> ScpiAnalyser::queryNumbers(std::string_view text) {
    if (auto sent = command(text); std::holds_alternative<LinkError>(sent))
        return std::get<LinkError>(sent);
    const Clock::time_point deadline = Clock::now() + m_timeouts.reply;
    while (true) {
        if (!m_buffer.empty() && m_buffer[0] == '#') {
            const BlockRead block = readDefiniteBlock(m_buffer);
            if (block.status == BlockRead::Malformed)
                return LinkError{LinkError::Protocol, block.problem};
            if (block.status == BlockRead::Complete) {
                auto values = decodeReal64(block.payload, ByteOrder::LeastSignificantFirst);
                m_buffer.erase(0, block.consumed);
                if (!values)
                    return LinkError{LinkError::Protocol,
                                     "a block of doubles whose length is not a multiple of 8"};
                return std::move(*values);
            }
        } else if (const std::size_t end = m_buffer.find('\n'); end != std::string::npos) {
            // An analyser that sends no binary on a raw socket answers in ASCII.
            auto numbers = parseAsciiNumbers(std::string_view(m_buffer).substr(0, end));
            m_buffer.erase(0, end + 1);
            if (auto *why = std::get_if<std::string>(&numbers))
                return LinkError{LinkError::Protocol, *why};
            return std::move(std::get<std::vector<double>>(numbers));
        }
        if (auto got = m_connection.receiveSome(m_buffer, deadline);
            std::holds_alternative<LinkError>(got))
            return timedOut(std::get<LinkError>(got), m_timeouts.reply);
    }
}

std::variant<Network, LinkError> ScpiAnalyser::sweep() {
    auto done = query(":INIT1:IMM;*OPC?");
    if (auto *error = std::get_if<LinkError>(&done))
        return *error;
    if (std::get<std::string>(done) != "1" && std::get<std::string>(done) != "+1")
        return LinkError{LinkError::Protocol, "the sweep did not complete (*OPC? answered '" +
                                                  std::get<std::string>(done) + "')"};
    auto frequencies = queryNumbers(":SENS1:FREQ:DATA?");
    if (auto *error = std::get_if<LinkError>(&frequencies))
        return *error;
    auto data = queryNumbers(":CALC1:DATA:SDAT?");
    if (auto *error = std::get_if<LinkError>(&data))
        return *error;
    auto taken =
        scpiSweep(std::get<std::vector<double>>(frequencies), std::get<std::vector<double>>(data));
    if (auto *problem = std::get_if<SweepProblem>(&taken))
        return LinkError{LinkError::Protocol, sweepProblemText(*problem)};
    auto error = query(":SYST:ERR?");
    if (auto *failed = std::get_if<LinkError>(&error))
        return *failed;
    const std::string &reported = std::get<std::string>(error);
    if (!reported.starts_with("0") && !reported.starts_with("+0"))
        return LinkError{LinkError::Protocol, "the analyser reports " + reported};
    return std::move(std::get<Network>(taken));
}

} // namespace varnel
