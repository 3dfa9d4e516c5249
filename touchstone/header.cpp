// The header of a Touchstone file: the option line and the version 2
// keywords, each read through its table.
#include "number_text/decimal_reader.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "touchstone/parser.h"
#include "touchstone/text_lines.h"

#include <charconv>

namespace varnel::touchstone_parser {

using namespace touchstone_text;

namespace {

// The words of the option line and what each sets.
enum class OptionAction { Unit, Parameter, Format, Refused, Reference };
struct OptionWord {
    std::string_view word;
    OptionAction action;
    int value; // the unit's shift to MHz, or the NetworkKind or Format
};
constexpr OptionWord optionWords[] = {
    {"hz", OptionAction::Unit, -6},
    {"khz", OptionAction::Unit, -3},
    {"mhz", OptionAction::Unit, 0},
    {"ghz", OptionAction::Unit, 3},
    {"s", OptionAction::Parameter, int(NetworkKind::S)},
    {"y", OptionAction::Parameter, int(NetworkKind::Y)},
    {"z", OptionAction::Parameter, int(NetworkKind::Z)},
    {"h", OptionAction::Refused, 0},
    {"g", OptionAction::Refused, 0},
    {"ri", OptionAction::Format, int(Format::RI)},
    {"ma", OptionAction::Format, int(Format::MA)},
    {"db", OptionAction::Format, int(Format::DB)},
    {"r", OptionAction::Reference, 0},
};

// A keyword's whole-number value within [low, high].
std::optional<std::size_t> wholeNumber(std::string_view value, std::size_t low, std::size_t high) {
    std::size_t n = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (error != std::errc() || end != value.data() + value.size() || n < low || n > high)
        return std::nullopt;
    return n;
}

} // namespace

struct Parser::KeywordRule {
    std::string_view name;
    bool (Parser::*handle)(std::string_view name, std::string_view value);
};

// Every keyword this reader acts on; any other carries nothing it needs.
// [Version] and [End] are read before the table: they decide where the
// others may stand.
const Parser::KeywordRule Parser::s_keywords[] = {
    {"Number of Ports", &Parser::numberOfPorts},
    {"Two-Port Data Order", &Parser::twoPortDataOrder},
    {"Number of Frequencies", &Parser::numberOfFrequencies},
    {"Number of Noise Frequencies", &Parser::numberOfNoiseFrequencies},
    {"Reference", &Parser::reference},
    {"Matrix Format", &Parser::matrixFormat},
    {"Mixed-Mode Order", &Parser::mixedModeOrder},
    {"Begin Information", &Parser::beginInformation},
    {"Network Data", &Parser::networkData},
    {"Noise Data", &Parser::noiseData},
};

Parser::Parser(std::string_view name, const ReadOptions &options)
    : m_name(name), m_options(options) {
    m_network.only = options.only;
    m_ports = options.ports ? options.ports : portsFromName(name);
}

int Parser::portsFromName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return 0;
    const std::string_view ext = name.substr(dot + 1);
    if (ext.size() == 3 && (ext[0] == 's' || ext[0] == 'S') && (ext[2] == 'p' || ext[2] == 'P') &&
        ext[1] >= '1' && ext[1] <= '4')
        return ext[1] - '0';
    return 0;
}

bool Parser::optionLine(std::string_view text) {
    if (m_optionSeen)
        return true; // only the first option line counts
    m_optionSeen = true;
    text.remove_prefix(1); // '#'
    for (std::string_view token = nextToken(text); !token.empty(); token = nextToken(text)) {
        const OptionWord *word = nullptr;
        for (const OptionWord &candidate : optionWords)
            if (equalsIgnoringCase(token, candidate.word))
                word = &candidate;
        if (!word)
            return fail(TouchstoneError::BadOption,
                        "unknown option " + quotedToken(token) + " in the option line", m_line);
        switch (word->action) {
        case OptionAction::Unit:
            m_unitShift = word->value;
            break;
        case OptionAction::Parameter:
            m_kind = NetworkKind(word->value);
            break;
        case OptionAction::Format:
            m_format = Format(word->value);
            break;
        case OptionAction::Refused:
            return fail(TouchstoneError::Unsupported,
                        std::string(token) + " parameters are not supported (only S, Y and Z)",
                        m_line);
        case OptionAction::Reference: {
            const std::string_view value = nextToken(text);
            const std::optional<double> r = parseDecimal(value);
            if (!r || !(*r > 0))
                return fail(TouchstoneError::BadOption,
                            "R needs a positive reference resistance, got " + quotedToken(value),
                            m_line);
            m_reference = *r;
            break;
        }
        }
    }
    return true;
}

bool Parser::badKeyword(std::string_view name, std::string_view why) {
    std::string reason = "[";
    reason.append(escapedToken(name)).append("] ").append(why);
    return fail(TouchstoneError::BadKeyword, std::move(reason), m_line);
}

