#include "command_line.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char **argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return varnel::runCommandLine(args, std::cin, std::cout, std::cerr);
}
