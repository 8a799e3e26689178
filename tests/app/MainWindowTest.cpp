// The main window: settings read at start and written at shutdown, the command-line
// folder, the menu bar rule, the action table, status texts and the folder wiring.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <cstring>

#include <gtest/gtest.h>
#include <memory>

#include "app/Unit1.h"
#include "foldertree/SystemTreeView.h"
#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;
using listtest::WriteLink;
using platform::registry::Hive;
using platform::registry::Key;
using testsupport::MakeDirs;
using testsupport::WriteFile;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(env / "startmenu");
        MakeDirs(env / "last");
        MakeDirs(env / "cmdline");
    }

    Key Settings()
    {
        Key key;
        EXPECT_EQ(Key::Create(Hive::CurrentUser, kSettingsKey, key), platform::registry::Success);
        return key;
    }
    void SetStartMenu(const std::string& path)
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, platform::kShellFoldersKey, key), platform::registry::Success);
        key.WriteString("Start Menu", path);
    }
    // A complete set of values, as a previous shutdown leaves them.
    void StoreAll(bool menuShow = true, bool menuSave = false)
    {
        Key key = Settings();
        key.WriteBool("DefAct", true);
        key.WriteInteger("WinTop", 40);
        key.WriteInteger("WinLeft", 30);
        key.WriteInteger("WinHeight", 420);
        key.WriteInteger("WinWidth", 640);
        key.WriteString("ColShow", "abc");
        key.WriteInteger("TreeWidth", 222);
        key.WriteString("LastDir", env / "last");
        key.WriteBool("MenuShow", menuShow);
        key.WriteBool("MenuSave", menuSave);
    }
    std::int32_t Int(const char* name)
    {
        std::int32_t v = -12345;
        EXPECT_TRUE(Settings().ReadInteger(name, v)) << name;
        return v;
    }
    std::string Str(const char* name)
    {
        std::string v;
        EXPECT_TRUE(Settings().ReadString(name, v)) << name;
        return v;
    }
    int TreeWidth(TForm1& w) const { return w.PanelTV()->width(); }
    // The built-in layout, with the default action off and the menu bar shown.
    void ExpectBuiltInLayout(TForm1& w) const
    {
        EXPECT_EQ(w.x(), 100);
        EXPECT_EQ(w.y(), 100);
        EXPECT_EQ(w.width(), 500);
        EXPECT_EQ(w.height(), 300);
        EXPECT_EQ(TreeWidth(w), 150);
        EXPECT_FALSE(w.ShortcutList()->OpenRunsDefaultAction());
        EXPECT_TRUE(w.MenuBarShown());
    }

    listtest::PrivateEnvironment env;
};

TEST_F(MainWindowTest, FirstRunUsesDefaultsAndShutdownStoresEveryValue)
{
    SetStartMenu(env / "startmenu");
    {
        TForm1 w;
        ExpectBuiltInLayout(w);
        EXPECT_TRUE(w.Action(ActionId::aMainMenu)->isChecked());
        EXPECT_EQ(w.ShortcutList()->ColumnSet(), "abcdefghij");
        EXPECT_EQ(w.ShortcutList()->ReadDelay(), 300);
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "startmenu/");
        EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "startmenu");
        EXPECT_EQ(w.HelpFile(), QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toLower() + ".html");
    }
    Key key = Settings();
    for (const char* name : {"DefAct", "WinTop", "WinLeft", "WinHeight", "WinWidth", "ColShow", "TreeWidth",
                             "LastDir", "MenuShow", "MenuSave"})
        EXPECT_TRUE(key.ValueExists(name)) << name;
    EXPECT_EQ(Int("DefAct"), 0);
    EXPECT_EQ(Int("WinTop"), 100);
    EXPECT_EQ(Int("WinLeft"), 100);
    EXPECT_EQ(Int("WinHeight"), 300);
    EXPECT_EQ(Int("WinWidth"), 500);
    EXPECT_EQ(Int("TreeWidth"), 150);
    EXPECT_EQ(Str("ColShow"), "abcdefghij");
    EXPECT_EQ(Str("LastDir"), env / "startmenu");
    EXPECT_EQ(Int("MenuSave"), 0);
    EXPECT_EQ(Int("MenuShow"), 1);
    // No favorites yet: their key is there, empty.
    Key favorites;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, std::string(kSettingsKey) + "\\Favorites", favorites),
              platform::registry::Success);
    std::string name;
    platform::registry::Value value;
    EXPECT_EQ(favorites.EnumValue(0, name, value), platform::registry::NoMoreItems);
}

