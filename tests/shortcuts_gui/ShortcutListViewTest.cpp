// The shortcut list: reading, ordering, sorting, the read timer, keys, renaming,
// the test marks and the commands that work on the list itself.
#include <sys/stat.h>

#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "shortcuts/ReadTimer.h"
#include "shortcuts/ShortcutListModel.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;
using listtest::WriteLink;
using listtest::WriteUrl;
using testsupport::MakeDirs;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class ShortcutListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = env / "folder";
        MakeDirs(dir);
        MakeDirs(env / "targets");
        WriteFile(env / "targets/present.txt", "here");
        list.SetColumnSet("abcdefghij");
        list.resize(700, 400);
    }
    // Reads dir at once, the way the read timer does.
    void Read(const std::string& folder = {})
    {
        list.SetReadDelay(0);
        list.SetDirectory(folder.empty() ? dir : folder);
        list.ReadFolder();
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < list.ItemCount(); ++i)
            names.push_back(list.ItemName(i));
        return names;
    }
    int Row(const std::string& name) const
    {
        for (int i = 0; i < list.ItemCount(); ++i)
            if (list.ItemName(i) == name)
                return i;
        return -1;
    }
    void Select(std::initializer_list<int> rows)
    {
        list.clearSelection();
        for (int row : rows)
            list.selectionModel()->select(list.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    listtest::PrivateEnvironment env;
    std::string dir;
    TwekShortcutListView list;
};

TEST_F(ShortcutListTest, FoldersComeFirstInNameOrderThenShortcutsHiddenFoldersSkipped)
{
    MakeDirs(dir + "/B");
    MakeDirs(dir + "/a");
    MakeDirs(dir + "/.hidden");
    MakeDirs(dir + "/x.lnk"); // a folder with a shortcut's name is a folder row
    WriteLink(dir + "/z.lnk", env / "targets/present.txt");
    WriteUrl(dir + "/y.url", "http://example.com/");
    WriteLink(dir + "/.secret.lnk", env / "targets/present.txt");
    WriteFile(dir + "/notes.txt", "not a shortcut");
    Read();
    EXPECT_EQ(list.Directory(), dir + "/");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "B", "x.lnk", ".secret.lnk", "y.url", "z.lnk"}));
    EXPECT_EQ(list.FolderCount(), 3);
    EXPECT_EQ(list.ItemText(0, 1), "Dir");
    EXPECT_EQ(list.ItemText(2, 1), "Dir");
    EXPECT_EQ(list.ItemText(4, 1), ".url");

    // Whatever the sort, the folder block keeps its place and its order.
    list.HeaderClicked(1, 200); // Type
    list.HeaderClicked(1, 200); // Type, descending
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "B", "x.lnk", "y.url", ".secret.lnk", "z.lnk"}));
    list.SetSort(0, true);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "B", "x.lnk", "z.lnk", "y.url", ".secret.lnk"}));
    // A folder row and a shortcut row are equal to the comparison, in either order.
    EXPECT_EQ(list.CompareItems(0, 3), 0);
    EXPECT_EQ(list.CompareItems(3, 0), 0);
}

TEST_F(ShortcutListTest, MissingFolderGivesAnEmptyListAndStillReports)
{
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    Read();
    ASSERT_EQ(list.ItemCount(), 1);
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    list.SetReadDelay(10);
    list.SetDirectory(env / "gone");
    ASSERT_TRUE(WaitFor([&] { return status.count() == 1; }));
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.FolderCount(), 0);
}

