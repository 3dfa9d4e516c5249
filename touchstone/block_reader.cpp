// Reading a whole text or a file block by block; the only system calls of
// the reader, and the read-ahead of numbers on a second thread.
#include "touchstone/parser.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <span>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varnel {

using touchstone_parser::maxLineLength;
using touchstone_parser::Parser;

void adviseHugePages(const void *data, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge - 1);
    if (to > from)
        (void)::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

std::variant<Network, TouchstoneError>
readTouchstoneText(std::string_view name, std::string_view text, const ReadOptions &options) {
    Parser parser(name, options);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > maxLineLength) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            return parser.error();
        }
        if (!parser.line(text.substr(0, end)))
            return parser.error();
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return parser.finish();
}

namespace {

// The complete lines of the first `filled` bytes, up to one too long;
// `consumed` is where the unfinished rest begins.
struct BlockLines {
    std::size_t consumed = 0;
    bool tooLong = false;
};
BlockLines splitLines(const char *data, std::size_t filled, std::vector<std::string_view> &lines) {
    BlockLines split;
    lines.clear();
    for (;;) {
        const void *newline = std::memchr(data + split.consumed, '\n', filled - split.consumed);
        if (!newline)
            return split;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char *>(newline) - data);
        if (end - split.consumed > maxLineLength) {
            split.tooLong = true; // after the lines before it
            return split;
        }
        lines.emplace_back(data + split.consumed, end - split.consumed);
        split.consumed = end + 1;
    }
}

// A block's lines into the parser. Turning text into numbers takes most of
// the time: the second half of a long block is read ahead on another
// thread while this one reads the first; then the lines are taken in order.
// `ahead` is kept from block to block, so that its numbers reuse the pages
// of the block before instead of faulting in fresh ones every block.
bool parseLines(Parser &parser, const std::vector<std::string_view> &lines,
                Parser::ReadAhead (&ahead)[2]) {
    bool ok = true;
    if (!parser.canReadAhead() || lines.size() < 1024) {
        for (std::size_t i = 0; i < lines.size() && ok; ++i)
            ok = parser.line(lines[i]);
        return ok;
    }
    const std::size_t half = lines.size() / 2;
    const std::span<const std::string_view> parts[2] = {std::span(lines).first(half),
                                                        std::span(lines).subspan(half)};
    for (Parser::ReadAhead &part : ahead) {
        part.kinds.clear();
        part.counts.clear();
        part.numbers.clear();
    }
    std::thread worker([&] { parser.readAhead(parts[1], ahead[1]); });
    parser.readAhead(parts[0], ahead[0]);
    worker.join();
    for (int part = 0; part < 2 && ok; ++part) {
        const double *numbers = ahead[part].numbers.data();
        for (std::size_t i = 0; i < parts[part].size() && ok; ++i) {
            ok = parser.takeReadAhead(parts[part][i], ahead[part].kinds[i], numbers,
                                      ahead[part].counts[i]);
            numbers += ahead[part].counts[i];
        }
    }
    return ok;
}

