// The Favorites menu: loading and saving the favorites, the shell-folder submenus,
// choosing an entry, and the Organize Favorites dialog.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

#include "app/Application.h"
#include "app/FavOrg.h"
#include "app/Favorites.h"
#include "app/Unit1.h"
#include "foldertree/MountTableWatcher.h"
#include "foldertree/SystemTreeView.h"
#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/HangingMount.h"

using listtest::WaitFor;
using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::Success;
using testsupport::MakeDirs;
using Paths = std::vector<std::string>;

namespace {

const std::string kFavoritesKey = std::string(kSettingsKey) + "\\Favorites";

// The values and subkeys of the Favorites key as the hive holds them.
struct Stored {
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> subkeys;
};
Stored ReadStored()
{
    Stored stored;
    Key key;
    EXPECT_EQ(Key::Open(Hive::CurrentUser, kFavoritesKey, key), Success);
    std::string name;
    platform::registry::Value value;
    for (std::uint32_t i = 0; key.EnumValue(i, name, value) == Success; ++i)
        stored.values.emplace_back(name, value.AsString());
    for (std::uint32_t i = 0; key.EnumKey(i, name) == Success; ++i)
        stored.subkeys.push_back(name);
    return stored;
}

std::vector<std::pair<std::string, std::string>> Numbered(const Paths& paths)
{
    std::vector<std::pair<std::string, std::string>> values;
    for (std::size_t i = 0; i < paths.size(); ++i)
        values.emplace_back("Fav" + std::to_string(i), paths[i]);
    return values;
}

Paths EntriesOf(QMenu* menu)
{
    Paths paths;
    for (QAction* entry : menu->actions())
        paths.push_back(TFavorites::PathOf(entry));
    return paths;
}

class FavoritesTest : public ::testing::Test {
protected:
    void SetUp() override { MakeDirs(env / "start"); }
    listtest::PrivateEnvironment env;
};

TEST_F(FavoritesTest, StoredFavoritesLoadUpToTheFirstGapAndAreSavedAsTheyStand)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> stored;
        bool subkey;
        Paths loaded;
    };
    const Case cases[] = {
        {"a gap ends the list", {{"Fav0", "/a"}, {"Fav1", "/b"}, {"Fav3", "/d"}}, false, {"/a", "/b"}},
        {"duplicates are kept", {{"Fav0", "/a"}, {"Fav1", "/a"}}, false, {"/a", "/a"}},
        {"\"&\" is no accelerator", {{"Fav0", "/x/A&B"}, {"Fav1", "/x/A&&B"}}, false, {"/x/A&B", "/x/A&&B"}},
        {"a subkey goes with the key", {{"Fav0", "/a"}}, true, {"/a"}},
        {"a blank favorite is dropped", {{"Fav0", ""}, {"Fav1", "/b"}, {"Fav2", ""}}, false, {"/b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            Key key;
            ASSERT_EQ(Key::Create(Hive::CurrentUser, kFavoritesKey, key), Success);
            for (const auto& [name, path] : c.stored)
                key.WriteString(name, path);
            Key sub;
            if (c.subkey) {
                ASSERT_EQ(key.CreateSubKey("Sub\\Deeper", sub), Success);
            }
        }
        for (int run = 0; run < 2; ++run) { // what one run saves, the next loads unchanged
            {
                TForm1 w({env / "start"});
                EXPECT_EQ(w.Favorites()->Paths(), c.loaded);
            }
            const Stored stored = ReadStored();
            EXPECT_EQ(stored.values, Numbered(c.loaded));
            EXPECT_TRUE(stored.subkeys.empty());
        }
        Key settings;
        ASSERT_EQ(Key::Open(Hive::CurrentUser, kSettingsKey, settings), Success);
        ASSERT_EQ(settings.DeleteSubKey("Favorites"), Success);
    }
}

TEST_F(FavoritesTest, AFavoriteSelectsExactlyItsFolderAndTheMenuKeepsIt)
{
    MakeDirs(env / "A&B");
    MakeDirs(env / "AB");
    TForm1 w({env / "A&B"});
    ASSERT_EQ(w.TreeSelection(), env / "A&B");
    w.ActionExecute(ActionId::aAddToFavorites);
    w.ActionExecute(ActionId::aAddToFavorites);
    ASSERT_EQ(w.Favorites()->Paths(), Paths({env / "A&B", env / "A&B"}));
    const QList<QAction*> entries = w.Favorites()->Menu()->actions();
    EXPECT_EQ(entries.size(), kFavoritesFixedEntries + 2);
    EXPECT_EQ(entries.back()->text(), QString::fromStdString(env / "A&&B")); // shown with one "&"

    w.SetTreeSelection(env / "AB");
    ASSERT_TRUE(WaitFor([&] { return w.TreeSelection() == env / "AB"; }));
    entries.back()->trigger();
    EXPECT_TRUE(WaitFor([&] { return w.TreeSelection() == env / "A&B"; })) << w.TreeSelection();

    // A save while the program runs (the session's end) keeps the menu as it is.
    w.SaveSettings();
    EXPECT_EQ(w.Favorites()->Paths(), Paths({env / "A&B", env / "A&B"}));
    EXPECT_EQ(ReadStored().values, Numbered({env / "A&B", env / "A&B"}));
}