TEST_F(MainWindowTest, StoredValuesComeBackAndTheBuiltInRootIsShownWithoutAStartFolder)
{
    StoreAll();
    {
        Key key = Settings();
        key.WriteString("LastDir", "");
    }
    TForm1 w;
    EXPECT_EQ(w.x(), 30);
    EXPECT_EQ(w.y(), 40);
    EXPECT_EQ(w.width(), 640);
    EXPECT_EQ(w.height(), 420);
    EXPECT_EQ(TreeWidth(w), 222);
    EXPECT_TRUE(w.ShortcutList()->OpenRunsDefaultAction());
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "abc");
    // No last folder and no Start Menu: the tree's own selection, the root.
    EXPECT_EQ(w.ShortcutList()->Directory(), "/");
    EXPECT_EQ(w.windowTitle(), "Quillmere - /");
}

TEST_F(MainWindowTest, OneLetterColumnSetStartsWithAllColumnsTwoLettersAreKept)
{
    StoreAll();
    Settings().WriteString("ColShow", "a");
    {
        TForm1 w;
        EXPECT_EQ(w.ShortcutList()->ColumnSet(), "abcdefghij");
    }
    EXPECT_EQ(Str("ColShow"), "abcdefghij");
    Settings().WriteString("ColShow", "ab");
    TForm1 w;
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "ab");
}

TEST_F(MainWindowTest, MaximizedExitKeepsTheEarlierPlaceAndSize)
{
    StoreAll();
    {
        TForm1 w;
        w.showMaximized();
        ASSERT_TRUE(WaitFor([&] { return w.isMaximized(); }));
        w.close();
    }
    EXPECT_EQ(Int("WinTop"), 40);
    EXPECT_EQ(Int("WinLeft"), 30);
    EXPECT_EQ(Int("WinHeight"), 420);
    EXPECT_EQ(Int("WinWidth"), 640);
    TForm1 w;
    EXPECT_FALSE(w.isMaximized());
    EXPECT_EQ(w.width(), 640);
}

TEST_F(MainWindowTest, NormalExitWritesPlaceSizeAndTreeWidth)
{
    StoreAll();
    {
        TForm1 w;
        w.move(55, 66);
        w.resize(555, 333);
        w.Splitter1()->setSizes({180, 372});
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        ASSERT_TRUE(WaitFor([&] { return TreeWidth(w) == 180; }));
        w.close();
    }
    EXPECT_EQ(Int("WinLeft"), 55);
    EXPECT_EQ(Int("WinTop"), 66);
    EXPECT_EQ(Int("WinWidth"), 555);
    EXPECT_EQ(Int("WinHeight"), 333);
    EXPECT_EQ(Int("TreeWidth"), 180);
}

TEST_F(MainWindowTest, CommandLineFolderReplacesTheLastFolderOnlyWhenItIsAFolder)
{
    StoreAll();
    {
        TForm1 w({env / "cmdline"});
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "cmdline/");
        EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "cmdline");
    }
    EXPECT_EQ(Str("LastDir"), env / "cmdline");

    WriteFile(env / "a-file", "x");
    for (const std::string& arg : {env / "a-file", env / "nowhere"}) {
        TForm1 w({arg});
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "cmdline/") << arg;
    }

    // A last folder that is gone selects nothing and falls back to nothing, also
    // when the shown window gives the tree the focus.
    Settings().WriteString("LastDir", env / "gone");
    TForm1 w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.dfsTV()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return w.dfsTV()->hasFocus(); }));
    EXPECT_EQ(w.dfsTV()->Selected(), nullptr);
    EXPECT_EQ(w.ShortcutList()->Directory(), "");
    EXPECT_EQ(w.windowTitle(), "Quillmere");
}

