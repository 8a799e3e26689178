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

// The middle of Thunar's selected item: its label is the one broad band of the
// theme's selection colour in the window.
QPoint SelectedItemIn(const QRect& area)
{
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QRgb selection = qRgb(0x35, 0x84, 0xE4);
    int bandTop = -1, bandRows = 0, sumX = 0, count = 0;
    for (int y = area.top(); y <= area.bottom() && y < shot.height(); ++y) {
        int inRow = 0, rowSumX = 0;
        for (int x = area.left(); x <= area.right() && x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) == (selection & 0xFFFFFF))
                ++inRow, rowSumX += x;
        if (inRow >= 20) {
            if (bandTop < 0)
                bandTop = y;
            ++bandRows;
            sumX += rowSumX;
            count += inRow;
        } else if (bandRows >= 8) {
            break;
        } else {
            bandTop = -1, bandRows = 0, sumX = 0, count = 0;
        }
    }
    return bandRows >= 8 ? QPoint(sumX / count, bandTop + bandRows / 2) : QPoint();
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
        QTest::qWait(300);
        return SelectedItemIn(thunarArea.adjusted(0, 60, 0, 0));
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
    DragWithPointer(item, tree->viewport()->mapToGlobal(tree->visualRect(tree->IndexOf(deep)).center()),
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
