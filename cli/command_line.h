#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace varnel {

// Exit statuses of varnel-calc.
enum ExitStatus : int { ExitOk = 0, ExitRunTimeError = 1, ExitUsage = 2 };

// varnel-calc with its arguments (without the program name):
//   varnel-calc [ORDER [BANDWIDTH [RIPPLE]]]  one result, or "error N: ..." on
//                                             standard error and status 1
//   varnel-calc --batch                       one answer per input line
//   varnel-calc --help | --version
// A field text may itself start with "-" (a negative order); an argument is
// taken as an option only when it starts with "--", or with "-" and a letter.
// "--" ends the options.
int runCommandLine(std::span<const std::string_view> args, std::istream &in, std::ostream &out,
                   std::ostream &err);

} // namespace varnel