TEST_F(MainWindowTest, DotDotInTheStartFolderIsTheFileSystemsAndLinksAreKeptAsTyped)
{
    MakeDirs(env / "far/target");
    MakeDirs(env / "far/x");
    MakeDirs(env / "x"); // where the text alone would lead
    ASSERT_EQ(::symlink((env / "far/target").c_str(), (env / "link").c_str()), 0);
    {
        TForm1 w({env / "link/../x"});
        EXPECT_EQ(w.ShortcutList()->Directory(), env / "far/x/");
    }
    TForm1 w({env / "link/"});
    EXPECT_EQ(w.ShortcutList()->Directory(), env / "link/");
}

TEST_F(MainWindowTest, MenuBarStateIsSavedOnlyWhenAskedAndRestoredAtStart)
{
    StoreAll(/*menuShow=*/true, /*menuSave=*/true);
    {
        TForm1 w;
        w.MenuToggle();
        EXPECT_FALSE(w.MenuBarShown());
        EXPECT_FALSE(w.Action(ActionId::aMainMenu)->isChecked());
    }
    EXPECT_EQ(Int("MenuShow"), 0);
    {
        TForm1 w;
        EXPECT_FALSE(w.MenuBarShown());
        EXPECT_FALSE(w.menuBar()->isVisibleTo(&w));
        EXPECT_FALSE(w.Action(ActionId::aMainMenu)->isChecked());
    }

    // Without "MenuSave" the bar's state at exit is not kept.
    Settings().WriteBool("MenuSave", false);
    Settings().WriteBool("MenuShow", true);
    {
        TForm1 w;
        w.MenuToggle();
    }
    EXPECT_EQ(Int("MenuShow"), 1);

    // A missing "MenuShow" is written as shown, with "MenuSave" off, whatever the bar.
    Settings().DeleteValue("MenuShow");
    Settings().WriteBool("MenuSave", true);
    {
        TForm1 w;
        w.MenuToggle();
    }
    EXPECT_EQ(Int("MenuShow"), 1);
    EXPECT_EQ(Int("MenuSave"), 0);
}

TEST_F(MainWindowTest, MissingTreeWidthGivesDefaultNumbersButKeepsTheColumnsReadBefore)
{
    StoreAll();
    Settings().DeleteValue("TreeWidth");
    SetStartMenu(env / "startmenu");
    TForm1 w;
    ExpectBuiltInLayout(w);
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "abc");
    // "LastDir" comes after the failure: the Start Menu opens.
    EXPECT_EQ(w.ShortcutList()->Directory(), env / "startmenu/");
}

TEST_F(MainWindowTest, MistypedNumberIsAFailureToo)
{
    StoreAll();
    Settings().WriteString("WinTop", "40");
    TForm1 w;
    EXPECT_EQ(w.y(), 100);
    EXPECT_EQ(w.x(), 100);
    EXPECT_FALSE(w.ShortcutList()->OpenRunsDefaultAction());
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "abcdefghij"); // read after the failure
}

