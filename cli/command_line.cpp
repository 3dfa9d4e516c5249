#include "cli/command_line.h"

#include "calculation/calculate.h"
#include "calculation/conversions.h"
#include "cli/batch.h"
#include "cli/command_io.h"
#include "cli/fd_stream.h"
#include "cli/options.h"
#include "cli/table_output.h"
#include "cli/tuning_commands.h"
#include "generated/version.h"
#include "tuning/tuning_table.h"

#include <algorithm>
#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnel {

namespace {

constexpr std::string_view fieldsHelp =
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
    "      three fields. Exits with status 1 if any line was invalid.\n";

constexpr std::string_view tableHelp =
    "  varnel-calc table [--csv] [--f0 MHZ] [ORDER [BANDWIDTH [RIPPLE]]]\n"
    "      The tuning plan for every resonator: the prototype element values g,\n"
    "      the target delay of each stage (resonators 1..k tuned, the rest\n"
    "      detuned; stage 1 is the delay above), the passband return loss and,\n"
    "      with the band centre --f0 in MHz, the external Q and the coupling\n"
    "      coefficients. --csv writes stage,g,delay_ns,coupling rows. Orders\n"
    "      from 1 to 100; the ripple and the bandwidth must be positive.\n";

constexpr std::string_view closingHelp =
    "\n"
    "  Use \"--\" before a field text that starts with \"-\" and a letter.\n"
    "  \"varnel-calc SUBCOMMAND --help\" describes one subcommand.\n"
    "  Exit status: 0 success, 1 run-time error, invalid batch line, unreadable\n"
    "  file or failed read or write, 2 usage error, 3 check outside its tolerance.\n";

std::string fullHelp();

int runBatch(CommandIo &io) {
    BatchProcessor batch;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        io.in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(io.in.gcount());
        if (got == 0)
            break;
        batch.feed(std::string_view(buffer.data(), got));
        io.out << batch.output();
        batch.output().clear();
        io.out.flush();
        if (writeFailed(io))
            return ExitRunTimeError;
    }
    if (const std::string why = streamFailure(io.in, true); !why.empty())
        return failure(io, "cannot read standard input: " + why, ExitRunTimeError);
    batch.finish();
    io.out << batch.output();
    return batch.sawInvalidLine() ? ExitRunTimeError : ExitOk;
}

int runFields(const ParsedOptions &options, CommandIo &io) {
    if (options.has("--help")) {
        io.out << fullHelp();
        return ExitOk;
    }
    if (options.has("--version")) {
        io.out << "varnel-calc " << version << '\n';
        return ExitOk;
    }
    if (options.has("--batch")) {
        if (!options.positional.empty())
            return usageError(io, "--batch reads its fields from standard input, not arguments");
        return runBatch(io);
    }
    const auto texts = fieldTexts(io, options.positional);
    if (!texts)
        return ExitUsage;
    const Result<std::string> answer = calculate((*texts)[0], (*texts)[1], (*texts)[2]);
    if (!answer) {
        io.err << errorLine(answer.error()) << '\n';
        return ExitRunTimeError;
    }
    io.out << *answer << '\n';
    return ExitOk;
}

int runTable(const ParsedOptions &options, CommandIo &io) {
    const auto texts = fieldTexts(io, options.positional);
    if (!texts)
        return ExitUsage;
    std::optional<double> f0;
    if (const auto f0Text = options.value("--f0")) {
        const Result<double> value = readLeadingNumber(*f0Text);
        if (!value) {
            io.err << errorLine(value.error()) << '\n';
            return ExitRunTimeError;
        }
        if (!(*value > 0))
            return failure(
                io, "--f0 must be a positive frequency in MHz, got '" + std::string(*f0Text) + "'",
                ExitUsage);
        f0 = *value;
    }
    int status = ExitOk;
    const std::optional<TuningTable> table = tableFor(io, *texts, f0, status);
    if (!table)
        return status;
    io.out << (options.has("--csv") ? formatTableCsv(*table) : formatTableText(*table));
    return ExitOk;
}

constexpr OptionRow fieldsOptions[] = {{"--batch", ""}, {"--version", ""}, {"--help", "", "-h"}};
constexpr OptionRow tableOptions[] = {{"--csv", ""}, {"--f0", "MHZ"}, {"--help", "", "-h"}};

constexpr Form fieldsForm{"",
                          "varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]\n       varnel-calc --batch",
                          fieldsHelp, fieldsOptions, runFields};
constexpr Form tableForm{"table",
                         "varnel-calc table [--csv] [--f0 MHZ] [ORDER [BANDWIDTH [RIPPLE]]]",
                         tableHelp, tableOptions, runTable};

const Form *const forms[] = {&fieldsForm, &tableForm, &delayForm, &curveForm, &checkForm};

} // namespace

std::string usageText() {
    std::string text;
    for (const Form *form : forms)
        text += (text.empty() ? "Usage: " : "       ") + std::string(form->usage) + '\n';
    text += "       varnel-calc [SUBCOMMAND] --help | --version\n";
    return text;
}

namespace {

std::string fullHelp() {
    std::string text = "Group delay of the input reflection at band centre, in ns, of a Chebyshev\n"
                       "band-pass cavity filter: the target for tuning the first resonator.\n";
    for (const Form *form : forms)
        text += '\n' + std::string(form->help);
    return text + std::string(closingHelp);
}

int runForm(const Form &form, std::span<const std::string_view> args, CommandIo &io) {
    auto parsed = parseOptions(args, form.options);
    if (const auto *message = std::get_if<std::string>(&parsed))
        return usageError(io, *message);
    const ParsedOptions &options = std::get<ParsedOptions>(parsed);
    if (!form.subcommand.empty() && options.has("--help")) {
        io.out << form.help;
        return ExitOk;
    }
    return form.run(options, io);
}

} // namespace

int runCommandLine(std::span<const std::string_view> args, std::istream &in, std::ostream &out,
                   std::ostream &err) {
    CommandIo io{in, out, err};
    const Form *form = forms[0];
    if (!args.empty()) {
        const auto named = std::find_if(std::begin(forms) + 1, std::end(forms),
                                        [&](const Form *f) { return f->subcommand == args[0]; });
        if (named != std::end(forms)) {
            form = *named;
            args = args.subspan(1);
        }
    }
    int status = runForm(*form, args, io);
    // A run that wrote nothing more still checks that its output reached the
    // file: the answer may sit in the buffer until this flush.
    out.flush();
    if (writeFailed(io))
        status = ExitRunTimeError;
    return status;
}

} // namespace varnel
