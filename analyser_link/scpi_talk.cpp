#include "analyser_link/scpi_talk.h"

#include "analyser_protocols/scpi.h"
#include "quoting/quote.h"

#include <algorithm>
#include <charconv>

namespace varnel {

namespace {

constexpr std::string_view twoPorts[] = {"S11", "S21", "S12", "S22"};

bool noError(std::string_view said) {
    return said.starts_with("0") || said.starts_with("+0");
}

// A trace number from a reply ("+2", "2"), or 0.
int traceNumber(std::string_view text) {
    text = unquotedValue(text);
    if (text.starts_with('+'))
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= 64
               ? value
               : 0;
}

// An error queue's entry: a code, a comma, its text ("-113,\"Undefined
// header\""); anything else is a late reply to another query.
bool queueEntry(std::string_view said) {
    if (said.starts_with('+') || said.starts_with('-'))
        said.remove_prefix(1);
    const std::size_t digits = said.find_first_not_of("0123456789");
    return digits > 0 && digits != std::string_view::npos && said[digits] == ',';
}

// How long the error queue is given to say why a query went unanswered.
constexpr std::chrono::milliseconds queueWait{1000};

} // namespace

std::variant<std::monostate, LinkError> ScpiTalk::command(std::string_view text) {
    return m_channel.send(std::string(text) + "\n");
}

// An analyser that does not know a query says nothing and queues an error
// (-113, "Undefined header"): a silent query asks the queue once, briefly,
// so that the failure names the query and the analyser's words. A queue
// that is empty or silent too leaves the silence as it was.
LinkError ScpiTalk::unanswered(LinkError silence, std::string_view text) {
    if (silence.said != LinkError::Said::NoReply || text == ":SYST:ERR?")
        return silence;
    if (std::holds_alternative<LinkError>(command(":SYST:ERR?")))
        return silence;
    auto queued = m_channel.line(std::min(queueWait, m_channel.replyTimeout()));
    const std::string *said = std::get_if<std::string>(&queued);
    if (!said || noError(*said) || !queueEntry(*said))
        return silence;
    ProtocolFinding finding{ProtocolFinding::Unanswered, *said,
                            static_cast<std::size_t>(silence.milliseconds)};
    finding.sent = text;
    LinkError error = protocolError(std::move(finding));
    error.kind = LinkError::Timeout; // a silence still, now explained
    error.milliseconds = silence.milliseconds;
    return error;
}

std::variant<std::string, LinkError> ScpiTalk::query(std::string_view text) {
    if (auto sent = command(text); auto *error = std::get_if<LinkError>(&sent))
        return *error;
    auto reply = m_channel.line();
    if (auto *silence = std::get_if<LinkError>(&reply))
        return unanswered(std::move(*silence), text);
    return reply;
}

std::variant<std::vector<double>, LinkError> ScpiTalk::queryNumbers(std::string_view text) {
    if (auto sent = command(text); auto *error = std::get_if<LinkError>(&sent))
        return *error;
    auto reply = m_channel.await([](std::string_view bytes) {
        if (bytes[0] != '#')
            return lineFrame(bytes);
        const BlockRead block = readDefiniteBlock(bytes);
        if (block.status == BlockRead::Malformed)
            return std::variant<std::size_t, LinkError>(protocolError(*block.finding));
        return std::variant<std::size_t, LinkError>(
            block.status == BlockRead::Complete ? block.consumed : 0);
    });
    if (auto *error = std::get_if<LinkError>(&reply))
        return unanswered(std::move(*error), text);
    const std::string &bytes = std::get<std::string>(reply);
    if (bytes[0] == '#') {
        auto values =
            decodeReal64(readDefiniteBlock(bytes).payload, ByteOrder::LeastSignificantFirst);
        if (!values)
            return protocolError({ProtocolFinding::BlockNotDoubles});
        return std::move(*values);
    }
    auto numbers = parseAsciiNumbers(withoutLineEnd(bytes));
    if (auto *why = std::get_if<ProtocolFinding>(&numbers))
        return protocolError(*why);
    return std::move(std::get<std::vector<double>>(numbers));
}

std::variant<std::string, LinkError> ScpiTalk::errors() {
    std::string first;
    for (int entry = 0; entry < 16; ++entry) {
        auto reply = query(":SYST:ERR?");
        if (auto *error = std::get_if<LinkError>(&reply))
            return *error;
        const std::string &said = std::get<std::string>(reply);
        if (noError(said))
            break;
        if (first.empty())
            first = said;
    }
    return first;
}

std::variant<std::monostate, LinkError> ScpiTalk::chooseFormat() {
    if (auto sent = command("*CLS"); std::holds_alternative<LinkError>(sent))
        return sent;
    std::string refused;
    for (const char *format : {":FORM:DATA REAL,64", ":FORM:DATA REAL", ":FORM:DATA ASC"}) {
        if (auto sent = command(format); std::holds_alternative<LinkError>(sent))
            return sent;
        auto reported = errors();
        if (auto *error = std::get_if<LinkError>(&reported))
            return *error;
        refused = std::get<std::string>(reported);
        if (refused.empty())
            return std::monostate{};
    }
    return protocolError({ProtocolFinding::Reports, refused});
}

std::variant<bool, LinkError> ScpiTraces::define(ScpiTalk &talk, const ScpiDialect &dialect,
                                                 const std::string &handle,
                                                 std::string_view parameter) {
    if (auto sent = talk.command(scpiCommand(dialect.define, handle, parameter));
        auto *error = std::get_if<LinkError>(&sent))
        return *error;
    auto refused = talk.errors();
    if (auto *error = std::get_if<LinkError>(&refused))
        return *error;
    return std::get<std::string>(refused).empty();
}

// The handles found or defined, S11's first: all four, or S11 alone when
// another is missing; S11 missing is an error.
std::variant<std::monostate, LinkError> ScpiTraces::take(std::vector<std::string> handles) {
    if (handles[0].empty())
        return protocolError({ProtocolFinding::NoS11Trace});
    const bool all = std::none_of(handles.begin(), handles.end(),
                                  [](const std::string &h) { return h.empty(); });
    m_read = all ? std::move(handles) : std::vector<std::string>{handles[0]};
    return std::monostate{};
}

std::variant<std::monostate, LinkError> ScpiTraces::named(ScpiTalk &talk,
                                                          const ScpiDialect &dialect) {
    auto selected = talk.query(dialect.selected);
    if (auto *error = std::get_if<LinkError>(&selected))
        return *error;
    m_selected = std::string(unquotedValue(std::get<std::string>(selected)));
    auto catalog = talk.query(dialect.catalog);
    if (auto *error = std::get_if<LinkError>(&catalog))
        return *error;
    const auto measurements = parseScpiCatalog(std::get<std::string>(catalog));
    std::vector<std::string> handles(4);
    for (std::size_t p = 0; p < 4; ++p)
        for (const ScpiMeasurement &m : measurements)
            if (handles[p].empty() && m.parameter == twoPorts[p] && plainScpiValue(m.name))
                handles[p] = m.name;
    for (std::size_t p = 0; p < 4; ++p) {
        if (!handles[p].empty())
            continue;
        const std::string name = "Varnel_" + std::string(twoPorts[p]);
        auto defined = define(talk, dialect, name, twoPorts[p]);
        if (auto *error = std::get_if<LinkError>(&defined))
            return *error;
        if (!std::get<bool>(defined))
            break; // S11 alone, or no S11
        m_added.push_back(name);
        handles[p] = name;
    }
    return take(std::move(handles));
}

std::variant<std::monostate, LinkError> ScpiTraces::numbered(ScpiTalk &talk,
                                                             const ScpiDialect &dialect) {
    auto count = talk.query(dialect.traceCount);
    if (auto *error = std::get_if<LinkError>(&count))
        return *error;
    m_count = std::max(traceNumber(std::get<std::string>(count)), 1);
    auto selected = talk.query(dialect.selected);
    if (auto *error = std::get_if<LinkError>(&selected))
        return *error;
    if (const int active = traceNumber(std::get<std::string>(selected)); active > 0)
        m_selected = std::to_string(active);
    std::vector<std::string> handles(4);
    for (int trace = 1; trace <= m_count; ++trace) {
        auto definition = talk.query(scpiCommand(dialect.definition, std::to_string(trace)));
        if (auto *error = std::get_if<LinkError>(&definition))
            return *error;
        const std::string parameter = asciiUpper(unquotedValue(std::get<std::string>(definition)));
        for (std::size_t p = 0; p < 4; ++p)
            if (handles[p].empty() && parameter == twoPorts[p])
                handles[p] = std::to_string(trace);
    }
    const auto missing = std::count(handles.begin(), handles.end(), std::string());
    if (missing == 0)
        return take(std::move(handles));
    m_countChanged = true;
    if (auto sent = talk.command(std::string(dialect.setTraceCount) +
                                 std::to_string(m_count + static_cast<int>(missing)));
        std::holds_alternative<LinkError>(sent))
        return std::get<LinkError>(sent);
    int next = m_count + 1;
    for (std::size_t p = 0; p < 4; ++p) {
        if (!handles[p].empty())
            continue;
        auto defined = define(talk, dialect, std::to_string(next), twoPorts[p]);
        if (auto *error = std::get_if<LinkError>(&defined))
            return *error;
        if (!std::get<bool>(defined))
            break;
        handles[p] = std::to_string(next++);
    }
    return take(std::move(handles));
}

std::string ScpiTraces::undo(const ScpiDialect &dialect) const {
    std::string lines;
    for (const std::string &name : m_added)
        lines.append(scpiCommand(dialect.remove, name)).append("\n");
    if (m_countChanged)
        lines.append(dialect.setTraceCount).append(std::to_string(m_count)).append("\n");
    if (plainScpiValue(m_selected))
        lines.append(scpiCommand(dialect.select, m_selected)).append("\n");
    return lines;
}

} // namespace varnel
