#include "calculation/conversions.h"
#include "cli/batch.h"
#include "cli/design_options.h"
#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "cli/table_output.h"
#include "quoting/quote.h"
#include "tuning/tuning_table.h"

#include <optional>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view tableHelp =
    "      The tuning plan for every resonator: the prototype element values g,\n"
    "      the target delay of each stage (resonators 1..k tuned, the rest\n"
    "      detuned; stage 1 is the delay above), the passband return loss and,\n"
    "      with the band centre --f0 in MHz, the external Q and the coupling\n"
    "      coefficients. --csv writes stage,g,delay_ns,coupling rows. Orders\n"
    "      from 1 to 100; the ripple and the bandwidth must be positive.\n";

int runTable(const ParsedOptions &options, CommandIo &io) {
    if (const int refused = refuseCrossCoupled(io, options); refused != ExitOk)
        return refused;
    const auto texts = fieldTexts(io, options.positional);
    if (!texts)
        return ExitUsage;
    std::optional<double> f0;
    if (const auto f0Text = options.value("--f0")) {
        const Result<double> value = readLeadingNumber(*f0Text);
        if (!value) {
            io.err << errorLine(value.error()) << " (--f0 " << quotedToken(*f0Text) << ")\n";
            return ExitRunTimeError;
        }
        if (!(*value > 0))
            return failure(io,
                           "--f0 must be a positive frequency in MHz, got " + quotedToken(*f0Text),
                           ExitUsage);
        f0 = *value;
    }
    int status = ExitOk;
    const std::optional<TuningTable> table =
        tableFor(io, *texts, f0, options.value("--f0").value_or(""), status);
    if (!table)
        return status;
    io.out << (options.has("--csv") ? formatTableCsv(*table) : formatTableText(*table));
    return ExitOk;
}

constexpr OptionRow tableOwnOptions[] = {
    {"--csv", ""}, {"--f0", "MHZ"}, {"--help", "", "-h", InUsage::Hidden}};
constexpr auto tableOptions = joinedOptions(tableOwnOptions, crossCoupledRows);

} // namespace

const Form tableForm{"table", "", fieldsArguments, tableHelp, tableOptions, runTable};

} // namespace varnel
