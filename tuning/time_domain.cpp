#include "tuning/time_domain.h"

#include "number_text/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace varnel {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
constexpr double floorDb = -200;
constexpr double dipDepthDb = 3;
constexpr double evenStepTolerance = 1e-6;
constexpr double defaultStartCells = -2, defaultStopCells = 20;

struct WindowName {
    std::string_view word;
    TimeWindow::Kind kind;
};
constexpr WindowName windowNames[] = {{"rectangle", TimeWindow::Rectangle},
                                      {"hann", TimeWindow::Hann},
                                      {"kaiser", TimeWindow::Kaiser}};

double windowAt(const TimeWindow &window, double x) {
    switch (window.kind) {
    case TimeWindow::Rectangle:
        return 1;
    case TimeWindow::Hann:
        return (1 + std::cos(pi * x)) / 2;
    case TimeWindow::Kaiser:
        break;
    }
    return std::cyl_bessel_i(0.0, window.beta * std::sqrt(std::max(0.0, 1 - x * x))) /
           std::cyl_bessel_i(0.0, window.beta);
}

// How far |h| rises on one side of point i before it falls below h_i.
double riseBeside(const std::vector<double> &db, std::size_t i, int direction) {
    double highest = db[i];
    for (std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i) + direction;
         j >= 0 && j < static_cast<std::ptrdiff_t>(db.size()); j += direction) {
        const double here = db[static_cast<std::size_t>(j)];
        if (here < db[i])
            break;
        highest = std::max(highest, here);
    }
    return highest - db[i];
}

} // namespace

std::optional<TimeWindow> parseTimeWindow(std::string_view text) {
    const std::size_t colon = text.find(':');
    const std::string_view word = text.substr(0, colon);
    const auto name = std::find_if(std::begin(windowNames), std::end(windowNames),
                                   [&](const WindowName &n) { return n.word == word; });
    if (name == std::end(windowNames))
        return std::nullopt;
    TimeWindow window{name->kind};
    if (colon == std::string_view::npos)
        return window;
    if (window.kind != TimeWindow::Kaiser)
        return std::nullopt;
    const std::string_view beta = text.substr(colon + 1);
    const auto [end, error] = std::from_chars(beta.data(), beta.data() + beta.size(), window.beta);
    if (error != std::errc() || end != beta.data() + beta.size() || !(window.beta >= 0) ||
        !(window.beta <= 30))
        return std::nullopt;
    return window;
}

std::string timeWindowText(const TimeWindow &window) {
    const auto name = std::find_if(std::begin(windowNames), std::end(windowNames),
                                   [&](const WindowName &n) { return n.kind == window.kind; });
    std::string text(name->word);
    if (window.kind == TimeWindow::Kaiser)
        text.append(" ").append(formatShortest(window.beta));
    return text;
}

std::string timeDomainRefusalText(const TimeDomainRefusal &refusal) {
    switch (refusal.kind) {
    case TimeDomainRefusal::TooFewPoints:
        return "a time-domain response needs at least 2 sweep points";
    case TimeDomainRefusal::Uneven:
        return "the frequency steps change at point " + std::to_string(refusal.point + 1) +
               ": a time-domain response needs an evenly spaced sweep";
    case TimeDomainRefusal::BadRange:
        break;
    }
    return "the time range must run forwards and span at most the alias-free range of " +
           formatFixed(refusal.aliasNs, 1) + " ns (1 / the frequency step)";
}

std::variant<TimeResponse, TimeDomainRefusal> timeResponse(const std::vector<double> &fMHz,
                                                           const std::vector<Complex> &s,
                                                           const TimeDomainSettings &settings) {
    const std::size_t n = std::min(fMHz.size(), s.size());
    if (n < 2)
        return TimeDomainRefusal{TimeDomainRefusal::TooFewPoints};
    const double span = fMHz[n - 1] - fMHz[0], step = span / static_cast<double>(n - 1);
    const double first = fMHz[1] - fMHz[0];
    for (std::size_t k = 1; k < n; ++k)
        if (!(std::abs(fMHz[k] - fMHz[k - 1] - first) <= evenStepTolerance * span) || !(first > 0))
            return TimeDomainRefusal{TimeDomainRefusal::Uneven, k - 1};
    const double aliasNs = 1e3 / step;
    const double start = settings.startNs.value_or(
                     std::max(defaultStartCells * 1e3 / span, -aliasNs / 2)),
                 stop =
                     settings.stopNs.value_or(std::min(defaultStopCells * 1e3 / span, aliasNs / 2));
    if (!(stop > start) || !(stop - start <= aliasNs))
        return TimeDomainRefusal{TimeDomainRefusal::BadRange, 0, aliasNs};

    const std::size_t points = std::max<std::size_t>(2, settings.points);
    const double dt = (stop - start) / static_cast<double>(points - 1);
    const double centre = (fMHz[0] + fMHz[n - 1]) / 2;
    // Each point's weighted value turned to the first time, and its turn
    // per time step: h at each time is then one sum.
    std::vector<Complex> term(n), turn(n);
    double weights = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double x = 2 * static_cast<double>(k) / static_cast<double>(n - 1) - 1;
        const double w = windowAt(settings.window, x);
        const double radPerNs = 2 * pi * (fMHz[k] - centre) * 1e-3;
        weights += w;
        term[k] = w * s[k] * std::polar(1.0, radPerNs * start);
        turn[k] = std::polar(1.0, radPerNs * dt);
    }
    TimeResponse response;
    response.window = settings.window;
    for (std::size_t i = 0; i < points; ++i) {
        Complex sum = 0;
        for (std::size_t k = 0; k < n; ++k) {
            sum += term[k];
            term[k] *= turn[k];
        }
        const Complex h = sum / weights;
        response.tNs.push_back(start + dt * static_cast<double>(i));
        response.h.push_back(h);
        const double magnitude = std::abs(h);
        response.db.push_back(magnitude > 0 ? std::max(floorDb, 20 * std::log10(magnitude))
                                            : floorDb);
    }
    return response;
}

std::vector<TimeDip> timeDips(const TimeResponse &response) {
    std::vector<TimeDip> dips;
    const std::vector<double> &db = response.db;
    for (std::size_t i = 1; i + 1 < db.size(); ++i) {
        if (response.tNs[i] < 0 || !(db[i] < db[i - 1]) || !(db[i] <= db[i + 1]))
            continue;
        if (std::min(riseBeside(db, i, -1), riseBeside(db, i, +1)) >= dipDepthDb)
            dips.push_back({i, response.tNs[i], db[i]});
    }
    return dips;
}

} // namespace varnel