TEST_F(ShortcutListTest, NameColumnFitsTheNamesOfEachFolderOpenedAndNeverNarrows)
{
    MakeDirs(dir + "/Programs");
    const std::string other = env / "other";
    MakeDirs(other);
    const std::string longName = "A rather long shortcut name that needs room.lnk";
    WriteLink(other + "/" + longName, env / "targets/present.txt");
    Read();
    const int narrow = list.columnWidth(0);
    Read(other);
    const int fits = list.fontMetrics().horizontalAdvance(QString::fromStdString(longName));
    EXPECT_GT(list.columnWidth(0), narrow);
    EXPECT_GE(list.columnWidth(0), fits);
    // A folder of shorter names leaves it as wide: the longer names stay readable.
    const int wide = list.columnWidth(0);
    Read(dir);
    EXPECT_EQ(list.columnWidth(0), wide);
    // A name longer than the list is wide leaves room for the other columns.
    WriteLink(other + "/" + std::string(200, 'N') + ".lnk", env / "targets/present.txt");
    Read(dir);
    Read(other);
    EXPECT_LT(list.columnWidth(0), list.width());
    EXPECT_GE(list.columnWidth(0), fits);
    // Reading the same folder again keeps the width the user gave the column.
    list.setColumnWidth(0, 90);
    list.ReadFolder();
    EXPECT_EQ(list.columnWidth(0), 90);
    // A double click on the divider after its header fits it to the names in view.
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QHeaderView* header = list.header();
    const QPoint divider(header->sectionViewportPosition(0) + header->sectionSize(0) - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, divider);
    EXPECT_GE(list.columnWidth(0), fits);
}

TEST_F(ShortcutListTest, ColumnSetChoosesColumnsAndIsRepairedWhenEditedByHand)
{
    MakeDirs(dir + "/Sub");
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    list.SetColumnSet(" abg ");
    EXPECT_EQ(list.ColumnSet(), "abg");
    Read();
    ASSERT_EQ(list.model()->columnCount(), 3);
    EXPECT_EQ(list.model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), "Type");
    EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), "Hotkey");
    EXPECT_EQ(list.ItemText(0, 1), "Dir");
    EXPECT_EQ(list.ItemText(0, 2), "");
    EXPECT_EQ(list.ItemText(1, 1), ".lnk");

    list.SetColumnSet("bzgb");
    EXPECT_EQ(list.ColumnSet(), "abg");
    EXPECT_EQ(list.ItemCount(), 0); // new columns empty the list until the next read

    // The Target column starts three times as wide as its caption needs.
    list.SetColumnSet("abc");
    const int captionWidth = list.fontMetrics().horizontalAdvance("Target") + 16;
    EXPECT_EQ(list.columnWidth(2), 3 * captionWidth);

    // A read keeps the widths the user gave the columns after the first.
    Read();
    list.setColumnWidth(1, 77);
    list.setColumnWidth(2, 133);
    Read();
    EXPECT_EQ(list.columnWidth(1), 77);
    EXPECT_EQ(list.columnWidth(2), 133);
}

TEST_F(ShortcutListTest, HeaderClicksSortAndToggleAndTheMarkAreaSortsByTestState)
{
    MakeDirs(dir + "/Sub");
    WriteLink(dir + "/b.lnk", env / "targets/present.txt");
    WriteLink(dir + "/a.lnk", env / "targets/gone.txt");
    WriteLink(dir + "/c.lnk", env / "targets");
    WriteUrl(dir + "/d.url", "http://example.com/");
    list.SetColumnSet("abc");
    Read();
    EXPECT_EQ(Names(), (std::vector<std::string>{"Sub", "a.lnk", "b.lnk", "c.lnk", "d.url"}));
    list.DoVerb("Test");
    ASSERT_EQ(list.ItemStateIndex(Row("a.lnk")), 0);

    list.HeaderClicked(0, 5); // on the mark: by test state, failed first among the tested
    EXPECT_EQ(list.SortColumn(), -2);
    EXPECT_FALSE(list.SortDescending());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Sub", "a.lnk", "b.lnk", "c.lnk", "d.url"}));
    list.HeaderClicked(0, 5); // again: reversed
    EXPECT_TRUE(list.SortDescending());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Sub", "d.url", "b.lnk", "c.lnk", "a.lnk"}));

    list.HeaderClicked(2, 300); // Target: ascending from any other column
    EXPECT_EQ(list.SortColumn(), 2);
    EXPECT_FALSE(list.SortDescending());
    list.HeaderClicked(0, 60); // Name, right of the mark
    EXPECT_EQ(list.SortColumn(), 0);
    EXPECT_FALSE(list.SortDescending());
    list.HeaderClicked(0, 60);
    EXPECT_TRUE(list.SortDescending());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Sub", "d.url", "c.lnk", "b.lnk", "a.lnk"}));

    // After a test-state sort the next read sorts by name, keeping the direction.
    list.HeaderClicked(0, 5);
    ASSERT_EQ(list.SortColumn(), -2);
    ASSERT_FALSE(list.SortDescending());
    list.HeaderClicked(0, 5);
    Read();
    EXPECT_EQ(list.SortColumn(), 0);
    EXPECT_TRUE(list.SortDescending());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Sub", "d.url", "c.lnk", "b.lnk", "a.lnk"}));
}

