// Drops on the main window's tree and list, carried out by the shell's verbs: which
// effect is offered, where the files go, and the highlight under the pointer.
#include <sys/stat.h>

#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <filesystem>
#include <utility>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "dragdrop/DropFileSource.h"
#include "foldertree/SystemTreeView.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/verbs/FileOperationWork.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/app/DropTestSupport.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/ScratchMount.h"

using listtest::WaitFor;
using listtest::WriteLink;
using platform::verbs::PasteMode;
using testsupport::MakeDirs;
using testsupport::WriteFile;

namespace {

constexpr Qt::DropActions kAll = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

using droptest::RecordedPastes;

// Plays a drag over a control's viewport: entry, a move, then a drop or a leave.
// Answers the action of the drop (or of the move, for a leave).
Qt::DropAction Drag(QWidget* viewport, const QMimeData& data, QPoint at, Qt::KeyboardModifiers keys = {},
                    bool drop = true, Qt::DropActions allowed = kAll)
{
    QDragEnterEvent enter(at, allowed, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, allowed, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(viewport, &move);
    if (!drop) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(viewport, &leave);
        return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
    }
    QDropEvent dropped(at, allowed, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(viewport, &dropped);
    return dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
}

class DropHandlingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(env / "last/sub");
        MakeDirs(env / "last/deep/inner");
        MakeDirs(env / "last/deep/a*"); // a name, and a pattern matching the next one
        MakeDirs(env / "last/deep/abc");
        WriteLink(env / "last/a.lnk", env / "last");
        WriteLink(env / "last/b.lnk", env / "last");
        MakeDirs(env / "src");
        for (const char* name : {"x.lnk", "y.lnk", "z.LNK", "doc.txt"})
            WriteFile(env / ("src/" + std::string(name)), "x");
        droptest::OpenOn(env / "last", 700, 500);
        platform::verbs::SetFileWork(pastes);

        window = std::make_unique<TForm1>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        list = window->ShortcutList();
        tree = window->dfsTV();
        ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 4 && list->FolderCount() == 2; }));
        last = tree->Selected();
        ASSERT_TRUE(last);
        tree->ExpandNode(last);
        ASSERT_TRUE(Child(last, "sub") && Child(last, "deep"));
    }
    void TearDown() override
    {
        window.reset();
        platform::verbs::SetFileWork(nullptr);
    }

    static TFolderNode* Child(TFolderNode* node, const std::string& text)
    {
        for (const auto& c : node->Children)
            if (c->Text == text)
                return c.get();
        return nullptr;
    }
    QPoint Row(const std::string& name) const
    {
        for (int row = 0; row < list->ItemCount(); ++row)
            if (list->ItemName(row) == name)
                return list->visualRect(list->model()->index(row, 0)).center();
        ADD_FAILURE() << "no row " << name;
        return {};
    }
    QPoint Node(TFolderNode* node) const { return tree->visualRect(tree->IndexOf(node)).center(); }
    QPoint ListBackground() const { return {10, list->viewport()->height() - 5}; }
    std::unique_ptr<QMimeData> Files(const std::vector<std::string>& names) const
    {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back(name[0] == '/' ? name : env / ("src/" + name));
        auto data = std::make_unique<QMimeData>();
        data->setData(CF_HDROP, platform::clipboard::MakeUriList(paths));
        return data;
    }
    std::vector<std::string> Src(std::initializer_list<const char*> names) const
    {
        std::vector<std::string> paths;
        for (const char* name : names)
            paths.push_back(env / ("src/" + std::string(name)));
        return paths;
    }

    listtest::PrivateEnvironment env;
    std::shared_ptr<RecordedPastes> pastes = std::make_shared<RecordedPastes>();
    std::unique_ptr<TForm1> window;
    TwekShortcutListView* list = nullptr;
    TdfsSystemTreeView* tree = nullptr;
    TFolderNode* last = nullptr;
};

} // namespace

