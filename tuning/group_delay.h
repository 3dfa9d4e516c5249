#pragma once

#include "touchstone/touchstone.h"

#include <algorithm>
#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Group delay from a swept parameter, as a network analyser computes it.
//
// The phase is unwrapped (a jump of more than pi between neighbouring points
// is taken as a wrap), then over an aperture of N frequency steps
//     tau = -(phi(j + N) - phi(j)) / (2 pi (f(j + N) - f(j)))
// is given to the mid-frequency (f(j) + f(j + N)) / 2. With N = 2 on an even
// sweep that is the central difference at f(j + 1). An electrical delay t
// first removes a linear phase: phi(f) + 2 pi f t.
// Worked example: S = exp(-j 2 pi f 10 ns) at 100, 101, 102 MHz (phase
// falling 3.6 degrees, i.e. 0.0628 rad, per MHz) gives 10 ns at 101 MHz with
// N = 2, and 0 ns with an electrical delay of 10 ns. With S = 0 at 102 MHz
// the delay at 101 MHz is undefined (NaN, one point counted).
namespace varnel {

// The width of the aperture: a number of frequency steps, a percentage of
// the sweep's span, or a width in MHz.
struct Aperture {
    enum Kind { Steps, PercentOfSpan, MHz } kind = Steps;
    double value = 2;
};

// "2" (steps, a whole number of at least 1), "5%" (of the span), "1.5MHz"
// (case-insensitive); nullopt for anything else.
std::optional<Aperture> parseAperture(std::string_view text);

// Why a sweep cannot give a delay trace with an aperture.
struct ApertureRefusal {
    enum Kind { TooFewPoints, TooWide } kind;
    double steps = 0; // as asked, however large
    std::size_t points = 0;
};

// "a group delay needs at least 2 frequency points", "an aperture of 9
// steps needs more than the sweep's 5 points (at most 4 steps)".
std::string apertureRefusalText(const ApertureRefusal &refusal);

// The aperture in steps of this sweep: a width in MHz (a percentage gives
// P/100 of the span) becomes the whole number of mean steps nearest to it,
// at least 1. The refusal when the sweep is too short for it.
std::variant<std::size_t, ApertureRefusal> apertureSteps(const Aperture &aperture,
                                                         const std::vector<double> &fMHz);

// Where |S| is zero (or below the smallest normal double) its phase is
// undefined: an aperture that starts or ends there gives no delay (NaN in
// delayNs, counted in `undefined`), and the unwrapping passes over the
// point.
bool phaseDefined(std::complex<double> value);

struct DelayTrace {
    // Mid-frequencies, increasing: with an even aperture on an even grid
    // the centre point's own, else midFrequency's.
    std::vector<double> fMHz;
    std::vector<double> delayNs;
    std::size_t undefined = 0; // delays left NaN for an undefined phase
};

// An electrical delay removes 2 pi f t: beyond a billion turns at the
// sweep's top frequency the removed phase is lost in the double's
// rounding (and beyond that it overflows), so such a delay is refused.
inline constexpr double maxElectricalDelayTurns = 1e9;
struct ElectricalDelayRefusal {
    double ns = 0;      // as asked
    double limitNs = 0; // the most this sweep can take
    double topMHz = 0;
};
std::optional<ElectricalDelayRefusal> electricalDelayRefusal(double electricalDelayNs,
                                                             const std::vector<double> &fMHz);
// "an electrical delay of 1e+308 ns is more than this sweep can take (at
// most 1000000000 ns up to 1000 MHz)".
std::string electricalDelayRefusalText(const ElectricalDelayRefusal &refusal);

// values * exp(j 2 pi f t): the electrical delay t removed, as an
// analyser's setting removes it.
std::vector<std::complex<double>> withoutElectricalDelay(const std::vector<double> &fMHz,
                                                         std::vector<std::complex<double>> values,
                                                         double electricalDelayNs);

// The unwrapped phase, in rad, of values * exp(j 2 pi f t).
std::vector<double> unwrappedPhase(const std::vector<double> &fMHz, ParameterView values,
                                   double electricalDelayNs);

// The mid-frequency of two points as a file would write it: the rounding
// of (a + b) / 2 is not kept, so that a trace's frequencies read as the
// sweep's do: the midpoint to 15 significant digits where that is within
// 4 ulps of it.
// Example: 985.1 and 985.2 -> 985.15 (not 985.1500000000001); 985.1 and
// 985.15 -> 985.125; 1 and 1 + 2^-40 -> exactly their midpoint.
double midFrequency(double a, double b);

// The trace for `steps` (at least 1, less than the number of points).
DelayTrace groupDelay(const std::vector<double> &fMHz, ParameterView values, std::size_t steps,
                      double electricalDelayNs);

// y at x, linear between the neighbouring points of increasing xs; nullopt
// outside [xs.front(), xs.back()].
std::optional<double> interpolate(const std::vector<double> &xs, const std::vector<double> &ys,
                                  double x);

// The same with y(i) computed only at the two points it needs: `at(i)` is
// asked for at most twice.
template <class At>
std::optional<double> interpolateWith(const std::vector<double> &xs, double x, At at) {
    if (xs.empty() || !(x >= xs.front() && x <= xs.back()))
        return std::nullopt;
    const auto i = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), x) - xs.begin());
    if (xs[i] == x)
        return at(i);
    const double t = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
    const double below = at(i - 1);
    return below + t * (at(i) - below);
}

} // namespace varnel
