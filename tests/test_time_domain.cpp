// The band-pass time-domain response: the header's worked example, a
// single resonator's closed form, an independent direct transform, the
// windows' names and the refusals, and the dips of a tuned filter.
#include "matrix_generator.h"
#include "tuning/markers.h"
#include "tuning/time_domain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace varnel;
using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

TimeResponse responseOf(const std::vector<double> &f, const std::vector<Complex> &s,
                        const TimeDomainSettings &settings) {
    auto result = timeResponse(f, s, settings);
    EXPECT_TRUE(std::holds_alternative<TimeResponse>(result));
    return std::get<TimeResponse>(result);
}

TEST(TimeDomain, WorkedExample) {
    TimeDomainSettings settings;
    settings.window.kind = TimeWindow::Rectangle;
    settings.startNs = 0;
    settings.stopNs = 500;
    settings.points = 13; // every 41.67 ns: 166.67 and 250 ns among them
    const TimeResponse r = responseOf({999, 1001}, {1, 1}, settings);
    EXPECT_NEAR(r.db[0], 0, 1e-12);
    EXPECT_NEAR(r.tNs[4], 500.0 / 3, 1e-9);
    EXPECT_NEAR(r.db[4], 20 * std::log10(0.5), 1e-9); // -6.02 dB
    EXPECT_EQ(r.db[6], -200);                         // 250 ns: h = 0
    EXPECT_NEAR(r.h[12].real(), -1, 1e-12);
    const std::vector<TimeDip> dips = timeDips(r);
    ASSERT_EQ(dips.size(), 1u);
    EXPECT_NEAR(dips[0].tNs, 250, 1e-9);
}

// The windows as a separate computation has them: I0 by its power series,
// each time's sum with its own exponentials.
double besselI0(double x) {
    double term = 1, sum = 1;
    for (int m = 1; m < 60; ++m) {
        term *= (x / 2) * (x / 2) / (m * m);
        sum += term;
    }
    return sum;
}

double windowWeight(const TimeWindow &w, double x) {
    if (w.kind == TimeWindow::Rectangle)
        return 1;
    if (w.kind == TimeWindow::Hann)
        return std::pow(std::cos(pi * x / 2), 2);
    return besselI0(w.beta * std::sqrt(1 - x * x)) / besselI0(w.beta);
}

Complex directTransform(const std::vector<double> &f, const std::vector<Complex> &s,
                        const TimeWindow &w, double tNs) {
    const double centre = (f.front() + f.back()) / 2;
    Complex sum = 0;
    double weights = 0;
    for (std::size_t k = 0; k < f.size(); ++k) {
        const double x = -1 + 2.0 * static_cast<double>(k) / static_cast<double>(f.size() - 1);
        const double weight = windowWeight(w, x);
        weights += weight;
        sum += weight * s[k] * std::exp(Complex(0, 2 * pi * (f[k] - centre) * tNs * 1e-3));
    }
    return sum / weights;
}

struct WindowRow {
    const char *name;
    TimeWindow window;
};

class TimeDomainWindowTest : public ::testing::TestWithParam<WindowRow> {};

