#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <climits>
#include <functional>
#include <map>

#include "foldertree/FolderTreeModel.h"
#include "foldertree/MountTableWatcher.h"
#include "foldertree/SubfolderProbe.h"
#include "foldertree/SystemTreeView.h"
#include "platform/shell/Volumes.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/support/HangingMount.h"
#include "tests/support/PopupMenus.h"
#include "tests/support/TestSupport.h"

namespace shell = platform::shell;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class TreeTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.Path()};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "/.config"};
    ScopedEnv registry{"QUILLMERE_REGISTRY_DIR", dir.Path() + "/registry"};
    std::string base = dir.Path() + "/root";
    std::string mountTable = dir.Path() + "/mountinfo";
    std::unique_ptr<TdfsSystemTreeView> tree;
    std::vector<TFolderNode*> changes;
    std::vector<QString> errors;

    void SetUp() override
    {
        MakeDirs(base);
        WriteMountTable("");
        shell::SetMountTablePath(mountTable);
        TMountTableWatcher::Instance().CheckNow();
    }
    void TearDown() override
    {
        tree.reset();
        shell::SetMountTablePath("");
    }

    void WriteMountTable(const std::string& extra)
    {
        WriteFile(mountTable, "26 1 254:0 / / rw - ext4 /dev/vda rw\n" + extra);
    }

    TdfsSystemTreeView& MakeTree(bool open = true)
    {
        tree = std::make_unique<TdfsSystemTreeView>();
        tree->OnError = [this](const QString& m) { errors.push_back(m); };
        QObject::connect(tree.get(), &TdfsSystemTreeView::OnChange, [this](TFolderNode* n) { changes.push_back(n); });
        if (open)
            tree->HandleNeeded();
        return *tree;
    }

    static TFolderNode* Child(TFolderNode* node, const std::string& text)
    {
        if (!node)
            return nullptr;
        for (const auto& c : node->Children)
            if (c->Text == text)
                return c.get();
        return nullptr;
    }
    // The node of a path, found by walking the nodes that exist (expanding nothing).
    TFolderNode* NodeOfPath(const std::string& path)
    {
        TFolderNode* node = Child(Child(tree->RootNode(), "Computer"), "/");
        std::size_t i = 1;
        while (node && i < path.size()) {
            const std::size_t slash = std::min(path.find('/', i), path.size());
            node = Child(node, path.substr(i, slash - i));
            i = slash + 1;
        }
        return node;
    }
    bool HasButton(TFolderNode* node) { return tree->model()->hasChildren(tree->IndexOf(node)); }
};

} // namespace

TEST_F(TreeTest, SelectionWaitsForTheWindowAndTheLastPathWins)
{
    MakeDirs(base + "/first");
    MakeDirs(base + "/second");
    MakeTree(false);
    tree->SetSelection(base + "/first");
    tree->SetSelection(base + "/second");
    EXPECT_EQ(tree->Selection(), "");
    EXPECT_EQ(tree->PendingSelection(), base + "/second");
    EXPECT_EQ(tree->TopLevelCount(), 0);
    EXPECT_TRUE(changes.empty());

    tree->HandleNeeded();
    EXPECT_EQ(tree->Selection(), base + "/second");
    EXPECT_EQ(tree->PendingSelection(), "");
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], tree->Selected());
    EXPECT_EQ(tree->RootNode()->Text, "Desktop");
    EXPECT_TRUE(tree->IsNodeExpanded(tree->RootNode())); // the root starts expanded
    EXPECT_EQ(tree->Version(), "TdfsSystemTreeView v0.98.5 Beta");
    tree->SetVersion("something else");
    EXPECT_EQ(tree->Version(), "TdfsSystemTreeView v0.98.5 Beta");
}

TEST_F(TreeTest, DeepPathsSelectEnumeratingOnlyTheWayDown)
{
    std::string path = base;
    for (int level = 1; level <= 12; ++level) {
        MakeDirs(path + "/side/below");
        path += "/level" + std::to_string(level);
    }
    MakeDirs(path);
    struct Cleanup {
        std::string base;
        ~Cleanup() { testsupport::RemoveDeepFolder(base, "deep"); }
    } cleanup{base};
    MakeDirs(base + "/deep");
    const std::string deep = testsupport::MakeDeepFolder(base + "/deep", std::string(150, 'q'), PATH_MAX + 300);
    MakeTree();
    tree->SetSelection(path);
    EXPECT_EQ(tree->Selection(), path);
    ASSERT_EQ(changes.size(), 1u);

    // Every folder on the way was opened; the folders beside it were not.
    TFolderNode* node = NodeOfPath(base);
    ASSERT_TRUE(node);
    for (int level = 1; level <= 12; ++level) {
        TFolderNode* side = Child(node, "side");
        ASSERT_TRUE(side) << level;
        EXPECT_FALSE(side->Data->Populated) << level;
        EXPECT_TRUE(HasButton(side)) << level;
        EXPECT_TRUE(node->Data->Populated);
        EXPECT_TRUE(tree->IsNodeExpanded(node));
        node = Child(node, "level" + std::to_string(level));
        ASSERT_TRUE(node) << level;
    }
    EXPECT_EQ(node, tree->Selected());
    EXPECT_EQ(tree->GetNodePath(node), path);

    // Deeper than a path the kernel takes whole.
    tree->SetSelection(deep);
    EXPECT_EQ(tree->Selection(), deep);
}

