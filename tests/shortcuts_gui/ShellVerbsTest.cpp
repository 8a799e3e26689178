// The shell-verb library: which items a path or a list of names reaches, the verbs
// run on them, and the context menu as the user drives it.
#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include "platform/clipboard/Clipboard.h"
#include "platform/shell/ContextMenu.h"
#include "platform/verbs/FileWork.h"
#include "platform/verbs/VerbMessages.h"
#include "shortcuts/ShellVerbs.h"
#include "tests/support/TestSupport.h"

namespace clip = platform::clipboard;
namespace shell = platform::shell;
using platform::verbs::PasteMode;

namespace {

// Records the work the verbs hand on, and finishes it at once.
class RecordedWork : public platform::verbs::FileWork {
public:
    bool Paste(const std::vector<std::string>& sources, const std::string& folder, PasteMode mode, QWidget*,
               std::function<void(bool)> finished) override
    {
        log.push_back({"paste", folder, mode, sources});
        finished(true);
        return true;
    }
    bool CreateShortcuts(const std::vector<std::string>& targets, QWidget*) override
    {
        log.push_back({"link", "", PasteMode::Shortcuts, targets});
        return true;
    }
    bool Trash(const std::vector<std::string>& paths, QWidget*) override
    {
        log.push_back({"trash", "", PasteMode::Copy, paths});
        return true;
    }
    struct Call {
        std::string what, folder;
        PasteMode mode;
        std::vector<std::string> paths;
    };
    std::vector<Call> log;
};

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> ClipboardPaths()
{
    clip::FileList held;
    clip::ReadFiles(held);
    return Sorted(held.paths);
}

// Runs `act` on the context menu once it is up (the menu runs its own event loop).
void WhenMenuShows(std::function<void(QMenu&)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            poll->deleteLater();
            act(*menu);
        }
    });
    poll->start(5);
}