bool Parser::keyword(std::string_view text) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos)
        return fail(TouchstoneError::BadKeyword, "keyword without its closing ']'", m_line);
    const std::string_view name = trim(text.substr(1, close - 1));
    const std::string_view value = trim(text.substr(close + 1));
    auto is = [&](std::string_view k) { return equalsIgnoringCase(name, k); };
    if (m_inInformation) {
        if (is("End Information"))
            m_inInformation = false;
        return true;
    }
    if (is("Version")) {
        if (m_version == 2 || m_optionSeen || m_dataStarted)
            return badKeyword(name, "must come first");
        if (value != "2.0" && value != "2.1")
            return fail(TouchstoneError::Unsupported,
                        "version " + quotedToken(value) + " is not supported (1.1, 2.0, 2.1)",
                        m_line);
        m_version = 2;
        m_ports = 0; // version 2 states its ports
        return true;
    }
    if (m_version != 2)
        return badKeyword(name, "needs [Version] 2.0 or 2.1 first");
    if (is("End")) {
        m_ended = true;
        return true;
    }
    if (m_skipToEnd)
        return true;
    if (m_dataStarted && !is("Noise Data"))
        return badKeyword(name, "after the network data");
    for (const KeywordRule &rule : s_keywords)
        if (is(rule.name))
            return (this->*rule.handle)(name, value);
    return true;
}

bool Parser::numberOfPorts(std::string_view name, std::string_view value) {
    const auto n = wholeNumber(value, 1, std::size_t(1) << 30);
    if (!n)
        return badKeyword(name, "needs a whole number of ports");
    if (*n > maxPorts)
        return fail(TouchstoneError::Unsupported,
                    std::to_string(*n) + " ports: only 1 to 4 are supported", m_line);
    m_ports = static_cast<int>(*n);
    return true;
}

bool Parser::twoPortDataOrder(std::string_view name, std::string_view value) {
    if (value == "12_21")
        m_order12_21 = true;
    else if (value == "21_12")
        m_order12_21 = false;
    else
        return badKeyword(name, "must be 12_21 or 21_12");
    return true;
}

bool Parser::numberOfFrequencies(std::string_view name, std::string_view value) {
    const auto n = wholeNumber(value, 1, std::size_t(-1));
    if (!n)
        return badKeyword(name, "needs a whole number of at least 1");
    m_declaredFrequencies = *n;
    return true;
}

bool Parser::numberOfNoiseFrequencies(std::string_view name, std::string_view value) {
    if (!wholeNumber(value, 0, std::size_t(-1)))
        return badKeyword(name, "needs a whole number");
    return true;
}

bool Parser::reference(std::string_view name, std::string_view value) {
    if (m_ports == 0)
        return badKeyword(name, "needs [Number of Ports] first");
    m_references.clear();
    m_referencesWanted = static_cast<std::size_t>(m_ports);
    return referenceValues(value);
}

bool Parser::matrixFormat(std::string_view name, std::string_view value) {
    if (equalsIgnoringCase(value, "full"))
        m_matrix = Matrix::Full;
    else if (equalsIgnoringCase(value, "upper"))
        m_matrix = Matrix::Upper;
    else if (equalsIgnoringCase(value, "lower"))
        m_matrix = Matrix::Lower;
    else
        return badKeyword(name, "must be Full, Upper or Lower");
    return true;
}

bool Parser::mixedModeOrder(std::string_view, std::string_view) {
    return fail(TouchstoneError::Unsupported, "mixed-mode data is not supported", m_line);
}

bool Parser::beginInformation(std::string_view, std::string_view) {
    m_inInformation = true;
    return true;
}

bool Parser::networkData(std::string_view name, std::string_view) {
    if (m_ports == 0)
        return badKeyword(name, "needs [Number of Ports] first");
    if (m_referencesWanted > m_references.size())
        return fail(TouchstoneError::BadKeyword, "[Reference] has too few values", m_line);
    m_networkData = true;
    return true;
}

bool Parser::noiseData(std::string_view, std::string_view) {
    m_skipToEnd = true;
    return true;
}

bool Parser::referenceValues(std::string_view text) {
    for (std::string_view token = nextToken(text); !token.empty(); token = nextToken(text)) {
        const std::optional<double> r = parseDecimal(token);
        if (!r || !(*r > 0))
            return fail(TouchstoneError::BadKeyword,
                        "[Reference] needs positive resistances, got " + quotedToken(token),
                        m_line);
        if (m_references.size() == m_referencesWanted)
            return fail(TouchstoneError::BadKeyword, "[Reference] has more values than ports",
                        m_line);
        m_references.push_back(*r);
    }
    return true;
}

} // namespace varnel::touchstone_parser

namespace varnel {

// The port count of a nameless version 1 text, as portsFromName is a named one's.
int portsFromData(std::string_view text) {
    using namespace touchstone_text;
    std::size_t values = 0; // of the first record so far
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = withoutComment(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == '#' || line.front() == '[')
            continue;
        std::size_t count = 0;
        while (!nextToken(line).empty())
            ++count;
        if (count % 2 == 1 && values > 0)
            break; // the next record
        if (values == 0 && count % 2 == 0)
            return 0; // a record must start with its frequency
        values += count;
    }
    for (int ports = 1; ports <= 4; ++ports)
        if (values == 1 + 2 * std::size_t(ports * ports))
            return ports;
    return 0;
}

} // namespace varnel
