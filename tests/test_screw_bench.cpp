#include "screw_bench.h"

#include <gtest/gtest.h>

// The simulated bench (screw_bench.h), a few filters of it: plans of
// learned screws pass within three rounds where the naive tuner mostly does
// not, the return loss never falls by 3 dB from one round to the next, and
// one screw put off is found and undone by the first plan.
namespace {

using namespace varnel::bench;

TEST(ScrewBench, LearnedPlansBeatTheNaiveTuner) {
    BenchTallies t;
    unsigned seed = 1;
    const int filters = 8;
    for (int n = 0; n < filters; ++n)
        benchFilter(n, 0.5, t, seed);
    EXPECT_GE(t.planned.passedIn3, 7) << "of " << filters;
    EXPECT_GE(t.planned.neverWorse, 7);
    EXPECT_LT(t.naive.passedIn3, t.planned.passedIn3);
    EXPECT_GE(t.planned.predictedWithin3 * 4, t.planned.predictions * 3)
        << t.planned.predictedWithin3 << " of " << t.planned.predictions;
    EXPECT_GE(t.singleRight * 10, t.single * 6) << t.singleRight << " of " << t.single;
}

} // namespace
