#include "calculator_window/form1.h"
#include "calculator_window/form_layout.h"
#include "calculator_window/window_fonts.h"
#include "table_test.h"
#include "window_runtime/start.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QResizeEvent>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

using namespace varnel;

namespace varnel {
// Names a control row in test output.
void PrintTo(const ControlRow &spec, std::ostream *os) {
    *os << spec.name;
}
} // namespace varnel

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), text.size());
}

// A shown Form1 whose end and error report are recorded, not acted on.
class Form1Test : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->runtime().setEndHook([this] { ++ends; });
        form->runtime().setReportHook([this](const RunTimeError &e) {
            reports.push_back(e.number());
            reportTexts.push_back(e.what());
        });
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    template <class W = QWidget> W *control(std::string_view name) {
        return form->findChild<W *>(qs(name));
    }
    QString text(std::string_view name) { return control<QLineEdit>(name)->text(); }
    void click(std::string_view name) { QTest::mouseClick(control(name), Qt::LeftButton); }

    std::unique_ptr<Form1> form;
    int ends = 0;
    std::vector<int> reports;
    std::vector<std::string> reportTexts;
};

TEST_F(Form1Test, WindowCaptionAndClientArea) {
    EXPECT_EQ(form->windowTitle(), "Varnel");
    EXPECT_EQ(form->width() * 15, 2055 / 15 * 15);
    EXPECT_EQ(form->height() * 15, 4440);
    EXPECT_FALSE(form->windowIcon().isNull());
}

class ControlTest : public Form1Test, public ::testing::WithParamInterface<ControlRow> {};

