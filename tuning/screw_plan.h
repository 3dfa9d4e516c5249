#pragma once

#include "tuning/verdict.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How far to turn: the screws of a filter, what a turn of each does to every
// element (learned, never assumed), and a plan of turns of all of them at
// once.
//
// Screws: "R1".."RN" (resonator i's frequency), "K12", "K23", ... (the
// coupling between resonators i and j, i < j, neighbours or not; "K9,10"
// where a number has two digits), "QIN" and "QOUT" (the ports' couplings).
// Turns are signed, clockwise positive.
//
// Elements are counted as the diagnosis lists them (diagnosisElements'
// order): a resonator by its offset (MHz), a coupling or a port's Qe by its
// error as a fraction (+0.02: 2 % strong, or Qe 2 % high), each with its
// tolerance in the same unit.
//
// A screw's column holds each element's change per clockwise turn: MHz for
// a resonator, (after / before - 1) for a coupling or a Qe. Learned again,
// a column is the least-squares slope through the origin over every
// learning, sum(t * change) / sum(t^2), so that a larger turn, whose change
// stands further above the sweep's noise, counts for more. After a plan
// carried out, refineColumns moves the columns by Broyden's update: the
// least change of J that explains the change seen, J += (dE - J dt) dt^T /
// (dt^T dt).
//
// The plan minimises the expected weighted residual when each turn is
// carried out only to about +-10 % (a hand's spread s = 0.1): with W the
// elements' 1 / tolerance, A = J^T W^2 J, it solves
//   (A + s^2 diag(A)) t = -J^T W^2 e,
// so that screws whose effects nearly cancel are never turned hard against
// each other (the spread makes such a pair's expected residual large).
// Turns under 0.01 are left out.
// Worked example: resonator 1 at +0.5 MHz (tolerance 0.1 MHz), R1 learned
// as -2 MHz a turn: the plan turns R1 0.5 / (2 x 1.01) = 0.2475 turn
// clockwise, "Turn R1 0.25 turn clockwise, then sweep again".
namespace varnel {

struct Screw {
    enum Kind { Resonator, Coupling, Input, Output } kind = Resonator;
    int first = 1, second = 0; // the resonator; the coupling's two (first < second)
    friend bool operator==(const Screw &, const Screw &) = default;
};

// A screw's name read for a filter of `order` resonators: "R3", "K34",
// "K14", "QIN", "QOUT" (upper or lower case); none for another name or a
// resonator beyond the order.
std::optional<Screw> parseScrew(std::string_view name, int order);
std::string screwName(const Screw &screw);

struct ElementError {
    double error = 0, tolerance = 1;
    bool relative = false; // a coupling or a Qe (a fraction), else MHz
};
std::vector<ElementError> elementErrors(const std::vector<JudgedElement> &elements,
                                        double bandwidthMHz);

struct Sensitivities {
    std::vector<Screw> screws;
    std::vector<std::vector<double>> columns; // a screw's, an entry an element
    std::vector<double> learnedTurns;         // sum(t^2) of each screw's learnings
    // The screw's index, or none.
    std::optional<std::size_t> find(const Screw &screw) const;
};

// Learns (or refines) `screw`'s column from the elements before and after
// `turns` clockwise turns of it. False when the turn is 0 or the element
// lists differ in length.
bool learnScrew(Sensitivities &s, const Screw &screw, double turns,
                const std::vector<ElementError> &before, const std::vector<ElementError> &after);

// Broyden's update of every learned column from a plan's turns (`turns`, a
// screw each, in the sensitivities' order) and the elements before and
// after it.
void refineColumns(Sensitivities &s, const std::vector<double> &turns,
                   const std::vector<ElementError> &before, const std::vector<ElementError> &after);

struct PlannedTurn {
    Screw screw;
    double turns = 0;
};
inline constexpr double handSpread = 0.1; // a turn carried out to about +-10 %
std::vector<PlannedTurn> planTurns(const Sensitivities &s,
                                   const std::vector<ElementError> &elements,
                                   double spread = handSpread);
// Refines the columns from a plan carried out (refineColumns, the plan's
// turns in full) when the elements moved by at least a quarter of what the
// columns predicted (weighted by the tolerances); a plan that shows no such
// change was not carried out, and teaches nothing. True when refined.
// Example: R1 learned as -2 MHz a turn, a plan of 0.25 turn clockwise, and
// resonator 1 moved from +0.5 to -0.25 MHz: R1's column becomes -3; moved
// not at all: kept at -2, false.
bool refineFromPlan(Sensitivities &s, const std::vector<PlannedTurn> &plan,
                    const std::vector<ElementError> &before,
                    const std::vector<ElementError> &after);

// "Turn R3 0.35 turn clockwise, K34 0.10 turn anticlockwise, then sweep
// again"; "No screw to turn." for none.
std::string planText(const std::vector<PlannedTurn> &plan);

} // namespace varnel
