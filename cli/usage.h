#pragma once

#include "cli/command_io.h"

#include <string>
#include <vector>

// Usage lines and help texts generated from a form's option table, so that
// what a form accepts and what its usage says cannot drift apart.
//
// A form's usage line: "varnel-calc", its subcommand, the required options,
// its leading argument, the optional options in brackets (rows joined by
// orNext as one "[A | B]"), then its trailing arguments; an OwnLine option
// has a line of its own. Hidden options are not shown.
//
// Worked example: subcommand "check", leading "FILE", trailing "[ORDER]",
// rows {--stage K, required}, {--qu Q}, {--json, orNext}, {--csv},
// {--help, hidden} give "varnel-calc check --stage K FILE [--qu Q]
// [--json | --csv] [ORDER]"; in its help, wrapped to 36 columns:
//     "  varnel-calc check --stage K FILE"
//     "                    [--qu Q]"
//     "                    [--json | --csv]"
//     "                    [ORDER]"
namespace varnel {

// How the words of a usage line are spelled: an option with its value, an
// argument, and the bar between alternatives. Plain text for the usage
// line, roff for the man page.
struct UsageSpelling {
    std::string (*option)(const OptionRow &row);
    std::string (*argument)(std::string_view text);
    std::string_view bar;
};

// The words of a form's usage line after the program's name: its
// subcommand, the required options, its leading argument, each optional
// option or group of alternatives in brackets, its trailing arguments (a
// bracketed group being one word). OwnLine and Hidden rows are left out.
std::vector<std::string> usageWords(const Form &form, const UsageSpelling &spelling);

// The usage lines of a form, one line each.
std::vector<std::string> usageLines(const Form &form);

// A form's help: each usage line wrapped to `width` columns (words of a
// bracket kept together; continuation lines under the first word after the
// subcommand), indented by two blanks, followed by its paragraph.
std::string formHelp(const Form &form, std::size_t width = 80, bool withSources = true);
// What a SOURCE may be: a form taking one says it in its help (withSources).
extern const std::string_view sourceHelp;

} // namespace varnel
