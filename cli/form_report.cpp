#include "cli/forms.h"
#include "cli/report_html.h"
#include "cli/screw_journal.h"
#include "cli/sweep_options.h"
#include "journal/journal.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "report_json/json_output.h"
#include "touchstone/touchstone.h"
#include "tuning/filter_fit.h"
#include "tuning/stage_model.h"
#include "tuning/tuning_table.h"

#include <cmath>
#include <ctime>
#include <map>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view reportHelp =
    "      Writes a unit's bench sheet as a page of its own (--html OUT): the\n"
    "      design, the last sweep kept (--keep-sweeps) drawn against the\n"
    "      design's own response (S11 and S21 in dB, SVG), every element of the\n"
    "      last diagnosis with its tolerance, the verdict, the time from the\n"
    "      first sweep to the first pass and the number of sweeps, and the\n"
    "      unit's whole history. OUT is written whole or not at all.\n";

// "order=5 bandwidth=10 ..." read back into its fields.
std::map<std::string, std::string> designFields(std::string_view key) {
    std::map<std::string, std::string> fields;
    while (!key.empty()) {
        const std::size_t blank = key.find(' ');
        const std::string_view item = key.substr(0, blank);
        if (const std::size_t eq = item.find('='); eq != std::string_view::npos)
            fields[std::string(item.substr(0, eq))] = std::string(item.substr(eq + 1));
        key = blank == std::string_view::npos ? std::string_view() : key.substr(blank + 1);
    }
    return fields;
}

std::string recordVerdict(const std::string &verdict) {
    if (verdict == "too_far")
        return "TOO FAR";
    return asciiUpper(verdict);
}

std::optional<std::time_t> timeOf(const std::string &text) {
    std::tm t{};
    const char *end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &t);
    if (!end || *end)
        return std::nullopt;
    return timegm(&t);
}

// "1 sweep", "3 sweeps".
std::string sweepsText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " sweep" : " sweeps");
}

// "PASS after 3 sweeps, 12 min 30 s from the first", or how far it is.
std::string progressText(const std::vector<JournalRecord> &records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].verdict != "pass")
            continue;
        std::string text = "PASS after " + sweepsText(i + 1);
        const auto first = timeOf(records.front().time), passed = timeOf(records[i].time);
        if (first && passed) {
            const long seconds = static_cast<long>(*passed - *first);
            text += ", " + std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) +
                    " s from the first";
        }
        return text;
    }
    return "Not passed yet: " + sweepsText(records.size()) + " since " + records.front().time;
}

void addElements(BenchSheet &sheet, const nlohmann::ordered_json &e) {
    const double tolFreq = jsonNumber(e, "tolerance_freq_percent"),
                 tol = jsonNumber(e, "tolerance_percent");
    const std::string freqText = "\u00b1 " + formatShortest(tolFreq) + " % of BW";
    const std::string tolText = "\u00b1 " + formatShortest(tol) + " %";
    for (const auto &r : e.value("resonators", nlohmann::ordered_json::array())) {
        const double percent = jsonNumber(r, "offset_percent_bw");
        sheet.elements.push_back({"resonator " + formatShortest(jsonNumber(r, "index")),
                                  signedFixed(jsonNumber(r, "offset_mhz"), 3) + " MHz (" +
                                      signedFixed(percent, 2) + " % of BW)",
                                  freqText, std::abs(percent) <= tolFreq});
    }
    for (const auto &c : e.value("couplings", nlohmann::ordered_json::array())) {
        const double percent = jsonNumber(c, "error_percent");
        sheet.elements.push_back({"coupling " + formatShortest(jsonNumber(c, "from")) + "-" +
                                      formatShortest(jsonNumber(c, "to")),
                                  signedFixed(percent, 2) + " %", tolText,
                                  std::abs(percent) <= tol});
    }
    for (const auto &p : e.value("external", nlohmann::ordered_json::array())) {
        const double percent = jsonNumber(p, "error_percent");
        sheet.elements.push_back({"port " + formatShortest(jsonNumber(p, "port")) + " Qe",
                                  signedFixed(percent, 2) + " %", tolText,
                                  std::abs(percent) <= tol});
    }
}

