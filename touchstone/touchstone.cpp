#include "touchstone/touchstone.h"

#include "number_text/decimal_reader.h"
#include "number_text/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <numbers>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varnel {

namespace {

using Complex = std::complex<double>;

constexpr std::size_t maxLineLength = 1 << 20;
constexpr int maxPorts = 4;
// 20 log10 of the largest double, rounded down.
constexpr double maxDecibels = 6165;

enum class Format { RI, MA, DB };
enum class Kind { S, Y, Z };
enum class Matrix { Full, Upper, Lower };

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// A line without its comment ("!" to the end) and its outer blanks.
std::string_view withoutComment(std::string_view text) {
    if (const std::size_t bang = text.find('!'); bang != std::string_view::npos)
        text = text.substr(0, bang);
    return trim(text);
}

// Splits off the next blank-separated token; empty at the end.
std::string_view nextToken(std::string_view &text) {
    std::size_t start = 0;
    while (start < text.size() && isSpace(text[start]))
        ++start;
    std::size_t end = start;
    while (end < text.size() && !isSpace(text[end]))
        ++end;
    const std::string_view token = text.substr(start, end - start);
    text.remove_prefix(end);
    return token;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// S from normalised Z (or Y): S = (z - I)(z + I)^-1, S = (I - y)(I + y)^-1.
// False when the sum is singular.
bool toS(std::array<Complex, 16> &m, int n, Kind kind) {
    std::array<Complex, 16> a{}, b{}; // a = z + I (or I + y), b = z - I (or I - y)
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const Complex v = m[i * n + j];
            const Complex one = i == j ? 1.0 : 0.0;
            a[i * n + j] = v + one;
            b[i * n + j] = kind == Kind::Z ? v - one : one - v;
        }
    // S a = b, so S = b a^-1: solve a^T S^T = b^T by Gauss-Jordan elimination.
    std::array<Complex, 16> at{}, bt{};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            at[i * n + j] = a[j * n + i];
            bt[i * n + j] = b[j * n + i];
        }
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::abs(at[r * n + col]) > std::abs(at[pivot * n + col]))
                pivot = r;
        if (!(std::abs(at[pivot * n + col]) > 1e-300))
            return false;
        for (int k = 0; k < n; ++k) {
            std::swap(at[col * n + k], at[pivot * n + k]);
            std::swap(bt[col * n + k], bt[pivot * n + k]);
        }
        const Complex inverse = 1.0 / at[col * n + col];
        for (int k = 0; k < n; ++k) {
            at[col * n + k] *= inverse;
            bt[col * n + k] *= inverse;
        }
        for (int r = 0; r < n; ++r) {
            if (r == col)
                continue;
            const Complex factor = at[r * n + col];
            if (factor == 0.0)
                continue;
            for (int k = 0; k < n; ++k) {
                at[r * n + k] -= factor * at[col * n + k];
                bt[r * n + k] -= factor * bt[col * n + k];
            }
        }
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            m[i * n + j] = bt[j * n + i];
    for (int k = 0; k < n * n; ++k)
        if (!std::isfinite(m[k].real()) || !std::isfinite(m[k].imag()))
            return false;
    return true;
}

// The line-by-line reader behind both entry points.
class Parser {
  public:
    Parser(std::string_view name, const ReadOptions &options) : m_name(name), m_options(options) {
        m_network.only = options.only;
        m_ports = portsFromName(name);
    }

    // One line without its LF; false after an error (see error()).
    bool line(std::string_view text);

