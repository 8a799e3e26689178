// The list's commands that hand files to the shell's verbs, and its context menu.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/clipboard/Clipboard.h"
#include "platform/verbs/VerbMessages.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/PopupMenus.h"
#include "tests/support/RecordedFileWork.h"
#include "tests/support/ScratchMount.h"

namespace clip = platform::clipboard;
using platform::verbs::PasteMode;
using testsupport::MakeDirs;

namespace {

class ListCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(dir + "/Sub");
        listtest::WriteLink(dir + "/a.lnk", env / "target.txt");
        // An address of a scheme of its own: opening it asks first, which shows that
        // the default verb ran, and answering No opens nothing.
        listtest::WriteUrl(dir + "/b.url", "quillmere-test:somewhere");
        testsupport::WriteFile(env / "elsewhere.txt", "x");
        platform::verbs::SetFileWork(work);
        QGuiApplication::clipboard()->clear();
        list.StartCommand = [this](std::string_view line, int show) {
            started.emplace_back(line);
            EXPECT_EQ(show, 1);
            return std::uint32_t{2};
        };
        list.SetColumnSet("ab");
        list.resize(500, 300);
        list.SetReadDelay(0);
        list.SetDirectory(dir);
        list.ReadFolder();
        AnswerNo();
        platform::verbs::SetMessageRoute([this](const std::string& message, QWidget*) { told.push_back(message); });
    }
    void TearDown() override
    {
        platform::verbs::SetFileWork(nullptr);
        platform::verbs::SetMessageRoute(nullptr);
    }

    void SelectNames(std::initializer_list<const char*> names)
    {
        list.clearSelection();
        for (const char* name : names)
            for (int row = 0; row < list.ItemCount(); ++row)
                if (list.ItemName(row) == name)
                    list.selectionModel()->select(list.model()->index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Every question is answered No, and its text kept.
    void AnswerNo()
    {
        QObject::connect(&answerNo, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(QMessageBox::No)->click();
            }
        });
        answerNo.start(5);
    }
    void EndEdit()
    {
        if (auto* editor = list.viewport()->findChild<QLineEdit*>()) {
            QTest::keyClick(editor, Qt::Key_Escape);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !list.viewport()->findChild<QLineEdit*>(); }));
        }
    }
    clip::FileList Clipboard() const
    {
        clip::FileList held;
        clip::ReadFiles(held);
        return held;
    }

    listtest::PrivateEnvironment env;
    std::string dir = env / "folder";
    std::shared_ptr<testsupport::RecordedFileWork> work = std::make_shared<testsupport::RecordedFileWork>();
    std::vector<std::string> started;
    QString asked;
    QTimer answerNo;
    std::vector<std::string> told; // what the verbs said
    TwekShortcutListView list;
};

TEST_F(ListCommandsTest, EachNameReachesItsCommandAndOnlyTheExactName)
{
    const std::string folder = dir + "/";
    // Opening a folder would start the desktop's file manager: the default action
    // gets the Internet shortcut alone.
    const std::initializer_list<const char*> two = {"Sub", "b.url"}, url = {"b.url"};
    const struct {
        const char* verb;
        std::initializer_list<const char*> selected;
        std::function<bool()> ran;
    } cases[] = {
        {"DefaultAction", url, [&] { return asked.contains("quillmere-test:somewhere"); }},
        {"NewShortcut", two,
         [&] { return started == std::vector<std::string>{"RunDLL32 AppWiz.Cpl,NewLinkHere " + folder}; }},
        {"NewFolder", two,
         [&] {
             struct stat st;
             return ::stat((folder + "New Folder").c_str(), &st) == 0;
         }},
        {"Delete", two,
         [&] {
             return work->log.size() == 1 && work->log[0].what == "trash" &&
                    work->log[0].paths == std::vector<std::string>{folder + "Sub", folder + "b.url"};
         }},
        {"Rename", two,
         [&] {
             auto* editor = list.viewport()->findChild<QLineEdit*>();
             return editor && editor->text() == "Sub";
         }},
        {"Cut", two,
         [&] {
             const clip::FileList held = Clipboard();
             return held.cut && held.paths == std::vector<std::string>{folder + "Sub", folder + "b.url"} &&
                    list.ItemCut(0) && !list.ItemCut(1) && list.ItemCut(2);
         }},
        {"Copy", two,
         [&] {
             const clip::FileList held = Clipboard();
             return !held.cut && held.paths == std::vector<std::string>{folder + "Sub", folder + "b.url"};
         }},
        {"Paste", two,
         [&] { return work->log.size() == 1 && work->log[0].folder == dir && work->log[0].mode == PasteMode::Copy; }},
        {"PasteShortcut", two,
         [&] {
             return work->log.size() == 1 && work->log[0].folder == dir && work->log[0].mode == PasteMode::Shortcuts;
         }},
    };
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    for (const auto& c : cases) {
        const std::string exact = c.verb;
        std::string lower = exact;
        lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
        for (const std::string& name : {lower, exact + " ", exact.substr(0, exact.size() - 1), exact}) {
            list.ReadFolder();
            clip::WriteFiles({env / "elsewhere.txt"}, false);
            SelectNames(c.selected);
            list.DoVerb(name);
            EXPECT_EQ(c.ran(), name == exact) << name;
            EndEdit();
            work->log.clear();
            started.clear();
            asked.clear();
            ::rmdir((folder + "New Folder").c_str());
        }
    }
}

