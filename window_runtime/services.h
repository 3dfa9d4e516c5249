#pragma once

#include <string>
#include <string_view>

namespace varnel {

// What the window's command handlers rely on from the run-time: control
// properties, pending-event processing and ending the program. The Qt
// run-time implements it on the real window; tests implement it on a fake.
class Services {
  public:
    virtual ~Services() = default;

    // The Text property of the text box `control` ("Text1" ... "Text4").
    virtual std::string text(std::string_view control) = 0;
    virtual void setText(std::string_view control, const std::string &text) = 0;

    // The window's outer size in twips (1/1440 inch, 15 per pixel at 96 dpi),
    // single precision. A set may be held at the window's minimum size; a
    // following get returns the size applied.
    virtual float height() = 0;
    virtual void setHeight(float twips) = 0;
    virtual float width() = 0;
    virtual void setWidth(float twips) = 0;

    // Dispatches every pending window event, running their handlers, then
    // returns.
    virtual void doEvents() = 0;

    // Ends the program at once: the window disappears and no further handler
    // runs. Does not return to the handler that called it.
    [[noreturn]] virtual void end() = 0;
};

// Thrown through a handler once the program has ended, so that the handler
// and every handler it is nested in stop where they are.
struct ProgramEnded {};

} // namespace varnel