TEST_F(ShortcutListTest, ClickOnTheHeaderItselfUsesThePointerPosition)
{
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    WriteLink(dir + "/b.lnk", env / "targets/present.txt");
    Read();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QWidget* header = list.header()->viewport();
    const int y = header->height() / 2;
    // Where the click lands, the sort it gives, and the arrow the header then shows
    // (the test-state sort shows its arrow on the first header, which holds the mark).
    const struct {
        int x;
        int sortColumn;
        bool descending;
        int arrowSection;
    } clicks[] = {
        {6, -2, false, 0},
        {6, -2, true, 0},
        {list.columnWidth(0) - 10, 0, false, 0},
        {list.columnWidth(0) - 10, 0, true, 0},
        {list.columnWidth(0) + 10, 1, false, 1},
        {6, -2, false, 0},
    };
    EXPECT_TRUE(list.header()->isSortIndicatorShown());
    for (const auto& click : clicks) {
        QTest::mouseClick(header, Qt::LeftButton, {}, QPoint(click.x, y));
        EXPECT_EQ(list.SortColumn(), click.sortColumn) << click.x;
        EXPECT_EQ(list.SortDescending(), click.descending) << click.x;
        EXPECT_EQ(list.header()->sortIndicatorSection(), click.arrowSection) << click.x;
        EXPECT_EQ(list.header()->sortIndicatorOrder(), click.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        // The first header keeps the passed mark left of its caption in every sort.
        EXPECT_FALSE(list.model()->headerData(0, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().isNull());
    }
    EXPECT_FALSE(list.model()->headerData(1, Qt::Horizontal, Qt::DecorationRole).isValid());
    // A read after the test-state sort sorts by name, and the arrow stays on the Name header.
    list.HeaderClicked(0, 5);
    list.ReadFolder();
    EXPECT_EQ(list.header()->sortIndicatorSection(), 0);
    EXPECT_EQ(list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ShortcutListTest, TextOrderIgnoresCaseOfLettersAndComparesNumbersAsText)
{
    for (const char* name : {"b.lnk", "B2.lnk", "10.lnk", "2.lnk", "_x.lnk", "A.lnk"})
        WriteLink(dir + "/" + name, env / "targets/present.txt");
    Read();
    // '_' (0x5F) sorts after the upper-cased letters; "10" before "2".
    EXPECT_EQ(Names(), (std::vector<std::string>{"10.lnk", "2.lnk", "A.lnk", "b.lnk", "B2.lnk", "_x.lnk"}));
}

TEST_F(ShortcutListTest, ReadRequestsInABurstGiveOneReadOneDelayAfterTheFirst)
{
    QSignalSpy started(list.ReadTimer(), &TReadTimer::Started);
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    list.SetReadDelay(400);
    list.SetDirectory(dir); // the first request: the delay changed, so it starts over
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(list.ReadTimer()->Interval(), 400);
    list.RequestRead();
    list.RequestRead();
    EXPECT_EQ(started.count(), 1); // not restarted: the read comes one delay after the first
    ASSERT_TRUE(status.wait());
    EXPECT_EQ(status.count(), 1);
    EXPECT_FALSE(list.ReadPending()); // and no second one follows
}

TEST_F(ShortcutListTest, ReadDelayZeroNeverReadsEvenThePendingFirstRead)
{
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    EXPECT_TRUE(list.ReadPending()); // the read the list was built with
    list.SetReadDelay(0);
    list.SetDirectory(dir);
    EXPECT_FALSE(list.ReadPending());

    // A changed delay starts it again.
    list.SetReadDelay(20);
    list.RequestRead();
    EXPECT_TRUE(status.wait());
    EXPECT_EQ(status.count(), 1);
}

TEST_F(ShortcutListTest, EnterOpensFolderRowsAndBackspaceGoesUp)
{
    MakeDirs(dir + "/Links/Deeper");
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    Read();
    QSignalSpy dirChange(&list, &TwekShortcutListView::OnDirChange);

    Select({Row("Links")});
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.Directory(), dir + "/Links/");
    EXPECT_EQ(dirChange.count(), 1);
    EXPECT_TRUE(list.ReadPending() || list.ReadDelay() == 0);

    list.SetDirectory(dir + "/Links/Deeper/");
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(list.Directory(), dir + "/Links/");
    EXPECT_EQ(dirChange.count(), 2);

    // At the root there is nowhere further up.
    list.SetDirectory("/");
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(list.Directory(), "/");

    // The keypad's Enter opens as well.
    Read();
    Select({Row("Links")});
    QTest::keyClick(&list, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(list.Directory(), dir + "/Links/");
    EXPECT_EQ(dirChange.count(), 3);

    // A shortcut row with Enter runs a command, it never changes the folder.
    Read();
    Select({Row("a.lnk")});
    const int before = dirChange.count();
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.Directory(), dir + "/");
    EXPECT_EQ(dirChange.count(), before);
}

TEST_F(ShortcutListTest, DoubleClickOpensARowAndNeverStartsRenamingIt)
{
    MakeDirs(dir + "/Sub");
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    Read();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QSignalSpy dirChange(&list, &TwekShortcutListView::OnDirChange);
    const QPoint center = list.visualRect(list.model()->index(0, 0)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, center);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, center);
    EXPECT_EQ(list.Directory(), dir + "/Sub/");
    EXPECT_EQ(dirChange.count(), 1);

    // A double click on a row that is already selected, as the window system sends
    // it (press, release, press, double click, release): the first click must not
    // leave an in-place edit behind.
    Read();
    const QPoint shortcut = list.visualRect(list.model()->index(Row("a.lnk"), 0)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, shortcut);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, shortcut);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, shortcut);
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, shortcut);
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(shortcut), list.viewport()->mapToGlobal(QPointF(shortcut)),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &second);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, shortcut);
    QTest::qWait(QApplication::doubleClickInterval() + 150);
    EXPECT_EQ(list.viewport()->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(list.Directory(), dir + "/");
}