TEST_F(DropHandlingTest, DropsGoThroughTheVerbsIntoTheFolderUnderThePointer)
{
    using Paste = RecordedPastes::Call;
    const auto ctrl = Qt::ControlModifier;
    const std::vector<std::string> three = {"x.lnk", "y.lnk", "z.LNK"};
    const std::vector<std::string> mixed = {"doc.txt", "x.lnk"};
    const struct {
        const char* what;
        bool onTree;
        std::function<QPoint()> where;
        std::vector<std::string> files;
        Qt::KeyboardModifiers keys;
        Qt::DropAction answer;
        std::vector<Paste> expected;
    } cases[] = {
        {"shortcuts onto a subfolder row", false, [&] { return Row("sub"); }, three, {}, Qt::MoveAction,
         {{Src({"x.lnk", "y.lnk", "z.LNK"}), env / "last/sub", PasteMode::Move}}},
        {"shortcuts onto a subfolder row, Ctrl", false, [&] { return Row("sub"); }, three, ctrl, Qt::CopyAction,
         {{Src({"x.lnk", "y.lnk", "z.LNK"}), env / "last/sub", PasteMode::Copy}}},
        {"a text file and a shortcut onto the list", false, [&] { return ListBackground(); }, mixed, {},
         Qt::LinkAction, {{Src({"doc.txt", "x.lnk"}), env / "last", PasteMode::Shortcuts}}},
        {"the same with Ctrl, onto a shortcut row", false, [&] { return Row("a.lnk"); }, mixed, ctrl,
         Qt::LinkAction, {{Src({"doc.txt", "x.lnk"}), env / "last", PasteMode::Shortcuts}}},
        {"shortcuts onto a tree node", true, [&] { return Node(Child(last, "sub")); }, three, {}, Qt::MoveAction,
         {{Src({"x.lnk", "y.lnk", "z.LNK"}), env / "last/sub", PasteMode::Move}}},
        {"a shortcut onto another tree node, Ctrl", true, [&] { return Node(Child(last, "deep")); }, {"x.lnk"},
         ctrl, Qt::CopyAction, {{Src({"x.lnk"}), env / "last/deep", PasteMode::Copy}}},
        // No folder there: nothing is offered, and the clipboard stays as it was.
        {"Computer takes nothing", true, [&] { return Node(Child(tree->RootNode(), "Computer")); }, three, {},
         Qt::IgnoreAction, {}},
        {"Trash takes nothing", true, [&] { return Node(Child(tree->RootNode(), "Trash")); }, {"doc.txt"}, {},
         Qt::IgnoreAction, {}},
        // A folder into itself, or below itself: no drop at all.
        {"a folder onto its own row", false, [&] { return Row("deep"); }, {env / "last/deep"}, {},
         Qt::IgnoreAction, {}},
        {"a folder onto its own node", true, [&] { return Node(Child(last, "deep")); }, {env / "last/deep"}, {},
         Qt::IgnoreAction, {}},
        {"a folder onto a node inside it", true, [&] { return Node(Child(last, "sub")); }, {env / "last"}, {},
         Qt::IgnoreAction, {}},
        {"a folder onto the folder it is in", false, [&] { return ListBackground(); }, {env / "last/deep"}, {},
         Qt::LinkAction, {{{env / "last/deep"}, env / "last", PasteMode::Shortcuts}}},
        {"a shortcut onto the node a*, that folder alone", true,
         [&] {
             tree->ExpandNode(Child(last, "deep"));
             return Node(Child(Child(last, "deep"), "a*"));
         },
         {"x.lnk"}, ctrl, Qt::CopyAction, {{Src({"x.lnk"}), env / "last/deep/a*", PasteMode::Copy}}},
    };
    for (const auto& c : cases) {
        pastes->log.clear();
        platform::clipboard::WriteFiles({"/before"}, false);
        QWidget* viewport = c.onTree ? tree->viewport() : list->viewport();
        EXPECT_EQ(Drag(viewport, *Files(c.files), c.where(), c.keys), c.answer) << c.what;
        EXPECT_EQ(pastes->log, c.expected) << c.what;
        // The drop went through the clipboard: what it held before is gone, unless
        // no drop was offered.
        platform::clipboard::FileList held;
        EXPECT_EQ(platform::clipboard::ReadFiles(held) && held.paths == std::vector<std::string>{"/before"},
                  c.answer == Qt::IgnoreAction)
            << c.what;
        EXPECT_EQ(list->DropHighlightRow(), -1) << c.what;
        EXPECT_EQ(tree->DropTarget(), nullptr) << c.what;
    }

    // Another program takes the clipboard between the copy and the paste: the paste
    // still takes the dropped files.
    bool intruding = false;
    const auto intruder = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] {
        if (!std::exchange(intruding, true))
            platform::clipboard::WriteFiles({"/intruder"}, false);
    });
    pastes->log.clear();
    Drag(list->viewport(), *Files({"x.lnk"}), Row("sub"), Qt::ControlModifier);
    QObject::disconnect(intruder);
    EXPECT_TRUE(intruding);
    EXPECT_EQ(pastes->log, (std::vector<Paste>{{Src({"x.lnk"}), env / "last/sub", PasteMode::Copy}}));

    // Below the last node of the tree there is no folder to take the files.
    tree->CollapseNode(Child(tree->RootNode(), "Computer"));
    pastes->log.clear();
    const QPoint below(10, tree->viewport()->height() - 5);
    ASSERT_EQ(tree->NodeAt(below), nullptr);
    EXPECT_EQ(Drag(tree->viewport(), *Files(three), below), Qt::IgnoreAction);
    EXPECT_TRUE(pastes->log.empty());
}

