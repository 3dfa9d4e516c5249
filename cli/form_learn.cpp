#include "cli/forms.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "journal/journal.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view learnHelp =
    "      Learns what a turn of one screw does: diagnoses the sweeps BEFORE and\n"
    "      AFTER --turned TURNS of --screw (R1..RN a resonator, K12, K23, ... a\n"
    "      coupling, QIN and QOUT the ports; turns signed, clockwise positive)\n"
    "      and keeps in --journal, for this design, every element's change a\n"
    "      turn: MHz for a resonator, % for a coupling or a Qe. No sign is\n"
    "      assumed. Learned again, a screw's column is the least-squares slope\n"
    "      over all its turns. diagnose --journal then plans the turns of every\n"
    "      learned screw at once.\n";

// "resonator 3", "coupling 3-4", "Qe in", "Qe out".
std::string elementName(const Finding &f) {
    switch (f.element) {
    case Finding::Resonator:
        return "resonator " + std::to_string(f.index);
    case Finding::Coupling:
        return "coupling " + std::to_string(f.lowerEnd()) + "-" + std::to_string(f.index);
    case Finding::External:
        break;
    }
    return f.index == 1 ? "Qe in" : "Qe out";
}

// The diagnosis of one sweep, or the status after saying why it cannot be
// learned from.
std::optional<Diagnosis> diagnosedFor(CommandIo &io, const ParsedOptions &options,
                                      const StageInputs &inputs, std::string_view path,
                                      int &status) {
    const auto network = readSweep(io, path, std::nullopt, status, options);
    if (!network)
        return std::nullopt;
    auto result = diagnoseFilter(inputs.table, *network, diagnoseSettings(options, inputs));
    if (const auto *why = std::get_if<DiagnoseRefusal>(&result)) {
        status = failure(io, sourceName(path) + ": " + diagnoseRefusalText(*why), ExitRunTimeError);
        return std::nullopt;
    }
    Diagnosis &d = std::get<Diagnosis>(result);
    if (d.outcome == Diagnosis::TooFar) {
        status =
            failure(io, sourceName(path) + ": too far from tune to learn from: " + diagnosisText(d),
                    ExitUndecided);
        return std::nullopt;
    }
    return std::move(d);
}

int runLearn(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() < 2)
        return usageError(io, "learn needs the sweeps BEFORE and AFTER the turn");
    for (const char *needed : {"--journal", "--screw", "--turned"})
        if (!options.has(needed))
            return usageError(io, std::string("learn needs ") + needed);
    if (options.has("--zeros") || options.has("--topology"))
        return usageError(io, "learn takes in-line designs (no --zeros or --topology)");
    int status = ExitOk;
    const StageInputTexts defaults = diagnoseDefaults();
    const auto inputs =
        stageInputs(io, options, std::span(options.positional).subspan(2), status, defaults, false);
    if (!inputs)
        return status;
    const int order = static_cast<int>(inputs->table.stages.size());
    const std::string name(options.value("--screw").value_or(""));
    const auto screw = parseScrew(name, order);
    if (!screw)
        return usageError(io, "--screw needs R1..R" + std::to_string(order) +
                                  ", K12 (a coupling), QIN or QOUT, got " + quotedToken(name));
    const std::string turnedText(options.value("--turned").value_or(""));
    const auto turned = parseDecimal(turnedText);
    if (!turned || *turned == 0 || std::abs(*turned) > 20)
        return usageError(io, "--turned needs the turns, signed, clockwise positive (such as "
                              "0.25 or -0.5), not 0 and at most 20, got " +
                                  quotedToken(turnedText));
    const auto before = diagnosedFor(io, options, *inputs, options.positional[0], status);
    if (!before)
        return status;
    const auto after = diagnosedFor(io, options, *inputs, options.positional[1], status);
    if (!after)
        return status;
    const std::string where(*options.value("--journal"));
    auto opened = Journal::open(where);
    if (auto *error = std::get_if<JournalError>(&opened))
        return failure(io, journalErrorText(*error), ExitRunTimeError);
    Journal &journal = *std::get<std::unique_ptr<Journal>>(opened);
    auto learned = learnInJournal(journal, *inputs, *screw, *turned, *before, *after);
    if (auto *error = std::get_if<JournalError>(&learned))
        return failure(io, journalErrorText(*error), ExitRunTimeError);
    if (!std::get<LearnedScrew>(learned).matched)
        return failure(io, "the two sweeps' diagnoses list other elements", ExitRunTimeError);
    const Sensitivities &s = std::get<LearnedScrew>(learned).sensitivities;
    const std::size_t k = *s.find(*screw);
    char line[96];
    std::snprintf(line, sizeof line, "%s learned from %.3g turn %s; a turn clockwise moves\n",
                  screwName(*screw).c_str(), std::abs(*turned),
                  *turned > 0 ? "clockwise" : "anticlockwise");
    io.out << line;
    for (std::size_t e = 0; e < before->elements.size(); ++e) {
        const bool resonator = before->elements[e].finding.element == Finding::Resonator;
        const double v = s.columns[k][e] * (resonator ? 1 : 100);
        std::snprintf(line, sizeof line, "  %-14s %+.4f %s\n",
                      elementName(before->elements[e].finding).c_str(), v, resonator ? "MHz" : "%");
        io.out << line;
    }
    return ExitOk;
}

constexpr OptionRow learnOptions[] = {{"--journal", "DB", {}, InUsage::Required},
                                      {"--screw", "NAME", {}, InUsage::Required},
                                      {"--turned", "TURNS", {}, InUsage::Required},
                                      {"--f0", "MHZ", {}, InUsage::Required},
                                      {"--qu", "Q"},
                                      {"--s11-only", ""},
                                      {"--resonator", "lumped|coaxial|waveguide|auto"},
                                      {"--cutoff", "MHZ"},
                                      {"--coupling-slope", "P"},
                                      {"--qe-slope", "P"},
                                      timeoutRow,
                                      portsRow,
                                      {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form learnForm{"learn", "BEFORE AFTER", fieldsArguments, learnHelp, learnOptions, runLearn};

} // namespace varnel
