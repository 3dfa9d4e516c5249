#pragma once

#include "cli/command_line.h"
#include "cli/options.h"
#include "tuning/tuning_table.h"

#include <array>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What the forms of varnel-calc share: the streams, messages, exit statuses
// and the reading of option values.
namespace varnel {

struct CommandIo {
    std::istream &in;
    std::ostream &out;
    std::ostream &err;
    bool writeFailureReported = false;
    std::string_view subcommand = {}; // the form running, for its usage errors
};

// One form of the command line: its subcommand word (empty for the main
// form), its arguments as the usage line shows them (see usage.h), the
// paragraph of its help, its options, and what runs it.
struct Form {
    std::string_view subcommand;
    std::string_view leading;  // an argument after the required options: "FILE"
    std::string_view trailing; // arguments after all options: "[ORDER [BANDWIDTH [RIPPLE]]]"
    std::string_view help;
    std::span<const OptionRow> options;
    int (*run)(const ParsedOptions &options, CommandIo &io);
};

// The --version row every form answers to; the command line adds it to each
// form's own rows.
inline constexpr OptionRow versionRow{"--version", "", {}, InUsage::Hidden};

// The help of every form, from --help of the main form.
std::string fullHelp();

// Writes `bytes` to `path` through a temporary file in the same folder,
// every write checked, then renamed over it: a failure leaves the old file
// whole. The reason, as the system gives it, or empty.
std::string writeWhole(const std::string &path, const std::string &bytes);

// "varnel-calc: MESSAGE" on standard error; returns `status`.
int failure(CommandIo &io, std::string_view message, int status);

// "varnel-calc: MESSAGE" and "Try 'varnel-calc [SUBCOMMAND ]--help' for more
// information." on standard error; returns the usage status.
int usageError(CommandIo &io, std::string_view message);

// Reports a failed write of standard output once; true if there was one.
bool writeFailed(CommandIo &io);

// A numeric option's value: a decimal number (see parseDecimal), above
// `above` when that is given; nullopt after a usage message naming the option.
std::optional<double> numberOption(CommandIo &io, const ParsedOptions &options,
                                   std::string_view name, std::optional<double> above = 0.0);

// A whole-number option's value within low..high; nullopt after a usage
// message.
std::optional<long long> wholeOption(CommandIo &io, const ParsedOptions &options,
                                     std::string_view name, long long low, long long high);

// The three field texts ORDER BANDWIDTH RIPPLE from positional arguments,
// the window's initial texts for those omitted; nullopt after a usage message
// when there are more than three.
std::optional<std::array<std::string_view, 3>>
fieldTexts(CommandIo &io, std::span<const std::string_view> positional);

// The tuning table of the field texts, with the couplings of f0 when it is
// given (as `f0Text`); nullopt after reporting why not (status set to 1 for
// a run-time error, naming --f0 when f0 caused it, 2 for a refusal).
std::optional<TuningTable> tableFor(CommandIo &io, const std::array<std::string_view, 3> &texts,
                                    std::optional<double> f0, std::string_view f0Text, int &status);

} // namespace varnel
