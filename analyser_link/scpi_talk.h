#pragma once

#include "analyser_link/connection.h"
#include "analyser_protocols/scpi_dialect.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The words an SCPI session says on its channel: commands, queries, number
// replies (a definite-length block of doubles, or an ASCII list), the error
// queue and the data format; and the measurements a sweep reads.
namespace varnel {

class ScpiTalk {
  public:
    ScpiTalk(Connection connection, std::chrono::milliseconds reply)
        : m_channel(std::move(connection), reply) {}

    std::variant<std::monostate, LinkError> command(std::string_view text);
    std::variant<std::string, LinkError> query(std::string_view text);
    std::variant<std::vector<double>, LinkError> queryNumbers(std::string_view text);
    // The error queue read to its end (at most 16 entries): the first
    // error, or nothing when there is none.
    std::variant<std::string, LinkError> errors();
    // The first data format the error queue does not refuse: doubles as
    // ":FORM:DATA REAL,64" (ENA, PNA, ZNB) or "REAL" (E5071C), ASCII where
    // none is binary. The queue is cleared first ("*CLS"), so that an
    // earlier session's errors are not taken for a refusal.
    std::variant<std::monostate, LinkError> chooseFormat();
    std::variant<std::string, LinkError> line(std::chrono::milliseconds timeout) {
        return m_channel.line(timeout);
    }
    bool sendLines(const std::string &lines) {
        return !std::holds_alternative<LinkError>(m_channel.send(lines));
    }
    void setInterruptible(bool interruptible) { m_channel.setInterruptible(interruptible); }

  private:
    LinkError unanswered(LinkError silence, std::string_view text);

    ReplyChannel m_channel;
};

// The measurements of a sweep: S11, S21, S12 and S22 where the analyser has
// them, defined where it has not and it takes them; S11 alone where it
// refuses the others. What was defined is undone at the end.
// Example (pna): catalog "\"CH1_S11_1,S11\"" -> S21, S12 and S22 defined as
// Varnel_S21, ...; read() {"CH1_S11_1", "Varnel_S21", "Varnel_S12",
// "Varnel_S22"}; undo() deletes the three and selects what was selected.
class ScpiTraces {
  public:
    // Measurements by name (pna, znb) or numbered traces (ena).
    std::variant<std::monostate, LinkError> named(ScpiTalk &talk, const ScpiDialect &dialect);
    std::variant<std::monostate, LinkError> numbered(ScpiTalk &talk, const ScpiDialect &dialect);
    // Each measurement to select and read, in the order S11, S21, S12, S22.
    const std::vector<std::string> &read() const { return m_read; }
    // The lines that undo what was defined and select what was selected.
    std::string undo(const ScpiDialect &dialect) const;

  private:
    // Defines `parameter` as `handle`; false (and nothing kept) if refused.
    std::variant<bool, LinkError> define(ScpiTalk &talk, const ScpiDialect &dialect,
                                         const std::string &handle, std::string_view parameter);
    std::variant<std::monostate, LinkError> take(std::vector<std::string> handles);

    std::vector<std::string> m_read;
    std::vector<std::string> m_added; // named: defined by the program
    std::string m_selected;           // as found
    int m_count = 0;                  // numbered: the traces as found
    bool m_countChanged = false;
};

} // namespace varnel