// A single resonator's reflection, S = 1 - 2a / (a + j (f - fr)): against
// the direct transform everywhere, and against the closed form h(t) =
// delta(t) - 4 pi a exp(-2 pi a t), t in us, where the window leaves it
// whole.
TEST_P(TimeDomainWindowTest, SingleResonatorAgainstDirectTransform) {
    const double a = 0.5, fr = 1000;
    std::vector<double> f;
    std::vector<Complex> s;
    for (int k = 0; k <= 2000; ++k) {
        f.push_back(900 + 0.1 * k);
        s.push_back(1.0 - 2 * a / Complex(a, f.back() - fr));
    }
    TimeDomainSettings settings;
    settings.window = GetParam().window;
    settings.startNs = -100;
    settings.stopNs = 1500;
    settings.points = 161;
    const TimeResponse r = responseOf(f, s, settings);
    ASSERT_EQ(r.tNs.size(), 161u);
    for (std::size_t i = 0; i < r.tNs.size(); i += 8) {
        const Complex direct = directTransform(f, s, settings.window, r.tNs[i]);
        EXPECT_NEAR(std::abs(r.h[i] - direct), 0, 1e-10 * std::max(1.0, std::abs(direct)))
            << "t " << r.tNs[i];
    }
    // Hann leaves no edges to ring, and is 1 where the response lives, 2 x
    // its mean: |h| = 2 x 4 pi a exp(-2 pi a t) / span.
    if (settings.window.kind == TimeWindow::Hann)
        for (std::size_t i : {40u, 70u, 130u}) {
            const double t = r.tNs[i] * 1e-3, closed = 8 * pi * a * std::exp(-2 * pi * a * t) / 200;
            EXPECT_NEAR(std::abs(r.h[i]), closed, 1e-3 * closed) << "t " << r.tNs[i];
        }
}

const WindowRow windowRows[] = {{"rectangle", {TimeWindow::Rectangle}},
                                {"hann", {TimeWindow::Hann}},
                                {"kaiser_6", {TimeWindow::Kaiser, 6}},
                                {"kaiser_13", {TimeWindow::Kaiser, 13}}};
