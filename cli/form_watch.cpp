#include "analyser_link/analyser.h"
#include "analyser_link/source_address.h"
#include "cli/design_options.h"
#include "cli/forms.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"
#include "tuning/check.h"

#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

namespace varnel {

namespace {

constexpr std::string_view watchHelp =
    "      Checks every new sweep of SOURCE as check does, one verdict a line\n"
    "      (or with --json one check --json object a line, with its \"sweep\"\n"
    "      number), until interrupted or --count sweeps. A file is checked again\n"
    "      each time it is saved anew; an analyser sweeps once for each verdict\n"
    "      and is connected again every quarter second after a loss. Exit\n"
    "      status that of the last verdict (0, 3 or 4); 1 when the source cannot\n"
    "      be reached at the start or answers what cannot be read. With\n"
    "      --journal DB every sweep's check is kept in the journal, as check\n"
    "      keeps one. --diagnose: the whole filter is diagnosed instead, as\n"
    "      diagnose does (no --stage; S11 and S21 of each sweep), one verdict a\n"
    "      line, and with --journal each sweep is kept with the plan of turns of\n"
    "      the learned screws, which the line ends with.\n";

using Clock = std::chrono::steady_clock;

// The next sweep of a file: once its size or modification time differs
// from the last read's, read whole (the reader waits for it to settle).
class FileSweeps {
  public:
    explicit FileSweeps(std::string path) : m_path(std::move(path)) {}
    std::optional<Network> next(CommandIo &io, std::optional<SParameter> parameter, int &status) {
        while (true) {
            struct stat now {};
            if (::stat(m_path.c_str(), &now) == 0 &&
                (!m_read || now.st_size != m_size || now.st_mtim.tv_sec != m_seconds ||
                 now.st_mtim.tv_nsec != m_nanoseconds)) {
                m_read = true;
                m_size = now.st_size;
                m_seconds = now.st_mtim.tv_sec;
                m_nanoseconds = now.st_mtim.tv_nsec;
                return readSweep(io, m_path, parameter, status);
            }
            if (!m_read) // a file that is not there at the start
                return readSweep(io, m_path, parameter, status);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

  private:
    std::string m_path;
    bool m_read = false;
    off_t m_size = 0;
    time_t m_seconds = 0;
    long m_nanoseconds = 0;
};

// The analyser's next sweep; a lost link is connected again every quarter
// second until it answers, a protocol error ends the watch (`status`).
std::optional<Network> analyserSweep(CommandIo &io, std::string_view path,
                                     const SourceAddress &source,
                                     std::unique_ptr<Analyser> &analyser,
                                     std::optional<SParameter> parameter, int &status) {
    while (true) {
        auto taken = analyser->sweep();
        if (auto *n = std::get_if<Network>(&taken))
            return keptFromSweep(io, path, std::move(*n), parameter, status);
        const LinkError &error = std::get<LinkError>(taken);
        if (error.kind == LinkError::Interrupted) {
            status = ExitInterrupted;
            return std::nullopt;
        }
        if (error.kind == LinkError::Protocol) {
            status = failure(io, sourceName(path) + ": " + linkErrorText(error), ExitRunTimeError);
            return std::nullopt;
        }
        io.err << "varnel-calc: " << sourceName(path) << ": " << linkErrorText(error)
               << "; connecting again" << std::endl;
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (linksInterrupted()) {
                status = ExitInterrupted;
                return std::nullopt;
            }
            auto again = connectAnalyser(source);
            if (auto *a = std::get_if<std::unique_ptr<Analyser>>(&again)) {
                analyser = std::move(*a);
                break;
            }
        }
    }
}

// One sweep's verdict: a JSON line (the sweep's number, then the check's
// report) or "sweep N: FAIL: ..." on one line.
void printSweepVerdict(CommandIo &io, long long sweep, const CheckReport &report,
                       const StageInputs &inputs, bool json) {
    if (json) {
        nlohmann::ordered_json line;
        line["sweep"] = sweep;
        const nlohmann::ordered_json document = checkJson(report, inputs);
        for (const auto &[key, value] : document.items())
            line[key] = value;
        io.out << jsonLine(line) << '\n';
        return;
    }
    const Verdict &v = report.verdict;
    std::string text = verdictText(v);
    for (char &c : text)
        if (c == '\n')
            c = ' ';
    io.out << "sweep " << sweep << ": " << verdictWord(v.outcome) << ": " << text << '\n';
}

// One sweep of the whole filter diagnosed as diagnose --journal does: a
// JSON line (the sweep's number, then diagnose's document) or "sweep N:
// FAIL: Resonator 1 is ... Plan: Turn R1 0.25 turn clockwise, then sweep
// again. Return loss expected after it: 24.10 dB" on one line. The
// verdict's status; a sweep that cannot be diagnosed ends the watch.
int watchDiagnosis(CommandIo &io, const ParsedOptions &options, const StageInputs &inputs,
                   std::string_view path, const Network &network, Journal *journal,
                   long long sweep) {
    const auto diagnosed = diagnoseFilter(inputs.table, network, diagnoseSettings(options, inputs));
    if (const auto *why = std::get_if<DiagnoseRefusal>(&diagnosed))
        return failure(io, sourceName(path) + ": " + diagnoseRefusalText(*why), ExitRunTimeError);
    const Diagnosis &d = std::get<Diagnosis>(diagnosed);
    const JournalledDiagnosis journalled =
        journalledDiagnosis(io, journal, options, inputs, path, network, d);
    if (options.has("--json")) {
        nlohmann::ordered_json line;
        line["sweep"] = sweep;
        for (const auto &[key, value] : journalled.document.items())
            line[key] = value;
        io.out << jsonLine(line) << '\n';
    } else {
        const char *word = d.outcome == Diagnosis::Pass   ? "PASS: "
                           : d.outcome == Diagnosis::Fail ? "FAIL: "
                                                          : "TOO FAR: ";
        std::string text = word + diagnosisText(d);
        if (journalled.plan)
            text.append(" Plan: ")
                .append(planText(journalled.plan->turns))
                .append(". Return loss expected after it: ")
                .append(formatFixed(journalled.plan->predictedReturnLossDb, 2))
                .append(" dB");
        // On one line, its blanks collapsed.
        std::string flat;
        for (const char c : text)
            if (c != '\n' && c != ' ')
                flat.push_back(c);
            else if (!flat.empty() && flat.back() != ' ')
                flat.push_back(' ');
        io.out << "sweep " << sweep << ": " << flat << '\n';
    }
    return d.outcome == Diagnosis::Pass   ? ExitOk
           : d.outcome == Diagnosis::Fail ? ExitOutsideTolerance
                                          : ExitUndecided;
}

// --count's number of sweeps, 0 (until interrupted) without it; nullopt
// after a usage message.
std::optional<long long> sweepCount(CommandIo &io, const ParsedOptions &options) {
    if (!options.has("--count"))
        return 0;
    return wholeOption(io, options, "--count", 1, 1'000'000'000);
}

int runWatch(const ParsedOptions &options, CommandIo &io) {
    if (const int refused = refuseCrossCoupled(io, options); refused != ExitOk)
        return refused;
    if (options.positional.empty())
        return usageError(io, "watch needs a SOURCE");
    if (const auto problem = journalOptionsProblem(options))
        return usageError(io, *problem);
    const auto count = sweepCount(io, options);
    if (!count)
        return ExitUsage;
    int status = ExitOk;
    const bool whole = options.has("--diagnose");
    const auto inputs = stageInputs(io, options, std::span(options.positional).subspan(1), status,
                                    whole ? diagnoseDefaults() : StageInputTexts{}, !whole);
    if (!inputs)
        return status;
    // The whole filter's diagnosis reads every parameter a sweep has.
    const std::optional<SParameter> parameter =
        whole ? std::nullopt : std::optional(inputs->check.parameter);
    const std::string_view path = options.positional[0];
    if (path == standardInputPath)
        return usageError(io, "watch needs a file or an analyser to watch, not standard input");
    const auto address = sourceAddress(io, path, options.value("--timeout").value_or(""), status);
    if (!address)
        return status;
    const SourceAddress &source = *address;
    // Outlives the analyser, which is set back first.
    std::optional<LinkInterruption> interruption;
    std::unique_ptr<Analyser> analyser;
    if (source.kind != SourceAddress::File) {
        interruption.emplace();
        auto connected = connectAnalyser(source);
        if (auto *error = std::get_if<LinkError>(&connected))
            return failure(io, sourceName(path) + ": " + linkErrorText(*error), ExitRunTimeError);
        analyser = std::move(std::get<std::unique_ptr<Analyser>>(connected));
    }
    FileSweeps files{std::string(path)};
    const auto journal = openedJournal(io, options);
    int last = ExitOk;
    for (long long sweep = 1; *count == 0 || sweep <= *count; ++sweep) {
        std::optional<Network> network;
        if (analyser) {
            network = analyserSweep(io, path, source, analyser, parameter, status);
            if (!network)
                return status;
        } else {
            network = files.next(io, parameter, status);
            if (!network)
                return status;
        }
        if (whole) {
            last = watchDiagnosis(io, options, *inputs, path, *network, journal.get(), sweep);
            io.out.flush();
            if (writeFailed(io))
                return ExitRunTimeError;
            if (last == ExitRunTimeError)
                return last;
            continue;
        }
        CheckSettings lean = inputs->check;
        lean.comparison = false;
        const auto checked = checkStage(inputs->table, *network, lean);
        if (const auto *why = std::get_if<CheckRefusal>(&checked))
            return failure(io, sourceName(path) + ": " + checkRefusalText(*why), ExitRunTimeError);
        const CheckReport &report = std::get<CheckReport>(checked);
        if (journal) {
            const nlohmann::ordered_json j = checkJson(report, *inputs);
            recordJudged(io, *journal, options, *inputs, path, *network,
                         {"check", j["verdict"], std::nullopt, judgedElementsJson(j), "[]"});
        }
        printSweepVerdict(io, sweep, report, *inputs, options.has("--json"));
        io.out.flush();
        if (writeFailed(io))
            return ExitRunTimeError;
        last = verdictStatus(report.verdict.outcome);
    }
    return last;
}

constexpr OptionRow watchOwnOptions[] = {{"--diagnose", ""},
                                         {"--count", "N"},
                                         {"--json", ""},
                                         timeoutRow,
                                         {"--help", "", "-h", InUsage::Hidden}};
constexpr auto watchOptions = joinedOptions(
    joinedOptions(joinedOptions(stageCheckOptions, crossCoupledRows), watchOwnOptions),
    journalRows);

} // namespace

const Form watchForm{"watch", "SOURCE", fieldsArguments, watchHelp, watchOptions, runWatch};

} // namespace varnel