TEST_F(TreeTest, ADeepSelectionInANarrowPaneShowsItsLabel)
{
    std::string path = base;
    for (int level = 1; level <= 8; ++level)
        path += "/level" + std::to_string(level);
    MakeDirs(path);
    MakeTree(false);
    tree->resize(150, 200);
    tree->show();
    tree->SetSelection(path);
    QApplication::processEvents();
    auto expectLabelInView = [this](const char* when) {
        const QRect label = tree->visualRect(tree->currentIndex());
        ASSERT_TRUE(label.isValid()) << when;
        EXPECT_GE(label.left(), 0) << when;
        EXPECT_LT(label.left() + 16, tree->viewport()->width()) << when; // the icon and the text begin in view
    };
    expectLabelInView("selected by path");
    // Moving with the keys goes through the view's own scrolling, which sends a
    // column wider than the pane back to its left edge.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(tree.get(), &up);
    QApplication::processEvents();
    EXPECT_EQ(tree->Selection(), path.substr(0, path.rfind('/')));
    expectLabelInView("after Up");
    const int sideways = tree->horizontalScrollBar()->value();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(tree.get(), &down);
    QApplication::processEvents();
    expectLabelInView("after Down");
    EXPECT_EQ(tree->horizontalScrollBar()->value(), sideways); // no jump for a label already in view
    // Backspace goes up one folder.
    QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(tree.get(), &back);
    EXPECT_EQ(tree->Selection(), path.substr(0, path.rfind('/')));
    expectLabelInView("after Backspace");
}

