// Cascaded triplets, quadruplets and listed couplings: the sections'
// places, each design's pattern and response, which section makes which
// zero (taking a section's cross-coupling away must lose that zero and
// keep the others), and the refusals.
#include "chebyshev_closed_form.h"
#include "filter_generator.h"
#include "tuning/filter_design.h"
#include "tuning/topology_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>

using namespace varnel;

namespace {

std::string places(const std::vector<Section> &sections) {
    std::string text;
    for (const Section &s : sections)
        text.append(text.empty() ? "" : ",")
            .append(std::to_string(s.first))
            .append(1, '-')
            .append(std::to_string(s.last));
    return text;
}

// The header's worked examples, and sections that do not fit.
TEST(TopologySearch, SectionPlaces) {
    EXPECT_EQ(places(tripletSections(6, 2)), "1-3,4-6");
    EXPECT_EQ(places(tripletSections(5, 2)), "1-3,3-5");
    EXPECT_EQ(places(quadrupletSections(8, 2)), "1-4,5-8");
    EXPECT_EQ(places(quadrupletSections(7, 2)), "1-4,4-7");
    EXPECT_EQ(places(tripletSections(7, 3)), "1-3,3-5,5-7");
    EXPECT_EQ(places(tripletSections(4, 2)), "");
    EXPECT_EQ(places(quadrupletSections(6, 2)), "");
}

TuningTable tableOf(int order) {
    varnel::testing::Filter s;
    s.order = order;
    s.ripple = 0.01;
    return varnel::testing::tableOf(s);
}

struct TopologyRow {
    const char *name;
    int order;
    const char *topology;
    std::vector<double> zerosMHz;
    std::vector<std::pair<std::size_t, std::size_t>> cross; // the sections' or the list's
};

const TopologyRow rows[] = {
    {"ct, order 4, one zero above", 4, "ct", {1012}, {{1, 3}}},
    {"ct, order 6, below then above", 6, "ct", {988, 1013}, {{1, 3}, {4, 6}}},
    {"ct, order 5, sharing resonator 3", 5, "ct", {1012, 988}, {{1, 3}, {3, 5}}},
    {"ct, order 7, three sharing", 7, "ct", {1012, 988, 1020}, {{1, 3}, {3, 5}, {5, 7}}},
    {"ct, order 9, three apart", 9, "ct", {1015, 1011, 986}, {{1, 3}, {4, 6}, {7, 9}}},
    {"cq, order 4", 4, "cq", {985, 1e6 / 985}, {{1, 4}}},
    {"cq, order 8, two apart", 8, "cq", {985, 1e6 / 985, 990, 1e6 / 990}, {{1, 4}, {5, 8}}},
    {"cq, order 7, sharing 4", 7, "cq", {990, 1e6 / 990, 985, 1e6 / 985}, {{1, 4}, {4, 7}}},
    {"a list: a quadruplet", 4, "1-2,2-3,3-4,1-4", {985, 1e6 / 985}, {{1, 4}}},
    {"a list: a triplet on 2-4", 4, "1-2,2-3,3-4,2-4", {1012}, {{2, 4}}},
};

std::variant<FilterDesign, DesignRefusal> design(int order, const char *topology,
                                                 const std::vector<double> &zeros) {
    DesignRequest request;
    request.f0 = 1000;
    request.zerosMHz = zeros;
    request.topology = topologyNamed(topology);
    return designFilter(tableOf(order), request);
}

TEST(TopologySearch, DesignsOfEveryTopology) {
    for (const TopologyRow &row : rows) {
        SCOPED_TRACE(row.name);
        const auto designed = design(row.order, row.topology, row.zerosMHz);
        ASSERT_TRUE(std::holds_alternative<FilterDesign>(designed))
            << designRefusalText(std::get<DesignRefusal>(designed), tableOf(row.order), 1000);
        const FilterDesign &d = std::get<FilterDesign>(designed);
        const auto n = static_cast<std::size_t>(row.order);
        // The pattern exactly: the main line and the cross-couplings named.
        for (std::size_t a = 1; a <= n; ++a)
            for (std::size_t b = a + 1; b <= n; ++b) {
                const bool named = b == a + 1 || std::find(row.cross.begin(), row.cross.end(),
                                                           std::pair{a, b}) != row.cross.end();
                if (!named)
                    EXPECT_EQ(d.matrix.at(a, b), 0) << a << '-' << b;
                else
                    EXPECT_NE(d.matrix.at(a, b), 0) << a << '-' << b;
            }
        // The response is the filtering function's.
        for (int k = -400; k <= 400; ++k) {
            const double w = k / 100.0;
            EXPECT_NEAR(
                std::norm(lowPassResponse(d.matrix, w).s21),
                varnel::testing::chebyshevS21Squared(w, d.zerosOmega, row.order, d.returnLossDb),
                1e-9)
                << w;
        }
        // A cascade's k-th section makes its zeros: without its
        // cross-coupling they are lost, the others stay.
        if (std::string_view(row.topology) != "ct" && std::string_view(row.topology) != "cq")
            continue;
        const std::size_t per = std::string_view(row.topology) == "ct" ? 1 : 2;
        for (std::size_t k = 0; k < row.cross.size(); ++k) {
            CouplingMatrix cut = d.matrix;
            cut.set(row.cross[k].first, row.cross[k].second, 0);
            for (std::size_t z = 0; z < d.zerosOmega.size(); ++z) {
                const double db =
                    20 * std::log10(std::abs(lowPassResponse(cut, d.zerosOmega[z]).s21));
                // An exact zero sits at rounding (below -150 dB); a lost
                // one at the skirt of the rest of the filter.
                if (z / per == k)
                    EXPECT_GT(db, -140) << "section " << k << " zero " << z;
                else
                    EXPECT_LT(db, -150) << "section " << k << " zero " << z;
            }
        }
    }
}

// Two zeros 0.02 MHz apart on triplets 1-3 and 7-9 (a seeded design
// battery's case): a near-double zero moves as the square root of what the
// matrix misses, so the sections' zeros come out to 1e-4, not 1e-6; each
// is still nearer its own listed zero than the other, and the response is
// the filtering function's.
TEST(TopologySearch, ZerosCloseTogetherEachSectionItsOwn) {
    const std::vector<double> zeros{1019.5038148884662, 992.78769979876279, 1024.3329687525149,
                                    1019.4839912093271};
    const auto designed = design(9, "ct", zeros);
    ASSERT_TRUE(std::holds_alternative<FilterDesign>(designed))
        << designRefusalText(std::get<DesignRefusal>(designed), tableOf(9), 1000);
    const FilterDesign &d = std::get<FilterDesign>(designed);
    for (int k = -400; k <= 400; ++k) {
        const double w = k / 100.0;
        EXPECT_NEAR(std::norm(lowPassResponse(d.matrix, w).s21),
                    varnel::testing::chebyshevS21Squared(w, d.zerosOmega, 9, d.returnLossDb), 1e-7)
            << w;
    }
    // Triplet (a, a+1, a+2) blocks where its two branches cancel.
    auto tripletZero = [&](std::size_t a) {
        const CouplingMatrix &m = d.matrix;
        return m.at(a, a + 1) * m.at(a + 1, a + 2) / m.at(a, a + 2) - m.at(a + 1, a + 1);
    };
    const double first = tripletZero(1), last = tripletZero(7);
    EXPECT_LT(std::abs(first - d.zerosOmega[0]), std::abs(first - d.zerosOmega[3]));
    EXPECT_LT(std::abs(last - d.zerosOmega[3]), std::abs(last - d.zerosOmega[0]));
    EXPECT_NEAR(first, d.zerosOmega[0], 1e-3);
    EXPECT_NEAR(last, d.zerosOmega[3], 1e-3);
}

// The header's example of which section makes which zero.
TEST(TopologySearch, SectionsMatchZerosWorkedExample) {
    const FilterDesign d = std::get<FilterDesign>(design(6, "ct", {985, 1017}));
    const std::vector<Section> sections = tripletSections(6, 2);
    auto near = [](double made, double wanted, std::size_t) {
        return std::abs(made - wanted) < 1e-6;
    };
    const std::vector<double> listed = d.zerosOmega;
    EXPECT_TRUE(sectionsMatchZeros(d.matrix, sections, listed, near));
    const std::vector<double> swapped{listed[1], listed[0]};
    EXPECT_FALSE(sectionsMatchZeros(d.matrix, sections, swapped, near));
}

struct RefusalRow {
    const char *name;
    int order;
    const char *topology;
    std::vector<double> zerosMHz;
    DesignRefusal::Kind kind;
};

TEST(TopologySearch, Refusals) {
    const RefusalRow refusals[] = {
        {"ct: two triplets in order 4", 4, "ct", {1012, 988}, DesignRefusal::TooManyZeros},
        {"cq: three zeros", 8, "cq", {985, 1e6 / 985, 1020}, DesignRefusal::NotPairs},
        {"cq: a pair not symmetric", 8, "cq", {985, 1012}, DesignRefusal::NotPairs},
        {"cq: one zero", 4, "cq", {985}, DesignRefusal::NotPairs},
        {"cq: no room for two quadruplets",
         6,
         "cq",
         {985, 1e6 / 985, 990, 1e6 / 990},
         DesignRefusal::TooManyZeros},
        {"a list beyond the order", 4, "1-2,2-3,3-4,1-5", {1012}, DesignRefusal::ListBeyondOrder},
        {"a list with no cross-coupling", 4, "1-2,2-3,3-4", {1012}, DesignRefusal::CannotRealise},
    };
    for (const RefusalRow &row : refusals) {
        const auto designed = design(row.order, row.topology, row.zerosMHz);
        ASSERT_TRUE(std::holds_alternative<DesignRefusal>(designed)) << row.name;
        EXPECT_EQ(std::get<DesignRefusal>(designed).kind, row.kind) << row.name;
        EXPECT_FALSE(
            designRefusalText(std::get<DesignRefusal>(designed), tableOf(row.order), 1000).empty());
    }
    for (const char *bad : {"ring", "1-1", "1-2,,2-3", "1-2,1-2", "0-1", "1-x", ""})
        EXPECT_FALSE(topologyNamed(bad).has_value()) << bad;
    EXPECT_EQ(topologyName(*topologyNamed("2-1,3-4")), "1-2,3-4");
}

} // namespace
