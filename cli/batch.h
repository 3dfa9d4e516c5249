#pragma once

#include "lowpass_prototype/run_time_error.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace varnel {

// "error N: DESCRIPTION" for a run-time error.
std::string errorLine(const RunTimeError &error);

// The answer to one set of field texts: the result text, or
// "error N: DESCRIPTION" for a run-time error.
std::string answerFields(std::string_view orderText, std::string_view bandwidthText,
                         std::string_view rippleText);

// Batch mode: lines of three tab-separated field texts (order, bandwidth,
// ripple), LF or CRLF line ends, in any chunking. Every input line gets
// exactly one output line, in order: the answer, or "invalid: REASON" for a
// line that is not three fields or whose content (without its LF or CRLF)
// is longer than maxLineLength bytes.
// Memory stays bounded: an over-long line is discarded as it streams past.
class BatchProcessor {
  public:
    static constexpr std::size_t maxLineLength = 1 << 20;

    // Feeds the next chunk of input; answers go to output().
    void feed(std::string_view chunk);
    // Answers a last line that has no line end.
    void finish();

    // Answers not yet taken; the caller drains it after each feed.
    std::string &output() { return m_output; }
    bool sawInvalidLine() const { return m_invalidLines > 0; }
    std::size_t lineCount() const { return m_lines; }

  private:
    void answerLine(std::string_view line);
    void appendPartial(std::string_view part);

    std::string m_output;
    std::string m_partial;
    bool m_overlong = false;
    bool m_pending = false; // a line has started but not ended
    std::size_t m_lines = 0;
    std::size_t m_invalidLines = 0;
};

} // namespace varnel