TEST_F(ListCommandsTest, TheWizardsShortcutIsSelectedOnceAReadShowsItUnlessTheUserChoseFirst)
{
    list.StartCommand = [](std::string_view, int) { return std::uint32_t{33}; };
    // The wizard, a process of its own, writes its file some time after it started.
    for (const bool userChoosesMeanwhile : {false, true}) {
        list.DoVerb("NewShortcut");
        if (userChoosesMeanwhile)
            SelectNames({"Sub"});
        listtest::WriteLink(dir + (userChoosesMeanwhile ? "/Second.lnk" : "/Made.lnk"), env / "target.txt");
        list.ReadFolder();
        // Once only: what comes later from elsewhere leaves the selection.
        listtest::WriteLink(dir + "/Later.lnk", env / "target.txt");
        list.ReadFolder();
        EXPECT_EQ(list.SelectedNames(), std::vector<std::string>{userChoosesMeanwhile ? "Sub" : "Made.lnk"});
        if (!userChoosesMeanwhile) {
            EXPECT_EQ(list.ItemName(list.currentIndex().row()), "Made.lnk");
        }
    }
}

TEST_F(ListCommandsTest, EnterOpensAShortcutOnlyWhenOpeningRunsTheDefaultAction)
{
    for (bool defaultAction : {false, true}) {
        list.SetOpenRunsDefaultAction(defaultAction);
        SelectNames({"b.url"});
        QTest::keyClick(&list, Qt::Key_Return);
        // Without it, Enter asks for the properties, which have no window yet.
        EXPECT_EQ(asked.isEmpty(), !defaultAction);
        asked.clear();
    }
}

TEST_F(ListCommandsTest, CutRowsStayGhostedUntilTheNextRead)
{
    SelectNames({"a.lnk", "b.url"});
    list.DoVerb("Cut");
    EXPECT_FALSE(list.ItemCut(0));
    EXPECT_TRUE(list.ItemCut(1));
    EXPECT_TRUE(list.ItemCut(2));
    QGuiApplication::clipboard()->setText("something else"); // only a read clears the mark
    EXPECT_TRUE(list.ItemCut(1));
    list.ReadFolder();
    for (int row = 0; row < list.ItemCount(); ++row)
        EXPECT_FALSE(list.ItemCut(row)) << row;
}

TEST_F(ListCommandsTest, ACutTheFolderRefusesIsToldOnceAndGhostsNoRow)
{
    std::string whyNot;
    const std::string x = env / "locked/x.lnk", y = env / "locked/y.lnk";
    const auto locked = testsupport::LockedFolder::Create(
        env / "locked", [&] { listtest::WriteLink(x, env / "target.txt"), listtest::WriteLink(y, env / "target.txt"); },
        whyNot);
    if (!locked)
        GTEST_SKIP() << whyNot;
    list.SetDirectory(env / "locked");
    list.ReadFolder();
    clip::WriteFiles({env / "elsewhere.txt"}, false);
    SelectNames({"x.lnk", "y.lnk"});
    list.DoVerb("Cut");
    // Root is refused by the read-only mount, a user by the folder's mode.
    const std::string why = std::strerror(::geteuid() == 0 ? EROFS : EACCES);
    EXPECT_EQ(told, std::vector<std::string>{"Cannot move '" + x + "': " + why + ".\nCannot move '" + y + "': " +
                                             why + "."});
    EXPECT_FALSE(list.ItemCut(0) || list.ItemCut(1));
    EXPECT_EQ(Clipboard().paths, std::vector<std::string>{env / "elsewhere.txt"});
}

TEST_F(ListCommandsTest, ARefusedNameIsToldAndStaysInItsEditor)
{
    listtest::WriteLink(dir + "/c.lnk", env / "target.txt");
    list.ReadFolder();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    for (const auto& [typed, message] : {std::pair<QString, std::string>{"x/y", "\"x/y.lnk\" cannot be a file's name."},
                                         {"c", "Could not rename \"a.lnk\": a file named \"c.lnk\" exists already."}}) {
        told.clear();
        SelectNames({"a.lnk"});
        list.DoVerb("Rename");
        auto* editor = list.viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(listtest::WaitFor([&] { return told == std::vector<std::string>{message}; })) << message;
        editor = list.viewport()->findChild<QLineEdit*>();
        EXPECT_TRUE(editor && editor->text() == typed) << message;
        EndEdit(); // Esc gives the name up
    }
}

TEST_F(ListCommandsTest, RenameFromTheContextMenuEditsTheFirstSelectedRow)
{
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    SelectNames({"a.lnk", "b.url"});
    bool picked = false;
    // A read while the menu is up puts the selection back by name.
    testsupport::WhenMenuShows([&](QMenu& menu) {
        list.ReadFolder();
        picked = testsupport::PickFromMenu(menu, "Rena&me");
    });
    QTest::keyClick(&list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(picked);
    auto* editor = list.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "a.lnk");
    EXPECT_TRUE(work->log.empty());
    QTest::keyClick(editor, Qt::Key_Escape);

    // A right click beside the rows gives the list's own menu.
    QMenu own;
    own.addAction("Refresh");
    list.SetPopupMenu(&own);
    const QPoint below(10, list.viewport()->height() - 5);
    ASSERT_FALSE(list.indexAt(below).isValid());
    QContextMenuEvent click(QContextMenuEvent::Mouse, below, list.viewport()->mapToGlobal(below));
    QApplication::sendEvent(list.viewport(), &click);
    EXPECT_TRUE(own.isVisible());
    EXPECT_EQ(list.SelectedCount(), 0);
    own.hide();
}

} // namespace