TEST_F(FavoritesTest, SubmenusShowTheShellFoldersSeededAtEveryStart)
{
    MakeDirs(env / "home/Desktop");
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, platform::kShellFoldersKey, key), Success);
        key.WriteString("Recent", "/recent");
        key.WriteString("Start Menu", env / "start");
        key.WriteInteger("SendTo", 1); // of another type: ends the work on the key
        key.WriteString("Favorites", "/favorites");
        ASSERT_EQ(Key::Create(Hive::CurrentUser, platform::kMapGroupsKey, key), Success);
        key.WriteString("Quick Launch", ""); // empty, and still an entry
        ASSERT_EQ(Key::Create(Hive::LocalMachine, platform::kShellFoldersKey, key), Success);
        key.WriteString("Common Start Menu", "/common/start");
        key.WriteString("Common Desktop", "/common/desktop");
    }
    { TForm1 first; } // the first start seeds the desktop and stores "LastDir"
    Key folders;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, platform::kShellFoldersKey, folders), Success);
    ASSERT_EQ(folders.DeleteValue("Desktop"), Success);

    TForm1 w;
    EXPECT_EQ(EntriesOf(w.Favorites()->ShellFolderMenu(0)),
              Paths({env / "home/Desktop", "/favorites", "/recent", ""}));
    EXPECT_EQ(EntriesOf(w.Favorites()->ShellFolderMenu(1)), Paths({"/common/desktop", "/common/start"}));
    EXPECT_TRUE(w.Favorites()->ShellFolderMenu(2)->isEmpty()); // no ".DEFAULT" key
    EXPECT_TRUE(w.Favorites()->Paths().empty());
}

// None is added without a folder; a shell folder that is missing is greyed, looked
// at again as its submenu opens, and one on a share is offered without a look (as
// root, a share whose server went away: the look would freeze the window); a
// favorite whose folder went says so.
TEST_F(FavoritesTest, AFavoriteLeadsToAFolderOrSaysWhyNot)
{
    struct TellWatcher { // of the volume at once (FolderTreeJoinTest says why)
        ~TellWatcher() { TMountTableWatcher::Instance().CheckNow(); }
    } afterwards;
    std::string whyNot;
    const auto volume = testsupport::HangingVolume::Create(whyNot);
    TMountTableWatcher::Instance().CheckNow();
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::Users, ".DEFAULT\\" + std::string(platform::kShellFoldersKey), key), Success);
        key.WriteString("Desktop", env / "start");
        key.WriteString("Favorites", env / "later");
        key.WriteString("Recent", volume ? volume->Path() + "/docs" : env / "start");
    }
    TForm1 w({env / "start"});
    QMenu* defaultUser = w.Favorites()->ShellFolderMenu(2);
    const QList<QAction*> entries = defaultUser->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_TRUE(entries[0]->isEnabled() && !entries[1]->isEnabled() && entries[2]->isEnabled());
    EXPECT_EQ(volume ? volume->RequestCount() : 0, 0);
    MakeDirs(env / "later");
    emit defaultUser->aboutToShow();
    EXPECT_TRUE(entries[1]->isEnabled());

    w.dfsTV()->SetSelected(nullptr); // no folder, as for Computer and Trash
    w.ActionList1Update();
    EXPECT_FALSE(w.Action(ActionId::aAddToFavorites)->isEnabled());

    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(app);
    QStringList shown;
    app->SetErrorPresenter([&](const QString& message) { shown << message; });
    w.show();
    w.Favorites()->SetPaths({env / "gone"});
    w.Favorites()->Menu()->actions().back()->trigger();
    EXPECT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, QStringList{QString::fromStdString("The folder '" + env / "gone" + "' does not exist.")});
    app->SetErrorPresenter({});
}

TEST_F(FavoritesTest, AProgramKilledWhileSavingLosesNoFavorite)
{
    const Paths paths = {"/one", "/two", "/three", "/four", "/five"};
    ASSERT_TRUE(WriteFavorites(paths));
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::write(started[1], "s", 1) != 1)
                ::_exit(3);
            for (;;)
                WriteFavorites(paths);
        }
        char signal;
        ASSERT_EQ(::read(started[0], &signal, 1), 1);
        ::close(started[0]);
        ::close(started[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_EQ(ReadStored().values, Numbered(paths)) << "round " << round;
    }
}

