#include "cli/command_io.h"

#include "calculation/conversions.h"
#include "cli/batch.h"
#include "cli/command_line.h"
#include "cli/fd_stream.h"
#include "number_text/number_text.h"
#include "quoting/quote.h"
#include "touchstone/touchstone.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <charconv>
#include <ostream>

namespace varnel {

int failure(CommandIo &io, std::string_view message, int status) {
    io.err << "varnel-calc: " << message << '\n';
    return status;
}

int usageError(CommandIo &io, std::string_view message) {
    io.err << "varnel-calc: " << message << "\nTry 'varnel-calc "
           << (io.subcommand.empty() ? "" : std::string(io.subcommand) + " ")
           << "--help' for more information.\n";
    return ExitUsage;
}

bool writeFailed(CommandIo &io) {
    const std::string why = streamFailure(io.out, false);
    if (why.empty())
        return false;
    if (!io.writeFailureReported)
        failure(io, "cannot write output: " + why, ExitRunTimeError);
    io.writeFailureReported = true;
    return true;
}

std::optional<double> numberOption(CommandIo &io, const ParsedOptions &options,
                                   std::string_view name, std::optional<double> above) {
    const std::string_view text = options.value(name).value_or("");
    const std::optional<double> value = parseDecimal(text);
    if (value && (!above || *value > *above))
        return value;
    usageError(io, std::string(name) + " needs a number" +
                       (above ? " above " + formatShortest(*above) : std::string()) + ", got " +
                       quotedToken(text));
    return std::nullopt;
}

std::optional<long long> wholeOption(CommandIo &io, const ParsedOptions &options,
                                     std::string_view name, long long low, long long high) {
    const std::string_view text = options.value(name).value_or("");
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && value >= low && value <= high)
        return value;
    usageError(io, std::string(name) + " needs a whole number from " + std::to_string(low) +
                       " to " + std::to_string(high) + ", got " + quotedToken(text));
    return std::nullopt;
}

std::optional<std::array<std::string_view, 3>>
fieldTexts(CommandIo &io, std::span<const std::string_view> positional) {
    std::array<std::string_view, 3> texts = {initialText::order, initialText::bandwidth,
                                             initialText::ripple};
    if (positional.size() > texts.size()) {
        usageError(io, "at most three fields (ORDER BANDWIDTH RIPPLE), got " +
                           std::to_string(positional.size()));
        return std::nullopt;
    }
    std::copy(positional.begin(), positional.end(), texts.begin());
    return texts;
}

std::optional<TuningTable> tableFor(CommandIo &io, const std::array<std::string_view, 3> &texts,
                                    std::optional<double> f0, std::string_view f0Text,
                                    int &status) {
    TableWithF0 made = tuningTableWithF0(texts[0], texts[1], texts[2], f0);
    if (made.f0Error) {
        io.err << errorLine(*made.f0Error) << " (--f0 " << quotedToken(f0Text) << ")\n";
        status = ExitRunTimeError;
        return std::nullopt;
    }
    TableResult &result = made.result;
    if (auto *table = std::get_if<TuningTable>(&result))
        return std::move(*table);
    if (const auto *error = std::get_if<RunTimeError>(&result)) {
        io.err << errorLine(*error) << '\n';
        status = ExitRunTimeError;
        return std::nullopt;
    }
    const std::string why = tableRefusalText(std::get<TableRefusal>(result));
    status = failure(io, why, ExitUsage);
    return std::nullopt;
}

std::string writeWhole(const std::string &path, const std::string &bytes) {
    const std::string temporary = path + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::strerror(errno);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return why;
        }
        at += static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return why;
    }
    return {};
}

} // namespace varnel
