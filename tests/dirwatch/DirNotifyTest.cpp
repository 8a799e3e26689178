// The folder watcher as its owner sees it: setters that restart, notifications on the
// owner's thread, and stops that never deadlock with a notification being handed over.
// Tests wait for what they expect by running the event loop; the limit on a wait is
// a guard against a hang, never a measure.
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "dirwatch/NotificationThread.h"
#include "dirwatch/dirnotify.h"
#include "tests/support/HangingMount.h"
#include "tests/support/TestSupport.h"

using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Runs the event loop until `done` holds; false when it never did.
bool SpinUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer guard(30000);
    while (!done()) {
        if (guard.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

class DirNotifyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qm_tests_dirwatch";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override
    {
        notify_->OnChange = [this](TDirNotify* sender) {
            EXPECT_EQ(sender, notify_.get());
            ++changes_;
            // A copy: a handler may replace itself.
            if (const std::function<void()> handler = onChange_)
                handler();
        };
    }

    void TearDown() override
    {
        notify_.reset();
        EXPECT_EQ(TNotificationThread::Running(), 0);
    }

    // Watches `path` and returns once the watch is set up: the worker walks the
    // subtree before it waits, so a change in the folder itself comes after the walk.
    void Watch(const std::string& path, bool subtree = true, TNotifyFilters filter = {nfFileName, nfDirName})
    {
        notify_->SetPath(path);
        notify_->SetWatchSubTree(subtree);
        notify_->SetFilter(filter);
        notify_->SetEnabled(true);
        const int before = changes_;
        MakeFile(path);
        ASSERT_TRUE(SpinUntil([&] { return changes_ > before; }));
    }

    // Makes a new file in `dir`: a change of its file names.
    void MakeFile(const std::string& dir) { WriteFile(dir + "/new" + std::to_string(++made_), ""); }

    TempDir tmp_;
    std::unique_ptr<TDirNotify> notify_ = std::make_unique<TDirNotify>();
    int changes_ = 0;
    int made_ = 0;
    std::function<void()> onChange_;
};

} // namespace

TEST_F(DirNotifyTest, ASetterRestartsTheWatchOnlyWhenItsValueDiffers)
{
    const std::string dir = tmp_ / "Watched";
    MakeDirs(dir);
    Watch(dir);
    // With the folder gone every restart fails, so a setter that does not throw did
    // not restart.
    std::filesystem::remove_all(dir);

    struct Case {
        const char* what;
        std::function<void()> set;
        bool restarts;
    };
    const Case cases[] = {
        {"Enabled as it is", [&] { notify_->SetEnabled(true); }, false},
        {"Path as it is", [&] { notify_->SetPath(dir); }, false},
        {"WatchSubTree as it is", [&] { notify_->SetWatchSubTree(true); }, false},
        {"Filter as it is", [&] { notify_->SetFilter({nfDirName, nfFileName}); }, false},
        {"Path in other letter case", [&] { notify_->SetPath(tmp_ / "WATCHED"); }, true},
        {"Path with a trailing separator", [&] { notify_->SetPath(dir + "/"); }, true},
        {"WatchSubTree changed", [&] { notify_->SetWatchSubTree(false); }, true},
        {"Filter changed", [&] { notify_->SetFilter({nfFileName}); }, true},
    };
    for (const Case& c : cases) {
        if (c.restarts) {
            EXPECT_THROW(c.set(), EDirNotify) << c.what;
            EXPECT_FALSE(notify_->Watching()) << c.what;
        } else {
            EXPECT_NO_THROW(c.set()) << c.what;
            EXPECT_TRUE(notify_->Watching()) << c.what;
        }
    }
    EXPECT_TRUE(notify_->Enabled());
}

TEST_F(DirNotifyTest, AFolderThePlatformRefusesThrowsTheSystemsMessageAndLeavesTheNotifierIdle)
{
    WriteFile(tmp_ / "file", "x");
    const std::pair<std::string, int> cases[] = {{tmp_ / "missing", ENOENT}, {tmp_ / "file", ENOTDIR}, {"", 0}};
    for (const auto& [path, error] : cases) {
        TDirNotify notify;
        notify.SetPath(path);
        if (error) {
            try {
                notify.SetEnabled(true);
                ADD_FAILURE() << path << ": no error";
            } catch (const EDirNotify& e) {
                EXPECT_STREQ(e.what(), std::strerror(error)) << path;
            }
        } else {
            EXPECT_NO_THROW(notify.SetEnabled(true)) << "an empty path is no error";
        }
        EXPECT_TRUE(notify.Enabled()) << path;
        EXPECT_FALSE(notify.Watching()) << path;
        EXPECT_EQ(TNotificationThread::Running(), 0) << path;
    }
}

TEST_F(DirNotifyTest, AFileMadeInAFolderMadeAMomentBeforeIsSeenWithTheSubtreeSwitch)
{
    MakeDirs(tmp_ / "sub");
    Watch(tmp_.Path(), true, {nfFileName});
    // Only the file can raise a change here: folders are not in the filter.
    const int before = changes_;
    MakeDirs(tmp_ / "sub/new");
    WriteFile(tmp_ / "sub/new/file", "x");
    EXPECT_TRUE(SpinUntil([&] { return changes_ > before; }));
}