TEST_F(DropHandlingTest, FilesTheirFolderDoesNotLetGoAreOfferedACopy)
{
    std::string whyNot;
    const std::string file = env / "locked/m.lnk";
    const auto locked = testsupport::LockedFolder::Create(env / "locked", [&] { WriteFile(file, "x"); }, whyNot);
    if (!locked)
        GTEST_SKIP() << whyNot;
    EXPECT_EQ(Drag(list->viewport(), *Files({file}), Row("sub")), Qt::CopyAction);
    EXPECT_EQ(pastes->log, (std::vector<RecordedPastes::Call>{{{file}, env / "last/sub", PasteMode::Copy}}));
    // A source that allows a move alone gets no drop.
    pastes->log.clear();
    EXPECT_EQ(Drag(list->viewport(), *Files({file}), Row("sub"), {}, true, Qt::MoveAction), Qt::IgnoreAction);
    EXPECT_TRUE(pastes->log.empty());
}

TEST_F(DropHandlingTest, OnlyFolderRowsAndNodesAreHighlightedWhileThePointerIsOver)
{
    const auto data = Files({"x.lnk"});
    QWidget* viewport = list->viewport();
    QDragEnterEvent enter(Row("a.lnk"), kAll, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &enter);
    const struct {
        std::string row;
        bool highlighted;
    } steps[] = {{"a.lnk", false}, {"sub", true}, {"b.lnk", false}, {"deep", true}};
    for (const auto& s : steps) {
        QDragMoveEvent move(Row(s.row), kAll, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &move);
        EXPECT_EQ(list->DropHighlightRow() >= 0, s.highlighted) << s.row;
        if (s.highlighted) {
            EXPECT_EQ(list->ItemName(list->DropHighlightRow()), s.row);
        }
    }
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_EQ(list->DropHighlightRow(), -1);

    TFolderNode* sub = Child(last, "sub");
    QDragEnterEvent treeEnter(Node(sub), kAll, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(tree->viewport(), &treeEnter);
    QDragMoveEvent treeMove(Node(sub), kAll, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(tree->viewport(), &treeMove);
    EXPECT_EQ(tree->DropTarget(), sub);
    QDragLeaveEvent treeLeave;
    QCoreApplication::sendEvent(tree->viewport(), &treeLeave);
    EXPECT_EQ(tree->DropTarget(), nullptr);
}

TEST_F(DropHandlingTest, TheListsOwnRowsGoIntoItsSubfoldersOnly)
{
    auto selectRows = [&](std::initializer_list<const char*> names) {
        list->clearSelection();
        for (const char* name : names)
            list->selectionModel()->select(list->indexAt(Row(name)),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    // A drag of a folder and a shortcut offers both, to be copied or moved.
    selectRows({"deep", "a.lnk"});
    Qt::DropActions offered;
    std::vector<std::string> carried;
    bool cursor = false, dragging = false;
    TDropSource::SetDragLoop([&](QDrag& drag, Qt::DropActions actions, Qt::DropAction) {
        offered = actions;
        platform::clipboard::ReadUriList(drag.mimeData()->data(CF_HDROP), carried);
        cursor = !drag.dragCursor(Qt::CopyAction).isNull();
        dragging = list->DraggingRows();
        return Qt::MoveAction; // whatever the target says, the list leaves its files alone
    });
    list->StartDragOut();
    EXPECT_EQ(offered, Qt::CopyAction | Qt::MoveAction);
    EXPECT_EQ(carried, (std::vector<std::string>{env / "last/deep", env / "last/a.lnk"}));
    EXPECT_TRUE(cursor);
    EXPECT_TRUE(dragging);
    EXPECT_FALSE(list->DraggingRows());
    EXPECT_TRUE(std::filesystem::exists(env / "last/a.lnk"));
    EXPECT_EQ(list->ItemCount(), 4);

    // A shortcut of the list: not onto the list's own folder, into a subfolder.
    selectRows({"a.lnk"});
    std::vector<Qt::DropAction> answers;
    TDropSource::SetDragLoop([&](QDrag& drag, Qt::DropActions actions, Qt::DropAction) {
        const QMimeData& data = *drag.mimeData();
        answers.push_back(Drag(list->viewport(), data, ListBackground(), {}, false, actions));
        answers.push_back(Drag(list->viewport(), data, Row("b.lnk"), {}, false, actions));
        answers.push_back(Drag(list->viewport(), data, Row("sub"), {}, true, actions));
        return answers.back();
    });
    list->StartDragOut();
    TDropSource::SetDragLoop(nullptr);
    EXPECT_EQ(answers, (std::vector<Qt::DropAction>{Qt::IgnoreAction, Qt::IgnoreAction, Qt::MoveAction}));
    EXPECT_EQ(pastes->log,
              (std::vector<RecordedPastes::Call>{{{env / "last/a.lnk"}, env / "last/sub", PasteMode::Move}}));
}

TEST_F(DropHandlingTest, DroppedFilesArriveOnDisk)
{
    // The program's own file work: real jobs on a worker, their windows owned here.
    platform::verbs::SetFileWork(std::make_shared<platform::verbs::FileOperationWork>());
    Drag(list->viewport(), *Files({"x.lnk", "y.lnk"}), Row("sub"));
    EXPECT_TRUE(WaitFor([&] {
        return std::filesystem::exists(env / "last/sub/x.lnk") && std::filesystem::exists(env / "last/sub/y.lnk") &&
               !std::filesystem::exists(env / "src/x.lnk");
    }));
    Drag(tree->viewport(), *Files({"doc.txt", "z.LNK"}), Node(Child(last, "deep")));
    auto links = [&] {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(env / "last/deep"))
            n += QString::fromStdString(e.path().extension()).compare(".lnk", Qt::CaseInsensitive) == 0;
        return n;
    };
    EXPECT_TRUE(WaitFor([&] { return links() == 2; })) << links();
    EXPECT_TRUE(std::filesystem::exists(env / "src/doc.txt"));
}
