#include "number_text/number_text.h"
#include "touchstone/touchstone.h"

namespace varnel {

namespace {

// The comment lines and the option line every written file starts with.
std::string header(const std::vector<std::string> &comments) {
    std::string out;
    for (const std::string &comment : comments)
        out.append("! ").append(comment).append("\n");
    return out.append("# MHz S RI R 50\n");
}

void appendValue(std::string &out, std::complex<double> value) {
    out.append(" ").append(formatShortest(value.real()));
    out.append(" ").append(formatShortest(value.imag()));
}

} // namespace

std::string writeS1p(const std::vector<std::string> &comments, const std::vector<double> &fMHz,
                     const std::vector<std::complex<double>> &s11) {
    std::string out = header(comments);
    for (std::size_t k = 0; k < fMHz.size(); ++k) {
        out.append(formatShortest(fMHz[k]));
        appendValue(out, s11[k]);
        out.append("\n");
    }
    return out;
}

std::string writeS2p(const std::vector<std::string> &comments, const Network &network) {
    std::string out = header(comments);
    // Row by row in the network (S11 S12 S21 S22); the file wants S11 S21 S12 S22.
    constexpr std::size_t fileOrder[] = {0, 2, 1, 3};
    for (std::size_t k = 0; k < network.size(); ++k) {
        out.append(formatShortest(network.frequencyMHz[k]));
        for (const std::size_t at : fileOrder)
            appendValue(out, network.values[4 * k + at]);
        out.append("\n");
    }
    return out;
}

std::optional<std::string> writeSweep(const std::vector<std::string> &comments,
                                      const Network &network) {
    if (network.only || network.ports == 1)
        return writeS1p(comments, network.frequencyMHz, network.values);
    if (network.forwardOnly) // no 2-port file of half a 2-port: its S11
        return writeS1p(comments, network.frequencyMHz, network.parameter({1, 1}));
    if (network.ports == 2)
        return writeS2p(comments, network);
    return std::nullopt;
}

} // namespace varnel