TEST_P(ControlTest, MatchesTable) {
    const ControlRow &spec = GetParam();
    QWidget *widget = control(spec.name);
    ASSERT_NE(widget, nullptr);
    const QString container = spec.container.empty() ? "Form1" : qs(spec.container);
    EXPECT_EQ(widget->parentWidget()->objectName(), container);
    EXPECT_EQ(widget->geometry(), QRect(pixelsFromTwips(spec.left), pixelsFromTwips(spec.top),
                                        pixelsFromTwips(spec.width), pixelsFromTwips(spec.height)));
    QString shown;
    if (auto *box = qobject_cast<QLineEdit *>(widget))
        shown = box->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        shown = frame->title();
    else if (spec.kind == ControlKind::Label)
        shown = qobject_cast<QLabel *>(widget)->text();
    EXPECT_EQ(shown, qs(spec.text));
    if (!spec.font.family.empty()) {
        EXPECT_EQ(widget->font().family(), installedFamily(qs(spec.font.family)));
        EXPECT_EQ(widget->font().pixelSize(), fontPixels(spec.font.points));
        EXPECT_FALSE(widget->font().bold());
        EXPECT_FALSE(widget->font().italic());
    }
    EXPECT_EQ(widget->toolTip(), qs(spec.toolTip));
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        EXPECT_EQ(label->wordWrap(), spec.wordWrap);
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, ControlTest, ::testing::ValuesIn(formControls()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FormLayout, ExactTextsAndSizes) {
    std::map<std::string_view, std::string_view> texts;
    for (const ControlRow &spec : formControls())
        texts[spec.name] = spec.text;
    EXPECT_EQ(texts["Label2"], "带  宽           MHz ");
    EXPECT_EQ(texts["Label3"], "纹  波           dB");
    EXPECT_EQ(texts["Text1"], "   5");
    EXPECT_EQ(texts["Text3"], "  0.01");
    EXPECT_EQ(fontPixels(9), 12);
    EXPECT_EQ(fontPixels(9.75), 13);
    EXPECT_EQ(fontPixels(8.25), 11);
}

TEST_F(Form1Test, SubstituteFontsDrawChineseAndPutUnitsRightOfBoxes) {
    auto *label2 = control<QLabel>("Label2");
    EXPECT_TRUE(QFontInfo(label2->font()).family().startsWith("AR PL UMing"));
    const QFontMetrics metrics(label2->font());
    EXPECT_TRUE(metrics.inFont(QChar(0x5E26))); // 带
    const int boxRight = control("Text2")->geometry().right() + 1;
    for (const char *name : {"Label2", "Label3"}) {
        auto *label = control<QLabel>(name);
        const QString caption = label->text();
        const int unitStart = label->x() + metrics.horizontalAdvance(caption.left(
                                               caption.indexOf('M') >= 0 ? caption.indexOf('M')
                                                                         : caption.indexOf('d')));
        EXPECT_GE(unitStart, boxRight) << name;
        EXPECT_LE(label->x() + metrics.horizontalAdvance(caption.trimmed()), form->width()) << name;
    }
    EXPECT_EQ(QFontInfo(control("Command1")->font()).family(), "Liberation Sans");
}

TEST_F(Form1Test, BoxesButtonsAndFrameAreDrawnAboveLabels) {
    // Text2 and Text3 lie over the blank runs of their row captions.
    for (const char *name : {"Text2", "Text3"}) {
        QWidget *box = control(name);
        EXPECT_EQ(form->childAt(box->geometry().center()), box) << name;
    }
    EXPECT_EQ(form->childAt(control("Command1")->geometry().center()), control("Command1"));
}

// Each test runs in a process of its own, so nothing else has read a picture.
TEST_F(Form1Test, DrawingTheWindowLoadsNoImagePlugin) {
    const QPixmap drawn = form->grab();
    ASSERT_FALSE(drawn.isNull());
    std::ifstream maps("/proc/self/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
    ASSERT_FALSE(mapped.empty());
    EXPECT_EQ(mapped.find("imageformats"), std::string::npos);
}

TEST_F(Form1Test, ApplicationVersion) {
    EXPECT_EQ(QApplication::applicationVersion(), "1.00");
}

TEST_F(Form1Test, FocusStartsOnCalculateAndTabFollowsTabIndex) {
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(order, QStringList({"Text1", "Text2", "Text3", "Command2", "Text4", "Command1"}));
}

TEST_F(Form1Test, ClickCalculateWithInitialTexts) {
    click("Command1");
    EXPECT_EQ(text("Text4"), "48.149");
}

TEST_F(Form1Test, FocusedButtonAnswersEnterAndSpace) {
    QTest::keyClick(control("Command1"), Qt::Key_Return);
    EXPECT_EQ(text("Text4"), "48.149");
    control<QLineEdit>("Text4")->clear();
    QTest::keyClick(control("Command1"), Qt::Key_Space);
    EXPECT_EQ(text("Text4"), "48.149");
}

TEST_F(Form1Test, EnterInTextBoxAndEscapeDoNothing) {
    control("Text1")->setFocus();
    QTest::keyClick(control("Text1"), Qt::Key_Return);
    QTest::keyClick(control("Text1"), Qt::Key_Escape);
    EXPECT_EQ(text("Text4"), "");
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Test, TypedFieldsAreUsed) {
    auto *order = control<QLineEdit>("Text1");
    order->selectAll();
    QTest::keyClicks(order, "7");
    control<QLineEdit>("Text2")->setText("5");
    control<QLineEdit>("Text3")->setText("0.05");
    click("Command1");
    EXPECT_EQ(text("Text4"), "131.725");
}

// A result longer than the box shows its leading digits: the cursor is put
// at the start, and the box keeps its size.
TEST_F(Form1Test, LongResultShowsItsStart) {
    auto *result = control<QLineEdit>("Text4");
    const QSize size = result->size();
    for (const char *bandwidth : {"0.0098", "1e-12"}) {
        control<QLineEdit>("Text2")->setText(bandwidth);
        click("Command1");
        ASSERT_GT(result->fontMetrics().horizontalAdvance(result->text()), result->width())
            << "the result must be wider than its box: " << bandwidth;
        EXPECT_EQ(result->cursorPosition(), 0) << bandwidth;
        EXPECT_LT(result->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), 10) << bandwidth;
        EXPECT_EQ(result->size(), size);
    }
}

TEST_F(Form1Test, RunTimeErrorIsReportedAndProgramKeepsRunning) {
    click("Command1");
    control<QLineEdit>("Text2")->clear();
    click("Command1");
    EXPECT_EQ(reports, std::vector<int>{11});
    EXPECT_EQ(reportTexts, std::vector<std::string>{"Division by zero"});
    EXPECT_EQ(text("Text4"), "48.149");
    EXPECT_EQ(text("Text1"), "   5");
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(form->isVisible());
    control<QLineEdit>("Text2")->setText("20");
    click("Command1");
    EXPECT_EQ(text("Text4"), "24.074");
}

TEST_F(Form1Test, TypingIntoResultFieldIsReplacedByNextResult) {
    QTest::keyClicks(control("Text4"), "hello");
    EXPECT_EQ(text("Text1"), "   5");
    click("Command1");
    EXPECT_EQ(text("Text4"), "48.149");
}

TEST_F(Form1Test, CloseBoxEndsProgram) {
    form->close();
    EXPECT_EQ(ends, 1);
    click("Command1"); // no handler runs after the end
    EXPECT_EQ(text("Text4"), "");
}

// Records the window's sizes as resize events deliver them.
class SizeRecorder : public QObject {
  public:
    std::vector<QSize> sizes;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Resize)
            sizes.push_back(static_cast<QResizeEvent *>(event)->size());
        return false;
    }
};