    // Lines read ahead, possibly on another thread: whether each is blank
    // (blanks and a comment), a data line whose numbers are read with this
    // parser's settings as if it began a point, or anything else.
    struct ReadAhead {
        enum Kind : std::uint8_t { Blank, Data, Other };
        std::vector<Kind> kinds;
        std::vector<std::uint32_t> counts;
        std::vector<double> numbers;
    };
    // True once the data has started and lines may be read ahead.
    bool canReadAhead() const {
        return m_dataStarted && !m_skipToEnd && !m_ended && !m_inInformation && !m_error;
    }
    // Reads the lines ahead; safe on another thread while the parser waits.
    void readAhead(const std::vector<std::string_view> &lines, ReadAhead &out) const;
    // One line with what was read ahead of it; a line read ahead under
    // assumptions that no longer hold goes through line().
    bool takeReadAhead(std::string_view text, ReadAhead::Kind kind, const double *numbers,
                       std::size_t count);
    std::variant<Network, TouchstoneError> finish();
    const TouchstoneError &error() const { return *m_error; }
    std::size_t lineNumber() const { return m_line; }

    bool fail(TouchstoneError::Kind kind, std::string reason, std::size_t line) {
        m_error = TouchstoneError{kind, std::string(m_name), line, std::move(reason)};
        return false;
    }

  private:
    static int portsFromName(std::string_view name);
    bool optionLine(std::string_view text);
    bool keyword(std::string_view text);
    bool referenceValues(std::string_view text);
    bool dataLine(std::string_view text);
    // Appends the numbers of a data line whose first number has index
    // `firstIndex` in its point (converted as the point needs them); the
    // start of the first token that is not a number, or nullptr.
    const char *readNumbers(std::string_view text, std::size_t firstIndex,
                            std::vector<double> &numbers) const;
    bool consumeNumbers(); // the numbers of one data line, in m_lineNumbers
    bool startData();
    bool completePoint();
    std::size_t pointSize() const {
        return 1 + 2 * static_cast<std::size_t>(m_matrix == Matrix::Full
                                                    ? m_ports * m_ports
                                                    : m_ports * (m_ports + 1) / 2);
    }
    Complex pair(double a, double b) const;

    std::string_view m_name;
    ReadOptions m_options;
    Network m_network;
    std::optional<TouchstoneError> m_error;
    std::size_t m_line = 0;

    // Header state.
    bool m_optionSeen = false;
    int m_unitShift = 3; // decimal places from the file's unit to MHz (GHz)
    Kind m_kind = Kind::S;
    Format m_format = Format::MA;
    double m_reference = 50;
    int m_version = 1;
    int m_ports = 0;
    bool m_order12_21 = false;
    Matrix m_matrix = Matrix::Full;
    std::optional<std::size_t> m_declaredFrequencies;
    std::vector<double> m_references;
    std::size_t m_referencesWanted = 0;
    bool m_inInformation = false;
    bool m_networkData = false; // version 2: inside [Network Data]
    bool m_dataStarted = false;
    bool m_skipToEnd = false; // noise data: skip until [End] (version 2) or the end
    bool m_ended = false;     // after [End]

    // The point being read.
    std::vector<double> m_point;
    std::size_t m_filled = 0;
    std::size_t m_pointLine = 0;
    std::size_t m_firstLineCount = 0;
    std::vector<double> m_lineNumbers;
    std::vector<char> m_needed;                // which numbers of a point are converted
    std::vector<std::pair<int, int>> m_layout; // matrix position of each pair
    std::array<double, 16> m_scale{};          // version 2 Z/Y normalisation
};

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
        if (equalsIgnoringCase(token, "hz")) {
            m_unitShift = -6;
        } else if (equalsIgnoringCase(token, "khz")) {
            m_unitShift = -3;
        } else if (equalsIgnoringCase(token, "mhz")) {
            m_unitShift = 0;
        } else if (equalsIgnoringCase(token, "ghz")) {
            m_unitShift = 3;
        } else if (equalsIgnoringCase(token, "s")) {
            m_kind = Kind::S;
        } else if (equalsIgnoringCase(token, "y")) {
            m_kind = Kind::Y;
        } else if (equalsIgnoringCase(token, "z")) {
            m_kind = Kind::Z;
        } else if (equalsIgnoringCase(token, "h") || equalsIgnoringCase(token, "g")) {
            return fail(TouchstoneError::Unsupported,
                        std::string(token) + " parameters are not supported (only S, Y and Z)",
                        m_line);
        } else if (equalsIgnoringCase(token, "ri")) {
            m_format = Format::RI;
        } else if (equalsIgnoringCase(token, "ma")) {
            m_format = Format::MA;
        } else if (equalsIgnoringCase(token, "db")) {
            m_format = Format::DB;
        } else if (equalsIgnoringCase(token, "r")) {
            const std::string_view value = nextToken(text);
            const std::optional<double> r = parseDecimal(value);
            if (!r || !(*r > 0))
                return fail(TouchstoneError::BadOption,
                            "R needs a positive reference resistance, got '" + std::string(value) +
                                "'",
                            m_line);
            m_reference = *r;
        } else {
            return fail(TouchstoneError::BadOption,
                        "unknown option '" + std::string(token) + "' in the option line", m_line);
        }
    }
    return true;
}

