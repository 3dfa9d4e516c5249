// What a bench keeps in its journal and reads back: the designs' keys, the
// plan from learned screws (the header's worked examples), and a record's
// elements read back as the diagnosis judged them, which the window's
// progress plot and the screws' refinement both rely on. Sweeps from the
// tests' generator, apart from the fit.
#include "filter_generator.h"
#include "journal/bench_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace varnel;

StageInputs inputsOf(StageInputTexts texts) {
    auto read = readStageInputs(texts);
    EXPECT_TRUE(read.inputs) << (read.problems.empty() ? "" : read.problems[0].text);
    return *read.inputs;
}

StageInputTexts texts(const char *order = "5") {
    StageInputTexts t;
    t.order = order;
    t.f0 = "1000";
    return t;
}

Diagnosis diagnosed(varnel::testing::Filter f, double toleranceFrequencyPercent) {
    const Network n = varnel::testing::generateFilter(f, 801, 15, -70, 1);
    DiagnoseSettings settings;
    settings.f0 = 1000;
    settings.toleranceFrequencyPercent = toleranceFrequencyPercent;
    auto result = diagnoseFilter(inputsOf(texts()).table, n, settings);
    EXPECT_TRUE(std::holds_alternative<Diagnosis>(result));
    return std::get<Diagnosis>(result);
}

TEST(BenchJournal, HeaderExamples) {
    EXPECT_EQ(designKey(inputsOf(texts())),
              "order=5 bandwidth=10 ripple=0.01 f0=1000 zeros= topology=inline");
    StageInputTexts folded = texts("6");
    folded.zeros = "985, 1015";
    EXPECT_EQ(designKey(inputsOf(folded)),
              "order=6 bandwidth=10 ripple=0.01 f0=1000 zeros=985,1015 topology=folded");

    // R1 learned as -2 MHz a turn, resonator 1 0.5 MHz high (tolerance 1 %
    // of 10 MHz): 0.5 / (2 x 1.01) = 0.2475 turn clockwise.
    const std::string where = ::testing::TempDir() + "/bench_journal_example.db";
    std::filesystem::remove(where);
    auto opened = Journal::open(where);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Journal>>(opened));
    Journal &journal = *std::get<std::unique_ptr<Journal>>(opened);
    Sensitivities s;
    s.screws = {{Screw::Resonator, 1, 0}};
    s.columns = {std::vector<double>(11, 0.0)};
    s.columns[0][0] = -2;
    s.learnedTurns = {0.0625};
    const StageInputs inputs = inputsOf(texts());
    ASSERT_TRUE(
        std::holds_alternative<std::monostate>(journal.saveSensitivities(designKey(inputs), s)));
    varnel::testing::Filter f;
    f.offsetMHz = {0.5, 0, 0, 0, 0};
    const auto plan = journalPlan(journal, inputs, diagnosed(f, 1));
    ASSERT_TRUE(std::holds_alternative<std::optional<JournalPlan>>(plan));
    const auto &planned = std::get<std::optional<JournalPlan>>(plan);
    ASSERT_TRUE(planned);
    ASSERT_EQ(planned->turns.size(), 1u);
    EXPECT_NEAR(planned->turns[0].turns, 0.2475, 0.005);
    EXPECT_EQ(planText(planned->turns).rfind("Turn R1 0.25 turn clockwise", 0), 0u);
}

// Rows: designs that share a key (the same to 6 significant digits) and
// those that must not.
TEST(BenchJournal, DesignKeys) {
    const std::string inLine = designKey(inputsOf(texts()));
    auto with = [](auto change) {
        StageInputTexts t = texts("6");
        t.zeros = "985,1015";
        change(t);
        return designKey(inputsOf(t));
    };
    const std::string folded = with([](StageInputTexts &) {});
    const struct {
        const char *name;
        std::string key, other;
        bool same;
    } rows[] = {
        {"ripple beyond 6 digits", designKey(inputsOf([] {
             StageInputTexts t = texts();
             t.ripple = "0.0100000001";
             return t;
         }())),
         inLine, true},
        {"another bandwidth", designKey(inputsOf([] {
             StageInputTexts t = texts();
             t.bandwidth = "10.5";
             return t;
         }())),
         inLine, false},
        {"folded and ct of the same zeros", with([](StageInputTexts &t) { t.topology = "ct"; }),
         folded, false},
        {"folded named or not", with([](StageInputTexts &t) { t.topology = "folded"; }), folded,
         true},
        {"zeros spelt with blanks", with([](StageInputTexts &t) { t.zeros = "985, 1015"; }), folded,
         true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.key == row.other, row.same) << row.name << ": " << row.key;
}

// A record's elements read back are the diagnosis' own, in its order and
// with its tolerances; the plan's turns are kept with the record.
TEST(BenchJournal, ARecordKeepsTheElementsAsJudged) {
    varnel::testing::Filter f;
    f.offsetMHz = {0.3, -0.2, 0, 0.15, 0};
    f.couplingScale = {1, 1.03, 1, 0.98};
    f.qe1Scale = 1.02;
    const Diagnosis d = diagnosed(f, 2);
    const StageInputs inputs = inputsOf(texts());
    const JudgedSweep judged = judgedDiagnosis(plannedDiagnosisJson(d, inputs, {}, false), d);
    EXPECT_EQ(judged.kind, "diagnose");
    EXPECT_EQ(judged.verdict, "fail");
    EXPECT_EQ(judged.plan, "[]");
    const auto read = recordedErrors(judged.elements, d.bandwidthMHz);
    ASSERT_TRUE(read);
    const auto own = elementErrors(d.elements, d.bandwidthMHz);
    ASSERT_EQ(read->size(), own.size());
    for (std::size_t e = 0; e < own.size(); ++e) {
        EXPECT_NEAR((*read)[e].error, own[e].error, 1e-12) << e;
        EXPECT_NEAR((*read)[e].tolerance, own[e].tolerance, 1e-12) << e;
        EXPECT_EQ((*read)[e].relative, own[e].relative) << e;
    }
    EXPECT_NEAR((*read)[0].error, 0.3, 0.01) << "resonator 1 first";
    EXPECT_NEAR((*read)[5].error, 0.02, 0.005) << "port 1's Qe after the resonators";
    EXPECT_NEAR((*read)[7].error, 0.03, 0.005) << "coupling 2-3";

    const JournalPlan plan{{{{Screw::Coupling, 2, 3}, -0.12}}, 24};
    const JudgedSweep planned = judgedDiagnosis(plannedDiagnosisJson(d, inputs, plan, true), d);
    const auto turns = planOfJson(planned.plan);
    ASSERT_EQ(turns.size(), 1u);
    EXPECT_EQ(screwName(turns[0].screw), "K23");
    EXPECT_EQ(turns[0].turns, -0.12);
    EXPECT_FALSE(recordedErrors("not json", 10));
    EXPECT_FALSE(recordedErrors(R"({"resonators": [{"offset_mhz": "x"}]})", 10));
}

} // namespace
