// Hostile input in the real window on the offscreen platform: whatever is
// typed or pasted, the window answers with a result or a run-time error
// report, keeps running and keeps the user's texts.
#include "calculator_window/form1.h"
#include "table_test.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace varnel;

namespace {

using varnel::testing::PrintTo;

class HostileInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->runtime().setEndHook([this] { ++ends; });
        form->runtime().setReportHook(
            [this](const RunTimeError &e) { reports.push_back(e.number()); });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    QLineEdit *box(const char *name) { return form->findChild<QLineEdit *>(name); }
    QPushButton *button(const char *name) { return form->findChild<QPushButton *>(name); }
    void paste(const char *name, const QString &text) {
        QApplication::clipboard()->setText(text);
        box(name)->setFocus();
        box(name)->selectAll();
        QTest::keyClick(box(name), Qt::Key_V, Qt::ControlModifier);
    }
    // Calculate once; the answer is the result field or the reported error.
    QString calculate() {
        const std::size_t before = reports.size();
        box("Text4")->setText("before");
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        if (reports.size() > before) {
            EXPECT_EQ(box("Text4")->text(), "before");
            return QStringLiteral("error %1").arg(reports.back());
        }
        return box("Text4")->text();
    }

    std::unique_ptr<Form1> form;
    int ends = 0;
    std::vector<int> reports;
};

struct PasteCase {
    const char *name;
    const char *field;
    QString text;
    QString answer;
};

const PasteCase pasteCases[] = {
    {"tab_inside_bandwidth", "Text2", "1\t0", "48.149"},
    {"line_feed_inside_order", "Text1", "5\n", "48.149"},
    {"carriage_return_ends_bandwidth", "Text2", QString("2\r0"), "240.745"},
    {"nul_ends_bandwidth", "Text2", QString("2") + QChar(0) + "0", "240.745"},
    {"full_width_digits_read_zero", "Text1", QString::fromUtf8("５"), "error 11"},
    {"arabic_indic_digits_read_zero", "Text2", QString::fromUtf8("١٠"), "error 11"},
    {"chinese_unit_after_number", "Text2", QString::fromUtf8("10兆赫"), "48.149"},
    {"spreadsheet_row", "Text3", "0.01\t0.02\r\n", "48.149"},
};

class PasteTest : public HostileInputTest, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(PasteTest, AnswersAndKeepsTexts) {
    const PasteCase &c = GetParam();
    paste(c.field, c.text);
    const QString typed = box(c.field)->text();
    EXPECT_FALSE(typed.isEmpty());
    EXPECT_EQ(calculate(), c.answer);
    EXPECT_EQ(box(c.field)->text(), typed); // nothing the user typed is lost
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Texts, PasteTest, ::testing::ValuesIn(pasteCases),
                         varnel::testing::RowName());

TEST_F(HostileInputTest, LongestTextsInEveryField) {
    for (const char *name : {"Text1", "Text2", "Text3", "Text4"})
        EXPECT_EQ(box(name)->maxLength(), 32767) << name;
    const int longest = box("Text1")->maxLength();
    struct Fill {
        QChar order, bandwidth, ripple;
        QString answer;
    };
    const Fill fills[] = {
        {'9', '9', '9', "error 6"},  // a 32767-digit order is beyond any double
        {' ', ' ', ' ', "error 11"}, // blanks only: order 0
        {'5', '1', '1', "error 6"},
    };
    for (const Fill &fill : fills) {
        box("Text1")->setText(QString(longest, fill.order));
        box("Text2")->setText(QString(longest, fill.bandwidth));
        box("Text3")->setText(QString(longest, fill.ripple));
        EXPECT_EQ(calculate(), fill.answer);
        EXPECT_EQ(box("Text1")->text().size(), longest);
    }
    // A huge bandwidth after a short order and ripple: the delay is tiny.
    box("Text1")->setText("5");
    box("Text3")->setText("0.01");
    box("Text2")->setText("1" + QString(300, '0'));
    EXPECT_EQ(calculate(), "0.");
    EXPECT_EQ(ends, 0);
}

TEST_F(HostileInputTest, ThousandCalculateClicksDuringExitAnimation) {
    box("Text2")->setText("20");
    for (int i = 0; i < 1000; ++i)
        QMetaObject::invokeMethod(button("Command1"), &QPushButton::click, Qt::QueuedConnection);
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(box("Text4")->text(), "24.074");
    EXPECT_EQ(box("Text2")->text(), "20");
    EXPECT_TRUE(reports.empty());
}

TEST_F(HostileInputTest, FailingClicksDuringExitAnimationAreEachReported) {
    box("Text1")->clear();
    for (int i = 0; i < 50; ++i)
        QMetaObject::invokeMethod(button("Command1"), &QPushButton::click, Qt::QueuedConnection);
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    EXPECT_EQ(reports, std::vector<int>(50, 11));
    EXPECT_EQ(ends, 1);
}

} // namespace