bool Parser::keyword(std::string_view text) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos)
        return fail(TouchstoneError::BadKeyword, "keyword without its closing ']'", m_line);
    const std::string_view name = trim(text.substr(1, close - 1));
    const std::string_view value = trim(text.substr(close + 1));
    auto is = [&](std::string_view k) { return equalsIgnoringCase(name, k); };
    auto bad = [&](std::string_view why) {
        std::string reason = "[";
        reason.append(name).append("] ").append(why);
        return fail(TouchstoneError::BadKeyword, std::move(reason), m_line);
    };
    if (m_inInformation) {
        if (is("End Information"))
            m_inInformation = false;
        return true;
    }
    if (is("Version")) {
        if (m_version == 2 || m_optionSeen || m_dataStarted)
            return bad("must come first");
        if (value != "2.0" && value != "2.1")
            return fail(TouchstoneError::Unsupported,
                        "version '" + std::string(value) + "' is not supported (1.1, 2.0, 2.1)",
                        m_line);
        m_version = 2;
        m_ports = 0; // version 2 states its ports
        return true;
    }
    if (m_version != 2)
        return bad("needs [Version] 2.0 or 2.1 first");
    if (is("End")) {
        m_ended = true;
        return true;
    }
    if (m_skipToEnd)
        return true;
    if (m_dataStarted && !is("Noise Data"))
        return bad("after the network data");
    auto whole = [&](std::size_t low, std::size_t high) -> std::optional<std::size_t> {
        std::size_t n = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (error != std::errc() || end != value.data() + value.size() || n < low || n > high)
            return std::nullopt;
        return n;
    };
    if (is("Number of Ports")) {
        const auto n = whole(1, 1u << 30);
        if (!n)
            return bad("needs a whole number of ports");
        if (*n > maxPorts)
            return fail(TouchstoneError::Unsupported,
                        std::to_string(*n) + " ports: only 1 to 4 are supported", m_line);
        m_ports = static_cast<int>(*n);
    } else if (is("Two-Port Data Order")) {
        if (value == "12_21")
            m_order12_21 = true;
        else if (value == "21_12")
            m_order12_21 = false;
        else
            return bad("must be 12_21 or 21_12");
    } else if (is("Number of Frequencies")) {
        const auto n = whole(1, std::size_t(-1));
        if (!n)
            return bad("needs a whole number of at least 1");
        m_declaredFrequencies = *n;
    } else if (is("Number of Noise Frequencies")) {
        if (!whole(0, std::size_t(-1)))
            return bad("needs a whole number");
    } else if (is("Reference")) {
        if (m_ports == 0)
            return bad("needs [Number of Ports] first");
        m_references.clear();
        m_referencesWanted = static_cast<std::size_t>(m_ports);
        return referenceValues(value);
    } else if (is("Matrix Format")) {
        if (equalsIgnoringCase(value, "full"))
            m_matrix = Matrix::Full;
        else if (equalsIgnoringCase(value, "upper"))
            m_matrix = Matrix::Upper;
        else if (equalsIgnoringCase(value, "lower"))
            m_matrix = Matrix::Lower;
        else
            return bad("must be Full, Upper or Lower");
    } else if (is("Mixed-Mode Order")) {
        return fail(TouchstoneError::Unsupported, "mixed-mode data is not supported", m_line);
    } else if (is("Begin Information")) {
        m_inInformation = true;
    } else if (is("Network Data")) {
        if (m_ports == 0)
            return bad("needs [Number of Ports] first");
        if (m_referencesWanted > m_references.size())
            return fail(TouchstoneError::BadKeyword, "[Reference] has too few values", m_line);
        m_networkData = true;
    } else if (is("Noise Data")) {
        m_skipToEnd = true;
    }
    // Any other keyword carries nothing this reader needs.
    return true;
}

