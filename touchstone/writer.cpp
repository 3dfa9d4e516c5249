#include "number_text/number_text.h"
#include "touchstone/touchstone.h"

namespace varnel {

std::string writeS1p(const std::vector<std::string> &comments, const std::vector<double> &fMHz,
                     const std::vector<std::complex<double>> &s11) {
    std::string out;
    for (const std::string &comment : comments)
        out += "! " + comment + '\n';
    out += "# MHz S RI R 50\n";
    for (std::size_t k = 0; k < fMHz.size(); ++k)
        out += formatShortest(fMHz[k]) + ' ' + formatShortest(s11[k].real()) + ' ' +
               formatShortest(s11[k].imag()) + '\n';
    return out;
}

} // namespace varnel
