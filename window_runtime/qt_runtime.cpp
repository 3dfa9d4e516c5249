#include "window_runtime/qt_runtime.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace varnel {

namespace {

QLineEdit *textBox(QWidget *form, std::string_view control) {
    auto *box = form->findChild<QLineEdit *>(QString::fromUtf8(control.data(), control.size()));
    Q_ASSERT(box);
    return box;
}

// The smallest client size the run-time lets the window take, in pixels.
constexpr int minimumClientPixels = 1;

// The client extent that gives an outer extent of `twips`, keeping the
// frame's share (outer minus client) as it is now.
int clientPixels(float twips, int outerNow, int clientNow) {
    return std::max(pixelsFromTwips(twips) - (outerNow - clientNow), minimumClientPixels);
}

} // namespace

QtRuntime::QtRuntime(QWidget *form) : m_form(form) {}

void QtRuntime::dispatch(const std::function<void()> &handler) {
    if (m_ended)
        return;
    try {
        handler();
    } catch (const RunTimeError &error) {
        if (m_ended)
            return;
        if (m_reportHook)
            m_reportHook(error);
        else
            showErrorReport(m_form, error);
    } catch (const ProgramEnded &) {
        // The program ended inside the handler: it stops here.
    }
}

void QtRuntime::ensureRunning() const {
    if (m_ended)
        throw ProgramEnded{};
}

std::string QtRuntime::text(std::string_view control) {
    ensureRunning();
    return textBox(m_form, control)->text().toStdString();
}

void QtRuntime::setText(std::string_view control, const std::string &text) {
    ensureRunning();
    QLineEdit *box = textBox(m_form, control);
    box->setText(QString::fromStdString(text));
    // A text box shows a new text from its start, so a result longer than the
    // box shows its leading digits.
    box->setCursorPosition(0);
}

// The outer size includes the frame a window manager draws, if any.
float QtRuntime::height() {
    ensureRunning();
    return static_cast<float>(m_form->frameGeometry().height() * twipsPerPixel);
}

void QtRuntime::setHeight(float twips) {
    ensureRunning();
    m_form->resize(m_form->width(),
                   clientPixels(twips, m_form->frameGeometry().height(), m_form->height()));
}

float QtRuntime::width() {
    ensureRunning();
    return static_cast<float>(m_form->frameGeometry().width() * twipsPerPixel);
}

void QtRuntime::setWidth(float twips) {
    ensureRunning();
    m_form->resize(clientPixels(twips, m_form->frameGeometry().width(), m_form->width()),
                   m_form->height());
}

void QtRuntime::doEvents() {
    ensureRunning();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    ensureRunning(); // a nested handler may have ended the program
}

void QtRuntime::end() {
    m_ended = true;
    if (m_endHook) {
        m_endHook();
    } else {
        m_form->hide();
        std::fflush(nullptr);
        ::_exit(0); // at once: no further handler, no outer loop
    }
    throw ProgramEnded{};
}

void showErrorReport(QWidget *parent, const RunTimeError &error) {
    const QString chinese = error.number() == RunTimeError::DivisionByZero
                                ? QStringLiteral("除数为零")
                                : QStringLiteral("溢出");
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnel"),
                    QStringLiteral("运行错误 %1：%2\n(%3)")
                        .arg(error.number())
                        .arg(chinese, QString::fromLatin1(error.what())),
                    QMessageBox::Ok, parent);
    box.exec();
}

} // namespace varnel