bool Parser::referenceValues(std::string_view text) {
    for (std::string_view token = nextToken(text); !token.empty(); token = nextToken(text)) {
        const std::optional<double> r = parseDecimal(token);
        if (!r || !(*r > 0))
            return fail(TouchstoneError::BadKeyword,
                        "[Reference] needs positive resistances, got '" + std::string(token) + "'",
                        m_line);
        if (m_references.size() == m_referencesWanted)
            return fail(TouchstoneError::BadKeyword, "[Reference] has more values than ports",
                        m_line);
        m_references.push_back(*r);
    }
    return true;
}

bool Parser::startData() {
    m_dataStarted = true;
    if (m_ports == 0)
        return fail(TouchstoneError::UnknownPorts,
                    "cannot tell the number of ports: a version 1 file is named .s1p to .s4p",
                    m_line);
    if (m_version == 2 && !m_networkData)
        return fail(TouchstoneError::BadKeyword, "data before [Network Data]", m_line);
    if (m_options.only && (m_options.only->row > m_ports || m_options.only->column > m_ports))
        return fail(TouchstoneError::NoSuchParameter,
                    "the file has " + std::to_string(m_ports) +
                        (m_ports == 1 ? " port" : " ports") + ": there is no S" +
                        std::to_string(m_options.only->row) +
                        std::to_string(m_options.only->column),
                    0);
    if (m_version == 1 || m_references.empty())
        m_references.assign(static_cast<std::size_t>(m_ports), m_reference);
    if (m_references.size() != static_cast<std::size_t>(m_ports))
        return fail(TouchstoneError::BadKeyword,
                    "[Reference] has " + std::to_string(m_references.size()) + " values for " +
                        std::to_string(m_ports) + " ports",
                    m_line);
    m_network.ports = m_ports;
    m_network.referenceOhms = m_references[0];
    // Where each number pair of a point goes in the matrix.
    const int n = m_ports;
    if (n == 2 && m_matrix == Matrix::Full && !(m_version == 2 && m_order12_21)) {
        m_layout = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    } else {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (m_matrix == Matrix::Full || (m_matrix == Matrix::Upper && j >= i) ||
                    (m_matrix == Matrix::Lower && j <= i))
                    m_layout.emplace_back(i, j);
    }
    // Version 2 Z and Y are in ohms and siemens; version 1 already normalised.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double root = std::sqrt(m_references[i] * m_references[j]);
            m_scale[i * n + j] = m_version == 1 ? 1.0 : m_kind == Kind::Z ? 1.0 / root : root;
        }
    m_point.assign(pointSize(), 0.0);
    // The numbers of a point whose values are used: all of them, except that
    // S data keeping one parameter needs only the frequency and that pair
    // (dB magnitudes are all checked against the double range).
    m_needed.assign(m_point.size(), 1);
    if (m_kind == Kind::S && m_options.only && m_format != Format::DB) {
        std::fill(m_needed.begin() + 1, m_needed.end(), 0);
        const int row = m_options.only->row - 1, column = m_options.only->column - 1;
        for (std::size_t k = 0; k < m_layout.size(); ++k) {
            const auto [i, j] = m_layout[k];
            if ((i == row && j == column) || (m_matrix != Matrix::Full && i == column && j == row))
                m_needed[1 + 2 * k] = m_needed[2 + 2 * k] = 1;
        }
    }
    return true;
}

