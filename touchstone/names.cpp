// Names: of parameters, of file kinds, of errors.
#include "quoting/quote.h"
#include "touchstone/parser.h"

#include <sys/stat.h>

#include <algorithm>

namespace varnel {

FileKind fileKindOf(unsigned mode) {
    return S_ISREG(mode)    ? FileKind::Regular
           : S_ISFIFO(mode) ? FileKind::Fifo
           : S_ISDIR(mode)  ? FileKind::Folder
           : S_ISCHR(mode)  ? FileKind::CharacterDevice
           : S_ISBLK(mode)  ? FileKind::BlockDevice
           : S_ISSOCK(mode) ? FileKind::Socket
                            : FileKind::Other;
}

const char *fileKindText(FileKind kind) {
    switch (kind) {
    case FileKind::Regular:
        return "a regular file";
    case FileKind::Fifo:
        return "a FIFO";
    case FileKind::Folder:
        return "a folder";
    case FileKind::CharacterDevice:
        return "a character device";
    case FileKind::BlockDevice:
        return "a block device";
    case FileKind::Socket:
        return "a socket";
    case FileKind::Other:
        break;
    }
    return "a special file";
}

std::string TouchstoneError::message() const {
    std::string text = quotedName(file);
    if (line)
        text.append(":").append(std::to_string(line));
    return text.append(": ").append(reason);
}

std::optional<SParameter> parseSParameter(std::string_view text) {
    if (text.size() != 3 || (text[0] != 'S' && text[0] != 's'))
        return std::nullopt;
    const int row = text[1] - '0', column = text[2] - '0';
    if (row < 1 || row > touchstone_parser::maxPorts || column < 1 ||
        column > touchstone_parser::maxPorts)
        return std::nullopt;
    return SParameter{row, column};
}

std::vector<std::complex<double>> Network::parameter(SParameter which) const {
    if (only)
        return values;
    std::vector<std::complex<double>> series;
    series.reserve(size());
    const std::size_t n = static_cast<std::size_t>(ports);
    for (std::size_t k = 0; k < size(); ++k)
        series.push_back(values[k * n * n + (which.row - 1) * n + which.column - 1]);
    return series;
}

ParameterView Network::view(SParameter which) const {
    if (only)
        return values;
    const std::size_t n = static_cast<std::size_t>(ports);
    const std::size_t first =
        static_cast<std::size_t>(which.row - 1) * n + static_cast<std::size_t>(which.column - 1);
    return {values.data() + std::min(first, values.size()), size(), n * n};
}

bool Network::has(SParameter which) const {
    if (only)
        return only->row == which.row && only->column == which.column;
    return which.row <= ports && which.column <= ports && !(forwardOnly && which.column == 2);
}

bool Network::keepOnly(SParameter which) {
    if (only)
        return has(which);
    if (!has(which))
        return false;
    values = parameter(which);
    only = which;
    return true;
}

} // namespace varnel
