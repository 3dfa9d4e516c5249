#pragma once

#include "window_runtime/qt_runtime.h"

#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

namespace varnel {

// A command button that answers Enter as well as Space while it has the
// focus, without being a default button.
class CommandButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// A frame drawn as the classic etched rectangle (a dark line with a light one
// beside it) with its caption set into the top line at the left. Drawing it
// ourselves also spares the widget style loading a picture, and with it every
// image-format plug-in, on the first paint.
class FrameBox : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// The main window, built from the control table of form_layout.h. A click on
// Command1 runs the Calculate command, a click on Command2 the exit command;
// the close box ends the program.
class Form1 : public QWidget {
  public:
    Form1();

    QtRuntime &runtime() { return m_runtime; }

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildControls();

    QtRuntime m_runtime;
};

} // namespace varnel