TEST_F(TreeTest, PathsThatDoNotParseChangeNothing)
{
    MakeDirs(base + "/here");
    MakeTree();
    tree->SetSelection(base + "/missing");
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_TRUE(changes.empty());

    tree->SetSelection(base + "/here");
    ASSERT_EQ(changes.size(), 1u);
    tree->SetSelection(base + "/here/gone/deeper");
    tree->SetSelection("");
    EXPECT_EQ(tree->Selection(), base + "/here");
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(TreeTest, FoldersMadeOrRenamedAfterTheirParentWasReadCanBeSelected)
{
    MakeDirs(base + "/open/kept/inner");
    MakeDirs(base + "/open/old/inner");
    MakeDirs(base + "/leaf");
    MakeTree();
    tree->SetSelection(base + "/open/kept/inner");
    TFolderNode* kept = NodeOfPath(base + "/open/kept");
    tree->SetSelection(base + "/leaf");
    ASSERT_FALSE(tree->ExpandNode(tree->Selected())); // read: nothing below, no button
    TFolderNode* leaf = tree->Selected();

    MakeDirs(base + "/open/made/deeper");
    MakeDirs(base + "/leaf/made");
    ASSERT_EQ(::rename((base + "/open/old").c_str(), (base + "/open/renamed").c_str()), 0);
    for (const char* path : {"/open/made", "/open/made/deeper", "/leaf/made", "/open/renamed/inner"}) {
        changes.clear();
        tree->SetSelection(base + path);
        EXPECT_EQ(tree->Selection(), base + path);
        EXPECT_EQ(changes.size(), 1u) << path;
    }
    // Siblings read before keep their nodes and their expansion.
    EXPECT_EQ(NodeOfPath(base + "/open/kept"), kept);
    EXPECT_TRUE(tree->IsNodeExpanded(kept));
    EXPECT_TRUE(HasButton(leaf));
    EXPECT_TRUE(tree->IsNodeExpanded(leaf));
}

TEST_F(TreeTest, HiddenOrUnshownItemsSelectTheNearestShownAncestor)
{
    MakeDirs(base + "/shown/.hidden/inner");
    WriteFile(base + "/shown/file.txt", "x");
    MakeTree();
    tree->SetShowHiddenDirs(false);
    tree->Reset();
    tree->SetSelection(base + "/shown/.hidden/inner");
    EXPECT_EQ(tree->Selection(), base + "/shown");
    // A file parses, but only folders are shown: its folder is selected.
    tree->SetSelection(base);
    tree->SetSelection(base + "/shown/file.txt");
    EXPECT_EQ(tree->Selection(), base + "/shown");

    tree->SetShowHiddenDirs(true);
    tree->Reset();
    tree->SetSelection(base + "/shown/.hidden/inner");
    EXPECT_EQ(tree->Selection(), base + "/shown/.hidden/inner");
}

TEST_F(TreeTest, ResetAndRecreationKeepTheSelectionAndItsExpansion)
{
    MakeDirs(base + "/keep/child");
    MakeTree();
    tree->SetSelection(base + "/keep");
    ASSERT_TRUE(tree->ExpandNode(tree->Selected()));
    changes.clear();

    tree->Reset();
    EXPECT_EQ(tree->Selection(), base + "/keep");
    EXPECT_TRUE(tree->IsNodeExpanded(tree->Selected()));
    ASSERT_EQ(changes.size(), 2u); // cleared, then selected again
    EXPECT_EQ(changes[0], nullptr);

    tree->SetCheckboxes(true);
    EXPECT_EQ(tree->Selection(), base + "/keep");
    EXPECT_TRUE(tree->model()->flags(tree->IndexOf(tree->Selected())) & Qt::ItemIsUserCheckable);

    // The window goes: the selection waits for the next one.
    tree->DestroyHandle();
    EXPECT_EQ(tree->Selection(), "");
    EXPECT_EQ(tree->PendingSelection(), base + "/keep");
    tree->HandleNeeded();
    EXPECT_EQ(tree->Selection(), base + "/keep");

    // A root that cannot be located leaves the tree empty.
    tree->SetRootFolder(rfControlPanel);
    EXPECT_EQ(tree->TopLevelCount(), 0);
    EXPECT_EQ(tree->Selection(), "");
    tree->SetRootFolder(rfCustom);
    tree->SetCustomDir(base);
    EXPECT_EQ(tree->RootNode()->Text, base);
    tree->SetSelection(base + "/keep/child");
    EXPECT_EQ(tree->Selection(), base + "/keep/child");
    tree->Reset(); // the selection below a custom root survives too
    EXPECT_EQ(tree->Selection(), base + "/keep/child");
    tree->SetSelection(base); // the root's own path selects the root
    EXPECT_EQ(tree->Selected(), tree->RootNode());
    tree->SetSelection(base + "/keep/child");
    tree->SetSelection(base + "/");
    EXPECT_EQ(tree->Selected(), tree->RootNode());
    tree->SetCustomDirCaption("Mine");
    EXPECT_EQ(tree->RootNode()->Text, "Mine");
    tree->SetSelection(base + "/keep");
    EXPECT_EQ(tree->Selection(), base + "/keep");
}

TEST_F(TreeTest, MountTableChangesRebuildTheTreeOnlyWhenVolumesChange)
{
    MakeDirs(base + "/stay");
    MakeTree();
    tree->SetSelection(base + "/stay");
    int rebuilds = 0;
    QObject::connect(&TMountTableWatcher::Instance(), &TMountTableWatcher::VolumesChanged, [&] { ++rebuilds; });

    WriteMountTable("50 26 0:77 / /run/user/1000 rw - tmpfs tmpfs rw\n"); // no volume
    TMountTableWatcher::Instance().CheckNow();
    EXPECT_EQ(rebuilds, 0);

    WriteMountTable("51 26 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n");
    changes.clear();
    TMountTableWatcher::Instance().CheckNow();
    EXPECT_EQ(rebuilds, 1);
    EXPECT_FALSE(changes.empty()); // the tree was rebuilt...
    EXPECT_EQ(tree->Selection(), base + "/stay"); // ...keeping its selection
    TFolderNode* computer = Child(tree->RootNode(), "Computer");
    ASSERT_TRUE(computer);
    tree->ExpandNode(computer);
    ASSERT_TRUE(Child(computer, "STICK"));
    EXPECT_TRUE(Child(computer, "STICK")->Data->Attributes & shell::SFGAO_REMOVABLE);

    WriteMountTable("");
    TMountTableWatcher::Instance().CheckNow();
    EXPECT_EQ(rebuilds, 2);
    EXPECT_EQ(tree->Selection(), base + "/stay");
}

TEST_F(TreeTest, CollapsingAFolderAboveTheSelectionSelectsIt)
{
    MakeDirs(base + "/outer/inner/deep");
    MakeDirs(base + "/side/sub");
    MakeTree();
    tree->SetSelection(base + "/outer/inner/deep");
    TFolderNode* outer = NodeOfPath(base + "/outer");
    ASSERT_TRUE(outer);
    changes.clear();
    tree->CollapseNode(outer);
    EXPECT_EQ(tree->Selection(), base + "/outer");
    EXPECT_EQ(changes, std::vector<TFolderNode*>{outer});

    // Collapsing a folder that does not hold the selection leaves it alone.
    tree->SetSelection(base + "/side/sub");
    tree->ExpandNode(outer);
    changes.clear();
    tree->CollapseNode(outer);
    EXPECT_EQ(tree->Selection(), base + "/side/sub");
    EXPECT_TRUE(changes.empty());
}

TEST_F(TreeTest, RefreshNodeEnumeratesAfreshKeepingExpandedOrCollapsed)
{
    MakeDirs(base + "/open/a");
    MakeDirs(base + "/open/b");
    MakeDirs(base + "/shut/x");
    MakeTree();
    tree->SetSelection(base + "/open");
    TFolderNode* open = tree->Selected();
    tree->ExpandNode(open);
    TFolderNode* shut = NodeOfPath(base + "/shut");
    ASSERT_TRUE(shut);
    ASSERT_FALSE(tree->IsNodeExpanded(shut));

    ASSERT_EQ(::rmdir((base + "/open/a").c_str()), 0);
    MakeDirs(base + "/open/c");
    tree->RefreshNode(open);
    EXPECT_TRUE(tree->IsNodeExpanded(open));
    ASSERT_EQ(open->Children.size(), 2u);
    EXPECT_EQ(open->Children[0]->Text, "b");
    EXPECT_EQ(open->Children[1]->Text, "c");
    EXPECT_EQ(tree->Selected(), open);

    MakeDirs(base + "/shut/y");
    tree->RefreshNode(shut);
    EXPECT_FALSE(tree->IsNodeExpanded(shut));
    EXPECT_EQ(shut->Children.size(), 2u);
    EXPECT_TRUE(HasButton(shut));
    ASSERT_EQ(::rmdir((base + "/shut/x").c_str()), 0);
    ASSERT_EQ(::rmdir((base + "/shut/y").c_str()), 0);
    tree->RefreshNode(shut);
    EXPECT_FALSE(HasButton(shut));
    tree->RefreshNode(nullptr);

    // A folder that vanished while expanded: refreshed, it is simply gone.
    MakeDirs(base + "/open/b/deeper");
    tree->RefreshNode(open);
    TFolderNode* b = Child(open, "b");
    tree->ExpandNode(b);
    testsupport::RemoveDeepFolder(base + "/open", "b");
    tree->RefreshNode(b);
    EXPECT_TRUE(b->Children.empty());
    EXPECT_FALSE(HasButton(b));
    tree->RefreshNode(open);
    EXPECT_FALSE(Child(open, "b"));
}

TEST_F(TreeTest, ButtonsThatLeadToNothingGoOnFirstExpansion)
{
    MakeDirs(base + "/onlytext");
    WriteFile(base + "/onlytext/a.txt", "x");
    MakeDirs(base + "/clicked");
    WriteFile(base + "/clicked/b.txt", "x");
    MakeTree();
    tree->SetShowFiles(true);
    tree->SetFileMask("*.lnk");
    tree->SetSelection(base);
    TFolderNode* folder = tree->Selected();
    tree->ExpandNode(folder);
    TFolderNode* onlyText = Child(folder, "onlytext");
    TFolderNode* clicked = Child(folder, "clicked");
    ASSERT_TRUE(onlyText && clicked);
    EXPECT_TRUE(HasButton(onlyText)); // files can be listed...
    EXPECT_FALSE(tree->ExpandNode(onlyText)); // ...but none is shown
    EXPECT_FALSE(HasButton(onlyText));
    EXPECT_FALSE(tree->IsNodeExpanded(onlyText));

    // The same through the view, as a click on the button does it.
    int populated = 0;
    QObject::connect(tree.get(), &TdfsSystemTreeView::OnPopulated, [&](TFolderNode*) { ++populated; });
    tree->expand(tree->IndexOf(clicked));
    QApplication::processEvents();
    EXPECT_TRUE(clicked->Data->Populated);
    EXPECT_FALSE(HasButton(clicked));
    EXPECT_FALSE(tree->IsNodeExpanded(clicked));
    EXPECT_EQ(populated, 0);
}

TEST_F(TreeTest, ExpandingThroughTheViewPopulatesSortsAndReportsOnce)
{
    for (const char* name : {"b10", "b2", "B3"})
        MakeDirs(base + "/sorted/" + name);
    MakeTree();
    tree->SetSelection(base);
    TFolderNode* sorted = Child(tree->Selected(), "sorted");
    ASSERT_TRUE(tree->ExpandNode(tree->Selected()));
    sorted = Child(tree->Selected(), "sorted");
    ASSERT_TRUE(sorted);
    int populated = 0;
    QObject::connect(tree.get(), &TdfsSystemTreeView::OnPopulated, [&](TFolderNode*) { ++populated; });
    tree->expand(tree->IndexOf(sorted));
    EXPECT_EQ(populated, 1);
    ASSERT_EQ(sorted->Children.size(), 3u);
    EXPECT_EQ(sorted->Children[0]->Text, "b2");
    EXPECT_EQ(sorted->Children[1]->Text, "B3");
    EXPECT_EQ(sorted->Children[2]->Text, "b10");
    tree->collapse(tree->IndexOf(sorted));
    tree->expand(tree->IndexOf(sorted));
    EXPECT_EQ(populated, 2);
}

TEST_F(TreeTest, ExpandingABranchOrTheStarKeyEnumeratesAndKeepsTheButtons)
{
    MakeDirs(base + "/a/a1/a2");
    MakeDirs(base + "/b/b1");
    MakeTree();
    tree->resize(300, 400);
    tree->show();
    tree->SetSelection(base);
    TFolderNode* node = tree->Selected();
    ASSERT_TRUE(node && !node->Data->Populated);

    QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, "*");
    QApplication::sendEvent(tree.get(), &star);
    QApplication::processEvents();
    EXPECT_TRUE(tree->IsNodeExpanded(node));
    ASSERT_EQ(node->Children.size(), 2u);
    TFolderNode* a = Child(node, "a");
    TFolderNode* b = Child(node, "b");
    EXPECT_TRUE(HasButton(a)); // not enumerated ahead, but still openable
    EXPECT_FALSE(a->Data->Populated);

    // The view expanding a node without asking the model for its children.
    tree->expandRecursively(tree->IndexOf(b), 0);
    QApplication::processEvents();
    EXPECT_TRUE(b->Data->Populated);
    EXPECT_TRUE(tree->IsNodeExpanded(b));
    EXPECT_TRUE(Child(b, "b1"));
    EXPECT_TRUE(HasButton(a));
}

