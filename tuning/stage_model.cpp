#include "tuning/stage_model.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"
#include "touchstone/touchstone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

// (2000 / pi) / 636.6: the bandwidth the calculator's constant implies, over
// the bandwidth given.
const double bandwidthScale = 2000 / std::numbers::pi / delayConstant;

} // namespace

namespace {

// The word, any case (ASCII letters only).
bool isWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(),
                                                    [](char a, char b) { return (a | 0x20) == b; });
}

} // namespace

bool isAutoResonator(std::string_view text) {
    return isWord(text, "auto");
}

namespace {

struct KindWord {
    ResonatorKind kind;
    const char *word;
};
constexpr KindWord kindWords[] = {{ResonatorKind::Lumped, "lumped"},
                                  {ResonatorKind::Coaxial, "coaxial"},
                                  {ResonatorKind::Waveguide, "waveguide"}};

} // namespace

const char *resonatorKindName(ResonatorKind kind) {
    for (const KindWord &k : kindWords)
        if (k.kind == kind)
            return k.word;
    return "lumped";
}

ResonatorKind otherResonatorKind(ResonatorKind kind) {
    return kind == ResonatorKind::Lumped ? ResonatorKind::Coaxial : ResonatorKind::Lumped;
}

std::optional<ResonatorKind> parseResonatorKind(std::string_view text) {
    for (const KindWord &k : kindWords)
        if (isWord(text, k.word))
            return k.kind;
    return std::nullopt;
}

std::optional<StageOutput> parseStageOutput(std::string_view text) {
    if (isWord(text, "open"))
        return StageOutput::Open;
    if (isWord(text, "loaded"))
        return StageOutput::Loaded;
    return std::nullopt;
}

StageModel stageModel(const TuningTable &table, int stage, double f0, std::optional<double> qu,
                      ResonatorKind resonator, StageOutput output, double cutoffMHz) {
    StageModel model;
    for (int k = 0; k < stage; ++k)
        model.g.push_back(table.stages[static_cast<std::size_t>(k)].g);
    model.f0 = f0;
    model.bandwidth = table.first.bandwidth;
    model.qu = qu;
    model.resonator = resonator;
    model.cutoff = resonator == ResonatorKind::Waveguide ? cutoffMHz : 0;
    if (output == StageOutput::Loaded && static_cast<std::size_t>(stage) == table.stages.size())
        model.load = table.loadG;
    return model;
}

namespace {

// The guide's u = sqrt(f^2 - fc^2), held above 0 below the cut-off.
double guide(double f, double fc, double fr) {
    return std::sqrt(std::max(f * f - fc * fc, 1e-18 * fr * fr));
}

} // namespace

MappedFrequency mapFrequency(ResonatorKind resonator, double f, double fr, double cutoffMHz) {
    constexpr double pi = std::numbers::pi;
    if (resonator == ResonatorKind::Waveguide) {
        const double fc = cutoffMHz, u = guide(f, fc, fr), ur = guide(fr, fc, fr);
        const double a = ur * ur / (fr * fr), shape = u / ur - ur / u;
        return {a * shape, a * (f / u) * (1 / ur + ur / (u * u)) / (2 * pi),
                2 * fc * fc / (fr * fr * fr) * shape - a * (fr / ur) * (u / (ur * ur) + 1 / u)};
    }
    if (resonator == ResonatorKind::Coaxial) {
        const double x = pi * (f - fr) / (2 * fr);
        const double c = std::cos(x);
        return {4 / pi * std::tan(x), 1 / (c * c * pi * fr), -2 * f / (fr * fr * c * c)};
    }
    const double wr = 2 * pi * fr, w = 2 * pi * f;
    return {f / fr - fr / f, 1 / wr + wr / (w * w), -f / (fr * fr) - 1 / f};
}

double unmapFrequency(ResonatorKind resonator, double omega, double fr, double cutoffMHz) {
    constexpr double pi = std::numbers::pi;
    if (resonator == ResonatorKind::Coaxial)
        return fr + 2 * fr / pi * std::atan(pi * omega / 4);
    // Lumped in f, a waveguide lumped in u: x/xr - xr/x = w solved for x.
    const bool guided = resonator == ResonatorKind::Waveguide;
    const double ur = guided ? guide(fr, cutoffMHz, fr) : fr;
    const double w = guided ? omega * fr * fr / (ur * ur) : omega;
    const double u = ur * (w / 2 + std::sqrt(w * w / 4 + 1));
    return guided ? std::sqrt(u * u + cutoffMHz * cutoffMHz) : u;
}

int rangeShift(std::initializer_list<std::span<const std::complex<double>>> groups) {
    double largest = 0;
    for (const auto &group : groups)
        for (const std::complex<double> &value : group)
            largest = std::max({largest, std::abs(value.real()), std::abs(value.imag())});
    return largest > 1 && std::isfinite(largest) ? -std::ilogb(largest) : 0;
}

