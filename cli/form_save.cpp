#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "quoting/quote.h"

#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view saveHelp =
    "      Writes one sweep of SOURCE as a Touchstone file (# MHz S RI R 50):\n"
    "      OUT.s1p keeps S11 (or --param), OUT.s2p all four S-parameters of a\n"
    "      2-port source. OUT is written whole or not at all: through a\n"
    "      temporary file beside it, renamed into place.\n";

int runSave(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 2)
        return usageError(io, "save needs a SOURCE and an OUT.s1p or OUT.s2p file");
    const std::string_view source = options.positional[0], out = options.positional[1];
    const bool twoPort = out.ends_with(".s2p");
    if (!twoPort && !out.ends_with(".s1p"))
        return usageError(io, quotedName(out) + ": the sweep is written as a .s1p or .s2p file");
    SParameter parameter{1, 1};
    if (const auto text = options.value("--param")) {
        const auto read = parseSParameter(*text);
        if (!read)
            return usageError(io, "--param needs an S-parameter such as S11 or S21, got " +
                                      quotedToken(*text));
        if (twoPort)
            return usageError(io, "--param picks the parameter of a .s1p file; a .s2p has all");
        parameter = *read;
    }
    int status = ExitOk;
    const auto network =
        readSweep(io, source, twoPort ? std::nullopt : std::optional(parameter), status, options);
    if (!network)
        return status;
    if (twoPort && network->ports != 2)
        return usageError(io, sourceName(source) + " gives S11 alone: save it as a .s1p file");
    if (twoPort && network->forwardOnly)
        return usageError(io, sourceName(source) +
                                  " measures S11 and S21 only (no S12 or S22), and a .s2p "
                                  "file needs all four: save a .s1p file, with --param S21 "
                                  "for the transmission");
    const std::string comment = "Varnel: one sweep of " + escapedText(source);
    const std::string text = twoPort
                                 ? writeS2p({comment}, *network)
                                 : writeS1p({comment + ", " + parameter.name()},
                                            network->frequencyMHz, network->parameter(parameter));
    if (const std::string why = writeWhole(std::string(out), text); !why.empty())
        return failure(io, quotedName(out) + ": " + why, ExitRunTimeError);
    return ExitOk;
}

constexpr OptionRow saveOptions[] = {
    {"--param", "Sij"}, timeoutRow, portsRow, {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form saveForm{"save", "SOURCE OUT.s1p|OUT.s2p", "", saveHelp, saveOptions, runSave};

} // namespace varnel
