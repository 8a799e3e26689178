// Drags between the main window and Thunar under Xvfb, with the pointer driven by
// xdotool from a process of its own (a drag out of the list runs a nested event loop
// on this thread): files from Thunar dropped on a subfolder row of the list and on a
// node of the tree reach the shell's verbs, and a row of the list dropped in Thunar
// lands in Thunar's folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "foldertree/SystemTreeView.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/app/DropTestSupport.h"
#include "tests/interop/Interop.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;
using platform::verbs::PasteMode;

namespace {

QString Shell(const QString& command, int timeoutMs = 30000)
{
    QProcess p;
    p.start("sh", {"-c", command});
    p.waitForFinished(timeoutMs);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Presses at `from`, moves to `to` in steps, rests there, releases; `tick` runs on
// this thread meanwhile (the program's window lives here).
void DragWithPointer(QPoint from, QPoint to, const std::function<void()>& tick)
{
    const QString script = QString("xdotool mousemove %1 %2; sleep 0.3; xdotool mousedown 1; sleep 0.3;"
                                   "for i in $(seq 1 20); do xdotool mousemove $((%1 + (%3 - %1) * i / 20)) "
                                   "$((%2 + (%4 - %2) * i / 20)); sleep 0.08; done;"
                                   "for i in 1 2 3 4; do xdotool mousemove $((%3 + i)) %4; sleep 0.25; done;"
                                   "xdotool mouseup 1")
                               .arg(from.x())
                               .arg(from.y())
                               .arg(to.x())
                               .arg(to.y());
    QProcess pointer;
    pointer.start("sh", {"-c", script});
    QElapsedTimer clock;
    clock.start();
    while (pointer.state() != QProcess::NotRunning && clock.elapsed() < 30000) {
        QTest::qWait(20);
        tick();
    }
    QTest::qWait(300);
}

// The middle of the first item Thunar shows selected (top-most, then left-most),
// found on the screen: a selected item is a tile filled with the theme's selection
// colour, at least kTile pixels each way, which nothing else in the window is (the
// sidebar's icons are smaller, a selected row of the sidebar lower). So whatever
// Thunar draws above or beside its view (the bar it shows the root account, a
// toolbar, the sidebar) does not matter, and the point lies inside one item, never in
// the gap between two.
QPoint SelectedItemIn(const QRect& area)
{
    constexpr int kTile = 40;
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QRect inside = area.intersected(shot.rect());
    auto selected = [&](int x, int y) {
        return inside.contains(x, y) && (shot.pixel(x, y) & 0xFFFFFF) == (qRgb(0x35, 0x84, 0xE4) & 0xFFFFFF);
    };
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (!selected(x, y))
                continue;
            int right = x;
            while (selected(right + 1, y))
                ++right;
            // The tile's edges are the selection colour all the way down; its icon,
            // in the middle, is not. A column just inside the left edge measures it.
            int bottom = y;
            while (selected(x + 2, bottom + 1))
                ++bottom;
            if (right - x + 1 >= kTile && bottom - y + 1 >= kTile)
                return QPoint((x + right) / 2, (y + bottom) / 2);
            x = right;
        }
    return {};
}

} // namespace

