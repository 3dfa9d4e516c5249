#include "command_line.h"

#include "batch.h"
#include "calculate.h"
#include "conversions.h"
#include "table_output.h"
#include "tuning_table.h"

#include <algorithm>
#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnel {

namespace {

constexpr std::string_view usage = "Usage: varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]\n"
                                   "       varnel-calc --batch\n"
                                   "       varnel-calc --help | --version\n";

constexpr std::string_view help =
    "Group delay of the input reflection at band centre, in ns, of a Chebyshev\n"
    "band-pass cavity filter: the target for tuning the first resonator.\n"
    "\n"
    "  varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]\n"
    "      ORDER is the number of resonators, BANDWIDTH in MHz, RIPPLE the passband\n"
    "      ripple in dB. Each is read exactly as the window reads its field: blanks\n"
    "      are ignored and the leading number is taken (\"10MHz\" is 10, \"abc\" is 0).\n"
    "      An omitted one takes the window's initial value (5, 10, 0.01).\n"
    "      Prints the delay, e.g. \"48.149\". On a run-time error prints\n"
    "      \"error N: DESCRIPTION\" to standard error and exits with status 1:\n"
    "      error 6: Overflow, error 11: Division by zero.\n"
    "\n"
    "  varnel-calc --batch\n"
    "      Reads lines of three tab-separated fields ORDER<TAB>BANDWIDTH<TAB>RIPPLE\n"
    "      from standard input and writes one line per input line: the delay,\n"
    "      \"error N: DESCRIPTION\", or \"invalid: REASON\" for a line that is not\n"
    "      three fields. Exits with status 1 if any line was invalid.\n"
    "\n"
    "  varnel-calc table [--csv] [--f0 MHZ] [ORDER [BANDWIDTH [RIPPLE]]]\n"
    "      The tuning plan for every resonator: the prototype element values g,\n"
    "      the target delay of each stage (resonators 1..k tuned, the rest\n"
    "      detuned; stage 1 is the delay above), the passband return loss and,\n"
    "      with the band centre --f0 in MHz, the external Q and the coupling\n"
    "      coefficients. --csv writes stage,g,delay_ns,coupling rows. Orders\n"
    "      from 1 to 100.\n"
    "\n"
    "  Use \"--\" before a field text that starts with \"-\" and a letter.\n"
    "  Exit status: 0 success, 1 run-time error or invalid line, 2 usage error.\n";

bool looksLikeOption(std::string_view arg) {
    if (arg.starts_with("--"))
        return true;
    return arg.size() >= 2 && arg[0] == '-' &&
           ((arg[1] >= 'a' && arg[1] <= 'z') || (arg[1] >= 'A' && arg[1] <= 'Z'));
}

int runBatch(std::istream &in, std::ostream &out) {
    BatchProcessor batch;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0)
            break;
        batch.feed(std::string_view(buffer.data(), got));
        out << batch.output();
        batch.output().clear();
    }
    batch.finish();
    out << batch.output();
    out.flush();
    return batch.sawInvalidLine() ? ExitRunTimeError : ExitOk;
}

int runSingle(const std::array<std::string_view, 3> &texts, std::ostream &out, std::ostream &err) {
    const Result<std::string> answer = calculate(texts[0], texts[1], texts[2]);
    if (!answer) {
        err << errorLine(answer.error()) << '\n';
        return ExitRunTimeError;
    }
    out << *answer << '\n';
    return ExitOk;
}

// Fills the field texts from the positional arguments; false if too many.
bool takeFields(const std::vector<std::string_view> &fields, std::array<std::string_view, 3> &texts,
                std::ostream &err) {
    texts = {initialText::order, initialText::bandwidth, initialText::ripple};
    if (fields.size() > texts.size()) {
        err << "varnel-calc: at most three fields (ORDER BANDWIDTH RIPPLE), got " << fields.size()
            << '\n'
            << usage;
        return false;
    }
    std::copy(fields.begin(), fields.end(), texts.begin());
    return true;
}

int runTable(std::span<const std::string_view> args, std::ostream &out, std::ostream &err) {
    std::vector<std::string_view> fields;
    bool csv = false;
    std::optional<std::string_view> f0Text;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            fields.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--csv") {
            csv = true;
        } else if (arg == "--f0" && i + 1 < args.size()) {
            f0Text = args[++i];
        } else if (arg.starts_with("--f0=")) {
            f0Text = arg.substr(5);
        } else if (arg == "--f0") {
            err << "varnel-calc: --f0 needs the band-centre frequency in MHz\n" << usage;
            return ExitUsage;
        } else {
            err << "varnel-calc: unknown option '" << arg << "'\n" << usage;
            return ExitUsage;
        }
    }
    std::array<std::string_view, 3> texts;
    if (!takeFields(fields, texts, err))
        return ExitUsage;
    std::optional<double> f0;
    if (f0Text) {
        const Result<double> value = readLeadingNumber(*f0Text);
        if (!value) {
            err << errorLine(value.error()) << '\n';
            return ExitRunTimeError;
        }
        if (!(*value > 0)) {
            err << "varnel-calc: --f0 must be a positive frequency in MHz, got '" << *f0Text
                << "'\n";
            return ExitUsage;
        }
        f0 = *value;
    }
    const TableResult result = tuningTable(texts[0], texts[1], texts[2], f0);
    if (result.refusal) {
        if (result.refusal->kind == TableRefusal::OrderOutOfRange) {
            err << "varnel-calc: a tuning table needs an order from " << tableMinimumOrder << " to "
                << tableMaximumOrder << "; the order reads as " << result.refusal->order << '\n';
            return ExitUsage;
        }
        err << errorLine(result.refusal->error) << '\n';
        return ExitRunTimeError;
    }
    out << (csv ? formatTableCsv(*result.table) : formatTableText(*result.table));
    return ExitOk;
}

} // namespace

int runCommandLine(std::span<const std::string_view> args, std::istream &in, std::ostream &out,
                   std::ostream &err) {
    if (!args.empty() && args[0] == "table")
        return runTable(args.subspan(1), out, err);
    std::vector<std::string_view> fields;
    bool batch = false;
    bool optionsEnded = false;
    for (const std::string_view arg : args) {
        if (optionsEnded || !looksLikeOption(arg)) {
            fields.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            out << help;
            return ExitOk;
        } else if (arg == "--version") {
            out << "varnel-calc 1.00\n";
            return ExitOk;
        } else if (arg == "--batch") {
            batch = true;
        } else {
            err << "varnel-calc: unknown option '" << arg << "'\n" << usage;
            return ExitUsage;
        }
    }
    if (batch && !fields.empty()) {
        err << "varnel-calc: --batch reads its fields from standard input, not arguments\n"
            << usage;
        return ExitUsage;
    }
    if (batch)
        return runBatch(in, out);
    std::array<std::string_view, 3> texts;
    if (!takeFields(fields, texts, err))
        return ExitUsage;
    return runSingle(texts, out, err);
}

} // namespace varnel
