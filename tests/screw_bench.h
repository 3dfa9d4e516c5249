#pragma once

#include "filter_generator.h"
#include "tuning/diagnosis.h"
#include "tuning/screw_plan.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

// A simulated tuning bench: an order-5 filter (10 MHz, 0.01 dB at
// 1000 MHz, Qu 3000) whose eleven screws (R1..R5, K12..K45, QIN, QOUT)
// move it as a true screw model says, unknown to the program:
//   a resonator screw moves its resonator 1 to 3 MHz a turn (either way)
//   and its couplings by up to 0.5 % a turn;
//   a coupling screw changes its coupling by 2 to 8 % a turn (either way)
//   and pulls both its resonators down by 0.3 to 0.6 MHz a turn;
//   a port's screw changes its Qe by 3 to 10 % a turn and pulls its
//   resonator by 0.2 MHz a turn;
//   every effect bends with the turn, t + 0.3 t |t| (not linear).
// A turn is carried out to within +-10 % (the hand); sweeps are made by the
// tests' generator (chain matrices, apart from the fit) with -60 dB of
// noise.
namespace varnel::bench {

inline constexpr int order = 5;
inline constexpr int screwCount = 2 * order + 1;

// Screw k: 0..4 R1..R5, 5 QIN, 6..9 K12..K45, 10 QOUT (the diagnosis'
// element order). An element's change a turn, in that order too.
struct TrueScrew {
    Screw screw;
    std::vector<double> effect; // MHz for resonators, a fraction for the rest
};

inline Screw screwAt(int k) {
    if (k < order)
        return {Screw::Resonator, k + 1, 0};
    if (k == order)
        return {Screw::Input, 0, 0};
    if (k == screwCount - 1)
        return {Screw::Output, 0, 0};
    return {Screw::Coupling, k - order, k - order + 1};
}

inline std::vector<TrueScrew> trueScrews(std::mt19937 &random) {
    std::uniform_real_distribution<double> u(0, 1);
    auto sign = [&] { return u(random) < 0.5 ? -1.0 : 1.0; };
    std::vector<TrueScrew> screws;
    for (int k = 0; k < screwCount; ++k) {
        TrueScrew t{screwAt(k), std::vector<double>(screwCount, 0.0)};
        if (k < order) {
            t.effect[k] = sign() * (1 + 2 * u(random));
            if (k > 0)
                t.effect[order + k] = 0.005 * (2 * u(random) - 1); // coupling k-(k+1)
            if (k < order - 1)
                t.effect[order + k + 1] = 0.005 * (2 * u(random) - 1);
        } else if (k == order || k == screwCount - 1) {
            t.effect[k] = sign() * (0.03 + 0.07 * u(random));
            t.effect[k == order ? 0 : order - 1] = -0.2;
        } else {
            const int lower = k - order - 1; // resonators lower, lower + 1 (0-based)
            t.effect[k] = sign() * (0.02 + 0.06 * u(random));
            t.effect[lower] = -(0.3 + 0.3 * u(random));
            t.effect[lower + 1] = -(0.3 + 0.3 * u(random));
        }
        screws.push_back(std::move(t));
    }
    return screws;
}

inline double bent(double t) {
    return t + 0.15 * t * std::abs(t);
}

// The filter with every screw at `turns` from where the design is in tune.
inline testing::Filter filterAt(const std::vector<TrueScrew> &screws,
                                const std::vector<double> &turns) {
    testing::Filter f;
    f.order = order;
    f.offsetMHz.assign(order, 0);
    f.couplingScale.assign(order - 1, 1);
    for (int k = 0; k < screwCount; ++k) {
        const double b = bent(turns[k]);
        const std::vector<double> &e = screws[k].effect;
        for (int i = 0; i < order; ++i)
            f.offsetMHz[i] += e[i] * b;
        f.qe1Scale *= 1 + e[order] * b;
        for (int i = 0; i < order - 1; ++i)
            f.couplingScale[i] *= 1 + e[order + 1 + i] * b;
        f.qe2Scale *= 1 + e[screwCount - 1] * b;
    }
    return f;
}

inline std::optional<Diagnosis> diagnose(const testing::Filter &f, unsigned seed) {
    DiagnoseSettings settings;
    settings.f0 = 1000;
    settings.qu = 3000;
    const auto d = diagnoseFilter(testing::tableOf(f),
                                  testing::generateFilter(f, 801, 15, -60, seed), settings);
    if (!std::holds_alternative<Diagnosis>(d))
        return std::nullopt;
    return std::get<Diagnosis>(d);
}

struct Tally {
    int filters = 0, passedIn3 = 0, neverWorse = 0, predictions = 0, predictedWithin3 = 0;
    std::vector<int> rounds; // to pass, 7 for not within 6
};

// Learns every screw from a quarter turn and back, carried out by `hand`.
inline Sensitivities learnAll(const std::vector<TrueScrew> &truth, std::vector<double> &turns,
                              std::mt19937 &random, unsigned &seed) {
    std::uniform_real_distribution<double> hand(0.9, 1.1);
    Sensitivities s;
    for (int k = 0; k < screwCount; ++k) {
        const auto before = diagnose(filterAt(truth, turns), ++seed);
        turns[k] += 0.25 * hand(random);
        const auto after = diagnose(filterAt(truth, turns), ++seed);
        turns[k] -= 0.25 * hand(random);
        if (before && after && before->outcome != Diagnosis::TooFar &&
            after->outcome != Diagnosis::TooFar)
            learnScrew(s, screwAt(k), 0.25, elementErrors(before->elements, before->bandwidthMHz),
                       elementErrors(after->elements, after->bandwidthMHz));
    }
    return s;
}

// The naive tuner's turns: each element out of tolerance, its own screw.
inline std::vector<PlannedTurn> naivePlan(const Diagnosis &d, const std::vector<TrueScrew> &truth) {
    const double average[] = {2.0, 0.06, 0.045}; // MHz, Qe, coupling a turn
    std::vector<PlannedTurn> plan;
    const auto errors = elementErrors(d.elements, d.bandwidthMHz);
    for (int e = 0; e < screwCount; ++e) {
        if (std::abs(errors[e].error) <= errors[e].tolerance)
            continue;
        const double a = e < order                             ? average[0]
                         : (e == order || e == screwCount - 1) ? average[1]
                                                               : average[2];
        const double sign = truth[e].effect[e] > 0 ? 1 : -1;
        plan.push_back({screwAt(e), -errors[e].error / (a * sign)});
    }
    return plan;
}

// Rounds of plans from `turns` until a pass; the plan made by `planner`.
template <class Planner>
void tune(const std::vector<TrueScrew> &truth, std::vector<double> turns, Planner planner,
          std::mt19937 &random, unsigned &seed, Tally &tally) {
    std::uniform_real_distribution<double> hand(0.9, 1.1);
    auto d = diagnose(filterAt(truth, turns), ++seed);
    int round = 0;
    bool worse = false;
    while (d && d->outcome != Diagnosis::Pass && round < 6) {
        std::optional<double> predicted;
        const auto plan = planner(*d, predicted);
        for (const PlannedTurn &t : plan)
            for (int k = 0; k < screwCount; ++k)
                if (screwAt(k) == t.screw)
                    turns[k] += t.turns * hand(random);
        ++round;
        auto next = diagnose(filterAt(truth, turns), ++seed);
        if (!next)
            break;
        worse = worse || next->returnLossDb < d->returnLossDb - 3;
        if (predicted) {
            ++tally.predictions;
            tally.predictedWithin3 += std::abs(*predicted - next->returnLossDb) <= 3;
        }
        d = std::move(next);
    }
    const bool passed = d && d->outcome == Diagnosis::Pass;
    ++tally.filters;
    tally.rounds.push_back(passed ? round : 7);
    tally.passedIn3 += passed && round <= 3;
    tally.neverWorse += !worse;
}

// What the bench counts: plans learned, the naive tuner, one screw off.
struct BenchTallies {
    Tally planned, naive, refined;
    int single = 0, singleRight = 0;
};

// One filter of the bench, its truth drawn from `n`: learned, tuned by plans
// and by the naive tuner from the same touch-up state (screws off by up to
// `spread` turn), then one screw off from tune.
inline void benchFilter(int n, double spread, BenchTallies &t, unsigned &seed) {
    std::mt19937 random(1000 + n);
    const auto truth = trueScrews(random);
    std::uniform_real_distribution<double> off(-spread, spread);
    std::vector<double> turns(screwCount);
    for (double &t : turns)
        t = off(random);
    std::vector<double> learning = turns;
    const Sensitivities s = learnAll(truth, learning, random, seed);
    tune(
        truth, learning,
        [&](const Diagnosis &d, std::optional<double> &predicted) {
            const auto plan = planTurns(s, elementErrors(d.elements, d.bandwidthMHz));
            predicted = plannedReturnLossDb(d, s, plan);
            return plan;
        },
        random, seed, t.planned);
    tune(
        truth, learning,
        [&](const Diagnosis &d, std::optional<double> &) { return naivePlan(d, truth); }, random,
        seed, t.naive);
    // The same plans, each round's columns refined by Broyden's update from
    // the change the last plan made, taken as carried out in full.
    Sensitivities refined = s;
    std::vector<ElementError> lastErrors;
    std::vector<double> lastTurns;
    tune(
        truth, learning,
        [&](const Diagnosis &d, std::optional<double> &predicted) {
            const auto errors = elementErrors(d.elements, d.bandwidthMHz);
            if (!lastTurns.empty())
                refineColumns(refined, lastTurns, lastErrors, errors);
            const auto plan = planTurns(refined, errors);
            lastErrors = errors;
            lastTurns.assign(refined.screws.size(), 0);
            for (const PlannedTurn &p : plan)
                if (const auto k = refined.find(p.screw))
                    lastTurns[*k] = p.turns;
            predicted = plannedReturnLossDb(d, refined, plan);
            return plan;
        },
        random, seed, t.refined);
    // One screw off, the rest in tune.
    std::uniform_real_distribution<double> far(0.3, 1.5);
    std::vector<double> one(screwCount, 0.0);
    const int k = n % screwCount;
    one[k] = (n % 2 ? -1 : 1) * far(random);
    const auto d = diagnose(filterAt(truth, one), ++seed);
    ++t.single;
    if (!d || d->outcome == Diagnosis::TooFar)
        return;
    const auto plan = planTurns(s, elementErrors(d->elements, d->bandwidthMHz));
    bool right = false, others = true;
    for (const PlannedTurn &t : plan) {
        if (t.screw == screwAt(k))
            right = std::abs(-t.turns - one[k]) <= 0.25 * std::abs(one[k]);
        else
            others = others && std::abs(t.turns) < 0.25;
    }
    t.singleRight += right && others;
}

} // namespace varnel::bench