TEST_F(TreeTest, FoldersWhoseSubfoldersAreAllLinksGetTheirButtonOnceDrawn)
{
    struct Case {
        const char* folder;
        const char* link;
        const char* target;
        bool button;
    };
    const Case cases[] = {
        {"devices", "c:", "../target", true},
        {"hidden", ".c", "../target", true}, // hidden folders are shown
        {"files", "a", "../file.txt", false},
        {"dangling", "a", "../nowhere", false},
    };
    MakeDirs(base + "/target/inside");
    WriteFile(base + "/file.txt", "x");
    for (const Case& c : cases) {
        MakeDirs(base + "/" + c.folder);
        ASSERT_EQ(::symlink(c.target, (base + "/" + c.folder + "/" + c.link).c_str()), 0);
    }
    MakeTree();
    std::map<TFolderNode*, bool> answers;
    QObject::connect(qobject_cast<TFolderTreeModel*>(tree->model()), &TFolderTreeModel::SubfoldersProbed,
                     [&](TFolderNode* node, bool found) { answers[node] = found; });
    tree->SetSelection(base);
    ASSERT_TRUE(tree->ExpandNode(tree->Selected()));
    if (HasButton(NodeOfPath(base + "/devices")))
        GTEST_SKIP() << "this file system does not count subfolders by links: every folder has a button";
    tree->resize(300, 400);
    tree->show(); // drawing the rows looks into them
    tree->scrollTo(tree->IndexOf(NodeOfPath(base + "/target")));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(std::begin(cases), std::end(cases),
                           [&](const Case& c) { return answers.count(NodeOfPath(base + "/" + c.folder)); });
    }));
    for (const Case& c : cases)
        EXPECT_EQ(HasButton(NodeOfPath(base + "/" + c.folder)), c.button) << c.folder;

    // The button opens it as any other does: here the Right arrow.
    TFolderNode* devices = NodeOfPath(base + "/devices");
    tree->SetSelected(devices);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(tree.get(), &right);
    EXPECT_TRUE(tree->IsNodeExpanded(devices));
    EXPECT_TRUE(Child(devices, "c:"));
}

