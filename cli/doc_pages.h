#pragma once

#include "cli/command_io.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The man page's synopsis and the bash completion of varnel-calc, made from
// the forms' option tables at build time, so that neither can drift from what
// the program accepts.
//
// Worked example: the form "check" with leading "SOURCE", trailing
// "[ORDER]" and rows {--stage K, required}, {--qu Q}, {--json, orNext},
// {--csv} has the synopsis, one word a line for roff to fill,
//     .SY varnel\-calc
//     check
//     \fB\-\-stage\fR\ \fIK\fR
//     \fISOURCE\fR
//     [\fB\-\-qu\fR\ \fIQ\fR]
//     [\fB\-\-json\fR\ |\ \fB\-\-csv\fR]
//     [\fIORDER\fR]
//     .YS
// and in the completion "options='--stage --qu --json --csv --version'",
// SOURCE completing Touchstone file names ("files=touchstone").
namespace varnel {

// Every form of varnel-calc, the main form first.
std::span<const Form *const> allForms();

// The usage of every form as man page lines (.SY ... .YS), for SYNOPSIS.
std::string manSynopsis(std::span<const Form *const> forms);

// The bash completion script of the forms.
std::string bashCompletion(std::span<const Form *const> forms);

// The options of `forms` that `page` (a man page's source) does not describe
// in its OPTIONS section as a ".TP" item: "--qu" is described by a line
// ".BI \-\-qu " Q"" or ".B \-\-csv" right after ".TP". Empty when all are.
std::vector<std::string> undescribedOptions(std::span<const Form *const> forms,
                                            std::string_view page);
// The same for a list of long option names ("--help-all").
std::vector<std::string> undescribedNames(const std::vector<std::string> &names,
                                          std::string_view page);

} // namespace varnel
