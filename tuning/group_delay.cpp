#include "tuning/group_delay.h"

#include "number_text/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

namespace varnel {

namespace {

constexpr double twoPi = 2 * std::numbers::pi;

std::optional<double> wholeText(std::string_view text) {
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    const std::string_view tail = text.substr(text.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

} // namespace

std::optional<Aperture> parseAperture(std::string_view text) {
    if (endsWithIgnoringCase(text, "%")) {
        const auto value = wholeText(text.substr(0, text.size() - 1));
        if (!value || !(*value > 0) || *value > 100)
            return std::nullopt;
        return Aperture{Aperture::PercentOfSpan, *value};
    }
    if (endsWithIgnoringCase(text, "mhz")) {
        const auto value = wholeText(text.substr(0, text.size() - 3));
        if (!value || !(*value > 0))
            return std::nullopt;
        return Aperture{Aperture::MHz, *value};
    }
    std::size_t steps = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), steps);
    if (error != std::errc() || end != text.data() + text.size() || steps < 1)
        return std::nullopt;
    return Aperture{Aperture::Steps, static_cast<double>(steps)};
}

bool phaseDefined(std::complex<double> value) {
    return std::abs(value) >= std::numeric_limits<double>::min();
}

std::optional<ElectricalDelayRefusal> electricalDelayRefusal(double electricalDelayNs,
                                                             const std::vector<double> &fMHz) {
    if (fMHz.empty() || electricalDelayNs == 0)
        return std::nullopt;
    const double top = std::max(std::abs(fMHz.front()), std::abs(fMHz.back()));
    // Rounded down to two significant digits, to be read by a person.
    const double exact = maxElectricalDelayTurns / (top * 1e-3);
    const double unit = std::pow(10.0, std::floor(std::log10(exact)) - 1);
    const double limit = std::isfinite(unit) && unit > 0 ? std::floor(exact / unit) * unit : exact;
    if (std::abs(electricalDelayNs) <= limit)
        return std::nullopt;
    return ElectricalDelayRefusal{electricalDelayNs, limit, top};
}

std::string electricalDelayRefusalText(const ElectricalDelayRefusal &refusal) {
    return "an electrical delay of " + formatShortest(refusal.ns) +
           " ns is more than this sweep can take (at most " + formatShortest(refusal.limitNs) +
           " ns up to " + formatShortest(refusal.topMHz) + " MHz)";
}

std::string apertureRefusalText(const ApertureRefusal &refusal) {
    if (refusal.kind == ApertureRefusal::TooFewPoints)
        return "a group delay needs at least 2 frequency points";
    return "an aperture of " + formatShortest(refusal.steps) +
           " steps needs more than the sweep's " + std::to_string(refusal.points) +
           " points (at most " + std::to_string(refusal.points - 1) + " steps)";
}

std::variant<std::size_t, ApertureRefusal> apertureSteps(const Aperture &aperture,
                                                         const std::vector<double> &fMHz) {
    if (fMHz.size() < 2)
        return ApertureRefusal{ApertureRefusal::TooFewPoints, 0, fMHz.size()};
    const double span = fMHz.back() - fMHz.front();
    const double meanStep = span / static_cast<double>(fMHz.size() - 1);
    double steps = aperture.value;
    if (aperture.kind != Aperture::Steps) {
        const double width =
            aperture.kind == Aperture::MHz ? aperture.value : aperture.value / 100 * span;
        steps = std::max(1.0, std::round(width / meanStep));
    }
    if (!(steps < static_cast<double>(fMHz.size())))
        return ApertureRefusal{ApertureRefusal::TooWide, steps, fMHz.size()};
    return static_cast<std::size_t>(steps);
}

std::vector<std::complex<double>> withoutElectricalDelay(const std::vector<double> &fMHz,
                                                         std::vector<std::complex<double>> values,
                                                         double electricalDelayNs) {
    const double perMHz = twoPi * electricalDelayNs * 1e-3;
    if (perMHz != 0)
        for (std::size_t i = 0; i < values.size() && i < fMHz.size(); ++i)
            values[i] *= std::polar(1.0, perMHz * fMHz[i]);
    return values;
}

std::vector<double> unwrappedPhase(const std::vector<double> &fMHz,
                                   const std::vector<std::complex<double>> &values,
                                   double electricalDelayNs) {
    // f in MHz times t in ns is 1e-3 of a cycle.
    const double perMHz = twoPi * electricalDelayNs * 1e-3;
    std::vector<double> phase(values.size());
    double previousWrapped = 0;
    std::optional<double> previous; // the unwrapped phase of the last defined point
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!phaseDefined(values[i])) {
            phase[i] = std::numeric_limits<double>::quiet_NaN();
            continue; // unwrapping goes on from the last defined point
        }
        // The linear phase is added before wrapping, as if the analyser had
        // removed it from the data.
        double wrapped = std::arg(values[i]);
        if (perMHz != 0)
            wrapped = std::remainder(wrapped + perMHz * fMHz[i], twoPi);
        if (!previous) {
            phase[i] = wrapped;
        } else {
            // Both phases lie in [-pi, pi]: one turn at most brings the step
            // within half a turn.
            double step = wrapped - previousWrapped;
            if (step > std::numbers::pi)
                step -= twoPi;
            else if (step < -std::numbers::pi)
                step += twoPi;
            phase[i] = *previous + step;
        }
        previous = phase[i];
        previousWrapped = wrapped;
    }
    return phase;
}

