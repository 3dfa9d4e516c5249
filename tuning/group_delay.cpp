#include "tuning/group_delay.h"

#include "number_text/number_text.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <thread>

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
    // |S| is at least the larger part: only a value whose parts are both
    // tiny needs its magnitude.
    constexpr double smallest = std::numeric_limits<double>::min();
    if (std::max(std::abs(value.real()), std::abs(value.imag())) >= smallest)
        return true;
    return std::abs(value) >= smallest;
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

namespace {

// The phase unwrapped point by point: a jump of more than pi from the last
// defined point is a wrap; an undefined point is NaN and passed over.
class Unwrapper {
  public:
    explicit Unwrapper(double electricalDelayNs)
        : m_perMHz(twoPi * electricalDelayNs * 1e-3) {} // f in MHz times t in ns: 1e-3 of a cycle

    double next(std::complex<double> value, double fMHz) { return next(wrap(value, fMHz)); }

    // The point's phase in [-pi, pi], NaN where it is undefined.
    double wrap(std::complex<double> value, double fMHz) const {
        if (!phaseDefined(value))
            return std::numeric_limits<double>::quiet_NaN();
        // The linear phase is added before wrapping, as if the analyser had
        // removed it from the data.
        const double wrapped = std::arg(value);
        return m_perMHz != 0 ? std::remainder(wrapped + m_perMHz * fMHz, twoPi) : wrapped;
    }

    // The next point's unwrapped phase from its wrapped one.
    double next(double wrapped) {
        if (std::isnan(wrapped))
            return wrapped; // goes on from the last defined point
        double phase = wrapped;
        if (m_started) {
            // Both phases lie in [-pi, pi]: one turn at most brings the step
            // within half a turn.
            double step = wrapped - m_previousWrapped;
            if (step > std::numbers::pi)
                step -= twoPi;
            else if (step < -std::numbers::pi)
                step += twoPi;
            phase = m_previous + step;
        }
        m_started = true;
        m_previous = phase;
        m_previousWrapped = wrapped;
        return phase;
    }

  private:
    double m_perMHz;
    double m_previousWrapped = 0;
    bool m_started = false; // whether a point so far had a phase
    double m_previous = 0;  // the unwrapped phase of the last defined point
};

} // namespace

std::vector<double> unwrappedPhase(const std::vector<double> &fMHz, ParameterView values,
                                   double electricalDelayNs) {
    Unwrapper unwrap(electricalDelayNs);
    std::vector<double> phase(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        phase[i] = unwrap.next(values[i], fMHz[i]);
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

namespace {

// The wrapped phases of a long trace, computed on a second thread a chunk
// ahead of the unwrapping on this one (the phase's atan2 is most of a
// trace's arithmetic): chunks of `chunk` points in a ring of four, handed
// over by a count of chunks done.
class WrappedAhead {
  public:
    static constexpr std::size_t chunk = 8192, ring = 4;

    WrappedAhead(const Unwrapper &unwrap, const std::vector<double> &fMHz, ParameterView values)
        : m_slots(chunk * ring), m_worker([this, &unwrap, &fMHz, values] {
              for (std::size_t from = 0; from < fMHz.size(); from += chunk) {
                  const std::size_t c = from / chunk;
                  while (c >= m_taken.load(std::memory_order_acquire) + ring)
                      m_taken.wait(c - ring, std::memory_order_acquire);
                  double *slot = &m_slots[(c % ring) * chunk];
                  for (std::size_t i = from; i < std::min(fMHz.size(), from + chunk); ++i)
                      slot[i - from] = unwrap.wrap(values[i], fMHz[i]);
                  m_done.store(c + 1, std::memory_order_release);
                  m_done.notify_one();
              }
          }) {}

    // Point i's wrapped phase; points are asked for in order.
    double operator()(std::size_t i) {
        const std::size_t c = i / chunk;
        if (c != m_current) {
            m_taken.store(c, std::memory_order_release); // chunks before c are free
            m_taken.notify_one();
            m_current = c;
        }
        for (std::size_t done; (done = m_done.load(std::memory_order_acquire)) <= c;)
            m_done.wait(done, std::memory_order_acquire);
        return m_slots[(c % ring) * chunk + i % chunk];
    }

    ~WrappedAhead() {
        m_taken.store(std::numeric_limits<std::size_t>::max() / 2, std::memory_order_release);
        m_taken.notify_one();
    }

  private:
    std::vector<double> m_slots;
    std::atomic<std::size_t> m_done{0}, m_taken{0};
    std::size_t m_current = 0;
    std::jthread m_worker; // last: started once the rest is made, joined first
};

// A trace this long has its phases wrapped a chunk ahead on a second thread.
constexpr std::size_t parallelTrace = 65536;

} // namespace

DelayTrace groupDelay(const std::vector<double> &fMHz, ParameterView values, std::size_t steps,
                      double electricalDelayNs) {
    DelayTrace trace;
    if (steps == 0 || steps >= fMHz.size() || values.size() < fMHz.size())
        return trace;
    Unwrapper unwrap(electricalDelayNs);
    std::optional<WrappedAhead> ahead;
    if (fMHz.size() >= parallelTrace)
        ahead.emplace(unwrap, fMHz, values);
    auto nextPhase = [&](std::size_t i) {
        return unwrap.next(ahead ? (*ahead)(i) : unwrap.wrap(values[i], fMHz[i]));
    };
    // The unwrapped phases of the aperture's points, in a ring: a trace of
    // a million points keeps no phase a point.
    std::vector<double> ring(steps + 1);
    for (std::size_t k = 0; k < steps; ++k)
        ring[k] = nextPhase(k);
    const std::size_t count = fMHz.size() - steps;
    trace.fMHz.reserve(count);
    trace.delayNs.reserve(count);
    adviseHugePages(trace.fMHz.data(), count * sizeof(double));
    adviseHugePages(trace.delayNs.data(), count * sizeof(double));
    std::size_t oldest = 0, newest = steps; // the ring's slots of points j and j + steps
    for (std::size_t j = 0; j < count; ++j) {
        ring[newest] = nextPhase(j + steps);
        const double df = fMHz[j + steps] - fMHz[j];
        // rad / (2 pi MHz) is microseconds.
        // The centre point itself where it is the midpoint (an even grid).
        const double mid = fMHz[j] + df / 2;
        const double centre = fMHz[j + steps / 2];
        trace.fMHz.push_back(steps % 2 == 0 && std::abs(mid - centre) <= 4e-16 * std::abs(centre)
                                 ? centre
                                 : midFrequency(fMHz[j], fMHz[j + steps]));
        // NaN where either end's phase is undefined.
        trace.delayNs.push_back(-(ring[newest] - ring[oldest]) / (twoPi * df) * 1000);
        oldest = oldest == steps ? 0 : oldest + 1;
        newest = newest == steps ? 0 : newest + 1;
        trace.undefined += std::isnan(trace.delayNs.back()) ? 1 : 0;
    }
    return trace;
}

std::optional<double> interpolate(const std::vector<double> &xs, const std::vector<double> &ys,
                                  double x) {
    return interpolateWith(xs, x, [&](std::size_t i) { return ys[i]; });
}

} // namespace varnel