Complex Parser::pair(double a, double b) const {
    constexpr double degree = std::numbers::pi / 180;
    switch (m_format) {
    case Format::RI:
        return {a, b};
    case Format::MA:
        return std::polar(a, b * degree);
    case Format::DB:
        return std::polar(std::pow(10.0, a / 20), b * degree);
    }
    return {};
}

bool Parser::completePoint() {
    const double raw = m_point[0];
    const double f = raw; // read in MHz
    if (!(f >= 0) || !std::isfinite(f))
        return fail(TouchstoneError::BadNumber, formatShortest(raw) + " MHz is not a frequency",
                    m_pointLine);
    if (!m_network.frequencyMHz.empty() && !(f > m_network.frequencyMHz.back()))
        return fail(TouchstoneError::FrequencyOrder,
                    "frequency " + formatShortest(raw) + " MHz is not above the one before it",
                    m_pointLine);
    // Only a magnitude in dB can leave the double range (above 6165 dB);
    // every pair is checked, kept or not, so that what is kept never decides
    // whether a file reads.
    if (m_format == Format::DB)
        for (std::size_t k = 1; k < m_point.size(); k += 2)
            if (!(m_point[k] < maxDecibels))
                return fail(TouchstoneError::BadNumber,
                            "magnitude " + formatShortest(m_point[k]) +
                                " dB is beyond the double range",
                            m_pointLine);
    m_network.frequencyMHz.push_back(f);
    const int n = m_ports;
    if (m_kind == Kind::S && m_options.only) {
        const int row = m_options.only->row - 1, column = m_options.only->column - 1;
        for (std::size_t k = 0; k < m_layout.size(); ++k) {
            const auto [i, j] = m_layout[k];
            if ((i == row && j == column) ||
                (m_matrix != Matrix::Full && i == column && j == row)) {
                m_network.values.push_back(pair(m_point[1 + 2 * k], m_point[2 + 2 * k]));
                break;
            }
        }
        return true;
    }
    std::array<Complex, 16> m{};
    for (std::size_t k = 0; k < m_layout.size(); ++k) {
        const auto [i, j] = m_layout[k];
        m[i * n + j] = pair(m_point[1 + 2 * k], m_point[2 + 2 * k]);
        if (m_matrix != Matrix::Full) // the other triangle mirrors this one
            m[j * n + i] = m[i * n + j];
    }
    if (m_kind != Kind::S) {
        for (int k = 0; k < n * n; ++k)
            m[k] *= m_scale[k];
        if (!toS(m, n, m_kind))
            return fail(TouchstoneError::NoSEquivalent,
                        std::string(m_kind == Kind::Z ? "Z" : "Y") +
                            " matrix has no S equivalent at " + formatShortest(raw) + " MHz",
                        m_pointLine);
    }
    if (m_options.only) {
        m_network.values.push_back(m[(m_options.only->row - 1) * n + m_options.only->column - 1]);
    } else {
        m_network.values.insert(m_network.values.end(), m.begin(), m.begin() + n * n);
    }
    return true;
}

bool Parser::dataLine(std::string_view text) {
    if (!m_dataStarted && !startData())
        return false;
    m_lineNumbers.clear();
    if (const char *bad = readNumbers(text, m_filled, m_lineNumbers)) {
        std::string_view token(bad, static_cast<std::size_t>(text.data() + text.size() - bad));
        token = nextToken(token);
        const std::string shown =
            token.size() > 40 ? std::string(token.substr(0, 40)) + "..." : std::string(token);
        return fail(TouchstoneError::BadNumber, "'" + shown + "' is not a number", m_line);
    }
    return consumeNumbers();
}

