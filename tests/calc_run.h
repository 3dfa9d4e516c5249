#pragma once

#include "cli/command_line.h"

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// varnel-calc run in-process: its status and what it wrote.
namespace varnel::testing {

struct CalcRun {
    int status;
    std::string out, err;
};

inline CalcRun run(std::vector<std::string_view> args) {
    std::istringstream in;
    std::ostringstream out, err;
    const int status = varnel::runCommandLine(args, in, out, err);
    return {status, out.str(), err.str()};
}

} // namespace varnel::testing
