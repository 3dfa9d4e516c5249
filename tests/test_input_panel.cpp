// The input panel fed a session, without a window: what is typed is the
// session's texts, the session's problems mark their fields, a sweep fills
// the parameter list and the sweep's line, and the fields are kept between
// runs as typed.
#include "tuning_window/input_panel.h"
#include "wait_for.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnel;

namespace {

template <typename W> W *child(InputPanel &panel, const char *name) {
    W *widget = panel.findChild<W *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST(InputPanel, TypedTextsAreTheSessionsAndProblemsMarkTheirFields) {
    TuningSession session;
    InputPanel panel(session);
    panel.show();
    child<QLineEdit>(panel, "bandwidth")->setText("12.5");
    child<QSpinBox>(panel, "stage")->setValue(3);
    EXPECT_EQ(session.texts().bandwidth, "12.5");
    EXPECT_EQ(session.texts().stage, "3");
    ASSERT_TRUE(session.inputs());
    EXPECT_EQ(session.inputs()->stage, 3);

    child<QLineEdit>(panel, "tolerance")->setText("0,1");
    EXPECT_FALSE(session.inputs());
    QLabel *reason = child<QLabel>(panel, "toleranceReason");
    EXPECT_FALSE(reason->isHidden());
    EXPECT_FALSE(reason->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(panel, "tolerance")->styleSheet().contains("#b00020"));
    EXPECT_TRUE(child<QLabel>(panel, "orderReason")->isHidden()) << "only the field at fault";
    child<QLineEdit>(panel, "tolerance")->setText("0.1");
    EXPECT_TRUE(session.inputs());
    EXPECT_TRUE(reason->isHidden());
    EXPECT_TRUE(child<QLineEdit>(panel, "tolerance")->styleSheet().isEmpty());

    // A cut-off is read for waveguides only.
    child<QLineEdit>(panel, "cutoff")->setText("700");
    EXPECT_EQ(session.texts().cutoff, "");
    auto *resonator = child<QComboBox>(panel, "resonator");
    resonator->setCurrentIndex(resonator->findData("waveguide"));
    EXPECT_EQ(session.texts().cutoff, "700");
}

TEST(InputPanel, SweepFillsTheParametersAndItsLine) {
    TuningSession session;
    session.setSettleInterval(20);
    InputPanel panel(session);
    const QString path = QStringLiteral(VARNEL_TEST_DATA) + "/quirks.s2p";
    session.openFile(path);
    ASSERT_TRUE(waitFor([&] { return session.network() != nullptr; }));
    auto *parameter = child<QComboBox>(panel, "parameter");
    QStringList items;
    for (int i = 0; i < parameter->count(); ++i)
        items << parameter->itemText(i);
    EXPECT_EQ(items, (QStringList{"S11", "S22", "S12", "S21"}));
    EXPECT_TRUE(child<QLabel>(panel, "file")->text().startsWith("quirks.s2p: "));
    EXPECT_TRUE(panel.sweepMessage().isEmpty());
    session.openFile(QStringLiteral(VARNEL_TEST_DATA) + "/no such file.s1p");
    ASSERT_TRUE(waitFor([&] { return !panel.sweepMessage().isEmpty(); }));
}

TEST(InputPanel, FieldsKeptBetweenRuns) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("inputs.ini"), QSettings::IniFormat);
    {
        TuningSession session;
        InputPanel panel(session);
        child<QLineEdit>(panel, "f0")->setText("1234.5");
        child<QLineEdit>(panel, "couplingSlope")->setText("-0.5");
        child<QSpinBox>(panel, "stage")->setValue(4);
        child<QSpinBox>(panel, "average")->setValue(8);
        auto *output = child<QComboBox>(panel, "output");
        output->setCurrentIndex(output->findData("open"));
        panel.save(settings);
    }
    TuningSession session;
    InputPanel panel(session);
    panel.restore(settings);
    EXPECT_EQ(session.texts().f0, "1234.5");
    EXPECT_EQ(session.texts().couplingSlope, "-0.5");
    EXPECT_EQ(session.texts().stage, "4");
    EXPECT_EQ(session.texts().output, "open");
    EXPECT_EQ(session.averaging(), 8);
    EXPECT_EQ(panel.stage(), 4);
}

} // namespace
