// The data of a Touchstone file: each point assembled from its lines,
// converted to S and checked; in a 2-port version 1 file the noise block
// after the network data.
#include "number_text/decimal_reader.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "touchstone/parser.h"
#include "touchstone/text_lines.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace varnel::touchstone_parser {

using namespace touchstone_text;

namespace {

// What the first line says of a text that is not ASCII or UTF-8: its
// byte-order mark, or NUL bytes; empty for a line that could be text.
std::string_view wideEncoding(std::string_view first) {
    constexpr struct {
        std::string_view mark;
        std::string_view name;
    } marks[] = {
        {{"\x00\x00\xFE\xFF", 4}, "the file is UTF-32 text (big-endian)"},
        {{"\xFF\xFE\x00\x00", 4}, "the file is UTF-32 text (little-endian)"},
        {"\xFE\xFF", "the file is UTF-16 text (big-endian)"},
        {"\xFF\xFE", "the file is UTF-16 text (little-endian)"},
    };
    for (const auto &[mark, name] : marks)
        if (first.starts_with(mark))
            return name;
    if (first.find('\0') != std::string_view::npos)
        return "the first line holds NUL bytes: the file is UTF-16 or UTF-32 text, or not text";
    return {};
}

} // namespace

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
            m_scale[i * n + j] = m_version == 1             ? 1.0
                                 : m_kind == NetworkKind::Z ? 1.0 / root
                                                            : root;
        }
    m_point.assign(pointSize(), 0.0);
    // The numbers of a point whose values are used: all of them, except that
    // S data keeping one parameter needs only the frequency and that pair
    // (dB magnitudes are all checked against the double range).
    m_needed.assign(m_point.size(), 1);
    if (m_kind == NetworkKind::S && m_options.only && m_format != Format::DB) {
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

std::complex<double> Parser::pair(double a, double b) const {
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

bool Parser::noiseNumbers(std::size_t count) {
    // Frequency, minimum noise figure, the optimum source reflection
    // (magnitude, angle) and the effective noise resistance: a network line
    // here means a frequency was repeated by mistake, not noise data.
    constexpr std::size_t noiseLineSize = 5;
    if (count == noiseLineSize)
        return true;
    return fail(TouchstoneError::WrongCount,
                "expected a noise line of 5 numbers, found " + std::to_string(count) +
                    ": is the frequency on line " + std::to_string(m_noiseLine) +
                    " repeated by mistake?",
                m_line);
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
    if (m_kind == NetworkKind::S && m_options.only) {
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
    std::array<std::complex<double>, 16> m{};
    for (std::size_t k = 0; k < m_layout.size(); ++k) {
        const auto [i, j] = m_layout[k];
        m[i * n + j] = pair(m_point[1 + 2 * k], m_point[2 + 2 * k]);
        if (m_matrix != Matrix::Full) // the other triangle mirrors this one
            m[j * n + i] = m[i * n + j];
    }
    if (m_kind != NetworkKind::S) {
        for (int k = 0; k < n * n; ++k)
            m[k] *= m_scale[k];
        if (!toS(m, n, m_kind))
            return fail(TouchstoneError::NoSEquivalent,
                        std::string(m_kind == NetworkKind::Z ? "Z" : "Y") +
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
    // Noise numbers are read as numbers, none of them a frequency.
    if (const char *bad = readNumbers(text, m_noiseLine ? 1 : m_filled, m_lineNumbers)) {
        std::string_view token(bad, static_cast<std::size_t>(text.data() + text.size() - bad));
        token = nextToken(token);
        return fail(TouchstoneError::BadNumber, quotedToken(token) + " is not a number", m_line);
    }
    return m_noiseLine ? noiseNumbers(m_lineNumbers.size()) : consumeNumbers(m_lineNumbers);
}

bool Parser::consumeNumbers(std::span<const double> numbers) {
    // A 2-port version 1 file: a frequency at or below the last one, at the
    // start of a point, starts the noise block.
    if (m_filled == 0 && m_version == 1 && m_ports == 2 && !m_network.frequencyMHz.empty()) {
        if (numbers[0] <= m_network.frequencyMHz.back()) {
            m_noiseLine = m_line;
            return noiseNumbers(numbers.size());
        }
    }
    const std::size_t size = m_point.size();
    auto wrongCount = [&](std::size_t found) {
        return fail(TouchstoneError::WrongCount,
                    "expected " + std::to_string(size) + " numbers, found " + std::to_string(found),
                    m_pointLine);
    };
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        if (m_filled == 0) {
            m_pointLine = m_line;
            m_firstLineCount = numbers.size() - k;
        }
        m_point[m_filled++] = numbers[k];
        if (m_filled < size)
            continue;
        m_filled = 0;
        if (k + 1 < numbers.size()) // a point ends at a line end
            return wrongCount(m_ports <= 2 ? m_firstLineCount : size + numbers.size() - k - 1);
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

void Parser::reservePoints(std::size_t points) {
    const std::size_t read = m_network.frequencyMHz.size();
    if (read == 0 || points <= read)
        return;
    // Room for at most 16 M points ahead of time; a larger sweep grows as
    // it is read, and room that cannot be had is only a lost speed-up.
    points = std::min(points, std::size_t(1) << 24);
    const std::size_t each = m_network.values.size() / read;
    try {
        m_network.frequencyMHz.reserve(points);
        m_network.values.reserve(points * each);
        adviseHugePages(m_network.frequencyMHz.data(), points * sizeof(double));
        adviseHugePages(m_network.values.data(), points * each * sizeof(std::complex<double>));
    } catch (const std::bad_alloc &) {
    }
}

void Parser::readAhead(std::span<const std::string_view> lines, ReadAhead &out) const {
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
        return consumeNumbers(std::span(numbers, count));
    }
    return line(text);
}

bool Parser::line(std::string_view text) {
    ++m_line;
    if (m_line == 1) {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        else if (const std::string_view encoding = wideEncoding(text); !encoding.empty())
            return fail(TouchstoneError::NotText,
                        std::string(encoding) + ": save it as ASCII or UTF-8 text", m_line);
    }
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

} // namespace varnel::touchstone_parser