double midFrequency(double a, double b) {
    const double mid = a + (b - a) / 2;
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, mid, std::chars_format::general, 15);
    double tidy = mid;
    if (std::from_chars(text, written.ptr, tidy).ec != std::errc() ||
        !(std::abs(tidy - mid) <= 4 * (std::nextafter(std::abs(mid), INFINITY) - std::abs(mid))))
        return mid;
    return tidy;
}

DelayTrace groupDelay(const std::vector<double> &fMHz,
                      const std::vector<std::complex<double>> &values, std::size_t steps,
                      double electricalDelayNs) {
    const std::vector<double> phase = unwrappedPhase(fMHz, values, electricalDelayNs);
    DelayTrace trace;
    if (steps == 0 || steps >= fMHz.size())
        return trace;
    const std::size_t count = fMHz.size() - steps;
    trace.fMHz.reserve(count);
    trace.delayNs.reserve(count);
    for (std::size_t j = 0; j < count; ++j) {
        const double df = fMHz[j + steps] - fMHz[j];
        // rad / (2 pi MHz) is microseconds.
        // The centre point itself where it is the midpoint (an even grid).
        const double mid = fMHz[j] + df / 2;
        const double centre = fMHz[j + steps / 2];
        trace.fMHz.push_back(steps % 2 == 0 && std::abs(mid - centre) <= 4e-16 * std::abs(centre)
                                 ? centre
                                 : midFrequency(fMHz[j], fMHz[j + steps]));
        // NaN where either end's phase is undefined.
        trace.delayNs.push_back(-(phase[j + steps] - phase[j]) / (twoPi * df) * 1000);
        trace.undefined += std::isnan(trace.delayNs.back()) ? 1 : 0;
    }
    return trace;
}

std::optional<double> interpolate(const std::vector<double> &xs, const std::vector<double> &ys,
                                  double x) {
    if (xs.empty() || !(x >= xs.front() && x <= xs.back()))
        return std::nullopt;
    const auto upper = std::lower_bound(xs.begin(), xs.end(), x);
    const std::size_t i = static_cast<std::size_t>(upper - xs.begin());
    if (xs[i] == x)
        return ys[i];
    const double t = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
    return ys[i - 1] + t * (ys[i] - ys[i - 1]);
}

} // namespace varnel