TEST_F(TreeTest, AFolderThatCannotBeBoundKeepsItsButtonForTheNextTry)
{
    MakeDirs(dir.Path() + "/Desktop/onDesktop/inside");
    MakeTree();
    TFolderNode* onDesktop = Child(tree->RootNode(), "onDesktop");
    ASSERT_TRUE(onDesktop);
    ASSERT_TRUE(HasButton(onDesktop));
    ASSERT_EQ(::rename((dir.Path() + "/Desktop").c_str(), (dir.Path() + "/away").c_str()), 0);
    tree->expand(tree->IndexOf(onDesktop)); // as a click on the button does
    QApplication::processEvents();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_FALSE(onDesktop->Data->Populated);
    EXPECT_FALSE(tree->IsNodeExpanded(onDesktop));
    EXPECT_TRUE(HasButton(onDesktop));

    ASSERT_EQ(::rename((dir.Path() + "/away").c_str(), (dir.Path() + "/Desktop").c_str()), 0);
    tree->expand(tree->IndexOf(onDesktop));
    QApplication::processEvents();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(tree->IsNodeExpanded(onDesktop));
    EXPECT_TRUE(Child(onDesktop, "inside"));
}

TEST_F(TreeTest, IconsAreFetchedWhenANodeIsDrawnAndKept)
{
    for (int i = 0; i < 300; ++i)
        MakeDirs(base + "/many/f" + std::to_string(i));
    MakeTree();
    tree->resize(200, 200);
    tree->show();
    tree->SetSelection(base + "/many");
    TFolderNode* many = tree->Selected();
    tree->ExpandNode(many);
    QApplication::processEvents();
    tree->repaint();
    // The rows out of view were never asked for.
    ASSERT_EQ(many->Children.size(), 300u);
    TFolderNode* last = many->Children.back().get();
    EXPECT_FALSE(last->IconsFetched);
    EXPECT_TRUE(many->IconsFetched);
    const QIcon icon = tree->model()->data(tree->IndexOf(last), Qt::DecorationRole).value<QIcon>();
    EXPECT_TRUE(last->IconsFetched);
    EXPECT_FALSE(icon.isNull());
    const int image = last->ImageIndex;
    EXPECT_GE(image, 0);
    tree->model()->data(tree->IndexOf(last), Qt::DecorationRole);
    EXPECT_EQ(last->ImageIndex, image);
}

