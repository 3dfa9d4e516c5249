#pragma once

#include "tuning_window/tuning_session.h"

#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;

namespace varnel {

// The chart's exports, each writing to a path: an empty text on success,
// else what went wrong.
struct ChartExports {
    std::function<QString(const QString &)> png, svg;
};

// The tuning window's menus and tool bar, and the analyser's link in its
// status bar: each action acts on the session (or asks the window to open
// a sweep) and follows it, checked and enabled as the session's view state
// and link allow.
// Example: View > Tolerance band unchecked -> viewState().band is false
// and the band goes from the chart; an analyser connected -> Disconnect
// and Hold are enabled and the status bar says "Connected: <its name>".
class WindowActions : public QObject {
    Q_OBJECT
  public:
    // The panels' own actions placed in the menus: `stageActions` head the
    // Measurement menu, `chartActions` the View menu (the first one is on the
    // tool bar too); `stage` gives the stage shown, for the exports' names.
    WindowActions(QMainWindow *window, TuningSession &session, QList<QAction *> stageActions,
                  QList<QAction *> chartActions, ChartExports exports, std::function<int()> stage);

    // The marker actions the marker panel shows as buttons.
    QList<QAction *> markerButtons() const { return m_markerButtons; }
    // A file opened goes first in File > Open recent.
    void addRecent(const QString &path);

  signals:
    void openRequested(const QString &path);
    void connectRequested(const QString &address);
    // A line for the status bar ("Saved unit7.csv").
    void status(const QString &text);

  private:
    void buildFile();
    void buildMeasurement();
    void buildView();
    void buildMarkers();
    void fillRecentMenu();
    void chooseMemory();
    void showLink();
    void showView();
    void setView(const std::function<void(ViewState &)> &change);
    // `what` names the export in the proposed file name ("comparison").
    void exportWithDialog(const QString &title, const QString &filter, const QString &what,
                          const std::function<QString(const QString &)> &exporter);
    void warn(const QString &title, const QString &text);

    QMainWindow *m_window;
    TuningSession &m_session;
    QList<QAction *> m_stageActions, m_chartActions;
    ChartExports m_exports;
    std::function<int()> m_stage;
    QList<QAction *> m_markerButtons;
    QMenu *m_recentMenu = nullptr;
    QLabel *m_link = nullptr;
    QAction *m_open = nullptr;
    QAction *m_disconnect = nullptr, *m_hold = nullptr, *m_saveSweep = nullptr,
            *m_clearMemory = nullptr;
    QAction *m_showBand = nullptr, *m_againstMemory = nullptr, *m_showDb = nullptr,
            *m_delta = nullptr;
};

// A file name for a menu entry: "&" doubled so that it shows literally.
QString menuText(const QString &text);

} // namespace varnel
