#include "cli/command_line.h"

#include "cli/command_io.h"
#include "cli/doc_pages.h"
#include "cli/forms.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "generated/version.h"
#include "quoting/quote.h"

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

std::span<const Form *const> allForms() {
    return forms;
}

std::string fullHelp() {
    std::string text = "Group delay of the input reflection at band centre, in ns, of a Chebyshev\n"
                       "band-pass cavity filter: the target for tuning the first resonator.\n";
    for (const Form *form : forms)
        text += '\n' + formHelp(*form, 80, false);
    return text + '\n' + std::string(sourceHelp) + std::string(closingHelp);
}

namespace {

// Edits (insertions, deletions, substitutions, swaps of neighbours) from `a`
// to `b`, letters compared without case.
std::size_t editDistance(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = lower(a[i - 1]) == lower(b[j - 1]);
            d[i][j] =
                std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                lower(a[i - 2]) == lower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

int runForm(const Form &form, std::span<const std::string_view> args, CommandIo &io) {
    std::vector<OptionRow> rows(form.options.begin(), form.options.end());
    rows.push_back(versionRow);
    io.subcommand = form.subcommand;
    auto parsed = parseOptions(args, rows);
    if (const auto *message = std::get_if<std::string>(&parsed))
        return usageError(io, *message);
    const ParsedOptions &options = std::get<ParsedOptions>(parsed);
    // Help, then the version, for every form: the main form's help is every
    // form's.
    if (options.has("--help")) {
        io.out << (form.subcommand.empty() ? fullHelp() : formHelp(form));
        return ExitOk;
    }
    if (options.has(versionRow.name)) {
        io.out << "varnel-calc " << version << '\n';
        return ExitOk;
    }
    return form.run(options, io);
}

} // namespace

std::optional<std::string_view> closeSubcommand(std::string_view word) {
    const std::size_t start = word.find_first_not_of(' ');
    if (start == std::string_view::npos ||
        !((word[start] >= 'a' && word[start] <= 'z') || (word[start] >= 'A' && word[start] <= 'Z')))
        return std::nullopt;
    word = word.substr(start);
    std::optional<std::string_view> best;
    std::size_t bestDistance = 3;
    for (const Form *form : forms) {
        if (form->subcommand.empty())
            continue;
        const std::size_t distance = editDistance(word, form->subcommand);
        const std::size_t allowed = form->subcommand.size() <= 4 ? 1 : 2;
        if (distance <= allowed && distance < bestDistance) {
            best = form->subcommand;
            bestDistance = distance;
        }
    }
    return best;
}

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
        } else if (const auto meant = closeSubcommand(args[0])) {
            return usageError(io, "unknown subcommand " + quotedToken(args[0]) +
                                      " (did you mean '" + std::string(*meant) + "'?)");
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