bool Parser::consumeNumbers() {
    // A 2-port version 1 file: a frequency at or below the last one, at the
    // start of a point, starts the noise block.
    if (m_filled == 0 && m_version == 1 && m_ports == 2 && !m_network.frequencyMHz.empty()) {
        if (m_lineNumbers[0] <= m_network.frequencyMHz.back()) {
            m_skipToEnd = true;
            return true;
        }
    }
    const std::size_t size = m_point.size();
    auto wrongCount = [&](std::size_t found) {
        return fail(TouchstoneError::WrongCount,
                    "expected " + std::to_string(size) + " numbers, found " + std::to_string(found),
                    m_pointLine);
    };
    for (std::size_t k = 0; k < m_lineNumbers.size(); ++k) {
        if (m_filled == 0) {
            m_pointLine = m_line;
            m_firstLineCount = m_lineNumbers.size() - k;
        }
        m_point[m_filled++] = m_lineNumbers[k];
        if (m_filled < size)
            continue;
        m_filled = 0;
        if (k + 1 < m_lineNumbers.size()) // a point ends at a line end
            return wrongCount(m_ports <= 2 ? m_firstLineCount
                                           : size + m_lineNumbers.size() - k - 1);
        if (!completePoint())
            return false;
    }
    return true;
}

const char *Parser::readNumbers(std::string_view text, std::size_t firstIndex,
                                std::vector<double> &numbers) const {
    const std::size_t start = numbers.size();
    const char *p = text.data();
    const char *const end = p + text.size();
    for (;;) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return nullptr;
        // Numbers past the point's end make a count error; convert them.
        const std::size_t index = firstIndex + numbers.size() - start;
        double value = 0;
        // The frequency is read straight into MHz.
        const char *next = readDecimal(p, end, value, index >= m_needed.size() || m_needed[index],
                                       index == 0 ? m_unitShift : 0);
        if (!next || (next < end && !isSpace(*next)))
            return p;
        numbers.push_back(value);
        p = next;
    }
}

void Parser::readAhead(const std::vector<std::string_view> &lines, ReadAhead &out) const {
    for (std::string_view text : lines) {
        text = withoutComment(text);
        if (text.empty()) {
            out.kinds.push_back(ReadAhead::Blank);
            out.counts.push_back(0);
            continue;
        }
        const std::size_t first = out.numbers.size();
        const bool data =
            text.front() != '[' && text.front() != '#' && !readNumbers(text, 0, out.numbers);
        if (!data)
            out.numbers.resize(first);
        out.kinds.push_back(data ? ReadAhead::Data : ReadAhead::Other);
        out.counts.push_back(static_cast<std::uint32_t>(out.numbers.size() - first));
    }
}

bool Parser::takeReadAhead(std::string_view text, ReadAhead::Kind kind, const double *numbers,
                           std::size_t count) {
    if (kind == ReadAhead::Blank) {
        ++m_line;
        return true;
    }
    if (kind == ReadAhead::Data && m_filled == 0 && canReadAhead() &&
        !(m_referencesWanted > m_references.size() && !m_networkData)) {
        ++m_line;
        m_lineNumbers.assign(numbers, numbers + count);
        return consumeNumbers();
    }
    return line(text);
}

