// The folder watcher in the main window: changes made by other programs reach the
// list and the tree on their own, a name being typed survives them, and a folder the
// watcher is refused is still shown, its message waiting for the window.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/Unit1.h"
#include "dirwatch/dirnotify.h"
#include "foldertree/SystemTreeView.h"
#include "platform/shell/Volumes.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/HeldMountQueue.h"

using listtest::WaitFor;
using testsupport::MakeDirs;

namespace {

constexpr const char* kMakeUrl = "printf '[InternetShortcut]\\r\\nURL=https://example.com/\\r\\n' > ";

class FolderWatchJoinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(env / "last/Inner");
        listtest::WriteLink(env / "last/one.lnk", env / "last");
    }
    // A change made by another program: a shell of its own, given the folder as $1.
    static void Outside(const std::string& script, const std::string& folder)
    {
        ASSERT_EQ(QProcess::execute("/bin/sh", {"-c", QString::fromStdString(script), "sh",
                                                QString::fromStdString(folder)}),
                  0);
    }
    static bool Lists(const TwekShortcutListView* list, const std::string& name)
    {
        for (int row = 0; row < list->ItemCount(); ++row)
            if (list->ItemName(row) == name)
                return true;
        return false;
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
    static void ShowActive(TForm1& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    listtest::PrivateEnvironment env;
};

TEST_F(FolderWatchJoinTest, AFileAndAFolderMadeByAnotherProgramShowInTheListAndTheTree)
{
    TForm1 w({env / "last"});
    TwekShortcutListView* list = w.ShortcutList();
    TdfsSystemTreeView* tree = w.dfsTV();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 2; }));
    tree->ExpandNode(tree->Selected());
    ASSERT_TRUE(w.DirNotify1()->Watching());

    Outside(std::string("mkdir \"$1/Made\" && ") + kMakeUrl + "\"$1/made.url\"", env / "last");
    EXPECT_TRUE(WaitFor([&] { return Lists(list, "Made") && Lists(list, "made.url"); }));
    EXPECT_TRUE(WaitFor([&] { return Child(tree->Selected(), "Made") != nullptr; }));
}

TEST_F(FolderWatchJoinTest, ANameBeingTypedInTheListSurvivesAChangeInItsFolder)
{
    TForm1 w({env / "last"});
    TwekShortcutListView* list = w.ShortcutList();
    ShowActive(w);
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 2 && !list->ReadPending(); }));
    list->setFocus();
    list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    list->DoVerb("Rename");
    const QPointer<QLineEdit> editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("typed");

    Outside(std::string(kMakeUrl) + "\"$1/fresh.url\"", env / "last");
    ASSERT_TRUE(WaitFor([&] { return list->ReadDeferred(); }));
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "typed");

    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return Lists(list, "typed.lnk") && Lists(list, "fresh.url"); }));
    EXPECT_FALSE(Lists(list, "one.lnk"));
    EXPECT_EQ(::access((env / "last/typed.lnk").c_str(), F_OK), 0);
}

TEST_F(FolderWatchJoinTest, ANameBeingTypedInTheTreeSurvivesAChangeInTheFolder)
{
    TForm1 w({env / "last/Inner"});
    TdfsSystemTreeView* tree = w.dfsTV();
    ShowActive(w);
    tree->ExpandNode(tree->Selected());
    tree->setFocus();
    ASSERT_TRUE(tree->StartEditing(tree->Selected()));
    const QPointer<QLineEdit> editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("Renamed");

    Outside("mkdir \"$1/Made\"", env / "last/Inner");
    ASSERT_TRUE(WaitFor([&] { return w.BranchRebuildDeferred(); }));
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Renamed");

    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return Child(tree->Selected(), "Made") != nullptr; }));
    EXPECT_EQ(tree->Selection(), env / "last/Renamed");
    EXPECT_EQ(w.ShortcutList()->Directory(), env / "last/Renamed/");
    EXPECT_TRUE(WaitFor([&] { return Lists(w.ShortcutList(), "Made"); }));
}

TEST_F(FolderWatchJoinTest, AFolderTheWatcherIsRefusedIsShownAndItsMessageWaitsForTheWindow)
{
    // A folder its user may not read cannot be watched. Root reads everything, so
    // as root the folder is chosen with this thread's file access checked as
    // another user's (the kernel keeps the file-system user per thread).
    MakeDirs(env / "locked");
    ASSERT_EQ(::chmod((env / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod(env.Path().c_str(), 0755), 0);
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(app);
    QStringList shown;
    app->SetErrorPresenter([&](const QString& message) { shown << message; });

    TForm1 w({env / "last"});
    w.dfsTV()->OnError = [](const QString&) {};
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
    const int before = ::setfsuid(user);
    w.SetTreeSelection(env / "locked");
    ::setfsuid(static_cast<uid_t>(before));

    EXPECT_EQ(w.ShortcutList()->Directory(), env / "locked/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmere - " + env / "locked");
    EXPECT_TRUE(w.DirNotify1()->Enabled());
    EXPECT_FALSE(w.DirNotify1()->Watching());
    ASSERT_TRUE(WaitFor([&] { return !w.ShortcutList()->ReadPending(); }));
    EXPECT_TRUE(shown.isEmpty()) << "a box before the window";

    w.show();
    EXPECT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, QStringList{QString::fromLocal8Bit(std::strerror(EACCES))});
    app->SetErrorPresenter({});
}

// A share that stopped answering: the tree cannot read it and the watcher cannot
// watch it, and the user hears of both through the program's one error route.
TEST_F(FolderWatchJoinTest, TreeAndWatcherFailuresOnAShareThatDoesNotAnswerReachTheErrorRoute)
{
    const std::string share = env / "share";
    MakeDirs(share + "/docs");
    testsupport::WriteFile(env / "mountinfo", "26 1 254:0 / / rw - ext4 /dev/vda rw\n40 26 0:40 / " + share +
                                                  " rw - nfs4 server:/export rw\n");
    platform::shell::SetMountTablePath(env / "mountinfo");
    const std::shared_ptr<void> localAgain(nullptr, [](void*) { platform::shell::SetMountTablePath(""); });
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(app);
    QStringList shown;
    app->SetErrorPresenter([&](const QString& message) { shown << message; });
    const std::shared_ptr<void> boxesAgain(nullptr, [app](void*) { app->SetErrorPresenter({}); });

    TForm1 w({env / "last"});
    w.show();
    testsupport::HeldMountQueue held(share);
    held.Silence();
    w.SetTreeSelection(share);
    TdfsSystemTreeView* tree = w.dfsTV();
    ASSERT_EQ(tree->Selection(), share);
    tree->ExpandNode(tree->Selected());

    const QString watcher = QString::fromLocal8Bit(std::strerror(ETIMEDOUT));
    const QString reader = QString::fromStdString(share) + " does not answer";
    EXPECT_TRUE(WaitFor([&] { return shown.contains(watcher) && shown.contains(reader); }))
        << shown.join("; ").toStdString();
}

} // namespace
