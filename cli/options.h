#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varnel {

// How an option appears in its form's usage line.
enum class InUsage {
    Optional, // "[--qu Q]"
    Required, // "--stage K", before the form's leading argument
    Hidden,   // not at all (--help, --version: the closing usage line names them)
    OwnLine,  // a usage line of its own, "varnel-calc --batch", with its own help
};

// One option a command form takes: a flag ("--csv") when it names no value,
// otherwise an option with a value ("--f0 2300" or "--f0=2300").
struct OptionRow {
    std::string_view name;       // with its dashes: "--f0"
    std::string_view valueName;  // shown in usage texts; empty: a flag
    std::string_view alias = {}; // a short spelling ("-h"), or empty
    InUsage inUsage = InUsage::Optional;
    bool orNext = false;        // excludes the next row: "[--json | --csv]"
    std::string_view help = {}; // for an OwnLine row: the paragraph under its line
};

// The options and positional arguments of one command line.
struct ParsedOptions {
    std::vector<std::string_view> positional;
    std::map<std::string_view, std::string_view, std::less<>> given; // flags map to ""

    bool has(std::string_view name) const { return given.contains(name); }
    std::optional<std::string_view> value(std::string_view name) const;
};

// Parses `args` against the rows. An argument is taken as an option when it
// starts with "--", or with "-" and a letter, so a field such as "-5" or a
// value such as "-0.3" stays an argument; "--" ends the options. The word
// after an option with a value is always its value. A repeated option keeps
// its last value. Returns the parsed line, or a message saying what is wrong.
// Example, rows {--csv} and {--f0 MHZ}: "--csv 6 --f0=2300 26.9" gives
// positional {"6", "26.9"}, --csv given, --f0 "2300".
std::variant<ParsedOptions, std::string> parseOptions(std::span<const std::string_view> args,
                                                      std::span<const OptionRow> rows);

// True when the argument would be taken as an option.
bool looksLikeOption(std::string_view arg);

} // namespace varnel
