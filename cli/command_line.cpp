#include "cli/command_line.h"

#include "cli/command_io.h"
#include "cli/forms.h"
#include "cli/options.h"
#include "cli/usage.h"

#include <algorithm>
#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnel {

namespace {

constexpr std::string_view closingHelp =
    "\n"
    "  Use \"--\" before a field text that starts with \"-\" and a letter.\n"
    "  \"varnel-calc SUBCOMMAND --help\" describes one subcommand.\n"
    "  Exit status: 0 success, 1 run-time error, invalid batch line, unreadable\n"
    "  file or failed read or write, 2 usage error, 3 check or diagnose outside\n"
    "  the tolerance, 4 check uncertain or diagnose too far from tune.\n";

const Form *const forms[] = {&fieldsForm,   &tableForm,   &delayForm, &curveForm,      &checkForm,
                             &diagnoseForm, &watchForm,   &saveForm,  &timeDomainForm, &designForm,
                             &learnForm,    &journalForm, &reportForm};

} // namespace

std::string usageText() {
    std::string text;
    for (const Form *form : forms)
        for (const std::string &line : usageLines(*form))
            text += (text.empty() ? "Usage: " : "       ") + line + '\n';
    text += "       varnel-calc [SUBCOMMAND] --help | --version\n";
    return text;
}

std::string fullHelp() {
    std::string text = "Group delay of the input reflection at band centre, in ns, of a Chebyshev\n"
                       "band-pass cavity filter: the target for tuning the first resonator.\n";
    for (const Form *form : forms)
        text += '\n' + formHelp(*form, 80, false);
    return text + '\n' + std::string(sourceHelp) + std::string(closingHelp);
}

namespace {

int runForm(const Form &form, std::span<const std::string_view> args, CommandIo &io) {
    auto parsed = parseOptions(args, form.options);
    if (const auto *message = std::get_if<std::string>(&parsed))
        return usageError(io, *message);
    const ParsedOptions &options = std::get<ParsedOptions>(parsed);
    if (!form.subcommand.empty() && options.has("--help")) {
        io.out << formHelp(form);
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