QAction* ActionOf(QMenu& menu, const QString& text)
{
    for (QAction* a : menu.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void Pick(QMenu& menu, const QString& text)
{
    QAction* action = ActionOf(menu, text);
    ASSERT_NE(action, nullptr) << text.toStdString();
    menu.setActiveAction(action);
    QTest::keyClick(&menu, Qt::Key_Return);
}

class ShellVerbsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::MakeDirs(dir / "sub");
        for (const char* name : {"a.lnk", "B.LNK", ".hidden.lnk", "c.url", "doc.txt", "-\xE9\n.lnk"})
            testsupport::WriteFile(dir / name, "x");
        platform::verbs::SetFileWork(work);
        platform::verbs::SetMessageRoute([](const std::string&, QWidget*) {}); // no box left open
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        platform::verbs::SetFileWork(nullptr);
        platform::verbs::SetMessageRoute(nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the hourglass stayed";
    }

    testsupport::TempDir dir;
    std::shared_ptr<RecordedWork> work = std::make_shared<RecordedWork>();
};

TEST_F(ShellVerbsTest, APathReachesTheItemsItNames)
{
    const struct {
        std::string path;
        bool ok;
        std::vector<std::string> copied;
    } cases[] = {
        {dir / "*.lnk", true, {dir / "-\xE9\n.lnk", dir / ".hidden.lnk", dir / "B.LNK", dir / "a.lnk"}},
        {dir / "?.*", true, {dir / "B.LNK", dir / "a.lnk", dir / "c.url"}},
        {dir / "*.*", true,
         {dir / "-\xE9\n.lnk", dir / ".hidden.lnk", dir / "B.LNK", dir / "a.lnk", dir / "c.url", dir / "doc.txt",
          dir / "sub"}},
        {dir / "*.none", false, {}},
        {dir / "a.lnk", true, {dir / "a.lnk"}},
        {dir / "sub/", true, {dir / "sub"}}, // through Computer, which parses full paths
        {dir.Path() + "/", true, {dir.Path()}},
        {dir / "missing.lnk", false, {}},
        {"a.lnk", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        QGuiApplication::clipboard()->clear();
        EXPECT_EQ(RunVerbOnPath("Copy", c.path, nullptr), c.ok) << c.path;
        EXPECT_EQ(ClipboardPaths(), c.copied) << c.path;
    }
}

TEST_F(ShellVerbsTest, PasteGoesIntoAFolderAndClearsTheClipboardAfterAMove)
{
    const std::vector<std::string> cut{dir / "a.lnk", dir / "doc.txt"};
    clip::WriteFiles(cut, true);
    EXPECT_FALSE(RunVerbOnPath("Paste", dir / "a.lnk", nullptr)) << "a file is no place to paste into";
    EXPECT_TRUE(work->log.empty());

    EXPECT_TRUE(RunVerbOnPath("PasteLink", dir / "sub", nullptr));
    EXPECT_TRUE(RunVerbOnPath("Paste", dir / "sub/", nullptr));
    ASSERT_EQ(work->log.size(), 2u);
    EXPECT_EQ(work->log[0].folder, dir / "sub");
    EXPECT_EQ(work->log[0].mode, PasteMode::Shortcuts);
    EXPECT_EQ(work->log[1].folder, dir / "sub");
    EXPECT_EQ(work->log[1].mode, PasteMode::Move);
    EXPECT_EQ(work->log[1].paths, cut);
    EXPECT_TRUE(ClipboardPaths().empty()) << "the moved files are gone from where the clipboard says";
}

TEST_F(ShellVerbsTest, NamesInAFolderOrFullPaths)
{
    EXPECT_FALSE(RunVerbOnFiles("Delete", dir.Path() + "/", {}, nullptr));
    EXPECT_FALSE(RunVerbOnFiles("Delete", dir.Path() + "/", {"gone", "also gone"}, nullptr));
    EXPECT_FALSE(RunVerbOnFiles("Delete", dir / "missing/", {"a.lnk"}, nullptr));
    EXPECT_TRUE(work->log.empty());

    EXPECT_TRUE(RunVerbOnFiles("delete", dir.Path() + "/", {"a.lnk", "gone", "sub"}, nullptr));
    EXPECT_TRUE(RunVerbOnFiles("LINK", "", {dir / "doc.txt", dir / "gone", dir / "sub"}, nullptr));
    ASSERT_EQ(work->log.size(), 2u);
    EXPECT_EQ(work->log[0].what, "trash");
    EXPECT_EQ(work->log[0].paths, (std::vector<std::string>{dir / "a.lnk", dir / "sub"}));
    EXPECT_EQ(work->log[1].what, "link");
    EXPECT_EQ(work->log[1].paths, (std::vector<std::string>{dir / "doc.txt", dir / "sub"}));

    EXPECT_FALSE(RunVerbOnFiles("NoSuchVerb", dir.Path() + "/", {"a.lnk"}, nullptr));
    EXPECT_FALSE(ShowFilesProperties(dir.Path() + "/", {"gone"}, nullptr));
    EXPECT_FALSE(ShowPathProperties(dir / "gone", nullptr));
}

// A menu with one command at offset 5, default or not, that records what is invoked.
class RecordingMenu : public shell::ContextMenu {
public:
    RecordingMenu(bool hasDefault, shell::HResult answer) : hasDefault_(hasDefault), answer_(answer) {}
    shell::HResult QueryContextMenu(shell::PopupMenu& menu, std::size_t index, std::uint32_t idFirst, std::uint32_t,
                                    std::uint32_t flags) override
    {
        queried = flags;
        shell::PopupMenuItem item;
        item.id = idFirst + 5;
        item.isDefault = hasDefault_;
        menu.Insert(index, item);
        return 6;
    }
    shell::HResult InvokeCommand(const shell::InvokeCommandInfo& info) override
    {
        invoked = info.offset ? "#" + std::to_string(*info.offset) : info.verb;
        return answer_;
    }
    shell::HResult GetCommandString(std::uint32_t, std::uint32_t, std::string&) override { return shell::E_INVALIDARG; }

    std::uint32_t queried = 0xFFFF;
    std::string invoked;

private:
    bool hasDefault_;
    shell::HResult answer_;
};

TEST_F(ShellVerbsTest, EachKindInvokesItsOwnWay)
{
    const struct {
        ShellCommandKind kind;
        std::uint32_t attributes;
        bool hasDefault;
        shell::HResult answer;
        bool result;
        const char* invoked;
    } cases[] = {
        {ckDefaultVerb, 0, true, shell::S_OK, true, "#5"},
        {ckDefaultVerb, 0, false, shell::S_OK, false, ""},
        {ckDefaultVerb, 0, true, shell::E_FAIL, false, "#5"},
        {ckProperties, shell::SFGAO_HASPROPSHEET, true, shell::S_OK, true, "properties"},
        {ckProperties, shell::SFGAO_FOLDER, true, shell::S_OK, false, ""},
        {ckNamedVerb, 0, true, shell::S_OK, true, "PasteLink"},
        {ckNamedVerb, 0, true, shell::E_FAIL, false, "PasteLink"},
    };
    for (const auto& c : cases) {
        RecordingMenu menu(c.hasDefault, c.answer);
        EXPECT_EQ(InvokeOnContextMenu(menu, c.attributes, c.kind, "PasteLink", QPoint(), nullptr), c.result) << c.kind;
        EXPECT_EQ(menu.invoked, c.invoked) << c.kind;
        if (c.kind == ckDefaultVerb) {
            EXPECT_EQ(menu.queried, shell::CMF_DEFAULTONLY);
        }
    }
}

TEST_F(ShellVerbsTest, TheMenuAsTheUserDrivesIt)
{
    QMainWindow window;
    auto* owner = new QWidget;
    window.setCentralWidget(owner);
    window.statusBar();
    window.show();
    const std::string folder = dir.Path() + "/";
    bool rename = true;

    // Dismissed: shown, nothing run.
    WhenMenuShows([](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
    EXPECT_TRUE(ShowFilesContextMenu(folder, {"a.lnk"}, owner, rename, QPoint(10, 10)));
    EXPECT_FALSE(rename);
    EXPECT_TRUE(ClipboardPaths().empty());

    // Rename, at offset 18: the caller renames in place, nothing is invoked.
    WhenMenuShows([](QMenu& menu) { Pick(menu, "Rena&me"); });
    EXPECT_TRUE(ShowFilesContextMenu(folder, {"a.lnk", "sub"}, owner, rename, QPoint(10, 10)));
    EXPECT_TRUE(rename);
    EXPECT_TRUE(RenameRequested());
    EXPECT_TRUE(work->log.empty());
    EXPECT_TRUE(RunVerbOnPath("copy", dir / "sub", owner));
    EXPECT_FALSE(RenameRequested()) << "every entry starts afresh";

    // A command runs; its help text is the status line's hint while highlighted,
    // and the hourglass gives way to the arrow while the menu is up.
    QString hint;
    Qt::CursorShape cursor = Qt::BlankCursor;
    WhenMenuShows([&](QMenu& menu) {
        menu.setActiveAction(ActionOf(menu, "&Delete"));
        hint = window.statusBar()->currentMessage();
        cursor = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::BlankCursor;
        Pick(menu, "&Delete");
    });
    EXPECT_TRUE(ShowFilesContextMenu(folder, {"doc.txt"}, owner, rename, QPoint(10, 10)));
    EXPECT_FALSE(rename);
    EXPECT_EQ(hint, "Moves the selected items to the Trash.");
    EXPECT_EQ(cursor, Qt::ArrowCursor);
    EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty()) << "the hint goes with the menu";
    ASSERT_EQ(work->log.size(), 1u);
    EXPECT_EQ(work->log[0].paths, std::vector<std::string>{dir / "doc.txt"});

    // The tree's road: a namespace item given by its folder.
    shell::ShellFolderPtr desktop, parent;
    shell::IdList parentId, item;
    ASSERT_TRUE(shell::Succeeded(shell::GetDesktopFolder(desktop)));
    ASSERT_TRUE(shell::Succeeded(desktop->ParseDisplayName(dir.Path(), parentId)));
    ASSERT_TRUE(shell::Succeeded(desktop->BindToObject(parentId.Get(), parent)));
    ASSERT_TRUE(shell::Succeeded(parent->ParseDisplayName("sub", item)));
    WhenMenuShows([](QMenu& menu) { Pick(menu, "Rena&me"); });
    EXPECT_TRUE(ShowItemsContextMenu(parent, item.Get(), shell::SFGAO_FOLDER, rename, QPoint(10, 10), owner));
    EXPECT_TRUE(rename);
}

} // namespace