bool Parser::line(std::string_view text) {
    ++m_line;
    if (m_line == 1 && text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    text = withoutComment(text);
    if (text.empty() || m_ended)
        return true;
    if (text.front() == '[')
        return keyword(text);
    if (m_inInformation)
        return true;
    if (m_referencesWanted > m_references.size() && !m_networkData)
        return referenceValues(text); // [Reference] continued on this line
    if (text.front() == '#')
        return m_dataStarted || optionLine(text);
    if (m_skipToEnd)
        return true;
    return dataLine(text);
}

std::variant<Network, TouchstoneError> Parser::finish() {
    if (m_error)
        return *m_error;
    if (m_filled != 0) {
        return TouchstoneError{TouchstoneError::WrongCount, std::string(m_name), m_pointLine,
                               "expected " + std::to_string(m_point.size()) + " numbers, found " +
                                   std::to_string(m_ports <= 2 ? m_firstLineCount : m_filled)};
    }
    if (m_network.frequencyMHz.empty())
        return TouchstoneError{TouchstoneError::NoData, std::string(m_name), 0, "no network data"};
    if (m_declaredFrequencies && *m_declaredFrequencies != m_network.size())
        return TouchstoneError{TouchstoneError::FrequencyCount, std::string(m_name), 0,
                               "[Number of Frequencies] is " +
                                   std::to_string(*m_declaredFrequencies) + ", the data has " +
                                   std::to_string(m_network.size())};
    return std::move(m_network);
}

} // namespace

FileKind fileKindOf(unsigned mode) {
    return S_ISREG(mode)    ? FileKind::Regular
           : S_ISFIFO(mode) ? FileKind::Fifo
           : S_ISDIR(mode)  ? FileKind::Folder
           : S_ISCHR(mode)  ? FileKind::CharacterDevice
           : S_ISBLK(mode)  ? FileKind::BlockDevice
           : S_ISSOCK(mode) ? FileKind::Socket
                            : FileKind::Other;
}

const char *fileKindText(FileKind kind) {
    switch (kind) {
    case FileKind::Regular:
        return "a regular file";
    case FileKind::Fifo:
        return "a FIFO";
    case FileKind::Folder:
        return "a folder";
    case FileKind::CharacterDevice:
        return "a character device";
    case FileKind::BlockDevice:
        return "a block device";
    case FileKind::Socket:
        return "a socket";
    case FileKind::Other:
        break;
    }
    return "a special file";
}

std::string TouchstoneError::message() const {
    std::string text = file;
    if (line)
        text.append(":").append(std::to_string(line));
    return text.append(": ").append(reason);
}

std::optional<SParameter> parseSParameter(std::string_view text) {
    if (text.size() != 3 || (text[0] != 'S' && text[0] != 's'))
        return std::nullopt;
    const int row = text[1] - '0', column = text[2] - '0';
    if (row < 1 || row > maxPorts || column < 1 || column > maxPorts)
        return std::nullopt;
    return SParameter{row, column};
}

std::vector<std::complex<double>> Network::parameter(SParameter which) const {
    if (only)
        return values;
    std::vector<std::complex<double>> series;
    series.reserve(size());
    const std::size_t n = static_cast<std::size_t>(ports);
    for (std::size_t k = 0; k < size(); ++k)
        series.push_back(values[k * n * n + (which.row - 1) * n + which.column - 1]);
    return series;
}

std::variant<Network, TouchstoneError>
readTouchstoneText(std::string_view name, std::string_view text, const ReadOptions &options) {
    Parser parser(name, options);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > maxLineLength) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            return parser.error();
        }
        if (!parser.line(text.substr(0, end)))
            return parser.error();
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return parser.finish();
}

