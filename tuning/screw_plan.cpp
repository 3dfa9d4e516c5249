#include "tuning/screw_plan.h"

#include "quoting/quote.h"

#include <Eigen/Dense>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace varnel {

namespace {

std::optional<int> digits(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return value;
}

// The change of an element from `b` to `a`, as a column counts it.
double change(const ElementError &b, const ElementError &a) {
    return a.relative ? (1 + a.error) / (1 + b.error) - 1 : a.error - b.error;
}

} // namespace

std::optional<Screw> parseScrew(std::string_view name, int order) {
    const std::string upper = asciiUpper(name);
    if (upper == "QIN")
        return Screw{Screw::Input, 0, 0};
    if (upper == "QOUT")
        return Screw{Screw::Output, 0, 0};
    if (upper.size() >= 2 && upper[0] == 'R')
        if (const auto i = digits(std::string_view(upper).substr(1)); i && *i <= order)
            return Screw{Screw::Resonator, *i, 0};
    // "K34", or "K10,11" where a resonator has two digits.
    if (upper.size() >= 3 && upper[0] == 'K') {
        const std::string_view rest = std::string_view(upper).substr(1);
        const std::size_t comma = rest.find(',');
        const std::size_t cut = comma != std::string_view::npos ? comma : rest.size() / 2;
        const auto i = digits(rest.substr(0, cut));
        const auto j = digits(rest.substr(comma != std::string_view::npos ? cut + 1 : cut));
        if (i && j && *i < *j && *j <= order &&
            (comma != std::string_view::npos || rest.size() == 2))
            return Screw{Screw::Coupling, *i, *j};
    }
    return std::nullopt;
}

std::string screwName(const Screw &s) {
    switch (s.kind) {
    case Screw::Input:
        return "QIN";
    case Screw::Output:
        return "QOUT";
    case Screw::Resonator:
        return std::string("R").append(std::to_string(s.first));
    case Screw::Coupling:
        break;
    }
    std::string name = "K";
    name.append(std::to_string(s.first));
    if (s.first > 9 || s.second > 9)
        name.push_back(',');
    name.append(std::to_string(s.second));
    return name;
}

std::vector<ElementError> elementErrors(const std::vector<JudgedElement> &elements,
                                        double bandwidthMHz) {
    std::vector<ElementError> errors;
    for (const JudgedElement &e : elements) {
        const bool resonator = e.finding.element == Finding::Resonator;
        errors.push_back(
            resonator
                ? ElementError{e.finding.offsetMHz, e.tolerancePercent / 100 * bandwidthMHz, false}
                : ElementError{e.finding.percent / 100, e.tolerancePercent / 100, true});
    }
    return errors;
}

std::optional<std::size_t> Sensitivities::find(const Screw &screw) const {
    const auto at = std::find(screws.begin(), screws.end(), screw);
    if (at == screws.end())
        return std::nullopt;
    return static_cast<std::size_t>(at - screws.begin());
}

bool learnScrew(Sensitivities &s, const Screw &screw, double turns,
                const std::vector<ElementError> &before, const std::vector<ElementError> &after) {
    if (!(turns != 0) || !std::isfinite(turns) || before.size() != after.size())
        return false;
    std::size_t k = s.find(screw).value_or(s.screws.size());
    if (k == s.screws.size()) {
        s.screws.push_back(screw);
        s.columns.emplace_back(before.size(), 0.0);
        s.learnedTurns.push_back(0);
    }
    if (s.columns[k].size() != before.size())
        return false;
    // The running slope through the origin: (T * column + t * change) / (T + t^2).
    const double had = s.learnedTurns[k], now = had + turns * turns;
    for (std::size_t e = 0; e < before.size(); ++e)
        s.columns[k][e] = (had * s.columns[k][e] + turns * change(before[e], after[e])) / now;
    s.learnedTurns[k] = now;
    return true;
}