TEST_F(MainWindowTest, ActionTableCaptionsKeysAndMenus)
{
    TForm1 w;
    auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? "-" : a->text().section('\t', 0, 0));
        return out;
    };
    ASSERT_EQ(w.MainMenu1().size(), 5u);
    EXPECT_EQ(texts(w.MainMenu1()[0]), QStringList({"&Open", "-", "&New Shortcut...", "New &Folder", "-", "&Delete",
                                                    "Rena&me", "P&roperties", "-", "E&xit"}));
    EXPECT_EQ(texts(w.MainMenu1()[1]), QStringList({"Cu&t", "&Copy", "&Paste", "Paste &Shortcut", "-", "Select &All",
                                                    "&Invert Selection"}));
    EXPECT_EQ(texts(w.MainMenu1()[2]),
              QStringList({"&Main Menu", "&Status Bar", "-", "&Refresh", "&Test", "-", "&Options..."}));
    EXPECT_EQ(texts(w.MainMenu1()[3]).mid(0, 7), QStringList({"&Add To Favorites", "&Organize Favorites", "-",
                                                              "&Current User", "All &Users", "&Default User", "-"}));
    EXPECT_EQ(texts(w.MainMenu1()[4]), QStringList({"&Help Topics", "&Visit Home Page", "-", "&About..."}));
    EXPECT_EQ(texts(w.PopupMenu1()), QStringList({"&New Shortcut...", "New &Folder", "&Paste", "Paste &Shortcut", "-",
                                                  "&Main Menu", "&Refresh", "&Test", "-", "&Options...", "-",
                                                  "&Help Topics"}));
    EXPECT_EQ(w.PopupMenu1()->defaultAction(), w.Action(ActionId::aNewShortcut));

    EXPECT_EQ(w.Action(ActionId::aNewFolder)->shortcut(), QKeySequence(Qt::Key_Insert));
    EXPECT_EQ(w.Action(ActionId::aRename)->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(w.Action(ActionId::aProperties)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Return));
    EXPECT_EQ(w.Action(ActionId::aMainMenu)->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(w.Action(ActionId::aTest)->shortcut(), QKeySequence(Qt::Key_F7));
    EXPECT_EQ(w.Action(ActionId::aInvertSelection)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    // Both paste entries show Ctrl+V; neither owns the key.
    EXPECT_TRUE(w.Action(ActionId::aPaste)->text().endsWith(QKeySequence("Ctrl+V").toString(QKeySequence::NativeText)));
    EXPECT_TRUE(w.Action(ActionId::aPasteShortcut)->text().contains('\t'));
    EXPECT_EQ(w.Action(ActionId::aDelete)->shortcut(), QKeySequence());
    EXPECT_EQ(w.Action(ActionId::aOpen)->property("category").toString(), "File");
    EXPECT_EQ(w.Action(ActionId::aAbout)->property("category").toString(), "Help");
    // Every action is on the window itself, so its key works without the menu bar.
    for (QAction* a : w.ActionList1())
        EXPECT_TRUE(w.actions().contains(a)) << a->objectName().toStdString();
}

TEST_F(MainWindowTest, KeysWorkWithTheMenuBarHiddenAndF10BringsItBack)
{
    StoreAll();
    Settings().WriteString("LastDir", env / "last");
    TForm1 w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F10);
    EXPECT_FALSE(w.MenuBarShown());
    EXPECT_FALSE(w.menuBar()->isVisible());
    // Ins still makes a folder with the bar hidden, whatever has the focus.
    QTest::keyClick(&w, Qt::Key_Insert);
    struct stat st;
    EXPECT_EQ(::stat((env / "last/New Folder").c_str(), &st), 0);
    QTest::keyClick(&w, Qt::Key_F10);
    EXPECT_TRUE(w.MenuBarShown());
    EXPECT_TRUE(w.Action(ActionId::aMainMenu)->isChecked());
}

