#include "calculator_window/form1.h"

#include "calculator_window/commands.h"
#include "calculator_window/form_layout.h"
#include "calculator_window/window_fonts.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

#include <map>
#include <vector>

#include "pictures/kitten.xpm"
#include "pictures/varnel-16.xpm"
#include "pictures/varnel-32.xpm"

namespace varnel {

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), text.size());
}

QRect pixelRect(const ControlRow &spec) {
    return QRect(pixelsFromTwips(spec.left), pixelsFromTwips(spec.top), pixelsFromTwips(spec.width),
                 pixelsFromTwips(spec.height));
}

// A control's font in the installed family; texts in "Arial" draw their
// Chinese characters in the Song face, as Windows does for that font.
QFont controlFont(const FontChoice &spec) {
    QFont font(installedFamily(qs(spec.family)));
    if (spec.family != songTi)
        font.setFamilies({font.family(), installedFamily(qs(songTi))});
    font.setPixelSize(fontPixels(spec.points));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// A new control of type W with its table font, still without its text, so
// that the text is laid out once and only in the font it is shown in.
template <class W> W *createWithFont(const ControlRow &spec, QWidget *parent) {
    auto *control = new W(parent);
    if (!spec.font.family.empty())
        control->setFont(controlFont(spec.font));
    return control;
}

QWidget *createControl(const ControlRow &spec, QWidget *parent) {
    const QString text = qs(spec.text);
    switch (spec.kind) {
    case ControlKind::Label: {
        auto *label = createWithFont<QLabel>(spec, parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(spec.wordWrap);
        label->setText(text);
        return label;
    }
    case ControlKind::TextBox: {
        auto *box = createWithFont<QLineEdit>(spec, parent);
        box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        box->setText(text);
        return box;
    }
    case ControlKind::Button: {
        auto *button = createWithFont<CommandButton>(spec, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setText(text);
        return button;
    }
    case ControlKind::Frame: {
        auto *frame = createWithFont<FrameBox>(spec, parent);
        frame->setTitle(text);
        return frame;
    }
    case ControlKind::Picture: {
        auto *picture = createWithFont<QLabel>(spec, parent);
        picture->setPixmap(QPixmap(kitten_xpm));
        picture->setScaledContents(true); // stretched to the box
        return picture;
    }
    }
    return nullptr;
}

} // namespace

void FrameBox::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int lineY = metrics.height() / 2;
    const QRect outer = rect().adjusted(0, lineY, -1, -1);
    const QPalette &colours = palette();
    painter.setPen(colours.color(QPalette::Dark));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.setPen(colours.color(QPalette::Light));
    painter.drawRect(outer.adjusted(1, 1, 0, 0));
    if (title().isEmpty())
        return;
    // The caption sits on the top line, a little in from the left, with a
    // blank either side cut out of the line.
    const int gap = metrics.horizontalAdvance(QLatin1Char(' ')) / 2 + 1;
    const QRect caption(metrics.averageCharWidth() + gap, 0,
                        metrics.horizontalAdvance(title()) + 2 * gap, metrics.height());
    painter.fillRect(caption, colours.color(QPalette::Window));
    painter.setPen(
        colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

void CommandButton::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

Form1::Form1() : m_runtime(this) {
    applyWindowFonts();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(qs(formCaption));
    QIcon icon;
    icon.addPixmap(QPixmap(varnel_32_xpm));
    icon.addPixmap(QPixmap(varnel_16_xpm));
    setWindowIcon(icon);
    resize(pixelsFromTwips(formClientWidthTwips), pixelsFromTwips(formClientHeightTwips));
    buildControls();
    // The window's own font; no control uses it. Set after the controls are
    // built, so that none of them lays out its first text in it.
    QFont own(installedFamily(qs(songTi)));
    own.setPixelSize(fontPixels(15));
    own.setBold(true);
    setFont(own);
}

void Form1::buildControls() {
    std::map<std::string_view, QWidget *> byName;
    std::vector<std::pair<int, QWidget *>> tabStops;
    for (const ControlRow &spec : formControls()) {
        QWidget *parent = spec.container.empty() ? this : byName.at(spec.container);
        QWidget *control = createControl(spec, parent);
        control->setObjectName(qs(spec.name));
        control->setGeometry(pixelRect(spec));
        if (!spec.toolTip.empty())
            control->setToolTip(qs(spec.toolTip));
        if (control->focusPolicy() != Qt::NoFocus)
            tabStops.emplace_back(spec.tabIndex, control);
        byName[spec.name] = control;
    }

    std::sort(tabStops.begin(), tabStops.end());
    for (std::size_t i = 1; i < tabStops.size(); ++i)
        setTabOrder(tabStops[i - 1].second, tabStops[i].second);
    tabStops.front().second->setFocus();

    auto *command1 = static_cast<QPushButton *>(byName.at("Command1"));
    auto *command2 = static_cast<QPushButton *>(byName.at("Command2"));
    connect(command1, &QPushButton::clicked, this,
            [this] { m_runtime.dispatch([this] { calculateCommand(m_runtime); }); });
    connect(command2, &QPushButton::clicked, this,
            [this] { m_runtime.dispatch([this] { exitCommand(m_runtime); }); });
}

void Form1::closeEvent(QCloseEvent *event) {
    // Closing the window unloads it; with no window left the program ends.
    event->ignore();
    m_runtime.dispatch([this] { m_runtime.end(); });
}

} // namespace varnel
