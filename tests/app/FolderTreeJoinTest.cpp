// The folder tree in the main window: the start folder selected in the tree, the
// list and the title following the tree, the tree following the list, Refresh and
// renaming from the tree.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "foldertree/MountTableWatcher.h"
#include "foldertree/SystemTreeView.h"
#include "platform/registry/Registry.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/HangingMount.h"

using listtest::WaitFor;
using listtest::WriteLink;
using platform::registry::Hive;
using platform::registry::Key;
using testsupport::MakeDirs;

namespace {

class FolderTreeJoinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(env / "last/Inner/Deeper");
        MakeDirs(env / "last/Other");
        WriteLink(env / "last/one.lnk", env / "last");
    }
    // Settings as a previous shutdown leaves them, with the folder it had open.
    void SetLastDir(const std::string& path)
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, kSettingsKey, key), platform::registry::Success);
        key.WriteBool("DefAct", false);
        key.WriteInteger("WinTop", 100);
        key.WriteInteger("WinLeft", 100);
        key.WriteInteger("WinHeight", 400);
        key.WriteInteger("WinWidth", 600);
        key.WriteString("ColShow", "abcdefghij");
        key.WriteInteger("TreeWidth", 200);
        key.WriteString("LastDir", path);
        key.WriteBool("MenuShow", true);
    }
    static TFolderNode* Child(TFolderNode* node, const std::string& text)
    {
        for (const auto& c : node->Children)
            if (c->Text == text)
                return c.get();
        return nullptr;
    }

    listtest::PrivateEnvironment env;
};

} // namespace

TEST_F(FolderTreeJoinTest, StartFolderIsSelectedInTheTreeAndTheListAndTitleFollow)
{
    SetLastDir(env / "last");
    {
        TForm1 w;
        TdfsSystemTreeView* tree = w.dfsTV();
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->Selection(), env / "last");
        ASSERT_TRUE(tree->Selected());
        EXPECT_EQ(tree->Selected()->Text, "last");
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "last/");
        EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last");
        EXPECT_TRUE(WaitFor([&] { return w.PanelText(0) == "1 shortcut"; }));

        // Choosing another folder in the tree moves the list and the title.
        tree->SetSelection(env / "last/Other");
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "last/Other/");
        EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last/Other");
    }
    // The tree's selection is what the next start opens.
    std::string stored;
    Key key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, kSettingsKey, key), platform::registry::Success);
    ASSERT_TRUE(key.ReadString("LastDir", stored));
    EXPECT_EQ(stored, env / "last/Other");
}

TEST_F(FolderTreeJoinTest, AStartFolderThatIsGoneSelectsNothing)
{
    SetLastDir(env / "gone");
    TForm1 w;
    EXPECT_EQ(w.dfsTV()->Selected(), nullptr);
    EXPECT_EQ(w.ShortcutList()->Directory(), "");
    EXPECT_EQ(w.windowTitle(), "Quillmere");
}

// The last folder lies on a share whose server went away: the window opens at once,
// tree and list answer while the tree waits for the share off its thread, and the
// folder is still the one to open next time.
TEST_F(FolderTreeJoinTest, AStartFolderOnAShareThatDoesNotAnswerNeitherFreezesNorIsForgotten)
{
    // A volume that comes or goes rebuilds every tree, dropping the reads under way.
    // The kernel's notice of the test's own mounts would reach the watcher whenever
    // the event loop next runs, in the middle of a later step: the watcher is told
    // at once instead, as the volume comes and after it has gone.
    struct TellWatcher {
        ~TellWatcher() { TMountTableWatcher::Instance().CheckNow(); }
    } afterwards;
    std::string whyNot;
    const auto volume = testsupport::HangingVolume::Create(whyNot);
    if (!volume)
        GTEST_SKIP() << whyNot;
    TMountTableWatcher::Instance().CheckNow();
    const std::string start = volume->Path() + "/docs";
    SetLastDir(start);
    {
        TForm1 w;
        w.show();
        EXPECT_TRUE(w.dfsTV()->Busy());
        EXPECT_EQ(w.dfsTV()->Selected(), nullptr);
        EXPECT_EQ(w.dfsTV()->Selection(), start);
        EXPECT_EQ(w.windowTitle(), "Quillmere");
    }
    std::string stored;
    Key key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, kSettingsKey, key), platform::registry::Success);
    ASSERT_TRUE(key.ReadString("LastDir", stored));
    EXPECT_EQ(stored, start);

    TForm1 w;
    w.show();
    TdfsSystemTreeView* tree = w.dfsTV();
    tree->SetSelection(env / "last");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last");
    EXPECT_TRUE(WaitFor([&] { return w.PanelText(0) == "1 shortcut"; }));
    EXPECT_TRUE(tree->Busy());
    QTest::keyClick(tree, Qt::Key_Escape);
    EXPECT_FALSE(tree->Busy());
}

