#include "cli/command_line.h"
#include "cli/fd_stream.h"

#include <malloc.h>

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char **argv) {
    // A run lasts a moment: memory it frees is kept for its next use rather
    // than handed back and faulted in afresh. A fit's Jacobian and its
    // factorisation (hundreds of kilobytes, every step) would otherwise
    // come from new pages each time: a third of a diagnosis went on that.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Standard input and output through buffers that keep the cause of a
    // failed read or write, so that it is reported by name.
    varnel::FdStreamBuf inBuffer(0);
    varnel::FdStreamBuf outBuffer(1);
    std::istream in(&inBuffer);
    std::ostream out(&outBuffer);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return varnel::runCommandLine(args, in, out, std::cerr);
}
