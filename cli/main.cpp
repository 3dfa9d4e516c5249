#include "cli/command_line.h"
#include "cli/fd_stream.h"
#include "tuning/fit_memory.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char **argv) {
    varnel::keepFreedMemoryForFits();
    // Standard input and output through buffers that keep the cause of a
    // failed read or write, so that it is reported by name.
    varnel::FdStreamBuf inBuffer(0);
    varnel::FdStreamBuf outBuffer(1);
    std::istream in(&inBuffer);
    std::ostream out(&outBuffer);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return varnel::runCommandLine(args, in, out, std::cerr);
}
