// The diagnosis of filters of any topology: the header's worked example,
// touched-up and tuned filters of every topology from sweeps of a generator
// written apart from the fit (matrix_sweep.h), a topology the sweep cannot
// decide, and the command's output and refusals.
#include "calc_run.h"
#include "filter_generator.h"
#include "matrix_sweep.h"
#include "tuning/matrix_diagnosis.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <variant>

using namespace varnel;
using varnel::testing::Bench;
using varnel::testing::sweepOf;

namespace {

FilterDesign designOf(int order, const char *topology, std::vector<double> zeros) {
    varnel::testing::Filter s;
    s.order = order;
    DesignRequest request;
    request.f0 = 1000;
    request.zerosMHz = std::move(zeros);
    request.topology = topologyNamed(topology);
    const auto d = designFilter(varnel::testing::tableOf(s), request);
    return std::get<FilterDesign>(d);
}

// The frequency at which a self-coupling alone resonates, and back, from
// the mapping Omega = (f0 / BW)(f / f0 - f0 / f) solved here.
double resonanceOf(const FilterDesign &d, double selfCoupling) {
    const double x = -selfCoupling * d.bandwidth / d.f0;
    return d.f0 * (x / 2 + std::sqrt(x * x / 4 + 1));
}
double selfCouplingAt(const FilterDesign &d, double f) {
    return -d.f0 / d.bandwidth * (f / d.f0 - d.f0 / f);
}

double largestCoupling(const CouplingMatrix &m) {
    double largest = 0;
    for (std::size_t a = 1; a <= m.order; ++a)
        for (std::size_t b = a + 1; b <= m.order; ++b)
            largest = std::max(largest, std::abs(m.at(a, b)));
    return largest;
}

// The matrix with resonator i tuned `mhz` off and coupling a-b made `percent`
// of the largest coupling stronger (its magnitude).
void detune(CouplingMatrix &m, const FilterDesign &d, std::size_t i, double mhz) {
    m.set(i, i, selfCouplingAt(d, resonanceOf(d, d.matrix.at(i, i)) + mhz));
}
void strengthen(CouplingMatrix &m, const FilterDesign &d, std::size_t a, std::size_t b,
                double percent) {
    const double step = percent / 100 * largestCoupling(d.matrix);
    m.set(a, b, d.matrix.at(a, b) + (d.matrix.at(a, b) < 0 ? -step : step));
}

MatrixDiagnosis diagnosed(const FilterDesign &d, const Network &sweep,
                          MatrixDiagnoseSettings settings = {}) {
    settings.f0 = 1000;
    auto r = diagnoseMatrix(d, 10, sweep, settings);
    return std::get<MatrixDiagnosis>(r);
}

std::set<std::string> findingTexts(const MatrixDiagnosis &d) {
    std::set<std::string> texts;
    for (const Finding &f : d.findings)
        texts.insert(findingText(f));
    return texts;
}

TEST(MatrixDiagnosis, WorkedExample) {
    const FilterDesign d = designOf(6, "folded", {985, 1015});
    EXPECT_NEAR(largestCoupling(d.matrix), 0.96608, 5e-6);
    EXPECT_NEAR(d.matrix.at(2, 5), -0.03219, 5e-6);
    Bench bench;
    bench.bandwidth = d.bandwidth;
    bench.halfSpan = 2;
    CouplingMatrix truth = d.matrix;
    strengthen(truth, d, 2, 5, 6);
    EXPECT_NEAR(truth.at(2, 5), -0.09016, 5e-6);
    const MatrixDiagnosis one = diagnosed(d, sweepOf(truth, bench, 401, 1));
    EXPECT_EQ(one.outcome, Diagnosis::Fail);
    EXPECT_EQ(findingTexts(one), std::set<std::string>{"Coupling 2–5 is 6.0 % strong: weaken it"});

    detune(truth, d, 3, 0.3);
    const MatrixDiagnosis two = diagnosed(d, sweepOf(truth, bench, 401, 1));
    EXPECT_EQ(two.outcome, Diagnosis::Fail);
    EXPECT_EQ(findingTexts(two),
              (std::set<std::string>{"Coupling 2–5 is 6.0 % strong: weaken it",
                                     "Resonator 3 is 0.30 MHz (3.0 % of BW) high: turn it down"}));
    for (const JudgedElement &e : two.elements) {
        const Finding &f = e.finding;
        const bool touched = (f.element == Finding::Resonator && f.index == 3) ||
                             (f.element == Finding::Coupling && f.lowerEnd() == 2 && f.index == 5);
        if (!touched) {
            EXPECT_LT(std::abs(f.percent), 0.01) << findingText(f);
        }
    }
}

// A topology with a rotation of its own (resonators 2 and 3 may mix without
// leaving it): equivalent matrices explain any sweep, named so, no finding.
TEST(MatrixDiagnosis, EquivalentMatricesAreNamed) {
    const FilterDesign d = designOf(4, "1-2,2-3,3-4,1-3,2-4,1-4", {985, 1016});
    Bench bench;
    bench.bandwidth = d.bandwidth;
    bench.qu = 3000;
    bench.noiseDb = -60;
    bench.halfSpan = 2;
    const MatrixDiagnosis r = diagnosed(d, sweepOf(d.matrix, bench, 401, 2));
    EXPECT_EQ(r.outcome, Diagnosis::TooFar);
    ASSERT_FALSE(r.doubts.empty());
    EXPECT_EQ(r.doubts.back().kind, Doubt::NotUnique);
    EXPECT_TRUE(r.findings.empty());
    EXPECT_NE(matrixDiagnosisText(r).find("equivalent coupling matrices"), std::string::npos);
}

// The worked example's sweep as a file, for the command.
std::string workedSweepFile() {
    const FilterDesign d = designOf(6, "folded", {985, 1015});
    Bench bench;
    bench.bandwidth = d.bandwidth;
    bench.halfSpan = 2;
    bench.qu = 4000;
    bench.noiseDb = -70;
    bench.delayNs[0] = 0.8;
    bench.delayNs[1] = 1.3;
    CouplingMatrix truth = d.matrix;
    strengthen(truth, d, 2, 5, 6);
    const std::string path = ::testing::TempDir() + "matrix_diagnosis_worked.s2p";
    std::ofstream(path) << writeS2p({}, sweepOf(truth, bench, 401, 5));
    return path;
}

TEST(MatrixDiagnoseCommand, JsonNamesTheCrossCoupling) {
    const std::string path = workedSweepFile();
    const auto r = varnel::testing::run(
        {"diagnose", path, "--f0", "1000", "--zeros", "985,1015", "--json", "6", "10", "0.01"});
    ASSERT_EQ(r.status, 3) << r.err << r.out;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["verdict"], "fail");
    EXPECT_EQ(j["topology"], "folded");
    EXPECT_EQ(j["coupling_matrix"].size(), 8u);
    EXPECT_EQ(j["coupling_matrix"][0].size(), 8u);
    EXPECT_NEAR(j["qu"].get<double>(), 4000, 400);
    EXPECT_NEAR(j["port_delay_ns"][0].get<double>(), 0.8, 0.01);
    EXPECT_NEAR(j["port_delay_ns"][1].get<double>(), 1.3, 0.01);
    ASSERT_EQ(j["findings"].size(), 1u);
    const auto &f = j["findings"][0];
    EXPECT_EQ(f["element"], "coupling");
    EXPECT_EQ(f["from"], 2);
    EXPECT_EQ(f["to"], 5);
    EXPECT_EQ(f["direction"], "weaken");
    EXPECT_NEAR(f["error_percent"].get<double>(), 6, 0.2);
    EXPECT_EQ(f["text"].get<std::string>().rfind("Coupling 2–5 is ", 0), 0u) << f["text"];
}

