#include "cli/forms.h"
#include "cli/screw_journal.h"
#include "journal/journal.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"

#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view journalHelp =
    "      Lists what a journal holds: every unit with its number of records,\n"
    "      the first and last time and the last verdict; with --unit SERIAL that\n"
    "      unit's every check and diagnosis, oldest first, with its verdict,\n"
    "      return loss, source and plan of turns. --json prints one object (the\n"
    "      records' elements and plans as they were judged), --csv one row a\n"
    "      unit or record. Records of no --unit are listed with --unit \"\".\n";

// A record's plan, "Turn R3 0.25 turn clockwise, then sweep again"; empty
// for none.
std::string planOf(const JournalRecord &r) {
    const auto turns = planOfJson(r.plan);
    return turns.empty() ? std::string() : planText(turns);
}

std::string returnLossText(const std::optional<double> &db) {
    return db ? "  return loss " + formatFixed(*db, 2) + " dB" : std::string();
}

void listUnits(CommandIo &io, std::string_view where, const std::vector<UnitSummary> &units,
               const ParsedOptions &options) {
    if (options.has("--json")) {
        nlohmann::ordered_json j;
        j["journal"] = shownJournal(where);
        j["units"] = nlohmann::ordered_json::array();
        for (const UnitSummary &u : units)
            j["units"].push_back({{"unit", u.unit},
                                  {"design", u.design},
                                  {"records", u.records},
                                  {"first_time", u.firstTime},
                                  {"last_time", u.lastTime},
                                  {"last_verdict", u.lastVerdict}});
        io.out << jsonText(j) << '\n';
        return;
    }
    if (options.has("--csv")) {
        io.out << "unit,records,first_time,last_time,last_verdict,design\n";
        for (const UnitSummary &u : units)
            io.out << csvField(u.unit) << ',' << u.records << ',' << csvField(u.firstTime) << ','
                   << csvField(u.lastTime) << ',' << csvField(u.lastVerdict) << ','
                   << csvField(u.design) << '\n';
        return;
    }
    io.out << "Units in " << quotedName(shownJournal(where)) << ": " << units.size() << "\n";
    for (const UnitSummary &u : units)
        io.out << quotedName(u.unit) << "  " << u.records
               << (u.records == 1 ? " record  " : " records  ") << escapedText(u.firstTime)
               << " to " << escapedText(u.lastTime) << "  last " << escapedText(u.lastVerdict)
               << "  " << escapedText(u.design) << "\n";
}

nlohmann::ordered_json parsedOr(const std::string &text) {
    auto parsed = nlohmann::ordered_json::parse(text, nullptr, false);
    return parsed.is_discarded() ? nlohmann::ordered_json(text) : parsed;
}

void listRecords(CommandIo &io, std::string_view where, std::string_view unit,
                 const std::vector<JournalRecord> &records, const ParsedOptions &options) {
    if (options.has("--json")) {
        nlohmann::ordered_json j;
        j["journal"] = shownJournal(where);
        j["unit"] = std::string(unit);
        j["records"] = nlohmann::ordered_json::array();
        for (const JournalRecord &r : records)
            j["records"].push_back(
                {{"id", r.id},
                 {"time", r.time},
                 {"kind", r.kind},
                 {"source", r.source},
                 {"verdict", r.verdict},
                 {"return_loss_db", r.returnLossDb ? nlohmann::ordered_json(*r.returnLossDb)
                                                   : nlohmann::ordered_json(nullptr)},
                 {"design", r.design},
                 {"elements", parsedOr(r.elements)},
                 {"plan", parsedOr(r.plan)},
                 {"sweep_kept", r.sweep.has_value()}});
        io.out << jsonText(j) << '\n';
        return;
    }
    if (options.has("--csv")) {
        io.out << "id,time,kind,verdict,return_loss_db,source,plan,design\n";
        for (const JournalRecord &r : records)
            io.out << r.id << ',' << csvField(r.time) << ',' << csvField(r.kind) << ','
                   << csvField(r.verdict) << ','
                   << (r.returnLossDb ? formatShortest(*r.returnLossDb) : std::string()) << ','
                   << csvField(r.source) << ',' << csvField(planOf(r)) << ',' << csvField(r.design)
                   << '\n';
        return;
    }
    io.out << "Unit " << quotedName(unit) << " in " << quotedName(shownJournal(where)) << ": "
           << records.size() << (records.size() == 1 ? " record\n" : " records\n");
    for (const JournalRecord &r : records) {
        io.out << escapedText(r.time) << "  " << escapedText(r.kind) << "  "
               << escapedText(r.verdict) << returnLossText(r.returnLossDb) << "  "
               << quotedName(r.source) << "\n";
        if (const std::string plan = planOf(r); !plan.empty())
            io.out << "  plan: " << plan << "\n";
    }
}

int runJournal(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 1)
        return usageError(io, "journal needs the journal, DB, and nothing else");
    if (options.has("--json") && options.has("--csv"))
        return usageError(io, "--json and --csv exclude each other");
    const std::string where(options.positional[0]);
    int status = ExitOk;
    const auto opened = existingJournal(io, where, status);
    if (!opened)
        return status;
    Journal &journal = *opened;
    if (const auto unit = options.value("--unit")) {
        auto records = journal.records(*unit);
        if (auto *error = std::get_if<JournalError>(&records))
            return failure(io, journalErrorText(*error), ExitRunTimeError);
        listRecords(io, where, *unit, std::get<std::vector<JournalRecord>>(records), options);
    } else {
        auto units = journal.units();
        if (auto *error = std::get_if<JournalError>(&units))
            return failure(io, journalErrorText(*error), ExitRunTimeError);
        listUnits(io, where, std::get<std::vector<UnitSummary>>(units), options);
    }
    return ExitOk;
}

constexpr OptionRow journalOptions[] = {{"--unit", "SERIAL"},
                                        {"--json", "", {}, InUsage::Optional, true},
                                        {"--csv", ""},
                                        {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form journalForm{"journal", "DB", "", journalHelp, journalOptions, runJournal};

} // namespace varnel
