// The window's item commands: sent to the pane with the focus, the list's selected
// rows or the tree's folder; and the hint of the context menu's highlighted command
// in the status bar.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/Unit1.h"
#include "foldertree/SystemTreeView.h"
#include "platform/clipboard/Clipboard.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/PopupMenus.h"
#include "tests/support/RecordedFileWork.h"

namespace clip = platform::clipboard;
using listtest::WaitFor;
using platform::verbs::PasteMode;
using testsupport::MakeDirs;
using testsupport::WriteFile;

namespace {

class ItemCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(folder + "/Sub");
        listtest::WriteLink(folder + "/a.lnk", env / "doc.txt");
        WriteFile(env / "doc.txt", "x");
        platform::verbs::SetFileWork(work);
    }
    void TearDown() override { platform::verbs::SetFileWork(nullptr); }

    // The window on the folder, its list focused with a.lnk selected, or its tree.
    void Focus(TForm1& w, bool list)
    {
        TwekShortcutListView* rows = w.ShortcutList();
        ASSERT_TRUE(WaitFor([&] { return rows->ItemCount() == 2; }));
        rows->clearSelection();
        rows->selectionModel()->select(rows->model()->index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QWidget* pane = list ? static_cast<QWidget*>(rows) : w.dfsTV();
        pane->setFocus();
        ASSERT_TRUE(WaitFor([&] { return pane->hasFocus(); }));
    }

    listtest::PrivateEnvironment env;
    std::string folder = env / "folder";
    std::shared_ptr<testsupport::RecordedFileWork> work = std::make_shared<testsupport::RecordedFileWork>();
};

TEST_F(ItemCommandsTest, ItemCommandsGoToThePaneWithTheFocus)
{
    using enum ActionId;
    using Call = testsupport::RecordedFileWork::Call;
    const std::string link = folder + "/a.lnk";
    const struct {
        bool list;
        ActionId action;
        std::vector<Call> work;
        std::vector<std::string> onClipboard; // after the command
    } cases[] = {
        {true, aDelete, {{"trash", "", PasteMode::Copy, {link}}}, {env / "doc.txt"}},
        {true, aCopy, {}, {link}},
        {true, aPaste, {{"paste", folder, PasteMode::Copy, {env / "doc.txt"}}}, {env / "doc.txt"}},
        {true, aPasteShortcut, {{"paste", folder, PasteMode::Shortcuts, {env / "doc.txt"}}}, {env / "doc.txt"}},
        // The tree's folder itself, and the pastes go into it.
        {false, aDelete, {{"trash", "", PasteMode::Copy, {folder}}}, {env / "doc.txt"}},
        {false, aCut, {}, {folder}},
        {false, aPaste, {{"paste", folder, PasteMode::Copy, {env / "doc.txt"}}}, {env / "doc.txt"}},
        {false, aPasteShortcut, {{"paste", folder, PasteMode::Shortcuts, {env / "doc.txt"}}}, {env / "doc.txt"}},
        {false, aOpen, {}, {env / "doc.txt"}}, // nothing: Open is for the list's rows
    };
    TForm1 w({folder});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (const auto& c : cases) {
        const std::string what = std::string(ActionRowOf(c.action).name) + (c.list ? " in the list" : " in the tree");
        clip::WriteFiles({env / "doc.txt"}, false);
        work->log.clear();
        Focus(w, c.list);
        w.ActionExecute(c.action);
        ASSERT_EQ(work->log.size(), c.work.size()) << what;
        for (std::size_t i = 0; i < c.work.size(); ++i) {
            EXPECT_EQ(work->log[i].what, c.work[i].what) << what;
            EXPECT_EQ(work->log[i].folder, c.work[i].folder) << what;
            EXPECT_EQ(work->log[i].mode, c.work[i].mode) << what;
            EXPECT_EQ(work->log[i].paths, c.work[i].paths) << what;
        }
        clip::FileList held;
        clip::ReadFiles(held);
        EXPECT_EQ(held.paths, c.onClipboard) << what;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << what;
    }

    // Ctrl+V runs the paste the menus show it beside: with a document on the
    // clipboard that is Paste Shortcut (a copy of it would not show in the list).
    work->log.clear();
    clip::WriteFiles({env / "doc.txt"}, false);
    Focus(w, true);
    ASSERT_TRUE(WaitFor([&] { return w.Action(aPasteShortcut)->isVisible(); }));
    QTest::keyClick(w.ShortcutList(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(work->log.size(), 1u);
    EXPECT_EQ(work->log[0].mode, PasteMode::Shortcuts);
}

TEST_F(ItemCommandsTest, TheTreeActsOnItsNodeAsOneItemWhateverItsNameHolds)
{
    // "a*" is a name here, beside a folder it would match as a pattern.
    const std::string wild = folder + "/a*";
    MakeDirs(wild);
    MakeDirs(folder + "/abc");
    MakeDirs(env / "home/Desktop");
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    QStringList shown;
    app->SetErrorPresenter([&](const QString& message) { shown << message; });
    const std::shared_ptr<void> restore(nullptr, [app](void*) { app->SetErrorPresenter({}); });
    TForm1 w({wild});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.dfsTV()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return w.dfsTV()->hasFocus(); }));
    w.ActionExecute(ActionId::aCopy);
    w.ActionExecute(ActionId::aDelete);
    clip::FileList held;
    clip::ReadFiles(held);
    EXPECT_EQ(held.paths, std::vector<std::string>{wild});
    ASSERT_EQ(work->log.size(), 1u);
    EXPECT_EQ(work->log[0].paths, std::vector<std::string>{wild});

    // The root, the desktop's own folder, is no item to delete, as its menu shows.
    work->log.clear();
    w.dfsTV()->SetSelected(w.dfsTV()->RootNode());
    w.ActionExecute(ActionId::aDelete);
    EXPECT_TRUE(work->log.empty());
    EXPECT_TRUE(WaitFor([&] { return shown.size() == 1 && shown[0].startsWith("Cannot delete '"); }));
}

TEST_F(ItemCommandsTest, TheStatusBarShowsTheHighlightedCommandsHelpUntilTheMenuCloses)
{
    TForm1 w({folder});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Focus(w, true);
    QString shown;
    bool panelsHidden = false;
    testsupport::WhenMenuShows([&](QMenu& menu) {
        menu.setActiveAction(testsupport::MenuAction(menu, "&Copy"));
        shown = w.statusBar()->currentMessage();
        panelsHidden = !w.statusBar()->findChild<QLabel*>("Panel0")->isVisible();
        QTest::keyClick(&menu, Qt::Key_Escape);
    });
    QTest::keyClick(w.ShortcutList(), Qt::Key_Menu);
    EXPECT_EQ(shown, "Copies the selected items to the Clipboard.");
    EXPECT_TRUE(panelsHidden);
    EXPECT_TRUE(w.statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(w.statusBar()->findChild<QLabel*>("Panel0")->isVisible());
    EXPECT_TRUE(work->log.empty());
}

} // namespace
