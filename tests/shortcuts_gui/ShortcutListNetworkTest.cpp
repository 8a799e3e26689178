// The shortcut list on network mounts: what might wait on a server is read and
// tested off the window's thread, a mount that does not answer is named and its links
// stay untested, and a read waiting on one can be given up.
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>

#include "platform/shell/Volumes.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"
#include "tests/support/HangingMount.h"

using listtest::WriteLink;
using listtest::WriteUrl;
using testsupport::MakeDirs;
using testsupport::WriteFile;

namespace {

class ShortcutListNetworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = env / "folder";
        MakeDirs(dir);
        MakeDirs(env / "net");
        WriteFile(env / "present.txt", "here");
        list.SetColumnSet("abc");
        list.SetReadDelay(0);
        list.SetNetworkWait(200);
    }
    int Row(const std::string& name) const
    {
        for (int i = 0; i < list.ItemCount(); ++i)
            if (list.ItemName(i) == name)
                return i;
        return -1;
    }
    // Reads at once, the way the read timer does.
    void Read(const std::string& folder)
    {
        list.SetReadDelay(0);
        list.SetDirectory(folder);
        list.ReadFolder();
    }

    listtest::PrivateEnvironment env;
    std::string dir;
    TwekShortcutListView list;
};

// What the window's status bar would take from a report.
struct Report {
    int failed = -1;
    std::string unanswered;
    int readError = -1;
};

void WatchReports(TwekShortcutListView& list, std::vector<Report>& reports)
{
    QObject::connect(&list, &TwekShortcutListView::OnStatusChange, [&](TwekShortcutListView* sender) {
        reports.push_back({sender->FailedCount(), sender->UnansweredMount(), sender->ReadError()});
    });
}