StagePoint stageResponse(const StageModel &model, double f) {
    using Complex = std::complex<double>;
    const double fbw = effectiveBandwidth(model.bandwidth) / model.f0;
    const double r = model.qu ? 1 / (fbw * *model.qu) : 0.0;
    // p of a resonator at fr, and dp/domega.
    auto p = [&](double fr) {
        return Complex(r, mapFrequency(model.resonator, f, fr, model.cutoff).omega / fbw);
    };
    auto dp = [&](double fr) {
        return Complex(0, mapFrequency(model.resonator, f, fr, model.cutoff).perOmega / fbw);
    };
    const std::size_t k = model.g.size();
    const double fk = model.lastResonator.value_or(model.f0);
    // Continuants and their derivatives with respect to omega. Far from f0,
    // or with a low Qu, they grow by |g p| a resonator (1e430 for 100
    // resonators at a twentieth of f0). S11 and the delay are ratios of
    // terms of equal degree in P, Q, dP and dQ, so all four are scaled down
    // together, by a power of 2 (exactly), whenever they pass 1.
    Complex P = model.g[k - 1] * p(fk) + (model.load ? 1 / *model.load : 0.0), Q = 1.0;
    Complex dP = model.g[k - 1] * dp(fk), dQ = 0.0;
    auto keepInRange = [&] {
        if (const int shift = rangeShift({{&P, 1}, {&Q, 1}, {&dP, 1}, {&dQ, 1}}))
            for (Complex *term : {&P, &Q, &dP, &dQ})
                *term = scaledBy(*term, shift);
    };
    keepInRange();
    const Complex p0 = p(model.f0), dp0 = dp(model.f0);
    for (std::size_t i = k - 1; i-- > 0;) {
        const Complex nextP = model.g[i] * p0 * P + Q;
        const Complex nextDP = model.g[i] * (dp0 * P + p0 * dP) + dQ;
        Q = P;
        dQ = dP;
        P = nextP;
        dP = nextDP;
        keepInRange();
    }
    // tau = -d arg(S11)/domega = -Im d ln S11/domega.
    const double tau = 2 * ((Q * dP - P * dQ) / (Q * Q - P * P)).imag();
    return {(Q - P) / (Q + P), tau * 1000};
}

std::vector<std::complex<double>> targetAt(const StageModel &model,
                                           const std::vector<double> &fMHz) {
    std::vector<std::complex<double>> s11;
    s11.reserve(fMHz.size());
    for (double f : fMHz)
        s11.push_back(stageResponse(model, f).s11);
    return s11;
}

TargetCurve targetCurve(const StageModel &model, double spanMHz, std::size_t points) {
    TargetCurve curve;
    const double start = model.f0 - spanMHz / 2;
    const double last = static_cast<double>(points > 1 ? points - 1 : 1);
    for (std::size_t i = 0; i < points; ++i) {
        const double f = start + spanMHz * (static_cast<double>(i) / last);
        const StagePoint point = stageResponse(model, f);
        curve.fMHz.push_back(f);
        curve.s11.push_back(point.s11);
        curve.delayNs.push_back(point.delay);
        curve.s11Db.push_back(decibels(point.s11));
    }
    return curve;
}

std::string describeStage(const TuningTable &table, const StageModel &model) {
    std::string text = "stage ";
    text.append(std::to_string(model.g.size()))
        .append(" of order ")
        .append(std::to_string(table.stages.size()))
        .append(", bandwidth ")
        .append(formatShortest(table.first.bandwidth))
        .append(" MHz, ripple ")
        .append(formatShortest(table.first.ripple))
        .append(" dB, f0 ")
        .append(formatShortest(model.f0))
        .append(" MHz, ");
    if (model.qu)
        text.append("Qu ").append(formatShortest(*model.qu));
    else
        text.append("lossless");
    if (model.resonator == ResonatorKind::Coaxial)
        text.append(", coaxial resonators");
    if (model.resonator == ResonatorKind::Waveguide)
        text.append(", waveguide resonators, cut-off ")
            .append(formatFixed(model.cutoff, 1))
            .append(" MHz");
    if (model.load)
        text.append(", output loaded");
    return text;
}

std::string targetS1p(const TuningTable &table, const StageModel &model, const TargetCurve &curve) {
    return writeS1p({"Varnel target curve: " + describeStage(table, model),
                     "delay at f0 " + formatShortest(stageResponse(model, model.f0).delay) + " ns"},
                    curve.fMHz, curve.s11);
}

std::vector<StageRow> stageRows(const TuningTable &table, double f0, std::optional<double> qu) {
    std::vector<StageRow> rows;
    for (std::size_t k = 0; k < table.stages.size(); ++k) {
        const int stage = static_cast<int>(k + 1);
        StageRow row;
        row.stage = stage;
        row.g = table.stages[k].g;
        row.targetDelayNs =
            qu ? stageResponse(stageModel(table, stage, f0, qu), f0).delay : table.stages[k].delay;
        row.coupling = table.stages[k].coupling;
        if (k == 0)
            row.externalQ = table.externalQ;
        rows.push_back(row);
    }
    return rows;
}

double effectiveBandwidth(double bandwidth) {
    return bandwidth * bandwidthScale;
}

double decibels(std::complex<double> s) {
    return 20 * std::log10(std::abs(s));
}

} // namespace varnel
