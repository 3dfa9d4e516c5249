// A cross-coupled filter in the tuning window: its zeros and topology among
// the inputs, the design and its zeros on the dB chart, the whole filter
// diagnosed by its coupling matrix (sweeps made by the separate generator
// of matrix_sweep.h), the coupling diagram coloured by each element's
// error, and the stage mode refusing the design as varnel-calc does.
#include "matrix_sweep.h"
#include "tune_window_fixture.h"
#include "tuning_window/coupling_panel.h"
#include "tuning_window/response_chart.h"
#include "wait_for.h"

#include <algorithm>

using namespace varnel;
using namespace varnel::testing_window;
using varnel::testing::Bench;
using varnel::testing::designOf;
using varnel::testing::sweepOf;

namespace {

class CrossCoupledWindowTest : public TuneWindowTest {
  protected:
    void SetUp() override {
        TuneWindowTest::SetUp();
        set("order", "6");
        set("zeros", "985, 1015");
    }
    void wholeFilter() { field<QComboBox>("mode")->setCurrentIndex(1); }
    // A sweep of the order-6 folded design with coupling 2-5 made
    // `percent` of the largest coupling stronger, as a file.
    QString faulted(double percent, const char *name) {
        const FilterDesign d = designOf(6, "folded", {985, 1015});
        CouplingMatrix truth = d.matrix;
        double largest = 0;
        for (std::size_t i = 1; i < 6; ++i)
            largest = std::max(largest, std::abs(d.matrix.at(i, i + 1)));
        const double step = percent / 100 * largest;
        truth.set(2, 5, d.matrix.at(2, 5) + (d.matrix.at(2, 5) < 0 ? -step : step));
        Bench bench;
        bench.bandwidth = d.bandwidth;
        bench.halfSpan = 2;
        bench.noiseDb = -70;
        const QString path = temp.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString()) << writeS2p({}, sweepOf(truth, bench, 401, 7));
        return path;
    }
    std::vector<QLineSeries *> visible(const QString &name) {
        std::vector<QLineSeries *> found;
        for (QAbstractSeries *s : window->findChild<ResponseChart *>()->chart()->series())
            if (s->name() == name && s->isVisible() && static_cast<QLineSeries *>(s)->count() > 0)
                found.push_back(static_cast<QLineSeries *>(s));
        return found;
    }
    CouplingPanel *panel() {
        return window->findChild<CouplingPanel *>(QStringLiteral("couplingPanel"));
    }
    const CouplingPanel::Edge *edge(int from, int to) {
        for (const CouplingPanel::Edge &e : panel()->edges())
            if (e.from == from && e.to == to)
                return &e;
        return nullptr;
    }
};

// Before any sweep: the design's |S11| and |S21| over its span and a line
// at each zero; the diagram has the folded form's couplings, unjudged.
TEST_F(CrossCoupledWindowTest, TheDesignShowsBeforeASweep) {
    wholeFilter();
    const auto &design = window->session().designResponse();
    ASSERT_TRUE(design);
    EXPECT_EQ(visible("|S11| design").size(), 1u);
    EXPECT_EQ(visible("|S21| design").size(), 1u);
    std::vector<double> zeros;
    for (QLineSeries *line : visible("Transmission zero")) {
        ASSERT_EQ(line->count(), 2);
        EXPECT_EQ(line->at(0).x(), line->at(1).x());
        zeros.push_back(line->at(0).x());
    }
    std::sort(zeros.begin(), zeros.end());
    EXPECT_EQ(zeros, (std::vector<double>{985, 1015}));
    // S-1, five main-line couplings, 1-6 and 2-5 (i + j = 7), 2-6 and 3-5
    // (i + j = 8), 6-L.
    EXPECT_EQ(panel()->edges().size(), 11u);
    ASSERT_TRUE(edge(3, 5));
    ASSERT_TRUE(edge(2, 5));
    EXPECT_EQ(edge(2, 5)->judged, CouplingPanel::Judged::Unjudged);
    EXPECT_FALSE(edge(1, 3)) << "folded order 6 has no 1-3";
    // A zero typed into the band: the last design stays, greyed.
    set("zeros", "1002");
    ASSERT_FALSE(window->session().inputs());
    ASSERT_EQ(visible("|S11| design").size(), 1u);
    EXPECT_LT(visible("|S11| design")[0]->opacity(), 1);
    set("zeros", "985,1015");
    EXPECT_EQ(visible("|S11| design")[0]->opacity(), 1);
    // The stage targets are the in-line filter's: none are drawn.
    EXPECT_FALSE(window->session().curve());
    EXPECT_TRUE(window->session().stageRows().empty());
}