TEST_F(ShortcutListNetworkTest, AMountThatDoesNotAnswerNeverHoldsUpTheWindow)
{
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(env / "net", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    WriteLink(dir + "/good.lnk", env / "present.txt");
    WriteLink(dir + "/gone.lnk", env / "absent.txt");
    WriteLink(dir + "/far.lnk", env / "net/share/tool.exe");
    ASSERT_EQ(::symlink((env / "net/share").c_str(), (dir + "/nas").c_str()), 0);

    // The read neither looks through the folder link nor at the far link's target.
    Read(dir);
    EXPECT_EQ(list.FolderCount(), 1);
    EXPECT_EQ(list.ItemName(0), "nas");
    ASSERT_EQ(list.ItemCount(), 4);
    EXPECT_EQ(mount->RequestCount(), 0);

    std::vector<Report> reports;
    WatchReports(list, reports);
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    list.DoVerb("Test");
    // Back at once: the local links are marked, the far one is being asked elsewhere.
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(list.Busy());
    EXPECT_EQ(list.viewport()->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(list.ItemStateIndex(Row("good.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("gone.lnk")), 0);
    EXPECT_TRUE(mount->WaitForRequests(1));

    ASSERT_TRUE(status.wait());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].failed, 1);
    EXPECT_EQ(reports[0].unanswered, env / "net");
    EXPECT_EQ(list.ItemStateIndex(Row("far.lnk")), -1);
    EXPECT_EQ(list.UnansweredMount(), ""); // only during the report
    EXPECT_FALSE(list.Busy());
    EXPECT_EQ(list.viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ShortcutListNetworkTest, AFolderOnAMountThatDoesNotAnswerCanBeGivenUp)
{
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(env / "net", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    WriteLink(dir + "/a.lnk", env / "present.txt");
    std::vector<Report> reports;
    WatchReports(list, reports);

    Read(env / "net/share");
    EXPECT_TRUE(list.Busy());
    EXPECT_EQ(list.viewport()->cursor().shape(), Qt::BusyCursor);
    EXPECT_TRUE(mount->WaitForRequests(1));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Escape);
    EXPECT_FALSE(list.Busy());
    EXPECT_EQ(list.viewport()->cursor().shape(), Qt::ArrowCursor);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].readError, ECANCELED);

    // Choosing another folder gives the read up as well.
    Read(env / "net/share");
    ASSERT_TRUE(list.Busy());
    Read(dir);
    EXPECT_FALSE(list.Busy());
    EXPECT_EQ(list.ItemName(0), "a.lnk");
}

// Coming back to a folder on a mount whose read was left long ago (any time is long
// with no patience) is answered at once: the mount is named, and it is not asked again.
TEST_F(ShortcutListNetworkTest, ComingBackToAMountThatDoesNotAnswerIsAnsweredAtOnce)
{
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(env / "net", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    const testsupport::NoPatience noPatience;
    Read(env / "net/share");
    ASSERT_TRUE(mount->WaitForRequests(1));
    Read(dir);
    std::vector<Report> reports;
    WatchReports(list, reports);

    Read(env / "net/share");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list.Busy(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].unanswered, env / "net");
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(mount->RequestCount(), 1);
}

// A mount table that calls a local folder an NFS share: a network mount that answers.
class AnsweringShare {
public:
    explicit AnsweringShare(const std::string& point) : table_(point + ".mountinfo")
    {
        std::ofstream(table_) << "20 1 0:20 / / rw - ext4 /dev/vda rw\n"
                              << "21 20 0:21 / " << point << " rw - nfs4 server:/export rw\n";
        platform::shell::SetMountTablePath(table_);
    }
    ~AnsweringShare()
    {
        platform::shell::SetMountTablePath("");
        ::unlink(table_.c_str());
    }

private:
    std::string table_;
};

TEST_F(ShortcutListNetworkTest, OnAShareThatAnswersTheListReadsAndTestsAsEverywhere)
{
    const AnsweringShare share(env / "net");
    const std::string remote = env / "net/links";
    MakeDirs(remote + "/Sub");
    WriteLink(remote + "/good.lnk", env / "present.txt");
    WriteLink(remote + "/gone.lnk", env / "absent.txt");
    WriteUrl(remote + "/site.url", "http://example.com/");
    WriteFile(env / "net/target.txt", "on the share");
    WriteLink(dir + "/far.lnk", env / "net/target.txt");
    WriteLink(dir + "/far-gone.lnk", env / "net/absent.txt");
    std::vector<Report> reports;
    WatchReports(list, reports);
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);

    // The read of a folder on the share comes back when it is done.
    list.SetReadDelay(1);
    list.SetDirectory(remote);
    ASSERT_TRUE(status.wait());
    ASSERT_EQ(list.ItemCount(), 4);
    EXPECT_EQ(list.FolderCount(), 1);
    EXPECT_EQ(list.ItemText(Row("good.lnk"), 2).toStdString(), "present.txt");
    EXPECT_EQ(reports.back().readError, 0);

    // Its links, and local links to files on the share, are tested as any other.
    list.DoVerb("Test");
    ASSERT_TRUE(status.wait());
    EXPECT_EQ(reports.back().failed, 1);
    EXPECT_EQ(reports.back().unanswered, "");
    EXPECT_EQ(list.ItemStateIndex(Row("good.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("gone.lnk")), 0);
    EXPECT_EQ(list.ItemStateIndex(Row("site.url")), 2);
    Read(dir);
    list.DoVerb("Test");
    ASSERT_TRUE(status.wait());
    EXPECT_EQ(reports.back().failed, 1);
    EXPECT_EQ(list.ItemStateIndex(Row("far.lnk")), 1);
    EXPECT_EQ(list.ItemStateIndex(Row("far-gone.lnk")), 0);
}

// The server goes away after the folder was read: a rename or New Folder gives up
// after the wait, names the mount, and changes nothing.
TEST_F(ShortcutListNetworkTest, ARenameOrNewFolderOnAShareThatStoppedAnsweringIsGivenUp)
{
    const AnsweringShare share(env / "net");
    const std::string remote = env / "net/links";
    MakeDirs(remote);
    WriteLink(remote + "/a.lnk", env / "present.txt");
    QSignalSpy status(&list, &TwekShortcutListView::OnStatusChange);
    Read(remote);
    ASSERT_TRUE(status.wait());
    ASSERT_EQ(list.ItemCount(), 1);

    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(env / "net", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    std::vector<Report> reports;
    WatchReports(list, reports);
    list.SetReadDelay(60000); // a read it asked for would show as pending
    EXPECT_FALSE(list.RenameEdited(0, "b"));
    EXPECT_EQ(list.ItemName(0), "a.lnk");
    list.DoVerb("NewFolder");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].unanswered, env / "net");
    EXPECT_EQ(reports[1].unanswered, env / "net");
    EXPECT_FALSE(list.ReadPending());
    EXPECT_TRUE(mount->WaitForRequests(1));
}

} // namespace