// Reads an open file block by block; `info` is its fstat.
std::variant<Network, TouchstoneError>
readOpened(int fd, const struct stat &info, const std::string &path, const ReadOptions &options) {
    Parser parser(path, options);
    // The buffer grows with the file, up to a block: a small file costs
    // little more than its own size.
    constexpr std::size_t block = std::size_t(4) << 20;
    const std::size_t expected = S_ISREG(info.st_mode) && info.st_size > 0
                                     ? static_cast<std::size_t>(info.st_size) + 1
                                     : std::size_t(64) << 10;
    std::vector<char> buffer(std::clamp(expected, std::size_t(4) << 10, block));
    std::vector<std::string_view> lines;
    Parser::ReadAhead ahead[2];
    const std::size_t fileBytes =
        S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    std::size_t consumed = 0; // bytes of whole lines taken
    bool reserved = false;
    std::size_t held = 0; // bytes of an unfinished line at the buffer's start
    bool ok = true;
    for (;;) {
        if (held == buffer.size() && buffer.size() < block) {
            buffer.resize(std::min(block, 2 * buffer.size()));
        } else if (held == buffer.size()) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            ok = false;
            break;
        }
        const ssize_t got = ::read(fd, buffer.data() + held, buffer.size() - held);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return TouchstoneError{TouchstoneError::ReadFailed, path, 0, std::strerror(errno)};
        const std::size_t filled = held + static_cast<std::size_t>(got);
        const BlockLines split = splitLines(buffer.data(), filled, lines);
        const std::size_t start = split.consumed;
        const bool tooLong = split.tooLong;
        ok = parseLines(parser, lines, ahead);
        // After the first block of points, room for the whole file's at
        // their length so far, a tenth more for longer lines' variation.
        consumed += start;
        if (ok && !reserved && parser.points() >= 1024 && fileBytes > consumed) {
            reserved = true;
            const double perPoint = static_cast<double>(consumed) / parser.points();
            parser.reservePoints(
                static_cast<std::size_t>(1.1 * static_cast<double>(fileBytes) / perPoint) + 16);
        }
        if (ok && tooLong)
            ok = parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                             parser.lineNumber() + 1);
        if (!ok)
            break;
        held = filled - start;
        if (held > maxLineLength) {
            parser.fail(TouchstoneError::LineTooLong, "line longer than 1 MiB",
                        parser.lineNumber() + 1);
            ok = false;
            break;
        }
        std::memmove(buffer.data(), buffer.data() + start, held);
        if (got == 0) {
            if (held > 0 && !parser.line(std::string_view(buffer.data(), held)))
                ok = false;
            break;
        }
    }
    if (!ok)
        return parser.error();
    return parser.finish();
}

bool sameStamp(const struct stat &a, const struct stat &b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// True when the file has the stamp it had before the read and has kept it
// for `settleMs` since it was last written, waiting for the rest of that
// interval when it is younger. (A modification time in the future, from
// another machine's clock, waits the whole interval from now.)
bool settled(int fd, const struct stat &before, int settleMs) {
    struct stat after {};
    if (::fstat(fd, &after) != 0 || !sameStamp(before, after))
        return false;
    if (settleMs <= 0)
        return true;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long settleNs = settleMs * 1'000'000LL;
    const long long ageNs = (now.tv_sec - after.st_mtim.tv_sec) * 1'000'000'000LL +
                            (now.tv_nsec - after.st_mtim.tv_nsec);
    if (ageNs >= settleNs)
        return true;
    std::this_thread::sleep_for(std::chrono::nanoseconds(ageNs < 0 ? settleNs : settleNs - ageNs));
    return ::fstat(fd, &after) == 0 && sameStamp(before, after);
}

} // namespace

std::variant<Network, TouchstoneError> readTouchstoneFile(const std::string &path,
                                                          const ReadOptions &options) {
    // A file written while it is read may parse whole and still be a part:
    // a read counts only when size and modification time are the same after
    // it as before. Analyser programs write in pieces; a short pause lets
    // them finish before the next try.
    constexpr int maxReads = 4;
    for (int attempt = 1;; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (options.regularFileOnly ? O_NONBLOCK : 0));
        if (fd < 0)
            return TouchstoneError{TouchstoneError::CannotOpen, path, 0, std::strerror(errno)};
        struct stat before {};
        if (::fstat(fd, &before) != 0) {
            const int why = errno;
            ::close(fd);
            return TouchstoneError{TouchstoneError::ReadFailed, path, 0, std::strerror(why)};
        }
        if (options.regularFileOnly && !S_ISREG(before.st_mode)) {
            ::close(fd);
            return TouchstoneError{TouchstoneError::NotRegularFile, path, 0,
                                   std::string(fileKindText(fileKindOf(before.st_mode))) +
                                       ", not a regular file"};
        }
        if (options.regularFileOnly) // reads block again, as for any file
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        auto result = readOpened(fd, before, path, options);
        // A pipe or device has no stamp to compare: it is read once.
        const bool changed = S_ISREG(before.st_mode) && !settled(fd, before, options.settleMs);
        ::close(fd);
        if (!changed)
            return result;
        if (attempt == maxReads)
            return TouchstoneError{TouchstoneError::Changing, path, 0,
                                   "the file kept changing while it was read (" +
                                       std::to_string(maxReads) +
                                       " tries): read it again once it has been saved"};
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
    }
}

} // namespace varnel