TEST_F(TreeTest, NamesThatDifferOnlyInCaseOrAreNotUtf8AreTheirOwnNodes)
{
    MakeDirs(base + "/links");
    MakeDirs(base + "/Links");
    MakeDirs(base + "/caf\xE9");
    MakeTree();
    tree->SetSelection(base + "/Links");
    EXPECT_EQ(tree->Selected()->Text, "Links");
    tree->SetSelection(base + "/links");
    EXPECT_EQ(tree->Selected()->Text, "links");

    tree->SetSelection(base + "/caf\xE9");
    EXPECT_EQ(tree->Selection(), base + "/caf\xE9");
    const QString shown = tree->model()->data(tree->IndexOf(tree->Selected()), Qt::DisplayRole).toString();
    EXPECT_EQ(shown, QString::fromUtf8("caf\xEF\xBF\xBD"));
    // Editing without a change keeps the real name; a new name renames the real bytes.
    EXPECT_TRUE(tree->model()->setData(tree->IndexOf(tree->Selected()), shown, Qt::EditRole));
    EXPECT_EQ(::access((base + "/caf\xE9").c_str(), F_OK), 0);
    EXPECT_TRUE(tree->model()->setData(tree->IndexOf(tree->Selected()), QString::fromUtf8("caf\xC3\xA9"), Qt::EditRole));
    EXPECT_EQ(::access((base + "/caf\xC3\xA9").c_str(), F_OK), 0);
    EXPECT_EQ(tree->Selection(), base + "/caf\xC3\xA9");
}

TEST_F(TreeTest, RenameInPlaceOnlyWhereAllowedAndNeverOverAnotherItem)
{
    MakeDirs(base + "/old/inner");
    MakeDirs(base + "/taken");
    MakeTree();
    tree->SetSelection(base + "/old/inner");
    TFolderNode* old = tree->Selected()->Parent;
    ASSERT_EQ(old->Text, "old");
    TFolderNode* computer = Child(tree->RootNode(), "Computer");
    EXPECT_FALSE(tree->model()->flags(tree->IndexOf(computer)) & Qt::ItemIsEditable);
    EXPECT_FALSE(tree->StartEditing(computer));
    EXPECT_FALSE(tree->StartEditing(Child(computer, "/")));
    EXPECT_TRUE(tree->model()->flags(tree->IndexOf(old)) & Qt::ItemIsEditable);

    std::vector<TFolderNode*> edited;
    QObject::connect(tree.get(), &TdfsSystemTreeView::OnEdited, [&](TFolderNode* n) { edited.push_back(n); });
    const QModelIndex index = tree->IndexOf(old);
    EXPECT_FALSE(tree->model()->setData(index, QString(), Qt::EditRole));
    EXPECT_FALSE(tree->model()->setData(index, "taken", Qt::EditRole));
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(old->Text, "old");
    EXPECT_EQ(::access((base + "/old/inner").c_str(), F_OK), 0);
    EXPECT_TRUE(edited.empty());

    ASSERT_TRUE(tree->model()->setData(index, "renamed", Qt::EditRole));
    EXPECT_EQ(old->Text, "renamed");
    EXPECT_EQ(tree->GetNodePath(old), base + "/renamed");
    EXPECT_EQ(::access((base + "/renamed/inner").c_str(), F_OK), 0);
    ASSERT_EQ(edited.size(), 1u);
    // The nodes below name the new path too.
    ASSERT_EQ(old->Children.size(), 1u);
    EXPECT_EQ(tree->GetNodePath(old->Children[0].get()), base + "/renamed/inner");
}