TEST_F(Form1Test, ExitShrinksHeightThenWidthAndEnds) {
    SizeRecorder recorder;
    form->installEventFilter(&recorder);
    click("Command2");
    EXPECT_EQ(ends, 1);
    ASSERT_GT(recorder.sizes.size(), 100u);
    // Height first, at full width, down to the smallest height the window
    // takes; then the width, at that height, down to its minimum.
    EXPECT_EQ(recorder.sizes.front(), QSize(137, 295));
    const auto narrowing = std::find_if(recorder.sizes.begin(), recorder.sizes.end(),
                                        [](QSize s) { return s.width() < 137; });
    ASSERT_NE(narrowing, recorder.sizes.end());
    EXPECT_TRUE(std::is_sorted(recorder.sizes.begin(), narrowing,
                               [](QSize a, QSize b) { return a.height() > b.height(); }));
    const int collapsed = narrowing[-1].height();
    EXPECT_LE(collapsed, 2); // 30 twips outer, or the minimum
    EXPECT_TRUE(std::all_of(narrowing, recorder.sizes.end(),
                            [&](QSize s) { return s.height() == collapsed; }));
    EXPECT_EQ(form->size(), QSize(1, collapsed));
}

// Events queued before Exit is clicked are dispatched by the animation's
// first pending-event step, nested inside it.
TEST_F(Form1Test, CalculateNestedInExitAnimation) {
    control<QLineEdit>("Text2")->setText("20");
    QMetaObject::invokeMethod(control<QPushButton>("Command1"), &QPushButton::click,
                              Qt::QueuedConnection);
    click("Command2");
    EXPECT_EQ(text("Text4"), "24.074");
    EXPECT_EQ(ends, 1);
}

TEST_F(Form1Test, RunTimeErrorNestedInExitAnimationIsReportedAndAnimationGoesOn) {
    control<QLineEdit>("Text2")->clear();
    QMetaObject::invokeMethod(control<QPushButton>("Command1"), &QPushButton::click,
                              Qt::QueuedConnection);
    click("Command2");
    EXPECT_EQ(reports, std::vector<int>{11});
    EXPECT_EQ(ends, 1);
    EXPECT_LE(form->width(), 1); // the animation ran to its end
}

TEST_F(Form1Test, ExitNestedInExitEndsOnce) {
    QMetaObject::invokeMethod(control<QPushButton>("Command2"), &QPushButton::click,
                              Qt::QueuedConnection);
    click("Command2");
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->runtime().ended());
}

TEST_F(Form1Test, CloseBoxDuringExitAnimationEndsAtOnce) {
    QMetaObject::invokeMethod(form.get(), &QWidget::close, Qt::QueuedConnection);
    click("Command2");
    EXPECT_EQ(ends, 1);
    // Ended at the first step: the window was not shrunk any further.
    EXPECT_GE(form->height(), 290);
    EXPECT_EQ(form->width(), 137);
}

TEST(ErrorReport, ModalBoxShowsNumberAndDescription) {
    for (const RunTimeError &error : {RunTimeError::divisionByZero(), RunTimeError::overflow()}) {
        QString shown;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            modal = box->isModal();
            shown = box->text();
            box->accept();
        });
        showErrorReport(nullptr, error);
        EXPECT_TRUE(modal);
        EXPECT_TRUE(shown.contains(QString::number(error.number()))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QString::fromLatin1(error.what()))) << shown.toStdString();
    }
}

} // namespace