TEST_F(DirNotifyTest, ABurstGivesFewNotificationsAndOneAfterTheLastChange)
{
    Watch(tmp_.Path());
    // The burst comes while the first notification is being delivered, so the
    // worker, re-armed before it, is waiting until the burst is over.
    constexpr int kFiles = 300;
    onChange_ = [&] {
        onChange_ = nullptr;
        for (int i = 0; i < kFiles; ++i)
            WriteFile(tmp_ / ("f" + std::to_string(i)), "");
    };
    const int before = changes_;
    WriteFile(tmp_ / "first", "");
    ASSERT_TRUE(SpinUntil([&] { return changes_ >= before + 2; }));
    EXPECT_EQ(changes_, before + 2);
}

TEST_F(DirNotifyTest, NoNotificationComesAfterDisablingReturnsAndNoWorkerRemains)
{
    Watch(tmp_.Path());
    std::jthread writer([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            WriteFile(tmp_ / "f", "");
            std::filesystem::remove(tmp_ / "f");
        }
    });
    // Disabling while notifications keep coming: a hand-off already begun is served
    // inside the stop, never after it.
    for (int round = 0; round < 30; ++round) {
        const int before = changes_;
        ASSERT_TRUE(SpinUntil([&] { return changes_ > before; }));
        notify_->SetEnabled(false);
        const int atStop = changes_;
        EXPECT_FALSE(notify_->Watching());
        EXPECT_EQ(TNotificationThread::Running(), 0);
        QCoreApplication::processEvents();
        EXPECT_EQ(changes_, atStop);
        notify_->SetEnabled(true);
    }
}

TEST_F(DirNotifyTest, DestroyingAnEnabledNotifierStopsItsWorkerWithoutDelivering)
{
    Watch(tmp_.Path());
    MakeFile(tmp_.Path());
    const int before = changes_;
    notify_.reset();
    EXPECT_EQ(TNotificationThread::Running(), 0);
    EXPECT_EQ(changes_, before);
}

TEST_F(DirNotifyTest, StoppingDuringADeliveryNeverDeadlocks)
{
    MakeDirs(tmp_ / "a");
    MakeDirs(tmp_ / "b");
    Watch(tmp_ / "a");
    // What the main window does when the user picks another folder.
    int picks = 0;
    const auto pickAnotherFolder = [&] {
        notify_->SetEnabled(false);
        notify_->SetPath(tmp_ / (++picks % 2 ? "b" : "a"));
        notify_->SetEnabled(true);
    };
    struct Case {
        const char* what;
        std::function<void()> handler;
    };
    const Case cases[] = {
        {"from the handler", pickAnotherFolder},
        {"from a dialog the handler opens",
         [&] {
             // A message box runs its own event loop; the user picks a folder in the
             // tree behind it, and notifications of the new folder come meanwhile.
             QEventLoop dialog;
             QTimer::singleShot(0, &dialog, [&] {
                 pickAnotherFolder();
                 MakeFile(notify_->Path());
                 QTimer::singleShot(1, &dialog, &QEventLoop::quit);
             });
             onChange_ = nullptr; // nested notifications just count
             dialog.exec();
         }},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 40; ++round) {
            onChange_ = c.handler;
            const int before = changes_;
            MakeFile(notify_->Path());
            ASSERT_TRUE(SpinUntil([&] { return changes_ > before; })) << c.what;
            onChange_ = nullptr;
            EXPECT_LE(TNotificationThread::Running(), 1) << c.what;
        }
        // Whatever the handler left running ends with the next stop.
        notify_->SetEnabled(false);
        EXPECT_EQ(TNotificationThread::Running(), 0) << c.what;
        notify_->SetEnabled(true);
    }
}

TEST_F(DirNotifyTest, AHandlerThatThrowsEndsTheWorkerAndTheNextRestartWatchesAgain)
{
    Watch(tmp_.Path());
    onChange_ = [] { throw std::runtime_error("handler failed on purpose"); };
    MakeFile(tmp_.Path());
    ASSERT_TRUE(SpinUntil([&] { return !notify_->Watching(); }));
    EXPECT_TRUE(notify_->Enabled());
    EXPECT_EQ(TNotificationThread::Running(), 0);

    onChange_ = nullptr;
    notify_->SetEnabled(false);
    Watch(tmp_.Path());
}

TEST_F(DirNotifyTest, AWatchNeverWaitsOnANetworkMount)
{
    MakeDirs(tmp_ / "share");
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(tmp_ / "share", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    // Below a watched tree: the walk, over when Watch returns, passes it by.
    Watch(tmp_.Path());
    EXPECT_EQ(mount->RequestCount(), 0);
    // A folder on the share itself: the setter returns, and so does the stop, while
    // the server never answers.
    notify_->SetEnabled(false);
    notify_->SetPath(tmp_ / "share/folder");
    notify_->SetEnabled(true);
    EXPECT_TRUE(notify_->Watching());
    notify_->SetEnabled(false);
    EXPECT_EQ(TNotificationThread::Running(), 0);
}
