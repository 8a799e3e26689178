// Cut, copy and paste between the main window and Thunar under Xvfb, with the real
// X clipboard and the real file jobs: a file copied in Thunar is pasted into the
// window's folder, then cut in the window and pasted in Thunar, which moves it. The
// X clipboard's data is served by its owner, so the window keeps this thread's
// event loop running until Thunar has pasted.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/verbs/FileOperationWork.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/app/DropTestSupport.h"
#include "tests/interop/Interop.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;

namespace {

// Runs a shell command while this thread goes on serving its windows and the
// clipboard it owns (xclip asks this process for what it offers); its output.
QString Sh(const QString& command)
{
    QProcess p;
    p.start("sh", {"-c", command});
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 30000)
        QTest::qWait(20);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString Clipboard(const char* target) { return Sh(QString("xclip -selection clipboard -t '%1' -o").arg(target)); }

// Gives a window the keyboard, as a click on it would.
void Focus(const QString& window) { Sh("xdotool windowfocus --sync " + window); }

QString ThunarWindow(const std::string& folderName)
{
    return Sh(QString("timeout 30 xdotool search --sync --onlyvisible --name '^%1 - Thunar$' | head -1")
                   .arg(QString::fromStdString(folderName)))
        .trimmed();
}

int RowOf(const TwekShortcutListView& list, const std::string& name)
{
    for (int row = 0; row < list.ItemCount(); ++row)
        if (list.ItemName(row) == name)
            return row;
    return -1;
}

} // namespace

TEST(ThunarClipboardTest, CopiedInThunarPastesHereCutHereMovesWhenThunarPastes)
{
    if (!interop::skipReason.empty())
        GTEST_SKIP() << interop::skipReason;
    if (QStandardPaths::findExecutable("xclip").isEmpty())
        GTEST_SKIP() << "xclip not installed (Debian: xclip)";
    listtest::PrivateEnvironment env;
    const std::string thunarFrom = env / "from-thunar", here = env / "here", thunarInto = env / "into-thunar";
    for (const std::string& dir : {thunarFrom, here, thunarInto})
        testsupport::MakeDirs(dir);
    const std::string name = "copied \xC3\xA9.url";
    listtest::WriteUrl(thunarFrom + "/" + name, "https://example.org/");
    const std::string bytes = testsupport::ReadFile(thunarFrom + "/" + name);
    droptest::OpenOn(here, 620, 500);
    platform::verbs::SetFileWork(std::make_shared<platform::verbs::FileOperationWork>());

    TForm1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TwekShortcutListView* list = window.ShortcutList();
    const QString ours = Sh("timeout 30 xdotool search --sync --onlyvisible --name '^Quillmere - ' | head -1").trimmed();
    ASSERT_FALSE(ours.isEmpty());

    // Copy in Thunar: it owns the clipboard once it offers the file, with the URI
    // built as ours is.
    {
        interop::Spawned thunar({"dbus-run-session", "--", "thunar", thunarFrom});
        const QString thunarWindow = ThunarWindow("from-thunar");
        ASSERT_FALSE(thunarWindow.isEmpty()) << "Thunar's window did not show";
        Focus(thunarWindow);
        Sh("xdotool key --clearmodifiers ctrl+a ctrl+c");
        const QString copied = "copy\n" + QString::fromUtf8(platform::clipboard::FileUri(thunarFrom + "/" + name));
        ASSERT_TRUE(WaitFor([&] { return Clipboard("x-special/gnome-copied-files") == copied; }, 10000))
            << "Thunar offers: " << Clipboard("TARGETS").toStdString();
        const QString offered = Clipboard("TARGETS");
        EXPECT_TRUE(offered.contains("text/uri-list")) << offered.toStdString();

        // Ctrl+V here: a file job copies it, and the folder watcher shows it.
        Focus(ours);
        Sh("xdotool key --clearmodifiers ctrl+v");
        ASSERT_TRUE(WaitFor([&] { return RowOf(*list, name) >= 0; }, 20000)) << "the paste did not arrive";
        EXPECT_EQ(testsupport::ReadFile(here + "/" + name), bytes);
        EXPECT_TRUE(std::filesystem::exists(thunarFrom + "/" + name)) << "a copy took the original away";
    }

    // Cut here: the row is ghosted and the clipboard offers every form.
    ASSERT_TRUE(WaitFor([&] { return window.isActiveWindow(); }));
    list->setFocus();
    list->clearSelection();
    list->selectionModel()->select(list->model()->index(RowOf(*list, name), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Sh("xdotool key --clearmodifiers ctrl+x");
    EXPECT_TRUE(list->ItemCut(RowOf(*list, name)));
    const QString cut = "cut\n" + QString::fromUtf8(platform::clipboard::FileUri(here + "/" + name));
    ASSERT_EQ(Clipboard("x-special/gnome-copied-files"), cut);
    const QString offered = Clipboard("TARGETS");
    for (const char* target : {"text/uri-list", "x-special/gnome-copied-files", "application/x-kde-cutselection",
                               "text/plain", "application/x-qt-windows-mime;value=\"Preferred DropEffect\""})
        EXPECT_TRUE(offered.contains(target)) << target << " missing from " << offered.toStdString();
    EXPECT_EQ(Clipboard("application/x-kde-cutselection"), "1");

    // Ctrl+V in Thunar moves it; this window serves the clipboard meanwhile.
    interop::Spawned thunar({"dbus-run-session", "--", "thunar", thunarInto});
    const QString thunarWindow = ThunarWindow("into-thunar");
    ASSERT_FALSE(thunarWindow.isEmpty()) << "Thunar's window did not show";
    Focus(thunarWindow);
    Sh("xdotool key --clearmodifiers ctrl+v");
    EXPECT_TRUE(WaitFor(
        [&] { return std::filesystem::exists(thunarInto + "/" + name) && !std::filesystem::exists(here + "/" + name); },
        20000))
        << "Thunar did not move the file";
    EXPECT_EQ(testsupport::ReadFile(thunarInto + "/" + name), bytes);
    EXPECT_TRUE(WaitFor([&] { return RowOf(*list, name) < 0; })) << "the moved row stayed";
    platform::verbs::SetFileWork(nullptr);
}