// A share whose server went away: opening a folder on it comes back at once, with
// "Reading..." standing for its children while a worker waits on the share, and Esc
// or collapsing the folder gives the read up. Opened again, it waits in the share's
// queue behind the read still stuck: the share is asked once, by one thread. A
// selection that must pass through it waits without selecting anything, until the
// user chooses another node.
TEST_F(TreeTest, AFolderOnAShareThatDoesNotAnswerNeverHoldsUpTheTree)
{
    const std::string share = base + "/net";
    MakeDirs(share);
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(share, whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    WriteMountTable("40 26 0:40 / " + share + " rw - fuse.sshfs user@gone:/ rw\n");
    MakeDirs(base + "/links");
    ASSERT_EQ(::symlink((share + "/docs").c_str(), (base + "/links/docs").c_str()), 0);
    // The look for linked subfolders takes a link into the share for one, unasked.
    EXPECT_TRUE(HoldsSubfolder(base + "/links", true));
    EXPECT_FALSE(HoldsSubfolder(share, true));
    MakeTree();
    tree->SetSelection(share);
    TFolderNode* node = tree->Selected();
    ASSERT_TRUE(node);
    EXPECT_EQ(mount->RequestCount(), 0);

    struct Way {
        const char* name;
        std::function<void()> open, giveUp;
    };
    const Way ways[] = {
        {"Esc", [&] { tree->ExpandNode(node); }, [&] { QTest::keyClick(tree.get(), Qt::Key_Escape); }},
        {"collapsing", [&] { QTest::keyClick(tree.get(), Qt::Key_Right); }, [&] { tree->CollapseNode(node); }},
    };
    for (const Way& way : ways) {
        way.open();
        EXPECT_TRUE(tree->IsNodeExpanded(node)) << way.name;
        ASSERT_EQ(node->Children.size(), 1u) << way.name;
        EXPECT_EQ(node->Children[0]->Text, "Reading...");
        EXPECT_FALSE(tree->model()->flags(tree->IndexOf(node->Children[0].get())) & Qt::ItemIsSelectable);
        EXPECT_EQ(tree->viewport()->cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(mount->WaitForRequests(1)) << way.name;
        way.giveUp();
        EXPECT_FALSE(tree->Busy()) << way.name;
        EXPECT_FALSE(tree->IsNodeExpanded(node)) << way.name;
        EXPECT_TRUE(node->Children.empty()) << way.name;
        EXPECT_TRUE(HasButton(node)) << way.name; // the next expansion tries again
        EXPECT_EQ(tree->viewport()->cursor().shape(), Qt::ArrowCursor) << way.name;
    }
    EXPECT_EQ(mount->RequestCount(), 1);

    changes.clear();
    tree->SetSelection(share + "/docs/deeper");
    EXPECT_TRUE(tree->Busy());
    EXPECT_EQ(tree->Selected(), node);
    EXPECT_EQ(tree->Selection(), share + "/docs/deeper");
    EXPECT_TRUE(changes.empty());
    tree->SetSelected(node->Parent);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(tree->Selection(), base);
    EXPECT_FALSE(tree->Busy());
}

// Coming back to a folder on a share whose read was given up long ago (any time is
// long with no patience) is answered at once: the share does not answer, and the
// folder keeps its button for a later try.
TEST_F(TreeTest, ComingBackToAShareThatDoesNotAnswerIsAnsweredAtOnce)
{
    const std::string share = base + "/net";
    MakeDirs(share);
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(share, whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    WriteMountTable("40 26 0:40 / " + share + " rw - fuse.sshfs user@gone:/ rw\n");
    const testsupport::NoPatience noPatience;
    MakeTree();
    tree->SetSelection(share);
    TFolderNode* node = tree->Selected();
    ASSERT_TRUE(node);
    tree->ExpandNode(node);
    ASSERT_TRUE(mount->WaitForRequests(1));
    QTest::keyClick(tree.get(), Qt::Key_Escape);

    tree->ExpandNode(node);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tree->Busy(); }));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].toStdString(), share + " does not answer");
    EXPECT_FALSE(tree->IsNodeExpanded(node));
    EXPECT_TRUE(HasButton(node));
    EXPECT_EQ(mount->RequestCount(), 1);
}

// A mount table that calls a local folder an NFS share: a share that answers.
TEST_F(TreeTest, ASelectionThroughAShareGoesOnWhenItsFolderIsRead)
{
    const std::string share = base + "/net";
    MakeDirs(share + "/docs/deeper");
    MakeDirs(share + "/other/below");
    WriteMountTable("40 26 0:40 / " + share + " rw - nfs4 server:/export rw\n");
    MakeTree();
    const auto selected = [&](const std::string& path) {
        return QTest::qWaitFor([&] { return tree->Selected() && tree->Selection() == path && !tree->Busy(); });
    };

    tree->SetSelection(share + "/docs/deeper");
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(selected(share + "/docs/deeper"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], tree->Selected());
    const TFolderNode* net = NodeOfPath(share);
    ASSERT_TRUE(net);
    EXPECT_EQ(net->Children.size(), 2u);
    EXPECT_TRUE(tree->IsNodeExpanded(net));

    // Refreshing the share reads it again off the GUI thread, then opens again the
    // folder that was open, which is read in turn.
    tree->RefreshNode(const_cast<TFolderNode*>(net));
    EXPECT_TRUE(tree->Busy());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const TFolderNode* docs = NodeOfPath(share + "/docs");
        return !tree->Busy() && docs && tree->IsNodeExpanded(docs) && docs->Children.size() == 1;
    }));
    EXPECT_FALSE(tree->IsNodeExpanded(NodeOfPath(share + "/other")));

    // A folder made on the share since it was read is found by reading it again.
    MakeDirs(share + "/made-later");
    tree->SetSelection(share + "/made-later");
    ASSERT_TRUE(selected(share + "/made-later"));

    // Another node chosen while the walk waits wins; the folder it waited for closes.
    tree->SetSelection(share + "/other/below");
    ASSERT_TRUE(tree->Busy());
    TFolderNode* other = NodeOfPath(share + "/other");
    tree->SetSelected(NodeOfPath(share + "/docs"));
    EXPECT_FALSE(tree->Busy());
    EXPECT_EQ(tree->Selection(), share + "/docs");
    EXPECT_FALSE(tree->IsNodeExpanded(other));
}

// The server goes away after the folder was read: renaming it gives up after the
// wait, says so, and keeps the name.
TEST_F(TreeTest, ARenameOnAShareThatStoppedAnsweringKeepsTheName)
{
    const std::string share = base + "/net";
    MakeDirs(share + "/docs");
    WriteMountTable("40 26 0:40 / " + share + " rw - nfs4 server:/export rw\n");
    MakeTree();
    tree->SetNetworkWait(100);
    tree->SetSelection(share + "/docs");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->Selection() == share + "/docs" && tree->Selected(); }));
    TFolderNode* docs = tree->Selected();
    const QModelIndex index = tree->IndexOf(docs);
    EXPECT_TRUE(tree->model()->flags(index) & Qt::ItemIsEditable);

    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(share, whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    EXPECT_FALSE(tree->model()->setData(index, "papers", Qt::EditRole));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].toStdString(), "Cannot rename docs: " + share + " does not answer");
    EXPECT_EQ(docs->Text, "docs");
    EXPECT_TRUE(mount->WaitForRequests(1));
}