TEST_F(MainWindowTest, CtrlVRunsPasteEvenWhilePasteIsHidden)
{
    TForm1 w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QGuiApplication::clipboard()->setText("just text");
    QApplication::processEvents();
    w.ActionList1Update();
    EXPECT_FALSE(w.Action(ActionId::aPaste)->isVisible());
    EXPECT_FALSE(w.Action(ActionId::aPasteShortcut)->isVisible());
    QSignalSpy ran(&w, &TForm1::ActionExecuted);
    w.ShortcutList()->setFocus();
    QTest::keyClick(w.ShortcutList(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(ran.count(), 1);
    EXPECT_EQ(ran.at(0).at(0).toString(), "aPaste");
}

TEST_F(MainWindowTest, PasteOrPasteShortcutFollowTheClipboardFiles)
{
    TForm1 w;
    auto offer = [&](const QStringList& files) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        data->setUrls(urls);
        QGuiApplication::clipboard()->setMimeData(data);
        QApplication::processEvents();
        w.ActionList1Update();
    };
    offer({"/x/a.lnk", "/x/b.URL"});
    EXPECT_TRUE(TForm1::CanPaste());
    EXPECT_TRUE(w.Action(ActionId::aPaste)->isVisible());
    EXPECT_FALSE(w.Action(ActionId::aPasteShortcut)->isVisible());
    offer({"/x/a.lnk", "/x/notes.txt"});
    EXPECT_FALSE(w.Action(ActionId::aPaste)->isVisible());
    EXPECT_TRUE(w.Action(ActionId::aPasteShortcut)->isVisible());
    offer({"/x/folder.lnk/readme"}); // the dot belongs to a folder, not to the file
    EXPECT_FALSE(TForm1::CanPaste());
    // However deep it lies, a shortcut is judged by its own name.
    offer({"/x/" + QString(300, 'd') + "/a.lnk"});
    EXPECT_TRUE(TForm1::CanPaste());
    // A copied web link is no file list: neither paste is offered.
    auto* link = new QMimeData;
    link->setUrls({QUrl("https://example.org/start.url")});
    QGuiApplication::clipboard()->setMimeData(link);
    QApplication::processEvents();
    w.ActionList1Update();
    EXPECT_FALSE(TForm1::CanPaste());
    EXPECT_FALSE(w.Action(ActionId::aPaste)->isVisible());
    EXPECT_FALSE(w.Action(ActionId::aPasteShortcut)->isVisible());
    // Files a file manager copied, with the line that says copy or cut.
    auto* copied = new QMimeData;
    copied->setData("x-special/gnome-copied-files", "copy\nfile:///x/a.lnk\nfile:///x/b.pif");
    QGuiApplication::clipboard()->setMimeData(copied);
    QApplication::processEvents();
    w.ActionList1Update();
    EXPECT_TRUE(w.Action(ActionId::aPaste)->isVisible());
    QGuiApplication::clipboard()->setText("text");
    QApplication::processEvents();
    w.ActionList1Update();
    EXPECT_FALSE(w.Action(ActionId::aPaste)->isVisible());
    EXPECT_FALSE(w.Action(ActionId::aPasteShortcut)->isVisible());
}

TEST_F(MainWindowTest, StatusTextsFollowReadsTestsAndSelection)
{
    const std::string dir = env / "last";
    MakeDirs(dir + "/Sub1");
    MakeDirs(dir + "/Sub2");
    WriteFile(env / "present", "x");
    WriteLink(dir + "/good.lnk", env / "present");
    TForm1 w({dir});
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 3; }));
    EXPECT_EQ(w.PanelText(0), "1 shortcut");
    EXPECT_EQ(w.PanelText(1), "");
    EXPECT_TRUE(w.Action(ActionId::aTest)->isEnabled());

    WriteLink(dir + "/bad1.lnk", env / "absent");
    WriteLink(dir + "/bad2.lnk", env / "absent");
    w.Refresh();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 5; }));
    EXPECT_EQ(w.PanelText(0), "3 shortcuts");

    list->DoVerb("SelectAll");
    EXPECT_EQ(w.PanelText(1), "5 items selected");
    list->clearSelection();
    EXPECT_EQ(w.PanelText(1), "0 items selected");
    list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(w.PanelText(1), "1 item selected");
    list->clearSelection();

    list->DoVerb("Test");
    EXPECT_EQ(w.PanelText(1), "2 shortcuts failed test!");
    ::unlink((dir + "/bad2.lnk").c_str());
    w.Refresh();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 4; }));
    EXPECT_EQ(w.PanelText(1), "");
    list->DoVerb("Test");
    EXPECT_EQ(w.PanelText(1), "1 shortcut failed test!");

    // A folder that can no longer be read says so instead of passing for an empty one.
    ASSERT_EQ(::rename(dir.c_str(), (env / "moved").c_str()), 0);
    list->RequestRead();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 0; }));
    EXPECT_EQ(w.PanelText(0), "0 shortcuts");
    EXPECT_EQ(w.PanelText(1), "Cannot read this folder: " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    ASSERT_EQ(::rename((env / "moved").c_str(), dir.c_str()), 0);
    list->RequestRead();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 4; }));
    EXPECT_EQ(w.PanelText(1), "");

    // An empty folder: nothing to test.
    TForm1 empty({env / "cmdline"});
    ASSERT_TRUE(WaitFor([&] { return empty.PanelText(0) == "0 shortcuts"; }));
    EXPECT_FALSE(empty.Action(ActionId::aTest)->isEnabled());
}