void refineColumns(Sensitivities &s, const std::vector<double> &turns,
                   const std::vector<ElementError> &before,
                   const std::vector<ElementError> &after) {
    if (turns.size() != s.screws.size() || before.size() != after.size())
        return;
    double norm = 0;
    for (const double t : turns)
        norm += t * t;
    if (!(norm > 0))
        return;
    for (std::size_t e = 0; e < before.size(); ++e) {
        double predicted = 0;
        for (std::size_t k = 0; k < turns.size(); ++k)
            if (e < s.columns[k].size())
                predicted += s.columns[k][e] * turns[k];
        const double miss = change(before[e], after[e]) - predicted;
        for (std::size_t k = 0; k < turns.size(); ++k)
            if (e < s.columns[k].size())
                s.columns[k][e] += miss * turns[k] / norm;
    }
}

bool refineFromPlan(Sensitivities &s, const std::vector<PlannedTurn> &plan,
                    const std::vector<ElementError> &before,
                    const std::vector<ElementError> &after) {
    if (before.size() != after.size())
        return false;
    std::vector<double> turns(s.screws.size(), 0.0);
    for (const PlannedTurn &t : plan)
        if (const auto k = s.find(t.screw))
            turns[*k] += t.turns;
    double predicted = 0, seen = 0;
    for (std::size_t e = 0; e < before.size(); ++e) {
        double p = 0;
        for (std::size_t k = 0; k < turns.size(); ++k)
            if (e < s.columns[k].size())
                p += s.columns[k][e] * turns[k];
        const double w = 1 / before[e].tolerance;
        predicted += p * p * w * w;
        seen += change(before[e], after[e]) * change(before[e], after[e]) * w * w;
    }
    if (!(predicted > 0) || seen < 0.0625 * predicted)
        return false;
    refineColumns(s, turns, before, after);
    return true;
}

std::vector<PlannedTurn> planTurns(const Sensitivities &s,
                                   const std::vector<ElementError> &elements, double spread) {
    const auto rows = static_cast<Eigen::Index>(elements.size());
    const auto screws = static_cast<Eigen::Index>(s.screws.size());
    Eigen::MatrixXd wj = Eigen::MatrixXd::Zero(rows, screws);
    Eigen::VectorXd we(rows);
    for (Eigen::Index e = 0; e < rows; ++e) {
        const ElementError &el = elements[static_cast<std::size_t>(e)];
        const double w = 1 / el.tolerance;
        we[e] = w * el.error;
        for (Eigen::Index k = 0; k < screws; ++k)
            if (static_cast<std::size_t>(e) < s.columns[static_cast<std::size_t>(k)].size())
                wj(e, k) = w * s.columns[static_cast<std::size_t>(k)][static_cast<std::size_t>(e)];
    }
    Eigen::MatrixXd a = wj.transpose() * wj;
    const Eigen::VectorXd b = -wj.transpose() * we;
    for (Eigen::Index k = 0; k < screws; ++k)
        a(k, k) = a(k, k) > 0 ? a(k, k) * (1 + spread * spread) : 1; // a screw that moves nothing
    const Eigen::VectorXd t = a.ldlt().solve(b);
    std::vector<PlannedTurn> plan;
    for (Eigen::Index k = 0; k < screws; ++k)
        if (std::isfinite(t[k]) && std::abs(t[k]) >= 0.01)
            plan.push_back({s.screws[static_cast<std::size_t>(k)], t[k]});
    return plan;
}

std::string planText(const std::vector<PlannedTurn> &plan) {
    if (plan.empty())
        return "No screw to turn.";
    std::string text = "Turn ";
    for (std::size_t i = 0; i < plan.size(); ++i) {
        char amount[32];
        std::snprintf(amount, sizeof amount, "%.2f", std::abs(plan[i].turns));
        text.append(i ? ", " : "")
            .append(screwName(plan[i].screw))
            .append(" ")
            .append(amount)
            .append(" turn ")
            .append(plan[i].turns > 0 ? "clockwise" : "anticlockwise");
    }
    return text + ", then sweep again";
}

} // namespace varnel