TEST_F(ShortcutListTest, ContextMenuKeyWithNothingSelectedShowsThePopupMenuOnce)
{
    Read();
    QMenu popup;
    popup.addAction("Refresh");
    int shown = 0;
    QObject::connect(&popup, &QMenu::aboutToShow, [&] { ++shown; });
    list.SetPopupMenu(&popup);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::keyClick(&list, Qt::Key_Menu);
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(1, 1), list.mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&list, &fromKey);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(popup.isVisible());
    popup.hide();
}

TEST_F(ShortcutListTest, CtrlCNeverPutsTheListsOwnTextsOnTheClipboard)
{
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    Read();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setFocus();
    list.selectionModel()->setCurrentIndex(list.model()->index(0, 0), QItemSelectionModel::NoUpdate);
    for (bool selected : {false, true}) {
        QGuiApplication::clipboard()->setText("the user's text");
        Select(selected ? std::initializer_list<int>{0} : std::initializer_list<int>{});
        QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "the user's text") << "selected: " << selected;
    }
}

TEST_F(ShortcutListTest, RenameKeepsTheExtensionAndNeverReplacesAFile)
{
    WriteLink(dir + "/Old.lnk", env / "targets/present.txt");
    WriteLink(dir + "/Bar.lnk", env / "targets/present.txt");
    WriteLink(dir + "/Keep.lnk", env / "targets/present.txt");
    WriteFile(dir + "/Taken.lnk", "someone else's file");
    MakeDirs(dir + "/Plain");
    Read();

    EXPECT_TRUE(list.RenameEdited(Row("Old.lnk"), "New"));
    EXPECT_TRUE(Exists(dir + "/New.lnk"));
    EXPECT_FALSE(Exists(dir + "/Old.lnk"));
    EXPECT_EQ(list.ItemName(Row("New.lnk")), "New.lnk");

    EXPECT_TRUE(list.RenameEdited(Row("Bar.lnk"), "Foo.txt"));
    EXPECT_TRUE(Exists(dir + "/Foo.txt.lnk"));
    EXPECT_TRUE(list.RenameEdited(Row("Foo.txt.lnk"), "Foo.LNK"));
    EXPECT_TRUE(Exists(dir + "/Foo.LNK"));
    EXPECT_TRUE(list.RenameEdited(Row("Foo.LNK"), ""));
    EXPECT_TRUE(Exists(dir + "/.LNK")); // the old extension, as it was spelled

    // An existing name is never overwritten: both files stay as they were.
    const std::string kept = ReadFile(dir + "/Keep.lnk");
    EXPECT_FALSE(list.RenameEdited(Row("Keep.lnk"), "Taken"));
    EXPECT_EQ(ReadFile(dir + "/Taken.lnk"), "someone else's file");
    EXPECT_EQ(ReadFile(dir + "/Keep.lnk"), kept);

    // A slash would move the file elsewhere: refused.
    EXPECT_FALSE(list.RenameEdited(Row("Keep.lnk"), "../Escaped"));
    EXPECT_FALSE(Exists(env / "Escaped.lnk"));
    EXPECT_TRUE(Exists(dir + "/Keep.lnk"));

    // An edit accepted after the list was pointed at another folder, before that
    // folder's read: the row's own file is renamed, not its namesake there.
    const std::string other = env / "other";
    MakeDirs(other);
    WriteFile(other + "/Keep.lnk", "a namesake in the next folder");
    list.SetReadDelay(300);
    list.SetDirectory(other);
    EXPECT_TRUE(list.RenameEdited(Row("Keep.lnk"), "Kept"));
    EXPECT_TRUE(Exists(dir + "/Kept.lnk"));
    EXPECT_EQ(ReadFile(other + "/Keep.lnk"), "a namesake in the next folder");
    EXPECT_FALSE(Exists(other + "/Kept.lnk"));
    list.SetReadDelay(0);
    list.SetDirectory(dir);

    // A folder without a dot keeps the name as typed.
    EXPECT_TRUE(list.RenameEdited(Row("Plain"), "Renamed.d"));
    EXPECT_TRUE(Exists(dir + "/Renamed.d"));
    // Every accepted edit asks for a read, so a failed one shows the old name again.
    EXPECT_TRUE(list.ReadPending() || list.ReadDelay() == 0);
}

