// The window's menus fed a session, without the window: the view's actions
// follow the session's view state both ways, the link's actions and label
// follow the analyser's link, and recent files are listed as named.
#include "tuning_window/window_actions.h"
#include "wait_for.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnel;

namespace {

struct Menus {
    QMainWindow window;
    TuningSession session;
    WindowActions *actions = new WindowActions(
        &window, session, {}, {},
        {[](const QString &) { return QString(); }, [](const QString &) { return QString(); }},
        [] { return 1; });
    QAction *action(const char *name) {
        return window.findChild<QAction *>(QString::fromLatin1(name));
    }
    QAction *named(const QString &text) {
        for (QAction *a : window.findChildren<QAction *>())
            if (a->text() == text)
                return a;
        return nullptr;
    }
};

TEST(WindowActions, ViewActionsFollowTheViewStateBothWays) {
    Menus m;
    QAction *band = m.action("showBand"), *db = m.action("showDb"), *delta = m.action("delta");
    ASSERT_TRUE(band && db && delta);
    EXPECT_TRUE(band->isChecked()) << "the band is on by default";
    band->trigger();
    EXPECT_FALSE(m.session.viewState().band);
    ViewState view = m.session.viewState();
    view.showDb = true;
    view.delta = true;
    m.session.setViewState(view);
    EXPECT_TRUE(db->isChecked());
    EXPECT_TRUE(delta->isChecked());
    EXPECT_TRUE(db->isEnabled());
    m.session.setWholeFilter(true);
    EXPECT_FALSE(db->isEnabled()) << "the whole filter's chart is all dB";
}

TEST(WindowActions, LinkActionsFollowTheLink) {
    Menus m;
    auto *link = m.window.findChild<QLabel *>("link");
    QAction *hold = m.action("hold");
    ASSERT_TRUE(link && hold);
    EXPECT_FALSE(hold->isEnabled()) << "no analyser";
    m.session.openAnalyser("scpi://127.0.0.1:1");
    EXPECT_EQ(link->text(), "Connecting to scpi://127.0.0.1:1");
    EXPECT_TRUE(hold->isEnabled());
    m.session.disconnectAnalyser();
    EXPECT_EQ(link->text(), "Disconnected: the last sweep stays");
    EXPECT_FALSE(hold->isEnabled());
}

TEST(WindowActions, RecentFilesListedAsNamed) {
    QTemporaryDir dir;
    Menus m;
    m.actions->addRecent(dir.filePath("R&D unit.s2p"));
    QAction *recent = m.named("Open &recent");
    ASSERT_TRUE(recent && recent->menu());
    ASSERT_EQ(recent->menu()->actions().size(), 1);
    EXPECT_EQ(recent->menu()->actions()[0]->text(), "R&&D unit.s2p") << "& shown, not a mnemonic";
    QString opened;
    QObject::connect(m.actions, &WindowActions::openRequested,
                     [&](const QString &path) { opened = path; });
    recent->menu()->actions()[0]->trigger();
    EXPECT_EQ(opened, dir.filePath("R&D unit.s2p"));
}

} // namespace
