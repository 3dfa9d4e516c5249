#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The band-pass time-domain response of a reflection sweep, as network
// analysers show it for tuning filters: each resonator of a tuned filter
// shows as a dip of |h(t)|, and a resonator is tuned by nulling its dip.
//
// Over the sweep's N points S(f_k), evenly spaced from f_1 to f_N, with a
// window w_k over the span,
//     h(t) = sum_k w_k S(f_k) exp(j 2 pi (f_k - f_c) t) / sum_k w_k,
// f_c the span's centre (it turns h's phase only), so that a reflection of
// 1 at every frequency reads 1 (0 dB) at t = 0. Times in ns, frequencies in
// MHz: 2 pi f t carries a factor 1e-3.
// The windows, x running from -1 to 1 over the span:
//     rectangle  w = 1;
//     hann       w = (1 + cos(pi x)) / 2;
//     kaiser     w = I0(beta sqrt(1 - x^2)) / I0(beta), beta 6 by default
//                (an analyser's "normal" window: side lobes about -44 dB).
// The times run from startNs to stopNs in `points` steps; not given, from
// -2 / span to 20 / span (span in MHz, times in us: -2 and 20 resolution
// cells), within half the alias-free range 1 / df either way. |h| in dB is
// held at -200 dB where it is smaller (a matched load reads 0).
// A dip: a local minimum of |h| in dB at t >= 0 that lies at least 3 dB
// below the highest point on either side of it before the next deeper
// minimum; `timeDips` gives them in time order.
//
// Worked example: two points, S = 1 at 999 and 1001 MHz, rectangle: h(t) =
// (exp(-j 2 pi 1e-3 t) + exp(j 2 pi 1e-3 t)) / 2 = cos(2 pi t / 1000 ns):
// 0 dB at t = 0, -6.02 dB at 166.67 ns (h = 1/2), 0 (-200 dB) at 250 ns,
// 0 dB at 500 ns (h = -1); the dip is at 250 ns.
namespace varnel {

struct TimeWindow {
    enum Kind { Rectangle, Hann, Kaiser } kind = Kaiser;
    double beta = 6; // a Kaiser window's
};

// "kaiser" (beta 6), "kaiser:8.5", "hann", "rectangle"; nullopt for
// anything else, a beta that is not a number, or one outside 0 to 30.
std::optional<TimeWindow> parseTimeWindow(std::string_view text);
// "kaiser 6", "hann", "rectangle".
std::string timeWindowText(const TimeWindow &window);

struct TimeDomainSettings {
    TimeWindow window;
    std::optional<double> startNs, stopNs;
    std::size_t points = 1001;
};

struct TimeDomainRefusal {
    enum Kind {
        TooFewPoints, // fewer than 2
        Uneven,       // a step that differs from the first by 1e-6 of the span
        BadRange,     // stop not after start, or beyond the alias-free range
    } kind = TooFewPoints;
    std::size_t point = 0; // Uneven: where the step changes
    double aliasNs = 0;    // BadRange: the alias-free range 1 / df
};

std::string timeDomainRefusalText(const TimeDomainRefusal &refusal);

struct TimeResponse {
    TimeWindow window;
    std::vector<double> tNs;
    std::vector<std::complex<double>> h;
    std::vector<double> db; // 20 log10 |h|, at least -200
};

std::variant<TimeResponse, TimeDomainRefusal>
timeResponse(const std::vector<double> &fMHz, const std::vector<std::complex<double>> &s,
             const TimeDomainSettings &settings);

struct TimeDip {
    std::size_t point = 0;
    double tNs = 0, db = 0;
};

std::vector<TimeDip> timeDips(const TimeResponse &response);

} // namespace varnel
