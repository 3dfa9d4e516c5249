#include "cli/forms.h"
#include "cli/sweep_options.h"
#include "quoting/quote.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

namespace varnel {

namespace {

constexpr std::string_view saveHelp =
    "      Writes one sweep of SOURCE as a 1-port Touchstone file (# MHz S RI R\n"
    "      50): a file's S11 (or --param), or one complete sweep of an SCPI\n"
    "      analyser's active trace (scpi://HOST[:PORT]). OUT is written whole or\n"
    "      not at all: through a temporary file beside it, renamed into place.\n";

// Writes `bytes` to `path` through a temporary file in the same folder,
// every write checked, then renamed over it: a failure leaves the old file
// whole. The reason, as the system gives it, or empty.
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

int runSave(const ParsedOptions &options, CommandIo &io) {
    if (options.positional.size() != 2)
        return usageError(io, "save needs a SOURCE and an OUT.s1p file");
    const std::string_view source = options.positional[0], out = options.positional[1];
    if (!out.ends_with(".s1p"))
        return usageError(io, quotedName(out) + ": the sweep is written as a 1-port .s1p file");
    SParameter parameter{1, 1};
    if (const auto text = options.value("--param")) {
        const auto read = parseSParameter(*text);
        if (!read)
            return usageError(io, "--param needs an S-parameter such as S11 or S21, got " +
                                      quotedToken(*text));
        parameter = *read;
    }
    int status = ExitOk;
    const auto network = readSweep(io, source, parameter, status);
    if (!network)
        return status;
    const std::string text =
        writeS1p({"Varnel: one sweep of " + escapedText(source) + ", " + parameter.name()},
                 network->frequencyMHz, network->parameter(parameter));
    if (const std::string why = writeWhole(std::string(out), text); !why.empty())
        return failure(io, quotedName(out) + ": " + why, ExitRunTimeError);
    return ExitOk;
}

constexpr OptionRow saveOptions[] = {{"--param", "Sij"}, {"--help", "", "-h", InUsage::Hidden}};

} // namespace

const Form saveForm{"save", "SOURCE OUT.s1p", "", saveHelp, saveOptions, runSave};

} // namespace varnel
