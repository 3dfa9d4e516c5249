#include "cli/batch.h"

#include "calculation/calculate.h"
#include "lowpass_prototype/run_time_error.h"

#include <array>

namespace varnel {

std::string errorLine(const RunTimeError &error) {
    return "error " + std::to_string(error.number()) + ": " + error.what();
}

std::string answerFields(std::string_view orderText, std::string_view bandwidthText,
                         std::string_view rippleText) {
    Result<std::string> result = calculate(orderText, bandwidthText, rippleText);
    if (!result)
        return errorLine(result.error());
    return *std::move(result);
}

void BatchProcessor::feed(std::string_view chunk) {
    while (!chunk.empty()) {
        const std::size_t end = chunk.find('\n');
        if (end == std::string_view::npos) {
            appendPartial(chunk);
            return;
        }
        if (m_pending) {
            appendPartial(chunk.substr(0, end));
            answerLine(m_partial);
        } else {
            answerLine(chunk.substr(0, end));
        }
        m_partial.clear();
        m_overlong = false;
        m_pending = false;
        chunk.remove_prefix(end + 1);
    }
}

void BatchProcessor::finish() {
    if (m_pending)
        answerLine(m_partial);
    m_partial.clear();
    m_overlong = false;
    m_pending = false;
}

void BatchProcessor::appendPartial(std::string_view part) {
    m_pending = true;
    if (m_overlong)
        return;
    // One byte of room for the CR of a CRLF line end, which is not content.
    if (m_partial.size() + part.size() > maxLineLength + 1) {
        m_overlong = true;
        m_partial.clear();
        m_partial.shrink_to_fit();
        return;
    }
    m_partial.append(part);
}

void BatchProcessor::answerLine(std::string_view line) {
    ++m_lines;
    if (!m_overlong && !line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (m_overlong || line.size() > maxLineLength) {
        ++m_invalidLines;
        m_output += "invalid: line longer than " + std::to_string(maxLineLength) + " bytes\n";
        return;
    }

    std::array<std::string_view, 3> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        const std::string_view field = line.substr(
            start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (count < fields.size())
            fields[count] = field;
        ++count;
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (count != fields.size()) {
        ++m_invalidLines;
        m_output += "invalid: expected 3 tab-separated fields (order, bandwidth, ripple), found ";
        m_output += std::to_string(count);
        m_output += '\n';
        return;
    }
    m_output += answerFields(fields[0], fields[1], fields[2]);
    m_output += '\n';
}

} // namespace varnel