// The whole filter diagnosed by its matrix: the finding names coupling
// 2-5, the diagram colours it alone, the diagnosis draws the design at the
// sweep's points, and the export is the fitted matrix's.
TEST_F(CrossCoupledWindowTest, TheMatrixDiagnosisIsShown) {
    wholeFilter();
    ASSERT_TRUE(open(faulted(6, "faulted.s2p")));
    ASSERT_TRUE(window->session().matrixDiagnosis());
    const MatrixDiagnosis &d = *window->session().matrixDiagnosis();
    EXPECT_EQ(d.outcome, Diagnosis::Fail);
    ASSERT_EQ(d.findings.size(), 1u);
    EXPECT_EQ(findingText(d.findings[0]), "Coupling 2–5 is 6.0 % strong: weaken it");
    EXPECT_EQ(label("verdict")->text(), "FAIL");
    EXPECT_TRUE(label("advice")->text().contains("Coupling 2–5 is 6.0 % strong: weaken it"))
        << label("advice")->text().toStdString();
    ASSERT_TRUE(edge(2, 5));
    EXPECT_EQ(edge(2, 5)->judged, CouplingPanel::Judged::Beyond);
    EXPECT_NEAR(edge(2, 5)->percent, 6, 0.1);
    for (const CouplingPanel::Edge &e : panel()->edges())
        if (!(e.from == 2 && e.to == 5)) {
            EXPECT_EQ(e.judged, CouplingPanel::Judged::Within) << e.from << "-" << e.to;
        }
    for (const CouplingPanel::Node &n : panel()->nodes())
        EXPECT_EQ(n.judged, CouplingPanel::Judged::Within) << n.index;
    // The design's traces are the diagnosis's now, at the sweep's points.
    const auto designs = visible("|S11| design");
    ASSERT_EQ(designs.size(), 1u);
    EXPECT_EQ(designs[0]->count(), 401);
    EXPECT_EQ(visible("Transmission zero").size(), 2u);
    const QString csv = temp.filePath("filter.csv");
    EXPECT_EQ(window->session().exportComparisonCsv(csv), QString());
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readLine().startsWith("f_mhz,s11_db_measured,s11_db_fitted"));
}

// A tuned sweep passes, every element green; new inputs grey the diagram
// until the diagnosis is current again.
TEST_F(CrossCoupledWindowTest, ATunedFilterPasses) {
    wholeFilter();
    ASSERT_TRUE(open(faulted(0, "tuned.s2p")));
    ASSERT_TRUE(window->session().matrixDiagnosis());
    EXPECT_EQ(window->session().matrixDiagnosis()->outcome, Diagnosis::Pass);
    EXPECT_EQ(label("verdict")->text(), "PASS");
    for (const CouplingPanel::Edge &e : panel()->edges())
        EXPECT_EQ(e.judged, CouplingPanel::Judged::Within) << e.from << "-" << e.to;
    set("tolerance", "0,1");
    for (const CouplingPanel::Edge &e : panel()->edges())
        EXPECT_EQ(e.judged, CouplingPanel::Judged::Unjudged) << e.from << "-" << e.to;
}

// Stage by stage, a design with zeros is refused with the reason, as
// varnel-calc check refuses it; without zeros the stage is checked again.
TEST_F(CrossCoupledWindowTest, TheStageModeRefusesADesign) {
    ASSERT_TRUE(open(faulted(0, "stage.s2p")));
    ASSERT_TRUE(window->session().refusal());
    EXPECT_EQ(window->session().refusal()->kind, CheckRefusal::CrossCoupled);
    EXPECT_EQ(label("verdict")->text(), "No verdict");
    set("zeros", "");
    ASSERT_TRUE(waitFor(
        [&] { return window->session().reportCurrent() && window->session().report(); }, 5000));
}

// Each problem of the zeros or the topology marks its own field with the
// reason; the design's refusal is shown at the zeros.
TEST_F(CrossCoupledWindowTest, ProblemsMarkTheirFields) {
    struct Row {
        const char *zeros, *topology, *field;
        QString reason;
    };
    const Row rows[] = {
        {"985,x", "", "zerosReason",
         "Enter the zeros in MHz separated by commas, with a decimal point."},
        {"985", "star", "topologyReason",
         "Enter inline, folded, ct, cq or a list of couplings such as 1-2,2-3,1-3."},
        {"1002", "", "zerosReason",
         "The zero at 1002 MHz is inside the band: a transmission zero lies beside it, outside."},
        {"985", "1-2,2-3,3-4,4-5,5-6,6-7", "topologyReason",
         "The coupling list names resonator 7, beyond the order."},
    };
    for (const Row &row : rows) {
        set("zeros", QString::fromLatin1(row.zeros));
        set("topology", QString::fromLatin1(row.topology));
        EXPECT_FALSE(window->session().inputs()) << row.zeros << " " << row.topology;
        QLabel *reason = label(row.field);
        ASSERT_TRUE(reason);
        EXPECT_FALSE(reason->isHidden()) << row.zeros << " " << row.topology;
        EXPECT_EQ(reason->text(), row.reason);
    }
    set("zeros", "985,1015");
    set("topology", "");
    EXPECT_TRUE(window->session().inputs());
    EXPECT_TRUE(label("zerosReason")->isHidden());
    EXPECT_TRUE(label("topologyReason")->isHidden());
}

// The in-line filter's diagram is its chain, S-1 to N-L.
TEST_F(CrossCoupledWindowTest, AnInlineFilterIsAChain) {
    set("zeros", "");
    ASSERT_FALSE(window->session().designResponse());
    EXPECT_EQ(panel()->edges().size(), 7u);
    EXPECT_TRUE(visible("Transmission zero").empty());
    EXPECT_TRUE(panel()->caption().startsWith("The in-line filter, order 6.\nIts couplings are "
                                              "judged in the whole filter's mode."));
}

} // namespace
