#include "calculation/calculate.h"
#include "calculation/conversions.h"
#include "cli/batch.h"
#include "cli/fd_stream.h"
#include "cli/forms.h"

#include <istream>
#include <ostream>
#include <vector>

namespace varnel {

namespace {

constexpr std::string_view fieldsHelp =
    "      ORDER is the number of resonators, BANDWIDTH in MHz, RIPPLE the passband\n"
    "      ripple in dB. Each is read exactly as the window reads its field: blanks\n"
    "      are ignored and the leading number is taken (\"10MHz\" is 10, \"abc\" is 0).\n"
    "      An omitted one takes the window's initial value (5, 10, 0.01).\n"
    "      Prints the delay, e.g. \"48.149\". On a run-time error prints\n"
    "      \"error N: DESCRIPTION\" to standard error and exits with status 1:\n"
    "      error 6: Overflow, error 11: Division by zero.\n";

constexpr std::string_view batchHelp =
    "      Reads lines of three tab-separated fields ORDER<TAB>BANDWIDTH<TAB>RIPPLE\n"
    "      from standard input and writes one line per input line: the delay,\n"
    "      \"error N: DESCRIPTION\", or \"invalid: REASON\" for a line that is not\n"
    "      three fields. Exits with status 1 if any line was invalid.\n";

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

constexpr OptionRow fieldsOptions[] = {{"--batch", "", {}, InUsage::OwnLine, false, batchHelp},
                                       {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form fieldsForm{"", "", fieldsArguments, fieldsHelp, fieldsOptions, runFields};

} // namespace varnel