TEST(ThunarDragTest, FilesCrossBetweenThunarAndTheWindow)
{
    if (!interop::skipReason.empty())
        GTEST_SKIP() << interop::skipReason;
    listtest::PrivateEnvironment env;
    testsupport::MakeDirs(env / "last/sub");
    testsupport::MakeDirs(env / "last/deep");
    listtest::WriteLink(env / "last/Notepad.lnk", env / "last");
    testsupport::MakeDirs(env / "outside");
    listtest::WriteLink(env / "outside/Hello.lnk", env / "outside");
    testsupport::WriteFile(env / "outside/readme.txt", "x");
    droptest::OpenOn(env / "last", 620, 500);
    auto pastes = std::make_shared<droptest::RecordedPastes>();
    platform::verbs::SetFileWork(pastes);

    TForm1 window;
    window.move(0, 0);
    window.resize(620, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TwekShortcutListView* list = window.ShortcutList();
    TdfsSystemTreeView* tree = window.dfsTV();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 3; }));
    ASSERT_TRUE(tree->Selected());
    tree->ExpandNode(tree->Selected());
    TFolderNode* deep = nullptr;
    for (const auto& child : tree->Selected()->Children)
        if (child->Text == "deep")
            deep = child.get();
    ASSERT_TRUE(deep);
    tree->scrollTo(tree->IndexOf(deep));

    interop::Spawned thunar({"dbus-run-session", "--", "thunar", env / "outside"});
    const QString thunarWindow =
        Shell("timeout 30 xdotool search --sync --onlyvisible --name '^outside - Thunar$' | head -1");
    ASSERT_FALSE(thunarWindow.isEmpty()) << "Thunar's window did not show";
    Shell(QString("xdotool windowmove %1 650 0 windowsize %1 620 500").arg(thunarWindow));
    QTest::qWait(1000);
    const QRect thunarArea(650, 0, 620, 500);
    const QPoint thunarEmpty(650 + 450, 420);
    auto selectAllInThunar = [&] {
        Shell(QString("xdotool mousemove %1 %2 click 1; xdotool windowfocus %3; sleep 0.3; xdotool key ctrl+a; "
                      "sleep 0.5")
                  .arg(thunarEmpty.x())
                  .arg(thunarEmpty.y())
                  .arg(thunarWindow));
        QPoint item;
        WaitFor([&] { return !(item = SelectedItemIn(thunarArea)).isNull(); });
        return item;
    };
    const std::vector<std::string> fromThunar = {env / "outside/Hello.lnk", env / "outside/readme.txt"};

    // Thunar's files onto the list's subfolder row: a text file among them, so
    // shortcuts are made.
    QPoint item = selectAllInThunar();
    ASSERT_FALSE(item.isNull()) << "no selected item found in Thunar's window";
    int sub = -1;
    for (int row = 0; row < list->FolderCount(); ++row)
        if (list->ItemName(row) == "sub")
            sub = row;
    ASSERT_GE(sub, 0);
    const QRect subRect = list->visualRect(list->model()->index(sub, 0));
    bool rowHighlighted = false;
    DragWithPointer(item, list->viewport()->mapToGlobal(subRect.center() + QPoint(120, 0)),
                    [&] { rowHighlighted = rowHighlighted || list->DropHighlightRow() == sub; });
    EXPECT_TRUE(rowHighlighted);
    ASSERT_TRUE(WaitFor([&] { return !pastes->log.empty(); })) << "no drop reached the list";
    EXPECT_EQ(pastes->log.back().sources, fromThunar);
    EXPECT_EQ(pastes->log.back().folder, env / "last/sub");
    EXPECT_EQ(pastes->log.back().mode, PasteMode::Shortcuts);
    EXPECT_EQ(list->DropHighlightRow(), -1);

    // The same onto a node of the tree.
    pastes->log.clear();
    item = selectAllInThunar();
    ASSERT_FALSE(item.isNull());
    bool nodeHighlighted = false;
    // The tree's column is as wide as its longest name: the node's row reaches past
    // the pane, and its visible part is where the pointer can find it.
    const QRect deepShown = tree->visualRect(tree->IndexOf(deep)).intersected(tree->viewport()->rect());
    ASSERT_FALSE(deepShown.isEmpty());
    DragWithPointer(item, tree->viewport()->mapToGlobal(deepShown.center()),
                    [&] { nodeHighlighted = nodeHighlighted || tree->DropTarget() == deep; });
    EXPECT_TRUE(nodeHighlighted);
    ASSERT_TRUE(WaitFor([&] { return !pastes->log.empty(); })) << "no drop reached the tree";
    EXPECT_EQ(pastes->log.back().sources, fromThunar);
    EXPECT_EQ(pastes->log.back().folder, env / "last/deep");
    EXPECT_EQ(tree->DropTarget(), nullptr);

    // A row of the list into Thunar's folder: Thunar does the work.
    int notepad = -1;
    for (int row = 0; row < list->ItemCount(); ++row)
        if (list->ItemName(row) == "Notepad.lnk")
            notepad = row;
    ASSERT_GE(notepad, 0);
    const QPoint rowPoint =
        list->viewport()->mapToGlobal(list->visualRect(list->model()->index(notepad, 0)).center());
    DragWithPointer(rowPoint, thunarEmpty, [] {});
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(env / "outside/Notepad.lnk"); }, 10000));
    platform::verbs::SetFileWork(nullptr);
}
