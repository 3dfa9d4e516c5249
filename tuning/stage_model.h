#pragma once

#include "tuning/tuning_table.h"

#include <cmath>
#include <complex>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The response of one tuning stage: resonators 1..k tuned to f0, the rest
// detuned, seen as the input reflection S11 and its group delay.
//
// The low-pass ladder g1..gk is band-pass mapped with
//     FBW = BWe / f0,  Omega(f) = (f/f0 - f0/f) / FBW,  r = 1 / (FBW Qu)
// (r = 0 when lossless) and p = r + j Omega: lumped resonators, the default.
// Quarter-wave coaxial (TEM) resonators map with
//     Omega(f) = (4/pi) tan(pi (f - f0) / (2 f0)) / FBW,
// the same slope at f0, and repeat at 3 f0 as such a line does. Waveguide
// (half-wave cavity) resonators, with u = sqrt(f^2 - fc^2) for the guide's
// cut-off fc (the guide wavelength goes as 1/u), map as lumped ones do in
// guide wavelength, scaled to the same slope at f0:
//     Omega(f) = (u0^2 / f0^2) (u/u0 - u0/u) / FBW,  u0 = sqrt(f0^2 - fc^2);
// the closer fc to the band, the steeper the low skirt; fc = 0 is lumped.
// Below the cut-off the guide carries nothing: u is held at 1e-9 f0 there,
// so the resonators are far off tune and the stage reflects everything.
// Each is a
// narrow-band model: f0 is the band centre sqrt(f1 f2) of the band edges
// f1, f2, and the couplings are taken as constant over the band; beyond a
// few percent of bandwidth the resonator's mapping decides the shape of the
// skirts, so choose the one that matches the filter. The input admittance of the
// ladder, open after element k, is P_1 / Q_1 from the continuants
//     P_k = g_k p,  Q_k = 1,
//     P_i = g_i p P_(i+1) + Q_(i+1),  Q_i = P_(i+1)   (i = k-1 ... 1),
//     S11 = (Q_1 - P_1) / (Q_1 + P_1),
// which need no division, so f = f0 is safe. dP/dp and dQ/dp go through the
// same recursion, and with D = dOmega/domega = (1/omega0 + omega0/omega^2)/FBW
//     tau(f) = 2 D Re[(P_1' Q_1 - P_1 Q_1') / (Q_1^2 - P_1^2)],
// exact, not a numeric difference (the code carries d/domega, so that a
// mistuned last resonator with its own D fits the same recursion).
// At f0 and lossless, tau = 4 S_k / (2 pi BWe) with S_k = g_k + g_(k-2) + ...
// BWe is the bandwidth the calculator's constant implies, BW (2000/pi)/636.6
// (3e-5 wider than BW), so that this is 636.6 S_k / BW ns, the tuning table's
// stage delay, while the curve, its phase and the check stay one physical
// response. With loss the odd stages rise and the even fall; stage 1 has
// exactly tau = tau0 / (1 - (Qe/Qu)^2) and |S11(f0)| = (Qu - Qe) / (Qu + Qe),
// Qe = g1 / FBW.
// The last stage can also be seen with the output loaded (the whole filter
// into its load): the last continuant then starts P_n = g_n p + 1 / g_(n+1),
// the load's immittance, and at f0 an odd order reflects nothing (S11 = 0).
//
// Worked example: g1 = 0.7563446753804071 (order 5, ripple 0.01 dB), stage 1,
// f0 = 1000 MHz, BW = 10 MHz (BWe = 10.000311 MHz): at f0 lossless
// tau = 636.6 g1 / 10 = 48.1489020347 ns, |S11| = 1 (0 dB); with Qu = 1000,
// Qe = g1 f0 / BWe = 75.632, tau = 48.1489 / (1 - 0.075632^2) = 48.4259 ns,
// |S11| = (1000 - 75.632) / (1000 + 75.632) = 0.859372 (-1.3164 dB). At
// f0 + 1 MHz lossless, Omega = 0.19989, tau = 48.1489 D/D0 / (1 + (g1
// Omega)^2) = 47.0259 ns. Coaxial at f0 + 1 MHz: Omega = (4/pi)
// tan(pi/2000) / FBW = 0.199994 (x = 0.0015708, sec^2 x = 1.0000025),
// tau = 48.1489 sec^2(x) / (1 + (g1 Omega)^2) = 47.0720 ns. Waveguide with
// fc = 600 MHz at f0 + 1 MHz: u0 = 800, u = 801.24965 (f/u = 1.249299),
// Omega = 0.64 (u/800 - 800/u) / FBW = 0.199782, its slope per f
// 0.64 (f/u) (1/800 + 800/u^2) = 0.997881 of lumped's 2/f0 at f0:
// tau = 48.1489 (0.997881) / (1 + (g1 Omega)^2) = 46.9744 ns.
namespace varnel {

// The end of the last stage: decoupled (open) or into the output's load.
enum class StageOutput { Open, Loaded };

// How a resonator's frequency maps to the low-pass prototype's.
enum class ResonatorKind { Lumped, Coaxial, Waveguide };

// A waveguide's cut-off fitted to a sweep (cutoff_search.h): the cut-offs
// that explain it as well as the best, and whether they put an element on
// the other side of its tolerance.
struct CutoffRange {
    double lowMHz = 0, highMHz = 0;
    bool ambiguous = false;
};

// "lumped", "coaxial" or "waveguide" (any case); nullopt for anything else.
std::optional<ResonatorKind> parseResonatorKind(std::string_view text);
// "auto", any case: the kind the sweep fits better.
bool isAutoResonator(std::string_view text);
// "lumped", "coaxial" or "waveguide".
const char *resonatorKindName(ResonatorKind kind);
// The kind a sweep is held against beside the one given: coaxial for
// lumped, lumped for the others (a waveguide's cut-off far below the band).
ResonatorKind otherResonatorKind(ResonatorKind kind);
// "open" or "loaded" (any case); nullopt for anything else.
std::optional<StageOutput> parseStageOutput(std::string_view text);

// How a resonator at fr maps the frequency f (MHz) to the prototype's:
// Omega before the division by FBW, its slope per omega = 2 pi f (rad/us)
// and its slope per fr (MHz). Lumped: f/fr - fr/f, (1/wr + wr/w^2),
// -f/fr^2 - 1/f; coaxial, x = pi (f - fr) / (2 fr): (4/pi) tan x,
// sec^2(x) / (pi fr), -2 f sec^2(x) / fr^2; waveguide, with u, ur as above
// and A = ur^2 / fr^2: A (u/ur - ur/u), A (f/u) (1/ur + ur/u^2) / (2 pi),
// (2 fc^2 / fr^3) (u/ur - ur/u) - A (fr/ur) (u/ur^2 + 1/u). `cutoffMHz`
// counts for waveguides only.
struct MappedFrequency {
    double omega = 0, perOmega = 0, perResonator = 0;
};
MappedFrequency mapFrequency(ResonatorKind resonator, double f, double fr, double cutoffMHz = 0);
// The frequency (MHz) a resonator at fr maps to `omega` (before the division
// by FBW): the mapping's inverse.
double unmapFrequency(ResonatorKind resonator, double omega, double fr, double cutoffMHz = 0);

// The continuants of a ladder grow by |g p| a resonator; the quantities
// made from them are ratios of equal degree, so they are scaled down
// together. The power of 2 that brings the largest part of `groups` to 1 or
// below when it is above 1 and finite, else 0; and a value scaled by it
// (exactly).
int rangeShift(std::initializer_list<std::span<const std::complex<double>>> groups);
inline std::complex<double> scaledBy(std::complex<double> value, int shift) {
    return {std::ldexp(value.real(), shift), std::ldexp(value.imag(), shift)};
}

struct StageModel {
    std::vector<double> g;    // g1 .. gk
    double f0 = 0;            // MHz
    double bandwidth = 0;     // MHz
    std::optional<double> qu; // unloaded Q; none: lossless
    // The resonant frequency of resonator k, the last one tuned, when it is
    // off f0 (a mistuned screw); its element then maps with this frequency
    // in place of f0.
    std::optional<double> lastResonator; // MHz
    ResonatorKind resonator = ResonatorKind::Lumped;
    double cutoff = 0; // MHz, a waveguide's
    // g_(n+1) when the last stage's output is loaded.
    std::optional<double> load;
};

struct StagePoint {
    std::complex<double> s11;
    double delay = 0; // ns
};

// Stage `stage` (1-based, at most the table's order) of a tuning table;
// `output` Loaded counts on the last stage only.
StageModel stageModel(const TuningTable &table, int stage, double f0, std::optional<double> qu,
                      ResonatorKind resonator = ResonatorKind::Lumped,
                      StageOutput output = StageOutput::Open, double cutoffMHz = 0);

// The response at f MHz (f > 0).
StagePoint stageResponse(const StageModel &model, double f);

// A target curve: `points` frequencies spread evenly over f0 +- span/2
// (span below 2 f0), the response at each.
struct TargetCurve {
    std::vector<double> fMHz;
    std::vector<std::complex<double>> s11;
    std::vector<double> delayNs;
    std::vector<double> s11Db;
};
TargetCurve targetCurve(const StageModel &model, double spanMHz, std::size_t points);
// The target's reflection at each of `fMHz`: to set beside a sweep at
// the sweep's own frequencies.
std::vector<std::complex<double>> targetAt(const StageModel &model,
                                           const std::vector<double> &fMHz);

// "stage 2 of order 5, bandwidth 10 MHz, ripple 0.01 dB, f0 1000 MHz,
// Qu 3000" (or "lossless").
std::string describeStage(const TuningTable &table, const StageModel &model);

// The curve as a 1-port Touchstone file an analyser loads as a reference
// trace: "# MHz S RI R 50", comment lines naming the stage and its delay at
// f0, then the points.
std::string targetS1p(const TuningTable &table, const StageModel &model, const TargetCurve &curve);

// One row of a stage table: the element value, the stage's target delay at
// f0 (the model's, so lossy when the model has Qu; the tuning table's when
// lossless), the coupling to the next resonator and, on stage 1, the
// external Q.
struct StageRow {
    int stage = 0;
    double g = 0;
    double targetDelayNs = 0;
    std::optional<double> coupling;
    std::optional<double> externalQ;
};
std::vector<StageRow> stageRows(const TuningTable &table, double f0, std::optional<double> qu);

// BWe of a bandwidth BW: BW (2000/pi) / 636.6.
double effectiveBandwidth(double bandwidth);

// 20 log10 |s|, the way the reports write a magnitude.
double decibels(std::complex<double> s);

} // namespace varnel
