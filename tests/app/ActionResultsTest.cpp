// What the window shows after the user acted: the items a file job made selected
// and panel 1 saying what it did; the focus back in its pane once a dialog or a
// message closes.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "foldertree/SystemTreeView.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/verbs/FileOperationWork.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

namespace clip = platform::clipboard;
using listtest::WaitFor;

namespace {

class ActionResultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::MakeDirs(env / "folder");
        testsupport::MakeDirs(from);
        for (const char* name : {"a.lnk", "b.lnk", "c.lnk"})
            listtest::WriteLink(from + name, env / "absent.txt");
        testsupport::WriteFile(from + "notes.txt", "x");
        platform::verbs::SetFileWork(std::make_shared<platform::verbs::FileOperationWork>());
    }
    void TearDown() override { platform::verbs::SetFileWork(nullptr); }

    listtest::PrivateEnvironment env;
    std::string from = env / "from/";
};

TEST_F(ActionResultsTest, AJobSaysWhatItDidUntilTheUserSelectsOrTestsAndTheListSelectsWhatItMade)
{
    TForm1 w({env / "folder"});
    w.SetJobResultTime(60000);
    TwekShortcutListView* list = w.ShortcutList();
    auto run = [&](const std::vector<std::string>& files, const char* verb, const QString& said,
                   const std::vector<std::string>& made) {
        clip::WriteFiles(files, false);
        list->DoVerb(verb);
        return WaitFor([&] { return w.PanelText(1) == said && list->SelectedNames() == made; }) &&
               list->ItemName(list->currentIndex().row()) == made.front(); // the first one current
    };
    EXPECT_TRUE(run({from + "b.lnk", from + "a.lnk"}, "Paste", "2 items copied", {"a.lnk", "b.lnk"}));
    w.Refresh(); // as the folder watcher does after the job's own changes: the words stay
    ASSERT_TRUE(WaitFor([&] { return !list->ReadPending(); }));
    EXPECT_EQ(w.PanelText(1), "2 items copied");
    list->DoVerb("Test"); // a test replaces them
    EXPECT_EQ(w.PanelText(1), "2 shortcuts failed test!");
    EXPECT_TRUE(run({from + "notes.txt"}, "PasteShortcut", "1 shortcut made", {"notes.txt - Shortcut.lnk"}));
    list->clearSelection(); // and so does a selection the user makes
    EXPECT_EQ(w.PanelText(1), "0 items selected");
    EXPECT_TRUE(run({from + "c.lnk"}, "Paste", "1 item copied", {"c.lnk"}));
    w.SetJobResultTime(0); // their time is up: what stands now
    EXPECT_TRUE(WaitFor([&] { return w.PanelText(1) == "1 item selected"; })) << w.PanelText(1).toStdString();
}

TEST_F(ActionResultsTest, TheFocusGoesBackToItsPaneWhenADialogOrAMessageCloses)
{
    TForm1 w({env / "folder"});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // Each dialog or message is closed as a user closes it: once it has the focus.
    int closed = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&closed] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal == QApplication::activeWindow()) {
            modal->close();
            ++closed;
        }
    });
    user.start(10);
    for (QWidget* pane : {static_cast<QWidget*>(w.dfsTV()), static_cast<QWidget*>(w.ShortcutList())}) {
        pane->setFocus();
        ASSERT_TRUE(WaitFor([&] { return pane->hasFocus(); }));
        w.ActionExecute(ActionId::aAbout);
        EXPECT_TRUE(WaitFor([&] { return pane->hasFocus(); })) << pane->objectName().toStdString() << " after a dialog";
        w.ReportError("Something went wrong.");
        ASSERT_TRUE(WaitFor([&] { return closed == 2; }));
        EXPECT_TRUE(WaitFor([&] { return pane->hasFocus(); })) << pane->objectName().toStdString() << " after a message";
        closed = 0;
    }
}

} // namespace