TEST_F(FavoritesTest, OrganizeFavoritesChangesTheMenuOnlyOnOkAfterAnEdit)
{
    using Act = std::function<void(TFavOrgBox&)>;
    auto select = [](int row) { return [row](TFavOrgBox& box) { box.ListView1()->setCurrentRow(row); }; };
    auto then = [](Act a, Act b) { return [a, b](TFavOrgBox& box) {
        a(box);
        b(box);
    }; };
    auto button = [](TFavButton b) { return [b](TFavOrgBox& box) { box.BtnClick(b); }; };
    // A drop on the third row of the list's own drag data, or of another Qt program's
    // rows, which come in the same format.
    auto dragOntoThird = [](bool own) { return [own](TFavOrgBox& box) {
        QListWidget* list = box.ListView1();
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        std::unique_ptr<QMimeData> data(own ? list->model()->mimeData({list->model()->index(0, 0)}) : new QMimeData);
        if (!own)
            data->setData("application/x-qabstractitemmodeldatalist", "rows");
        const QPoint at = list->visualItemRect(list->item(2)).center();
        QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(list->viewport(), &enter); // makes the list the drop's target
        QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(list->viewport(), &drop);
    }; };
    // A key on the list, with the row chosen first; the dialog's keys work in its
    // active window.
    auto keyOn = [](int row, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return [row, key, modifiers](TFavOrgBox& box) {
            box.ListView1()->setCurrentRow(row);
            box.show();
            box.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
            QTest::keyClick(box.ListView1(), key, modifiers);
        };
    };
    struct Case {
        const char* name;
        Act act;
        bool ok;
        Paths expected;
    };
    const Case cases[] = {
        {"OK alone", [](TFavOrgBox&) {}, true, {"/a", "/b", "/c"}},
        {"first dropped on the third", then(select(0), [](TFavOrgBox& box) {
             box.ListView1DragDrop(box.ListView1()->item(2));
         }), true, {"/b", "/a", "/c"}},
        {"first dropped below the last", then(select(0), [](TFavOrgBox& box) { box.ListView1DragDrop(nullptr); }),
         true, {"/b", "/c", "/a"}},
        {"first dragged onto the third", then(select(0), dragOntoThird(true)), true, {"/b", "/a", "/c"}},
        {"another program's row dropped on the third", then(select(0), dragOntoThird(false)), true,
         {"/a", "/b", "/c"}},
        {"Remove with nothing selected", button(TFavButton::fbRemove), true, {"/a", "/b", "/c"}},
        {"the Delete key", keyOn(1, Qt::Key_Delete, {}), true, {"/a", "/c"}},
        {"Alt+Down on the first", keyOn(0, Qt::Key_Down, Qt::AltModifier), true, {"/b", "/a", "/c"}},
        {"Alt+Up on the last", keyOn(2, Qt::Key_Up, Qt::AltModifier), true, {"/a", "/c", "/b"}},
        {"Alt+Up on the first: nowhere to go", keyOn(0, Qt::Key_Up, Qt::AltModifier), true, {"/a", "/b", "/c"}},
        {"Remove All", button(TFavButton::fbRemoveAll), true, {}},
        {"Remove All, then Cancel", button(TFavButton::fbRemoveAll), false, {"/a", "/b", "/c"}},
    };
    TForm1 w({env / "start"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.Favorites()->SetPaths({"/a", "/b", "/c"});
        const QList<QAction*> before = w.Favorites()->Menu()->actions();
        TFavOrgBox box(w);
        EXPECT_EQ(box.Paths(), Paths({"/a", "/b", "/c"}));
        c.act(box);
        box.BtnClick(c.ok ? TFavButton::fbOk : TFavButton::fbCancel);
        EXPECT_EQ(w.Favorites()->Paths(), c.expected);
        if (c.expected == Paths({"/a", "/b", "/c"})) {
            EXPECT_EQ(w.Favorites()->Menu()->actions(), before); // untouched, not rebuilt
        }
    }
}

TEST_F(FavoritesTest, EnterAndEscEndTheEditNotTheDialog)
{
    TForm1 w({env / "start"});
    w.Favorites()->SetPaths({"/a", "/b"});
    TFavOrgBox box(w);
    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    QPushButton* ok = box.Button(TFavButton::fbOk);
    box.ListView1()->setCurrentRow(0);
    auto editor = [] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); };

    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        QTest::keyClick(box.ListView1(), Qt::Key_F2);
        ASSERT_TRUE(WaitFor([&] { return editor() != nullptr; }));
        EXPECT_TRUE(box.Editing());
        EXPECT_FALSE(ok->isDefault());
        QTest::keyClick(editor(), Qt::Key_Delete); // the editor's, not Remove
        editor()->setText("/z&");
        QTest::keyClick(editor(), key);
        ASSERT_TRUE(WaitFor([&] { return !box.Editing(); }));
        EXPECT_TRUE(box.isVisible());
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(box.Edited(), key == Qt::Key_Return);
        EXPECT_EQ(box.ListView1()->count(), 2);
    }
    box.BtnClick(TFavButton::fbOk);
    EXPECT_EQ(w.Favorites()->Paths(), Paths({"/z&", "/b"}));
}

} // namespace
