#pragma once

#include "calc_run.h"
#include "filter_generator.h"
#include "touchstone/touchstone.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

// Sweeps of an order-5 filter (10 MHz, 0.01 dB, f0 1000 MHz) whose
// resonators sit `offsets` MHz off, written apart from the fit by the
// tests' generator; varnel-calc run on them with that design's fields.
namespace varnel::testing {

inline std::string sweepFile(const char *name, std::vector<double> offsets) {
    Filter s;
    s.offsetMHz = std::move(offsets);
    const std::string path = ::testing::TempDir() + "/learn_" + name + ".s2p";
    std::ofstream(path) << writeS2p({"a test filter"}, generateFilter(s, 801, 15, -70, 1));
    return path;
}

// The arguments, then "--f0 1000 5 10 0.01".
inline CalcRun calc(std::vector<std::string> args) {
    for (const char *f : {"--f0", "1000", "5", "10", "0.01"})
        args.emplace_back(f);
    const std::vector<std::string_view> views(args.begin(), args.end());
    return run(views);
}

// A form that takes no design's fields (journal, report), run on `args`.
inline CalcRun runForm(const char *form, std::vector<std::string> args) {
    args.insert(args.begin(), form);
    const std::vector<std::string_view> views(args.begin(), args.end());
    return run(views);
}

} // namespace varnel::testing