INSTANTIATE_TEST_SUITE_P(Windows, TimeDomainWindowTest, ::testing::ValuesIn(windowRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TimeDomain, MatchedLoadReadsTheFloor) {
    const TimeResponse r = responseOf({990, 1000, 1010}, {0, 0, 0}, {});
    for (double db : r.db)
        EXPECT_EQ(db, -200);
    EXPECT_TRUE(timeDips(r).empty());
}

TEST(TimeDomain, DefaultRangeInResolutionCells) {
    std::vector<double> f;
    for (int k = 0; k <= 300; ++k)
        f.push_back(985 + 0.1 * k); // 30 MHz: a cell of 33.3 ns
    const TimeResponse r = responseOf(f, std::vector<Complex>(f.size(), 1.0), {});
    EXPECT_NEAR(r.tNs.front(), -2000.0 / 30, 1e-9);
    EXPECT_NEAR(r.tNs.back(), 20000.0 / 30, 1e-9);
    EXPECT_EQ(r.tNs.size(), 1001u);
}

struct RefusalRow {
    const char *name;
    std::vector<double> f;
    std::optional<double> start, stop;
    TimeDomainRefusal::Kind kind;
    const char *text;
};

class TimeDomainRefusalTest : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(TimeDomainRefusalTest, Refused) {
    const RefusalRow &row = GetParam();
    TimeDomainSettings settings;
    settings.startNs = row.start;
    settings.stopNs = row.stop;
    const auto result = timeResponse(row.f, std::vector<Complex>(row.f.size(), 1.0), settings);
    ASSERT_TRUE(std::holds_alternative<TimeDomainRefusal>(result));
    const auto &refusal = std::get<TimeDomainRefusal>(result);
    EXPECT_EQ(refusal.kind, row.kind);
    EXPECT_EQ(timeDomainRefusalText(refusal), row.text);
}

const RefusalRow refusalRows[] = {
    {"one_point",
     {1000},
     {},
     {},
     TimeDomainRefusal::TooFewPoints,
     "a time-domain response needs at least 2 sweep points"},
    {"uneven",
     {999, 1000, 1001, 1003},
     {},
     {},
     TimeDomainRefusal::Uneven,
     "the frequency steps change at point 3: a time-domain response needs an evenly spaced "
     "sweep"},
    {"backwards",
     {999, 1000, 1001},
     100.0,
     50.0,
     TimeDomainRefusal::BadRange,
     "the time range must run forwards and span at most the alias-free range of 1000.0 ns (1 / "
     "the frequency step)"},
    {"beyond_alias",
     {999, 1000, 1001},
     0.0,
     1000.5,
     TimeDomainRefusal::BadRange,
     "the time range must run forwards and span at most the alias-free range of 1000.0 ns (1 / "
     "the frequency step)"}};
INSTANTIATE_TEST_SUITE_P(Sweeps, TimeDomainRefusalTest, ::testing::ValuesIn(refusalRows),
                         [](const auto &info) { return std::string(info.param.name); });

struct WindowNameRow {
    const char *text;
    bool reads;
    TimeWindow::Kind kind = TimeWindow::Kaiser;
    double beta = 0;
    const char *shown = "";
};

TEST(TimeDomain, WindowNames) {
    const WindowNameRow rows[] = {{"kaiser", true, TimeWindow::Kaiser, 6, "kaiser 6"},
                                  {"kaiser:8.5", true, TimeWindow::Kaiser, 8.5, "kaiser 8.5"},
                                  {"hann", true, TimeWindow::Hann, 0, "hann"},
                                  {"rectangle", true, TimeWindow::Rectangle, 0, "rectangle"},
                                  {"kaiser:", false, {}, 0, ""},
                                  {"kaiser:31", false, {}, 0, ""},
                                  {"kaiser:-1", false, {}, 0, ""},
                                  {"kaiser:6x", false, {}, 0, ""},
                                  {"hann:2", false, {}, 0, ""},
                                  {"Kaiser", false, {}, 0, ""},
                                  {"", false, {}, 0, ""}};
    for (const WindowNameRow &row : rows) {
        const auto window = parseTimeWindow(row.text);
        ASSERT_EQ(window.has_value(), row.reads) << row.text;
        if (!window)
            continue;
        EXPECT_EQ(window->kind, row.kind) << row.text;
        if (row.kind == TimeWindow::Kaiser) {
            EXPECT_EQ(window->beta, row.beta) << row.text;
        }
        EXPECT_EQ(timeWindowText(*window), row.shown);
    }
}

TimeResponse filterResponse(int order, int off) {
    varnel::testing::RealFilter s;
    s.order = order;
    s.stage = 0;
    s.offsetMHz.assign(static_cast<std::size_t>(order), 0.0);
    if (off > 0)
        s.offsetMHz[static_cast<std::size_t>(off - 1)] = 0.1 * s.bandwidth;
    s.couplingScale.assign(static_cast<std::size_t>(order - 1), 1.0);
    const Network n = varnel::testing::generateReal(s, 801, 2 * s.bandwidth, -200, 1, true);
    return responseOf(n.frequencyMHz, n.values, {});
}

// The time-domain tuning method: a tuned filter's S11 shows deep dips, a
// resonator's echo arriving the later the deeper it sits. A resonator 10 %
// of BW off fills a dip by 10 dB or more, and leaves all before dip
// floor(k / 2) as they were (within 3 dB): they return before its echo.
TEST(TimeDomain, ResonatorsShowAsDips) {
    for (int order : {3, 5, 7}) {
        const std::vector<TimeDip> tuned = timeDips(filterResponse(order, 0));
        ASSERT_GE(tuned.size(), static_cast<std::size_t>(order / 2 + 1));
        for (int d = 0; d <= order / 2; ++d)
            EXPECT_LT(tuned[static_cast<std::size_t>(d)].db, -45) << order << " dip " << d + 1;
        for (int off = 1; off <= order; ++off) {
            const TimeResponse r = filterResponse(order, off);
            const std::vector<TimeDip> dips = timeDips(r);
            auto dbNear = [&](double t) {
                const auto nearest = nearestPoint(r.tNs, t);
                return r.db[nearest];
            };
            double filled = 0;
            for (std::size_t d = 0; d < tuned.size(); ++d) {
                const double now = dbNear(tuned[d].tNs);
                if (static_cast<int>(d + 1) < off / 2) {
                    EXPECT_NEAR(now, tuned[d].db, 3) << order << " off " << off << " dip " << d + 1;
                }
                filled = std::max(filled, now - tuned[d].db);
            }
            EXPECT_GE(filled, 10) << order << " off " << off;
        }
    }
}

} // namespace