std::variant<Network, TouchstoneError> readTouchstoneFile(const std::string &path,
                                                          const ReadOptions &options) {
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (options.regularFileOnly ? O_NONBLOCK : 0));
    if (fd < 0)
        return TouchstoneError{TouchstoneError::CannotOpen, path, 0, std::strerror(errno)};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int why = errno;
        ::close(fd);
        return TouchstoneError{TouchstoneError::ReadFailed, path, 0, std::strerror(why)};
    }
    if (options.regularFileOnly && !S_ISREG(info.st_mode)) {
        ::close(fd);
        return TouchstoneError{TouchstoneError::NotRegularFile, path, 0,
                               std::string(fileKindText(fileKindOf(info.st_mode))) +
                                   ", not a regular file"};
    }
    if (options.regularFileOnly) // reads block again, as for any file
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Parser parser(path, options);
    // The buffer grows with the file, up to a block: a small file costs
    // little more than its own size.
    constexpr std::size_t block = std::size_t(4) << 20;
    const std::size_t expected = S_ISREG(info.st_mode) && info.st_size > 0
                                     ? static_cast<std::size_t>(info.st_size) + 1
                                     : std::size_t(64) << 10;
    std::vector<char> buffer(std::clamp(expected, std::size_t(4) << 10, block));
    std::vector<std::string_view> lines;
    std::size_t held = 0; // bytes of an unfinished line at the buffer's start
    bool ok = true;
    for (;;) {
        if (held == buffer.size() && buffer.size() < block) {
            buffer.resize(std::min(block, 2 * buffer.size()));
        } else if (held == buffer.size()) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            ok = false;
            break;
        }
        const ssize_t got = ::read(fd, buffer.data() + held, buffer.size() - held);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int why = errno;
            ::close(fd);
            return TouchstoneError{TouchstoneError::ReadFailed, path, 0, std::strerror(why)};
        }
        const std::size_t filled = held + static_cast<std::size_t>(got);
        std::size_t start = 0;
        // The block's complete lines.
        lines.clear();
        bool tooLong = false;
        for (;;) {
            const void *newline = std::memchr(buffer.data() + start, '\n', filled - start);
            if (!newline)
                break;
            const std::size_t end =
                static_cast<std::size_t>(static_cast<const char *>(newline) - buffer.data());
            if (end - start > maxLineLength) {
                tooLong = true; // after the lines before it
                break;
            }
            lines.emplace_back(buffer.data() + start, end - start);
            start = end + 1;
        }
        if (parser.canReadAhead() && lines.size() >= 1024) {
            // Turning text into numbers takes most of the time: the second
            // half of the block is read ahead on another thread while this
            // one reads the first; then the lines are taken in order.
            const std::size_t half = lines.size() / 2;
            const std::vector<std::string_view> first(lines.begin(), lines.begin() + half);
            const std::vector<std::string_view> second(lines.begin() + half, lines.end());
            Parser::ReadAhead ahead[2];
            std::thread worker([&] { parser.readAhead(second, ahead[1]); });
            parser.readAhead(first, ahead[0]);
            worker.join();
            for (int part = 0; part < 2 && ok; ++part) {
                const std::vector<std::string_view> &partLines = part == 0 ? first : second;
                const double *numbers = ahead[part].numbers.data();
                for (std::size_t i = 0; i < partLines.size() && ok; ++i) {
                    ok = parser.takeReadAhead(partLines[i], ahead[part].kinds[i], numbers,
                                              ahead[part].counts[i]);
                    numbers += ahead[part].counts[i];
                }
            }
        } else {
            for (std::size_t i = 0; i < lines.size() && ok; ++i)
                ok = parser.line(lines[i]);
        }
        if (ok && tooLong)
            ok = parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                             parser.lineNumber() + 1);
        if (!ok)
            break;
        held = filled - start;
        if (held > maxLineLength) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            ok = false;
            break;
        }
        std::memmove(buffer.data(), buffer.data() + start, held);
        if (got == 0) {
            if (held > 0 && !parser.line(std::string_view(buffer.data(), held)))
                ok = false;
            break;
        }
    }
    ::close(fd);
    if (!ok)
        return parser.error();
    return parser.finish();
}

std::string writeS1p(const std::vector<std::string> &comments, const std::vector<double> &fMHz,
                     const std::vector<std::complex<double>> &s11) {
    std::string out;
    for (const std::string &comment : comments)
        out += "! " + comment + '\n';
    out += "# MHz S RI R 50\n";
    for (std::size_t k = 0; k < fMHz.size(); ++k)
        out += formatShortest(fMHz[k]) + ' ' + formatShortest(s11[k].real()) + ' ' +
               formatShortest(s11[k].imag()) + '\n';
    return out;
}

} // namespace varnel
