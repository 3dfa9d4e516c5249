#pragma once

#include "lowpass_prototype/run_time_error.h"
#include "window_runtime/services.h"

#include <functional>

class QWidget;

namespace varnel {

// The run-time services on a real Qt window: control properties by object
// name, pending events, ending the program, and the dispatch of click
// handlers with the run-time error report.
//
// Once end() has been called every service throws ProgramEnded and dispatch
// runs no handler, so nothing touches the window after the end even when the
// end service is replaced (tests record it instead of exiting the process).
class QtRuntime : public Services {
  public:
    using EndHook = std::function<void()>;
    using ReportHook = std::function<void(const RunTimeError &)>;

    explicit QtRuntime(QWidget *form);

    // Runs a click handler. A RunTimeError it raises stops it and is reported
    // (a modal box with the number and description); the program then keeps
    // running. Nothing escapes into Qt's event loop.
    void dispatch(const std::function<void()> &handler);

    std::string text(std::string_view control) override;
    void setText(std::string_view control, const std::string &text) override;
    float height() override;
    void setHeight(float twips) override;
    float width() override;
    void setWidth(float twips) override;
    void doEvents() override;
    [[noreturn]] void end() override;

    bool ended() const { return m_ended; }

    // By default the end hides the window and exits the process with status
    // 0, and a report is a modal message box.
    void setEndHook(EndHook hook) { m_endHook = std::move(hook); }
    void setReportHook(ReportHook hook) { m_reportHook = std::move(hook); }

  private:
    void ensureRunning() const;

    QWidget *m_form;
    bool m_ended = false;
    EndHook m_endHook;
    ReportHook m_reportHook;
};

// The modal error report: the error number and its description.
void showErrorReport(QWidget *parent, const RunTimeError &error);

// Twips <-> device-independent pixels (15 twips per pixel at 96 dpi).
inline constexpr int twipsPerPixel = 15;
inline int pixelsFromTwips(double twips) {
    return static_cast<int>(twips / twipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}

} // namespace varnel
