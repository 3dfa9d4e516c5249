#pragma once

#include "touchstone/to_s.h"
#include "touchstone/touchstone.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// The line-by-line Touchstone reader behind both entry points: the header
// (option line and keywords, header.cpp), the points and the noise block
// (points.cpp). The block reader (block_reader.cpp) feeds it lines.
//
// Worked example: the lines "# MHz S RI", "100 0.5 0" and "101 0.25 0" of
// "a.s1p" give line() true three times, and finish() a 1-port network with
// frequencies 100 and 101 MHz and S11 0.5 and 0.25.
namespace varnel::touchstone_parser {

constexpr std::size_t maxLineLength = 1 << 20;
constexpr int maxPorts = 4;
// 20 log10 of the largest double, rounded down.
constexpr double maxDecibels = 6165;

enum class Format { RI, MA, DB };
enum class Matrix { Full, Upper, Lower };

class Parser {
  public:
    Parser(std::string_view name, const ReadOptions &options);

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
        return m_dataStarted && !m_skipToEnd && !m_noiseLine && !m_ended && !m_inInformation &&
               !m_error;
    }
    // Reads the lines ahead; safe on another thread while the parser waits.
    void readAhead(std::span<const std::string_view> lines, ReadAhead &out) const;
    // One line with what was read ahead of it; a line read ahead under
    // assumptions that no longer hold goes through line().
    bool takeReadAhead(std::string_view text, ReadAhead::Kind kind, const double *numbers,
                       std::size_t count);
    std::variant<Network, TouchstoneError> finish();
    // Points read so far, and room made for `points` in all (at least as
    // many as read), so that the sweep's arrays are not copied as they
    // grow: room never written is never resident.
    std::size_t points() const { return m_network.frequencyMHz.size(); }
    void reservePoints(std::size_t points);
    const TouchstoneError &error() const { return *m_error; }
    std::size_t lineNumber() const { return m_line; }

    bool fail(TouchstoneError::Kind kind, std::string reason, std::size_t line) {
        m_error = TouchstoneError{kind, std::string(m_name), line, std::move(reason)};
        return false;
    }

  private:
    // Header (header.cpp).
    static int portsFromName(std::string_view name);
    bool optionLine(std::string_view text);
    bool keyword(std::string_view text);
    bool badKeyword(std::string_view name, std::string_view why);
    bool referenceValues(std::string_view text);
    // The keyword table (header.cpp): each keyword's handler, called with
    // the keyword's name and the text after its "]".
    struct KeywordRule;
    static const KeywordRule s_keywords[];
    bool numberOfPorts(std::string_view name, std::string_view value);
    bool twoPortDataOrder(std::string_view name, std::string_view value);
    bool numberOfFrequencies(std::string_view name, std::string_view value);
    bool numberOfNoiseFrequencies(std::string_view name, std::string_view value);
    bool reference(std::string_view name, std::string_view value);
    bool matrixFormat(std::string_view name, std::string_view value);
    bool mixedModeOrder(std::string_view name, std::string_view value);
    bool beginInformation(std::string_view name, std::string_view value);
    bool networkData(std::string_view name, std::string_view value);
    bool noiseData(std::string_view name, std::string_view value);

    // Points (points.cpp).
    bool dataLine(std::string_view text);
    // Appends the numbers of a data line whose first number has index
    // `firstIndex` in its point (converted as the point needs them); the
    // start of the first token that is not a number, or nullptr.
    const char *readNumbers(std::string_view text, std::size_t firstIndex,
                            std::vector<double> &numbers) const;
    bool consumeNumbers(std::span<const double> numbers); // of one data line
    bool noiseNumbers(std::size_t count);                 // a noise line's count
    bool startData();
    bool completePoint();
    std::size_t pointSize() const {
        return 1 + 2 * static_cast<std::size_t>(m_matrix == Matrix::Full
                                                    ? m_ports * m_ports
                                                    : m_ports * (m_ports + 1) / 2);
    }
    std::complex<double> pair(double a, double b) const;

    std::string_view m_name;
    ReadOptions m_options;
    Network m_network;
    std::optional<TouchstoneError> m_error;
    std::size_t m_line = 0;

    // Header state.
    bool m_optionSeen = false;
    int m_unitShift = 3; // decimal places from the file's unit to MHz (GHz)
    NetworkKind m_kind = NetworkKind::S;
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
    bool m_skipToEnd = false; // version 2 noise data: skip until [End]
    // Version 1 2-port: the line whose repeated frequency began the noise
    // block, whose lines hold 5 numbers each; 0 before it.
    std::size_t m_noiseLine = 0;
    bool m_ended = false; // after [End]

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

} // namespace varnel::touchstone_parser