TEST(MatrixDiagnoseCommand, CsvFollowsTheSweep) {
    const std::string path = workedSweepFile();
    const auto r = varnel::testing::run(
        {"diagnose", path, "--f0", "1000", "--zeros", "985,1015", "--csv", "6", "10", "0.01"});
    ASSERT_EQ(r.status, 3) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.substr(0, 46), "f_mhz,s11_db_measured,s11_db_fitted,s21_db_mea");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        double v[9];
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &v[0], &v[1],
                              &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]),
                  9);
        // Where |S21| stands well above the noise the fitted trace follows it.
        if (v[3] > -20) {
            EXPECT_NEAR(v[4], v[3], 0.05) << line;
        }
    }
    EXPECT_EQ(rows, 399);
}

struct CommandRefusal {
    const char *name;
    std::vector<std::string_view> args;
    const char *message;
};

TEST(MatrixDiagnoseCommand, Refusals) {
    const std::string path = workedSweepFile();
    const CommandRefusal rows[] = {
        {"an in-line option", {"--zeros", "985,1015", "--resonator", "coaxial"}, "in-line"},
        {"a zero in the band", {"--zeros", "1002"}, "inside the band"},
        {"an unknown topology", {"--topology", "star"}, "got 'star'"},
        {"too many zeros", {"--zeros", "980,985,1015,1020,1030"}, "at most 4"},
    };
    for (const CommandRefusal &row : rows) {
        std::vector<std::string_view> args{"diagnose", path, "--f0", "1000"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"6", "10", "0.01"});
        const auto r = varnel::testing::run(args);
        EXPECT_EQ(r.status, 2) << row.name;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << row.name;
    }
}

} // namespace