TEST_F(ShortcutListTest, ReadingTheSameFolderAgainKeepsTheSelectionByName)
{
    for (const char* name : {"a.lnk", "b.lnk", "c.lnk", "d.lnk"})
        WriteLink(dir + "/" + name, env / "targets/present.txt");
    Read();
    Select({Row("b.lnk"), Row("d.lnk")});
    list.selectionModel()->setCurrentIndex(list.model()->index(Row("d.lnk"), 0), QItemSelectionModel::NoUpdate);
    // Renamed to sort first: the row moves and stays selected and current.
    ASSERT_TRUE(list.RenameEdited(Row("d.lnk"), "0 first"));
    list.ReadFolder();
    EXPECT_EQ(list.SelectedNames(), (std::vector<std::string>{"0 first.lnk", "b.lnk"}));
    EXPECT_EQ(list.currentIndex().row(), Row("0 first.lnk"));
    // A selected file deleted on disk is simply gone from the selection.
    ASSERT_EQ(::unlink((dir + "/b.lnk").c_str()), 0);
    list.ReadFolder();
    EXPECT_EQ(list.SelectedNames(), (std::vector<std::string>{"0 first.lnk"}));
    // Another folder starts with nothing selected.
    const std::string other = env / "other";
    MakeDirs(other);
    WriteLink(other + "/0 first.lnk", env / "targets/present.txt");
    Read(other);
    EXPECT_EQ(list.SelectedCount(), 0);
}

TEST_F(ShortcutListTest, ARereadPutsTheSelectionBackInRunsAndReportsItAfterItsStatus)
{
    for (const char* name : {"a.lnk", "b.lnk", "c.lnk", "d.lnk", "e.lnk", "f.lnk"})
        WriteLink(dir + "/" + name, env / "targets/present.txt");
    Read();
    Select({1, 2, 3, 5});
    // The window's status bar: the last report wins.
    std::vector<std::string> reports;
    QObject::connect(&list, &TwekShortcutListView::OnStatusChange, [&] { reports.push_back("status"); });
    QObject::connect(&list, &TwekShortcutListView::OnSelectionChange,
                     [&] { reports.push_back(std::to_string(list.SelectedCount()) + " selected"); });
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    list.SetReadDelay(5);
    list.RequestRead();
    ASSERT_TRUE(status.wait());
    EXPECT_EQ(reports, (std::vector<std::string>{"status", "4 selected"}));
    EXPECT_EQ(list.SelectedNames(), (std::vector<std::string>{"b.lnk", "c.lnk", "d.lnk", "f.lnk"}));
    EXPECT_EQ(list.selectionModel()->selection().size(), 2); // rows 1-3 and 5

    // A test's report is not followed by one of the selection.
    reports.clear();
    list.DoVerb("Test");
    EXPECT_EQ(reports, std::vector<std::string>{"status"});
}

