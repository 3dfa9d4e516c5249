#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string_view>

namespace varnel {

// Exit statuses of varnel-calc.
// 3 and 4: a check or diagnosis outside the tolerance, or undecided
// (check uncertain, diagnose too far from tune).
enum ExitStatus : int {
    ExitOk = 0,
    ExitRunTimeError = 1,
    ExitUsage = 2,
    ExitOutsideTolerance = 3,
    ExitUndecided = 4,
    ExitInterrupted = 130 // SIGINT while an analyser was connected, set back first
};

// varnel-calc with its arguments (without the program name):
//   varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]  one result, or "error N: ..." on
//                                             standard error and status 1
//   varnel-calc --batch                       one answer per input line
//   varnel-calc table [...]                   the tuning table
//   varnel-calc [SUBCOMMAND] --help | --version
// Every form's options go through one parser (options.h). A failed write to
// `out` or read from `in` ends the run with a message on `err` and status 1;
// `out` is flushed and checked before any status 0.
//
// A first argument that is not a subcommand but starts with a letter and is
// within one edit of a subcommand of up to four letters, or two of a longer
// one (letters without case; a swap of neighbours is one edit), is taken as a
// mistyped subcommand: status 2, "unknown subcommand 'chek' (did you mean
// 'check'?)". Any other first argument is a field text, as "abc" is.
// Examples: "chek" and "Check" give check, "tabel" table, "sav" save,
// "diagnos" diagnose; "abc", "5chek" and " 7" give none.
std::optional<std::string_view> closeSubcommand(std::string_view word);

int runCommandLine(std::span<const std::string_view> args, std::istream &in, std::ostream &out,
                   std::ostream &err);

} // namespace varnel