TEST_F(MainWindowTest, ListGoingIntoAFolderMovesTheSelectionAndTitle)
{
    MakeDirs(env / "last/Inner");
    TForm1 w({env / "last"});
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 1; }));
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->OpenSelected();
    EXPECT_EQ(w.TreeSelection(), env / "last/Inner");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "last/Inner");
    list->GoUp();
    EXPECT_EQ(w.TreeSelection(), env / "last");
    EXPECT_EQ(list->Directory(), env / "last/");
}

TEST_F(MainWindowTest, StatusPanelZeroStaysOnePixelWiderThanTheTree)
{
    TForm1 w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.PanelWidth(0), w.PanelTV()->width() + 1);
    w.Splitter1()->setSizes({210, 200});
    ASSERT_TRUE(WaitFor([&] { return w.PanelTV()->width() == 210; }));
    QApplication::processEvents();
    EXPECT_EQ(w.PanelWidth(0), 211);
}

TEST_F(MainWindowTest, StatusBarActionShowsAndHidesTheBar)
{
    TForm1 w;
    EXPECT_TRUE(w.Action(ActionId::aStatusBar)->isChecked());
    w.ActionExecute(ActionId::aStatusBar);
    EXPECT_FALSE(w.statusBar()->isVisibleTo(&w));
    EXPECT_FALSE(w.Action(ActionId::aStatusBar)->isChecked());
    w.ActionExecute(ActionId::aStatusBar);
    EXPECT_TRUE(w.statusBar()->isVisibleTo(&w));
}

} // namespace

namespace {

TEST_F(MainWindowTest, ItemCommandsAreEnabledOnlyForTheFocusedListWithASelection)
{
    MakeDirs(env / "last/Sub");
    TForm1 w({env / "last"});
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 1; }));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.PanelTV()->setFocusPolicy(Qt::StrongFocus);
    w.PanelTV()->setFocus();
    list->DoVerb("SelectAll"); // selects, and gives the list the focus
    ASSERT_TRUE(WaitFor([&] { return list->hasFocus(); }));
    w.ActionList1Update();
    using enum ActionId;
    const ActionId itemCommands[] = {aOpen, aDelete, aRename, aProperties, aCut, aCopy};
    auto name = [](ActionId id) { return ActionRowOf(id).name; };
    for (ActionId id : itemCommands)
        EXPECT_TRUE(w.Action(id)->isEnabled()) << name(id);
    // Alt+F puts the focus into the menu bar: the File menu still offers them.
    w.menuBar()->setFocus(Qt::MenuBarFocusReason);
    ASSERT_TRUE(WaitFor([&] { return w.menuBar()->hasFocus(); }));
    w.ActionList1Update();
    for (ActionId id : itemCommands)
        EXPECT_TRUE(w.Action(id)->isEnabled()) << name(id) << " from the menu bar";
    list->setFocus();
    list->clearSelection();
    w.ActionList1Update();
    for (ActionId id : itemCommands)
        EXPECT_FALSE(w.Action(id)->isEnabled()) << name(id);
    list->DoVerb("SelectAll");
    w.PanelTV()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return w.PanelTV()->hasFocus(); }));
    w.ActionList1Update();
    EXPECT_FALSE(w.Action(aOpen)->isEnabled()); // Open never works on the tree
    // Commands that need no focus stay enabled.
    EXPECT_TRUE(w.Action(aNewFolder)->isEnabled());
    EXPECT_TRUE(w.Action(aRefresh)->isEnabled());
}

} // namespace