TEST_F(ShortcutListTest, RenameUsesTheRealBytesOfANameThatIsNotUtf8)
{
    const std::string odd = "caf\xe9.lnk"; // Latin-1 bytes
    WriteLink(dir + "/" + odd, env / "targets/present.txt");
    Read();
    ASSERT_EQ(list.ItemName(0), odd);
    EXPECT_FALSE(list.ItemText(0, 0).isEmpty());
    // Editing keeps the undecodable part as it was; the old bytes are moved.
    QString text = list.ItemText(0, 0);
    text.insert(0, "My ");
    EXPECT_TRUE(list.RenameEdited(0, text));
    EXPECT_TRUE(Exists(dir + "/My caf\xe9.lnk"));
    EXPECT_FALSE(Exists(dir + "/" + odd));
}

TEST_F(ShortcutListTest, InPlaceEditAcceptsWithEnterAndCancelsWithEscape)
{
    WriteLink(dir + "/Old.lnk", env / "targets/present.txt");
    WriteLink(dir + "/Other.lnk", env / "targets/present.txt");
    Read();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    Select({Row("Old.lnk")});
    list.DoVerb("Rename");
    auto* editor = list.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("New");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return Exists(dir + "/New.lnk"); }));

    Select({Row("Other.lnk")});
    list.DoVerb("Rename");
    editor = list.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Changed");
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the closed editor
    EXPECT_TRUE(Exists(dir + "/Other.lnk"));
    EXPECT_FALSE(Exists(dir + "/Changed.lnk"));

    // Nothing selected: no edit starts.
    list.clearSelection();
    list.DoVerb("Rename");
    EXPECT_EQ(list.viewport()->findChild<QLineEdit*>(), nullptr);
}

