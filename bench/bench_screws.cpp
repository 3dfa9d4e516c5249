#include "screw_bench.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

// The simulated bench (screw_bench.h) run over many filters:
//   touch-up: every screw a little off (up to +-SPREAD turn, 0.3); each screw
//   learned from one quarter turn (and back), then plans carried out by an
//   imprecise hand until the diagnosis passes, at most 6 rounds; against it
//   the naive tuner, each finding's own screw turned by its error over the
//   screws' average sensitivity (its sign known);
//   one screw off by 0.3 to 1.5 turns, the rest in tune: the first plan.
//   bench_screws [FILTERS [SPREAD]]
namespace {

using namespace varnel;
using namespace varnel::bench;

void print(const char *name, Tally &t) {
    std::sort(t.rounds.begin(), t.rounds.end());
    double total = 0;
    for (const int r : t.rounds)
        total += r;
    std::printf("%s: pass within 3 rounds %d/%d (%.0f %%), rounds median %d, mean %.2f (7 for "
                "none within 6), never 3 dB worse %d/%d (%.0f %%)",
                name, t.passedIn3, t.filters, 100.0 * t.passedIn3 / t.filters,
                t.rounds[t.rounds.size() / 2], total / t.filters, t.neverWorse, t.filters,
                100.0 * t.neverWorse / t.filters);
    if (t.predictions)
        std::printf(", predicted return loss within 3 dB %d/%d (%.0f %%)", t.predictedWithin3,
                    t.predictions, 100.0 * t.predictedWithin3 / t.predictions);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv) {
    const int filters = argc > 1 ? std::atoi(argv[1]) : 100;
    const double spread = argc > 2 ? std::atof(argv[2]) : 0.3; // the touch-up's turns, at most
    BenchTallies t;
    unsigned seed = 1;
    for (int n = 0; n < filters; ++n)
        benchFilter(n, spread, t, seed);
    print("learned plans", t.planned);
    print("naive tuner", t.naive);
    print("learned plans, refined by Broyden", t.refined);
    std::printf("one screw off 0.3 to 1.5 turns: first plan right %d/%d (%.0f %%)\n", t.singleRight,
                t.single, 100.0 * t.singleRight / t.single);
    return 0;
}
