#pragma once

#include "analyser_link/source_address.h"
#include "cli/command_io.h"
#include "touchstone/touchstone.h"
#include "tuning/stage_inputs.h"

#include <signal.h>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What the forms over sweeps (delay, curve, check) share: their options read
// through the stage-input rules, problems reported as varnel-calc reports
// them, the sweep file read, and output written block by block.
namespace varnel {

// The options of a stage check, shared by check and watch.
inline constexpr OptionRow stageCheckOptions[] = {{"--stage", "K", {}, InUsage::Required},
                                                  {"--f0", "MHZ", {}, InUsage::Required},
                                                  {"--qu", "Q"},
                                                  {"--param", "Sij"},
                                                  {"--aperture", "A"},
                                                  {"--edelay", "NS"},
                                                  {"--tol", "PCT"},
                                                  {"--tol-freq", "PCT"},
                                                  {"--resonator", "lumped|coaxial|waveguide|auto"},
                                                  {"--cutoff", "MHZ"},
                                                  {"--output", "loaded|open"},
                                                  {"--coupling-slope", "P"},
                                                  {"--qe-slope", "P"}};

// A waveguide's cut-off in a report: ", cut-off 700.0 MHz (given)" or ",
// cut-off 702.4 MHz (fitted; 650.0 to 760.0 MHz fit as well)"; empty for
// other kinds.
std::string cutoffText(ResonatorKind kind, double cutoffMHz,
                       const std::optional<CutoffRange> &fitted);

// The verdict's word ("PASS", "FAIL", "UNCERTAIN") and exit status (0, 3, 4).
const char *verdictWord(Verdict::Outcome outcome);
int verdictStatus(Verdict::Outcome outcome);

// A number with `decimals` decimals and its sign always written: +0.250,
// -1.30; one that is not a number or is infinite (a fit that ran away
// through a scale of 0) "undefined", never "-nan".
std::string signedFixed(double value, int decimals);

// One option table of `first`'s rows, then `rest`'s.
template <std::size_t A, std::size_t B>
constexpr std::array<OptionRow, A + B> joinedOptions(const OptionRow (&first)[A],
                                                     const OptionRow (&rest)[B]) {
    std::array<OptionRow, A + B> rows{};
    for (std::size_t i = 0; i < A; ++i)
        rows[i] = first[i];
    for (std::size_t i = 0; i < B; ++i)
        rows[A + i] = rest[i];
    return rows;
}
template <std::size_t A, std::size_t B>
constexpr std::array<OptionRow, A + B> joinedOptions(const std::array<OptionRow, A> &first,
                                                     const OptionRow (&rest)[B]) {
    std::array<OptionRow, A + B> rows{};
    for (std::size_t i = 0; i < A; ++i)
        rows[i] = first[i];
    for (std::size_t i = 0; i < B; ++i)
        rows[A + i] = rest[i];
    return rows;
}

// While one lives, SIGINT interrupts the analyser links (interruptLinks)
// rather than ending the program, so that it sets the analyser back as it
// found it and exits with ExitInterrupted; a second SIGINT ends it at once.
class LinkInterruption {
  public:
    LinkInterruption();
    ~LinkInterruption();
    LinkInterruption(const LinkInterruption &) = delete;
    LinkInterruption &operator=(const LinkInterruption &) = delete;

  private:
    struct sigaction m_previous {};
};

// The texts of the options given (--f0, --qu, --stage, --param, --aperture,
// --edelay, --tol, ...), `defaults` for the rest.
StageInputTexts inputTexts(const ParsedOptions &options, StageInputTexts defaults = {});

// Reports a problem: a run-time error as "error N: ..." (status 1), a table
// refusal as a failure (status 2), any other as a usage error naming the
// option (status 2). Returns the status.
int reportProblem(CommandIo &io, const InputProblem &problem);

// The table, stage, f0, Qu and sweep settings of curve, check and
// diagnose, with the fields from `fields` and `defaults` for the options
// not given; --f0, and --stage unless `needsStage` is false, are required.
// nullopt after reporting the first problem (status set).
std::optional<StageInputs> stageInputs(CommandIo &io, const ParsedOptions &options,
                                       std::span<const std::string_view> fields, int &status,
                                       const StageInputTexts &defaults = {},
                                       bool needsStage = true);

// Reads a sweep from a source (source_address.h): a file, or one complete
// sweep of an analyser, keeping one parameter (all without one). nullopt
// after the message naming the source, with the status: 2 for a usage
// error (an address that does not read, a parameter the file or analyser
// does not give), 1 otherwise (a file that does not read, an analyser that
// does not answer).
// `timeout`, when given, is --timeout's text (readTimeouts): the analyser's
// timeouts, over any the address has. The path "-" is standard input, read
// whole; `ports`, when not 0, is the port count of a version 1 text,
// otherwise taken from a file's name or standard input's data
// (portsFromData).
std::optional<Network> readSweep(CommandIo &io, std::string_view path,
                                 std::optional<SParameter> parameter, int &status,
                                 std::string_view timeout = {}, int ports = 0);
// As readSweep, with the --timeout and --ports (1 to 4) of `options` when
// given; a --ports that does not read is a usage error.
std::optional<Network> readSweep(CommandIo &io, std::string_view path,
                                 std::optional<SParameter> parameter, int &status,
                                 const ParsedOptions &options);
// The path that stands for standard input.
inline constexpr std::string_view standardInputPath = "-";
// A source as messages and reports name it: "standard input" for "-",
// otherwise quoted as quotedName quotes a file's name.
std::string sourceName(std::string_view path);
// The address `path` names, with --timeout's timeouts when given; a usage
// error (status 2) when either does not read.
std::optional<SourceAddress> sourceAddress(CommandIo &io, std::string_view path,
                                           std::string_view timeout, int &status);
// The --timeout row of the forms that read a sweep.
inline constexpr OptionRow timeoutRow{"--timeout", "SECONDS"};
// The --ports row of the forms that read a sweep: the port count of a text
// without a ".sNp" name.
inline constexpr OptionRow portsRow{"--ports", "N"};
// An analyser's sweep keeping one parameter, as readSweep does.
std::optional<Network> keptFromSweep(CommandIo &io, std::string_view path, Network network,
                                     std::optional<SParameter> parameter, int &status);

// Writes `text` when it has grown past a block, so that memory stays bounded
// and a failed write stops the run early; false after a failed write.
bool flushBlock(CommandIo &io, std::string &text);

} // namespace varnel