TEST_F(FolderTreeJoinTest, NodesWithoutAPathGiveTheListNothing)
{
    SetLastDir(env / "last");
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(env.Path())));
    {
        TForm1 w;
        ASSERT_TRUE(WaitFor([&] { return w.ShortcutList()->ItemCount() == 3; }));
        TdfsSystemTreeView* tree = w.dfsTV();
        TFolderNode* computer = Child(tree->RootNode(), "Computer");
        ASSERT_TRUE(computer);
        tree->SetSelected(computer);
        EXPECT_EQ(w.ShortcutList()->Directory(), "");
        EXPECT_EQ(w.windowTitle(), "Quillmere - ");
        EXPECT_TRUE(WaitFor([&] { return w.PanelText(0) == "0 shortcuts"; }));
        EXPECT_EQ(w.ShortcutList()->ItemCount(), 0);
        // Commands on the list's folder have nothing to work on.
        w.ShortcutList()->DoVerb("NewFolder");
        EXPECT_NE(::access((env / "New Folder").c_str(), F_OK), 0);
        EXPECT_NE(::access("New Folder", F_OK), 0);

        tree->SetSelected(Child(tree->RootNode(), "Trash"));
        EXPECT_EQ(w.ShortcutList()->Directory(), "");
        // And back to a folder.
        w.SetTreeSelection(env / "last");
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "last/");
    }
    QDir::setCurrent(cwd);
}

TEST_F(FolderTreeJoinTest, TheTreeFollowsTheListIntoAFolderAndBack)
{
    SetLastDir(env / "last");
    TForm1 w;
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 3; }));
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->OpenSelected();
    ASSERT_TRUE(w.dfsTV()->Selected());
    EXPECT_EQ(w.dfsTV()->Selected()->Text, "Inner");
    EXPECT_EQ(w.dfsTV()->Selection(), env / "last/Inner");
    EXPECT_EQ(list->Directory(), env / "last/Inner/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last/Inner");
    list->GoUp();
    EXPECT_EQ(w.dfsTV()->Selected()->Text, "last");
    EXPECT_EQ(list->Directory(), env / "last/");
}

TEST_F(FolderTreeJoinTest, TheTreeFollowsTheListIntoAFolderMadeAfterTheTreeReadItsParent)
{
    SetLastDir(env / "last");
    TForm1 w;
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 3; }));
    ASSERT_TRUE(w.dfsTV()->Selected()->Data->Populated);
    MakeDirs(env / "last/Fresh");
    list->RequestRead();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 4; }));
    const QModelIndexList fresh = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, "Fresh");
    ASSERT_EQ(fresh.size(), 1);
    list->selectionModel()->select(fresh.front(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->OpenSelected();
    EXPECT_EQ(w.dfsTV()->Selection(), env / "last/Fresh");
    EXPECT_EQ(list->Directory(), env / "last/Fresh/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last/Fresh");
}

TEST_F(FolderTreeJoinTest, RefreshRebuildsTheBranchKeepingExpandedChildren)
{
    MakeDirs(env / "last/Doomed/sub");
    MakeDirs(env / "last/Collapsed/sub");
    MakeDirs(env / "last/Inner/Deeper/x");
    SetLastDir(env / "last");
    TForm1 w;
    TdfsSystemTreeView* tree = w.dfsTV();
    TFolderNode* last = tree->Selected();
    ASSERT_TRUE(last);
    tree->ExpandNode(last);
    ASSERT_TRUE(tree->ExpandNode(Child(last, "Inner")));
    ASSERT_TRUE(tree->ExpandNode(Child(last, "Doomed")));
    ASSERT_TRUE(tree->ExpandNode(Child(Child(last, "Inner"), "Deeper")));

    testsupport::RemoveDeepFolder(env / "last", "Doomed");
    MakeDirs(env / "last/Fresh");
    w.Refresh();
    ASSERT_EQ(tree->Selected(), last);
    EXPECT_TRUE(tree->IsNodeExpanded(last));
    EXPECT_FALSE(Child(last, "Doomed"));
    ASSERT_TRUE(Child(last, "Fresh"));
    ASSERT_TRUE(Child(last, "Inner"));
    EXPECT_TRUE(tree->IsNodeExpanded(Child(last, "Inner")));
    EXPECT_FALSE(tree->IsNodeExpanded(Child(last, "Collapsed")));
    // Deeper levels come back collapsed.
    EXPECT_FALSE(tree->IsNodeExpanded(Child(Child(last, "Inner"), "Deeper")));
}

TEST_F(FolderTreeJoinTest, RenameFromTheTreeRenamesTheFolderAndTheListFollows)
{
    SetLastDir(env / "last/Inner");
    TForm1 w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TdfsSystemTreeView* tree = w.dfsTV();
    tree->setFocus();
    ASSERT_TRUE(WaitFor([&] { return tree->hasFocus(); }));
    w.ActionList1Update();
    EXPECT_TRUE(w.Action(ActionId::aRename)->isEnabled());
    EXPECT_FALSE(w.Action(ActionId::aOpen)->isEnabled());

    w.ActionExecute(ActionId::aRename);
    // The label's editor is open.
    const auto editors = tree->viewport()->findChildren<QLineEdit*>();
    ASSERT_FALSE(editors.isEmpty());
    EXPECT_TRUE(editors.front()->isVisible());
    EXPECT_EQ(editors.front()->text(), "Inner");
    // The edit ends with a new name.
    ASSERT_TRUE(tree->model()->setData(tree->currentIndex(), "Renamed", Qt::EditRole));
    EXPECT_EQ(::access((env / "last/Renamed/Deeper").c_str(), F_OK), 0);
    EXPECT_EQ(tree->Selection(), env / "last/Renamed");
    EXPECT_EQ(w.ShortcutList()->Directory(), env / "last/Renamed/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last/Renamed");
}
