// Writes varnel-calc's pages from its option tables, at build time:
//   varnel-calc-pages completion OUT        the bash completion script
//   varnel-calc-pages man TEMPLATE OUT      the man page, its "@SYNOPSIS@"
//                                           line replaced by the synopsis
#include "cli/doc_pages.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    std::string text;
    if (mode == "completion" && argc == 3) {
        text = varnel::bashCompletion(varnel::allForms());
    } else if (mode == "man" && argc == 4) {
        std::ifstream in(argv[2]);
        std::stringstream page;
        page << in.rdbuf();
        if (!in) {
            std::cerr << "varnel-calc-pages: cannot read " << argv[2] << '\n';
            return 1;
        }
        text = page.str();
        const std::string marker = "@SYNOPSIS@\n";
        const std::size_t at = text.find(marker);
        if (at == std::string::npos) {
            std::cerr << "varnel-calc-pages: " << argv[2] << " has no @SYNOPSIS@ line\n";
            return 1;
        }
        text.replace(at, marker.size(), varnel::manSynopsis(varnel::allForms()));
    } else {
        std::cerr << "usage: varnel-calc-pages completion OUT | man TEMPLATE OUT\n";
        return 2;
    }
    if (const std::string why = varnel::writeWhole(argv[argc - 1], text); !why.empty()) {
        std::cerr << "varnel-calc-pages: cannot write " << argv[argc - 1] << ": " << why << '\n';
        return 1;
    }
    return 0;
}