// The last sweep kept, against the design's response where the design is
// in-line.
void addPlot(BenchSheet &sheet, const std::vector<JournalRecord> &records) {
    const auto kept = std::find_if(records.rbegin(), records.rend(),
                                   [](const JournalRecord &r) { return r.sweep.has_value(); });
    if (kept == records.rend()) {
        sheet.plotNote = "No sweep of this unit was kept (--keep-sweeps).";
        return;
    }
    const auto read = readTouchstoneText("kept.s2p", *kept->sweep);
    if (!std::holds_alternative<Network>(read)) {
        sheet.plotNote = "The sweep kept at " + kept->time + " cannot be read.";
        return;
    }
    const Network &n = std::get<Network>(read);
    SheetPlot plot{n.frequencyMHz, {}};
    auto curve = [&](std::string name, std::string colour, bool dashed, auto &&values) {
        SheetCurve c{std::move(name), std::move(colour), dashed, {}};
        for (const auto s : values)
            c.db.push_back(decibels(s));
        plot.curves.push_back(std::move(c));
    };
    for (const auto &[p, name, colour] : {std::tuple{SParameter{1, 1}, "S11", "#1f5fbf"},
                                          std::tuple{SParameter{2, 1}, "S21", "#2e8b3e"}})
        if (n.has(p))
            curve(std::string("measured ") + name, colour, false, n.parameter(p));
    auto fields = designFields(kept->design);
    const auto f0 = parseDecimal(fields["f0"]);
    const auto table = tuningTable(fields["order"], fields["bandwidth"], fields["ripple"], f0);
    if (fields["topology"] == "inline" && f0 && std::holds_alternative<TuningTable>(table)) {
        const auto design = designResponse(std::get<TuningTable>(table), *f0, {}, n.frequencyMHz);
        std::vector<std::complex<double>> s11, s21;
        for (const FilterPoint &p : design) {
            s11.push_back(p.s11);
            s21.push_back(p.s21);
        }
        curve("design S11", "#7a9fd6", true, s11);
        curve("design S21", "#8cc79a", true, s21);
        sheet.plotNote = "The sweep kept at " + kept->time + " (" + kept->source +
                         "), solid, against the design's own response, dashed.";
    } else {
        sheet.plotNote = "The sweep kept at " + kept->time + " (" + kept->source +
                         "); the design's response is drawn for in-line designs only.";
    }
    sheet.plot = std::move(plot);
}

BenchSheet sheetOf(std::string_view where, std::string_view unit,
                   const std::vector<JournalRecord> &records) {
    BenchSheet sheet;
    sheet.unit = std::string(unit);
    sheet.journal = shownJournal(where);
    sheet.design = records.back().design;
    sheet.verdict = recordVerdict(records.back().verdict) + " (" + records.back().kind + ", " +
                    records.back().time + ")";
    sheet.progress = progressText(records);
    addPlot(sheet, records);
    const auto diagnosed =
        std::find_if(records.rbegin(), records.rend(),
                     [](const JournalRecord &r) { return r.kind == "diagnose"; });
    if (diagnosed == records.rend()) {
        sheet.elementsNote = "No diagnosis of this unit is recorded.";
    } else {
        sheet.elementsNote = "As the last diagnosis found them, at " + diagnosed->time + ".";
        const auto e = nlohmann::ordered_json::parse(diagnosed->elements, nullptr, false);
        if (e.is_object())
            addElements(sheet, e);
    }
    for (const JournalRecord &r : records)
        sheet.history.push_back(
            {r.time, r.kind, recordVerdict(r.verdict),
             r.returnLossDb ? formatFixed(*r.returnLossDb, 2) + " dB" : std::string("-"),
             r.source});
    return sheet;
}

int runReport(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 1)
        return usageError(io, "report needs the journal, DB, and nothing else");
    for (const char *needed : {"--unit", "--html"})
        if (!options.has(needed))
            return usageError(io, std::string("report needs ") + needed);
    const std::string where(options.positional[0]);
    const std::string unit(*options.value("--unit"));
    const std::string out(*options.value("--html"));
    int status = ExitOk;
    const auto opened = existingJournal(io, where, status);
    if (!opened)
        return status;
    auto records = opened->records(unit);
    if (auto *error = std::get_if<JournalError>(&records))
        return failure(io, journalErrorText(*error), ExitRunTimeError);
    const auto &found = std::get<std::vector<JournalRecord>>(records);
    if (found.empty())
        return failure(io,
                       "journal " + quotedName(shownJournal(where)) + " holds no record of unit " +
                           quotedName(unit),
                       ExitRunTimeError);
    if (const std::string why = writeWhole(out, benchSheetHtml(sheetOf(where, unit, found)));
        !why.empty())
        return failure(io, quotedName(out) + ": cannot be written: " + why, ExitRunTimeError);
    return ExitOk;
}

constexpr OptionRow reportOptions[] = {{"--unit", "SERIAL", {}, InUsage::Required},
                                       {"--html", "OUT", {}, InUsage::Required},
                                       {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form reportForm{"report", "DB", "", reportHelp, reportOptions, runReport};

} // namespace varnel
