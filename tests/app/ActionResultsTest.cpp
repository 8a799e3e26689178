// What the window shows after the user acted: the items a file job made selected
// and panel 1 saying what it did; the focus back in its pane once a dialog or a
// message closes; names edited in either pane only after a slow second click.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
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
using testsupport::MakeDirs;

namespace {

class ActionResultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(folder);
        MakeDirs(env / "from");
        for (const char* name : {"a.lnk", "b.lnk", "c.lnk"})
            listtest::WriteLink(env / "from/" + name, env / "absent.txt");
        testsupport::WriteFile(env / "from/notes.txt", "x");
        platform::verbs::SetFileWork(std::make_shared<platform::verbs::FileOperationWork>());
    }
    void TearDown() override { platform::verbs::SetFileWork(nullptr); }

    void Show(TForm1& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    std::string Current(TwekShortcutListView* list) const { return list->ItemName(list->currentIndex().row()); }

    listtest::PrivateEnvironment env;
    std::string folder = env / "folder";
};

TEST_F(ActionResultsTest, AJobSaysWhatItDidAndTheListSelectsWhatItMade)
{
    const std::string from = env / "from";
    struct Case {
        const char* what;
        std::vector<std::string> files;
        bool cut;
        const char* verb;
        QString said;
        std::vector<std::string> selected;
    };
    const Case cases[] = {
        {"copy", {from + "/b.lnk", from + "/a.lnk"}, false, "Paste", "2 items copied", {"a.lnk", "b.lnk"}},
        {"move", {from + "/c.lnk"}, true, "Paste", "1 item moved", {"c.lnk"}},
        {"shortcut", {from + "/notes.txt"}, false, "PasteShortcut", "1 shortcut made", {"notes.txt - Shortcut.lnk"}},
        {"trash", {}, false, "Delete", "1 item moved to the Trash", {}},
    };
    TForm1 w({folder});
    w.SetJobResultTime(60000);
    TwekShortcutListView* list = w.ShortcutList();
    for (const Case& c : cases) {
        if (c.files.empty()) { // the trash takes the selected row, after the question
            list->selectionModel()->select(list->model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            QTimer::singleShot(0, [&w] {
                auto* box = w.findChild<QMessageBox*>("confirmTrashBox");
                ASSERT_TRUE(WaitFor([&] { return (box = w.findChild<QMessageBox*>("confirmTrashBox")); }));
                box->button(QMessageBox::Yes)->click();
            });
        } else {
            clip::WriteFiles(c.files, c.cut);
        }
        list->DoVerb(c.verb);
        EXPECT_TRUE(WaitFor([&] { return w.PanelText(1) == c.said; })) << c.what << ": " << w.PanelText(1).toStdString();
        EXPECT_TRUE(WaitFor([&] { return list->SelectedNames() == c.selected; })) << c.what;
        if (!c.selected.empty()) {
            EXPECT_EQ(Current(list), c.selected.front()) << c.what;
        }
    }
}

TEST_F(ActionResultsTest, AJobsWordsStayThroughReadsUntilTheUserSelectsOrTestsOrTheirTimeIsUp)
{
    TForm1 w({folder});
    w.SetJobResultTime(60000);
    TwekShortcutListView* list = w.ShortcutList();
    auto paste = [&](const char* name) {
        clip::WriteFiles({env / "from/" + name}, false);
        list->DoVerb("Paste");
        return WaitFor([&] { return w.PanelText(1) == "1 item copied" && list->SelectedCount() == 1; });
    };
    ASSERT_TRUE(paste("a.lnk"));
    w.Refresh(); // as the folder watcher does after the job's own change
    ASSERT_TRUE(WaitFor([&] { return !list->ReadPending(); }));
    EXPECT_EQ(w.PanelText(1), "1 item copied");
    // Once their time is up, panel 1 shows what stands now: the selection made.
    w.SetJobResultTime(0);
    EXPECT_TRUE(WaitFor([&] { return w.PanelText(1) == "1 item selected"; })) << w.PanelText(1).toStdString();

    w.SetJobResultTime(60000);
    ASSERT_TRUE(paste("b.lnk"));
    list->clearSelection();
    EXPECT_EQ(w.PanelText(1), "0 items selected");
    ASSERT_TRUE(paste("c.lnk"));
    list->DoVerb("Test");
    EXPECT_EQ(w.PanelText(1), "1 shortcut failed test!");
}

TEST_F(ActionResultsTest, TheFocusGoesBackToItsPaneWhenADialogOrAMessageCloses)
{
    TForm1 w({folder});
    Show(w);
    // Each dialog or message is closed as a user closes it: once it has the focus.
    QTimer user;
    int closed = 0;
    QObject::connect(&user, &QTimer::timeout, [&closed] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal == QApplication::activeWindow()) {
            modal->close();
            ++closed;
        }
    });
    user.start(10);
    for (QWidget* pane : {static_cast<QWidget*>(w.dfsTV()), static_cast<QWidget*>(w.ShortcutList())}) {
        const std::string name = pane->objectName().toStdString();
        pane->setFocus();
        ASSERT_TRUE(WaitFor([&] { return pane->hasFocus(); }));
        w.ActionExecute(ActionId::aAbout);
        EXPECT_TRUE(WaitFor([&] { return pane->hasFocus(); })) << name << " after a dialog";
        const int before = closed;
        w.ReportError("Something went wrong.");
        ASSERT_TRUE(WaitFor([&] { return closed == before + 1; }));
        EXPECT_TRUE(WaitFor([&] { return pane->hasFocus(); })) << name << " after a message";
    }
}

TEST_F(ActionResultsTest, EitherPaneEditsANameOnlyAfterASlowSecondClick)
{
    listtest::WriteLink(folder + "/a.lnk", env / "absent.txt");
    TForm1 w({folder});
    Show(w);
    TwekShortcutListView* list = w.ShortcutList();
    TdfsSystemTreeView* tree = w.dfsTV();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 1; }));
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QPoint row = list->visualRect(list->model()->index(0, 0)).center();
    const QPoint node = tree->visualRect(tree->IndexOf(tree->Selected())).center();
    auto editing = [](QAbstractItemView* view) { return view->viewport()->findChild<QLineEdit*>() != nullptr; };
    // Each pane in turn, the focus coming from the other one.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list), static_cast<QAbstractItemView*>(tree)}) {
        const QPoint at = view == list ? row : node;
        (view == list ? static_cast<QWidget*>(tree) : list)->setFocus();
        ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() != view; }));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::qWait(2 * QApplication::doubleClickInterval());
        EXPECT_FALSE(editing(view)) << view->objectName().toStdString() << ": the click that brought the focus";
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        EXPECT_TRUE(WaitFor([&] { return editing(view); })) << view->objectName().toStdString();
        QTest::keyClick(view->viewport()->findChild<QLineEdit*>(), Qt::Key_Escape);
    }
}

} // namespace