TEST_F(ShortcutListTest, TestMarksShortcutsAndCountsFailuresOnlyDuringTheReport)
{
    MakeDirs(dir + "/Sub");
    WriteLink(dir + "/good.lnk", env / "targets/present.txt");
    WriteLink(dir + "/gone1.lnk", env / "targets/missing1");
    WriteLink(dir + "/gone2.lnk", env / "targets/missing2");
    WriteFile(dir + "/damaged.lnk", std::string("L\0\0\0garbage", 11));
    WriteUrl(dir + "/a.URL", "http://example.com/");
    WriteUrl(dir + "/b.url", "http://example.com/");
    Read();

    int failedInReport = -1;
    QObject::connect(&list, &TwekShortcutListView::OnStatusChange,
                     [&](TwekShortcutListView* sender) { failedInReport = sender->FailedCount(); });
    list.DoVerb("Test");
    EXPECT_EQ(failedInReport, 3);
    EXPECT_EQ(list.FailedCount(), 0);
    EXPECT_EQ(list.ItemStateIndex(Row("Sub")), -1);
    EXPECT_EQ(list.ItemStateIndex(Row("good.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("gone1.lnk")), 0);
    EXPECT_EQ(list.ItemStateIndex(Row("damaged.lnk")), 0);
    EXPECT_EQ(list.ItemStateIndex(Row("a.URL")), 2);
    EXPECT_EQ(list.ItemStateIndex(Row("b.url")), 2);

    // With a selection only the selected shortcut rows are tested; others keep their marks.
    WriteFile(env / "targets/missing1", "back again");
    ::unlink((env / "targets/present.txt").c_str());
    Select({Row("gone1.lnk"), Row("Sub")});
    list.DoVerb("Test");
    EXPECT_EQ(failedInReport, 0);
    EXPECT_EQ(list.ItemStateIndex(Row("gone1.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("good.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("gone2.lnk")), 0);

    // A read drops every mark.
    Read();
    for (int row = 0; row < list.ItemCount(); ++row)
        EXPECT_EQ(list.ItemStateIndex(row), -1);
}

TEST_F(ShortcutListTest, FailedRowsAreDrawnInBoldRed)
{
    WriteLink(dir + "/a-good.lnk", env / "targets/present.txt");
    WriteLink(dir + "/b-gone.lnk", env / "targets/missing");
    list.SetColumnSet("ab");
    Read();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    auto redPixelsIn = [&](int row) {
        const QImage image = list.viewport()->grab().toImage();
        const QRect rect = list.visualRect(list.model()->index(row, 1)); // the Type text
        int red = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = image.pixelColor(x * image.devicePixelRatio(), y * image.devicePixelRatio());
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                    ++red;
            }
        return red;
    };
    EXPECT_EQ(redPixelsIn(0), 0);
    EXPECT_EQ(redPixelsIn(1), 0);
    list.DoVerb("Test");
    QApplication::processEvents();
    EXPECT_EQ(redPixelsIn(0), 0);
    EXPECT_GT(redPixelsIn(1), 0);
}

TEST_F(ShortcutListTest, SelectionCommandsAndSelectedNamesInListOrder)
{
    MakeDirs(dir + "/Sub");
    for (const char* name : {"a.lnk", "b.lnk", "c.lnk"})
        WriteLink(dir + "/" + name, env / "targets/present.txt");
    Read();
    QSignalSpy selection(&list, &TwekShortcutListView::OnSelectionChange);
    Select({2, 0});
    EXPECT_GT(selection.count(), 0);
    EXPECT_EQ(list.SelectedNames(), (std::vector<std::string>{"Sub", "b.lnk"}));
    EXPECT_EQ(list.SelectedPaths(), (std::vector<std::string>{dir + "/Sub", dir + "/b.lnk"}));

    // Pointed at another folder whose read is still pending, the rows still name
    // their own files, never namesakes in the next folder.
    list.SetReadDelay(300);
    list.SetDirectory(env / "elsewhere");
    EXPECT_EQ(list.SelectedPaths(), (std::vector<std::string>{dir + "/Sub", dir + "/b.lnk"}));
    Read();
    Select({2, 0});

    list.DoVerb("InvertSelection");
    EXPECT_EQ(list.SelectedNames(), (std::vector<std::string>{"a.lnk", "c.lnk"}));
    list.DoVerb("SelectAll");
    EXPECT_EQ(list.SelectedCount(), 4);
    list.DoVerb("selectall"); // names are exact
    list.DoVerb("");
    list.DoVerb("test");
    EXPECT_EQ(list.ItemStateIndex(1), -1);
}

TEST_F(ShortcutListTest, NewFolderNumbersATakenNameAndOpensTheNewOneForRenaming)
{
    Read();
    list.DoVerb("NewFolder");
    list.DoVerb("NewFolder");
    struct stat st;
    ASSERT_EQ(::stat((dir + "/New Folder").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    list.ReadFolder();
    EXPECT_EQ(Names(), (std::vector<std::string>{"New Folder", "New Folder (2)"}));
    EXPECT_EQ(list.SelectedNames(), std::vector<std::string>{"New Folder (2)"});
    ASSERT_TRUE(WaitFor([&] { return list.viewport()->findChild<QLineEdit*>() != nullptr; }));
    EXPECT_EQ(list.viewport()->findChild<QLineEdit*>()->text(), "New Folder (2)");
}

TEST_F(ShortcutListTest, DropHighlightTakesOnlyFolderRowsAndAReadClearsIt)
{
    MakeDirs(dir + "/Sub");
    WriteLink(dir + "/a.lnk", env / "targets/present.txt");
    Read();
    const auto highlighted = [&](int row) {
        return list.model()->index(row, 0).data(TShortcutListModel::DropHighlightRole).toBool();
    };
    list.SetDropHighlightRow(0);
    EXPECT_EQ(list.DropHighlightRow(), 0);
    EXPECT_TRUE(highlighted(0));
    list.SetDropHighlightRow(1); // a shortcut row is never a drop target
    EXPECT_EQ(list.DropHighlightRow(), -1);
    EXPECT_FALSE(highlighted(0));
    EXPECT_FALSE(highlighted(1));
    list.SetDropHighlightRow(0);
    Read();
    EXPECT_EQ(list.DropHighlightRow(), -1);
}

} // namespace