TEST_F(TreeTest, SymbolicLinkLoopsBrowseWithoutEnd)
{
    MakeDirs(base + "/loop");
    ASSERT_EQ(::symlink("..", (base + "/loop/up").c_str()), 0);
    MakeTree();
    tree->SetSelection(base + "/loop/up/loop/up/loop");
    EXPECT_EQ(tree->Selection(), base + "/loop/up/loop/up/loop");
    EXPECT_EQ(tree->Selected()->Parent->OverlayIndex, 1); // "up" is a link
}

TEST_F(TreeTest, ContextMenuSelectsTheNodeAndRenameFromItEditsTheLabel)
{
    MakeDirs(base + "/a");
    MakeTree();
    tree->resize(300, 400);
    tree->show();
    tree->SetSelection(base + "/a");
    TFolderNode* a = tree->Selected();
    tree->SetSelection(base);
    EXPECT_FALSE(tree->ShowShellMenu(nullptr, QPoint()));
    const QRect r = tree->visualRect(tree->IndexOf(a));
    ASSERT_TRUE(r.isValid());

    // A right click selects the node and shows its menu; Rename there edits it.
    bool picked = false;
    testsupport::WhenMenuShows([&](QMenu& menu) { picked = testsupport::PickFromMenu(menu, "Rena&me"); });
    QContextMenuEvent event(QContextMenuEvent::Mouse, r.center(), tree->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(tree->viewport(), &event);
    EXPECT_EQ(tree->Selected(), a);
    EXPECT_EQ(tree->Selection(), base + "/a");
    EXPECT_TRUE(picked);
    EXPECT_TRUE(event.isAccepted());
    auto* editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "a");
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tree->viewport()->findChild<QLineEdit*>(); }));

    // The branch is read again while the menu is up: the node is gone, and Rename
    // edits nothing.
    testsupport::WhenMenuShows([&](QMenu& menu) {
        tree->RefreshNode(tree->Selected()->Parent);
        testsupport::PickFromMenu(menu, "Rena&me");
    });
    EXPECT_TRUE(tree->ShowShellMenu(a, QPoint(10, 10)));
    EXPECT_EQ(tree->viewport()->findChild<QLineEdit*>(), nullptr);
}

TEST_F(TreeTest, AutoscrollScrollsNearTheEdges)
{
    for (int i = 0; i < 60; ++i)
        MakeDirs(base + "/f" + std::to_string(i));
    MakeTree();
    tree->resize(200, 120);
    tree->show();
    tree->SetSelection(base);
    tree->ExpandNode(tree->Selected());
    tree->scrollToTop();
    QApplication::processEvents();
    QScrollBar* v = tree->verticalScrollBar();
    ASSERT_LT(v->minimum(), v->maximum());
    const int top = v->value();
    tree->DoAutoscroll(50, tree->height() - 2);
    EXPECT_GT(v->value(), top);
    const int down = v->value();
    tree->DoAutoscroll(50, 60);
    EXPECT_EQ(v->value(), down);
    tree->DoAutoscroll(50, 1);
    EXPECT_LT(v->value(), down);
}

TEST_F(TreeTest, EveryRecordIsFreedWithTheTree)
{
    const long before = FolderItemDataCount();
    MakeDirs(base + "/x/y/z");
    MakeTree();
    tree->SetSelection(base + "/x/y/z");
    EXPECT_GT(FolderItemDataCount(), before + 5);
    tree->RefreshNode(tree->RootNode());
    tree->Reset();
    tree.reset();
    EXPECT_EQ(FolderItemDataCount(), before);
}

TEST_F(TreeTest, ALinkedComboBoxHearsOnceAfterAQuickRunOfChanges)
{
    for (const char* name : {"a", "b", "c", "d", "e"})
        MakeDirs(base + "/" + name);
    struct Combo : TFolderComboLink {
        std::vector<std::string> told;
        void TreeChanged(TdfsSystemTreeView& t) override { told.push_back(t.Selection()); }
    } combo;
    MakeTree(false);
    tree->SetComboBox(&combo);
    tree->SetReadDelay(60);
    tree->HandleNeeded();
    combo.told.clear();
    tree->SetSelection(base + "/a"); // the first change is told at once
    ASSERT_EQ(combo.told.size(), 1u);
    for (const char* name : {"b", "c", "d", "e"})
        tree->SetSelection(base + "/" + name);
    EXPECT_EQ(combo.told.size(), 1u);
    // The run is told once, when the delay after its last change has passed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo.told.size() >= 2; }));
    ASSERT_EQ(combo.told.size(), 2u);
    EXPECT_EQ(combo.told.back(), base + "/e");
    tree->SetComboBox(nullptr);
}
